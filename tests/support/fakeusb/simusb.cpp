#include "simusb.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

enum : uint8_t { DFU_DETACH = 0, DFU_DNLOAD = 1, DFU_UPLOAD = 2, DFU_GETSTATUS = 3, DFU_CLRSTATUS = 4,
                 DFU_GETSTATE = 5, DFU_ABORT = 6 };
enum : uint8_t { ATTR_MANIFESTATION_TOLERANT = 0x04, ATTR_WILL_DETACH = 0x08 };

uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

// The bus the fake libusb serves; set by SimUsbBus for its lifetime.
std::atomic<SimUsbBus*> g_simUsbBus{nullptr};

SimDfuDevice::SimDfuDevice(SimUsbBus* bus, SimDfuConfig config, uint8_t address)
    : m_bus(bus)
    , m_config(std::move(config))
    , m_runtime(m_config.startInRuntime)
    , m_address(address)
    , m_state(m_runtime ? APP_IDLE : DFU_IDLE)
    , m_image(m_config.image)
{
    for (const SimSegment& seg : m_config.memory)
        m_memory.push_back(Memory{seg, std::vector<uint8_t>(size_t(seg.pageSize) * seg.pages, 0xFF)});
}

// ---- knobs and views (take the bus mutex) ----

void SimDfuDevice::stallRequest(uint8_t bRequest, int after)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_stallAfter[bRequest] = m_requests[bRequest] + after;
}

void SimDfuDevice::wrongStateAfterCommand(uint8_t state)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_wrongState = state;
}

void SimDfuDevice::busyPolls(int polls)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_extraBusy = polls;
}

void SimDfuDevice::errorStatus(uint8_t status, int afterBlocks)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_errorStatus = status;
    m_errorAfter = m_dataBlocks + afterBlocks;
}

void SimDfuDevice::failManifestation(uint8_t status)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_manifestError = status;
}

void SimDfuDevice::shortStatusReply(int after, int bytes)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_shortStatusAfter = m_statusReplies + after;
    m_shortStatusBytes = bytes;
}

void SimDfuDevice::shortUploadBlock(int afterBlocks, int missing)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_shortUploadAfter = m_uploadBlocks + afterBlocks;
    m_shortUploadMissing = missing;
}

void SimDfuDevice::disconnectAfter(int requests)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_disconnectAfter = m_transfers + requests;
}

void SimDfuDevice::setState(uint8_t state, uint8_t status)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    m_state = state;
    m_status = status;
}

int SimDfuDevice::requests(uint8_t bRequest) const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    const auto it = m_requests.find(bRequest);
    return it == m_requests.end() ? 0 : it->second;
}

int SimDfuDevice::controlTransfers() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return m_transfers;
}

std::vector<uint32_t> SimDfuDevice::erasedPages() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return m_erased;
}

int SimDfuDevice::massErases() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return m_massErases;
}

int SimDfuDevice::manifestations() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return m_manifests;
}

std::vector<uint8_t> SimDfuDevice::memory(uint32_t address, uint32_t length) const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    std::vector<uint8_t> out;
    for (uint64_t a = address; a < uint64_t(address) + length; ++a) {
        const uint8_t* p = const_cast<SimDfuDevice*>(this)->byteAt(uint32_t(a), false, false);
        out.push_back(p ? *p : 0);
    }
    return out;
}

void SimDfuDevice::setMemory(uint32_t address, const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    for (size_t i = 0; i < bytes.size(); ++i)
        if (uint8_t* p = byteAt(uint32_t(address + i), false, false))
            *p = bytes[i];
}

std::vector<uint8_t> SimDfuDevice::image() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return m_image;
}

bool SimDfuDevice::inDfuMode() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return !m_runtime;
}

bool SimDfuDevice::present() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return m_present;
}

uint8_t SimDfuDevice::state() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return m_state;
}

uint8_t SimDfuDevice::address() const
{
    std::lock_guard<std::mutex> lock(m_bus->m_mutex);
    return m_address;
}

// ---- the protocol (bus mutex held) ----

uint8_t SimDfuDevice::dfuProtocolNow() const
{
    return m_runtime ? 1 : m_config.dfuProtocol;
}

void SimDfuDevice::reenumerate(bool runtime)
{
    ++m_generation;
    m_runtime = runtime;
    m_address = m_bus->nextAddress();
    m_state = runtime ? APP_IDLE : DFU_IDLE;
    m_status = OK;
    m_claimedBy = nullptr;
    m_pending = Pending::None;
    m_uploadPosition = 0;
}

