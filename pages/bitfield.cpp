#include "pages/bitfield.h"

#include <algorithm>

void setBitInByte(char &byte, int bit, int number)
{
    if (number < 0 || number > 7)
        return;
    const unsigned char mask = static_cast<unsigned char>(1u << number);
    unsigned char b = static_cast<unsigned char>(byte);
    b = bit ? (b | mask) : (b & ~mask);
    byte = static_cast<char>(b);
}

bool bitAt(const QByteArray &bytes, int position)
{
    if (position < 0 || position / 8 >= bytes.size())
        return false;
    const unsigned char b = static_cast<unsigned char>(bytes.at(position / 8));
    return (b >> (7 - position % 8)) & 1u;
}

void setBitAt(QByteArray &bytes, int position, int bit)
{
    if (position < 0 || position / 8 >= bytes.size())
        return;
    setBitInByte(bytes.data()[position / 8], bit, 7 - position % 8);
}

QBitArray bytesToBits(const QByteArray &bytes)
{
    QBitArray bits(bytes.size() * 8);
    for (int p = 0; p < bits.size(); ++p)
        bits.setBit(p, bitAt(bytes, p));
    return bits;
}

void packBits(QByteArray &dest, const QBitArray &bits, int startbit, int endbit)
{
    const int first = std::max(startbit, 0);
    const int last = std::min(endbit, dest.size() * 8 - 1);
    int next = 0;
    for (int p = first; p <= last; ++p, ++next)
        setBitAt(dest, p, next < bits.size() && bits.testBit(next));
}

QByteArray extractBits(const QByteArray &value, int startbit, int endbit, int width)
{
    const int bytes = std::max(width, 0) / 8;
    QBitArray buffer(bytes * 8);
    const int first = std::max(startbit, 0);
    const int last = std::min(endbit, value.size() * 8 - 1);
    int next = 0;
    for (int p = first; p <= last && next < buffer.size(); ++p, ++next)
        buffer.setBit(next, bitAt(value, p));

    QByteArray out(bytes, '\0');
    packBits(out, buffer, 0, bytes * 8 - 1);
    return out;
}
