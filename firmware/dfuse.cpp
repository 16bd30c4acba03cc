// DfuSe requests, commands and transfers.
#include "firmware/dfuse.h"

#include "firmware/dfucore.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

namespace {

DfuseSettings g_dfuse;

const char* commandName(int command)
{
    switch (command) {
    case DFUSE_SET_ADDRESS:
        return "SET_ADDRESS";
    case DFUSE_ERASE_PAGE:
        return "ERASE_PAGE";
    case DFUSE_MASS_ERASE:
        return "MASS_ERASE";
    case DFUSE_READ_UNPROTECT:
        return "READ_UNPROTECT";
    default:
        return "UNKNOWN";
    }
}

// A whole number in C notation (decimal, 0x hexadecimal, 0 octal) up to 32 bits.
bool wholeNumber(const std::string& text, uint32_t* value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end != '\0' || v > 0xFFFFFFFFull)
        return false;
    *value = uint32_t(v);
    return true;
}

// The start of the page of seg that holds address.
uint32_t pageStartOf(const MemorySegment& seg, uint32_t address)
{
    return address - (address - seg.start) % seg.pagesize;
}

} // namespace

DfuseSettings& dfuse_settings(void)
{
    return g_dfuse;
}

void dfuse_reset_settings(void)
{
    g_dfuse = DfuseSettings();
}

bool dfuse_parse_options(const char* text)
{
    const std::string options(text ? text : "");
    size_t pos = 0;
    if (options.empty() || options[0] != ':') {
        pos = options.find(':');
        const std::string address = options.substr(0, pos);
        if (!wholeNumber(address, &g_dfuse.address)) {
            dfu_fatal(DFU_EXIT_USAGE, "Invalid dfuse address: %s", address.c_str());
            return false;
        }
        g_dfuse.addressGiven = true;
    }
    while (pos != std::string::npos && pos < options.size()) {
        const size_t next = options.find(':', pos + 1);
        const std::string modifier = options.substr(pos + 1, next == std::string::npos ? next : next - pos - 1);
        pos = next;
        uint32_t number = 0;
        if (modifier.empty())
            continue;
        if (modifier == "force")
            ++g_dfuse.force;
        else if (modifier == "leave")
            g_dfuse.leave = true;
        else if (modifier == "unprotect")
            g_dfuse.unprotect = true;
        else if (modifier == "mass-erase")
            g_dfuse.massErase = true;
        else if (wholeNumber(modifier, &number))
            g_dfuse.uploadLength = number;
        else {
            dfu_fatal(DFU_EXIT_USAGE, "Invalid dfuse modifier: %s", modifier.c_str());
            return false;
        }
    }
    return true;
}

int dfuse_upload(DfuInterface* dif, int length, uint8_t* data, uint16_t block)
{
    const int rc = dfu_upload(dif, block, data, uint16_t(length));
    if (rc < 0)
        return dfu_fatal(DFU_EXIT_IO, "%s: libusb_control_msg returned %d", "dfuse_upload", rc);
    return rc;
}

int dfuse_download(DfuInterface* dif, int length, const uint8_t* data, uint16_t block)
{
    const int rc = dfu_download(dif, block, data, uint16_t(length));
    if (rc < 0)
        return dfu_fatal(DFU_EXIT_IO, "%s: libusb_control_transfer returned %d", "dfuse_download", rc);
    return rc;
}

