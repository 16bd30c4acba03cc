// Feeds arbitrary bytes to the DFU engine's parsers: the firmware file loader
// (suffix and prefixes), the DfuSe file walk and the memory-layout parser,
// each under the engine's error exit, and checks what they hand on stays
// inside the input and the 32-bit address space.
#include "firmware/dfucore.h"
#include "firmware/dfufile.h"
#include "firmware/dfuse.h"

#include <cstdlib>
#include <string>

namespace {

void quiet(int, const char*)
{
}

void checkWalk(const uint8_t* payload, size_t length, int alt)
{
    int matched = 0;
    dfuse_walk_file(
        payload, length, alt,
        [&](uint32_t address, const uint8_t* data, uint32_t size) {
            if (data < payload || data + size > payload + length)
                std::abort();
            if (uint64_t(address) + size > 0x100000000ull)
                std::abort();
            return 0;
        },
        &matched);
}

void checkLayout(const uint8_t* data, size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    MemoryLayout layout;
    if (!parse_memory_layout(name.c_str(), &layout))
        return;
    for (const MemorySegment& s : layout) {
        if (s.end < s.start || s.pagesize == 0)
            std::abort();
        if ((uint64_t(s.end) - s.start + 1) % s.pagesize != 0)
            std::abort();
        if (find_segment(layout, s.start) == nullptr)
            std::abort();
    }
}

void checkFile(const uint8_t* data, size_t size, int requirements)
{
    DfuFile file;
    file.contents.assign(data, data + size);
    if (!parse_firmware_contents(file, requirements % 3, (requirements / 3) % 3))
        return;
    if (size_t(file.prefixLength) + file.suffixLength > file.size())
        std::abort();
    if (file.suffixLength == 0 && (file.idVendor != DFU_ID_WILDCARD || file.bcdDFU != 0))
        std::abort();
    if (file.bcdDFU == DFUSE_BCD)
        checkWalk(file.payload(), file.payloadSize(), requirements & 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    dfu_set_trace(quiet);
    const uint8_t selector = data[0];
    ++data;
    --size;
    dfu_run_guarded([&] {
        switch (selector % 3) {
        case 0:
            checkFile(data, size, selector / 3);
            break;
        case 1:
            checkWalk(data, size, selector / 3 % 4);
            break;
        default:
            checkLayout(data, size);
            break;
        }
    });
    dfuse_reset_settings();
    return 0;
}
