// Process data objects: transmit PDOs built bit by bit from the mapped
// objects and sent by transmission type (cyclic and acyclic on SYNC, on remote
// request, on events with inhibit and event timers), and receive PDOs written
// into the mapped objects.
//
// PDOs are numbered from 0: transmit PDO n uses the n-th 0x1800 and 0x1A00
// entries of the dictionary, receive PDO n the n-th 0x1400 and 0x1600 ones.
// Results are 0 or PDO_REFUSED. Callers hold the stack mutex.
#pragma once

#include "canopen/node.h"
#include "canopen/services.h" // handlePdoFrame, startPdo, stopPdo

#include <cstdint>

enum : uint8_t { PDO_REFUSED = 0xFF };
// Transmission types with a meaning of their own (1 to 240: every n-th SYNC).
enum : uint8_t {
    PDO_SYNC_ACYCLIC = 0,
    PDO_SYNC_MAX = 240,
    PDO_RTR_SYNC = 252,
    PDO_RTR_EVENT = 253,
    PDO_EVENT_MANUFACTURER = 254,
    PDO_EVENT_PROFILE = 255
};
enum { PDO_MAX_BITS = 64 };

// Copies n bits from bit srcBit of src to bit dstBit of dst, least
// significant bit first; the other bits of dst are kept.
void copyBits(const uint8_t* src, uint32_t srcBit, uint8_t* dst, uint32_t dstBit, uint32_t n);

uint16_t transmitPdoCount(const CanOpenNode* node);
uint16_t receivePdoCount(const CanOpenNode* node);

// Builds transmit PDO n from its mapping, cut before the entry that would pass
// 64 bits. 0, or the dictionary's abort code (no frame).
uint32_t buildTransmitPdo(CanOpenNode* node, uint16_t pdo, CanFrame* frame);

// Event path of transmit PDO n: nothing while its inhibit time runs or while
// the frame equals the last one sent; otherwise the event and inhibit timers
// are started and the frame goes out. PDO_REFUSED while PDOs are off, for an
// invalid COB-ID or a mapping that cannot be read.
uint8_t sendPdoEvent(CanOpenNode* node, uint16_t pdo);
// Event path of every transmit PDO of type 254 or 255.
void sendPdoEvents(CanOpenNode* node);
// The SYNC part of the transmit PDOs: cyclic types send on every n-th SYNC,
// type 0 when the value changed, type 252 keeps its frame for a request.
void transmitPdosOnSync(CanOpenNode* node);

// Asks the producer of receive PDO n for it (remote frame on its COB-ID).
uint8_t requestReceivePdo(CanOpenNode* node, uint16_t pdo);
