// Concise-DCF start-up of remote nodes: before a booted node is started, the
// values stored for it in 0x1F22 (sub-index = node id) are read back from it
// by SDO; when one differs, every value is written; then the node is started
// and the next booted node follows. When none is left this node becomes
// operational. A failed transfer or a blob that runs past its end marks the
// remote node unknown (0x0F) in the NMT table.
//
// Blob: u32 number of entries, then per entry index u16, sub-index u8,
// size u32 (all little-endian) and size bytes of value.
// Callers hold the stack mutex.
#pragma once

#include "canopen/node.h"

#include <cstdint>

enum : uint8_t { DCF_IDLE = 0, DCF_VERIFYING = 1, DCF_WRITING = 2 };
enum : uint8_t { DCF_REFUSED = 0xFF };
enum : uint32_t { STORE_SIGNATURE = 0x65766173 }; // "save"

// Starts nodeId with its DCF, or at once (NMT start, table state 5) when it
// has none. 0 when the node was started or its DCF is being handled;
// DCF_REFUSED for an id outside 1 to 127, while another DCF is being handled,
// for a blob that runs past its end or when the first transfer cannot start
// (the last two mark the node 0x0F).
uint8_t startNodeWithDcf(CanOpenNode* node, uint8_t nodeId);
// NMT start for nodeId and its table state 5.
void startRemoteNode(CanOpenNode* node, uint8_t nodeId);
// Writes the store signature to 0x1010 sub 1 of nodeId; a failed write marks
// the node 0x0F. 0 started, DCF_REFUSED when the transfer cannot start.
uint8_t storeRemoteConfiguration(CanOpenNode* node, uint8_t nodeId);
