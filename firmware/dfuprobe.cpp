// Probing: every USB device, configuration, interface and alternate setting
// of class 0xFE subclass 1 (DFU), with the functional descriptor that belongs
// to it, matched against the run's filters.
#include "firmware/dfucore.h"
#include "firmware/dfusession.h"

#include <new>

namespace {

enum : uint8_t { USB_CLASS_APP_SPECIFIC = 0xFE, DFU_SUBCLASS = 0x01, DFU_PROTOCOL_DFU_MODE = 0x02 };
enum : uint8_t { USB_DT_DFU = 0x21 };
enum { DFU_FUNC_LENGTH = 9, DFU_FUNC_LENGTH_1_0 = 7, STRING_LENGTH = 253 };

struct DeviceListFree {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
struct ConfigFree {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};

void takeFunctional(const unsigned char* p, int length, DfuFunctionalDescriptor* func)
{
    *func = DfuFunctionalDescriptor();
    if (length > 0)
        func->bLength = p[0];
    if (length > 1)
        func->bDescriptorType = p[1];
    if (length > 2)
        func->bmAttributes = p[2];
    if (length > 4)
        func->wDetachTimeOut = dfu_le16(p + 3);
    if (length > 6)
        func->wTransferSize = dfu_le16(p + 5);
    if (length > 8)
        func->bcdDFU = dfu_le16(p + 7);
}

// Looks for the DFU functional descriptor among extra descriptor bytes: the
// bytes found (up to 9), or 0.
int scanExtra(const unsigned char* extra, int length, DfuFunctionalDescriptor* func)
{
    int pos = 0;
    while (extra && pos + 1 < length) {
        const int len = extra[pos];
        if (len == 0) {
            dfu_err("Invalid descriptor list");
            return 0;
        }
        if (extra[pos + 1] == USB_DT_DFU) {
            int got = len < DFU_FUNC_LENGTH ? len : DFU_FUNC_LENGTH;
            if (got > length - pos)
                got = length - pos;
            takeFunctional(extra + pos, got, func);
            return got;
        }
        pos += len;
    }
    return 0;
}

bool isDfu(const libusb_interface_descriptor& intf)
{
    return intf.bInterfaceClass == USB_CLASS_APP_SPECIFIC && intf.bInterfaceSubClass == DFU_SUBCLASS;
}

bool matches(int filter, int value)
{
    return filter == DFU_MATCH_ANY || filter == value;
}

std::string readString(libusb_device_handle* handle, uint8_t index)
{
    unsigned char buffer[STRING_LENGTH + 1] = {};
    if (index == 0)
        return "UNKNOWN";
    const int rc = libusb_get_string_descriptor_ascii(handle, index, buffer, STRING_LENGTH);
    if (rc < 0)
        return "UNKNOWN";
    return std::string(reinterpret_cast<const char*>(buffer), size_t(rc));
}

UsbHandle openDevice(libusb_device* device)
{
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != 0)
        return UsbHandle();
    return UsbHandle(handle);
}

// The functional descriptor of one configuration: its bytes found, or 0 when
// the configuration has no DFU interface at all.
int functionalOf(libusb_device* device, const libusb_config_descriptor& config, DfuFunctionalDescriptor* func)
{
    bool hasDfu = false;
    int got = scanExtra(config.extra, config.extra_length, func);
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& uif = config.interface[i];
        for (int a = 0; a < uif.num_altsetting; ++a) {
            hasDfu = hasDfu || isDfu(uif.altsetting[a]);
            if (!got)
                got = scanExtra(uif.altsetting[a].extra, uif.altsetting[a].extra_length, func);
        }
    }
    if (!hasDfu)
        return 0;
    if (!got) {
        unsigned char buffer[DFU_FUNC_LENGTH] = {};
        UsbHandle handle = openDevice(device);
        const int rc = handle ? libusb_get_descriptor(handle.get(), USB_DT_DFU, 0, buffer, sizeof buffer) : -1;
        if (rc > 0) {
            got = rc;
            takeFunctional(buffer, got, func);
        } else {
            dfu_err("Device has DFU interface, but has no DFU functional descriptor");
            *func = DfuFunctionalDescriptor();
            func->bLength = DFU_FUNC_LENGTH_1_0;
            got = DFU_FUNC_LENGTH_1_0;
        }
    }
    if (got == DFU_FUNC_LENGTH_1_0) {
        dfu_out("Deducing device DFU version from functional descriptor length\n");
        func->bcdDFU = 0x0100;
    } else if (got < DFU_FUNC_LENGTH) {
        dfu_err("Error obtaining DFU functional descriptor");
        dfu_err("Please report this as a bug!");
        dfu_err("Warning: Assuming DFU version 1.0");
        func->bcdDFU = 0x0100;
        dfu_err("Warning: Transfer size can not be detected");
        func->wTransferSize = 0;
    }
    return got;
}

