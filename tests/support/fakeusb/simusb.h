// A simulated USB bus with DFU devices, served through libusb's own C API by
// fakeusb.cpp, which tests link in place of libusb-1.0.
//
// A SimDfuDevice follows the USB descriptor requests and the DFU 1.1 state
// diagram, not the engine: run-time mode (DFU_DETACH, then a USB reset, or a
// detach of its own, brings it back in DFU mode at a new address; a reset
// answers LIBUSB_ERROR_NOT_FOUND as the device re-enumerates), plain images
// and DfuSe (bcdDFU 0x011A: block 0 carries commands, data block n lands at
// the address pointer + (n - 2) * wTransferSize, the first status after any
// download reports dfuDNBUSY). Flash ANDs every byte written and an erase sets
// a page to 0xFF, so a write without its erase shows in the memory.
//
// One mutex (the bus's) guards everything, so a test may look at a device
// while an engine on another thread talks to it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct libusb_device;
struct libusb_device_handle;
struct libusb_config_descriptor;

struct SimSegment {
    uint32_t start = 0;
    uint32_t pageSize = 0;
    uint32_t pages = 0;
    bool readable = true;
    bool erasable = true;
    bool writable = true;
};

struct SimDfuConfig {
    enum class Functional { InConfiguration, InInterface, ByRequestOnly, Absent };

    uint16_t vendor = 0x0483;
    uint16_t product = 0xDF11;        // in DFU mode
    uint16_t runtimeProduct = 0x5740; // in run-time mode
    uint16_t bcdDevice = 0x2200;
    bool startInRuntime = false;
    // Functional descriptor; a bcdDFU of 0x011A makes the device speak DfuSe.
    Functional functional = Functional::InInterface;
    uint8_t functionalLength = 9;
    uint8_t attributes = 0x07;        // can download, can upload, manifestation tolerant
    uint16_t detachTimeout = 1000;
    uint16_t transferSize = 2048;
    uint16_t bcdDFU = 0x011A;
    uint8_t maxPacketSize0 = 64;
    uint8_t dfuProtocol = 2;          // of the DFU-mode alternate settings
    std::vector<std::string> altNames = {"@Internal Flash  /0x08000000/64*2Kg"};
    std::string runtimeName = "DFU run-time";
    std::string serial = "SIM0001";
    uint32_t pollTimeout = 0;         // bwPollTimeout of every status
    std::vector<SimSegment> memory = {SimSegment{0x08000000, 2048, 64}};
    std::vector<uint8_t> image;       // plain DFU: what an upload reads
};

class SimUsbBus;

class SimDfuDevice {
public:
    enum : uint8_t { APP_IDLE = 0, APP_DETACH = 1, DFU_IDLE = 2, DNLOAD_SYNC = 3, DNBUSY = 4, DNLOAD_IDLE = 5,
                     MANIFEST_SYNC = 6, MANIFEST = 7, MANIFEST_WAIT_RESET = 8, UPLOAD_IDLE = 9, DFU_ERROR = 10 };
    enum : uint8_t { OK = 0, ERR_TARGET = 1, ERR_WRITE = 3, ERR_ADDRESS = 8, ERR_UNKNOWN = 14, ERR_STALLEDPKT = 15 };

    SimDfuDevice(SimUsbBus* bus, SimDfuConfig config, uint8_t address);
    SimDfuDevice(const SimDfuDevice&) = delete;
    SimDfuDevice& operator=(const SimDfuDevice&) = delete;

    // Fault knobs, each named after the fault.
    // Requests of this kind stall once `after` of them have been answered.
    void stallRequest(uint8_t bRequest, int after = 0);
    // The first status after a DfuSe command reports this state, not dfuDNBUSY.
    void wrongStateAfterCommand(uint8_t state = DNLOAD_IDLE);
    // Polls in dfuDNBUSY after each download beyond the first; -1: busy for ever.
    void busyPolls(int polls);
    // The data block after `afterBlocks` good ones ends in dfuERROR with status.
    void errorStatus(uint8_t status, int afterBlocks = 0);
    // Manifestation ends in dfuERROR with status.
    void failManifestation(uint8_t status);
    // Status replies of `bytes` (< 6) bytes once `after` whole ones were sent.
    void shortStatusReply(int after = 0, int bytes = 5);
    // The upload block after `afterBlocks` whole ones comes `missing` bytes short.
    void shortUploadBlock(int afterBlocks, int missing);
    // Gone from the bus after `requests` more control transfers.
    void disconnectAfter(int requests);
    // The DFU state and status (DFU mode) the device is in now.
    void setState(uint8_t state, uint8_t status = OK);

