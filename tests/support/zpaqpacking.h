// Packing text with libzpaq into memory, as a device's EDS is stored (tests
// and the benchmark of the EDS helper): by a level or method, or with a model
// program of our own, good or damaged.
#pragma once

#include "classic/edsunpack.h"

#include <QByteArray>

#include <algorithm>

// libzpaq's writer into a byte array.
struct ByteWriter : libzpaq::Writer {
    void put(int c) override { out.append(char(c)); }
    QByteArray out;
};

// `text` packed by libzpaq's method (a level "0" to "5", or a method string).
inline QByteArray pack(const QByteArray& text, const char* method)
{
    InZpaq in(text.constData(), text.size());
    ByteWriter out;
    libzpaq::compress(&in, &out, method);
    return out.out;
}

// `text` packed in one block with the model `config` describes, in libzpaq's
// configuration language (comp, hcomp, end).
inline QByteArray packWithModel(const QByteArray& text, const char* config)
{
    InZpaq in(text.constData(), text.size());
    ByteWriter out;
    libzpaq::Compressor c;
    c.setOutput(&out);
    c.startBlock(config, nullptr);
    c.startSegment();
    c.setInput(&in);
    c.compress();
    c.endSegment();
    c.endBlock();
    return out.out;
}

// A stream whose model program jumps to itself: the decompressor runs it for
// every byte and never gets past the first. Packed with "jmp 0" (go on) and
// "jmp 1" (skip the next halt), the one byte they differ in is the jump's
// offset; -2 makes it a jump onto itself. Empty should that byte not be found.
inline QByteArray selfJumpingStream(const QByteArray& text)
{
    const auto packWith = [&](const char* jump) {
        return packWithModel(text, (QByteArray("comp 0 0 0 0 1 0 icm 12 hcomp ") + jump + " halt halt end").constData());
    };
    QByteArray stream = packWith("jmp 0");
    const QByteArray other = packWith("jmp 1");
    if (stream.size() != other.size())
        return QByteArray();
    for (int i = 0; i < stream.size(); ++i) {
        if (stream[i] != other[i]) {
            stream[i] = char(-2);
            return stream;
        }
    }
    return QByteArray();
}

// `text` packed with the model `config` (with a number for "%1"), after
// which that number's byte in the block's header says `value`: the header
// asks for the model `value` makes, the data is packed with a small one, and
// nothing of the large one is taken while packing. Packed with 1 and with 2
// to find the byte; empty should it not be found.
inline QByteArray streamAskingFor(const QByteArray& text, const char* config, int value)
{
    const auto packWith = [&](int n) {
        return packWithModel(text, QByteArray(config).replace("%1", QByteArray::number(n)).constData());
    };
    QByteArray stream = packWith(1);
    const QByteArray other = packWith(2);
    for (int i = 0; i < std::min(stream.size(), other.size()); ++i) {
        if (stream.at(i) != other.at(i)) {
            if (stream.at(i) != char(1) || other.at(i) != char(2))
                return QByteArray();
            stream[i] = char(value);
            return stream;
        }
    }
    return QByteArray();
}

// A good stream whose model program counts to 255 twice over, nested, for
// every byte: slow on every byte alike, as a model of many components is,
// and as slow to pack.
inline QByteArray slowModelStream(const QByteArray& text)
{
    // b counts the outer rounds, a the inner; each jt goes back to the start
    // of its round (offsets from the instruction after it).
    return packWithModel(text, "comp 0 0 0 0 1 0 icm 12 hcomp"
                               " b= 0"
                               " a= 0 a++ a< 255 jt -5"
                               " a=b a++ b=a a< 255 jt -14"
                               " halt end");
}
