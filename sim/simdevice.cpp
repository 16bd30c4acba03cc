#include "sim/simdevice.h"

#include "sim/simadapter.h"

#include <algorithm>
#include <cstring>

namespace {
// Bytes of the CANopen basic types of fixed size; 0 for the ones of any length.
int fixedSize(uint8_t dataType)
{
    switch (dataType) {
    case 0x01: case 0x02: case 0x05: return 1;              // BOOLEAN, INTEGER8, UNSIGNED8
    case 0x03: case 0x06: return 2;                         // INTEGER16, UNSIGNED16
    case 0x10: case 0x16: return 3;                         // INTEGER24, UNSIGNED24
    case 0x04: case 0x07: case 0x08: return 4;              // INTEGER32, UNSIGNED32, REAL32
    case 0x12: case 0x18: return 5;                         // INTEGER40, UNSIGNED40
    case 0x13: case 0x19: return 6;                         // INTEGER48, UNSIGNED48
    case 0x14: case 0x1A: return 7;                         // INTEGER56, UNSIGNED56
    case 0x11: case 0x15: case 0x1B: return 8;              // REAL64, INTEGER64, UNSIGNED64
    default: return 0;                                      // strings, DOMAIN
    }
}

uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

const uint32_t kNoObject = 0x06020000;
const uint32_t kNoSubIndex = 0x06090011;
const uint32_t kReadOnly = 0x06010002;
const uint32_t kWriteOnly = 0x06010001;
const uint32_t kLength = 0x06070010;
const uint32_t kToggle = 0x05030000;
const uint32_t kCommand = 0x05040001;

// A write that restarts the device: no answer, silence, then boot-up.
SimCanDevice::Reply rebootReply(int silenceMs)
{
    SimCanDevice::Reply r;
    r.rebootAfterMs = silenceMs;
    return r;
}
}

SimCanDevice::SimCanDevice(uint8_t nodeId) : m_nodeId(nodeId) {}

SimCanDevice::~SimCanDevice()
{
    detach();
}

namespace {
// Values cross between the caller's thread and the adapter's: never let the two
// share one byte block, whose reference count only Qt's own code sees.
QByteArray detached(const QByteArray& bytes)
{
    return QByteArray(bytes.constData(), bytes.size());
}
}

void SimCanDevice::addObject(uint16_t index, uint8_t subIndex, uint8_t dataType, const QByteArray& value, Access access)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Object& o = m_objects[key(index, subIndex)];
    o.dataType = dataType;
    o.access = access;
    o.value = detached(value);
}

QByteArray SimCanDevice::value(uint16_t index, uint8_t subIndex) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_objects.find(key(index, subIndex));
    return it == m_objects.end() ? QByteArray() : detached(it->second.value);
}

void SimCanDevice::setValue(uint16_t index, uint8_t subIndex, const QByteArray& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_objects[key(index, subIndex)].value = detached(value);
}

int SimCanDevice::writesTo(uint16_t index, uint8_t subIndex) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_objects.find(key(index, subIndex));
    return it == m_objects.end() ? 0 : it->second.writes;
}

void SimCanDevice::setSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = silent;
}

void SimCanDevice::setDelay(uint16_t index, uint8_t subIndex, int ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[key(index, subIndex)].delayMs = ms;
}

void SimCanDevice::setAbort(uint16_t index, uint8_t subIndex, uint32_t code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[key(index, subIndex)].abortCode = code;
}

void SimCanDevice::setWrongToggle(uint16_t index, uint8_t subIndex)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[key(index, subIndex)].wrongToggle = true;
}

void SimCanDevice::setShortLastSegment(uint16_t index, uint8_t subIndex, int missingBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[key(index, subIndex)].shortBy = missingBytes;
}

void SimCanDevice::setAnswerOther(uint16_t index, uint8_t subIndex, uint16_t otherIndex, uint8_t otherSubIndex)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Faults& f = m_faults[key(index, subIndex)];
    f.answerOther = true;
    f.otherIndex = otherIndex;
    f.otherSubIndex = otherSubIndex;
}

void SimCanDevice::setRebootOnWrite(uint16_t index, uint8_t subIndex, int silenceMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[key(index, subIndex)].rebootSilenceMs = silenceMs;
}

