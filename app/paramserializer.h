#pragma once

#include "app/pageparam.h"
#include "app/paramrecord.h"

#include <QJsonObject>
#include <QList>
#include <QString>

class QIODevice;

// The JSON parameter file: an object whose "params" array holds one ParamRecord per
// parameter, in list order.
class ParamSerializer
{
public:
    ParamSerializer() = default;
    explicit ParamSerializer(const QList<ParamRecord> &records) : m_records(records) {}

    const QList<ParamRecord> &records() const { return m_records; }

    // Sets the "params" array of `json` from the records.
    void toJson(QJsonObject &json) const;
    // Replaces the records by the "params" array of `json`. On refusal (no such array,
    // an element that is not an object or not a valid entry) the list is empty and
    // *error names the entry.
    bool fromJson(const QJsonObject &json, QString *error = nullptr);

    // Writes the indented document; false, with the reason, when not all bytes went.
    bool save(QIODevice *device, QString *error = nullptr) const;
    // Reads and parses the whole device; false, with the reason, for a read failure,
    // an oversized file, text that is not a JSON object, or a bad entry.
    bool load(QIODevice *device, QString *error = nullptr);

    // What export writes: every page parameter with the export flag, a data type and a
    // value read, once per index and sub-index. Where several page parameters stand
    // for one object, the first without an unsaved edit wins, so that the file holds
    // what the device holds.
    static QList<ParamRecord> recordsFromPages(const QList<PageParam> &params);

    // Puts every record into each page parameter with the same index and sub-index
    // texts (exact comparison), the export flag and the record's type as the CANopen
    // code of its data type, as an edit. Entries for objects the pages show only
    // without the export flag are skipped. Everything is checked before anything is
    // written: an unknown object, a type that fits no such parameter, a value that is
    // not hex of whole bytes or whose length differs from the parameter's refuses the
    // whole file, with *error naming the entry, and leaves the pages untouched.
    bool applyToPages(const QList<PageParam> &params, QString *error = nullptr) const;

private:
    QList<ParamRecord> m_records;
};
