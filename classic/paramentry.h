// The classic pages' parameter record and the small records kept beside it.
//
// A ParamEntry describes one parameter, whatever described it (a per-device XML
// file, the EDS, a binary parameter file), and holds its current value in the
// forms that the CANopen and Modbus value code use. Records live by value in a
// ParamEntryMap keyed by name; other structures (property maps, the formula
// list, worker lists) keep pointers into a map, so a map never moves a record:
// replacing a record assigns it in place, and looking a name up never inserts.
// GUI thread only, unless a worker's owner says otherwise.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <map>

class ParamEntryMap;

// The choices of a list-type parameter: (value, caption) pairs.
using ValueList = QList<QPair<QString, QString>>;

// Null and empty texts are different defaults: a null text was never assigned,
// an empty one was assigned with no characters (the binary file keeps both).
struct ParamEntry {
    // Editor codes (`editorType`).
    enum Editor { TextBox = 1, Spin = 2, CheckBox = 3, ComboBox = 4, BinaryGroup = 5 };
    // Value kinds (`dataType`).
    enum Kind { Hex = 1, Int = 2, UInt = 3, Float = 4, SimpleFloat = 5, Double = 6, Bool = 7, Binary = 8 };
    // The last register a Modbus request can address, zero-based.
    static constexpr int kMaxRegisterAddress = 65535;
    // A register number a record may hold: one Modbus addresses, or -1 for none.
    static constexpr bool isRegisterOrNone(qint64 address) { return address >= -1 && address <= kMaxRegisterAddress; }

    ParamEntry();

    QString name;
    QString caption;
    QString description;
    ValueList valueList;
    int editorType = 0;
    int dataType = 0;
    int canDataType = 0;
    QString minValue;
    QString maxValue;
    int addressBegin = -1;   // first Modbus register, zero-based; -1: none
    int addressEnd = -1;     // last register of a range; -1: one register
    bool readOnly = false;
    int byteSize = 0;
    bool updatable = false;
    bool auxFlag = false;    // copied and stored, otherwise unused
    int coeffNumberAddress = 0;
    int bitIndex = -1;       // bit of the parent's value a bit child shows
    int channelIndex = -1;
    QString currentText;
    qint64 currentRaw = 0;
    qint64 auxValue = 0;     // copied and stored, otherwise unused
    int auxNumber = 0;       // copied and stored, otherwise unused
    bool currentBool = false;
    QString valueText;
    qint64 rawValue = 0;
    bool boolValue = false;
    QString parentName;
    QStringList childNames;
    QStringList blockMembers;
    QString blockName;
    bool hasChildren = false;
    bool constant = false;
    bool expanded = true;
    bool visible = true;
    QString scriptFormula;
    QString scriptAction;
    QString scriptActionTitle;
    QString scriptOnChange;
    QString scriptOnInit;
    QString objectIndex;
    QString objectSubIndex;
    ParamEntryMap* ownerMap = nullptr;   // not stored in files
    QList<ParamEntry*> formulaRefs;      // not stored in files

    // Registers the record occupies: addressEnd - addressBegin + 1, at least 1.
    int registerCount() const;
    bool isBlock() const { return !blockMembers.isEmpty(); }
};

// Ordered by key text, code unit by code unit. A map owns its records and
// never moves one, so pointers into it stay valid until that record is removed
// or the map cleared. Not copyable: records point back at their map.
class ParamEntryMap {
public:
    using Storage = std::map<QString, ParamEntry>;
    using iterator = Storage::iterator;
    using const_iterator = Storage::const_iterator;

    ParamEntryMap() = default;
    ParamEntryMap(const ParamEntryMap&) = delete;
    ParamEntryMap& operator=(const ParamEntryMap&) = delete;

    // The record stored under `name`, or null. Never inserts.
    ParamEntry* find(const QString& name);
    const ParamEntry* find(const QString& name) const;
    bool contains(const QString& name) const { return m_records.count(name) != 0; }
    // The position of the record stored under `name`, or end(). Never inserts.
    iterator position(const QString& name) { return m_records.find(name); }

    // Stores `entry` under `name`, replacing a record of that key whole but in
    // place, and makes this map its owner. Returns the stored record.
    ParamEntry& insert(const QString& name, const ParamEntry& entry = ParamEntry());
    bool remove(const QString& name);
    iterator erase(iterator it) { return m_records.erase(it); }
    void clear() { m_records.clear(); }

    int size() const { return int(m_records.size()); }
    bool isEmpty() const { return m_records.empty(); }
    QStringList keys() const;

    iterator begin() { return m_records.begin(); }
    iterator end() { return m_records.end(); }
    const_iterator begin() const { return m_records.begin(); }
    const_iterator end() const { return m_records.end(); }

private:
    Storage m_records;
};

// One script button of a page's "Buttons" element.
struct ButtonEntry {
    QString name;
    QString caption;
    QString script;
};

// One Modbus holding register of a page: the record that holds it, its
// zero-based address and the value last read.
struct RegisterEntry {
    QString name;
    int address = 0;
    quint16 value = 0;
};
using RegisterList = QList<RegisterEntry>;

// Appends one entry per register of every addressed record of `map`, in key
// order; block members are left out (the block carries their range).
void registerList(const ParamEntryMap& map, RegisterList& list);
// The same without read-only, constant and bit-child records: what an import
// may write.
void writableRegisterList(const ParamEntryMap& map, RegisterList& list);
// Ascending address; equal addresses keep their order.
void sortRegisterList(RegisterList& list);
