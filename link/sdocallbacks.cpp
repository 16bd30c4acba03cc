// The alarm callbacks that start requests on the timer thread and the SDO
// completion callbacks that store their results. All run with the stack mutex
// held; the exchange's lock is always taken after it, never before.
#include "link/sdoaccess.h"
#include "canopen/tooldict.h"
#include "link/sdoflight.h"

#include "canopen/od.h"
#include "canopen/sdo.h"

#include <cstring>

namespace {
bool linkOnline = false; // stack mutex

// The transfer on the line is the one the waiting requester asked for.
bool answersRequestInFlight(const SdoExchange& x, uint8_t nodeId)
{
    return x.sequence != 0 && !x.done && x.started == x.sequence && x.nodeId == nodeId;
}

// The client line of nodeId was ended by the stack's time-out: the engine
// keeps it in that state, with its own abort code, until the callback returns.
bool endedByStackTimeout(CanOpenNode* node, uint8_t nodeId)
{
    const uint8_t service = findSdoClientForNode(node, nodeId);
    for (const SdoLine& line : node->sdo) {
        if (line.role == SDO_CLIENT && line.service == service && line.state == SDO_ENDED_LOCALLY)
            return line.abortCode == ABORT_TIMEOUT;
    }
    return false;
}

void startRequest(CanOpenNode* node, uint32_t id, uint8_t kind)
{
    if (!node)
        node = &toolNode;
    SdoExchange& x = sdoExchange();
    uint8_t data[SDO_DATA_BUFFER];
    std::unique_lock<std::mutex> lock(x.mutex);
    // A stale alarm of an abandoned request, or one of a request already on
    // the line, starts nothing.
    if (x.sequence == 0 || x.done || x.started == x.sequence || x.kind != kind || x.nodeId != id)
        return;
    const uint64_t sequence = x.sequence;
    x.started = sequence;
    const uint8_t nodeId = x.nodeId;
    const uint16_t index = x.index;
    const uint8_t subIndex = x.subIndex;
    const uint8_t dataType = x.dataType;
    const int length = x.writeLength;
    std::memcpy(data, x.data, sizeof data);
    lock.unlock();

    int started = SDO_REFUSED;
    switch (kind) {
    case SDO_REQUEST_DEVICE_TYPE:
        started = sdoReadRemote(node, nodeId, 0x2000, 1, CO_UNSIGNED16, sdoReadDone, 0);
        break;
    case SDO_REQUEST_EDS:
        started = sdoReadRemote(node, nodeId, 0x1021, 0, CO_DOMAIN, sdoReadEdsDone, 0);
        break;
    case SDO_REQUEST_READ:
        started = sdoReadRemote(node, nodeId, index, subIndex, dataType, sdoReadDone, 0);
        break;
    case SDO_REQUEST_WRITE:
        started = sdoWriteRemote(node, nodeId, index, subIndex, uint32_t(length), dataType, data, sdoWriteDone, 0);
        break;
    default:
        break;
    }
    if (started == 0)
        return;
    // Refused (no client entry, line busy, node may not send): this try ends now.
    lock.lock();
    if (x.sequence == sequence)
        completeSdoRequest(x, false, 0);
}

void finishUpload(CanOpenNode* node, uint8_t nodeId, uint8_t* dest, uint32_t room)
{
    if (!node)
        node = &toolNode;
    SdoExchange& x = sdoExchange();
    {
        std::lock_guard<std::mutex> lock(x.mutex);
        if (answersRequestInFlight(x, nodeId)) {
            uint32_t size = room;
            uint32_t abortCode = 0;
            // A value larger than the room gives SDO_BUFFER_TOO_SMALL: a
            // failure with abort code 0, nothing copied.
            const uint8_t state = sdoReadResult(node, nodeId, dest, &size, &abortCode);
            if (state == SDO_FINISHED)
                x.resultLength = size;
            completeSdoRequest(x, state == SDO_FINISHED, state == SDO_ABORTED_BY_PEER ? abortCode : 0,
                               state == SDO_ENDED_LOCALLY && endedByStackTimeout(node, nodeId));
        }
    }
    // The line is freed whether the answer was wanted or not.
    closeSdoTransfer(node, nodeId, SDO_CLIENT);
}
}

void requestDeviceTypeRead(CanOpenNode* node, uint32_t id)
{
    startRequest(node, id, SDO_REQUEST_DEVICE_TYPE);
}

void requestEdsRead(CanOpenNode* node, uint32_t id)
{
    startRequest(node, id, SDO_REQUEST_EDS);
}

void requestSdoRead(CanOpenNode* node, uint32_t id)
{
    startRequest(node, id, SDO_REQUEST_READ);
}

void requestSdoWrite(CanOpenNode* node, uint32_t id)
{
    startRequest(node, id, SDO_REQUEST_WRITE);
}

void sdoReadDone(CanOpenNode* node, uint8_t nodeId)
{
    finishUpload(node, nodeId, sdoExchange().data, SDO_DATA_BUFFER);
}

void sdoReadEdsDone(CanOpenNode* node, uint8_t nodeId)
{
    finishUpload(node, nodeId, sdoExchange().eds, SDO_EDS_BUFFER);
}

void sdoWriteDone(CanOpenNode* node, uint8_t nodeId)
{
    if (!node)
        node = &toolNode;
    SdoExchange& x = sdoExchange();
    {
        std::lock_guard<std::mutex> lock(x.mutex);
        if (answersRequestInFlight(x, nodeId)) {
            uint32_t abortCode = 0;
            const uint8_t state = sdoWriteResult(node, nodeId, &abortCode);
            if (state == SDO_FINISHED)
                completeSdoRequest(x, true, x.abortCode); // abort code left as it was
            else
                completeSdoRequest(x, false, state == SDO_ABORTED_BY_PEER ? abortCode : 0,
                                   state == SDO_ENDED_LOCALLY && endedByStackTimeout(node, nodeId));
        }
    }
    closeSdoTransfer(node, nodeId, SDO_CLIENT);
}

void completeSdoRequest(SdoExchange& x, bool ok, uint32_t abortCode, bool silent)
{
    if (x.sequence == 0 || x.done)
        return;
    x.success = ok ? 1 : 0;
    x.abortCode = abortCode;
    x.silent = silent;
    x.done = true;
    sdoDoneCondition().notify_all();
}

bool sdoAccessOnline(void)
{
    return linkOnline;
}

void setSdoAccessOnline(bool online)
{
    linkOnline = online;
    if (online)
        return;
    // Lines are freed without callbacks when the node stops; the requester
    // must not wait out its bound for an answer that cannot come.
    SdoExchange& x = sdoExchange();
    std::lock_guard<std::mutex> lock(x.mutex);
    completeSdoRequest(x, false, 0);
}
