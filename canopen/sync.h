// SYNC producer and consumer. The producer runs when bit 30 of 0x1005 is set
// and 0x1006 (µs) gives at least one whole millisecond; writing either object
// restarts it. Each SYNC, sent or received on 0x080, runs the post-SYNC hook,
// the transmit PDOs (while PDOs are on) and the post-TPDO hook.
// Callers hold the stack mutex.
#pragma once

#include "canopen/node.h"
#include "canopen/services.h" // processSyncFrame

#include <cstdint>

void startSync(CanOpenNode* node);
// Cancels the producer and stops watching 0x1005 and 0x1006.
void stopSync(CanOpenNode* node);
// One SYNC frame on the COB-ID of 0x1005, length 0. 0 sent, 1 not.
uint8_t sendSync(CanOpenNode* node);
// What follows a SYNC on this node.
void processSync(CanOpenNode* node);
