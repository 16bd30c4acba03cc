#include "firmware/dfufile.h"

#include "firmware/dfucore.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The table of the published CRC-32 (reflected polynomial 0xEDB88320).
struct CrcTable {
    uint32_t entry[256];
    constexpr CrcTable()
        : entry()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entry[i] = c;
        }
    }
};
constexpr CrcTable kCrcTable;

void put16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

bool readStandardInput(DfuFile& file)
{
    const size_t step = 65536;
    size_t have = 0;
    for (;;) {
        if (file.contents.size() < have + step) {
            try {
                file.contents.resize(have + step);
            } catch (const std::bad_alloc&) {
                dfu_fatal(DFU_EXIT_SOFTWARE, "Could not allocate firmware buffer");
                return false;
            }
        }
        const ssize_t n = ::read(0, file.contents.data() + have, step);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            dfu_err("%s: %s", file.name.c_str(), std::strerror(errno));
            dfu_fatal(DFU_EXIT_IO, "Could not read %d bytes from %s", int(step), file.name.c_str());
            return false;
        }
        if (n == 0)
            break;
        have += size_t(n);
    }
    file.contents.resize(have);
    return true;
}

bool readWholeFile(DfuFile& file)
{
    const int fd = ::open(file.name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        dfu_err("%s: %s", file.name.c_str(), std::strerror(errno));
        dfu_fatal(DFU_EXIT_NO_INPUT, "Could not open file %s for reading", file.name.c_str());
        return false;
    }
    DfuFdCloser closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size < 0 || uint64_t(st.st_size) > uint64_t(INT_MAX)) {
        dfu_fatal(DFU_EXIT_DATA, "File size is too big");
        return false;
    }
    const size_t size = size_t(st.st_size);
    if (!dfu_resize_buffer(file.contents, size))
        return false;
    size_t have = 0;
    while (have < size) {
        const ssize_t n = ::read(fd, file.contents.data() + have, size - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0)
                dfu_err("%s: %s", file.name.c_str(), std::strerror(errno));
            dfu_fatal(DFU_EXIT_IO, "Could not read %d bytes from %s", int(size), file.name.c_str());
            return false;
        }
        have += size_t(n);
    }
    return true;
}

// Why the file has no valid suffix, or null when it has one (fields taken).
const char* takeSuffix(DfuFile& file, bool& failed)
{
    failed = false;
    if (file.size() < DFU_SUFFIX_LENGTH)
        return "File too short for DFU suffix";
    const uint8_t* s = file.contents.data() + file.size() - DFU_SUFFIX_LENGTH;
    const uint32_t crc = dfu_crc32(0xFFFFFFFFu, file.contents.data(), file.size() - 4);
    if (s[8] != 'U' || s[9] != 'F' || s[10] != 'D')
        return "Invalid DFU suffix signature";
    file.dwCRC = dfu_le32(s + 12);
    if (file.dwCRC != crc)
        return "DFU suffix CRC does not match";
    const uint8_t bLength = s[11];
    if (bLength < DFU_SUFFIX_LENGTH) {
        dfu_fatal(DFU_EXIT_DATA, "Unsupported DFU suffix length %d", bLength);
        failed = true;
        return nullptr;
    }
    if (bLength > file.size()) {
        dfu_fatal(DFU_EXIT_DATA, "Invalid DFU suffix length %d", bLength);
        failed = true;
        return nullptr;
    }
    file.suffixLength = bLength;
    file.bcdDevice = dfu_le16(s + 0);
    file.idProduct = dfu_le16(s + 2);
    file.idVendor = dfu_le16(s + 4);
    file.bcdDFU = dfu_le16(s + 6);
    return nullptr;
}

void takePrefix(DfuFile& file)
{
    if (file.size() < 8)
        return;
    const uint8_t* p = file.contents.data();
    uint32_t length = 0;
    int type = DFU_PREFIX_NONE;
    if (p[0] == 0x01 && p[1] == 0x00) {
        type = DFU_PREFIX_LOAD_ADDRESS;
        length = 8;
    } else if ((p[0] & 0x3F) == 0x1A && (p[1] & 0x3F) == 0x3F) {
        type = DFU_PREFIX_BLOCK_COUNT;
        length = 16;
    }
    if (type == DFU_PREFIX_NONE || file.size() < size_t(length) + file.suffixLength)
        return;
    file.prefixType = type;
    file.prefixLength = length;
    if (type == DFU_PREFIX_LOAD_ADDRESS)
        file.prefixAddress = uint32_t(dfu_le16(p + 2)) * 1024u;
    if (dfu_verbose() >= 1)
        dfu_show_file(file);
}

} // namespace

DfuFdCloser::~DfuFdCloser()
{
    if (fd >= 0)
        ::close(fd);
}