int dfuse_special_command(DfuInterface* dif, uint32_t address, int command)
{
    const char* name = commandName(command);
    uint8_t buffer[5] = {};
    int length = 0;
    switch (command) {
    case DFUSE_ERASE_PAGE: {
        const MemorySegment* seg = find_segment(g_dfuse.layout, address);
        if (!seg || !(seg->memtype & DFUSE_ERASABLE))
            return dfu_fatal(DFU_EXIT_SOFTWARE, "Page at 0x%08x can not be erased", address);
        const uint32_t pageStart = pageStartOf(*seg, address);
        g_dfuse.erasedPages.insert(pageStart);
        if (dfu_verbose() >= 2)
            dfu_out("Erasing page size %i at address 0x%08x, page starting at 0x%08x\n", int(seg->pagesize),
                    address, pageStart);
        buffer[0] = 0x41;
        length = 5;
        break;
    }
    case DFUSE_SET_ADDRESS:
        if (dfu_verbose() >= 3)
            dfu_out("  Setting address pointer to 0x%08x\n", address);
        buffer[0] = 0x21;
        length = 5;
        break;
    case DFUSE_MASS_ERASE:
        buffer[0] = 0x41;
        length = 1;
        break;
    case DFUSE_READ_UNPROTECT:
        buffer[0] = 0x92;
        length = 1;
        break;
    default:
        return dfu_fatal(DFU_EXIT_SOFTWARE, "Non-supported special command %d", command);
    }
    buffer[1] = uint8_t(address);
    buffer[2] = uint8_t(address >> 8);
    buffer[3] = uint8_t(address >> 16);
    buffer[4] = uint8_t(address >> 24);

    if (dfu_download(dif, 0, buffer, uint16_t(length)) < 0)
        return dfu_fatal(DFU_EXIT_IO, "Error during special command \"%s\" download", name);

    const DfuDeadline deadline;
    DfuStatus status;
    bool first = true;
    do {
        if (dfu_get_status(dif, &status) < 0)
            return dfu_fatal(DFU_EXIT_IO, "Error during special command \"%s\" get_status", name);
        if (first) {
            first = false;
            if (status.bState != STATE_DFU_DOWNLOAD_BUSY) {
                dfu_out("%s\n", dfu_state_line(status).c_str());
                return dfu_fatal(DFU_EXIT_PROTOCOL, "Wrong state after command \"%s\" download", name);
            }
        }
        if (dfu_verbose() >= 1)
            dfu_out("   Poll timeout %i ms\n", int(status.bwPollTimeout));
        // The device resets after a read unprotect: there is no status to wait for.
        if (command == DFUSE_READ_UNPROTECT)
            return 0;
        if (status.bState == STATE_DFU_DOWNLOAD_BUSY && deadline.expired())
            return dfu_fail_stuck(status);
        deadline.wait(status.bwPollTimeout);
    } while (status.bState == STATE_DFU_DOWNLOAD_BUSY);

    if (status.bStatus != DFU_STATUS_OK)
        return dfu_fatal(DFU_EXIT_PROTOCOL, "%s not correctly executed", name);
    return 0;
}

int dfuse_download_chunk(DfuInterface* dif, const uint8_t* data, int size, uint16_t block, DfuStatus* statusOut)
{
    if (dfu_download(dif, block, size ? data : nullptr, uint16_t(size)) < 0)
        return dfu_fatal(DFU_EXIT_IO, "Error during download");
    const DfuDeadline deadline;
    DfuStatus status;
    for (;;) {
        if (dfu_get_status(dif, &status) < 0)
            return dfu_fatal(DFU_EXIT_IO, "Error during download get_status");
        deadline.wait(status.bwPollTimeout);
        if (status.bState == STATE_DFU_DOWNLOAD_IDLE || status.bState == STATE_DFU_ERROR
            || status.bState == STATE_DFU_MANIFEST)
            break;
        if (deadline.expired())
            return dfu_fail_stuck(status);
    }
    if (statusOut)
        *statusOut = status;
    if (status.bState == STATE_DFU_MANIFEST)
        dfu_out("Transitioning to dfuMANIFEST state\n");
    if (status.bStatus != DFU_STATUS_OK) {
        dfu_out(" failed!\n%s\n", dfu_state_line(status).c_str());
        return -1;
    }
    return size;
}

