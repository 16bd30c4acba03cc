// The texts the check against defaults compares for one classic CAN record:
// its current value and its EDS default, both written the way the record's
// CANopen data type is shown. Pure; the caller passes a copy of the value.
#pragma once

#include "classic/canvalues.h"

#include <QString>

#include <cstdint>

struct ParamEntry;

struct DefaultCheckTexts {
    QString current;
    QString defaultValue;
    bool differ() const { return current != defaultValue; }
};

// A default starting with "0x" is hexadecimal, cut to the type's width and
// signed for INTEGER8/16/32; "$NODEID+" adds the device's node id.
DefaultCheckTexts defaultCheckTexts(const ParamEntry& record, const CanValue& value, uint8_t nodeId);
