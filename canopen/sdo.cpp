#include "canopen/sdointernal.h"

#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/timer.h"

#include <cstdlib>
#include <cstring>

void* (*sdoAllocate)(size_t size) = std::malloc;

namespace {
uint32_t* entryCobId(CanOpenNode* node, ServiceRange range, uint8_t service, uint8_t subIndex)
{
    if (!range.first || range.first + service > range.last)
        return nullptr;
    return static_cast<uint32_t*>(objectValue(node, node->dictionary[range.first + service].index, subIndex, 4));
}

void sdoTimeout(CanOpenNode* node, uint32_t id)
{
    if (id >= SDO_LINES)
        return;
    SdoLine& line = node->sdo[id];
    line.timer = -1;
    if (!sdoInProgress(line.state))
        return;
    line.state = SDO_ENDED_LOCALLY;
    sendSdoAbort(node, line.service, line.role, line.index, line.subIndex, ABORT_TIMEOUT);
    line.abortCode = ABORT_TIMEOUT;
    if (line.role == SDO_CLIENT && line.callback)
        line.callback(node, sdoPeerNodeId(node, line.service));
    // The callback may have freed the line and even started the next transfer on it.
    if (line.state == SDO_ENDED_LOCALLY && line.abortCode == ABORT_TIMEOUT)
        resetSdoLine(node, int(id));
}
}

void sdoInitFrame(uint8_t* d, uint8_t byte0, uint16_t index, uint8_t subIndex)
{
    std::memset(d, 0, 8);
    d[0] = byte0;
    d[1] = uint8_t(index);
    d[2] = uint8_t(index >> 8);
    d[3] = subIndex;
}

int lineNumber(CanOpenNode* node, const SdoLine* line)
{
    return int(line - node->sdo);
}

SdoLine* findSdoLine(CanOpenNode* node, uint8_t service, uint8_t role)
{
    for (SdoLine& line : node->sdo) {
        if (line.state != SDO_FREE && line.state != SDO_ENDED_LOCALLY && line.service == service && line.role == role)
            return &line;
    }
    return nullptr;
}

int firstFreeSdoLine(CanOpenNode* node)
{
    for (int i = 0; i < SDO_LINES; ++i) {
        if (node->sdo[i].state == SDO_FREE)
            return i;
    }
    return -1;
}

void startSdoLine(CanOpenNode* node, int number, uint8_t service, uint16_t index, uint8_t subIndex, uint8_t state)
{
    SdoLine& line = node->sdo[number];
    line.timer = int16_t(cancelAlarm(line.timer));
    if (sdoInProgress(state))
        line.timer = int16_t(scheduleAlarm(node, uint32_t(number), sdoTimeout, SDO_TIMEOUT_MS, 0));
    line.service = service;
    line.index = index;
    line.subIndex = subIndex;
    line.state = state;
    line.toggle = 0;
    line.count = 0;
    line.offset = 0;
    line.peerCrc = 0;
    line.blockSize = 0;
    line.lastSeq = 0;
    line.blockStart = 0;
    line.seq = 0;
    line.emptyAck = 0;
    line.step = 0;
    std::memset(line.lastSegment, 0, sizeof line.lastSegment);
    std::free(line.buffer);
    line.buffer = nullptr;
    line.bufferSize = 0;
}

void resetSdoLine(CanOpenNode* node, int number)
{
    startSdoLine(node, number, 0, 0, 0, SDO_FREE);
    SdoLine& line = node->sdo[number];
    std::memset(line.data, 0, sizeof line.data);
    line.role = 0;
    line.abortCode = 0;
    line.dataType = 0;
    // A freed line must never call back a requester of an earlier transfer.
    line.callback = nullptr;
}

void resetSdoLines(CanOpenNode* node)
{
    for (int i = 0; i < SDO_LINES; ++i)
        resetSdoLine(node, i);
}

void restartSdoTimeout(CanOpenNode* node, SdoLine* line)
{
    line->timer = int16_t(cancelAlarm(line->timer));
    line->timer = int16_t(scheduleAlarm(node, uint32_t(lineNumber(node, line)), sdoTimeout, SDO_TIMEOUT_MS, 0));
}