void SimCanDevice::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
    m_silent = false;
}

std::vector<uint32_t> SimCanDevice::abortsReceived() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::vector<uint32_t>(m_aborts.begin(), m_aborts.end());
}

int SimCanDevice::requestsSeen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int SimCanDevice::uploadsOf(uint16_t index, uint8_t subIndex) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_uploads.find(key(index, subIndex));
    return it == m_uploads.end() ? 0 : it->second;
}

int SimCanDevice::overlapsSeen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_overlaps;
}

CanFrame SimCanDevice::bootUpFrame() const
{
    CanFrame f;
    f.id = uint16_t(0x700 + m_nodeId);
    f.len = 1;
    f.data[0] = 0;
    return f;
}

SimCanDevice::Reply SimCanDevice::receive(const CanFrame& frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (frame.id != 0x600 + m_nodeId || frame.rtr)
        return {};
    ++m_requests;
    // A request of another length is no SDO request; a silent device hears nothing.
    if (m_silent || frame.len != 8)
        return {};
    const int command = frame.data[0] >> 5;
    const bool initiate = command == 1 || command == 2;
    if (m_pendingAnswers > 0 || (initiate && m_transfer != Transfer::None))
        ++m_overlaps;
    return handleRequest(frame.data);
}

SimCanDevice::Faults SimCanDevice::faultsFor(uint16_t index, uint8_t subIndex) const
{
    auto it = m_faults.find(key(index, subIndex));
    return it == m_faults.end() ? Faults() : it->second;
}

SimCanDevice::Reply SimCanDevice::frameReply(const uint8_t* d, int delayMs) const
{
    Reply r;
    CanFrame f;
    f.id = uint16_t(0x580 + m_nodeId);
    f.len = 8;
    std::memcpy(f.data, d, 8);
    r.frames.push_back(f);
    r.delayMs = delayMs;
    return r;
}

SimCanDevice::Reply SimCanDevice::abortReply(uint16_t index, uint8_t subIndex, uint32_t code)
{
    m_transfer = Transfer::None;
    uint8_t d[8] = {0x80, uint8_t(index), uint8_t(index >> 8), subIndex};
    putLe32(d + 4, code);
    return frameReply(d, faultsFor(index, subIndex).delayMs);
}

void SimCanDevice::answerNames(uint8_t* d, uint16_t index, uint8_t subIndex) const
{
    const Faults f = faultsFor(index, subIndex);
    if (f.answerOther) {
        index = f.otherIndex;
        subIndex = f.otherSubIndex;
    }
    d[1] = uint8_t(index);
    d[2] = uint8_t(index >> 8);
    d[3] = subIndex;
}

uint32_t SimCanDevice::lookUp(uint16_t index, uint8_t subIndex, Object** object)
{
    if (const uint32_t knob = faultsFor(index, subIndex).abortCode)
        return knob;
    auto it = m_objects.find(key(index, subIndex));
    if (it != m_objects.end()) {
        *object = &it->second;
        return 0;
    }
    auto any = m_objects.lower_bound(key(index, 0));
    const bool indexKnown = any != m_objects.end() && (any->first >> 8) == index;
    return indexKnown ? kNoSubIndex : kNoObject;
}

uint32_t SimCanDevice::checkWrite(const Object& object, int size) const
{
    if (object.access == ReadOnly)
        return kReadOnly;
    const int fixed = fixedSize(object.dataType);
    if (fixed && size != fixed)
        return kLength;
    return 0;
}

uint32_t SimCanDevice::store(Object& object, const QByteArray& value)
{
    if (const uint32_t code = checkWrite(object, value.size()))
        return code;
    object.value = value;
    ++object.writes;
    return 0;
}

void SimCanDevice::openTransfer(Transfer kind, uint16_t index, uint8_t subIndex, const QByteArray& data)
{
    m_transfer = kind;
    m_index = index;
    m_subIndex = subIndex;
    m_data = data;
    m_position = 0;
    m_toggle = 0;
    m_segments = 0;
}

uint32_t SimCanDevice::segmentRefusal(Transfer expected, int toggle) const
{
    if (m_transfer != expected)
        return kCommand;
    return toggle != m_toggle ? kToggle : 0;
}

