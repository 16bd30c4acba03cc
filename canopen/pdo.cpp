#include "canopen/pdo.h"

#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/timer.h"

#include <cstring>

namespace {
uint16_t rangeCount(ServiceRange range)
{
    return range.first ? uint16_t(range.last - range.first + 1) : 0;
}

// A parameter of a PDO's communication entry, or null when the entry lacks it.
void* commParameter(const CanOpenNode* node, ServiceRange range, uint16_t pdo, uint8_t subIndex, uint32_t size)
{
    if (pdo >= rangeCount(range))
        return nullptr;
    const ObjectEntry& entry = node->dictionary[range.first + pdo];
    if (subIndex >= entry.subCount || entry.subs[subIndex].size != size)
        return nullptr;
    return entry.subs[subIndex].value;
}

uint32_t cobId(const CanOpenNode* node, ServiceRange range, uint16_t pdo)
{
    const uint32_t* cob = static_cast<const uint32_t*>(commParameter(node, range, pdo, 1, 4));
    return cob ? *cob : 0x80000000u;
}

bool validCobId(uint32_t cob)
{
    return !(cob & 0x80000000u);
}

uint8_t transmissionType(const CanOpenNode* node, uint16_t pdo)
{
    const uint8_t* type = static_cast<const uint8_t*>(commParameter(node, node->tpdoComm, pdo, 2, 1));
    return type ? *type : uint8_t(PDO_EVENT_PROFILE);
}

uint16_t timeParameter(const CanOpenNode* node, uint16_t pdo, uint8_t subIndex)
{
    const uint16_t* time = static_cast<const uint16_t*>(commParameter(node, node->tpdoComm, pdo, subIndex, 2));
    return time ? *time : 0;
}

// The mapping entry of a PDO, or 0 when the dictionary has none.
uint16_t mappingIndex(const CanOpenNode* node, ServiceRange range, uint16_t pdo)
{
    return pdo < rangeCount(range) ? node->dictionary[range.first + pdo].index : 0;
}

uint32_t readMapping(CanOpenNode* node, uint16_t index, uint8_t subIndex, uint32_t* out)
{
    uint32_t size = sizeof *out;
    *out = 0;
    return readObjectEntry(node, index, subIndex, out, &size, nullptr, false);
}

uint32_t readMappingCount(CanOpenNode* node, uint16_t index, uint8_t* count)
{
    uint32_t size = 1;
    *count = 0;
    return readObjectEntry(node, index, 0, count, &size, nullptr, false);
}

bool sameFrame(const CanFrame& a, const CanFrame& b)
{
    return a.id == b.id && a.len == b.len && std::memcmp(a.data, b.data, sizeof a.data) == 0;
}

bool hasStatus(const CanOpenNode* node, uint16_t pdo)
{
    return pdo < transmitPdoCount(node);
}

uint8_t sendAndKeep(CanOpenNode* node, PdoStatus& status, const CanFrame& frame)
{
    status.last = frame;
    return sendCanFrame(node->port, &frame) ? PDO_REFUSED : 0;
}

void eventTimerExpired(CanOpenNode* node, uint32_t pdo)
{
    if (!hasStatus(node, uint16_t(pdo)))
        return;
    PdoStatus& status = node->pdoStatus[pdo];
    status.eventTimer = -1;
    // The timer sends even an unchanged value.
    status.last = CanFrame{};
    sendPdoEvent(node, uint16_t(pdo));
}

void inhibitTimeExpired(CanOpenNode* node, uint32_t pdo)
{
    if (!hasStatus(node, uint16_t(pdo)))
        return;
    PdoStatus& status = node->pdoStatus[pdo];
    status.inhibitTimer = -1;
    status.flags &= uint8_t(~PDO_INHIBITED);
    // An event held back by the inhibit time goes out now.
    sendPdoEvent(node, uint16_t(pdo));
}

void stopPdoTimers(PdoStatus& status)
{
    status.eventTimer = int16_t(cancelAlarm(status.eventTimer));
    status.inhibitTimer = int16_t(cancelAlarm(status.inhibitTimer));
}

// Sub 2, 3 or 5 of a transmit PDO's communication entry was written.
uint32_t transmitParameterWritten(CanOpenNode* node, const ObjectEntry* entry, uint8_t)
{
    if (!node->tpdoComm.first || entry < node->dictionary + node->tpdoComm.first)
        return 0;
    const uint16_t pdo = uint16_t(entry - (node->dictionary + node->tpdoComm.first));
    if (!hasStatus(node, pdo))
        return 0;
    PdoStatus& status = node->pdoStatus[pdo];
    stopPdoTimers(status);
    status.flags = 0;
    sendPdoEvent(node, pdo);
    return 0;
}

void receivePdo(CanOpenNode* node, uint16_t pdo, const CanFrame* frame)
{
    const uint16_t map = mappingIndex(node, node->rpdoMap, pdo);
    uint8_t count = 0;
    if (!map || readMappingCount(node, map, &count))
        return;
    const uint32_t available = uint32_t(frame->len) * 8;
    uint32_t offset = 0;
    for (uint8_t i = 1; i <= count; ++i) {
        uint32_t entry = 0;
        if (readMapping(node, map, i, &entry))
            return;
        const uint32_t bits = entry & 0xFF;
        if (bits == 0 || offset + bits > available)
            return;
        const uint16_t index = uint16_t(entry >> 16);
        const uint8_t subIndex = uint8_t(entry >> 8);
        // Learn the object's size, then write the mapped bits over zeros.
        uint8_t value[PDO_MAX_BITS / 8] = {};
        uint32_t size = sizeof value;
        if (readObjectEntry(node, index, subIndex, value, &size, nullptr, false))
            return;
        std::memset(value, 0, sizeof value);
        copyBits(frame->data, offset, value, 0, bits);
        if (writeObjectEntry(node, index, subIndex, value, &size, false))
            return;
        offset += bits;
    }
}

// A remote request for transmit PDO n.
uint8_t answerPdoRequest(CanOpenNode* node, uint16_t pdo)
{
    PdoStatus& status = node->pdoStatus[pdo];
    const uint8_t type = transmissionType(node, pdo);
    if (type == PDO_RTR_EVENT) {
        CanFrame frame;
        if (buildTransmitPdo(node, pdo, &frame))
            return PDO_REFUSED;
        return sendAndKeep(node, status, frame);
    }
    if (type == PDO_RTR_SYNC) {
        if (!(status.flags & PDO_KEPT))
            return PDO_REFUSED;
        return sendCanFrame(node->port, &status.last) ? PDO_REFUSED : 0;
    }
    if (type == PDO_EVENT_MANUFACTURER || type == PDO_EVENT_PROFILE) {
        status.last = CanFrame{};
        return sendPdoEvent(node, pdo);
    }
    return PDO_REFUSED;
}
}

