// The pieces every engine entry is built from, so that an entry of another
// module (such as a pre-flash check) runs exactly as the engine does: the run
// under the error exit with its clean-up, the USB start-up with probing, the
// rule that exactly one interface may be present, and the way of the device
// into DFU mode. The internal-error numbers differ per entry.
#pragma once

#include "firmware/dfu.h"
#include "firmware/dfuengine.h"

#include <functional>

struct DfuEntryErrors {
    int usbStart;    // the USB context cannot be opened
    int moreThanOne; // more than one interface found
    int claim;       // claim of the run-time interface
    int altSetting;  // its alternate setting 0
    int status;      // its status request
};
extern const DfuEntryErrors kEngineEntryErrors;     // 943, 969, 1004, 1011, 1024
extern const DfuEntryErrors kDeviceCheckErrors;     // 341, 361

struct DfuEntryOutcome {
    int exitCode; // DFU_NO_EXIT, or the code of the error exit
    int result;   // body's result, or the exit code after an error exit
};
// Stores the callbacks, runs body under the error exit, then closes the device
// and the USB context, resets the per-run settings and drops the callbacks.
DfuEntryOutcome dfu_run_entry(DfuLogFn log, DfuProgressFn progress, DfuAskFn ask, const std::function<int()>& body);

// Opens the USB context and probes with the session's settings; false after
// "Internal error #<usbStart>" (red).
bool dfu_open_usb(const DfuEntryErrors& errors);
// The one interface found; null after "Нет доступных устройств, запущенных в
// режиме dfu." or "Internal error #<moreThanOne>" (red).
DfuInterface* dfu_single_interface(const DfuEntryErrors& errors);

enum { DFU_DETACHED = -1 };
// Opens dif and brings it into DFU mode: a run-time device is detached (reset
// unless it detaches by itself) and found again (dif then points at the new
// interface); the interface is claimed, its alternate setting selected, and
// the status driven to dfuIDLE. The transfer size to use (> 0); 0 after one red
// line; DFU_DETACHED when the run only asked for a detach (-e) and it is done.
int dfu_enter_dfu_mode(DfuInterface*& dif, const DfuEntryErrors& errors);

// USB start-up with probing under the session's settings: the interfaces
// found. A context that cannot be opened logs "unable to initialize libusb: %i"
// and takes the error exit.
int dfu_usb_startup(void);
