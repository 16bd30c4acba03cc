// The memory layout in a DfuSe alternate setting's name, e.g.
// "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg".
#include "firmware/dfuse.h"

#include "firmware/dfucore.h"

#include <cctype>
#include <cstring>

namespace {

class Scanner {
public:
    explicit Scanner(const char* text)
        : m_p(text)
    {
    }
    bool atEnd() const { return *m_p == '\0'; }
    char peek() const { return *m_p; }
    char take() { return *m_p ? *m_p++ : '\0'; }
    bool skip(const char* literal)
    {
        const size_t n = std::strlen(literal);
        if (std::strncmp(m_p, literal, n) != 0)
            return false;
        m_p += n;
        return true;
    }
    // Digits in the base; false when there are none or the value passes 32 bits.
    bool number(int base, uint64_t* value)
    {
        uint64_t v = 0;
        const char* start = m_p;
        for (;;) {
            const int c = std::tolower(static_cast<unsigned char>(*m_p));
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else
                break;
            if (digit >= base)
                break;
            v = v * uint64_t(base) + uint64_t(digit);
            if (v > 0xFFFFFFFFu)
                return false;
            ++m_p;
        }
        *value = v;
        return m_p != start;
    }
    // Everything up to the next ',' or '/'.
    std::string field()
    {
        const char* start = m_p;
        while (*m_p && *m_p != ',' && *m_p != '/')
            ++m_p;
        return std::string(start, m_p);
    }

private:
    const char* m_p;
};

uint64_t multiplierOf(char c)
{
    switch (c) {
    case 'B':
        return 1;
    case 'K':
        return 1024;
    case 'M':
        return 1024 * 1024;
    default:
        return 0;
    }
}

} // namespace

bool parse_memory_layout(const char* name, MemoryLayout* layout)
{
    layout->clear();
    const char* slash = name[0] == '@' ? std::strchr(name + 1, '/') : nullptr;
    if (name[0] != '@' || slash == name + 1) {
        dfu_err("Could not read name, sscanf returned %d", 0);
        return false;
    }
    const std::string layoutName = slash ? std::string(name + 1, slash) : std::string(name + 1);
    dfu_out("DfuSe interface name: \"%s\"\n", layoutName.c_str());
    if (!slash)
        return false;
    const bool deviceFeature = layoutName == "Device Feature";

    MemoryLayout segments;
    Scanner s(slash);
    int index = 0;
    uint64_t address = 0;
    bool malformed = false;
    while (!malformed && s.skip("/0x")) {
        if (!s.number(16, &address) || !s.skip("/"))
            break;
        for (;;) {
            uint64_t count = 0, size = 0;
            if (!s.number(10, &count) || !s.skip("*") || !s.number(10, &size)) {
                malformed = true;
                break;
            }
            const int segment = index++;
            const char multiplierChar = s.take();
            std::string type = s.field();
            uint64_t multiplier = multiplierOf(multiplierChar);
            if (!multiplier) {
                multiplier = 1;
                if (multiplierChar >= 'a' && multiplierChar <= 'g' && type.empty()) {
                    dfu_err("Non-valid multiplier '%c', interpreted as type identifier instead", multiplierChar);
                    type.assign(1, multiplierChar);
                } else if (multiplierChar) {
                    dfu_err("Non-valid multiplier '%c', assuming bytes", multiplierChar);
                }
            }
            if (deviceFeature)
                type = "e";
            if (type.empty()) {
                dfu_err("No valid type for segment %d\n", segment);
            } else if (type.size() != 1) {
                dfu_err("Parsing type identifier '%s' failed for segment %i", type.c_str(), segment);
            } else {
                // Sizes are taken wide: a layout past the 32-bit address space is no layout.
                const uint64_t pageBytes = size * multiplier;
                if (pageBytes > 0xFFFFFFFFull || (count && pageBytes > (0x100000000ull - address) / count))
                    return false;
                const uint64_t bytes = count * pageBytes;
                if (bytes) {
                    MemorySegment seg;
                    seg.start = uint32_t(address);
                    seg.end = uint32_t(address + bytes - 1);
                    seg.pagesize = uint32_t(pageBytes);
                    seg.memtype = uint8_t(type[0] & 7);
                    segments.push_back(seg);
                    if (dfu_verbose() >= 1)
                        dfu_out("Memory segment at 0x%08x %3d x %4d = %5d (%s%s%s)\n", seg.start, int(count),
                                int(seg.pagesize), int(bytes), (seg.memtype & DFUSE_READABLE) ? "r" : "",
                                (seg.memtype & DFUSE_ERASABLE) ? "e" : "", (seg.memtype & DFUSE_WRITEABLE) ? "w" : "");
                }
                address += bytes;
            }
            if (!s.skip(","))
                break;
        }
    }
    if (segments.empty())
        return false;
    *layout = std::move(segments);
    return true;
}

const MemorySegment* find_segment(const MemoryLayout& layout, uint32_t address)
{
    for (const MemorySegment& seg : layout)
        if (seg.start <= address && address <= seg.end)
            return &seg;
    return nullptr;
}