    // What it saw and holds.
    int requests(uint8_t bRequest) const;
    int controlTransfers() const;
    std::vector<uint32_t> erasedPages() const; // page starts, in order of erase
    int massErases() const;
    int manifestations() const;
    std::vector<uint8_t> memory(uint32_t address, uint32_t length) const;
    void setMemory(uint32_t address, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> image() const;        // plain DFU: after a manifestation, the bytes downloaded
    bool inDfuMode() const;
    bool present() const;
    uint8_t state() const;
    uint8_t address() const;

private:
    friend class SimUsbBus;
    friend struct FakeUsb;

    struct Memory {
        SimSegment seg;
        std::vector<uint8_t> bytes;
    };
    enum class Pending { None, Command, Data, Manifest };

    bool dfuse() const { return m_config.bcdDFU == 0x011A; }
    // Called with the bus mutex held.
    int control(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                uint16_t index, unsigned char* data, uint16_t length);
    int runtimeRequest(uint8_t request, unsigned char* data, uint16_t length);
    int dfuRequest(uint8_t request, uint16_t value, unsigned char* data, uint16_t length);
    int getStatus(unsigned char* data, uint16_t length);
    int upload(uint16_t block, unsigned char* data, uint16_t length);
    int download(uint16_t block, const unsigned char* data, uint16_t length);
    int stall();
    void execute();
    void executeCommand();
    void writeData();
    uint8_t* byteAt(uint32_t address, bool forWrite, bool forRead);
    void erasePage(uint32_t address);
    void reenumerate(bool runtime);
    void unplug();
    uint8_t dfuProtocolNow() const;

    SimUsbBus* const m_bus;
    const SimDfuConfig m_config;
    bool m_present = true;
    bool m_runtime;
    int m_generation = 0;
    uint8_t m_address;
    uint8_t m_state;
    uint8_t m_status = OK;
    libusb_device_handle* m_claimedBy = nullptr;

    Pending m_pending = Pending::None;
    std::vector<uint8_t> m_block;
    uint16_t m_blockNumber = 0;
    bool m_started = false;
    bool m_isCommand = false;
    int m_busyLeft = 0;
    uint8_t m_resultState = DFU_IDLE;
    uint8_t m_resultStatus = OK;
    bool m_resetAfterReply = false;
    bool m_leaveAfterReply = false;
    uint32_t m_pointer = 0;
    std::vector<Memory> m_memory;
    std::vector<uint8_t> m_image;
    std::vector<uint8_t> m_received;
    size_t m_uploadPosition = 0;
    bool m_manifestDone = false;

    std::map<uint8_t, int> m_requests;
    int m_transfers = 0;
    int m_dataBlocks = 0;
    int m_uploadBlocks = 0;
    int m_statusReplies = 0;
    std::vector<uint32_t> m_erased;
    int m_massErases = 0;
    int m_manifests = 0;

    std::map<uint8_t, int> m_stallAfter;
    int m_wrongState = -1;
    int m_extraBusy = 0;
    int m_errorStatus = -1;
    int m_errorAfter = 0;
    int m_manifestError = -1;
    int m_shortStatusAfter = -1;
    int m_shortStatusBytes = 5;
    int m_shortUploadAfter = -1;
    int m_shortUploadMissing = 0;
    int m_disconnectAfter = -1;
};

class SimUsbBus {
public:
    // From its construction to its destruction the fake libusb serves this bus.
    SimUsbBus();
    ~SimUsbBus();
    SimUsbBus(const SimUsbBus&) = delete;
    SimUsbBus& operator=(const SimUsbBus&) = delete;

    SimDfuDevice& plug(const SimDfuConfig& config = SimDfuConfig());
    // libusb_init answers this error from now on (0: it works).
    void failInit(int error);
    // What is open through the fake libusb: contexts, device references, handles.
    int liveContexts() const;
    int liveDevices() const;
    int openHandles() const;
    // Called (with the bus locked) for every DFU class request a device takes.
    void setRequestObserver(std::function<void(uint8_t request, uint16_t value)> observer);

private:
    friend class SimDfuDevice;
    friend struct FakeUsb;

    uint8_t nextAddress() { return m_nextAddress++; }

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<SimDfuDevice>> m_devices;
    uint8_t m_nextAddress = 2;
    int m_initError = 0;
    int m_contexts = 0;
    int m_deviceObjects = 0;
    int m_handles = 0;
    std::map<const libusb_config_descriptor*, std::shared_ptr<void>> m_configs;
    std::function<void(uint8_t, uint16_t)> m_observer;
};
