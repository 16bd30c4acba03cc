// Node states and the NMT master side: the state table that switches the
// communication services, NMT commands, node-guard requests, the boot-up
// frame, the table of remote node states, and the slave handling of NMT
// commands for dictionaries whose node is a slave.
#pragma once

#include "canopen/node.h"

#include <cstdint>

// NMT command specifiers.
enum : uint8_t {
    NMT_START = 0x01,
    NMT_STOP = 0x02,
    NMT_ENTER_PRE_OPERATIONAL = 0x80,
    NMT_RESET_NODE = 0x81,
    NMT_RESET_COMMUNICATION = 0x82
};

// The services wanted in a state (initialisation, pre-operational,
// operational, stopped); all zero for any other value.
CommFlags commFlagsForState(uint32_t state);

// Changes the node's state; the state now held, or NMT_REFUSED for an unknown
// state or for operational/stopped asked from initialisation. Initialisation
// sends the boot-up frame and goes on to pre-operational at once.
uint32_t setNodeState(CanOpenNode* node, uint32_t state);
// Starts and stops services whose flag changes. SYNC and life guard are never
// switched: the node neither produces SYNC nor watches heartbeats.
void switchCommunicationState(CanOpenNode* node, const CommFlags* wanted);

// Frame 0x000, length 2: command, node id (0 = all). The port's send result.
uint8_t sendNmtCommand(CanOpenNode* node, uint8_t nodeId, uint8_t command);
// Remote frame 0x700 + id, length 0.
uint8_t sendNodeGuardRequest(CanOpenNode* node, uint8_t nodeId);
// Marks the node (all 128 for id 0) unknown, then sends the guard request.
uint8_t requestNodeState(CanOpenNode* node, uint8_t nodeId);
// Frame 0x700 + own id, length 1, byte 0; nothing while the id is unset (255).
uint8_t sendBootUp(CanOpenNode* node);
// The NMT table entry; NMT_UNKNOWN for an id with bit 7 set.
uint32_t getRemoteNodeState(CanOpenNode* node, uint8_t nodeId);
// Slave side of an NMT command (only when the node's slave flag is set).
void handleNmtCommand(CanOpenNode* node, const CanFrame* frame);
