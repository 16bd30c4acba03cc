#pragma once

#include <QValidator>

// Admits hexadecimal digits only, at most `digits` of them; acceptable when all are there.
// Blanks count as unfilled places: an input mask hands its unfilled positions to the
// validator as blanks, and refusing them would refuse every keystroke.
class HexDigitsValidator : public QValidator {
    Q_OBJECT
public:
    explicit HexDigitsValidator(int digits, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

private:
    int m_digits;
};