int SimCanDevice::answerToggle(const Faults& f, int toggle, bool last)
{
    const bool spoil = f.wrongToggle && (m_segments == 1 || (last && m_segments == 0));
    m_toggle ^= 1;
    ++m_segments;
    return spoil ? toggle ^ 1 : toggle;
}

SimCanDevice::Reply SimCanDevice::handleRequest(const uint8_t* d)
{
    switch (d[0] >> 5) {
    case 0:
        return downloadSegment(d);
    case 1:
        return initiateDownload(d);
    case 2:
        return initiateUpload(d);
    case 3:
        return uploadSegment(d);
    case 4:
        m_aborts.push_back(le32(d + 4));
        if (m_aborts.size() > kKeptAborts)
            m_aborts.pop_front();
        m_transfer = Transfer::None;
        return {};
    default: // block transfers are not served
        return abortReply(uint16_t(d[1] | d[2] << 8), d[3], kCommand);
    }
}

SimCanDevice::Initiate SimCanDevice::beginInitiate(const uint8_t* d)
{
    const uint16_t index = uint16_t(d[1] | d[2] << 8);
    const uint8_t subIndex = d[3];
    m_transfer = Transfer::None;
    const Faults f = faultsFor(index, subIndex);
    Object* found = nullptr;
    const uint32_t code = lookUp(index, subIndex, &found);
    return Initiate{index, subIndex, f, found, code};
}

SimCanDevice::Reply SimCanDevice::initiateDownload(const uint8_t* d)
{
    const auto [index, subIndex, f, found, refusal] = beginInitiate(d);
    if (refusal)
        return abortReply(index, subIndex, refusal);
    Object& object = *found;
    const bool expedited = d[0] & 2;
    const bool sized = d[0] & 1;
    if (expedited) {
        const int size = sized ? 4 - ((d[0] >> 2) & 3) : 4;
        if (const uint32_t code = store(object, QByteArray(reinterpret_cast<const char*>(d + 4), size)))
            return abortReply(index, subIndex, code);
        if (f.rebootSilenceMs >= 0)
            return rebootReply(f.rebootSilenceMs);
    } else {
        m_announced = sized ? int(le32(d + 4)) : -1;
        if (sized)
            if (const uint32_t code = checkWrite(object, m_announced))
                return abortReply(index, subIndex, code);
        if (object.access == ReadOnly)
            return abortReply(index, subIndex, kReadOnly);
        openTransfer(Transfer::Download, index, subIndex, QByteArray());
    }
    uint8_t a[8] = {0x60};
    answerNames(a, index, subIndex);
    return frameReply(a, f.delayMs);
}

SimCanDevice::Reply SimCanDevice::downloadSegment(const uint8_t* d)
{
    const int toggle = (d[0] >> 4) & 1;
    if (const uint32_t code = segmentRefusal(Transfer::Download, toggle))
        return abortReply(m_index, m_subIndex, code);
    const Faults f = faultsFor(m_index, m_subIndex);
    const int bytes = 7 - ((d[0] >> 1) & 7);
    const bool last = d[0] & 1;
    m_data.append(reinterpret_cast<const char*>(d + 1), bytes);
    if (m_announced >= 0 && m_data.size() > m_announced)
        return abortReply(m_index, m_subIndex, kLength);
    uint8_t a[8] = {uint8_t(0x20 | answerToggle(f, toggle, last) << 4)};
    if (last) {
        m_transfer = Transfer::None;
        if (m_announced >= 0 && m_data.size() != m_announced)
            return abortReply(m_index, m_subIndex, kLength);
        if (const uint32_t code = store(m_objects[key(m_index, m_subIndex)], m_data))
            return abortReply(m_index, m_subIndex, code);
        if (f.rebootSilenceMs >= 0)
            return rebootReply(f.rebootSilenceMs);
    }
    return frameReply(a, f.delayMs);
}

