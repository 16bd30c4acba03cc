#include "firmware/dfu.h"

#include "firmware/dfucore.h"

namespace {

const char* const kStateNames[] = {
    "appIDLE",     "appDETACH",
    "dfuIDLE",     "dfuDNLOAD-SYNC",
    "dfuDNBUSY",   "dfuDNLOAD-IDLE",
    "dfuMANIFEST-SYNC", "dfuMANIFEST",
    "dfuMANIFEST-WAIT-RESET", "dfuUPLOAD-IDLE",
    "dfuERROR",
};

const char* const kStatusTexts[] = {
    "No error condition is present",
    "File is not targeted for use by this device",
    "File is for this device but fails some vendor-specific test",
    "Device is unable to write memory",
    "Memory erase function failed",
    "Memory erase check failed",
    "Program memory function failed",
    "Programmed memory failed verification",
    "Cannot program memory due to received address that is out of range",
    "Received DFU_DNLOAD with wLength = 0, but device does not think that it has all data yet",
    "Device's firmware is corrupt. It cannot return to run-time (non-DFU) operations",
    "iString indicates a vendor specific error",
    "Device detected unexpected USB reset signalling",
    "Device detected unexpected power on reset",
    "Something went wrong, but the device does not know what it was",
    "Device stalled an unexpected request",
};

// Throttle of the progress callback; lives on from run to run.
int g_lastStep = -1;
int64_t g_lastSecond = -1;

int classOut(DfuInterface* dif, uint8_t request, uint16_t value, uint8_t* data, uint16_t length)
{
    return libusb_control_transfer(dif->handle.get(),
                                   LIBUSB_ENDPOINT_OUT | LIBUSB_REQUEST_TYPE_CLASS | LIBUSB_RECIPIENT_INTERFACE,
                                   request, value, dif->interface, data, length, DFU_REQUEST_TIMEOUT_MS);
}

int classIn(DfuInterface* dif, uint8_t request, uint16_t value, uint8_t* data, uint16_t length)
{
    return libusb_control_transfer(dif->handle.get(),
                                   LIBUSB_ENDPOINT_IN | LIBUSB_REQUEST_TYPE_CLASS | LIBUSB_RECIPIENT_INTERFACE,
                                   request, value, dif->interface, data, length, DFU_REQUEST_TIMEOUT_MS);
}

} // namespace

DfuInterface::~DfuInterface()
{
    // A long list is unlinked one by one rather than by recursion.
    std::unique_ptr<DfuInterface> rest = std::move(next);
    while (rest)
        rest = std::move(rest->next);
}

int dfu_detach(DfuInterface* dif, uint16_t timeout)
{
    return classOut(dif, DFU_DETACH, timeout, nullptr, 0);
}

int dfu_download(DfuInterface* dif, uint16_t block, const uint8_t* data, uint16_t length)
{
    // libusb takes a mutable buffer for both directions; an OUT transfer only reads it.
    return classOut(dif, DFU_DNLOAD, block, const_cast<uint8_t*>(length ? data : nullptr), length);
}

int dfu_upload(DfuInterface* dif, uint16_t block, uint8_t* data, uint16_t length)
{
    return classIn(dif, DFU_UPLOAD, block, data, length);
}

int dfu_get_status(DfuInterface* dif, DfuStatus* status)
{
    *status = DfuStatus();
    uint8_t buffer[6] = {};
    const int result = classIn(dif, DFU_GETSTATUS, 0, buffer, sizeof buffer);
    if (result == 6) {
        status->bStatus = buffer[0];
        status->bwPollTimeout = uint32_t(buffer[1]) | uint32_t(buffer[2]) << 8 | uint32_t(buffer[3]) << 16;
        status->bState = buffer[4];
        status->iString = buffer[5];
    }
    if (dif->quirks & QUIRK_POLLTIMEOUT)
        status->bwPollTimeout = DFU_QUIRK_POLLTIMEOUT_MS;
    return result;
}

int dfu_clear_status(DfuInterface* dif)
{
    return classOut(dif, DFU_CLRSTATUS, 0, nullptr, 0);
}

int dfu_get_state(DfuInterface* dif)
{
    uint8_t state = 0;
    const int result = classIn(dif, DFU_GETSTATE, 0, &state, 1);
    return result < 1 ? -1 : state;
}

int dfu_abort(DfuInterface* dif)
{
    return classOut(dif, DFU_ABORT, 0, nullptr, 0);
}

int dfu_abort_to_idle(DfuInterface* dif)
{
    if (dfu_abort(dif) < 0) {
        dfu_error("Internal error #%d", 347);
        return 0;
    }
    DfuStatus status;
    if (dfu_get_status(dif, &status) < 0) {
        dfu_error("Internal error #%d", 353);
        return 0;
    }
    if (status.bState != STATE_DFU_IDLE) {
        dfu_error("Internal error #%d", 358);
        return 0;
    }
    dfu_sleep_ms(status.bwPollTimeout);
    return 1;
}

int dfu_fail_stuck(const DfuStatus& status)
{
    return dfu_fatal(DFU_EXIT_PROTOCOL, "Device stayed in state %s (status %d) for more than %d s",
                     dfu_state_text(status.bState), status.bStatus, DFU_WAIT_BOUND_MS / 1000);
}

std::string dfu_state_line(const DfuStatus& s)
{
    return dfu_format("state(%u) = %s, status(%u) = %s", s.bState, dfu_state_text(s.bState), s.bStatus,
                      dfu_status_to_string(s.bStatus));
}

const char* dfu_state_to_string(int state)
{
    if (state < 0 || state >= int(sizeof kStateNames / sizeof kStateNames[0]))
        return nullptr;
    return kStateNames[state];
}

const char* dfu_status_to_string(int status)
{
    if (status < 0 || status >= int(sizeof kStatusTexts / sizeof kStatusTexts[0]))
        return "INVALID";
    return kStatusTexts[status];
}

const char* dfu_state_text(int state)
{
    const char* name = dfu_state_to_string(state);
    return name ? name : "?";
}

void dfu_progress(int64_t done, int64_t total)
{
    if (done > total)
        total = done + 1;
    if (total <= 0)
        total = 1;
    int64_t step = done * DFU_PROGRESS_STEPS / total;
    if (step > DFU_PROGRESS_STEPS)
        step = DFU_PROGRESS_STEPS;
    const int64_t second = dfu_wall_second();
    if (step == g_lastStep && second == g_lastSecond)
        return;
    g_lastStep = int(step);
    g_lastSecond = second;
    if (DfuProgressFn progress = dfu_progress_callback())
        progress(int(step));
}

void dfu_transfer_done(const char* name)
{
    dfu_progress(1, 1);
    dfu_info("\n%s done.\n", name);
}
