// Firmware files for the DFU tests, made at run time: DfuSe images (file
// prefix, targets, elements), the DFU suffix with its CRC (taken from zlib's
// CRC-32, so it does not share the engine's code), both prefixes, and any of
// them broken on purpose. No binary fixture is committed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dfutest {

using Bytes = std::vector<uint8_t>;

struct Element {
    uint32_t address = 0;
    Bytes data;
};

struct Target {
    uint8_t alt = 0;
    std::string name;
    std::vector<Element> elements;
};

// The DfuSe payload: "DfuSe", the format version, the image size, the target
// count, then each target's 274-byte prefix and its elements.
Bytes dfuseImage(const std::vector<Target>& targets, uint8_t version = 1);

struct Suffix {
    uint16_t bcdDevice = 0xFFFF;
    uint16_t idProduct = 0xFFFF;
    uint16_t idVendor = 0xFFFF;
    uint16_t bcdDFU = 0x0100;
    uint8_t bLength = 16;
    std::string signature = "UFD";
    bool wrongCrc = false;
};
// The bytes followed by a 16-byte DFU suffix.
Bytes withSuffix(Bytes bytes, const Suffix& suffix);
// A DfuSe file: the image with a suffix of bcdDFU 0x011A and these ids.
Bytes dfuseFile(const std::vector<Target>& targets, uint16_t vendor = 0xFFFF, uint16_t product = 0xFFFF);
// A DfuSe file with one target for alternate setting 0 holding one element.
Bytes dfuseFileAt(uint32_t address, Bytes data);

Bytes loadAddressPrefix(uint32_t address, uint32_t payloadLength);
Bytes blockCountPrefix(uint32_t payloadLength);

// A device-information record as firmware images carry it: the marker, four
// bytes nobody reads, the format version, the fields, the entry count, the
// entries and the hash over all of them (fasthash64, seed 0, computed here on
// its own). Any field may be wrong on purpose.
struct FwInfo {
    uint16_t version = 1;
    int32_t deviceType = 7;
    int32_t deviceVersion = 3;
    int32_t programVersion = 12;
    int32_t programRevision = 4;
    int32_t compileTime = 1700000000;
    uint64_t serial = 123456789;
    std::vector<Bytes> entries;   // each padded or cut to 18 bytes
    int64_t entryCount = -1;      // the N written; -1: the number of entries
    bool brokenHash = false;
};
Bytes fwinfoRecord(const FwInfo& info);
// The eight marker bytes alone.
Bytes fwinfoMarker();
uint64_t fwinfoHash(const uint8_t* data, size_t length);

// dwCRC over the bytes as a suffix stores it (CRC-32 without its final inversion).
uint32_t suffixCrc(const uint8_t* data, size_t length);
// n bytes of a fixed pseudo-random sequence.
Bytes pattern(size_t n, uint32_t seed);
Bytes concat(Bytes a, const Bytes& b);

bool writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

} // namespace dfutest
