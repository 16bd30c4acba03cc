#include "link/slcanparser.h"

#include <cstring>

namespace {
const char hexDigits[] = "0123456789ABCDEF";

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}

int slcanEncodeFrame(const CanFrame* frame, char* out)
{
    if (frame->len > 8)
        return -1;
    int n = 0;
    out[n++] = 't';
    out[n++] = hexDigits[(frame->id >> 8) & 0xF];
    out[n++] = hexDigits[(frame->id >> 4) & 0xF];
    out[n++] = hexDigits[frame->id & 0xF];
    out[n++] = char('0' + frame->len);
    for (int i = 0; i < frame->len; ++i) {
        out[n++] = hexDigits[frame->data[i] >> 4];
        out[n++] = hexDigits[frame->data[i] & 0xF];
    }
    out[n++] = '\r';
    out[n] = '\0';
    return n;
}

bool SlcanLineParser::parseLine(const char* line, size_t n, CanFrame* out)
{
    if (n < 5 || line[0] != 't')
        return false;
    int d[3];
    for (int i = 0; i < 3; ++i)
        if ((d[i] = hexValue(line[1 + i])) < 0)
            return false;
    if (line[4] < '0' || line[4] > '8')
        return false;
    const int len = line[4] - '0';
    if (n != size_t(5 + 2 * len))
        return false;
    CanFrame f;
    f.id = uint16_t((d[0] << 8) | (d[1] << 4) | d[2]);
    f.rtr = 0;
    f.len = uint8_t(len);
    for (int i = 0; i < len; ++i) {
        int hi = hexValue(line[5 + 2 * i]), lo = hexValue(line[6 + 2 * i]);
        if (hi < 0 || lo < 0)
            return false;
        f.data[i] = uint8_t((hi << 4) | lo);
    }
    *out = f;
    return true;
}

void SlcanLineParser::feed(const char* bytes, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c == '\a') {
            // An error bell ends whatever partial line came before it.
            dropPartial();
            continue;
        }
        if (c == '\n' || c == '\0')
            continue;
        if (c == '\r') {
            if (m_skipping)
                m_skipping = false;
            else
                m_buffer.push_back(c);
            continue;
        }
        if (m_skipping)
            continue;
        if (partialLength() >= SLCAN_MAX_LINE) {
            // Longer than any frame line: noise. Skip to the next line end.
            dropPartial();
            m_skipping = true;
            continue;
        }
        // Whole lines wait here only until the next take; bound them anyway.
        if (m_buffer.size() >= SLCAN_BUFFER_CAP)
            m_buffer.clear();
        m_buffer.push_back(c);
    }
}

size_t SlcanLineParser::partialLength() const
{
    size_t cr = m_buffer.rfind('\r');
    return cr == std::string::npos ? m_buffer.size() : m_buffer.size() - cr - 1;
}

void SlcanLineParser::dropPartial()
{
    m_buffer.resize(m_buffer.size() - partialLength());
}

bool SlcanLineParser::hasLine() const
{
    return m_buffer.find('\r') != std::string::npos;
}

int SlcanLineParser::takeFrames(CanFrame* out, int max)
{
    int count = 0;
    size_t start = 0;
    while (count < max) {
        size_t cr = m_buffer.find('\r', start);
        if (cr == std::string::npos)
            break;
        if (parseLine(m_buffer.data() + start, cr - start, &out[count]))
            ++count;
        start = cr + 1;
    }
    m_buffer.erase(0, start);
    return count;
}
