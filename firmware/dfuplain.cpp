// Plain DFU 1.1 transfers: the image moves in blocks numbered from 0.
#include "firmware/dfu.h"

#include "firmware/dfucore.h"

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <vector>

namespace {

std::string receivedText(int64_t total, int64_t expected)
{
    if (expected >= 0)
        return dfu_format("%" PRId64 " of %" PRId64 " bytes received", total, expected);
    return dfu_format("%" PRId64 " bytes received", total);
}

} // namespace

int dfu_upload_plain(DfuInterface* dif, int xferSize, int64_t expected, int fd)
{
    std::vector<uint8_t> buffer(static_cast<size_t>(xferSize));
    dfu_out("Copying data from DFU device to PC\n");
    dfu_progress(0, 1);
    int64_t total = 0;
    uint16_t block = 0;
    for (;;) {
        const int rc = dfu_upload(dif, block++, buffer.data(), uint16_t(xferSize));
        if (rc < 0) {
            dfu_err("Error during upload (%d)", rc);
            dfu_error("Error during upload, %s", receivedText(total, expected).c_str());
            return -1;
        }
        write_with_crc(fd, 0, buffer.data(), size_t(rc));
        total += rc;
        // A device that never sends a short block is not read for ever.
        if (total > INT32_MAX)
            return dfu_fatal(DFU_EXIT_PROTOCOL, "Received too many bytes (wraparound)");
        if (expected >= 0 && total > expected)
            break;
        if (rc < xferSize)
            break;
        // Step 25 belongs to the end of the transfer alone.
        if (expected < 0 || total < expected)
            dfu_progress(total, expected >= 0 ? expected : 0);
    }
    if (total == 0) {
        dfu_out("\nFailed.\n");
        dfu_error("Failed. The device sent no data");
        return -1;
    }
    if (expected >= 0 && total != expected)
        return dfu_fatal(DFU_EXIT_PROTOCOL, "Unexpected number of bytes uploaded from device, %s",
                         receivedText(total, expected).c_str());
    dfu_info(" %12" PRId64 " bytes", total);
    dfu_transfer_done("Upload");
    return 0;
}

namespace {

// Polls until the device has taken the block: dfuDNLOAD-IDLE or dfuERROR.
void waitBlockTaken(DfuInterface* dif, DfuStatus* status)
{
    const DfuDeadline deadline;
    for (;;) {
        if (dfu_get_status(dif, status) < 0) {
            dfu_fatal(DFU_EXIT_IO, "Error during download get_status");
            return;
        }
        if (status->bState == STATE_DFU_DOWNLOAD_IDLE || status->bState == STATE_DFU_ERROR)
            return;
        if (deadline.expired()) {
            dfu_fail_stuck(*status);
            return;
        }
        deadline.wait(status->bwPollTimeout);
    }
}


// After the zero-length block: 0 when the device manifested (or went quiet,
// which a device resetting to manifest may do), -1 after a red line.
int manifest(DfuInterface* dif)
{
    const DfuDeadline deadline;
    for (;;) {
        DfuStatus status;
        if (dfu_get_status(dif, &status) < 0) {
            dfu_err("unable to read DFU status after completion");
            return 0;
        }
        dfu_out("%s\n", dfu_state_line(status).c_str());
        deadline.wait(status.bwPollTimeout);
        if (status.bState == STATE_DFU_MANIFEST_SYNC || status.bState == STATE_DFU_MANIFEST) {
            if (deadline.expired())
                return dfu_fail_stuck(status);
            deadline.wait(1000);
            continue;
        }
        if (status.bState == STATE_DFU_ERROR || status.bStatus != DFU_STATUS_OK) {
            dfu_error("Manifestation failed: %s", dfu_state_line(status).c_str());
            return -1;
        }
        dfu_out("Done!\n");
        return 0;
    }
}

} // namespace

int dfu_download_plain(DfuInterface* dif, int xferSize, const DfuFile& file)
{
    // A prefix, when there is one, goes to the device too.
    const uint8_t* data = file.contents.data();
    const int64_t length = int64_t(file.size()) - file.suffixLength;
    dfu_out("Copying data from PC to DFU device\n");
    int64_t sent = 0;
    uint16_t block = 0;
    while (sent < length) {
        dfu_progress(sent, length);
        const uint16_t chunk = uint16_t(std::min<int64_t>(xferSize, length - sent));
        const int rc = dfu_download(dif, block++, data + sent, chunk);
        if (rc < 0) {
            dfu_err("Error during download (%d)", rc);
            dfu_error("Error during download, %" PRId64 " of %" PRId64 " bytes sent", sent, length);
            return -1;
        }
        DfuStatus status;
        waitBlockTaken(dif, &status);
        if (status.bStatus != DFU_STATUS_OK) {
            dfu_out(" failed!\n");
            dfu_error("Download failed: %s", dfu_state_line(status).c_str());
            return -1;
        }
        sent += chunk;
    }
    if (dfu_download(dif, block, nullptr, 0) < 0)
        return dfu_fatal(DFU_EXIT_IO, "Error sending completion packet");
    if (manifest(dif) != 0)
        return -1;
    dfu_transfer_done("Download");
    return 0;
}
