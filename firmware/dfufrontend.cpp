#include "firmware/dfufrontend.h"

#include "firmware/dfucore.h"
#include "firmware/dfusession.h"

const DfuEntryErrors kEngineEntryErrors = {943, 969, 1004, 1011, 1024};
const DfuEntryErrors kDeviceCheckErrors = {341, 361, 0, 0, 0};

namespace {

int pick(int filter, int device)
{
    return filter == DFU_MATCH_ANY ? device : filter;
}

// Step into DFU mode from a run-time interface: 1 when dif now names an
// interface in DFU mode (or the run-time one that already was in a DFU state),
// 0 after a red line, DFU_DETACHED when the run asked only for the detach.
int leaveRuntimeMode(DfuInterface*& dif, const DfuEntryErrors& errors)
{
    DfuSession& session = dfu_session();
    libusb_device_handle* handle = dif->handle.get();
    session.runtimeVendor = dif->vendor;
    session.runtimeProduct = dif->product;
    dfu_out("Claiming USB DFU Runtime Interface...\n");
    if (libusb_claim_interface(handle, dif->interface) < 0) {
        dfu_error("Internal error #%d", errors.claim);
        return 0;
    }
    if (libusb_set_interface_alt_setting(handle, dif->interface, 0) < 0) {
        dfu_error("Internal error #%d", errors.altSetting);
        return 0;
    }
    dfu_out("Determining device status: ");
    DfuStatus status;
    const int rc = dfu_get_status(dif, &status);
    if (rc == LIBUSB_ERROR_PIPE) {
        dfu_out("Device does not implement get_status, assuming appIDLE\n");
        status.bStatus = DFU_STATUS_OK;
        status.bwPollTimeout = 0;
        status.bState = STATE_APP_IDLE;
        status.iString = 0;
    } else if (rc < 0) {
        dfu_error("Internal error #%d", errors.status);
        return 0;
    } else {
        dfu_out("state = %s, status = %d\n", dfu_state_text(status.bState), status.bStatus);
    }
    dfu_sleep_ms(status.bwPollTimeout);

    if (status.bState != STATE_APP_IDLE && status.bState != STATE_APP_DETACH) {
        if (status.bState == STATE_DFU_ERROR && dfu_clear_status(dif) < 0) {
            dfu_error("error clear_status");
            return 0;
        }
        dfu_info("WARNING: Runtime device already in DFU state ?!?");
        libusb_release_interface(handle, dif->interface);
        return 1;
    }

    dfu_out("Device really in Runtime Mode, send DFU detach request...\n");
    if (dfu_detach(dif, DFU_DETACH_TIMEOUT) < 0)
        dfu_info("Ошибка выхода из режима DFU.");
    if (dif->func.bmAttributes & DFU_ATTR_WILL_DETACH) {
        dfu_info("Device will detach and reattach");
    } else {
        dfu_info("Resetting USB");
        const int reset = libusb_reset_device(handle);
        if (reset < 0 && reset != LIBUSB_ERROR_NOT_FOUND) {
            dfu_error("error resetting after detach");
            return 0;
        }
    }
    libusb_release_interface(handle, dif->interface);
    dif->handle.reset();
    if (session.settings.mode == MODE_DETACH)
        return DFU_DETACHED;

    dif = nullptr;
    session.interfaces.reset();
    dfu_sleep_ms(uint64_t(session.settings.detachDelay) * 1000u);
    // Only an interface in DFU mode may answer now.
    session.settings.vendor = DFU_MATCH_NONE;
    session.settings.product = DFU_MATCH_NONE;
    session.interfaces = probe_devices(session.context.get(), session.settings);
    const int found = dfu_interface_count(session.interfaces.get());
    if (found == 0) {
        dfu_error("Lost device after RESET?");
        return 0;
    }
    if (found > 1) {
        dfu_error("More than one DFU capable USB device found! ");
        return 0;
    }
    dif = session.interfaces.get();
    dfu_out("Opening DFU USB Device...\n");
    libusb_device_handle* opened = nullptr;
    if (libusb_open(dif->dev.get(), &opened) != 0) {
        dfu_error("Cannot open device");
        return 0;
    }
    dif->handle.reset(opened);
    return 1;
}

// Drives the status to dfuIDLE: true, or false after a red line.
bool reachIdle(DfuInterface* dif)
{
    const DfuDeadline deadline;
    DfuStatus status;
    for (bool idle = false; !idle;) {
        if (dfu_get_status(dif, &status) < 0) {
            dfu_error("error get_status");
            return false;
        }
        dfu_info("state = %s, status = %d\n", dfu_state_text(status.bState), status.bStatus);
        deadline.wait(status.bwPollTimeout);
        switch (status.bState) {
        case STATE_APP_IDLE:
        case STATE_APP_DETACH:
            dfu_error("Device still in Runtime Mode!");
            return false;
        case STATE_DFU_ERROR:
            dfu_info("dfuERROR, clearing status");
            if (dfu_clear_status(dif) < 0) {
                dfu_error("err_callback_ret");
                return false;
            }
            break;
        case STATE_DFU_DOWNLOAD_IDLE:
        case STATE_DFU_UPLOAD_IDLE:
            dfu_out("aborting previous incomplete transfer\n");
            if (dfu_abort(dif) < 0) {
                dfu_error("can't send DFU_ABORT");
                return false;
            }
            break;
        case STATE_DFU_IDLE:
            dfu_info("dfuIDLE, continuing\n");
            idle = true;
            continue;
        default:
            idle = true;
            continue;
        }
        if (deadline.expired()) {
            dfu_fail_stuck(status);
            return false;
        }
    }
    if (status.bStatus != DFU_STATUS_OK) {
        dfu_out("WARNING: DFU Status: '%s'\n", dfu_status_to_string(status.bStatus));
        if (dfu_clear_status(dif) < 0 || dfu_get_status(dif, &status) < 0) {
            dfu_error("USB communication error");
            return false;
        }
        if (status.bStatus != DFU_STATUS_OK) {
            dfu_error("Status is not OK: %d", status.bStatus);
            return false;
        }
        dfu_sleep_ms(status.bwPollTimeout);
    }
    return true;
}

} // namespace

