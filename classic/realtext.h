// The text a real number is shown and stored as: the fewest digits that read
// back as the same number of its own width (a float's text read as a float),
// so that showing a value and committing it unchanged writes the same bits.
#pragma once

#include <QString>

#include <charconv>

template <typename Real>
QString shortestText(Real value)
{
    char digits[64];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    return QString::fromLatin1(digits, int(end.ptr - digits));
}