namespace {

// Erases every page the range [first, last] touches that this run has not erased yet.
void erasePages(DfuInterface* dif, uint32_t first, uint32_t last)
{
    uint64_t address = first;
    while (address <= last) {
        const MemorySegment* seg = find_segment(g_dfuse.layout, uint32_t(address));
        if (!seg) {
            dfu_fatal(DFU_EXIT_SOFTWARE, "Page at 0x%08x can not be erased", uint32_t(address));
            return;
        }
        const uint32_t pageStart = pageStartOf(*seg, uint32_t(address));
        if (!g_dfuse.erasedPages.count(pageStart)) {
            if (address > first && dfu_verbose() >= 3)
                dfu_out(" Chunk extends into next page, erase it as well\n");
            dfuse_special_command(dif, uint32_t(address), DFUSE_ERASE_PAGE);
        }
        address = uint64_t(pageStart) + seg->pagesize;
    }
}

} // namespace

int dfuse_write_pages(DfuInterface* dif, uint32_t address, uint32_t length, const uint8_t* data, int xferSize)
{
    if (length == 0)
        return 0;
    const uint64_t last = uint64_t(address) + length - 1;
    const MemorySegment* lastSeg = last <= 0xFFFFFFFFull ? find_segment(g_dfuse.layout, uint32_t(last)) : nullptr;
    if (!lastSeg || !(lastSeg->memtype & DFUSE_WRITEABLE))
        return dfu_fatal(DFU_EXIT_SOFTWARE, "Last page at 0x%08x is not writeable", uint32_t(last));
    dfu_progress(0, 1);
    for (uint32_t offset = 0; offset < length; offset += uint32_t(xferSize)) {
        const uint32_t chunkStart = address + offset;
        const MemorySegment* seg = find_segment(g_dfuse.layout, chunkStart);
        if (!seg || !(seg->memtype & DFUSE_WRITEABLE))
            return dfu_fatal(DFU_EXIT_SOFTWARE, "Page at 0x%08x is not writeable", chunkStart);
        const uint32_t chunk = std::min<uint32_t>(uint32_t(xferSize), length - offset);
        if ((seg->memtype & DFUSE_ERASABLE) && !g_dfuse.massErase)
            erasePages(dif, chunkStart, chunkStart + chunk - 1);
        if (dfu_verbose() >= 1)
            dfu_out(" Download from image offset %08x to memory %08x-%08x, size %i\n", offset, chunkStart,
                    chunkStart + chunk - 1, int(chunk));
        else
            dfu_progress(offset, length);
        dfuse_special_command(dif, chunkStart, DFUSE_SET_ADDRESS);
        DfuStatus status;
        const int sent = dfuse_download_chunk(dif, data + offset, int(chunk), 2, &status);
        if (sent != int(chunk)) {
            if (sent < 0)
                return dfu_fatal(DFU_EXIT_IO, "Failed to write whole chunk: %i of %i bytes, %s", sent, int(chunk),
                                 dfu_state_line(status).c_str());
            return dfu_fatal(DFU_EXIT_IO, "Failed to write whole chunk: %i of %i bytes", sent, int(chunk));
        }
    }
    dfu_info("%d bytes", int(length));
    return 0;
}

void dfuse_leave(DfuInterface* dif)
{
    dfuse_special_command(dif, g_dfuse.address, DFUSE_SET_ADDRESS);
    dfuse_download_chunk(dif, nullptr, 0, 2);
}