void probeConfiguration(libusb_device* device, const libusb_device_descriptor& desc,
                        const libusb_config_descriptor& config, const DfuRunSettings& s,
                        std::unique_ptr<DfuInterface>* head)
{
    DfuFunctionalDescriptor func;
    if (!functionalOf(device, config, &func))
        return;
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& uif = config.interface[i];
        for (int a = 0; a < uif.num_altsetting; ++a) {
            const libusb_interface_descriptor& intf = uif.altsetting[a];
            if (!isDfu(intf) || !matches(s.interface, intf.bInterfaceNumber))
                continue;
            const bool dfuMode = intf.bInterfaceProtocol == DFU_PROTOCOL_DFU_MODE
                                 || (intf.bInterfaceProtocol == 0 && func.bcdDFU == DFUSE_BCD);
            if (dfuMode) {
                if (!matches(s.altIndex, a) || !matches(s.vendorDfu, desc.idVendor)
                    || !matches(s.productDfu, desc.idProduct))
                    continue;
            } else if (!matches(s.vendor, desc.idVendor) || !matches(s.product, desc.idProduct)) {
                continue;
            }
            UsbHandle handle = openDevice(device);
            if (!handle) {
                dfu_err("Cannot open DFU device %04x:%04x", desc.idVendor, desc.idProduct);
                break;
            }
            const std::string altName = readString(handle.get(), intf.iInterface);
            const std::string serial = readString(handle.get(), desc.iSerialNumber);
            handle.reset();
            if (dfuMode) {
                if ((!s.altName.empty() && altName != s.altName) || (!s.serialDfu.empty() && serial != s.serialDfu))
                    continue;
            } else if (!s.serial.empty() && serial != s.serial) {
                continue;
            }

            std::unique_ptr<DfuInterface> dif;
            try {
                dif.reset(new DfuInterface);
            } catch (const std::bad_alloc&) {
                dfu_fatal(DFU_EXIT_SOFTWARE, "Out of memory");
                return;
            }
            dif->func = func;
            dif->quirks = dfu_quirks(desc.idVendor, desc.idProduct, desc.bcdDevice);
            if (dif->quirks & QUIRK_FORCE_DFU11)
                dif->func.bcdDFU = 0x0110;
            dif->busnum = libusb_get_bus_number(device);
            dif->devnum = libusb_get_device_address(device);
            dif->vendor = desc.idVendor;
            dif->product = desc.idProduct;
            dif->bcdDevice = desc.bcdDevice;
            dif->configuration = config.bConfigurationValue;
            dif->interface = intf.bInterfaceNumber;
            dif->altsetting = intf.bAlternateSetting;
            dif->flags = dfuMode ? DFU_IFF_DFU : 0;
            dif->bMaxPacketSize0 = desc.bMaxPacketSize0;
            dif->altName = altName;
            dif->serialName = serial;
            dif->dev.reset(libusb_ref_device(device));
            dif->next = std::move(*head);
            *head = std::move(dif);
        }
    }
}

} // namespace

uint16_t dfu_quirks(uint16_t vendor, uint16_t product, uint16_t bcdDevice)
{
    uint16_t quirks = 0;
    if (((vendor == 0x1D50 || vendor == 0x1457) && product >= 0x5117 && product <= 0x5126)
        || (vendor == 0x16C0 && product == 0x076B)
        || (vendor == 0x0908 && (product == 0x02C4 || product == 0x02C5) && bcdDevice == 0)
        || (vendor == 0x0763 && product == 0x2806))
        quirks |= QUIRK_POLLTIMEOUT;
    if (vendor == 0x1EAF && product == 0x0003 && bcdDevice == 0x0200)
        quirks |= QUIRK_FORCE_DFU11;
    return quirks;
}

std::unique_ptr<DfuInterface> probe_devices(libusb_context* context, const DfuRunSettings& settings)
{
    std::unique_ptr<DfuInterface> head;
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(context, &raw);
    if (count < 0) {
        dfu_err("Cannot list USB devices (%d)", int(count));
        return head;
    }
    const std::unique_ptr<libusb_device*, DeviceListFree> list(raw);
    for (ssize_t d = 0; d < count; ++d) {
        libusb_device* device = raw[d];
        libusb_device_descriptor desc;
        if (libusb_get_device_descriptor(device, &desc) != 0)
            continue;
        for (uint8_t c = 0; c < desc.bNumConfigurations; ++c) {
            libusb_config_descriptor* rawConfig = nullptr;
            if (libusb_get_config_descriptor(device, c, &rawConfig) != 0)
                continue;
            const std::unique_ptr<libusb_config_descriptor, ConfigFree> config(rawConfig);
            if (!matches(settings.config, config->bConfigurationValue))
                continue;
            probeConfiguration(device, desc, *config, settings, &head);
        }
    }
    return head;
}

int dfu_interface_count(const DfuInterface* list)
{
    int n = 0;
    for (; list; list = list->next.get())
        ++n;
    return n;
}

void list_interfaces(const DfuInterface* list)
{
    for (; list; list = list->next.get())
        dfu_out("Found %s: [%04x:%04x] ver=%04x, devnum=%u, cfg=%u, intf=%u, alt=%u, name=\"%s\", serial=\"%s\"\n",
                (list->flags & DFU_IFF_DFU) ? "DFU" : "Runtime", list->vendor, list->product, list->bcdDevice,
                list->devnum, list->configuration, list->interface, list->altsetting, list->altName.c_str(),
                list->serialName.c_str());
}
