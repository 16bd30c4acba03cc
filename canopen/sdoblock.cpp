// Block transfers: sub-blocks of up to 127 segments, each acknowledged by the
// receiver, in both directions and both roles. The client never asks for a
// CRC; the server role offers one and checks or sends it when the client asks.
#include "canopen/sdointernal.h"

#include "canopen/od.h"

#include <algorithm>
#include <cstring>

uint16_t sdoBlockCrc(const uint8_t* data, uint32_t size, uint16_t crc)
{
    for (uint32_t i = 0; i < size; ++i) {
        crc = uint16_t(crc ^ data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = uint16_t(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return crc;
}

namespace {
bool validBlockSize(uint8_t size)
{
    return size >= 1 && size <= 127;
}

// Segments still to send from the start of the current sub-block; a value of
// 0 bytes still takes one (empty) last segment.
uint32_t segmentsLeft(const SdoLine* line)
{
    const uint32_t bytes = line->count > line->blockStart ? line->count - line->blockStart : 0;
    return std::max<uint32_t>(1, (bytes + 6) / 7);
}

uint8_t bytesWithoutData(const SdoLine* line)
{
    return line->count ? uint8_t(7 - ((line->count - 1) % 7 + 1)) : 7;
}

void sendSubBlock(CanOpenNode* node, SdoLine* line)
{
    line->blockStart = line->offset;
    const uint32_t left = segmentsLeft(line);
    const uint32_t segments = std::min<uint32_t>(line->blockSize, left);
    uint32_t pos = line->blockStart;
    line->seq = 0;
    for (uint32_t s = 1; s <= segments; ++s) {
        const uint32_t take = std::min<uint32_t>(7, line->count - pos);
        uint8_t d[8] = {};
        d[0] = uint8_t(s | (s == left ? 0x80 : 0));
        std::memcpy(d + 1, sdoLineData(line) + pos, take);
        pos += take;
        line->seq = uint8_t(s);
        sendSdoFrame(node, line->service, line->role, d);
    }
    line->step = 1;
}

void sendBlockEnd(CanOpenNode* node, SdoLine* line)
{
    uint8_t d[8] = {};
    d[0] = uint8_t(0xC1 | bytesWithoutData(line) << 2);
    if (line->role == SDO_SERVER && line->peerCrc) {
        const uint16_t crc = sdoBlockCrc(sdoLineData(line), line->count);
        d[1] = uint8_t(crc);
        d[2] = uint8_t(crc >> 8);
    }
    line->step = 2;
    sendSdoFrame(node, line->service, line->role, d);
}

// The receiver confirmed ackSeq segments of the last sub-block: go on from
// there, or end when the value's last segment is confirmed.
void blockAcknowledged(CanOpenNode* node, SdoLine* line, uint8_t ackSeq, uint8_t nextSize)
{
    if (ackSeq > line->seq) {
        failSdoLine(node, line, ABORT_LOCAL_CONTROL);
        return;
    }
    if (ackSeq == line->seq && line->seq == segmentsLeft(line)) {
        line->offset = line->count;
        restartSdoTimeout(node, line);
        sendBlockEnd(node, line);
        return;
    }
    const uint64_t offset = line->blockStart + uint64_t(ackSeq) * 7;
    if (offset > line->count) {
        failSdoLine(node, line, ABORT_LOCAL_CONTROL);
        return;
    }
    if (!validBlockSize(nextSize)) {
        failSdoLine(node, line, ABORT_BLOCK_SIZE);
        return;
    }
    line->offset = uint32_t(offset);
    line->blockSize = nextSize;
    // A receiver that keeps acknowledging nothing is ended by the time-out.
    if (ackSeq)
        restartSdoTimeout(node, line);
    sendSubBlock(node, line);
}

// The end frame of the sender: the bytes of the kept last segment, the size
// check; 0 or the abort code.
uint32_t takeBlockEnd(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    if ((d[0] & 0xE3) != 0xC1)
        return ABORT_COMMAND;
    const uint32_t n = (d[0] >> 2) & 7;
    if (!storeSdoData(node, line, line->lastSegment, 7 - n))
        return 0xFFFFFFFFu; // already ended
    if (line->count && line->offset != line->count)
        return ABORT_LOCAL_CONTROL;
    return 0;
}

void sendShortAnswer(CanOpenNode* node, SdoLine* line, uint8_t byte0)
{
    uint8_t d[8] = {};
    d[0] = byte0;
    sendSdoFrame(node, line->service, line->role, d);
}

void clientBlockDownload(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    if (line->step == 0) {
        if ((d[0] & 0xE3) != 0xA0 || !sdoNamesLine(*line, d))
            return; // a leftover of an abandoned transfer
        if (!validBlockSize(d[4])) {
            failSdoLine(node, line, ABORT_BLOCK_SIZE);
            return;
        }
        line->peerCrc = (d[0] >> 2) & 1;
        line->blockSize = d[4];
        restartSdoTimeout(node, line);
        sendSubBlock(node, line);
    } else if (line->step == 1 && (d[0] & 0xE3) == 0xA2) {
        blockAcknowledged(node, line, d[1], d[2]);
    } else if (line->step == 2 && (d[0] & 0xE3) == 0xA1) {
        finishSdoLine(node, line);
    } else {
        failSdoLine(node, line, ABORT_COMMAND);
    }
}

void clientBlockUpload(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    if (line->step == 0) {
        if ((d[0] & 0xE1) != 0xC0 || !sdoNamesLine(*line, d))
            return; // a leftover of an abandoned transfer
        line->peerCrc = (d[0] >> 2) & 1;
        line->count = (d[0] & 2) ? canGetU32(d + 4) : 0;
        if (line->count > SDO_MAX_RECEIVE) {
            failSdoLine(node, line, ABORT_OUT_OF_MEMORY);
            return;
        }
        restartSdoTimeout(node, line);
        line->step = 1;
        line->lastSeq = 0;
        sendShortAnswer(node, line, 0xA3);
        return;
    }
    if (line->step == 2) {
        const uint32_t code = takeBlockEnd(node, line, d);
        if (code == 0xFFFFFFFFu)
            return;
        if (code) {
            failSdoLine(node, line, code);
            return;
        }
        // This client never asks for a CRC, so a server's CRC is not checked.
        sendShortAnswer(node, line, 0xA1);
        finishSdoLine(node, line);
        return;
    }
    failSdoLine(node, line, ABORT_COMMAND);
}

void serverBlockUploadInitiate(CanOpenNode* node, uint8_t service, SdoLine* busy, const uint8_t* d)
{
    const int number = takeServerLine(node, service, busy, d, SDO_BLOCK_UPLOAD_IN_PROGRESS);
    if (number < 0)
        return;
    SdoLine* line = &node->sdo[number];
    if (!validBlockSize(d[4])) {
        failSdoLine(node, line, ABORT_BLOCK_SIZE);
        return;
    }
    line->peerCrc = (d[0] >> 2) & 1;
    line->blockSize = d[4];
    uint32_t size = 0;
    const uint32_t code = readServedObject(node, line, &size);
    if (code) {
        failSdoLine(node, line, code);
        return;
    }
    line->count = size;
    uint8_t reply[8];
    sdoInitFrame(reply, 0xC6, line->index, line->subIndex); // CRC offered, size indicated
    canPutU32(reply + 4, size);
    sendSdoFrame(node, service, SDO_SERVER, reply);
}

void serverBlockDownloadInitiate(CanOpenNode* node, uint8_t service, SdoLine* busy, const uint8_t* d)
{
    const int number = takeServerLine(node, service, busy, d, SDO_BLOCK_DOWNLOAD_IN_PROGRESS);
    if (number < 0)
        return;
    SdoLine* line = &node->sdo[number];
    const uint32_t count = (d[0] & 2) ? canGetU32(d + 4) : 0;
    if (count > SDO_MAX_RECEIVE) {
        failSdoLine(node, line, ABORT_OUT_OF_MEMORY);
        return;
    }
    line->peerCrc = (d[0] >> 2) & 1;
    line->count = count;
    line->blockSize = SDO_SERVER_BLOCK_SIZE;
    line->lastSeq = 0;
    line->step = 1;
    uint8_t reply[8];
    sdoInitFrame(reply, 0xA4, line->index, line->subIndex); // CRC offered
    reply[4] = SDO_SERVER_BLOCK_SIZE;
    sendSdoFrame(node, service, SDO_SERVER, reply);
}

void serverBlockDownloadEnd(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    uint32_t code = takeBlockEnd(node, line, d);
    if (code == 0xFFFFFFFFu)
        return;
    if (!code && line->peerCrc) {
        const uint16_t crc = uint16_t(d[1] | d[2] << 8);
        if (crc != sdoBlockCrc(sdoLineData(line), line->offset))
            code = ABORT_CRC;
    }
    if (!code) {
        uint32_t size = line->offset;
        code = writeObjectEntry(node, line->index, line->subIndex, sdoLineData(line), &size, true);
    }
    if (code) {
        failSdoLine(node, line, code);
        return;
    }
    uint8_t reply[8] = {};
    reply[0] = 0xA1;
    const uint8_t service = line->service;
    resetSdoLine(node, lineNumber(node, line));
    sendSdoFrame(node, service, SDO_SERVER, reply);
}
}

bool inBlockSegmentPhase(const SdoLine* line)
{
    const uint8_t receiving = line->role == SDO_CLIENT ? SDO_BLOCK_UPLOAD_IN_PROGRESS : SDO_BLOCK_DOWNLOAD_IN_PROGRESS;
    return line->state == receiving && line->step == 1;
}

void receiveBlockSegment(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    const uint8_t seq = d[0] & 0x7F;
    const bool last = d[0] & 0x80;
    bool lastInOrder = false;
    if (seq == line->lastSeq + 1 && seq <= line->blockSize) {
        // Only progress keeps the transfer alive.
        restartSdoTimeout(node, line);
        line->emptyAck = 0;
        line->lastSeq = seq;
        if (last) {
            // Kept until the end frame says how many of its bytes are data.
            std::memcpy(line->lastSegment, d + 1, 7);
            lastInOrder = true;
        } else if (!storeSdoData(node, line, d + 1, 7)) {
            return;
        }
    }
    // Segments out of sequence are dropped; the acknowledgement makes the
    // sender repeat them.
    if (seq < line->blockSize && !last)
        return;
    // Acknowledging nothing twice in a row would answer a peer that is itself
    // acknowledging (a frame 0xA2 reads as a last segment) for ever; the
    // second time the time-out decides instead.
    if (line->lastSeq == 0) {
        if (line->emptyAck)
            return;
        line->emptyAck = 1;
    }
    uint8_t ack[8] = {};
    ack[0] = 0xA2;
    ack[1] = line->lastSeq;
    ack[2] = line->blockSize;
    line->lastSeq = 0;
    if (lastInOrder)
        line->step = 2;
    sendSdoFrame(node, line->service, line->role, ack);
}

void handleBlockClientFrame(CanOpenNode* node, SdoLine* line, const uint8_t* d)
{
    if (line->state == SDO_BLOCK_DOWNLOAD_IN_PROGRESS)
        clientBlockDownload(node, line, d);
    else
        clientBlockUpload(node, line, d);
}

void handleBlockServerFrame(CanOpenNode* node, uint8_t service, SdoLine* line, const uint8_t* d)
{
    const uint8_t command = d[0] >> 5;
    if (command == 6 && (d[0] & 1) == 0) {
        serverBlockDownloadInitiate(node, service, line, d);
        return;
    }
    if (command == 5 && (d[0] & 3) == 0) {
        serverBlockUploadInitiate(node, service, line, d);
        return;
    }
    if (line && line->state == SDO_BLOCK_DOWNLOAD_IN_PROGRESS && line->step == 2 && command == 6) {
        serverBlockDownloadEnd(node, line, d);
        return;
    }
    if (line && line->state == SDO_BLOCK_UPLOAD_IN_PROGRESS && command == 5) {
        if (line->step == 0 && d[0] == 0xA3) {
            restartSdoTimeout(node, line);
            sendSubBlock(node, line);
            return;
        }
        if (line->step == 1 && (d[0] & 0xE3) == 0xA2) {
            blockAcknowledged(node, line, d[1], d[2]);
            return;
        }
        if (line->step == 2 && (d[0] & 0xE3) == 0xA1) {
            resetSdoLine(node, lineNumber(node, line));
            return;
        }
    }
    failSdoTransfer(node, service, SDO_SERVER, line ? line->index : sdoIndex(d), line ? line->subIndex : d[3],
                    ABORT_COMMAND);
}
