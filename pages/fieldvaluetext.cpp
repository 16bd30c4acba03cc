#include "pages/fieldvaluetext.h"

QString fieldValueText(const QVariant &value, FieldTextStyle style)
{
    switch (value.userType()) {
    case QMetaType::Char:
    case QMetaType::SChar: // how int8 fields are read
    case QMetaType::Short:
    case QMetaType::Int:
        return QString::number(value.toInt());
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
        return QString::number(value.toUInt());
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    case QMetaType::Float:
    case QMetaType::Double:
        return style == FieldTextStyle::LineEdit ? QString::number(value.toDouble(), 'f', 4)
                                                 : QString::number(value.toDouble(), 'g', 6);
    default:
        return value.toString();
    }
}