void SimDfuDevice::unplug()
{
    m_present = false;
    ++m_generation;
    m_claimedBy = nullptr;
}

int SimDfuDevice::stall()
{
    if (!m_runtime) {
        m_state = DFU_ERROR;
        m_status = ERR_STALLEDPKT;
    }
    return LIBUSB_ERROR_PIPE;
}

uint8_t* SimDfuDevice::byteAt(uint32_t address, bool forWrite, bool forRead)
{
    for (Memory& m : m_memory) {
        const uint64_t end = uint64_t(m.seg.start) + m.bytes.size();
        if (address < m.seg.start || address >= end)
            continue;
        if ((forWrite && !m.seg.writable) || (forRead && !m.seg.readable))
            return nullptr;
        return &m.bytes[address - m.seg.start];
    }
    return nullptr;
}

void SimDfuDevice::erasePage(uint32_t address)
{
    for (Memory& m : m_memory) {
        const uint64_t end = uint64_t(m.seg.start) + m.bytes.size();
        if (address < m.seg.start || address >= end)
            continue;
        if (!m.seg.erasable)
            break;
        const uint32_t page = (address - m.seg.start) / m.seg.pageSize;
        std::fill_n(m.bytes.begin() + size_t(page) * m.seg.pageSize, m.seg.pageSize, uint8_t(0xFF));
        m_erased.push_back(m.seg.start + page * m.seg.pageSize);
        return;
    }
    m_resultState = DFU_ERROR;
    m_resultStatus = ERR_ADDRESS;
}

int SimDfuDevice::control(libusb_device_handle*, uint8_t requestType, uint8_t request, uint16_t value,
                          uint16_t index, unsigned char* data, uint16_t length)
{
    ++m_transfers;
    if (m_disconnectAfter >= 0 && m_transfers > m_disconnectAfter) {
        unplug();
        return LIBUSB_ERROR_NO_DEVICE;
    }
    // Standard GET_DESCRIPTOR of the DFU functional descriptor.
    if (requestType == (LIBUSB_ENDPOINT_IN | LIBUSB_REQUEST_TYPE_STANDARD | LIBUSB_RECIPIENT_DEVICE)
        && request == LIBUSB_REQUEST_GET_DESCRIPTOR) {
        if ((value >> 8) != 0x21 || m_config.functional == SimDfuConfig::Functional::Absent)
            return LIBUSB_ERROR_PIPE;
        const uint8_t d[9] = {m_config.functionalLength, 0x21, m_config.attributes,
                              uint8_t(m_config.detachTimeout), uint8_t(m_config.detachTimeout >> 8),
                              uint8_t(m_config.transferSize), uint8_t(m_config.transferSize >> 8),
                              uint8_t(m_config.bcdDFU), uint8_t(m_config.bcdDFU >> 8)};
        const int n = std::min<int>({length, m_config.functionalLength, 9});
        std::memcpy(data, d, size_t(n));
        return n;
    }
    const bool in = requestType & LIBUSB_ENDPOINT_IN;
    if ((requestType & 0x7F) != (LIBUSB_REQUEST_TYPE_CLASS | LIBUSB_RECIPIENT_INTERFACE) || index != 0)
        return LIBUSB_ERROR_PIPE;
    const bool wantsIn = request == DFU_UPLOAD || request == DFU_GETSTATUS || request == DFU_GETSTATE;
    ++m_requests[request];
    if (m_bus->m_observer)
        m_bus->m_observer(request, value);
    if (in != wantsIn)
        return stall();
    const auto stallIt = m_stallAfter.find(request);
    if (stallIt != m_stallAfter.end() && m_requests[request] > stallIt->second)
        return stall();
    const int rc = m_runtime ? runtimeRequest(request, data, length) : dfuRequest(request, value, data, length);
    if (m_resetAfterReply) {
        m_resetAfterReply = false;
        reenumerate(false);
    } else if (m_leaveAfterReply) {
        m_leaveAfterReply = false;
        reenumerate(m_config.startInRuntime);
    }
    return rc;
}

int SimDfuDevice::runtimeRequest(uint8_t request, unsigned char* data, uint16_t length)
{
    switch (request) {
    case DFU_DETACH:
        m_state = APP_DETACH;
        if (m_config.attributes & ATTR_WILL_DETACH)
            m_resetAfterReply = true;
        return 0;
    case DFU_GETSTATUS:
        return getStatus(data, length);
    case DFU_GETSTATE:
        if (length < 1)
            return LIBUSB_ERROR_PIPE;
        data[0] = m_state;
        return 1;
    default:
        return LIBUSB_ERROR_PIPE;
    }
}

