// The libusb-1.0 functions the DFU engine calls, with <libusb.h>'s own
// signatures, served from the SimUsbBus in place (simusb.h). Nothing here
// knows the engine: it answers as a USB stack with these devices would.
#include "simusb.h"

#include <libusb.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <set>

extern std::atomic<SimUsbBus*> g_simUsbBus;

struct libusb_context {
    SimUsbBus* bus;
};

// One enumeration of a device: stale once the device re-enumerated or left.
struct libusb_device {
    SimDfuDevice* sim;
    int generation;
    bool runtime;
    uint8_t address;
    int refs;
};

struct libusb_device_handle {
    libusb_device* dev;
};

namespace {
using Lock = std::lock_guard<std::mutex>;
}

struct FakeUsb {
    static SimUsbBus* bus() { return g_simUsbBus.load(); }

    static bool live(const libusb_device* dev)
    {
        return dev->sim->m_present && dev->generation == dev->sim->m_generation;
    }

    // The descriptors of one configuration, kept together so one free releases all.
    struct Config {
        libusb_config_descriptor config{};
        libusb_interface interface{};
        std::vector<libusb_interface_descriptor> alts;
        std::vector<unsigned char> functional;
    };

    static std::shared_ptr<Config> buildConfig(const libusb_device* dev)
    {
        const SimDfuConfig& c = dev->sim->m_config;
        auto cfg = std::make_shared<Config>();
        const uint8_t f[9] = {c.functionalLength, 0x21, c.attributes,
                              uint8_t(c.detachTimeout), uint8_t(c.detachTimeout >> 8),
                              uint8_t(c.transferSize), uint8_t(c.transferSize >> 8),
                              uint8_t(c.bcdDFU), uint8_t(c.bcdDFU >> 8)};
        cfg->functional.assign(f, f + std::min<int>(c.functionalLength, 9));
        const size_t alts = dev->runtime ? 1 : c.altNames.size();
        for (size_t a = 0; a < alts; ++a) {
            libusb_interface_descriptor d{};
            d.bLength = LIBUSB_DT_INTERFACE_SIZE;
            d.bDescriptorType = LIBUSB_DT_INTERFACE;
            d.bInterfaceNumber = 0;
            d.bAlternateSetting = uint8_t(a);
            d.bInterfaceClass = 0xFE;
            d.bInterfaceSubClass = 0x01;
            d.bInterfaceProtocol = dev->runtime ? 1 : c.dfuProtocol;
            d.iInterface = uint8_t(2 + a);
            cfg->alts.push_back(d);
        }
        const bool inInterface = c.functional == SimDfuConfig::Functional::InInterface;
        const bool inConfig = c.functional == SimDfuConfig::Functional::InConfiguration;
        if (inInterface && !cfg->alts.empty()) {
            cfg->alts[0].extra = cfg->functional.data();
            cfg->alts[0].extra_length = int(cfg->functional.size());
        }
        cfg->interface.altsetting = cfg->alts.data();
        cfg->interface.num_altsetting = int(cfg->alts.size());
        cfg->config.bLength = LIBUSB_DT_CONFIG_SIZE;
        cfg->config.bDescriptorType = LIBUSB_DT_CONFIG;
        cfg->config.bNumInterfaces = 1;
        cfg->config.bConfigurationValue = 1;
        cfg->config.interface = &cfg->interface;
        if (inConfig) {
            cfg->config.extra = cfg->functional.data();
            cfg->config.extra_length = int(cfg->functional.size());
        }
        return cfg;
    }

    static std::string stringOf(const libusb_device* dev, uint8_t index)
    {
        const SimDfuConfig& c = dev->sim->m_config;
        if (index == 1 && !c.serial.empty())
            return c.serial;
        if (index >= 2 && dev->runtime && index == 2)
            return c.runtimeName;
        if (index >= 2 && !dev->runtime && size_t(index - 2) < c.altNames.size())
            return c.altNames[index - 2];
        return std::string();
    }

    static void unref(SimUsbBus* b, libusb_device* dev)
    {
        if (--dev->refs == 0) {
            delete dev;
            --b->m_deviceObjects;
        }
    }


    static int init(libusb_context** ctx)
    {
        SimUsbBus* b = bus();
        if (!b)
            return LIBUSB_ERROR_OTHER;
        Lock lock(b->m_mutex);
        if (b->m_initError)
            return b->m_initError;
        if (ctx) {
            *ctx = new libusb_context{b};
            ++b->m_contexts;
        }
        return 0;
    }

    static void exit(libusb_context* ctx)
    {
        if (!ctx)
            return;
        Lock lock(ctx->bus->m_mutex);
        --ctx->bus->m_contexts;
        delete ctx;
    }