void finishSdoLine(CanOpenNode* node, SdoLine* line)
{
    line->timer = int16_t(cancelAlarm(line->timer));
    line->state = SDO_FINISHED;
    if (line->role == SDO_CLIENT && line->callback)
        line->callback(node, sdoPeerNodeId(node, line->service));
}

void failSdoTransfer(CanOpenNode* node, uint8_t service, uint8_t role, uint16_t index, uint8_t subIndex,
                     uint32_t code)
{
    SdoLine* line = findSdoLine(node, service, role);
    // A finished or peer-aborted result waits for its requester untouched.
    if (line && !sdoInProgress(line->state))
        line = nullptr;
    if (line && role == SDO_SERVER) {
        resetSdoLine(node, lineNumber(node, line));
        line = nullptr;
    } else if (line) {
        line->timer = int16_t(cancelAlarm(line->timer));
        line->state = SDO_ENDED_LOCALLY;
        line->abortCode = code;
    }
    sendSdoAbort(node, service, role, index, subIndex, code);
    if (!line)
        return;
    if (line->callback)
        line->callback(node, sdoPeerNodeId(node, service));
    if (line->state == SDO_ENDED_LOCALLY && line->abortCode == code)
        resetSdoLine(node, lineNumber(node, line));
}

void failSdoLine(CanOpenNode* node, SdoLine* line, uint32_t code)
{
    failSdoTransfer(node, line->service, line->role, line->index, line->subIndex, code);
}

uint8_t sendSdoFrame(CanOpenNode* node, uint8_t service, uint8_t role, const uint8_t* d)
{
    if (node->nmtState != NMT_OPERATIONAL && node->nmtState != NMT_PRE_OPERATIONAL)
        return 1;
    const uint32_t* cob = role == SDO_CLIENT ? entryCobId(node, node->sdoClient, service, 1)
                                             : entryCobId(node, node->sdoServer, service, 2);
    if (!cob)
        return 1;
    CanFrame frame;
    frame.id = uint16_t(*cob & 0x7FF);
    frame.rtr = 0;
    frame.len = 8;
    std::memcpy(frame.data, d, 8);
    return sendCanFrame(node->port, &frame);
}

void sendSdoAbort(CanOpenNode* node, uint8_t service, uint8_t role, uint16_t index, uint8_t subIndex, uint32_t code)
{
    uint8_t d[8];
    sdoInitFrame(d, 0x80, index, subIndex);
    canPutU32(d + 4, code);
    sendSdoFrame(node, service, role, d);
}

uint8_t sdoPeerNodeId(CanOpenNode* node, uint8_t service)
{
    if (!node->sdoClient.first || node->sdoClient.first + service > node->sdoClient.last)
        return 0;
    const uint8_t* id = static_cast<const uint8_t*>(
        objectValue(node, node->dictionary[node->sdoClient.first + service].index, 3, 1));
    return id ? *id : 0;
}

uint8_t* sdoLineData(SdoLine* line)
{
    return line->buffer ? line->buffer : line->data;
}

bool takeSdoSegment(SdoLine* line, uint8_t* d)
{
    const uint32_t remaining = line->count - line->offset;
    const uint32_t take = remaining < 7 ? remaining : 7;
    const bool last = remaining <= 7;
    std::memset(d, 0, 8);
    d[0] = uint8_t(line->toggle << 4 | (last ? (7 - take) << 1 | 1 : 0));
    std::memcpy(d + 1, sdoLineData(line) + line->offset, take);
    line->offset += take;
    return last;
}

bool reserveSdoData(SdoLine* line, uint32_t size)
{
    if (size <= line->bufferSize || (!line->buffer && size <= SDO_INLINE_BYTES))
        return true;
    uint8_t* grown = static_cast<uint8_t*>(sdoAllocate(size));
    if (!grown)
        return false;
    if (line->offset)
        std::memcpy(grown, sdoLineData(line), line->offset);
    std::free(line->buffer);
    line->buffer = grown;
    line->bufferSize = size;
    return true;
}