int SimDfuDevice::dfuRequest(uint8_t request, uint16_t value, unsigned char* data, uint16_t length)
{
    switch (request) {
    case DFU_DNLOAD:
        return download(value, data, length);
    case DFU_UPLOAD:
        return upload(value, data, length);
    case DFU_GETSTATUS:
        return getStatus(data, length);
    case DFU_CLRSTATUS:
        if (m_state != DFU_ERROR)
            return stall();
        m_state = DFU_IDLE;
        m_status = OK;
        return 0;
    case DFU_GETSTATE:
        if (length < 1)
            return stall();
        data[0] = m_state;
        return 1;
    case DFU_ABORT:
        if (m_state != DFU_IDLE && m_state != DNLOAD_SYNC && m_state != DNLOAD_IDLE && m_state != MANIFEST_SYNC
            && m_state != UPLOAD_IDLE)
            return stall();
        m_state = DFU_IDLE;
        m_pending = Pending::None;
        return 0;
    default: // DFU_DETACH has no place in DFU mode
        return stall();
    }
}

int SimDfuDevice::download(uint16_t block, const unsigned char* data, uint16_t length)
{
    const bool idle = m_state == DFU_IDLE;
    if (!idle && m_state != DNLOAD_IDLE)
        return stall();
    if (length == 0) {
        // Manifestation; a plain device has nothing to manifest before any data.
        if (idle && !dfuse())
            return stall();
        m_pending = Pending::Manifest;
        m_manifestDone = false;
        m_state = MANIFEST_SYNC;
        return 0;
    }
    if (idle && !dfuse())
        m_received.clear();
    m_block.assign(data, data + length);
    m_blockNumber = block;
    m_isCommand = dfuse() && block == 0;
    m_pending = m_isCommand ? Pending::Command : Pending::Data;
    m_started = false;
    m_state = DNLOAD_SYNC;
    return length;
}

int SimDfuDevice::upload(uint16_t block, unsigned char* data, uint16_t length)
{
    if (m_state != DFU_IDLE && m_state != UPLOAD_IDLE)
        return stall();
    int n = 0;
    if (dfuse() && block == 0) {
        const uint8_t commands[] = {0x00, 0x21, 0x41, 0x92};
        n = std::min<int>(length, sizeof commands);
        std::memcpy(data, commands, size_t(n));
    } else if (dfuse()) {
        if (block < 2)
            return stall();
        const uint64_t address = uint64_t(m_pointer) + uint64_t(block - 2) * m_config.transferSize;
        while (n < length && address + n <= 0xFFFFFFFFull) {
            const uint8_t* p = byteAt(uint32_t(address + n), false, true);
            if (!p)
                break;
            data[n++] = *p;
        }
        if (n == 0 && length > 0) {
            stall();
            m_status = ERR_ADDRESS;
            return LIBUSB_ERROR_PIPE;
        }
    } else {
        if (m_state == DFU_IDLE)
            m_uploadPosition = 0;
        n = int(std::min<size_t>(length, m_image.size() - std::min(m_uploadPosition, m_image.size())));
        if (n)
            std::memcpy(data, m_image.data() + m_uploadPosition, size_t(n));
        m_uploadPosition += size_t(n);
    }
    if (!(dfuse() && block == 0)) {
        if (m_shortUploadAfter >= 0 && m_uploadBlocks == m_shortUploadAfter)
            n = std::max(0, n - m_shortUploadMissing);
        ++m_uploadBlocks;
    }
    m_state = n < length ? DFU_IDLE : UPLOAD_IDLE;
    return n;
}

void SimDfuDevice::executeCommand()
{
    const size_t n = m_block.size();
    const uint8_t command = m_block[0];
    if (command == 0x21 && n == 5) {
        m_pointer = le32(&m_block[1]);
    } else if (command == 0x41 && n == 5) {
        erasePage(le32(&m_block[1]));
    } else if (command == 0x41 && n == 1) {
        for (Memory& m : m_memory)
            if (m.seg.erasable)
                std::fill(m.bytes.begin(), m.bytes.end(), uint8_t(0xFF));
        ++m_massErases;
    } else if (command == 0x92 && n == 1) {
        for (Memory& m : m_memory)
            std::fill(m.bytes.begin(), m.bytes.end(), uint8_t(0xFF));
        m_resetAfterReply = true;
    } else {
        m_resultState = DFU_ERROR;
        m_resultStatus = ERR_UNKNOWN;
    }
}

