// Reading device memory into a buffer, and finding a marker in it.
#include "firmware/dfuse.h"

#include "firmware/dfucore.h"

#include <algorithm>
#include <cstring>

bool dfuse_read_memory(DfuInterface* dif, int xferSize, uint32_t address, uint32_t length,
                       std::vector<uint8_t>* out)
{
    out->clear();
    dfuse_special_command(dif, address, DFUSE_SET_ADDRESS);
    if (!dfu_abort_to_idle(dif))
        return false;
    uint32_t total = 0;
    uint16_t block = 2;
    // The buffer grows with the bytes that come, not with the length asked
    // for: a layout may claim gigabytes that the device never sends.
    while (total < length) {
        const int ask = int(std::min<uint32_t>(uint32_t(xferSize), length - total));
        if (!dfu_resize_buffer(*out, size_t(total) + size_t(ask)))
            return false;
        const int rc = dfuse_upload(dif, ask, out->data() + total, block++);
        if (rc < 0)
            return false;
        total += uint32_t(rc);
        if (rc < ask)
            break;
    }
    out->resize(total);
    return true;
}

int64_t dfuse_find_marker(const uint8_t* buffer, size_t length, const char* marker, size_t markerLength)
{
    if (markerLength == 0 || markerLength > length)
        return -1;
    const uint8_t* end = buffer + length;
    const uint8_t* hit = std::search(buffer, end, marker, marker + markerLength);
    return hit == end ? -1 : int64_t(hit - buffer);
}