int64_t dfuse_upload_to_file(DfuInterface* dif, int xferSize, int fd, const char* options)
{
    if (options && !dfuse_parse_options(options))
        return -1;
    uint64_t length = DFUSE_DEFAULT_UPLOAD_LENGTH;
    if (g_dfuse.addressGiven) {
        if (!parse_memory_layout(dif->altName.c_str(), &g_dfuse.layout))
            return dfu_fatal(DFU_EXIT_SOFTWARE, "Failed to parse memory layout");
        const MemorySegment* seg = find_segment(g_dfuse.layout, g_dfuse.address);
        if (!g_dfuse.force && (!seg || !(seg->memtype & DFUSE_READABLE)))
            return dfu_fatal(DFU_EXIT_SOFTWARE, "Page at 0x%08x is not readable", g_dfuse.address);
        if (g_dfuse.uploadLength) {
            length = g_dfuse.uploadLength;
        } else if (seg) {
            length = uint64_t(seg->end) - g_dfuse.address + 1;
            dfu_out("Limiting upload to end of memory segment, %" PRIu64 " bytes\n", length);
        }
        dfuse_special_command(dif, g_dfuse.address, DFUSE_SET_ADDRESS);
        if (!dfu_abort_to_idle(dif))
            return -1;
    } else {
        if (g_dfuse.uploadLength)
            length = g_dfuse.uploadLength;
        else
            dfu_out("Limiting default upload to %i bytes\n", DFUSE_DEFAULT_UPLOAD_LENGTH);
    }

    std::vector<uint8_t> buffer(static_cast<size_t>(xferSize));
    dfu_progress(0, 1);
    uint64_t total = 0;
    uint16_t block = 2;
    for (;;) {
        const int ask = int(std::min<uint64_t>(uint64_t(xferSize), length - total));
        const int rc = dfuse_upload(dif, ask, buffer.data(), block++);
        if (rc < 0)
            return -1;
        write_with_crc(fd, 0, buffer.data(), size_t(rc));
        total += uint64_t(rc);
        if (total >= length)
            break;
        if (rc < ask) {
            dfu_error("Upload cut short: %" PRIu64 " of %" PRIu64 " bytes received", total, length);
            return -1;
        }
        dfu_progress(int64_t(total), int64_t(length));
    }
    dfu_info("%d bytes", int(total));
    if (!dfu_abort_to_idle(dif))
        return -1;
    if (g_dfuse.leave)
        dfuse_leave(dif);
    dfu_transfer_done("Upload");
    dfuse_reset_settings();
    return int64_t(total);
}

int dfuse_download_entry(DfuInterface* dif, int xferSize, const DfuFile& file, const char* options)
{
    if (options && !dfuse_parse_options(options))
        return -1;
    if (!parse_memory_layout(dif->altName.c_str(), &g_dfuse.layout))
        return dfu_fatal(DFU_EXIT_SOFTWARE, "Failed to parse memory layout");

    if (g_dfuse.unprotect) {
        if (!g_dfuse.force)
            return dfu_fatal(DFU_EXIT_USAGE, "The read unprotect command will erase the flash memory"
                                             "and can only be used with force\n");
        dfuse_special_command(dif, 0, DFUSE_READ_UNPROTECT);
        dfu_out("Device disconnects, erases flash and resets now\n");
        engine_exit(DFU_EXIT_OK);
        return 0;
    }
    if (g_dfuse.massErase) {
        if (!g_dfuse.force)
            return dfu_fatal(DFU_EXIT_USAGE, "The mass erase command can only be used with force");
        dfu_out("Performing mass erase, this can take a moment\n");
        dfuse_special_command(dif, 0, DFUSE_MASS_ERASE);
    }

    int result = 0;
    if (g_dfuse.addressGiven) {
        if (file.bcdDFU == DFUSE_BCD)
            return dfu_fatal(DFU_EXIT_USAGE, "This is a DfuSe file, not meant for raw download");
        const size_t size = file.payloadSize();
        if (uint64_t(g_dfuse.address) + size > 0x100000000ull)
            return dfu_fatal(DFU_EXIT_USAGE, "Image ends past 0xFFFFFFFF: address 0x%08x, size %zu",
                             g_dfuse.address, size);
        dfu_out("Downloading to address = 0x%08x, size = %i\n", g_dfuse.address, int(size));
        result = dfuse_write_pages(dif, g_dfuse.address, uint32_t(size), file.payload(), xferSize);
        if (result == 0)
            dfu_out("File downloaded successfully\n");
    } else {
        if (file.bcdDFU != DFUSE_BCD) {
            dfu_err("Only DfuSe file version 1.1a is supported");
            return dfu_fatal(DFU_EXIT_USAGE, "(for raw binary download, use the --dfuse-address option)");
        }
        result = dfuse_file_download(dif, xferSize, file);
    }
    if (result != 0)
        return result;

    g_dfuse.layout.clear();
    if (!dfu_abort_to_idle(dif))
        return -1;
    if (g_dfuse.leave)
        dfuse_leave(dif);
    dfu_transfer_done("Download");
    return 0;
}
