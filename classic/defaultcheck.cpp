#include "classic/defaultcheck.h"

#include "classic/paramentry.h"
#include "classic/registervalues.h"

#include <QRegularExpression>

namespace {
bool isHex(const QString& text)
{
    return text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
}

// A "0x" default as the type's bit pattern, cut to its width.
quint64 hexDefault(const QString& text, int code)
{
    const quint64 v = text.mid(2).toULongLong(nullptr, 16);
    const int bytes = canTypeSize(code);
    return bytes > 0 && bytes < 8 ? v & ((quint64(1) << (8 * bytes)) - 1) : v;
}

qint64 signedOf(quint64 pattern, int code)
{
    switch (code) {
    case CanInteger8: return qint8(pattern);
    case CanInteger16: return qint16(pattern);
    case CanInteger32: return qint32(pattern);
    default: return qint64(pattern);
    }
}

QString signedDefault(const QString& text, int code)
{
    return QString::number(isHex(text) ? signedOf(hexDefault(text, code), code) : qint64(text.toInt()));
}

QString unsignedDefault(const QString& text, int code)
{
    return QString::number(isHex(text) ? hexDefault(text, code) : quint64(text.toUInt()));
}

QString wideDefault(const QString& text, int code)
{
    quint64 v = 0;
    if (isHex(text))
        v = hexDefault(text, code);
    else if (code == CanInteger64)
        v = quint64(text.toLongLong()); // a negative default of a signed type keeps its pattern
    else
        v = text.toULongLong();
    return QString::number(v, 16);
}
}

DefaultCheckTexts defaultCheckTexts(const ParamEntry& record, const CanValue& value, uint8_t nodeId)
{
    const QString& def = record.valueText;
    const quint64 raw = quint64(value.raw);
    const int code = record.canDataType;
    DefaultCheckTexts t;
    switch (code) {
    case CanBoolean:
    case CanInteger8:
    case CanInteger16:
    case CanInteger32:
        t.current = QString::number(signedOf(raw, code == CanBoolean ? CanInteger8 : code));
        t.defaultValue = signedDefault(def, code);
        break;
    case CanUnsigned8:
    case CanUnsigned16:
        t.current = QString::number(qint32(raw));
        t.defaultValue = unsignedDefault(def, code);
        break;
    case CanUnsigned32:
    case CanInteger64:
    case CanUnsigned64:
        if (def.startsWith(QLatin1String("$NODEID+"))) {
            t.current = QString(value.text).remove(QRegularExpression(QStringLiteral("^0+")));
            if (t.current.isEmpty())
                t.current = QStringLiteral("0");
            const quint32 base = def.mid(8).toUInt(nullptr, 16);
            t.defaultValue = QString::number(quint32(base + nodeId), 16);
        } else {
            t.current = QString::number(raw, 16);
            t.defaultValue = wideDefault(def, code);
        }
        break;
    case CanReal32:
        t.current = QString::number(floatFromBits(raw), 'g', 6);
        t.defaultValue = QString::number(def.toDouble(), 'g', 6);
        break;
    case CanReal64:
        t.current = QString::number(doubleFromBits(raw), 'g', 6);
        t.defaultValue = QString::number(def.toDouble(), 'g', 6);
        break;
    default:
        t.defaultValue = def;
        break;
    }
    return t;
}
