#pragma once

#include <QBitArray>
#include <QByteArray>

// Bit positions run over an object's value bytes in transfer order: position p is
// bit 7 - (p % 8) of byte p / 8, so position 0 is the most significant bit of byte 0.
// Bit numbers inside one byte count from the least significant bit (0) up to 7.

// Sets (bit != 0) or clears bit `number` (0..7) of `byte`.
void setBitInByte(char &byte, int bit, int number);

// The bit at `position`; false beyond the end of `bytes`.
bool bitAt(const QByteArray &bytes, int position);

// Sets or clears the bit at `position`; a position outside `bytes` changes nothing.
void setBitAt(QByteArray &bytes, int position, int bit);

// 8 * size bits, numbered like positions.
QBitArray bytesToBits(const QByteArray &bytes);

// Gives the positions startbit..endbit of `dest` the bits of `bits` in order. Positions
// past the end of `dest` are never touched (its length never changes); positions for
// which `bits` has no bit left get 0.
void packBits(QByteArray &dest, const QBitArray &bits, int startbit, int endbit);

// The positions startbit..endbit of `value`, left-aligned in a zeroed buffer of
// `width` bits (width / 8 bytes). Bits beyond the buffer are dropped; positions past
// the end of `value` read as 0.
QByteArray extractBits(const QByteArray &value, int startbit, int endbit, int width);
