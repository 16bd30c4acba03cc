// Client role: starting uploads and downloads and following the device's
// answers through expedited and segmented transfers.
#include "canopen/sdointernal.h"

#include "canopen/od.h"
#include "canopen/timer.h"

#include <cstdlib>
#include <cstring>

namespace {
// Refusals shared by both starts; the free line's number or a refusal code.
int takeClientLine(CanOpenNode* node, uint8_t nodeId, uint8_t* service)
{
    *service = findSdoClientForNode(node, nodeId);
    if (*service >= SDO_NO_CLIENT_FOR_NODE)
        return *service;
    if (findSdoLine(node, *service, SDO_CLIENT))
        return SDO_REFUSED;
    return firstFreeSdoLine(node);
}

void sendDownloadSegment(CanOpenNode* node, SdoLine* line)
{
    uint8_t d[8];
    takeSdoSegment(line, d);
    sendSdoFrame(node, line->service, SDO_CLIENT, d);
}

void sendUploadSegmentRequest(CanOpenNode* node, SdoLine* line)
{
    uint8_t d[8] = {};
    d[0] = uint8_t(0x60 | line->toggle << 4);
    sendSdoFrame(node, line->service, SDO_CLIENT, d);
}

void handleDownloadAnswer(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    const uint8_t command = d[0] >> 5;
    if (line->step == 0) {
        // Only an initiate answer naming this object belongs to this
        // transfer; anything else is a leftover of an abandoned one.
        if (command != 3 || !sdoNamesLine(*line, d))
            return;
        if (line->offset >= line->count) {
            finishSdoLine(node, line);
            return;
        }
        restartSdoTimeout(node, line);
        line->step = 1;
        sendDownloadSegment(node, line);
        return;
    }
    if (line->step == 1 && command == 1) {
        const uint8_t toggle = (d[0] >> 4) & 1;
        if (toggle != line->toggle) {
            failSdoLine(node, line, ABORT_TOGGLE);
            return;
        }
        if (line->offset >= line->count) {
            finishSdoLine(node, line);
            return;
        }
        restartSdoTimeout(node, line);
        line->toggle = toggle ^ 1;
        sendDownloadSegment(node, line);
        return;
    }
    failSdoLine(node, line, ABORT_COMMAND);
}

void handleUploadAnswer(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    const uint8_t command = d[0] >> 5;
    if (line->step == 0) {
        if (command != 2 || !sdoNamesLine(*line, d))
            return; // a leftover of an abandoned transfer
        const bool sizeIndicated = d[0] & 1;
        if (d[0] & 2) {
            const uint32_t n = sizeIndicated ? (d[0] >> 2) & 3 : 0;
            line->count = 4 - n;
            if (storeSdoData(node, line, d + 4, line->count))
                finishSdoLine(node, line);
            return;
        }
        line->count = sizeIndicated ? canGetU32(d + 4) : 0;
        if (line->count > SDO_MAX_RECEIVE) {
            failSdoLine(node, line, ABORT_OUT_OF_MEMORY);
            return;
        }
        restartSdoTimeout(node, line);
        line->step = 1;
        sendUploadSegmentRequest(node, line);
        return;
    }
    if (line->step == 1 && command == 0) {
        const uint8_t toggle = (d[0] >> 4) & 1;
        if (toggle != line->toggle) {
            failSdoLine(node, line, ABORT_TOGGLE);
            return;
        }
        const uint32_t bytes = 7 - ((d[0] >> 1) & 7);
        const bool last = d[0] & 1;
        // Bytes beyond the announced size, or missing at the end, are no value.
        if (line->count && line->offset + bytes > line->count) {
            failSdoLine(node, line, ABORT_LENGTH);
            return;
        }
        if (!storeSdoData(node, line, d + 1, bytes))
            return;
        line->toggle ^= 1;
        if (last) {
            if (line->count && line->offset != line->count)
                failSdoLine(node, line, ABORT_LENGTH);
            else
                finishSdoLine(node, line);
            return;
        }
        restartSdoTimeout(node, line);
        sendUploadSegmentRequest(node, line);
        return;
    }
    failSdoLine(node, line, ABORT_COMMAND);
}
}

