// Error control: heartbeat producer and consumer, node guarding, and the
// handling of received 0x700 + id frames. No state change starts these
// services and the node's life-guard flag is never switched on, so in the
// running tool they stay idle; they serve dictionaries and callers that ask.
#pragma once

#include "canopen/node.h"

// Consumer alarms from 0x1016, producer alarm from 0x1017 (restarted when
// 0x1017 is written).
void startHeartbeat(CanOpenNode* node);
void stopHeartbeat(CanOpenNode* node);
// Guard alarm from 0x100C and 0x100D (restarted when either is written).
void startNodeGuarding(CanOpenNode* node);
void stopNodeGuarding(CanOpenNode* node);
// A received 0x700 + id frame: a guard request for the own id is answered,
// anything else is a remote node's heartbeat, boot-up or guard answer.
void handleNodeGuardFrame(CanOpenNode* node, const CanFrame* frame);
