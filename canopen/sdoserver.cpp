// Server role: serving the node's own dictionary to a client, for dictionaries
// that have an SDO server entry (the tool's own has none).
#include "canopen/sdointernal.h"

#include "canopen/od.h"

#include <cstring>

namespace {
void answer(CanOpenNode* node, uint8_t service, const uint8_t* d)
{
    sendSdoFrame(node, service, SDO_SERVER, d);
}

void initiateDownload(CanOpenNode* node, uint8_t service, SdoLine* busy, const uint8_t* d)
{
    const int number = takeServerLine(node, service, busy, d, SDO_DOWNLOAD_IN_PROGRESS);
    if (number < 0)
        return;
    SdoLine* line = &node->sdo[number];
    const bool sizeIndicated = d[0] & 1;
    uint8_t reply[8];
    sdoInitFrame(reply, 0x60, line->index, line->subIndex);
    if (d[0] & 2) {
        uint32_t size = 4 - (sizeIndicated ? (d[0] >> 2) & 3 : 0);
        const uint32_t code = writeObjectEntry(node, line->index, line->subIndex, d + 4, &size, true);
        if (code) {
            failSdoLine(node, line, code);
            return;
        }
        resetSdoLine(node, number);
        answer(node, service, reply);
        return;
    }
    line->count = sizeIndicated ? canGetU32(d + 4) : 0;
    if (line->count > SDO_MAX_RECEIVE) {
        failSdoLine(node, line, ABORT_OUT_OF_MEMORY);
        return;
    }
    line->step = 1;
    answer(node, service, reply);
}

// Writes a received value into the dictionary; the abort code or 0.
uint32_t storeReceivedValue(CanOpenNode* node, SdoLine* line)
{
    if (line->count && line->offset != line->count)
        return ABORT_LENGTH;
    uint32_t size = line->offset;
    return writeObjectEntry(node, line->index, line->subIndex, sdoLineData(line), &size, true);
}

void downloadSegment(CanOpenNode* node, uint8_t service, SdoLine* line, const uint8_t* d)
{
    if (!line || line->state != SDO_DOWNLOAD_IN_PROGRESS || line->step != 1) {
        failSdoTransfer(node, service, SDO_SERVER, line ? line->index : 0, line ? line->subIndex : 0,
                        ABORT_LOCAL_CONTROL);
        return;
    }
    const uint8_t toggle = (d[0] >> 4) & 1;
    if (toggle != line->toggle) {
        failSdoLine(node, line, ABORT_TOGGLE);
        return;
    }
    const uint32_t bytes = 7 - ((d[0] >> 1) & 7);
    if (line->count && line->offset + bytes > line->count) {
        failSdoLine(node, line, ABORT_LENGTH);
        return;
    }
    if (!storeSdoData(node, line, d + 1, bytes))
        return;
    uint8_t reply[8] = {};
    reply[0] = uint8_t(0x20 | toggle << 4);
    line->toggle ^= 1;
    if (d[0] & 1) {
        // The last segment is confirmed only once the value is in the
        // dictionary; a refused value gets the abort alone.
        const uint32_t code = storeReceivedValue(node, line);
        if (code) {
            failSdoLine(node, line, code);
            return;
        }
        resetSdoLine(node, lineNumber(node, line));
        answer(node, service, reply);
        return;
    }
    restartSdoTimeout(node, line);
    answer(node, service, reply);
}

void sendUploadSegment(CanOpenNode* node, uint8_t service, SdoLine* line)
{
    uint8_t d[8];
    const bool last = takeSdoSegment(line, d);
    line->toggle ^= 1;
    if (last)
        resetSdoLine(node, lineNumber(node, line));
    else
        restartSdoTimeout(node, line);
    answer(node, service, d);
}

void uploadSegmentRequest(CanOpenNode* node, uint8_t service, SdoLine* line, const uint8_t* d)
{
    if (!line || line->state != SDO_UPLOAD_IN_PROGRESS || line->step != 1) {
        failSdoTransfer(node, service, SDO_SERVER, line ? line->index : 0, line ? line->subIndex : 0,
                        ABORT_LOCAL_CONTROL);
        return;
    }
    if (((d[0] >> 4) & 1) != line->toggle) {
        failSdoLine(node, line, ABORT_TOGGLE);
        return;
    }
    sendUploadSegment(node, service, line);
}

void initiateUpload(CanOpenNode* node, uint8_t service, SdoLine* busy, const uint8_t* d)
{
    const int number = takeServerLine(node, service, busy, d, SDO_UPLOAD_IN_PROGRESS);
    if (number < 0)
        return;
    SdoLine* line = &node->sdo[number];
    uint32_t size = 0;
    const uint32_t code = readServedObject(node, line, &size);
    if (code) {
        failSdoLine(node, line, code);
        return;
    }
    uint8_t reply[8];
    if (size >= 1 && size <= 4) {
        sdoInitFrame(reply, uint8_t(0x43 | (4 - size) << 2), line->index, line->subIndex);
        std::memcpy(reply + 4, line->data, size);
        resetSdoLine(node, number);
        answer(node, service, reply);
        return;
    }
    sdoInitFrame(reply, 0x41, line->index, line->subIndex);
    canPutU32(reply + 4, size);
    line->count = size;
    line->step = 1;
    answer(node, service, reply);
}
}

int takeServerLine(CanOpenNode* node, uint8_t service, SdoLine* busy, const uint8_t* d, uint8_t state)
{
    if (busy) {
        failSdoTransfer(node, service, SDO_SERVER, sdoIndex(d), d[3], ABORT_LOCAL_CONTROL);
        return -1;
    }
    const int number = firstFreeSdoLine(node);
    if (number < 0) {
        sendSdoAbort(node, service, SDO_SERVER, sdoIndex(d), d[3], ABORT_LOCAL_CONTROL);
        return -1;
    }
    startSdoLine(node, number, service, sdoIndex(d), d[3], state);
    node->sdo[number].role = SDO_SERVER;
    return number;
}

uint32_t readServedObject(CanOpenNode* node, SdoLine* line, uint32_t* size)
{
    uint32_t n = SDO_INLINE_BYTES;
    uint8_t dataType = 0;
    uint32_t code = readObjectEntry(node, line->index, line->subIndex, line->data, &n, &dataType, true);
    if (code == ABORT_OUT_OF_MEMORY && n > SDO_INLINE_BYTES) {
        // Too big for the line itself: read again into a buffer of its size.
        if (n > SDO_SERVER_MAX_UPLOAD || !reserveSdoData(line, n))
            return ABORT_OUT_OF_MEMORY;
        code = readObjectEntry(node, line->index, line->subIndex, line->buffer, &n, &dataType, true);
    }
    if (code)
        return code;
    line->dataType = dataType;
    *size = n;
    return 0;
}

void handleSdoServerFrame(CanOpenNode* node, uint8_t service, SdoLine* line, const uint8_t* d)
{
    switch (d[0] >> 5) {
    case 0:
        downloadSegment(node, service, line, d);
        break;
    case 1:
        initiateDownload(node, service, line, d);
        break;
    case 2:
        initiateUpload(node, service, line, d);
        break;
    case 3:
        uploadSegmentRequest(node, service, line, d);
        break;
    case 5:
    case 6:
        handleBlockServerFrame(node, service, line, d);
        break;
    default:
        failSdoTransfer(node, service, SDO_SERVER, sdoIndex(d), d[3], ABORT_COMMAND);
        break;
    }
}
