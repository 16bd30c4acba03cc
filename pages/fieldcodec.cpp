#include "pages/fieldcodec.h"

#include <QtEndian>
#include <QtGlobal>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// A whole number of either sign; `u` holds it when not negative, `s` when negative.
struct Whole
{
    bool negative = false;
    qlonglong s = 0;
    qulonglong u = 0;
};

bool wholeFromText(const QString &raw, Whole &w)
{
    const QString text = raw.trimmed();
    bool ok = false;
    if (text.startsWith(QLatin1Char('-'))) {
        w.s = text.toLongLong(&ok, 10);
        w.negative = w.s < 0;
        w.u = w.negative ? 0 : qulonglong(w.s);
    } else {
        w.u = text.toULongLong(&ok, 10);
    }
    return ok;
}

bool wholeFromVariant(const QVariant &v, Whole &w)
{
    switch (v.userType()) {
    case QMetaType::Bool:
        w.u = v.toBool() ? 1 : 0;
        return true;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        w.s = v.toLongLong();
        w.negative = w.s < 0;
        w.u = w.negative ? 0 : qulonglong(w.s);
        return true;
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        w.u = v.toULongLong();
        return true;
    case QMetaType::Float:
    case QMetaType::Double: {
        // Common values from JSON arrive as doubles; only whole ones are numbers here.
        const double d = v.toDouble();
        if (!std::isfinite(d) || std::trunc(d) != d)
            return false;
        if (d < 0) {
            if (d < -9223372036854775808.0)
                return false;
            w.negative = true;
            w.s = qlonglong(d);
            return true;
        }
        if (d >= 18446744073709551616.0)
            return false;
        w.u = qulonglong(d);
        return true;
    }
    default:
        if (!v.isValid() || !v.canConvert(QMetaType::QString))
            return false;
        return wholeFromText(v.toString(), w);
    }
}

bool inRange(const Whole &w, qlonglong lo, qulonglong hi)
{
    return w.negative ? w.s >= lo : w.u <= hi;
}

QByteArray littleEndian(qulonglong bits, int bytes)
{
    QByteArray out(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        out[i] = char((bits >> (8 * i)) & 0xFFu);
    return out;
}

qulonglong fromLittleEndian(const QByteArray &buffer, int bytes)
{
    qulonglong v = 0;
    for (int i = 0; i < bytes && i < buffer.size(); ++i)
        v |= qulonglong(static_cast<unsigned char>(buffer.at(i))) << (8 * i);
    return v;
}

QString shown(const QVariant &v)
{
    return v.canConvert(QMetaType::QString) ? v.toString() : QString();
}

QString notFitting(const ParamDataField &field, const QVariant &value)
{
    return QStringLiteral("значение \"%1\" не подходит для поля \"%2\" (%3)")
        .arg(shown(value), field.name, fieldTypeName(field.type));
}

QString tooLong(const ParamDataField &field, const QVariant &value, int bytes)
{
    return QStringLiteral("значение \"%1\" длиннее поля \"%2\" (размер поля в байтах: %3)")
        .arg(shown(value), field.name, QString::number(bytes));
}

bool encodeInteger(const ParamDataField &field, const QVariant &value, QByteArray *typed)
{
    struct Limits { qlonglong lo; qulonglong hi; int bytes; };
    static const Limits limits[] = {
        {-128, 127, 1},
        {0, 255, 1},
        {-32768, 32767, 2},
        {0, 65535, 2},
        {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), 4},
        {0, std::numeric_limits<quint32>::max(), 4},
        {std::numeric_limits<qint64>::min(), quint64(std::numeric_limits<qint64>::max()), 8},
        {0, std::numeric_limits<quint64>::max(), 8},
    };
    const Limits &l = limits[field.type];
    Whole w;
    if (!wholeFromVariant(value, w) || !inRange(w, l.lo, l.hi))
        return false;
    *typed = littleEndian(w.negative ? qulonglong(w.s) : w.u, l.bytes);
    return true;
}

bool encodeReal(const ParamDataField &field, const QVariant &value, QByteArray *typed)
{
    if (!value.isValid() || !value.canConvert(QMetaType::QString))
        return false;
    // The reader writes a decimal comma; users type either mark.
    QString text = value.toString().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    if (field.type == FieldType::Real32) {
        const float f = text.toFloat(&ok);
        if (!ok || !std::isfinite(f))
            return false;
        quint32 bits;
        std::memcpy(&bits, &f, sizeof bits);
        *typed = littleEndian(bits, 4);
    } else {
        const double d = text.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return false;
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        *typed = littleEndian(bits, 8);
    }
    return true;
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// Field capacity in whole bytes: its declared size, cut to the bits it spans.
int capacityBytes(const ParamDataField &field)
{
    const qint64 run = qint64(field.endbit) - field.startbit + 1;
    return int(qMin<qint64>(qint64(field.size) * 8, run) / 8);
}

} // namespace

