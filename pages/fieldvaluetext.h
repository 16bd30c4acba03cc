#pragma once

#include <QString>
#include <QVariant>

// Text of a field value in a line edit (reals in fixed notation with 4 decimals) or a
// label (reals with 6 significant digits). Integers are shown in decimal by their
// signedness; anything else by the variant's own text.
enum class FieldTextStyle { LineEdit, Label };
QString fieldValueText(const QVariant &value, FieldTextStyle style);
