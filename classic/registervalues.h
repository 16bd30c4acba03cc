// The Modbus register layout of classic records: how a register read from the
// device goes into the record that holds it, how a record turns back into
// register words, and how a page's register list is cut into requests.
//
// A record occupies the registers addressBegin..addressEnd; numbers are
// little-endian by register (the first register holds bits 0..15 of
// currentRaw), a hex record's currentText holds 4 digits per register, first
// register first. A block record stands for the registers of its members.
// Pure functions on the records; GUI thread.
#pragma once

#include "classic/paramentry.h"

#include <QVector>

#include <cstring>

// The low 32 bits of a raw value read as a float, and all 64 as a double.
inline double floatFromBits(quint64 raw)
{
    const quint32 bits = quint32(raw);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return double(value);
}
inline double doubleFromBits(quint64 raw)
{
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

// The words a record or block writes, from its first register on.
struct RegisterWords {
    int address = -1;
    QVector<quint16> words;
};

RegisterWords recordWords(const ParamEntry& record);
// The members' words placed by address over the block's range; a register no
// member holds is 0.
RegisterWords blockWords(const ParamEntry& block);
// recordWords, or blockWords for a block record.
RegisterWords wordsOf(const ParamEntry& record);

// Puts one register read from the device into the record that holds `address`:
// the record named `name`, or for a block the first member holding it. A name
// the map lacks changes nothing.
void mergeRegisterWord(ParamEntryMap& map, const QString& name, quint16 word, int address);

// Most registers one request carries (Modbus function 3 and 16).
enum RegisterLimit { kMaxReadRegisters = 125, kMaxWriteRegisters = 123 };

// One request over consecutive registers: the list entries first..first+count-1.
// A record longer than the protocol allows is a run of its own marked tooLong,
// which is not transferred.
struct RegisterRun {
    int first = 0;
    int count = 0;
    int address = 0;
    bool tooLong = false;
};

// Cuts a sorted register list into runs of at most maxRun consecutive
// registers without ever splitting a record; a record longer than maxRun goes
// alone, up to `longest` registers.
QVector<RegisterRun> registerRuns(const RegisterList& list, int maxRun, int longest);