SimCanDevice::Reply SimCanDevice::initiateUpload(const uint8_t* d)
{
    const auto [index, subIndex, f, found, refusal] = beginInitiate(d);
    ++m_uploads[key(index, subIndex)];
    if (refusal)
        return abortReply(index, subIndex, refusal);
    if (found->access == WriteOnly)
        return abortReply(index, subIndex, kWriteOnly);
    const QByteArray& value = found->value;
    uint8_t a[8] = {};
    if (value.size() >= 1 && value.size() <= 4) {
        a[0] = uint8_t(0x43 | (4 - value.size()) << 2);
        std::memcpy(a + 4, value.constData(), size_t(value.size()));
    } else {
        a[0] = 0x41;
        putLe32(a + 4, uint32_t(value.size()));
        // Announced in full, sent short when asked to.
        openTransfer(Transfer::Upload, index, subIndex, value.left(std::max(0, value.size() - f.shortBy)));
    }
    answerNames(a, index, subIndex);
    return frameReply(a, f.delayMs);
}

SimCanDevice::Reply SimCanDevice::uploadSegment(const uint8_t* d)
{
    const int toggle = (d[0] >> 4) & 1;
    if (const uint32_t code = segmentRefusal(Transfer::Upload, toggle))
        return abortReply(m_index, m_subIndex, code);
    const Faults f = faultsFor(m_index, m_subIndex);
    const int remaining = m_data.size() - m_position;
    const int take = std::min(7, remaining);
    const bool last = remaining <= 7;
    uint8_t a[8] = {};
    a[0] = uint8_t(answerToggle(f, toggle, last) << 4 | (7 - take) << 1 | (last ? 1 : 0));
    std::memcpy(a + 1, m_data.constData() + m_position, size_t(take));
    m_position += take;
    if (last)
        m_transfer = Transfer::None;
    return frameReply(a, f.delayMs);
}

void SimCanDevice::attach(SimAdapter* adapter)
{
    detach();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_adapter = adapter;
    }
    {
        std::lock_guard<std::mutex> lock(m_timerMutex);
        m_timerStop = false;
    }
    m_timerThread = std::thread([this] { runTimers(); });
    adapter->setFrameHandler([this](const CanFrame& frame) { deliver(receive(frame)); });
}

void SimCanDevice::detach()
{
    SimAdapter* adapter = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        adapter = m_adapter;
        m_adapter = nullptr;
    }
    if (adapter)
        adapter->setFrameHandler(nullptr);
    {
        std::lock_guard<std::mutex> lock(m_timerMutex);
        m_timerStop = true;
        m_timers.clear();
    }
    m_timerCond.notify_all();
    if (m_timerThread.joinable())
        m_timerThread.join();
}

void SimCanDevice::rebootAfter(int silenceMs)
{
    setSilent(true);
    schedule(silenceMs, [this] {
        SimAdapter* adapter = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_silent = false;
            m_transfer = Transfer::None;
            adapter = m_adapter;
        }
        if (adapter)
            adapter->sendFrame(bootUpFrame());
    });
}

void SimCanDevice::deliver(Reply reply)
{
    if (reply.rebootAfterMs >= 0)
        rebootAfter(reply.rebootAfterMs);
    if (reply.frames.empty())
        return;
    const bool delayed = reply.delayMs > 0;
    if (delayed) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_pendingAnswers;
    }
    auto send = [this, delayed, frames = reply.frames] {
        SimAdapter* adapter = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            adapter = m_adapter;
            // Counted as sent before it leaves: the host's next request comes after it.
            if (delayed)
                --m_pendingAnswers;
        }
        for (const CanFrame& f : frames) {
            if (adapter)
                adapter->sendFrame(f);
        }
    };
    if (delayed)
        schedule(reply.delayMs, send);
    else
        send();
}

void SimCanDevice::schedule(int ms, std::function<void()> action)
{
    {
        std::lock_guard<std::mutex> lock(m_timerMutex);
        if (m_timerStop)
            return;
        m_timers.emplace(Clock::now() + std::chrono::milliseconds(ms), std::move(action));
    }
    m_timerCond.notify_all();
}

void SimCanDevice::runTimers()
{
    std::unique_lock<std::mutex> lock(m_timerMutex);
    while (!m_timerStop) {
        if (m_timers.empty()) {
            m_timerCond.wait(lock);
            continue;
        }
        const auto due = m_timers.begin()->first;
        if (Clock::now() < due) {
            m_timerCond.wait_until(lock, due);
            continue;
        }
        std::function<void()> action = std::move(m_timers.begin()->second);
        m_timers.erase(m_timers.begin());
        lock.unlock();
        action();
        lock.lock();
    }
}