DfuEntryOutcome dfu_run_entry(DfuLogFn log, DfuProgressFn progress, DfuAskFn ask, const std::function<int()>& body)
{
    dfu_set_callbacks(log, progress, ask);
    int result = DFU_EXIT_FAILED;
    const int code = dfu_run_guarded([&] { result = body(); });
    dfu_session_reset();
    dfu_set_callbacks(nullptr, nullptr, nullptr);
    return {code, code == DFU_NO_EXIT ? result : code};
}

bool dfu_open_usb(const DfuEntryErrors& errors)
{
    DfuSession& session = dfu_session();
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        dfu_error("Internal error #%d", errors.usbStart);
        return false;
    }
    session.context.reset(context);
    if (dfu_verbose() >= 3)
        libusb_set_option(context, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_DEBUG);
    session.interfaces = probe_devices(context, session.settings);
    return true;
}

DfuInterface* dfu_single_interface(const DfuEntryErrors& errors)
{
    DfuSession& session = dfu_session();
    const int found = dfu_interface_count(session.interfaces.get());
    if (found == 0) {
        dfu_error("Нет доступных устройств, запущенных в режиме dfu.");
        return nullptr;
    }
    if (found > 1) {
        dfu_error("Internal error #%d", errors.moreThanOne);
        return nullptr;
    }
    return session.interfaces.get();
}

int dfu_enter_dfu_mode(DfuInterface*& dif, const DfuEntryErrors& errors)
{
    DfuSession& session = dfu_session();
    dfu_out("Opening DFU capable USB device...\n");
    libusb_device_handle* handle = nullptr;
    if (libusb_open(dif->dev.get(), &handle) != 0) {
        dfu_error("Не удалось подключиться к устройству");
        return 0;
    }
    dif->handle.reset(handle);
    dfu_info("ID %04x:%04x\n", dif->vendor, dif->product);
    dfu_info("Run-time device DFU version %04x\n", dif->func.bcdDFU);

    if (dif->flags & DFU_IFF_DFU) {
        session.runtimeVendor = pick(session.settings.vendor, dif->vendor);
        session.runtimeProduct = pick(session.settings.product, dif->product);
    } else {
        const int left = leaveRuntimeMode(dif, errors);
        if (left != 1)
            return left;
    }

    dfu_out("Claiming USB DFU Interface...\n");
    if (libusb_claim_interface(dif->handle.get(), dif->interface) < 0) {
        dfu_error("Cannot claim interface");
        return 0;
    }
    dfu_out("Setting Alternate Setting #%d ...\n", dif->altsetting);
    if (libusb_set_interface_alt_setting(dif->handle.get(), dif->interface, dif->altsetting) < 0) {
        dfu_error("Cannot set alternate interface");
        return 0;
    }
    if (!reachIdle(dif))
        return 0;

    dfu_info("DFU mode device DFU version %04x\n", dif->func.bcdDFU);
    int xferSize = session.settings.transferSize;
    if (!xferSize) {
        xferSize = dif->func.wTransferSize;
        if (!xferSize) {
            dfu_error("Transfer size must be specified");
            return 0;
        }
        dfu_info("Device returned transfer size %i\n", xferSize);
    }
    if (xferSize < dif->bMaxPacketSize0) {
        xferSize = dif->bMaxPacketSize0;
        dfu_info("Adjusted transfer size to %i\n", xferSize);
    }
    return xferSize;
}

int dfu_usb_startup(void)
{
    DfuSession& session = dfu_session();
    libusb_context* context = nullptr;
    const int rc = libusb_init(&context);
    if (rc != 0)
        return dfu_fatal(DFU_EXIT_IO, "unable to initialize libusb: %i", rc);
    session.context.reset(context);
    session.interfaces = probe_devices(context, session.settings);
    return dfu_interface_count(session.interfaces.get());
}