    static ssize_t deviceList(libusb_context* ctx, libusb_device*** list)
    {
        SimUsbBus* b = ctx ? ctx->bus : bus();
        if (!b)
            return LIBUSB_ERROR_OTHER;
        Lock lock(b->m_mutex);
        std::vector<libusb_device*> found;
        for (const auto& sim : b->m_devices) {
            if (!sim->m_present)
                continue;
            found.push_back(new libusb_device{sim.get(), sim->m_generation, sim->m_runtime, sim->m_address, 1});
            ++b->m_deviceObjects;
        }
        *list = new libusb_device*[found.size() + 1];
        std::copy(found.begin(), found.end(), *list);
        (*list)[found.size()] = nullptr;
        return ssize_t(found.size());
    }

    static void freeDeviceList(libusb_device** list, int unrefDevices)
    {
        if (!list)
            return;
        if (unrefDevices && list[0]) {
            SimUsbBus* b = list[0]->sim->m_bus;
            Lock lock(b->m_mutex);
            for (libusb_device** d = list; *d; ++d)
                unref(b, *d);
        }
        delete[] list;
    }

    static libusb_device* ref(libusb_device* dev)
    {
        Lock lock(dev->sim->m_bus->m_mutex);
        ++dev->refs;
        return dev;
    }

    static void unrefLocked(libusb_device* dev)
    {
        if (!dev)
            return;
        SimUsbBus* b = dev->sim->m_bus;
        Lock lock(b->m_mutex);
        unref(b, dev);
    }

    static int deviceDescriptor(libusb_device* dev, libusb_device_descriptor* desc)
    {
        Lock lock(dev->sim->m_bus->m_mutex);
        const SimDfuConfig& c = dev->sim->m_config;
        std::memset(desc, 0, sizeof *desc);
        desc->bLength = LIBUSB_DT_DEVICE_SIZE;
        desc->bDescriptorType = LIBUSB_DT_DEVICE;
        desc->bcdUSB = 0x0200;
        desc->bMaxPacketSize0 = c.maxPacketSize0;
        desc->idVendor = c.vendor;
        desc->idProduct = dev->runtime ? c.runtimeProduct : c.product;
        desc->bcdDevice = c.bcdDevice;
        desc->iSerialNumber = c.serial.empty() ? 0 : 1;
        desc->bNumConfigurations = 1;
        return 0;
    }

    static int configDescriptor(libusb_device* dev, uint8_t index, libusb_config_descriptor** config)
    {
        SimUsbBus* b = dev->sim->m_bus;
        Lock lock(b->m_mutex);
        if (index != 0)
            return LIBUSB_ERROR_NOT_FOUND;
        std::shared_ptr<Config> cfg = buildConfig(dev);
        *config = &cfg->config;
        b->m_configs[&cfg->config] = cfg;
        return 0;
    }

    static void freeConfigDescriptor(libusb_config_descriptor* config)
    {
        SimUsbBus* b = bus();
        if (!config || !b)
            return;
        Lock lock(b->m_mutex);
        b->m_configs.erase(config);
    }

    static uint8_t deviceAddress(libusb_device* dev)
    {
        Lock lock(dev->sim->m_bus->m_mutex);
        return dev->address;
    }

    static int open(libusb_device* dev, libusb_device_handle** handle)
    {
        SimUsbBus* b = dev->sim->m_bus;
        Lock lock(b->m_mutex);
        if (!live(dev))
            return LIBUSB_ERROR_NO_DEVICE;
        ++dev->refs;
        *handle = new libusb_device_handle{dev};
        ++b->m_handles;
        return 0;
    }

    static void close(libusb_device_handle* handle)
    {
        if (!handle)
            return;
        libusb_device* dev = handle->dev;
        SimUsbBus* b = dev->sim->m_bus;
        Lock lock(b->m_mutex);
        if (dev->sim->m_claimedBy == handle)
            dev->sim->m_claimedBy = nullptr;
        delete handle;
        --b->m_handles;
        unref(b, dev);
    }

    static int stringAscii(libusb_device_handle* handle, uint8_t index, unsigned char* data, int length)
    {
        Lock lock(handle->dev->sim->m_bus->m_mutex);
        if (!live(handle->dev))
            return LIBUSB_ERROR_NO_DEVICE;
        const std::string text = stringOf(handle->dev, index);
        if (index == 0 || text.empty() || length < 1)
            return LIBUSB_ERROR_PIPE;
        const int n = std::min<int>(int(text.size()), length - 1);
        std::memcpy(data, text.data(), size_t(n));
        data[n] = 0;
        return n;
    }

    static int claim(libusb_device_handle* handle, int interface)
    {
        SimDfuDevice* sim = handle->dev->sim;
        Lock lock(sim->m_bus->m_mutex);
        if (!live(handle->dev))
            return LIBUSB_ERROR_NO_DEVICE;
        if (interface != 0)
            return LIBUSB_ERROR_NOT_FOUND;
        if (sim->m_claimedBy && sim->m_claimedBy != handle)
            return LIBUSB_ERROR_BUSY;
        sim->m_claimedBy = handle;
        return 0;
    }

