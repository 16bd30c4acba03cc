// The two-byte data type the page tests share: "Pair" (CAN type 0x06), field
// "lo" in bits 0-7 and "hi" in bits 8-15, both UInt8.
#pragma once

#include "pages/paramdatatype.h"

#include <QSharedPointer>

inline QSharedPointer<ParamDataType> pairType()
{
    auto type = QSharedPointer<ParamDataType>::create(QStringLiteral("Pair"), 2, 0x06);
    ParamDataField lo;
    lo.name = QStringLiteral("lo");
    lo.type = FieldType::UInt8;
    lo.startbit = 0;
    lo.endbit = 7;
    type->setField(lo);
    ParamDataField hi = lo;
    hi.name = QStringLiteral("hi");
    hi.startbit = 8;
    hi.endbit = 15;
    type->setField(hi);
    return type;
}