bool encodeFieldValue(const ParamDataField &field, const QVariant &value, QByteArray *typed,
                      QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };

    switch (field.type) {
    case FieldType::Int8:
    case FieldType::UInt8:
    case FieldType::Int16:
    case FieldType::UInt16:
    case FieldType::Int32:
    case FieldType::UInt32:
    case FieldType::Int64:
    case FieldType::UInt64:
        return encodeInteger(field, value, typed) || fail(notFitting(field, value));
    case FieldType::Real32:
    case FieldType::Real64:
        return encodeReal(field, value, typed) || fail(notFitting(field, value));
    case FieldType::Hex: {
        if (!value.isValid() || !value.canConvert(QMetaType::QString))
            return fail(notFitting(field, value));
        QString text = value.toString();
        if (text.contains(QLatin1String("0x")))
            text.remove(0, 2);
        int digits = 0;
        for (QChar c : qAsConst(text)) {
            if (isHexDigit(c))
                ++digits;
            else if (!c.isSpace())
                return fail(notFitting(field, value));
        }
        if (digits == 0)
            return fail(notFitting(field, value));
        const int capacity = capacityBytes(field);
        if ((digits + 1) / 2 > capacity)
            return fail(tooLong(field, value, capacity));
        // Short texts fill the field from its start: "1" is 01 00 in a 2-byte field.
        const int missing = field.size - text.length() / 2;
        if (missing > 0)
            text += QStringLiteral("00").repeated(missing);
        QByteArray bytes = QByteArray::fromHex(text.toLatin1()).left(field.size);
        if (bytes.size() < field.size)
            bytes.append(QByteArray(field.size - bytes.size(), '\0'));
        *typed = bytes;
        return true;
    }
    case FieldType::String: {
        if (!value.isValid() || !value.canConvert(QMetaType::QString))
            return fail(notFitting(field, value));
        const QByteArray bytes = value.toString().toLocal8Bit();
        const int capacity = capacityBytes(field);
        if (bytes.size() > capacity)
            return fail(tooLong(field, value, capacity));
        // Shorter texts are followed by zero bytes up to the field's end.
        *typed = bytes;
        return true;
    }
    case FieldType::Bit: {
        Whole w;
        if (!wholeFromVariant(value, w))
            return fail(notFitting(field, value));
        // Any nonzero number sets the bit; the reader's own -128 included.
        const bool set = w.negative || w.u != 0;
        *typed = QByteArray(1, set ? char(0x80) : '\0');
        return true;
    }
    default:
        return fail(QStringLiteral("поле \"%1\" имеет неизвестный тип %2")
                        .arg(field.name, QString::number(field.type)));
    }
}

QVariant decodeFieldValue(const ParamDataField &field, const QByteArray &buffer)
{
    switch (field.type) {
    case FieldType::Int8:
        return QVariant::fromValue(qint8(fromLittleEndian(buffer, 1)));
    case FieldType::UInt8:
        return QVariant::fromValue(quint8(fromLittleEndian(buffer, 1)));
    case FieldType::Int16:
        return QVariant::fromValue(qint16(fromLittleEndian(buffer, 2)));
    case FieldType::UInt16:
        return QVariant::fromValue(quint16(fromLittleEndian(buffer, 2)));
    case FieldType::Int32:
        return QVariant::fromValue(qint32(fromLittleEndian(buffer, 4)));
    case FieldType::UInt32:
        return QVariant::fromValue(quint32(fromLittleEndian(buffer, 4)));
    case FieldType::Int64:
        return QVariant::fromValue(qlonglong(fromLittleEndian(buffer, 8)));
    case FieldType::UInt64:
        return QVariant::fromValue(qulonglong(fromLittleEndian(buffer, 8)));
    case FieldType::Real32: {
        const quint32 bits = quint32(fromLittleEndian(buffer, 4));
        float f;
        std::memcpy(&f, &bits, sizeof f);
        QString text;
        text.setNum(f, 'f', 4);
        return text.replace(QLatin1Char('.'), QLatin1Char(','));
    }
    case FieldType::Real64: {
        const quint64 bits = fromLittleEndian(buffer, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        QString text;
        text.setNum(d, 'f', 4);
        return text.replace(QLatin1Char('.'), QLatin1Char(','));
    }
    case FieldType::Hex:
        return QString::fromLatin1(buffer.toHex());
    case FieldType::String: {
        QByteArray local = QString::fromUtf8(buffer).toLocal8Bit();
        const int zero = local.indexOf('\0');
        if (zero >= 0)
            local.truncate(zero);
        return QString::fromUtf8(local);
    }
    case FieldType::Bit:
        return int(qint8(fromLittleEndian(buffer, 1)));
    default:
        return QVariant();
    }
}
