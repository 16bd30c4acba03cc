// The SDO address of a classic CAN record, as both workers send it: the
// index and sub-index texts read as hexadecimal, and the record's data-type
// code. Texts come from an EDS or a parameter file: one that is no number, or
// does not fit the 16 bits of an index or the 8 of a sub-index, names no
// object, and is never cut down to one that does.
#pragma once

#include "classic/paramentry.h"
#include "link/objectaddress.h"

#include <QString>

#include <cstdint>

struct SdoAddress {
    uint16_t index = 0;
    uint8_t subIndex = 0;
    uint8_t dataType = 0;
};

// The record's address into `at`; false, and `at` untouched, when its texts
// name no object (noSdoAddressText says so in a worker's line).
inline bool sdoAddressOf(const ParamEntry& record, SdoAddress* at)
{
    SdoAddress address;
    if (!parseObjectAddress(record.objectIndex, record.objectSubIndex, &address.index, &address.subIndex))
        return false;
    address.dataType = uint8_t(record.canDataType);
    *at = address;
    return true;
}

inline QString noSdoAddressText(const ParamEntry& record)
{
    return QStringLiteral("индекс или субиндекс вне диапазона (%1 %2)").arg(record.objectIndex, record.objectSubIndex);
}
