// Port layer: binds the adapter driver, opens a port for a node and runs its
// receive thread, and holds the one stack mutex.
//
// Every call into the stack is made with lockCanOpen() held; the mutex is
// recursive and lives for the whole process. closeCanPort must be called
// without the mutex held (it joins the receive thread, which takes it).
#pragma once

#include "canopen/canframe.h"

struct CanOpenNode;
struct CanPort;

enum { CAN_PORT_SLOTS = 16 };

// Installs (or, with null, removes) the adapter driver. Returns 1.
int setCanAdapterDriver(const CanAdapterDriver* driver);
int unbindCanAdapterDriver(void);
const CanAdapterDriver* canAdapterDriver(void);

// Opens the board for the node, closing the node's previous port first.
// Null (after a "CanOpen : Cannot open board ..." line on stdout) on failure.
CanPort* openCanPort(const CanBoard* board, CanOpenNode* node);
// 1 when the driver's close went out, 0 when the node has no port.
uint8_t closeCanPort(CanOpenNode* node);
// The driver's send result; 1 without a port or a bound driver.
uint8_t sendCanFrame(CanPort* port, const CanFrame* frame);
// The driver's bit-rate result; 1 without a port.
uint8_t setCanBitRate(CanPort* port, const char* code);
// The node a port belongs to (null for a null port).
CanOpenNode* canPortNode(const CanPort* port);
// Frames the receive threads have handed to the stack so far (a wrapping
// count), so a test can wait until a frame on the line has been dealt with.
uint32_t canFramesDispatched(void);

void lockCanOpen(void);
void unlockCanOpen(void);

// Scoped holder of the stack mutex.
struct CanOpenLock {
    CanOpenLock() { lockCanOpen(); }
    ~CanOpenLock() { unlockCanOpen(); }
    CanOpenLock(const CanOpenLock&) = delete;
    CanOpenLock& operator=(const CanOpenLock&) = delete;
};

// Hands one received frame to the stack; called by the receive thread with the
// stack mutex held.
void dispatchCanFrame(CanOpenNode* node, const CanFrame* frame);
