#include "app/hexdigitsvalidator.h"

HexDigitsValidator::HexDigitsValidator(int digits, QObject* parent) : QValidator(parent), m_digits(digits) {}

QValidator::State HexDigitsValidator::validate(QString& input, int&) const
{
    int count = 0;
    for (const QChar c : input) {
        if (c == QLatin1Char(' '))
            continue;
        const char16_t u = c.unicode();
        const bool hex = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
        if (!hex)
            return Invalid;
        ++count;
    }
    if (count > m_digits)
        return Invalid;
    return count == m_digits ? Acceptable : Intermediate;
}
