// Object dictionary access: look-up, read and write of one sub-index with the
// access, size and value-range checks, write callbacks, and the node-id rules
// that move default COB-IDs along with the node id.
//
// Results are 0 or a CiA 301 abort code. Callers hold the stack mutex.
#pragma once

#include "canopen/node.h"

#include <cstdint>

enum : uint32_t {
    ABORT_TOGGLE = 0x05030000,
    ABORT_TIMEOUT = 0x05040000,
    ABORT_COMMAND = 0x05040001,
    ABORT_BLOCK_SIZE = 0x05040002,
    ABORT_CRC = 0x05040004,
    ABORT_OUT_OF_MEMORY = 0x05040005,
    ABORT_READ_WRITE_ONLY = 0x06010001,
    ABORT_WRITE_READ_ONLY = 0x06010002,
    ABORT_NO_OBJECT = 0x06020000,
    ABORT_LENGTH = 0x06070010,
    ABORT_NO_SUBINDEX = 0x06090011,
    ABORT_VALUE_RANGE = 0x06090030,
    ABORT_GENERAL = 0x08000000,
    ABORT_LOCAL_CONTROL = 0x08000021
};

// Linear look-up in the node's table (the default for findObject). Null and
// ABORT_NO_OBJECT for an unknown index.
const ObjectEntry* findObjectByIndex(CanOpenNode* node, uint16_t index, uint32_t* abortCode);

// Reads one sub-index into dest. *size is the room in dest on entry and the
// bytes stored on return; too little room gives ABORT_OUT_OF_MEMORY with *size
// set to what is needed. checkAccess refuses write-only objects.
uint32_t readObjectEntry(CanOpenNode* node, uint16_t index, uint8_t subIndex, void* dest,
                         uint32_t* size, uint8_t* dataType, bool checkAccess);

// Writes one sub-index from source. *size must be 0 (write nothing), the
// object's size, or less for a VISIBLE_STRING; on return it is the object's
// size. checkAccess refuses read-only objects. A watching callback's non-zero
// result is returned (the value stays written).
uint32_t writeObjectEntry(CanOpenNode* node, uint16_t index, uint8_t subIndex, const void* source,
                          uint32_t* size, bool checkAccess);

// Lets a service watch writes to one sub-index; does nothing for an entry
// without a callback table or a missing sub-index.
uint32_t registerObjectCallback(CanOpenNode* node, uint16_t index, uint8_t subIndex, ObjectCallback callback);

// ABORT_VALUE_RANGE when a CO_VALUE_RANGE value is not 0.
uint32_t checkValueRange(uint8_t dataType, const void* value);

// Sets the node id (1 to 127, or 255 for unset; anything else is ignored) and
// moves every COB-ID that still holds its default for the old id.
void assignNodeId(CanOpenNode* node, uint8_t id);

// The value pointer of a sub-index of the given size, or null.
void* objectValue(CanOpenNode* node, uint16_t index, uint8_t subIndex, uint32_t size);
