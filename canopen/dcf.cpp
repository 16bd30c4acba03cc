#include "canopen/dcf.h"

#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/sdo.h"

#include <cstdlib>
#include <cstring>

namespace {
enum { DCF_HEADER = 4, DCF_ENTRY_HEADER = 7, DCF_LOCAL_BYTES = 64 };

struct DcfBlob {
    const uint8_t* data;
    uint32_t size;
};

struct DcfEntry {
    uint16_t index;
    uint8_t subIndex;
    uint32_t size;
    const uint8_t* value;
};

bool findBlob(CanOpenNode* node, uint8_t nodeId, DcfBlob* blob)
{
    uint32_t code = 0;
    const ObjectEntry* entry = node->findObject ? node->findObject(node, 0x1F22, &code) : nullptr;
    if (!entry || nodeId >= entry->subCount || entry->subs[nodeId].size == 0 || !entry->subs[nodeId].value)
        return false;
    blob->data = static_cast<const uint8_t*>(entry->subs[nodeId].value);
    blob->size = entry->subs[nodeId].size;
    return true;
}

uint32_t entryCount(const DcfBlob& blob)
{
    return blob.size >= DCF_HEADER ? canGetU32(blob.data) : 0;
}

// The entry at cursor; false when its header or value runs past the end.
bool entryAt(const DcfBlob& blob, uint32_t cursor, DcfEntry* entry, uint32_t* next)
{
    if (cursor > blob.size || blob.size - cursor < DCF_ENTRY_HEADER)
        return false;
    const uint8_t* d = blob.data + cursor;
    entry->index = uint16_t(d[0] | d[1] << 8);
    entry->subIndex = d[2];
    entry->size = canGetU32(d + 3);
    const uint32_t start = cursor + DCF_ENTRY_HEADER;
    if (entry->size == 0 || entry->size > blob.size - start)
        return false;
    entry->value = blob.data + start;
    *next = start + entry->size;
    return true;
}

// Every announced entry lies inside the blob.
bool wholeBlob(const DcfBlob& blob)
{
    if (blob.size < DCF_HEADER)
        return false;
    uint32_t cursor = DCF_HEADER;
    for (uint32_t i = entryCount(blob); i > 0; --i) {
        DcfEntry entry;
        if (!entryAt(blob, cursor, &entry, &cursor))
            return false;
    }
    return true;
}

void failNode(CanOpenNode* node, uint8_t nodeId)
{
    node->remoteState[nodeId & 0x7F] = NMT_UNKNOWN;
    node->dcf = DcfState{};
}

void transferDone(CanOpenNode* node, uint8_t nodeId);

// Starts the transfer of the current entry in the current step.
uint8_t transferCurrent(CanOpenNode* node)
{
    DcfState& dcf = node->dcf;
    const uint8_t nodeId = dcf.nodeId;
    DcfBlob blob;
    DcfEntry entry;
    uint32_t next = 0;
    if (!findBlob(node, nodeId, &blob) || !entryAt(blob, dcf.cursor, &entry, &next)) {
        failNode(node, nodeId);
        return DCF_REFUSED;
    }
    const int started =
        dcf.step == DCF_VERIFYING
            ? sdoReadRemoteClaiming(node, nodeId, entry.index, entry.subIndex, CO_DOMAIN, transferDone, 0)
            : sdoWriteRemoteClaiming(node, nodeId, entry.index, entry.subIndex, entry.size, CO_DOMAIN,
                                     entry.value, transferDone, 0);
    if (started != 0) {
        failNode(node, nodeId);
        return DCF_REFUSED;
    }
    return 0;
}

// Starts the node, then the next booted node; this node becomes operational
// when no booted node is left.
void startAndSeekNext(CanOpenNode* node, uint8_t nodeId)
{
    node->dcf = DcfState{};
    startRemoteNode(node, nodeId);
    for (uint8_t id = 1; id < NMT_NODES; ++id) {
        if (id == node->nodeId || node->remoteState[id] != NMT_BOOT_UP_SEEN)
            continue;
        DcfBlob blob;
        if (!findBlob(node, id, &blob)) {
            startRemoteNode(node, id);
            continue;
        }
        // Its transfers carry the sequence on; a refused one has marked it.
        if (startNodeWithDcf(node, id) == 0)
            return;
    }
    setNodeState(node, NMT_OPERATIONAL);
}

// Moves to the next entry; the node starts when all are handled.
void nextEntry(CanOpenNode* node)
{
    DcfState& dcf = node->dcf;
    DcfBlob blob;
    DcfEntry entry;
    uint32_t next = 0;
    if (!findBlob(node, dcf.nodeId, &blob) || !entryAt(blob, dcf.cursor, &entry, &next)) {
        failNode(node, dcf.nodeId);
        return;
    }
    dcf.cursor = next;
    if (++dcf.done >= entryCount(blob)) {
        startAndSeekNext(node, dcf.nodeId);
        return;
    }
    transferCurrent(node);
}

// Reads the device's value of the current entry and compares it.
void verifyDone(CanOpenNode* node, uint8_t nodeId)
{
    DcfState& dcf = node->dcf;
    DcfBlob blob;
    DcfEntry entry;
    uint32_t next = 0;
    uint8_t local[DCF_LOCAL_BYTES];
    uint8_t* value = nullptr;
    if (findBlob(node, nodeId, &blob) && entryAt(blob, dcf.cursor, &entry, &next))
        value = entry.size <= sizeof local ? local : static_cast<uint8_t*>(std::malloc(entry.size));
    if (!value) {
        closeSdoTransfer(node, nodeId, SDO_CLIENT);
        failNode(node, nodeId);
        return;
    }
    uint32_t size = entry.size;
    uint32_t abortCode = 0;
    const uint8_t state = sdoReadResult(node, nodeId, value, &size, &abortCode);
    const bool equal = state == SDO_FINISHED && size == entry.size && std::memcmp(value, entry.value, size) == 0;
    if (value != local)
        std::free(value);
    if (state != SDO_FINISHED && state != SDO_BUFFER_TOO_SMALL) {
        closeSdoTransfer(node, nodeId, SDO_CLIENT);
        failNode(node, nodeId);
        return;
    }
    if (equal) {
        nextEntry(node);
        return;
    }
    // A longer value than the DCF's is a difference too; its line is still held.
    closeSdoTransfer(node, nodeId, SDO_CLIENT);
    dcf.step = DCF_WRITING;
    dcf.cursor = DCF_HEADER;
    dcf.done = 0;
    transferCurrent(node);
}

void transferDone(CanOpenNode* node, uint8_t nodeId)
{
    DcfState& dcf = node->dcf;
    if (dcf.step == DCF_IDLE || nodeId != dcf.nodeId) {
        // A store, or another transfer of this callback's.
        uint32_t abortCode = 0;
        if (sdoWriteResult(node, nodeId, &abortCode) != SDO_FINISHED) {
            closeSdoTransfer(node, nodeId, SDO_CLIENT);
            node->remoteState[nodeId & 0x7F] = NMT_UNKNOWN;
        }
        return;
    }
    if (dcf.step == DCF_VERIFYING) {
        verifyDone(node, nodeId);
        return;
    }
    uint32_t abortCode = 0;
    if (sdoWriteResult(node, nodeId, &abortCode) != SDO_FINISHED) {
        closeSdoTransfer(node, nodeId, SDO_CLIENT);
        failNode(node, nodeId);
        return;
    }
    nextEntry(node);
}
}