void SimDfuDevice::writeData()
{
    if (m_errorStatus >= 0 && m_dataBlocks == m_errorAfter) {
        m_resultState = DFU_ERROR;
        m_resultStatus = uint8_t(m_errorStatus);
        ++m_dataBlocks;
        return;
    }
    ++m_dataBlocks;
    if (!dfuse()) {
        m_received.insert(m_received.end(), m_block.begin(), m_block.end());
        return;
    }
    if (m_blockNumber < 2) {
        m_resultState = DFU_ERROR;
        m_resultStatus = ERR_STALLEDPKT;
        return;
    }
    const uint64_t address = uint64_t(m_pointer) + uint64_t(m_blockNumber - 2) * m_config.transferSize;
    for (size_t i = 0; i < m_block.size(); ++i) {
        uint8_t* p = address + i <= 0xFFFFFFFFull ? byteAt(uint32_t(address + i), true, false) : nullptr;
        if (!p) {
            m_resultState = DFU_ERROR;
            m_resultStatus = ERR_ADDRESS;
            return;
        }
        *p &= m_block[i]; // flash only clears bits
    }
}

void SimDfuDevice::execute()
{
    m_resultState = DNLOAD_IDLE;
    m_resultStatus = OK;
    if (m_pending == Pending::Command)
        executeCommand();
    else
        writeData();
    m_pending = Pending::None;
}

int SimDfuDevice::getStatus(unsigned char* data, uint16_t length)
{
    if (length < 6)
        return m_runtime ? LIBUSB_ERROR_PIPE : stall();
    uint8_t reported = m_state;
    if (!m_runtime) {
        if (m_state == DNLOAD_SYNC) {
            if (!m_started) {
                m_started = true;
                execute();
                m_busyLeft = m_extraBusy < 0 ? -1 : 1 + m_extraBusy;
                if (m_isCommand && m_wrongState >= 0) {
                    m_busyLeft = 0;
                    m_resultState = uint8_t(m_wrongState);
                }
            }
            if (m_busyLeft != 0) {
                if (m_busyLeft > 0)
                    --m_busyLeft;
                reported = DNBUSY;
            } else {
                m_state = m_resultState;
                m_status = m_resultStatus;
                reported = m_state;
            }
        } else if (m_state == MANIFEST_SYNC) {
            if (!m_manifestDone) {
                m_manifestDone = true;
                ++m_manifests;
                if (m_manifestError >= 0) {
                    m_state = DFU_ERROR;
                    m_status = uint8_t(m_manifestError);
                } else {
                    if (!dfuse())
                        m_image = m_received;
                    m_state = MANIFEST;
                    if (dfuse())
                        m_leaveAfterReply = true;
                }
            } else {
                m_state = DFU_IDLE;
            }
            reported = m_state;
        } else if (m_state == MANIFEST) {
            m_state = (m_config.attributes & ATTR_MANIFESTATION_TOLERANT) ? DFU_IDLE : MANIFEST_WAIT_RESET;
            reported = m_state;
        }
    }
    const uint32_t poll = m_config.pollTimeout;
    const uint8_t reply[6] = {m_runtime ? uint8_t(OK) : m_status, uint8_t(poll), uint8_t(poll >> 8),
                              uint8_t(poll >> 16), reported, 0};
    int n = 6;
    if (m_shortStatusAfter >= 0 && m_statusReplies >= m_shortStatusAfter)
        n = std::min(n, m_shortStatusBytes);
    else
        ++m_statusReplies;
    std::memcpy(data, reply, size_t(n));
    return n;
}

// ---- the bus ----

SimUsbBus::SimUsbBus()
{
    g_simUsbBus.store(this);
}

SimUsbBus::~SimUsbBus()
{
    SimUsbBus* self = this;
    g_simUsbBus.compare_exchange_strong(self, nullptr);
}

SimDfuDevice& SimUsbBus::plug(const SimDfuConfig& config)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(std::make_unique<SimDfuDevice>(this, config, nextAddress()));
    return *m_devices.back();
}

void SimUsbBus::failInit(int error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_initError = error;
}

int SimUsbBus::liveContexts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_contexts;
}

int SimUsbBus::liveDevices() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_deviceObjects;
}

int SimUsbBus::openHandles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles;
}

void SimUsbBus::setRequestObserver(std::function<void(uint8_t, uint16_t)> observer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observer = std::move(observer);
}
