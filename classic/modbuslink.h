// The classic pages' Modbus link (RTU on a serial line, or TCP) and the
// register transfers of a page over it. libmodbus does the protocol work.
//
// Every call runs in the GUI thread and is bounded: a request waits at most
// the response time-out (ConnectionSettings::responseTimeoutMs over TCP,
// libmodbus's own 0.5 s over RTU). After a timed-out call or an answer that
// does not fit the request, libmodbus waits one more response time-out and
// flushes the line, so a late answer is dropped instead of being taken for the
// next request's. A line found dead before a call (a closed socket, a
// hung-up serial port) is opened again once, and the call fails when that
// does not work: libmodbus's own recovery would retry a failed send without
// end. The link flag is the window's one flag (ClassicHost): it is set here
// when a Modbus link opens and cleared when this link closes it.
//
// A serial line is taken as the CAN line is (LineClaim) before libmodbus opens
// it or changes anything on it: a line another program holds (its lock, its
// exclusive mark, or both) is refused as busy and left as it was. The link
// holds the lock, and the mark it set, for as long as it has the line.
#pragma once

#include "classic/paramentry.h"
#include "classic/registervalues.h"
#include "platform/lineclaim.h"

#include <QVector>

// Registers in one request when a page is read or written whole.
enum { kRegisterRun = 30 };

struct ClassicHost;
typedef struct _modbus modbus_t;

class ModbusLink {
public:
    explicit ModbusLink(const ClassicHost& host);
    ~ModbusLink(); // frees the context without touching the window
    ModbusLink(const ModbusLink&) = delete;
    ModbusLink& operator=(const ModbusLink&) = delete;

    // Make the context from the connection settings; false (no context) when
    // a setting cannot name a link. Log nothing.
    bool openModbusRtu();
    bool openModbusTcp();
    // Opens and connects with up to ConnectionSettings::retries tries (over TCP
    // each one a socket test, the connect and a read of registers 1000..1001).
    // A failure logs "Подключение не удалось" and switches the tools off; an
    // empty IP address gives false at once and logs nothing. A serial line
    // that cannot be taken has its path and the reason in the log line
    // ("Подключение не удалось. /dev/ttyUSB0: Device or resource busy"), and
    // one that another program holds ends the tries at once.
    bool connectModbus();
    // connectModbus, then reads of register 1000 until one succeeds; when none
    // does: "Не удалось подключиться.", link closed, tools off.
    bool connectModbusChecked();
    // Closes and frees the context and clears the link flag; with no context
    // it does nothing (the flag then belongs to another link).
    void closeModbus();

    modbus_t* context() const { return m_ctx; }
    // True while this link is connected and the window's flag is set.
    bool isOpen() const;
    int registerFailures() const { return m_registerFailures; }

    // Reads every register of a sorted list into the records of `map`, in runs
    // of at most maxRun registers. A run failing 4 calls is skipped; more than
    // 20 such runs in a row close the link and switch the tools off. Without a
    // link the walk stops. True when every run was transferred.
    bool readRegisterParams(ParamEntryMap& map, RegisterList& list, int maxRun);
    // Writes the registers of the list's records in runs, the mirror of the read.
    bool writeRegisterParams(ParamEntryMap& map, const RegisterList& list, int maxRun);
    // Writes one block record's registers with up to ConnectionSettings::retries
    // further tries, logging the outcome; false without a link.
    bool writeRegisterBlock(const ParamEntry& block);
    // Writes one record's words (recordWords) in one request, as a run is
    // written (up to 4 calls); false without a link, without a register or
    // with more words than one request carries. Logs nothing.
    bool writeRegisterWords(const RegisterWords& words);

private:
    enum class Direction { Read, Write };
    bool walkRuns(ParamEntryMap& map, const RegisterList& list, int maxRun, Direction direction,
                  RegisterList* readInto);
    bool transferRun(ParamEntryMap& map, const RegisterList& list, int first, int count, Direction direction,
                     RegisterList* readInto);
    // Counts a run that failed every call; past the limit the link is dropped.
    // False when the walk must stop.
    bool runFailed();
    bool tryConnect(bool tcp);
    // Takes the serial line, lets libmodbus open it, then marks it. False with
    // m_lineError (and m_lineBusy) set when the line could not be taken.
    bool connectRtuLine();
    // libmodbus's descriptor and our claim on the line, both let go.
    void closeLine();
    // One libmodbus call each; false on failure or a line found dead.
    bool readRegisters(int address, int count, quint16* into);
    bool writeRegisters(int address, const QVector<quint16>& words);
    // Checks the line before a call and opens a dead one again once: libmodbus
    // itself would retry a failed send without end.
    bool lineUsable();
    void freeContext();
    void connectFailed(const QString& reason = QString());

    const ClassicHost& m_host;
    modbus_t* m_ctx = nullptr;
    bool m_tcp = false;
    QString m_tcpAddress; // the address as rebuilt for the socket test
    std::string m_rtuDevice;
    LineClaim m_line;     // a serial line's lock and our mark on it
    QString m_lineError;  // why the line could not be taken, for the log
    bool m_lineBusy = false; // another program holds it
    bool m_connected = false;
    int m_registerFailures = 0;
};