    static int release(libusb_device_handle* handle, int interface)
    {
        SimDfuDevice* sim = handle->dev->sim;
        Lock lock(sim->m_bus->m_mutex);
        if (!live(handle->dev))
            return LIBUSB_ERROR_NO_DEVICE;
        if (interface != 0 || sim->m_claimedBy != handle)
            return LIBUSB_ERROR_NOT_FOUND;
        sim->m_claimedBy = nullptr;
        return 0;
    }

    static int altSetting(libusb_device_handle* handle, int interface, int alt)
    {
        SimDfuDevice* sim = handle->dev->sim;
        Lock lock(sim->m_bus->m_mutex);
        if (!live(handle->dev))
            return LIBUSB_ERROR_NO_DEVICE;
        const int alts = sim->m_runtime ? 1 : int(sim->m_config.altNames.size());
        if (interface != 0 || sim->m_claimedBy != handle || alt < 0 || alt >= alts)
            return LIBUSB_ERROR_NOT_FOUND;
        return 0;
    }

    static int reset(libusb_device_handle* handle)
    {
        SimDfuDevice* sim = handle->dev->sim;
        Lock lock(sim->m_bus->m_mutex);
        if (!live(handle->dev))
            return LIBUSB_ERROR_NOT_FOUND;
        // A device detached to DFU comes back in DFU mode; a device in DFU mode
        // goes back to its run-time firmware when it has one.
        const bool runtimeAfter = sim->m_runtime ? sim->m_state != SimDfuDevice::APP_DETACH
                                                 : sim->m_config.startInRuntime;
        sim->reenumerate(runtimeAfter);
        return LIBUSB_ERROR_NOT_FOUND;
    }

    static int control(libusb_device_handle* handle, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                       unsigned char* data, uint16_t length)
    {
        SimDfuDevice* sim = handle->dev->sim;
        Lock lock(sim->m_bus->m_mutex);
        if (!live(handle->dev))
            return LIBUSB_ERROR_NO_DEVICE;
        return sim->control(handle, type, request, value, index, data, length);
    }
};

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** ctx)
{
    return FakeUsb::init(ctx);
}

void LIBUSB_CALL libusb_exit(libusb_context* ctx)
{
    FakeUsb::exit(ctx);
}

int LIBUSB_CALL libusb_set_option(libusb_context*, enum libusb_option, ...)
{
    return 0;
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* ctx, libusb_device*** list)
{
    return FakeUsb::deviceList(ctx, list);
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unref_devices)
{
    FakeUsb::freeDeviceList(list, unref_devices);
}

libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* dev)
{
    return FakeUsb::ref(dev);
}

void LIBUSB_CALL libusb_unref_device(libusb_device* dev)
{
    FakeUsb::unrefLocked(dev);
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* dev, struct libusb_device_descriptor* desc)
{
    return FakeUsb::deviceDescriptor(dev, desc);
}

int LIBUSB_CALL libusb_get_config_descriptor(libusb_device* dev, uint8_t config_index,
                                             struct libusb_config_descriptor** config)
{
    return FakeUsb::configDescriptor(dev, config_index, config);
}

void LIBUSB_CALL libusb_free_config_descriptor(struct libusb_config_descriptor* config)
{
    FakeUsb::freeConfigDescriptor(config);
}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device*)
{
    return 1;
}

uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* dev)
{
    return FakeUsb::deviceAddress(dev);
}

int LIBUSB_CALL libusb_open(libusb_device* dev, libusb_device_handle** dev_handle)
{
    return FakeUsb::open(dev, dev_handle);
}

void LIBUSB_CALL libusb_close(libusb_device_handle* dev_handle)
{
    FakeUsb::close(dev_handle);
}

int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* dev_handle, uint8_t desc_index,
                                                   unsigned char* data, int length)
{
    return FakeUsb::stringAscii(dev_handle, desc_index, data, length);
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* dev_handle, int interface_number)
{
    return FakeUsb::claim(dev_handle, interface_number);
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* dev_handle, int interface_number)
{
    return FakeUsb::release(dev_handle, interface_number);
}

int LIBUSB_CALL libusb_set_interface_alt_setting(libusb_device_handle* dev_handle, int interface_number,
                                                 int alternate_setting)
{
    return FakeUsb::altSetting(dev_handle, interface_number, alternate_setting);
}

int LIBUSB_CALL libusb_reset_device(libusb_device_handle* dev_handle)
{
    return FakeUsb::reset(dev_handle);
}

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* dev_handle, uint8_t request_type, uint8_t bRequest,
                                        uint16_t wValue, uint16_t wIndex, unsigned char* data, uint16_t wLength,
                                        unsigned int)
{
    return FakeUsb::control(dev_handle, request_type, bRequest, wValue, wIndex, data, wLength);
}

} // extern "C"
