// One Modbus mapping of object 0x2070: a run of sub-indices of one CANopen
// object shown at holding registers from a start address on. On the device
// an entry is an UNSIGNED64 held as 16 hexadecimal digits: index (4), first
// sub-index (2), sub-index count (2), register address (4), register count (4).
#pragma once

#include <QString>

struct MappingEntry {
    QString objectIndex;        // hexadecimal text
    int subIndex = 0;
    int subIndexCount = 0;
    int modbusAddress = 0;
    int modbusRegisterCount = 0;

    // The five fields of an entry's 16 digits; missing or foreign digits read as 0.
    static MappingEntry fromText(const QString& digits);
    // The 16 digits to write: the index padded to 4 digits, sub-index and
    // count to 2, the address to 4, and "0000" for the register count, which
    // the device works out itself.
    QString toText() const;
};