uint32_t dfu_crc32(uint32_t crc, const uint8_t* data, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        crc = kCrcTable.entry[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

bool load_firmware_file(DfuFile& file, int suffixRequirement, int prefixRequirement)
{
    file.contents.clear();
    if (file.name == "-") {
        if (!readStandardInput(file))
            return false;
        if (suffixRequirement == DFU_NEEDED)
            suffixRequirement = DFU_OPTIONAL;
    } else if (!readWholeFile(file)) {
        return false;
    }
    return parse_firmware_contents(file, suffixRequirement, prefixRequirement);
}

bool parse_firmware_contents(DfuFile& file, int suffixRequirement, int prefixRequirement)
{
    file.prefixLength = 0;
    file.suffixLength = 0;
    file.prefixAddress = 0;
    file.prefixType = DFU_PREFIX_NONE;
    file.dwCRC = 0;
    file.bcdDFU = 0;
    file.idVendor = file.idProduct = file.bcdDevice = DFU_ID_WILDCARD;

    bool failed = false;
    const char* reason = takeSuffix(file, failed);
    if (failed)
        return false;
    if (reason) {
        // A rejected suffix leaves no field behind.
        file.dwCRC = 0;
        dfu_err("%s", reason);
        if (suffixRequirement == DFU_NEEDED) {
            dfu_fatal(DFU_EXIT_DATA, "Valid DFU suffix needed");
            return false;
        }
        if (suffixRequirement == DFU_OPTIONAL)
            dfu_err("A valid DFU suffix will be required in a future release!!!");
    } else if (suffixRequirement == DFU_MUST_NOT_BE) {
        dfu_fatal(DFU_EXIT_DATA, "Please remove existing DFU suffix before adding a new one.\n");
        return false;
    }

    takePrefix(file);
    if (prefixRequirement == DFU_NEEDED && file.prefixType == DFU_PREFIX_NONE) {
        dfu_fatal(DFU_EXIT_DATA, "Valid DFU prefix needed");
        return false;
    }
    if (prefixRequirement == DFU_MUST_NOT_BE && file.prefixType != DFU_PREFIX_NONE) {
        dfu_fatal(DFU_EXIT_DATA, "A prefix already exists, please delete it first");
        return false;
    }
    return true;
}

uint32_t write_with_crc(int fd, uint32_t crc, const void* data, size_t length)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            dfu_err("%s: %s", "write", n < 0 ? std::strerror(errno) : "nothing written");
            dfu_fatal(DFU_EXIT_IO, "Could not write %d bytes to file %d", int(length), fd);
            return crc;
        }
        done += size_t(n);
    }
    return dfu_crc32(crc, bytes, length);
}

bool dfu_store_file(DfuFile& file, bool writeSuffix, bool writePrefix)
{
    const int fd = ::open(file.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        dfu_err("%s: %s", file.name.c_str(), std::strerror(errno));
        dfu_fatal(DFU_EXIT_CANT_CREATE, "Cannot open file %s for writing", file.name.c_str());
        return false;
    }
    DfuFdCloser closer{fd};
    const uint32_t payloadSize = uint32_t(file.payloadSize());
    uint32_t crc = 0xFFFFFFFFu;
    if (writePrefix && file.prefixType == DFU_PREFIX_LOAD_ADDRESS) {
        uint8_t p[8] = {0x01, 0x00};
        put16(p + 2, file.prefixAddress / 1024u);
        put32(p + 4, payloadSize);
        crc = write_with_crc(fd, crc, p, sizeof p);
    } else if (writePrefix && file.prefixType == DFU_PREFIX_BLOCK_COUNT) {
        uint8_t p[16] = {0x1A, 0x3F};
        put16(p + 2, (payloadSize + 511u) / 512u);
        std::memset(p + 12, 0xFF, 4);
        crc = write_with_crc(fd, crc, p, sizeof p);
    }
    crc = write_with_crc(fd, crc, file.payload(), payloadSize);
    if (writeSuffix) {
        uint8_t s[DFU_SUFFIX_LENGTH];
        put16(s + 0, file.bcdDevice);
        put16(s + 2, file.idProduct);
        put16(s + 4, file.idVendor);
        put16(s + 6, file.bcdDFU);
        s[8] = 'U';
        s[9] = 'F';
        s[10] = 'D';
        s[11] = DFU_SUFFIX_LENGTH;
        crc = write_with_crc(fd, crc, s, 12);
        put32(s + 12, crc);
        write_with_crc(fd, crc, s + 12, 4);
        file.dwCRC = crc;
    }
    return true;
}

void dfu_show_file(const DfuFile& file)
{
    if (file.prefixType == DFU_PREFIX_LOAD_ADDRESS)
        dfu_out("The file contains a load-address prefix: address 0x%08x, %u payload bytes\n", file.prefixAddress,
                unsigned(file.payloadSize()));
    else if (file.prefixType == DFU_PREFIX_BLOCK_COUNT)
        dfu_out("The file contains a block-count prefix of %u bytes\n", file.prefixLength);
    else
        dfu_out("The file contains no prefix\n");
    if (file.suffixLength == 0) {
        dfu_out("The file contains no DFU suffix\n");
        return;
    }
    dfu_out("DFU suffix: bcdDevice 0x%04x, idProduct 0x%04x, idVendor 0x%04x, bcdDFU 0x%04x, length %u, "
            "dwCRC 0x%08x\n",
            file.bcdDevice, file.idProduct, file.idVendor, file.bcdDFU, file.suffixLength, file.dwCRC);
}
