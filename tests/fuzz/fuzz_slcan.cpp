// Feeds arbitrary bytes, cut into arbitrary reads, into the adapter's line
// parser and checks what comes out is well formed.
#include "link/slcanparser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SlcanLineParser parser;
    CanFrame frames[50];
    size_t pos = 0;
    while (pos < size) {
        // The first byte of each chunk says how long the read is.
        size_t n = 1 + data[pos] % 64;
        ++pos;
        if (n > size - pos)
            n = size - pos;
        parser.feed(reinterpret_cast<const char*>(data + pos), n);
        pos += n;
        const int got = parser.takeFrames(frames, 50);
        for (int i = 0; i < got; ++i)
            if (frames[i].len > 8 || frames[i].id > 0xFFF)
                std::abort();
        if (parser.buffered() > SLCAN_BUFFER_CAP)
            std::abort();
    }
    return 0;
}
