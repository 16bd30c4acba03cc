// Helpers shared by the SDO sources (client, server, block); not for use
// outside the engine.
#pragma once

#include "canopen/sdo.h"

#include <cstdint>

inline uint16_t sdoIndex(const uint8_t* d) { return uint16_t(d[1] | d[2] << 8); }
inline bool sdoNamesLine(const SdoLine& line, const uint8_t* d)
{
    return sdoIndex(d) == line.index && d[3] == line.subIndex;
}
inline bool sdoInProgress(uint8_t state) { return state >= 2 && state <= 5; }

// Frame of 8 bytes with byte 0 and the line's index and sub-index.
void sdoInitFrame(uint8_t* d, uint8_t byte0, uint16_t index, uint8_t subIndex);

int lineNumber(CanOpenNode* node, const SdoLine* line);
SdoLine* findSdoLine(CanOpenNode* node, uint8_t service, uint8_t role);
int firstFreeSdoLine(CanOpenNode* node);
// Line start: takes the line in state (2 to 5 arm the time-out).
void startSdoLine(CanOpenNode* node, int number, uint8_t service, uint16_t index, uint8_t subIndex, uint8_t state);
void resetSdoLine(CanOpenNode* node, int number);
void restartSdoTimeout(CanOpenNode* node, SdoLine* line);
// Cancels the time-out, state finished, completion callback.
void finishSdoLine(CanOpenNode* node, SdoLine* line);
// Ends the line locally (as failSdoTransfer) for its own index and sub-index.
void failSdoLine(CanOpenNode* node, SdoLine* line, uint32_t code);

// Sends 8 bytes on the entry's COB-ID (client: sub 1, server: sub 2); only in
// operational and pre-operational. 0 when the port took it.
uint8_t sendSdoFrame(CanOpenNode* node, uint8_t service, uint8_t role, const uint8_t* d);
void sendSdoAbort(CanOpenNode* node, uint8_t service, uint8_t role, uint16_t index, uint8_t subIndex, uint32_t code);
// Device node id of a client entry (its sub 3).
uint8_t sdoPeerNodeId(CanOpenNode* node, uint8_t service);

// The value bytes of a line (its buffer or its inline data).
uint8_t* sdoLineData(SdoLine* line);
// Fills a segment (up to 7 bytes from the offset, the line's toggle, n and c)
// and advances the offset; true for the value's last segment.
bool takeSdoSegment(SdoLine* line, uint8_t* d);
// Appends received bytes, growing the buffer; past SDO_MAX_RECEIVE or on a
// failed allocation the line is ended locally and false returned.
bool storeSdoData(CanOpenNode* node, SdoLine* line, const uint8_t* bytes, uint32_t n);
// Gives the line room for size bytes of a value it sends; false when no
// buffer could be had.
bool reserveSdoData(SdoLine* line, uint32_t size);

// Takes a free server line for a new initiate in state; a busy service
// (busy: its active line) or a full table is refused with an abort. The
// line's number, -1 when refused.
int takeServerLine(CanOpenNode* node, uint8_t service, SdoLine* busy, const uint8_t* d, uint8_t state);
// Reads the object a server line names (into its buffer when over 32 bytes);
// 0 or the abort code, *size the bytes read.
uint32_t readServedObject(CanOpenNode* node, SdoLine* line, uint32_t* size);

void handleSdoClientFrame(CanOpenNode* node, SdoLine* line, const uint8_t* d);
void handleSdoServerFrame(CanOpenNode* node, uint8_t service, SdoLine* line, const uint8_t* d);

// Block transfers.
void handleBlockClientFrame(CanOpenNode* node, SdoLine* line, const uint8_t* d);
void handleBlockServerFrame(CanOpenNode* node, uint8_t service, SdoLine* line, const uint8_t* d);
bool inBlockSegmentPhase(const SdoLine* line);
void receiveBlockSegment(CanOpenNode* node, SdoLine* line, const uint8_t* d);
