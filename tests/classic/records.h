// Records made for a test, straight into their map.
#pragma once

#include "classic/paramentry.h"

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

// The map's register list as a page keeps it: sorted by address.
inline RegisterList sortedRegisters(const ParamEntryMap& map)
{
    RegisterList list;
    registerList(map, list);
    sortRegisterList(list);
    return list;
}