void copyBits(const uint8_t* src, uint32_t srcBit, uint8_t* dst, uint32_t dstBit, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t s = srcBit + i;
        const uint32_t d = dstBit + i;
        const uint8_t bit = uint8_t((src[s >> 3] >> (s & 7)) & 1);
        dst[d >> 3] = uint8_t((dst[d >> 3] & ~(1u << (d & 7))) | (unsigned(bit) << (d & 7)));
    }
}

uint16_t transmitPdoCount(const CanOpenNode* node)
{
    const uint16_t n = rangeCount(node->tpdoComm);
    return n < TPDO_STATUS_MAX ? n : uint16_t(TPDO_STATUS_MAX);
}

uint16_t receivePdoCount(const CanOpenNode* node)
{
    return rangeCount(node->rpdoComm);
}

uint32_t buildTransmitPdo(CanOpenNode* node, uint16_t pdo, CanFrame* frame)
{
    *frame = CanFrame{};
    const uint16_t map = mappingIndex(node, node->tpdoMap, pdo);
    if (!map || pdo >= rangeCount(node->tpdoComm))
        return ABORT_NO_OBJECT;
    frame->id = uint16_t(cobId(node, node->tpdoComm, pdo) & 0x7FF);
    uint8_t count = 0;
    uint32_t code = readMappingCount(node, map, &count);
    if (code)
        return code;
    uint32_t bits = 0;
    for (uint8_t i = 1; i <= count; ++i) {
        uint32_t entry = 0;
        code = readMapping(node, map, i, &entry);
        if (code)
            return code;
        const uint32_t length = entry & 0xFF;
        if (length == 0 || bits + length > PDO_MAX_BITS)
            break;
        uint8_t value[PDO_MAX_BITS / 8] = {};
        uint32_t size = sizeof value;
        code = readObjectEntry(node, uint16_t(entry >> 16), uint8_t(entry >> 8), value, &size, nullptr, false);
        if (code)
            return code;
        copyBits(value, 0, frame->data, bits, length);
        bits += length;
    }
    frame->len = uint8_t(bits ? (bits - 1) / 8 + 1 : 0);
    return 0;
}

