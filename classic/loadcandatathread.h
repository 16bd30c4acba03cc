// The classic CAN page's load worker: reads the present value of every record
// on its list from the device by SDO upload, one object after another, in
// cycles a pause apart, and tells which records changed. It notices a device
// that has gone away.
//
// Each try waits at most the connection settings' response time-out; after
// three failed tries of a record, object 0x1000 is probed (three tries): a
// device that answers gets the record's failure message, one that does not
// ends the thread with paramsLoadingFail. A record whose index or sub-index
// names no object (sdoaddress.h) is never sent: it gets its failure message
// in each cycle. A stop is looked at between tries, between records and in
// the pause, so the thread ends within one try.
//
// The records are not owned: they live in the window's maps and must outlive
// the thread. Their value fields are written under canValueMutex().
#pragma once

#include "classic/classicworker.h"

#include <QString>
#include <QVector>

#include <cstdint>

struct ParamEntry;
struct SdoAddress;

class LoadCanDataThread : public ClassicWorker {
    Q_OBJECT
public:
    enum { kDefaultPauseMs = 1000 };

    explicit LoadCanDataThread(QObject* parent = nullptr);
    ~LoadCanDataThread() override;

    // Replaces the list (a thread still running is stopped and joined first),
    // takes the node id and time-out from the connection settings and starts.
    void startLoad(const QVector<ParamEntry*>& list);
    // The pause that opens every cycle; takes effect at the next start.
    void setPauseMs(int ms);

signals:
    // The record of that name received a value whose text differs from before.
    void paramLoaded(QString paramName);
    // A cycle over the whole list has ended.
    void paramsLoaded();
    // The device no longer answers; the thread has ended.
    void paramsLoadingFail();
    // One record was not read while the device still answers.
    void paramLoadingFail(QString message);
    // Declared for the window's connection; never emitted.
    void test(int num);

private:
    enum class Read { Done, Failed, Stopped };

    void work() override;
    // Up to three tries; the last try's abort code in *abortCode on failure.
    Read readRecord(ParamEntry& record, const SdoAddress& at, uint32_t* abortCode);
    // Up to three reads of 0x1000; Stopped when a stop came between them.
    Read probeDevice();

    QVector<ParamEntry*> m_params;
    int m_pauseMs = kDefaultPauseMs; // under m_mutex
    // Taken at the start, used by the thread.
    int m_runPauseMs = kDefaultPauseMs;
    uint8_t m_nodeId = 0xFF;
    int m_timeoutMs = 800;
};
