#pragma once

#include <QValidator>

// Whole decimal numbers from lo to hi; wider than QIntValidator, so that the full
// range of an unsigned 32-bit field can be typed.
class WholeRangeValidator : public QValidator
{
    Q_OBJECT
public:
    WholeRangeValidator(qlonglong lo, qlonglong hi, QObject *parent = nullptr)
        : QValidator(parent), m_lo(lo), m_hi(hi)
    {
    }
    State validate(QString &input, int &pos) const override;

private:
    qlonglong m_lo;
    qlonglong m_hi;
};