uint8_t sendPdoEvent(CanOpenNode* node, uint16_t pdo)
{
    if (!node->comm.pdo || !hasStatus(node, pdo) || !validCobId(cobId(node, node->tpdoComm, pdo)))
        return PDO_REFUSED;
    PdoStatus& status = node->pdoStatus[pdo];
    if (status.flags & PDO_INHIBITED)
        return 0;
    CanFrame frame;
    if (buildTransmitPdo(node, pdo, &frame))
        return PDO_REFUSED;
    if (sameFrame(frame, status.last))
        return 0;
    if (const uint16_t event = timeParameter(node, pdo, 5)) {
        status.eventTimer = int16_t(cancelAlarm(status.eventTimer));
        status.eventTimer = int16_t(scheduleAlarm(node, pdo, eventTimerExpired, event, 0));
    }
    if (const uint16_t inhibit = timeParameter(node, pdo, 3)) {
        // The inhibit time counts in 100 µs; the alarms in whole ms.
        status.inhibitTimer = int16_t(cancelAlarm(status.inhibitTimer));
        status.inhibitTimer = int16_t(scheduleAlarm(node, pdo, inhibitTimeExpired, inhibit / 10u, 0));
        status.flags |= PDO_INHIBITED;
    }
    return sendAndKeep(node, status, frame);
}

void sendPdoEvents(CanOpenNode* node)
{
    for (uint16_t pdo = 0; pdo < transmitPdoCount(node); ++pdo) {
        const uint8_t type = transmissionType(node, pdo);
        if (type == PDO_EVENT_MANUFACTURER || type == PDO_EVENT_PROFILE)
            sendPdoEvent(node, pdo);
    }
}

void transmitPdosOnSync(CanOpenNode* node)
{
    for (uint16_t pdo = 0; pdo < transmitPdoCount(node); ++pdo) {
        if (!validCobId(cobId(node, node->tpdoComm, pdo)))
            continue;
        PdoStatus& status = node->pdoStatus[pdo];
        const uint8_t type = transmissionType(node, pdo);
        CanFrame frame;
        if (type == PDO_SYNC_ACYCLIC) {
            if (!buildTransmitPdo(node, pdo, &frame) && !sameFrame(frame, status.last))
                sendAndKeep(node, status, frame);
        } else if (type <= PDO_SYNC_MAX) {
            if (++status.syncCount < type)
                continue;
            status.syncCount = 0;
            if (!buildTransmitPdo(node, pdo, &frame))
                sendAndKeep(node, status, frame);
        } else if (type == PDO_RTR_SYNC) {
            if (!buildTransmitPdo(node, pdo, &frame)) {
                status.last = frame;
                status.flags |= PDO_KEPT;
            }
        }
    }
}

uint8_t requestReceivePdo(CanOpenNode* node, uint16_t pdo)
{
    const uint32_t cob = cobId(node, node->rpdoComm, pdo);
    if (!validCobId(cob))
        return PDO_REFUSED;
    CanFrame frame;
    frame.id = uint16_t(cob & 0x7FF);
    frame.rtr = 1;
    frame.len = 0;
    return sendCanFrame(node->port, &frame) ? PDO_REFUSED : 0;
}

void handlePdoFrame(CanOpenNode* node, const CanFrame* frame)
{
    if (frame->rtr) {
        for (uint16_t pdo = 0; pdo < transmitPdoCount(node); ++pdo) {
            const uint32_t cob = cobId(node, node->tpdoComm, pdo);
            if (validCobId(cob) && (cob & 0x7FF) == frame->id)
                answerPdoRequest(node, pdo);
        }
        return;
    }
    for (uint16_t pdo = 0; pdo < receivePdoCount(node); ++pdo) {
        const uint32_t cob = cobId(node, node->rpdoComm, pdo);
        if (validCobId(cob) && (cob & 0x7FF) == frame->id)
            receivePdo(node, pdo, frame);
    }
}

void startPdo(CanOpenNode* node)
{
    for (uint16_t pdo = 0; pdo < transmitPdoCount(node); ++pdo) {
        const uint16_t index = node->dictionary[node->tpdoComm.first + pdo].index;
        for (uint8_t sub : {2, 3, 5})
            registerObjectCallback(node, index, sub, transmitParameterWritten);
        PdoStatus& status = node->pdoStatus[pdo];
        stopPdoTimers(status);
        status = PdoStatus{};
    }
    sendPdoEvents(node);
}

void stopPdo(CanOpenNode* node)
{
    for (PdoStatus& status : node->pdoStatus) {
        stopPdoTimers(status);
        status.flags &= uint8_t(~PDO_INHIBITED);
    }
}
