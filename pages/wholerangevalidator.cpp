#include "pages/wholerangevalidator.h"

QValidator::State WholeRangeValidator::validate(QString &input, int &) const
{
    if (input.isEmpty() || (input == QLatin1String("-") && m_lo < 0))
        return Intermediate;
    const int start = input.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (start == 1 && m_lo >= 0)
        return Invalid;
    for (int i = start; i < input.size(); ++i) {
        if (!input.at(i).isDigit() || input.at(i).unicode() > '9')
            return Invalid;
    }
    bool ok = false;
    const qlonglong v = input.toLongLong(&ok);
    // More digits only move a number further from zero, so out of range stays out.
    if (!ok || v < m_lo || v > m_hi)
        return Invalid;
    return Acceptable;
}
