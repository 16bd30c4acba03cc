// The tool's node and a node of the stack on one test bus: the set-up the
// stack's frame-level tests and the dispatch fuzzer share.
#pragma once

#include "testbus.h"

#include "canopen/node.h"

#include <cstdint>
#include <memory>

// A new bus with the tool's node and other on it; false when a port did not
// open.
bool openToolBus(std::unique_ptr<TestBus>* bus, CanOpenNode* other);
// Takes the bus down and puts the tool's node back as at program start.
void closeToolBus(std::unique_ptr<TestBus>* bus);

// A fresh alarm table; the tool's node (id 1) as SDO client of server, which
// gets its dictionary, free lines and serverId; both just through
// initialisation. Caller holds the stack lock.
void startToolAndServer(CanOpenNode* server, const ObjectEntry* dictionary, uint16_t size, uint8_t serverId);
