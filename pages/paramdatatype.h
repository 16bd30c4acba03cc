#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

// Field type codes of "datatypes.json" field types.
namespace FieldType {
enum : int {
    Int8 = 0, UInt8, Int16, UInt16, Int32, UInt32, Int64, UInt64,
    Real32, Real64, Hex, String, Bit
};
}

struct CommonValue
{
    QString name;
    QVariant value;
};

// One named bit field of a data type: positions startbit..endbit (inclusive) of the
// object's value, in transfer order (see bitfield.h).
struct ParamDataField
{
    QString name;
    int startbit = 0;
    int endbit = 0;
    int type = FieldType::Int8;
    int size = 0; // bytes, for Hex and String
    QList<CommonValue> commonValues;
};

// Field type name (any letter case) to field type code; unknown names give Bit.
int dataTypeCode(const QString &name);
// Type name (any letter case) to the CANopen data-type code sent with SDO requests.
int canTypeCode(const QString &name);
// Lower-case name of a field type code; empty for an unknown code.
QString fieldTypeName(int type);
// Width in bits of the buffer a field of this type is read into.
int fieldBufferWidth(const ParamDataField &field);
// Text of a field value as dependency rules compare it.
QString valueToText(const QVariant &value, int type);

class ParamDataType
{
public:
    ParamDataType(const QString &name, int size, int cantype);

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    int size() const { return m_size; }
    void setSize(int size) { m_size = size; }
    int canType() const { return m_cantype; }
    void setCanType(int cantype) { m_cantype = cantype; }

    const QMap<QString, ParamDataField> &fields() const { return m_fields; }
    // Defined by the file, as opposed to a default entry left by a lookup.
    bool hasField(const QString &name) const;
    // Replaces an earlier field of the same name.
    void setField(const ParamDataField &field) { m_fields.insert(field.name, field); }
    // Looks a field up; an undefined name gets a default entry, which is then used.
    ParamDataField field(const QString &name);

    // Cuts the field out of the value bytes. Never fails: bits past the end of the
    // value read as 0. Inserts a default entry for an undefined name (GUI thread only).
    QVariant readField(const QString &fieldName, const QByteArray &value);

    // Puts newValue into the field's bits of `value`. Refuses, leaving `value` as it
    // was, an undefined field, an empty value, a field that does not fit into the value
    // or into its type, and a new value that does not convert to the field's type; the
    // reason, for the log, goes to *error. The caller holds paramValueMutex when
    // `value` belongs to a CustomParam (CustomParam::writeField does that).
    bool writeField(QByteArray &value, const QVariant &newValue, const QString &fieldName,
                    QString *error = nullptr) const;

private:
    QMap<QString, ParamDataField> m_fields;
    QString m_name;
    int m_size = 0;
    int m_cantype = 1;
};