int sdoWriteRemote(CanOpenNode* node, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint32_t count,
                   uint8_t dataType, const void* data, SdoCallback callback, uint8_t block)
{
    uint8_t service = 0;
    const int number = takeClientLine(node, nodeId, &service);
    if (number >= SDO_NO_CLIENT_FOR_NODE)
        return number;
    if (number < 0 || (count && !data))
        return SDO_REFUSED;
    // The buffer comes first: a failed allocation must not leave the line taken.
    uint8_t* buffer = nullptr;
    if (count > SDO_INLINE_BYTES) {
        buffer = static_cast<uint8_t*>(sdoAllocate(count));
        if (!buffer)
            return SDO_NO_BUFFER;
    }
    startSdoLine(node, number, service, index, subIndex,
                 block ? SDO_BLOCK_DOWNLOAD_IN_PROGRESS : SDO_DOWNLOAD_IN_PROGRESS);
    SdoLine* line = &node->sdo[number];
    line->role = SDO_CLIENT;
    line->count = count;
    line->dataType = dataType;
    line->buffer = buffer;
    line->bufferSize = buffer ? count : 0;
    if (count)
        std::memcpy(sdoLineData(line), data, count);

    uint8_t d[8];
    if (block) {
        sdoInitFrame(d, 0xC2, index, subIndex);
        canPutU32(d + 4, count);
    } else if (count >= 1 && count <= 4) {
        sdoInitFrame(d, uint8_t(0x23 | (4 - count) << 2), index, subIndex);
        std::memcpy(d + 4, data, count);
        line->offset = count;
    } else {
        sdoInitFrame(d, 0x21, index, subIndex);
        canPutU32(d + 4, count);
    }
    line->callback = callback;
    if (sendSdoFrame(node, service, SDO_CLIENT, d) != 0) {
        resetSdoLine(node, number);
        return SDO_REFUSED;
    }
    return 0;
}

int sdoReadRemote(CanOpenNode* node, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                  SdoCallback callback, uint8_t block)
{
    uint8_t service = 0;
    const int number = takeClientLine(node, nodeId, &service);
    if (number >= SDO_NO_CLIENT_FOR_NODE)
        return number;
    if (number < 0)
        return SDO_REFUSED;
    startSdoLine(node, number, service, index, subIndex,
                 block ? SDO_BLOCK_UPLOAD_IN_PROGRESS : SDO_UPLOAD_IN_PROGRESS);
    SdoLine* line = &node->sdo[number];
    line->role = SDO_CLIENT;
    line->dataType = dataType;
    uint8_t d[8];
    if (block) {
        sdoInitFrame(d, 0xA0, index, subIndex);
        d[4] = SDO_CLIENT_BLOCK_SIZE;
        line->blockSize = SDO_CLIENT_BLOCK_SIZE;
    } else {
        sdoInitFrame(d, 0x40, index, subIndex);
    }
    line->callback = callback;
    if (sendSdoFrame(node, service, SDO_CLIENT, d) != 0) {
        resetSdoLine(node, number);
        return SDO_REFUSED;
    }
    return 0;
}

int sdoWriteRemoteClaiming(CanOpenNode* node, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint32_t count,
                           uint8_t dataType, const void* data, SdoCallback callback, uint8_t block)
{
    claimSdoClient(node, nodeId);
    return sdoWriteRemote(node, nodeId, index, subIndex, count, dataType, data, callback, block);
}

int sdoReadRemoteClaiming(CanOpenNode* node, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                          SdoCallback callback, uint8_t block)
{
    claimSdoClient(node, nodeId);
    return sdoReadRemote(node, nodeId, index, subIndex, dataType, callback, block);
}

void handleSdoClientFrame(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    switch (line->state) {
    case SDO_DOWNLOAD_IN_PROGRESS:
        handleDownloadAnswer(node, line, d);
        break;
    case SDO_UPLOAD_IN_PROGRESS:
        handleUploadAnswer(node, line, d);
        break;
    case SDO_BLOCK_DOWNLOAD_IN_PROGRESS:
    case SDO_BLOCK_UPLOAD_IN_PROGRESS:
        handleBlockClientFrame(node, line, d);
        break;
    default:
        break; // a finished or aborted result waits for its requester
    }
}
