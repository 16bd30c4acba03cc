// An object's address as configuration data writes it: the index and
// sub-index as hexadecimal texts. A text that is no number, or does not fit
// the 16 bits of an index or the 8 of a sub-index, names no object and is
// never cut down to one that does.
#pragma once

#include <QString>

#include <cstdint>

// Both texts as numbers; false, with nothing set, when either names no object.
inline bool parseObjectAddress(const QString& index, const QString& subIndex, uint16_t* indexOut, uint8_t* subOut)
{
    bool indexOk = false;
    bool subOk = false;
    const uint idx = index.toUInt(&indexOk, 16);
    const uint sub = subIndex.toUInt(&subOk, 16);
    if (!indexOk || !subOk || idx > 0xFFFF || sub > 0xFF)
        return false;
    *indexOut = uint16_t(idx);
    *subOut = uint8_t(sub);
    return true;
}