void startRemoteNode(CanOpenNode* node, uint8_t nodeId)
{
    sendNmtCommand(node, nodeId, NMT_START);
    node->remoteState[nodeId & 0x7F] = NMT_OPERATIONAL;
}

uint8_t startNodeWithDcf(CanOpenNode* node, uint8_t nodeId)
{
    if (nodeId == 0 || nodeId >= NMT_NODES)
        return DCF_REFUSED;
    DcfBlob blob;
    if (!findBlob(node, nodeId, &blob)) {
        startRemoteNode(node, nodeId);
        return 0;
    }
    if (node->dcf.step != DCF_IDLE)
        return DCF_REFUSED;
    if (!wholeBlob(blob)) {
        node->remoteState[nodeId] = NMT_UNKNOWN;
        return DCF_REFUSED;
    }
    DcfState& dcf = node->dcf;
    dcf.step = DCF_VERIFYING;
    dcf.nodeId = nodeId;
    dcf.cursor = DCF_HEADER;
    dcf.done = 0;
    if (entryCount(blob) == 0) {
        startAndSeekNext(node, nodeId);
        return 0;
    }
    return transferCurrent(node);
}

uint8_t storeRemoteConfiguration(CanOpenNode* node, uint8_t nodeId)
{
    const uint8_t signature[4] = {uint8_t(STORE_SIGNATURE), uint8_t(STORE_SIGNATURE >> 8),
                                  uint8_t(STORE_SIGNATURE >> 16), uint8_t(STORE_SIGNATURE >> 24)};
    const int started =
        sdoWriteRemoteClaiming(node, nodeId, 0x1010, 1, sizeof signature, CO_UNSIGNED32, signature, transferDone, 0);
    return started == 0 ? 0 : DCF_REFUSED;
}
