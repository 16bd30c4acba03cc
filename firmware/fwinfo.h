// The device-information record that firmware images carry, and the check
// before a download that compares the record in the device's flash with the
// one in the file, shows both and asks the user about every doubtful case.
//
// The record ("_FWINFO_" at any byte position, little-endian):
//   0 marker (8) | 8 not interpreted (4) | 12 format version (2, only 1 is
//   understood) | 14 device type | 18 device version | 22 program version |
//   26 program revision | 30 compile time (4 each, signed; seconds since 1970
//   UTC) | 34 serial (8; all bits set is shown as 0) | 42 entry count N (4) |
//   46 N entries of 18 bytes | then the fasthash64 (seed 0) of everything
//   before it (8).
//
// Threads: the check runs on the caller's thread as an engine entry (one at a
// time) and talks to the user only through the log and ask callbacks; every
// wait on the device is bounded as in the engine.
#pragma once

#include "firmware/dfuengine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DfuInterface;

enum {
    FWINFO_HEADER_SIZE = 46,
    FWINFO_ENTRY_SIZE = 18,
    FWINFO_HASH_SIZE = 8,
    FWINFO_VERSION = 1,
    // Where the first element's data begins in a DfuSe file: file prefix,
    // target prefix and element header.
    FWINFO_DFUSE_DATA_OFFSET = 11 + 274 + 8,
};
extern const char kFwInfoMarker[8]; // "_FWINFO_", no terminator

struct FwInfoRecord {
    uint16_t version = 0;
    int32_t deviceType = 0;
    int32_t deviceVersion = 0;
    int32_t programVersion = 0;
    int32_t programRevision = 0;
    int32_t compileTime = 0;
    uint64_t serial = 0;
    uint32_t entryCount = 0;
    std::vector<uint8_t> header;  // the 46 bytes as stored
    std::vector<uint8_t> entries; // 18 × entryCount bytes, copied, never read
    bool hashValid = false;
};

// The 64-bit hash with the multiplier 0x880355f21e6d1965 over length bytes.
uint64_t fasthash64(const void* data, size_t length, uint64_t seed);
// Its 32-bit form: the 64-bit value minus its upper half.
uint32_t fasthash32(const void* data, size_t length, uint32_t seed);

// Looks for the marker at positions 0 to length − 9 (first match wins) and reads
// the record there. Found only when its header, entries and hash lie wholly
// inside the buffer and its version is 1; *record then holds it (hashValid
// tells whether the hash matches). Not found leaves *record empty.
bool fwinfo_find(const uint8_t* buffer, size_t length, FwInfoRecord* record);

// The compile time in local time as "dd.mm.yyyy HH:MM:SS".
std::string fwinfo_time_text(int32_t compileTime);
// The serial as it is shown: all bits set becomes 0.
uint64_t fwinfo_shown_serial(uint64_t serial);
// The plain-text summary of one image's record (one line per field).
std::string fwinfo_summary(const FwInfoRecord& record, bool fromFile);
// The summary question (HTML) over both records; null means absent (zeros
// and an empty compile time).
std::string fwinfo_question(const FwInfoRecord* device, const FwInfoRecord* file);

// The comparison with the device open and in DFU mode: nonzero to go on
// with the download, 0 to skip it. The backup path is not used.
int fwinfo_check(DfuInterface* dif, int xferSize, const char* backupPath, const char* filePath);
// The entry the firmware worker calls before a download: finds the one
// device, brings it into DFU mode, runs the check and closes everything again.
// Nonzero to go on; 0 after a No, or after a failure (logged in red).
int fwinfo_preflash(const char* backupPath, const char* filePath, DfuLogFn log, DfuAskFn ask);
