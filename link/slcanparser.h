// SLCAN line codec. Frames go out as "tIIILDD..\r" in upper-case hex; received
// bytes are gathered into lines across reads, and a frame is taken only from a
// whole CR-ended t line of exactly 5 + 2 x L hex digits (L 0 to 8). Everything
// else (acknowledgements, BEL, other line kinds, noise) is dropped.
#pragma once

#include "canopen/canframe.h"

#include <cstddef>
#include <string>

enum { SLCAN_MAX_LINE = 22, SLCAN_BUFFER_CAP = 1024 };

// Writes the line with its CR into out (at least SLCAN_MAX_LINE + 1 bytes);
// returns its length, or -1 for a frame longer than 8 bytes.
int slcanEncodeFrame(const CanFrame* frame, char* out);

class SlcanLineParser {
public:
    void feed(const char* bytes, size_t n);
    // Moves up to max frames from whole lines into out; returns how many.
    int takeFrames(CanFrame* out, int max);
    // True when a whole line is waiting, so the next read need not block.
    bool hasLine() const;
    void clear() { m_buffer.clear(); m_skipping = false; }
    size_t buffered() const { return m_buffer.size(); }

    static bool parseLine(const char* line, size_t n, CanFrame* out);

private:
    size_t partialLength() const;
    void dropPartial();

    std::string m_buffer;
    bool m_skipping = false;
};