bool storeSdoData(CanOpenNode* node, SdoLine* line, const uint8_t* bytes, uint32_t n)
{
    const uint64_t end = uint64_t(line->offset) + n;
    if (end > SDO_MAX_RECEIVE) {
        failSdoLine(node, line, ABORT_OUT_OF_MEMORY);
        return false;
    }
    if (end > SDO_INLINE_BYTES && end > line->bufferSize) {
        // Grow in whole steps so a long transfer allocates seldom.
        const uint32_t steps = uint32_t((end + SDO_BUFFER_STEP - 1) / SDO_BUFFER_STEP);
        if (!reserveSdoData(line, steps * uint32_t(SDO_BUFFER_STEP))) {
            failSdoLine(node, line, ABORT_GENERAL);
            return false;
        }
    }
    if (n)
        std::memcpy(sdoLineData(line) + line->offset, bytes, n);
    line->offset = uint32_t(end);
    return true;
}

uint8_t findSdoClientForNode(CanOpenNode* node, uint8_t nodeId)
{
    if (!node->sdoClient.first)
        return SDO_NO_CLIENT_ENTRY;
    for (uint16_t pos = node->sdoClient.first; pos <= node->sdoClient.last; ++pos) {
        const ObjectEntry& entry = node->dictionary[pos];
        if (entry.subCount < 4)
            return SDO_NO_CLIENT_ENTRY;
        const uint8_t* id = static_cast<const uint8_t*>(entry.subs[3].value);
        if (entry.subs[3].size == 1 && *id == nodeId)
            return uint8_t(pos - node->sdoClient.first);
    }
    return SDO_NO_CLIENT_FOR_NODE;
}

uint8_t claimSdoClient(CanOpenNode* node, uint8_t nodeId)
{
    const uint8_t found = findSdoClientForNode(node, nodeId);
    if (found != SDO_NO_CLIENT_FOR_NODE)
        return found;
    for (uint16_t pos = node->sdoClient.first; pos <= node->sdoClient.last; ++pos) {
        const uint8_t service = uint8_t(pos - node->sdoClient.first);
        uint8_t* id = static_cast<uint8_t*>(objectValue(node, node->dictionary[pos].index, 3, 1));
        uint32_t* toServer = entryCobId(node, node->sdoClient, service, 1);
        uint32_t* toClient = entryCobId(node, node->sdoClient, service, 2);
        if (id && toServer && toClient && *id == 0) {
            *toServer = 0x600u + nodeId;
            *toClient = 0x580u + nodeId;
            *id = nodeId;
            return service;
        }
    }
    return SDO_NO_CLIENT_FOR_NODE;
}

uint8_t sdoReadResult(CanOpenNode* node, uint8_t nodeId, void* data, uint32_t* size, uint32_t* abortCode)
{
    uint32_t room = size ? *size : 0;
    if (size)
        *size = 0;
    if (abortCode)
        *abortCode = 0;
    const uint8_t service = findSdoClientForNode(node, nodeId);
    SdoLine* line = service < SDO_NO_CLIENT_FOR_NODE ? findSdoLine(node, service, SDO_CLIENT) : nullptr;
    if (!line)
        return SDO_ENDED_LOCALLY;
    if (line->state == SDO_ABORTED_BY_PEER) {
        if (abortCode)
            *abortCode = line->abortCode;
        return SDO_ABORTED_BY_PEER;
    }
    if (line->state != SDO_FINISHED)
        return line->state;
    // Only the bytes really received count; a segmented upload's announced
    // size has been checked against them when it ended.
    const uint32_t length = line->offset;
    if (!data || room < length)
        return SDO_BUFFER_TOO_SMALL;
    if (length)
        std::memcpy(data, sdoLineData(line), length);
    *size = length;
    resetSdoLine(node, lineNumber(node, line));
    return SDO_FINISHED;
}

uint8_t sdoWriteResult(CanOpenNode* node, uint8_t nodeId, uint32_t* abortCode)
{
    if (abortCode)
        *abortCode = 0;
    const uint8_t service = findSdoClientForNode(node, nodeId);
    SdoLine* line = service < SDO_NO_CLIENT_FOR_NODE ? findSdoLine(node, service, SDO_CLIENT) : nullptr;
    if (!line)
        return SDO_ENDED_LOCALLY;
    const uint8_t state = line->state;
    if (abortCode)
        *abortCode = line->abortCode;
    if (state == SDO_FINISHED)
        resetSdoLine(node, lineNumber(node, line));
    return state;
}

