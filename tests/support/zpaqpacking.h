// Packing text with libzpaq into memory, as a device's EDS is stored (tests
// and the benchmark of the EDS helper).
#pragma once

#include "classic/edsunpack.h"

#include <QByteArray>

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
