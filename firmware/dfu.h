// DFU 1.1 class requests on one DFU interface, the state and status names,
// the return to dfuIDLE, progress reporting, and the plain (non-DfuSe) upload
// and download loops.
//
// Every request goes to the interface (wIndex = its number) with a 5000 ms
// time-out and returns what libusb returns: the bytes moved, or a negative
// LIBUSB_ERROR code. Every status polling loop is bounded by DfuDeadline.
#pragma once

#include "firmware/dfufile.h"

#include <libusb.h>

#include <cstdint>
#include <memory>
#include <string>

enum DfuRequest : uint8_t {
    DFU_DETACH = 0,
    DFU_DNLOAD = 1,
    DFU_UPLOAD = 2,
    DFU_GETSTATUS = 3,
    DFU_CLRSTATUS = 4,
    DFU_GETSTATE = 5,
    DFU_ABORT = 6,
};

enum DfuStateCode : uint8_t {
    STATE_APP_IDLE = 0,
    STATE_APP_DETACH = 1,
    STATE_DFU_IDLE = 2,
    STATE_DFU_DOWNLOAD_SYNC = 3,
    STATE_DFU_DOWNLOAD_BUSY = 4,
    STATE_DFU_DOWNLOAD_IDLE = 5,
    STATE_DFU_MANIFEST_SYNC = 6,
    STATE_DFU_MANIFEST = 7,
    STATE_DFU_MANIFEST_WAIT_RESET = 8,
    STATE_DFU_UPLOAD_IDLE = 9,
    STATE_DFU_ERROR = 10,
};

enum DfuStatusCode : uint8_t {
    DFU_STATUS_OK = 0x00,
    DFU_STATUS_ERROR_UNKNOWN = 0x0E,
};

enum {
    DFU_REQUEST_TIMEOUT_MS = 5000,
    DFU_DETACH_TIMEOUT = 1000,      // the wValue of every DFU_DETACH the engine sends
    DFU_QUIRK_POLLTIMEOUT_MS = 5,
};

// Functional descriptor attributes and the interface's flags and quirks.
enum : uint8_t { DFU_ATTR_WILL_DETACH = 0x08 };
enum : uint8_t { DFU_IFF_DFU = 0x01 };
enum : uint16_t { QUIRK_POLLTIMEOUT = 1 << 0, QUIRK_FORCE_DFU11 = 1 << 1 };

struct UsbDeviceUnref {
    void operator()(libusb_device* device) const { libusb_unref_device(device); }
};
struct UsbHandleClose {
    void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
using UsbDeviceRef = std::unique_ptr<libusb_device, UsbDeviceUnref>;
using UsbHandle = std::unique_ptr<libusb_device_handle, UsbHandleClose>;

struct DfuFunctionalDescriptor {
    uint8_t bLength = 0;
    uint8_t bDescriptorType = 0;
    uint8_t bmAttributes = 0;
    uint16_t wDetachTimeOut = 0;
    uint16_t wTransferSize = 0;
    uint16_t bcdDFU = 0;
};

// One DFU-capable interface found by probing; a list, newest first.
struct DfuInterface {
    DfuFunctionalDescriptor func;
    uint16_t quirks = 0;
    uint8_t busnum = 0;
    uint8_t devnum = 0;
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint16_t bcdDevice = 0;
    uint8_t configuration = 0;
    uint8_t interface = 0;
    uint8_t altsetting = 0;
    uint8_t flags = 0;
    uint8_t bMaxPacketSize0 = 0;
    std::string altName;
    std::string serialName;
    UsbDeviceRef dev;
    UsbHandle handle; // null while closed
    std::unique_ptr<DfuInterface> next;

    ~DfuInterface();
};

struct DfuStatus {
    uint8_t bStatus = DFU_STATUS_ERROR_UNKNOWN;
    uint32_t bwPollTimeout = 0;
    uint8_t bState = STATE_DFU_ERROR;
    uint8_t iString = 0;
};

int dfu_detach(DfuInterface* dif, uint16_t timeout);
int dfu_download(DfuInterface* dif, uint16_t block, const uint8_t* data, uint16_t length);
int dfu_upload(DfuInterface* dif, uint16_t block, uint8_t* data, uint16_t length);
// Preset to status 14, state dfuERROR; overwritten only by a whole 6-byte reply.
int dfu_get_status(DfuInterface* dif, DfuStatus* status);
int dfu_clear_status(DfuInterface* dif);
// The state, or -1 when nothing came.
int dfu_get_state(DfuInterface* dif);
int dfu_abort(DfuInterface* dif);
// DFU_ABORT, then the state must be dfuIDLE; waits the poll time-out and returns
// 1, or logs "Internal error #347/353/358" (red) and returns 0.
int dfu_abort_to_idle(DfuInterface* dif);

// A polling loop that ran out of its bound: one red line naming the state and
// the bound, then the error exit.
int dfu_fail_stuck(const DfuStatus& status);

// "state(n) = name, status(n) = text", for messages.
std::string dfu_state_line(const DfuStatus& status);

// Null for a state without a name; "INVALID" for a status of 16 or more.
const char* dfu_state_to_string(int state);
const char* dfu_status_to_string(int status);
// The state's name, "?" when it has none (for messages).
const char* dfu_state_text(int state);

// Sends done * 25 / total to the progress callback unless that step was the
// last one sent within the same wall-clock second (the last step and second
// live on from run to run).
void dfu_progress(int64_t done, int64_t total);
// The end of a whole transfer: step 25 and "\n<name> done.\n" (blue).
void dfu_transfer_done(const char* name);

// Reads the device's image in blocks of xferSize into fd until a short block;
// with expected >= 0 the total must equal it. 0 on success; a failure has been
// logged (red) and nothing claims success.
int dfu_upload_plain(DfuInterface* dif, int xferSize, int64_t expected, int fd);
// Writes the file from its first byte up to the suffix, then manifests.
int dfu_download_plain(DfuInterface* dif, int xferSize, const DfuFile& file);
