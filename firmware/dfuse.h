// DfuSe: addressed flash behind bcdDFU 0x011A. Block 0 of a download carries a
// command (set address, erase page, mass erase, read unprotect); data blocks
// are numbered from 2; the alternate setting's name describes the memory
// layout ("@Name/0xADDRESS/count*sizeMultiplierType,...").
//
// Failures log one red line and take the error exit (dfucore.h); every status
// polling loop is bounded by DfuDeadline.
#pragma once

#include "firmware/dfu.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

enum : uint8_t { DFUSE_READABLE = 1, DFUSE_ERASABLE = 2, DFUSE_WRITEABLE = 4 };
enum DfuseCommand { DFUSE_SET_ADDRESS = 0, DFUSE_ERASE_PAGE = 1, DFUSE_MASS_ERASE = 2, DFUSE_READ_UNPROTECT = 3 };
enum {
    DFUSE_DEFAULT_UPLOAD_LENGTH = 16384,
    DFUSE_FILE_PREFIX = 11,
    DFUSE_TARGET_PREFIX = 274,
    DFUSE_ELEMENT_HEADER = 8,
};

struct MemorySegment {
    uint32_t start = 0;
    uint32_t end = 0;      // inclusive
    uint32_t pagesize = 0;
    uint8_t memtype = 0;   // DFUSE_READABLE | DFUSE_ERASABLE | DFUSE_WRITEABLE
};
using MemoryLayout = std::vector<MemorySegment>;

// DfuSe settings of the run (reset at its end).
struct DfuseSettings {
    uint32_t address = 0;
    bool addressGiven = false;
    MemoryLayout layout;
    uint32_t uploadLength = 0; // 0 when none
    int force = 0;
    bool massErase = false;
    bool leave = false;
    bool unprotect = false;
    // Page starts erased in this run: no page is erased twice, so data written
    // earlier in the run is never lost to a later element in the same page.
    std::set<uint32_t> erasedPages;
};
DfuseSettings& dfuse_settings(void);
void dfuse_reset_settings(void);

// "-s address[:modifier...]" into the settings; a bad text is a red line and the error exit.
bool dfuse_parse_options(const char* text);

// The layout named by an alternate setting's name; false (and nothing in
// *layout) when the name holds none or it would pass the 32-bit address space.
bool parse_memory_layout(const char* name, MemoryLayout* layout);
// The first segment with start <= address <= end, or null.
const MemorySegment* find_segment(const MemoryLayout& layout, uint32_t address);

// DFU_UPLOAD / DFU_DNLOAD; a failed request is a red line and the error exit.
int dfuse_upload(DfuInterface* dif, int length, uint8_t* data, uint16_t block);
int dfuse_download(DfuInterface* dif, int length, const uint8_t* data, uint16_t block);
int dfuse_special_command(DfuInterface* dif, uint32_t address, int command);
// Sends one block and polls until the device took it: the length, or -1 when
// the device reports a status other than OK (then *status tells which).
int dfuse_download_chunk(DfuInterface* dif, const uint8_t* data, int size, uint16_t block,
                         DfuStatus* status = nullptr);
// Writes length bytes at address in chunks of xferSize, erasing every page it
// touches first (once per run). 0 on success.
int dfuse_write_pages(DfuInterface* dif, uint32_t address, uint32_t length, const uint8_t* data, int xferSize);

// The leave request ("-s ...:leave"): set the address and send a zero-length chunk.
void dfuse_leave(DfuInterface* dif);

// Upload ("-U" on a DfuSe device or with "-s"): reads from the address given
// in options into fd. The bytes read; -1 after a failure (logged).
int64_t dfuse_upload_to_file(DfuInterface* dif, int xferSize, int fd, const char* options);
// Download of a raw image to the "-s" address, or of a DfuSe file element by
// element. 0 on success.
int dfuse_download_entry(DfuInterface* dif, int xferSize, const DfuFile& file, const char* options);

// Walks the DfuSe file in payload (between prefix and suffix) and hands each
// element of a target for altsetting to write (address, data, size; nonzero
// stops the walk and is returned). Corrupt files are a red line and the error
// exit. *matched counts the targets for altsetting.
using DfuseElementWriter = std::function<int(uint32_t address, const uint8_t* data, uint32_t size)>;
int dfuse_walk_file(const uint8_t* payload, size_t length, int altsetting, const DfuseElementWriter& write,
                    int* matched);
int dfuse_file_download(DfuInterface* dif, int xferSize, const DfuFile& file);

// Reads length bytes of device memory from address into out (the way the
// upload does: set address, back to dfuIDLE, blocks from 2, ending early on a
// short block). False when the return to dfuIDLE failed (logged).
bool dfuse_read_memory(DfuInterface* dif, int xferSize, uint32_t address, uint32_t length,
                       std::vector<uint8_t>* out);
// The first position at which marker lies wholly inside buffer, or -1.
int64_t dfuse_find_marker(const uint8_t* buffer, size_t length, const char* marker, size_t markerLength);