uint8_t closeSdoTransfer(CanOpenNode* node, uint8_t nodeId, uint8_t role)
{
    uint8_t service = 0;
    if (role == SDO_CLIENT) {
        service = findSdoClientForNode(node, nodeId);
        if (service >= SDO_NO_CLIENT_FOR_NODE)
            return SDO_ENDED_LOCALLY;
    } else if (!node->sdoServer.first) {
        return SDO_ENDED_LOCALLY;
    }
    for (int i = 0; i < SDO_LINES; ++i) {
        const SdoLine& line = node->sdo[i];
        if (line.state != SDO_FREE && line.service == service && line.role == role) {
            resetSdoLine(node, i);
            return 0;
        }
    }
    return 0xFF;
}

uint8_t closeActiveSdoTransfer(CanOpenNode* node, uint8_t nodeId)
{
    const uint8_t service = findSdoClientForNode(node, nodeId);
    if (service >= SDO_NO_CLIENT_FOR_NODE)
        return SDO_ENDED_LOCALLY;
    SdoLine* line = findSdoLine(node, service, SDO_CLIENT);
    if (!line)
        return 0xFF;
    resetSdoLine(node, lineNumber(node, line));
    return 0;
}

namespace {
// Which entry a received identifier belongs to: a server entry's sub 1 or a
// client entry's sub 2.
bool sdoEntryFor(CanOpenNode* node, uint16_t id, uint8_t* service, uint8_t* role)
{
    for (uint8_t s = 0; node->sdoServer.first && node->sdoServer.first + s <= node->sdoServer.last; ++s) {
        const uint32_t* cob = entryCobId(node, node->sdoServer, s, 1);
        if (cob && *cob == id) {
            *service = s;
            *role = SDO_SERVER;
            return true;
        }
    }
    for (uint8_t s = 0; node->sdoClient.first && node->sdoClient.first + s <= node->sdoClient.last; ++s) {
        const uint32_t* cob = entryCobId(node, node->sdoClient, s, 2);
        if (cob && *cob == id) {
            *service = s;
            *role = SDO_CLIENT;
            return true;
        }
    }
    return false;
}
}

void handleSdoFrame(CanOpenNode* node, const CanFrame* frame)
{
    uint8_t service = 0;
    uint8_t role = 0;
    if (!sdoEntryFor(node, frame->id, &service, &role))
        return;
    if (frame->len != 8) {
        failSdoTransfer(node, service, role, 0, 0, ABORT_GENERAL);
        return;
    }
    const uint8_t* d = frame->data;
    SdoLine* line = findSdoLine(node, service, role);
    // Inside a sub-block byte 0 is a sequence number, not a command; 0x80
    // (sequence 0) can only be an abort.
    if (line && inBlockSegmentPhase(line) && d[0] != 0x80) {
        receiveBlockSegment(node, line, d);
        return;
    }
    const uint8_t command = d[0] >> 5;
    if (command == 7) {
        failSdoTransfer(node, service, role, sdoIndex(d), d[3], ABORT_COMMAND);
        return;
    }
    if (command == 4) {
        if (!line)
            return;
        if (role == SDO_SERVER) {
            resetSdoLine(node, lineNumber(node, line));
            return;
        }
        // An abort of an earlier, abandoned request names another object.
        if (!sdoInProgress(line->state) || !sdoNamesLine(*line, d))
            return;
        line->timer = int16_t(cancelAlarm(line->timer));
        line->state = SDO_ABORTED_BY_PEER;
        line->abortCode = canGetU32(d + 4);
        if (line->callback)
            line->callback(node, sdoPeerNodeId(node, service));
        return;
    }
    if (role == SDO_SERVER) {
        handleSdoServerFrame(node, service, line, d);
        return;
    }
    if (!line) {
        sendSdoAbort(node, service, role, sdoIndex(d), d[3], ABORT_LOCAL_CONTROL);
        return;
    }
    handleSdoClientFrame(node, line, d);
}
