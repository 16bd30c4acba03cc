// The SDO address of a classic CAN record, as both workers send it: the
// index and sub-index texts read as hexadecimal (their low 16 and 8 bits; a
// text that is no number reads as 0) and the record's data-type code.
#pragma once

#include "classic/paramentry.h"

#include <cstdint>

struct SdoAddress {
    uint16_t index = 0;
    uint8_t subIndex = 0;
    uint8_t dataType = 0;
};

inline SdoAddress sdoAddressOf(const ParamEntry& record)
{
    return SdoAddress{uint16_t(record.objectIndex.toUInt(nullptr, 16)),
                      uint8_t(record.objectSubIndex.toUInt(nullptr, 16)), uint8_t(record.canDataType)};
}
