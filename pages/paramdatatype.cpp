#include "pages/paramdatatype.h"

#include "pages/bitfield.h"
#include "pages/fieldcodec.h"

namespace {

const char *const kTypeNames[] = {
    "int8", "uint8", "int16", "uint16", "int32", "uint32", "int64", "uint64",
    "real32", "real64", "hex", "string", "bit",
};

QString realText(const QVariant &value)
{
    // Real fields read as text with a decimal comma; the number conversion takes a point.
    return value.toString().replace(QLatin1Char(','), QLatin1Char('.'));
}

} // namespace

int dataTypeCode(const QString &name)
{
    const QString lower = name.toLower();
    for (int code = FieldType::Int8; code <= FieldType::Bit; ++code) {
        if (lower == QLatin1String(kTypeNames[code]))
            return code;
    }
    return FieldType::Bit;
}

int canTypeCode(const QString &name)
{
    // The signed 32- and 64-bit names travel with the unsigned codes; files written by
    // earlier versions carry them, and the import compares against them.
    static const QMap<QString, int> codes = {
        {QStringLiteral("int8"), 0x02},   {QStringLiteral("uint8"), 0x05},
        {QStringLiteral("int16"), 0x03},  {QStringLiteral("uint16"), 0x06},
        {QStringLiteral("int32"), 0x07},  {QStringLiteral("uint32"), 0x07},
        {QStringLiteral("int64"), 0x1B},  {QStringLiteral("uint64"), 0x1B},
        {QStringLiteral("real32"), 0x08}, {QStringLiteral("real64"), 0x11},
        {QStringLiteral("string"), 0x09},
    };
    return codes.value(name.toLower(), 0x01);
}

QString fieldTypeName(int type)
{
    if (type < FieldType::Int8 || type > FieldType::Bit)
        return QString();
    return QLatin1String(kTypeNames[type]);
}

int fieldBufferWidth(const ParamDataField &field)
{
    switch (field.type) {
    case FieldType::Int8:
    case FieldType::UInt8:
    case FieldType::Bit:
        return 8;
    case FieldType::Int16:
    case FieldType::UInt16:
        return 16;
    case FieldType::Int32:
    case FieldType::UInt32:
    case FieldType::Real32:
        return 32;
    case FieldType::Int64:
    case FieldType::UInt64:
    case FieldType::Real64:
        return 64;
    case FieldType::Hex:
    case FieldType::String:
        return field.size > 0 ? field.size * 8 : 0;
    default:
        return 0;
    }
}

QString valueToText(const QVariant &value, int type)
{
    switch (type) {
    case FieldType::Int8:
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Bit:
        return QString::number(value.toInt());
    case FieldType::UInt8:
    case FieldType::UInt16:
    case FieldType::UInt32:
        return QString::number(value.toUInt());
    case FieldType::Int64:
        return QString::number(value.toLongLong());
    case FieldType::UInt64:
        return QString::number(value.toULongLong());
    case FieldType::Real32:
        return QString::number(realText(value).toFloat(), 'g', 6);
    case FieldType::Real64:
        return QString::number(realText(value).toDouble(), 'g', 6);
    default:
        return value.toString();
    }
}

ParamDataType::ParamDataType(const QString &name, int size, int cantype)
    : m_name(name), m_size(size), m_cantype(cantype)
{
}

bool ParamDataType::hasField(const QString &name) const
{
    // A default entry carries an empty name under a non-empty key.
    const auto it = m_fields.constFind(name);
    return it != m_fields.constEnd() && it->name == name;
}

ParamDataField ParamDataType::field(const QString &name)
{
    // operator[] inserts the default entry for an undefined name.
    return m_fields[name];
}

QVariant ParamDataType::readField(const QString &fieldName, const QByteArray &value)
{
    const ParamDataField f = field(fieldName);
    return decodeFieldValue(f, extractBits(value, f.startbit, f.endbit, fieldBufferWidth(f)));
}

bool ParamDataType::writeField(QByteArray &value, const QVariant &newValue,
                               const QString &fieldName, QString *error) const
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };

    // A widget naming a field the type lacks must not land on some default bits.
    if (!hasField(fieldName))
        return fail(QStringLiteral("поле \"%1\" не описано в типе данных \"%2\"")
                        .arg(fieldName, m_name));
    const ParamDataField &f = *m_fields.constFind(fieldName);

    if (value.isEmpty())
        return fail(QStringLiteral("значение параметра ещё не прочитано с устройства"));

    // Bit fields write only their first position.
    const int last = f.type == FieldType::Bit ? f.startbit : f.endbit;
    if (f.startbit < 0 || last < f.startbit)
        return fail(QStringLiteral("у поля \"%1\" неверные границы: биты %2..%3")
                        .arg(f.name, QString::number(f.startbit), QString::number(f.endbit)));
    if (qint64(last) >= qint64(value.size()) * 8)
        return fail(QStringLiteral("поле \"%1\" (биты %2..%3) выходит за пределы значения "
                                   "параметра (длина значения в байтах: %4)")
                        .arg(f.name, QString::number(f.startbit), QString::number(last),
                             QString::number(value.size())));
    const qint64 run = qint64(last) - f.startbit + 1;
    if (f.type != FieldType::Bit && run > fieldBufferWidth(f))
        return fail(QStringLiteral("поле \"%1\" шире своего типа %2 (ширина в битах: %3 "
                                   "при допустимой %4)")
                        .arg(f.name, fieldTypeName(f.type), QString::number(run),
                             QString::number(fieldBufferWidth(f))));

    QByteArray typed;
    if (!encodeFieldValue(f, newValue, &typed, error))
        return false;
    packBits(value, bytesToBits(typed), f.startbit, last);
    return true;
}
