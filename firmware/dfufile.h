// The DFU firmware file: an optional prefix, the payload and the 16-byte DFU
// suffix (bcdDevice, idProduct, idVendor, bcdDFU, "UFD", bLength, dwCRC; all
// little-endian), with its CRC. Failures log one red line and take the error
// exit (dfucore.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum { DFU_SUFFIX_LENGTH = 16, DFU_ID_WILDCARD = 0xFFFF, DFUSE_BCD = 0x011A };
enum DfuPrefixType { DFU_PREFIX_NONE = 0, DFU_PREFIX_LOAD_ADDRESS = 1, DFU_PREFIX_BLOCK_COUNT = 2 };
// What a load asks of the suffix and the prefix.
enum DfuRequirement { DFU_MUST_NOT_BE = 0, DFU_NEEDED = 1, DFU_OPTIONAL = 2 };

struct DfuFile {
    std::string name;              // path, or "-" for standard input
    std::vector<uint8_t> contents; // the whole file
    uint32_t prefixLength = 0;     // 0 when absent
    uint32_t suffixLength = 0;     // 0 when absent
    uint32_t prefixAddress = 0;    // load-address prefix: target address
    int prefixType = DFU_PREFIX_NONE;
    uint32_t dwCRC = 0;
    uint16_t bcdDFU = 0;           // 0 when no suffix
    uint16_t idVendor = DFU_ID_WILDCARD;
    uint16_t idProduct = DFU_ID_WILDCARD;
    uint16_t bcdDevice = DFU_ID_WILDCARD;

    size_t size() const { return contents.size(); }
    // The bytes between prefix and suffix.
    const uint8_t* payload() const { return contents.data() + prefixLength; }
    size_t payloadSize() const { return contents.size() - prefixLength - suffixLength; }
};

// Closes a file descriptor when it goes out of scope; a negative one is none.
struct DfuFdCloser {
    int fd;
    ~DfuFdCloser();
};

// CRC-32 (reflected polynomial 0xEDB88320) without the final inversion, as the
// suffix stores it: start with 0xFFFFFFFF.
uint32_t dfu_crc32(uint32_t crc, const uint8_t* data, size_t length);

// Reads the file named by file.name and parses it; false after a failure line
// (when no guard is installed).
bool load_firmware_file(DfuFile& file, int suffixRequirement, int prefixRequirement);
// Parses file.contents (already filled) for suffix and prefix.
bool parse_firmware_contents(DfuFile& file, int suffixRequirement, int prefixRequirement);

// Writes the bytes to fd and returns the CRC updated over them; a short write
// is a failure line and the error exit.
uint32_t write_with_crc(int fd, uint32_t crc, const void* data, size_t length);

// Writes the payload to file.name (a new file replaces an old one), with the
// prefix of file.prefixType and a suffix carrying the file's ids when asked.
bool dfu_store_file(DfuFile& file, bool writeSuffix, bool writePrefix);
// The prefix and suffix fields, on the trace output.
void dfu_show_file(const DfuFile& file);
