// The requester side of the synchronous SDO access: fills the exchange,
// schedules the request callback on the timer thread and waits, bounded, for
// the completion that answers this very request.
#include "link/sdoaccess.h"
#include "canopen/tooldict.h"
#include "link/sdoflight.h"

#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "canopen/timer.h"

#include <chrono>
#include <cstring>
#include <thread>


namespace {
std::atomic<int> delayBeforeWaitMs{0};
std::atomic<int> stackWaitMs{SDO_WAIT_LOST_COMPLETION_MS};
uint64_t lastSequence = 0; // under the flight lock

bool isNodeId(uint8_t id)
{
    return id >= 1 && id <= 127;
}

AlarmCallback requestCallback(uint8_t kind)
{
    switch (kind) {
    case SDO_REQUEST_DEVICE_TYPE: return requestDeviceTypeRead;
    case SDO_REQUEST_EDS: return requestEdsRead;
    case SDO_REQUEST_WRITE: return requestSdoWrite;
    default: return requestSdoRead;
    }
}

SdoOutcome runRequest(uint8_t kind, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                      const QByteArray& out, int waitMs)
{
    SdoOutcome result;
    if (!isNodeId(nodeId))
        return result;
    std::lock_guard<std::mutex> flight(sdoFlightLock());
    SdoExchange& x = sdoExchange();
    uint64_t sequence = 0;
    {
        std::lock_guard<std::mutex> lock(x.mutex);
        sequence = ++lastSequence;
        x.kind = kind;
        x.nodeId = nodeId;
        x.index = index;
        x.subIndex = subIndex;
        x.dataType = dataType;
        x.writeLength = out.size();
        if (!out.isEmpty())
            std::memcpy(x.data, out.constData(), size_t(out.size()));
        x.done = false;
        x.sequence = sequence;
    }
    bool scheduled = false;
    {
        CanOpenLock stack;
        scheduled = sdoAccessOnline() && scheduleAlarm(&toolNode, nodeId, requestCallback(kind), 0, 0) >= 0;
    }
    if (scheduled && delayBeforeWaitMs.load() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayBeforeWaitMs.load()));

    const int bound = waitMs > 0 ? waitMs : stackWaitMs.load();
    std::unique_lock<std::mutex> lock(x.mutex);
    const bool done = scheduled && sdoDoneCondition().wait_for(lock, std::chrono::milliseconds(bound),
                                                               [&x] { return x.done; });
    // From here on a completion of this request is dropped.
    x.sequence = 0;
    const bool onLine = x.started == sequence;
    if (done) {
        result.ok = x.success != 0;
        result.abortCode = result.ok ? 0 : x.abortCode;
        result.silent = !result.ok && x.silent;
        if (result.ok && kind != SDO_REQUEST_WRITE) {
            const uint8_t* source = kind == SDO_REQUEST_EDS ? x.eds : x.data;
            result.data = QByteArray(reinterpret_cast<const char*>(source), int(x.resultLength));
        }
    }
    lock.unlock();
    if (!done && onLine) {
        // Given up: free the line now rather than after the stack's time-out.
        CanOpenLock stack;
        closeActiveSdoTransfer(&toolNode, nodeId);
    }
    return result;
}

template <typename Try>
SdoOutcome withTries(int tries, Try tryOnce)
{
    std::lock_guard<std::mutex> request(sdoRequestLock());
    SdoOutcome outcome;
    for (int i = 0; i < tries && !outcome.ok; ++i)
        outcome = tryOnce();
    return outcome;
}
}

SdoExchange& sdoExchange(void)
{
    static SdoExchange* exchange = new SdoExchange;
    return *exchange;
}

std::condition_variable& sdoDoneCondition(void)
{
    static std::condition_variable* condition = new std::condition_variable;
    return *condition;
}

std::mutex& sdoRequestLock(void)
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::mutex& sdoFlightLock(void)
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

void pointSdoClientAt(uint8_t nodeId)
{
    if (!isNodeId(nodeId))
        return;
    std::lock_guard<std::mutex> flight(sdoFlightLock());
    CanOpenLock stack;
    CanOpenNode* node = &toolNode;
    const uint8_t* current = static_cast<const uint8_t*>(objectValue(node, 0x1280, 3, 1));
    // The line belongs to the entry, not to the device: free it for the next one.
    if (current && *current != nodeId && *current != 0)
        closeSdoTransfer(node, *current, SDO_CLIENT);
    uint32_t toServer = 0x600u + nodeId;
    uint32_t toClient = 0x580u + nodeId;
    uint8_t id = nodeId;
    uint32_t size = 4;
    writeObjectEntry(node, 0x1280, 1, &toServer, &size, false);
    size = 4;
    writeObjectEntry(node, 0x1280, 2, &toClient, &size, false);
    size = 1;
    writeObjectEntry(node, 0x1280, 3, &id, &size, false);
}

SdoOutcome sdoReadOnce(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs)
{
    return runRequest(SDO_REQUEST_READ, nodeId, index, subIndex, dataType, QByteArray(), waitMs);
}

SdoOutcome sdoWriteOnce(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                        const QByteArray& data, int waitMs)
{
    // Nothing is sent for what the buffer cannot hold.
    if (data.isEmpty() || data.size() > SDO_DATA_BUFFER)
        return SdoOutcome();
    return runRequest(SDO_REQUEST_WRITE, nodeId, index, subIndex, dataType, data, waitMs);
}

SdoOutcome sdoReadEdsOnce(uint8_t nodeId, int waitMs)
{
    return runRequest(SDO_REQUEST_EDS, nodeId, 0x1021, 0, CO_DOMAIN, QByteArray(), waitMs);
}

SdoOutcome sdoReadDeviceTypeOnce(uint8_t nodeId, int waitMs)
{
    return runRequest(SDO_REQUEST_DEVICE_TYPE, nodeId, 0x2000, 1, CO_UNSIGNED16, QByteArray(), waitMs);
}

SdoOutcome sdoRead(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs, int tries)
{
    return withTries(tries, [&] { return sdoReadOnce(nodeId, index, subIndex, dataType, waitMs); });
}

SdoOutcome sdoWrite(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, const QByteArray& data,
                    int waitMs, int tries)
{
    if (data.isEmpty() || data.size() > SDO_DATA_BUFFER)
        return SdoOutcome();
    return withTries(tries, [&] { return sdoWriteOnce(nodeId, index, subIndex, dataType, data, waitMs); });
}

SdoOutcome probeCanDevice(uint8_t nodeId)
{
    if (!isNodeId(nodeId))
        return SdoOutcome();
    std::lock_guard<std::mutex> request(sdoRequestLock());
    pointSdoClientAt(nodeId);
    SdoOutcome outcome;
    for (int i = 0; i < SDO_TRIES && !outcome.ok; ++i)
        outcome = sdoReadDeviceTypeOnce(nodeId, SDO_WAIT_STACK_TIMEOUT);
    return outcome;
}

void setSdoDelayBeforeWaitMs(int ms)
{
    delayBeforeWaitMs.store(ms);
}

void setSdoStackWaitMs(int ms)
{
    stackWaitMs.store(ms > 0 ? ms : SDO_WAIT_LOST_COMPLETION_MS);
}
