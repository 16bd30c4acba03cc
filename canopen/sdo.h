// SDO engine: 32 transfer lines per node, uploads and downloads as a client
// (expedited, segmented, block), the server role for dictionaries that have a
// server entry, the 3000 ms time-out, aborts and the result queries.
//
// Everything runs with the stack mutex held. Completion callbacks run on the
// receive thread (answer or peer abort) or on the timer thread (time-out) and
// may call any SDO operation.
#pragma once

#include "canopen/node.h"

#include <cstddef>
#include <cstdint>

enum {
    SDO_TIMEOUT_MS = 3000,
    SDO_MAX_RECEIVE = 102400,       // largest value the engine takes in
    SDO_SERVER_MAX_UPLOAD = 0x20000, // largest object the server role reads
    SDO_BUFFER_STEP = 0x20000,
    SDO_CLIENT_BLOCK_SIZE = 16,     // asked for in block uploads
    SDO_SERVER_BLOCK_SIZE = 127     // offered in block downloads
};
// Refusals of a start: no client entry in the dictionary, no entry for the id.
enum : uint8_t { SDO_NO_CLIENT_ENTRY = 0xFF, SDO_NO_CLIENT_FOR_NODE = 0xFE };
enum { SDO_REFUSED = -1, SDO_NO_BUFFER = -2 };

// Position of the client entry serving nodeId (its sub 3), counted from the
// first client entry; SDO_NO_CLIENT_ENTRY or SDO_NO_CLIENT_FOR_NODE.
uint8_t findSdoClientForNode(CanOpenNode* node, uint8_t nodeId);
// Points a client entry whose sub 3 is 0 at nodeId (0x600/0x580 + id) when no
// entry serves it yet; the entry's position, or the refusal above.
uint8_t claimSdoClient(CanOpenNode* node, uint8_t nodeId);

// Starts a download of count bytes (copied) to nodeId. callback may be null.
// 0 started; 0xFE/0xFF no client entry; SDO_REFUSED when a transfer with the
// node is active, no line is free, the node may not send or the first frame
// was not taken; SDO_NO_BUFFER when no buffer could be had (nothing is kept).
int sdoWriteRemote(CanOpenNode* node, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint32_t count,
                   uint8_t dataType, const void* data, SdoCallback callback, uint8_t block);
int sdoWriteRemoteClaiming(CanOpenNode* node, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint32_t count,
                           uint8_t dataType, const void* data, SdoCallback callback, uint8_t block);
// Starts an upload from nodeId; results as for the download.
int sdoReadRemote(CanOpenNode* node, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                  SdoCallback callback, uint8_t block);
int sdoReadRemoteClaiming(CanOpenNode* node, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                          SdoCallback callback, uint8_t block);

// SDO_FINISHED: *size bytes copied to data, line freed. SDO_ABORTED_BY_PEER:
// *abortCode set, *size 0. 2 to 5: in progress. SDO_BUFFER_TOO_SMALL: *size
// (the room on entry) is below the value, *size 0, line kept. SDO_ENDED_LOCALLY:
// no active client line for nodeId, *size 0, *abortCode 0.
uint8_t sdoReadResult(CanOpenNode* node, uint8_t nodeId, void* data, uint32_t* size, uint32_t* abortCode);
// The line's state with its abort code; a finished line is freed;
// SDO_ENDED_LOCALLY when no active client line exists.
uint8_t sdoWriteResult(CanOpenNode* node, uint8_t nodeId, uint32_t* abortCode);
// Frees the line of that node and role in any state but free: 0; 0xFF when
// there is none; SDO_ENDED_LOCALLY when no entry serves the node.
uint8_t closeSdoTransfer(CanOpenNode* node, uint8_t nodeId, uint8_t role);
// Frees only an active client line.
uint8_t closeActiveSdoTransfer(CanOpenNode* node, uint8_t nodeId);

// One received frame whose identifier lies in 0x580 to 0x67F.
void handleSdoFrame(CanOpenNode* node, const CanFrame* frame);
// Frees all 32 lines (SDO service switched off); no callback runs.
void resetSdoLines(CanOpenNode* node);
// Ends the line of that service and role locally with code and tells the peer.
void failSdoTransfer(CanOpenNode* node, uint8_t service, uint8_t role, uint16_t index, uint8_t subIndex,
                     uint32_t code);

// CRC of block transfers (CCITT polynomial x^16 + x^12 + x^5 + 1, start 0).
uint16_t sdoBlockCrc(const uint8_t* data, uint32_t size, uint16_t crc = 0);

// Buffer allocation of the engine; tests replace it to prove the failure
// paths. Buffers are released with free().
extern void* (*sdoAllocate)(size_t size);
