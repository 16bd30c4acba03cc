// The state of one engine run, process-wide as the engine is one run at a
// time: the per-run settings from the argument list, the USB context, the
// interfaces found by probing, the loaded file. dfu_session_reset() closes the
// device and the context and puts every setting back to its default; each
// entry runs it when it leaves, by its normal end and by the error exit alike.
#pragma once

#include "firmware/dfu.h"
#include "firmware/dfufile.h"

#include <libusb.h>

#include <memory>
#include <string>

enum DfuMode { MODE_NONE = 0, MODE_VERSION, MODE_LIST, MODE_DETACH, MODE_UPLOAD, MODE_DOWNLOAD };
// Id and number filters: any value, or one that no device has.
enum : int { DFU_MATCH_ANY = -1, DFU_MATCH_NONE = 0x10000 };
enum { DFU_DEFAULT_DETACH_DELAY_S = 5 };

struct DfuRunSettings {
    int mode = MODE_NONE;
    int vendor = DFU_MATCH_ANY;      // run-time mode
    int product = DFU_MATCH_ANY;
    int vendorDfu = DFU_MATCH_ANY;   // DFU mode
    int productDfu = DFU_MATCH_ANY;
    int config = DFU_MATCH_ANY;
    int interface = DFU_MATCH_ANY;
    int altIndex = DFU_MATCH_ANY;
    std::string altName;             // empty: no filter
    std::string serial;              // run-time mode; empty: no filter
    std::string serialDfu;
    int transferSize = 0;            // 0: the device's
    int64_t expectedSize = -1;       // -Z; -1 when not given
    int detachDelay = DFU_DEFAULT_DETACH_DELAY_S;
    bool finalReset = false;
    bool dfuseGiven = false;
    std::string dfuseOptions;
    std::string fileName;
};

struct UsbContextExit {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
using UsbContext = std::unique_ptr<libusb_context, UsbContextExit>;

struct DfuSession {
    UsbContext context;                       // destroyed last
    std::unique_ptr<DfuInterface> interfaces; // newest first
    DfuRunSettings settings;
    DfuFile file;
    // The device's ids before it went into DFU mode (or the filters given).
    int runtimeVendor = DFU_MATCH_NONE;
    int runtimeProduct = DFU_MATCH_NONE;
};

DfuSession& dfu_session(void);
void dfu_session_reset(void);

// Every DFU-capable interface that passes the filters, newest first.
std::unique_ptr<DfuInterface> probe_devices(libusb_context* context, const DfuRunSettings& settings);
int dfu_interface_count(const DfuInterface* list);
uint16_t dfu_quirks(uint16_t vendor, uint16_t product, uint16_t bcdDevice);
// Mode list: every interface on the trace output.
void list_interfaces(const DfuInterface* list);
