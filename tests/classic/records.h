// Records made for a test, straight into their map.
#pragma once

#include "classic/canvalues.h"
#include "classic/paramentry.h"

#include <cstdint>

inline ParamEntry& addRecord(ParamEntryMap& map, const QString& name, int dataType = 0, int begin = -1,
                             int end = -1)
{
    ParamEntry& e = map.insert(name);
    e.name = name;
    e.dataType = dataType;
    e.addressBegin = begin;
    e.addressEnd = end;
    return e;
}

// A classic CAN record of an object of the device, captioned "cap <name>".
inline ParamEntry& addCanRecord(ParamEntryMap& map, const QString& name, int canType, uint16_t index,
                                uint8_t subIndex = 0)
{
    ParamEntry& e = map.insert(name);
    e.name = name;
    e.caption = QStringLiteral("cap ") + name;
    e.canDataType = canType;
    e.byteSize = canTypeSize(canType);
    e.objectIndex = QString::number(index, 16).toUpper();
    e.objectSubIndex = QString::number(subIndex, 16).toUpper();
    return e;
}

// The map's register list as a page keeps it: sorted by address.
inline RegisterList sortedRegisters(const ParamEntryMap& map)
{
    RegisterList list;
    registerList(map, list);
    sortRegisterList(list);
    return list;
}
