// The DfuSe file: an 11-byte prefix ("DfuSe", version 1, image size, target
// count), then per target a 274-byte prefix ("Target", alternate setting, ...,
// total size at 266, element count at 270) and its elements (address, size,
// data). All little-endian.
#include "firmware/dfuse.h"

#include "firmware/dfucore.h"

#include <cstring>

namespace {

// Takes n bytes from the front of the rest of the payload; a file that has
// fewer is corrupt (red line, error exit).
class Reader {
public:
    Reader(const uint8_t* data, size_t length)
        : m_data(data)
        , m_left(length)
    {
    }
    const uint8_t* take(size_t n)
    {
        if (n > m_left) {
            dfu_fatal(DFU_EXIT_DATA, "Corrupt DfuSe file: Cannot read %d bytes from %d bytes", int(n), int(m_left));
            return nullptr;
        }
        const uint8_t* p = m_data;
        m_data += n;
        m_left -= n;
        return p;
    }
    size_t left() const { return m_left; }

private:
    const uint8_t* m_data;
    size_t m_left;
};

} // namespace

int dfuse_walk_file(const uint8_t* payload, size_t length, int altsetting, const DfuseElementWriter& write,
                    int* matched)
{
    *matched = 0;
    if (length <= DFUSE_FILE_PREFIX + DFUSE_TARGET_PREFIX + DFUSE_ELEMENT_HEADER - 1)
        return dfu_fatal(DFU_EXIT_DATA, "File too small for a DfuSe file");
    Reader in(payload, length);
    const uint8_t* prefix = in.take(DFUSE_FILE_PREFIX);
    if (!prefix)
        return -1;
    if (std::memcmp(prefix, "DfuSe", 5) != 0)
        return dfu_fatal(DFU_EXIT_DATA, "No valid DfuSe signature");
    if (prefix[5] != 0x01)
        return dfu_fatal(DFU_EXIT_DATA, "DFU format revision %i not supported", prefix[5]);
    const int targets = prefix[10];
    dfu_out("file contains %i DFU images\n", targets);

    bool firstElement = true;
    for (int image = 1; image <= targets; ++image) {
        dfu_out("parsing DFU image %i\n", image);
        const uint8_t* target = in.take(DFUSE_TARGET_PREFIX);
        if (!target)
            return -1;
        if (std::memcmp(target, "Target", 6) != 0)
            return dfu_fatal(DFU_EXIT_DATA, "No valid target signature");
        const int alt = target[6];
        const uint32_t elements = dfu_le32(target + 270);
        dfu_out("image for alternate setting %i, (%i elements, total size = %i)\n", alt, int(elements),
                int(dfu_le32(target + 266)));
        const bool mine = alt == altsetting;
        if (mine)
            ++*matched;
        else
            dfu_out("Warning: Image does not match current alternate setting.\n"
                    "Please rerun with the correct -a option setting to download this image!\n");
        for (uint32_t e = 1; e <= elements; ++e) {
            const uint8_t* header = in.take(DFUSE_ELEMENT_HEADER);
            if (!header)
                return -1;
            const uint32_t address = dfu_le32(header);
            const uint32_t size = dfu_le32(header + 4);
            dfu_out("parsing element %i, address = 0x%08x, size = %i\n", int(e), address, int(size));
            if (firstElement) {
                dfuse_settings().address = address;
                firstElement = false;
            }
            if (size > in.left())
                return dfu_fatal(DFU_EXIT_DATA, "File too small for element size");
            const uint8_t* data = in.take(size);
            if (mine) {
                if (uint64_t(address) + size > 0x100000000ull)
                    return dfu_fatal(DFU_EXIT_DATA, "Element %u ends past 0xFFFFFFFF: address 0x%08x, size %u",
                                     e, address, size);
                if (const int rc = write(address, data, size))
                    return rc;
            }
        }
    }
    if (in.left())
        dfu_err("%d bytes leftover", int(in.left()));
    dfu_out("done parsing DfuSe file\n");
    return 0;
}

int dfuse_file_download(DfuInterface* dif, int xferSize, const DfuFile& file)
{
    int matched = 0;
    const int rc = dfuse_walk_file(
        file.payload(), file.payloadSize(), dif->altsetting,
        [&](uint32_t address, const uint8_t* data, uint32_t size) {
            return dfuse_write_pages(dif, address, size, data, xferSize);
        },
        &matched);
    if (rc != 0)
        return rc;
    if (matched == 0)
        return dfu_fatal(DFU_EXIT_DATA, "Warning: Image does not match current alternate setting.\n"
                                        "Please rerun with the correct -a option setting to download this image!");
    return 0;
}
