// The classic pages' binary parameter file: the main, extra and calibration
// maps, each written as one section when it holds records, in a Qt data stream
// (big-endian, no header, no markers). Import reads a file only when it parses
// whole against the maps it has (one section per non-empty map, nothing left
// over), then replaces the records it names in place, writes the writable ones
// to the device's registers, reads them back and refreshes the pages.
// GUI thread. Both read or replace whole records: the caller has stopped the
// workers that touch them (ClassicPages does).
#pragma once

#include "classic/classicdata.h"

#include <QDataStream>
#include <QDateTime>

#include <functional>

struct ClassicHost;
struct ClassicImportOptions;
class ModbusLink;

// One section: the record count, then each record (key and 41 fields) in key order.
void writeParamMap(QDataStream& stream, const ParamEntryMap& map);
// Reads one section into `map`, replacing records by key. Every count is
// bounded by the bytes left; false, with the reason, on a file that does not
// hold a whole section (what was read so far stays in `map`).
bool readParamMap(QDataStream& stream, ParamEntryMap& map, QString* reason);

class ClassicParamFile {
public:
    ClassicParamFile(ClassicData& data, const ClassicHost& host, ModbusLink& link);

    // Time used in proposed file names.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    // Writes the file the user names; the old file stays whole unless the new
    // one was written completely.
    bool exportParams(bool backup);
    // True when a file was read and, with a link open, every register written
    // and read back. Without a link the records are replaced all the same.
    bool importParams();
    void onExport();
    void onImport();

    // ConfigurationData/<device>/data/ under the application directory.
    QString exportFolder() const;

private:
    struct FlowTexts {
        const char* mode;
        const char* start;
        const char* done;
        const char* failed;
    };
    void runFlow(const FlowTexts& texts, const std::function<bool()>& flow);
    QString chooseImportFile(const ClassicImportOptions& options);
    bool applyImport(QIODevice* file);

    ClassicData& m_data;
    const ClassicHost& m_host;
    ModbusLink& m_link;
    std::function<QDateTime()> m_now;
};
