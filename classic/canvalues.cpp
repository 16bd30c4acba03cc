#include "classic/canvalues.h"

#include "classic/managerof.h"
#include "classic/paramentry.h"
#include "classic/realtext.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <QDebug>

#include <cstring>

namespace {
bool isSigned(int code)
{
    return code >= CanInteger8 && code <= CanInteger32;
}

bool isHexText(int code)
{
    return code == CanUnsigned32 || code == CanInteger64 || code == CanUnsigned64;
}

// The low `bytes` bytes of a 64-bit pattern (all of it for 8 or a size of none).
quint64 lowBytes(quint64 value, int bytes)
{
    return bytes > 0 && bytes < CAN_RAW_BYTES ? value & ((quint64(1) << (8 * bytes)) - 1) : value;
}

// Fits in `bytes` bytes as an unsigned pattern.
bool fitsWidth(quint64 value, int bytes)
{
    return lowBytes(value, bytes) == value;
}

float real32Of(quint64 raw)
{
    const quint32 bits = quint32(raw);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double real64Of(quint64 raw)
{
    double d;
    std::memcpy(&d, &raw, sizeof d);
    return d;
}

QString textOfRaw(int code, quint64 raw)
{
    switch (code) {
    case CanReal32:
        return shortestText(real32Of(raw));
    case CanReal64:
        return shortestText(real64Of(raw));
    default:
        if (isHexText(code))
            return QString::number(raw, 16).rightJustified(2 * canTypeSize(code), QLatin1Char('0'));
        return QString::number(raw);
    }
}

bool isLatin1(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

int digitValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Digits of one base, at most 64 bits after leading zeros.
quint64 parseDigits(const QString& digits, int base, bool* ok)
{
    *ok = false;
    const int maxDigits = base == 16 ? 16 : 64;
    int first = 0;
    while (first < digits.size() - 1 && digits.at(first) == QLatin1Char('0'))
        ++first;
    if (digits.isEmpty() || digits.size() - first > maxDigits)
        return 0;
    quint64 v = 0;
    for (const QChar c : digits) {
        const int d = digitValue(c);
        if (d < 0 || d >= base)
            return 0;
        v = v * quint64(base) + quint64(d);
    }
    *ok = true;
    return v;
}

// Decimal, "0x" or "b" text of an integer type of up to 4 bytes.
bool parseInteger(int code, const QString& text, qint64* value, QString* shown)
{
    const int size = canTypeSize(code);
    const int bits = 8 * size;
    bool ok = false;
    if (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1Char('b'))) {
        const quint64 v = quint64(text.startsWith(QLatin1Char('b')) ? parseBinaryDigits(text, code, &ok)
                                                                      : parseHexDigits(text, code, &ok));
        if (!ok || !fitsWidth(v, size))
            return false;
        *value = qint64(v);
    } else if (isSigned(code)) {
        const qint64 v = text.toLongLong(&ok, 10);
        const qint64 limit = qint64(1) << (bits - 1);
        if (!ok || v < -limit || v >= limit)
            return false;
        *value = v;
    } else {
        const quint64 v = text.toULongLong(&ok, 10);
        if (!ok || !fitsWidth(v, size))
            return false;
        *value = qint64(v);
    }
    *shown = isSigned(code) ? QString::number(*value) : QString::number(quint64(*value));
    return true;
}

// Hexadecimal digits of UNSIGNED32/INTEGER64/UNSIGNED64: a leading "0x" and
// the zeros after it dropped, padded to the type's width, read from the right
// in pairs.
bool parseHexValue(int code, const QString& text, qint64* value, QString* shown)
{
    const int size = canTypeSize(code);
    if (text.isEmpty())
        return false;
    QString digits = text.startsWith(QLatin1String("0x")) ? text.mid(2) : text;
    int zeros = 0;
    while (zeros < digits.size() && digits.at(zeros) == QLatin1Char('0'))
        ++zeros;
    digits.remove(0, zeros);
    bool ok = true;
    if (!digits.isEmpty())
        parseDigits(digits, 16, &ok);
    if (!ok || digits.size() > 2 * size)
        return false;
    digits = digits.rightJustified(2 * size, QLatin1Char('0'));
    quint64 v = 0;
    for (int byte = 0; byte < size; ++byte) {
        const QString pair = digits.mid(digits.size() - 2 * (byte + 1), 2);
        v |= quint64(pair.toUInt(nullptr, 16)) << (8 * byte);
    }
    *value = qint64(v);
    *shown = digits;
    return true;
}

// A record's text block is only ever touched under the value lock: texts go
// in and out as copies that share no block with it, and the block it held
// before is freed under the lock. A shared block would be freed by whichever
// thread dropped it last, outside the lock.
QString ownCopy(const QString& text)
{
    return text.isNull() ? QString() : QString(text.constData(), text.size());
}

// Call with the value lock held; `text` must share no block with anyone else.
void takeText(ParamEntry& record, QString& text)
{
    record.currentText.swap(text);
    text = QString();
}

void showText(QtProperty* property, const QString& text)
{
    if (auto* manager = managerOf<QtStringPropertyManager>(property))
        manager->setValue(property, text, true);
}
}

int canTypeSize(int code)
{
    switch (code) {
    case CanBoolean:
    case CanInteger8:
    case CanUnsigned8:
        return 1;
    case CanInteger16:
    case CanUnsigned16:
        return 2;
    case CanInteger32:
    case CanUnsigned32:
    case CanReal32:
        return 4;
    case CanReal64:
    case CanInteger64:
    case CanUnsigned64:
        return 8;
    default:
        return -1;
    }
}

int editorTypeForCanType(int code)
{
    return code == CanBoolean ? ParamEntry::CheckBox : ParamEntry::TextBox;
}

bool isTracedCanRecord(const ParamEntry& record)
{
    return record.objectIndex == QLatin1String("2070") && record.objectSubIndex == QLatin1String("25");
}

std::mutex& canValueMutex()
{
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

CanValue canValueOf(const ParamEntry& record)
{
    std::lock_guard<std::mutex> lock(canValueMutex());
    return CanValue{record.currentRaw, ownCopy(record.currentText), record.currentBool};
}

void setCanValue(ParamEntry& record, const CanValue& value)
{
    QString text = ownCopy(value.text);
    std::lock_guard<std::mutex> lock(canValueMutex());
    record.currentRaw = value.raw;
    takeText(record, text);
    record.currentBool = value.flag;
}

bool setValueFromRaw(ParamEntry& record, int length, const char* bytes, bool* changed)
{
    if (changed)
        *changed = false;
    const int code = record.canDataType;
    if (length < 0 || (length > 0 && !bytes) || (code != CanVisibleString && length > CAN_RAW_BYTES))
        return false;
    QString text;
    quint64 raw = 0;
    if (code == CanVisibleString) {
        const char* end = length > 0 ? static_cast<const char*>(std::memchr(bytes, 0, size_t(length))) : nullptr;
        text = QString::fromLatin1(length > 0 ? bytes : "", end ? int(end - bytes) : length);
    } else {
        for (int i = 0; i < length; ++i)
            raw |= quint64(quint8(bytes[i])) << (8 * i);
        raw = lowBytes(raw, canTypeSize(code));
        text = textOfRaw(code, raw);
    }
    std::lock_guard<std::mutex> lock(canValueMutex());
    if (changed)
        *changed = text != record.currentText;
    if (code != CanVisibleString)
        record.currentRaw = qint64(raw);
    takeText(record, text);
    return true;
}

bool rawFromValue(const ParamEntry& record, int* length, char* out, QString* refusal)
{
    auto refuse = [refusal](const QString& why) {
        if (refusal)
            *refusal = why;
        return false;
    };
    const CanValue value = canValueOf(record);
    const int code = record.canDataType;
    if (code == CanVisibleString) {
        if (!isLatin1(value.text))
            return refuse(QStringLiteral("строка содержит знаки вне Latin-1"));
        const QByteArray bytes = value.text.toLatin1();
        if (bytes.isEmpty())
            return refuse(QStringLiteral("пустая строка"));
        if (bytes.size() > CAN_STRING_MAX_BYTES)
            return refuse(QStringLiteral("строка длиннее %1 байт").arg(CAN_STRING_MAX_BYTES));
        std::memcpy(out, bytes.constData(), size_t(bytes.size()));
        *length = bytes.size();
        return true;
    }
    const int size = canTypeSize(code);
    if (size <= 0)
        return refuse(QStringLiteral("тип данных %1 без размера").arg(code));
    for (int i = 0; i < size; ++i)
        out[i] = char(quint64(value.raw) >> (8 * i));
    *length = size;
    return true;
}

bool parseCanValueText(ParamEntry& record, double number, bool flag, const QString& text)
{
    const int code = record.canDataType;
    CanValue value = canValueOf(record);
    switch (code) {
    case CanInteger8:
    case CanInteger16:
    case CanInteger32:
    case CanUnsigned8:
    case CanUnsigned16:
        if (!parseInteger(code, text, &value.raw, &value.text))
            return false;
        break;
    case CanUnsigned32:
    case CanInteger64:
    case CanUnsigned64:
        if (!parseHexValue(code, text, &value.raw, &value.text))
            return false;
        break;
    case CanBoolean:
        value.raw = flag ? 1 : 0;
        value.flag = flag;
        break;
    case CanReal32:
    case CanReal64:
        if (code == CanReal32) {
            const float f = float(number);
            quint32 bits;
            std::memcpy(&bits, &f, sizeof bits);
            value.raw = qint64(bits);
        } else {
            std::memcpy(&value.raw, &number, sizeof number);
        }
        value.text = textOfRaw(code, quint64(value.raw));
        break;
    case CanVisibleString:
        value.text = text;
        break;
    default:
        return false;
    }
    setCanValue(record, value);
    if (isTracedCanRecord(record))
        qDebug() << "После редактирования:" << value.text;
    return true;
}

qint64 parseHexDigits(const QString& text, int code, bool* ok)
{
    Q_UNUSED(code); // the same pattern for signed and unsigned types
    bool parsed = false;
    const quint64 v = parseDigits(text.startsWith(QLatin1String("0x")) ? text.mid(2) : text, 16, &parsed);
    if (ok)
        *ok = parsed;
    return qint64(v);
}

qint64 parseBinaryDigits(const QString& text, int code, bool* ok)
{
    Q_UNUSED(code);
    bool parsed = false;
    const quint64 v = parseDigits(QString(text).remove(QLatin1Char('b')), 2, &parsed);
    if (ok)
        *ok = parsed;
    return qint64(v);
}

qint64 setBit(qint64 value, bool on, int bit)
{
    if (bit < 0 || bit > 63)
        return value;
    const quint64 mask = quint64(1) << bit;
    return qint64(on ? quint64(value) | mask : quint64(value) & ~mask);
}

void showCanValue(ParamEntry& record, QtProperty* property)
{
    const CanValue value = canValueOf(record);
    if (isTracedCanRecord(record))
        qDebug() << "После обновления из устройства" << value.text;
    const quint64 raw = quint64(value.raw);
    switch (record.canDataType) {
    case CanBoolean:
        if (auto* manager = managerOf<QtBoolPropertyManager>(property))
            manager->setValue(property, raw != 0);
        break;
    case CanInteger8:
        showText(property, QString::number(qint8(raw)));
        break;
    case CanInteger16:
        showText(property, QString::number(qint16(raw)));
        break;
    case CanInteger32:
        showText(property, QString::number(qint32(raw)));
        break;
    case CanUnsigned8:
        showText(property, QString::number(quint8(raw)));
        break;
    case CanUnsigned16:
        showText(property, QString::number(quint16(raw)));
        break;
    case CanReal32:
    case CanReal64:
        if (auto* manager = managerOf<QtDoublePropertyManager>(property))
            manager->setValue(property, value.text.toDouble(), true);
        break;
    case CanUnsigned32:
    case CanInteger64:
    case CanUnsigned64:
        showText(property, QStringLiteral("0x") + value.text);
        break;
    default:
        showText(property, value.text);
        break;
    }
}
