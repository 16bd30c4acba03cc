// Emergency messages: sending with the error table (8 slots), the error
// register (0x1001) and the error history (0x1003), and reception into the
// node's EMCY hook. Objects the dictionary lacks (0x1001, 0x1003, the EMCY
// COB-ID 0x1014) are skipped: without 0x1014 nothing is sent.
// Callers hold the stack mutex.
#pragma once

#include "canopen/node.h"
#include "canopen/services.h" // handleEmcyFrame, startEmcy

#include <cstdint>

// Frame on the EMCY COB-ID: error code, error register, then up to 5 bytes
// of specific data (length 3 + n), or 8 bytes with zeros after the register
// when there is none. 0 sent, 1 not (no or invalid COB-ID, port refused).
uint8_t sendEmcy(CanOpenNode* node, uint16_t errorCode, uint8_t errorRegister, const uint8_t* specific,
                 uint8_t specificSize);
// Raises an error: 0 (also when it is already active), 1 when all 8 slots
// hold active errors. The EMCY goes out while the EMCY service is on.
uint8_t setEmcyError(CanOpenNode* node, uint16_t errorCode, uint8_t registerMask, uint16_t additionalInfo);
// Clears an active error: 0, or 1 when the code is not active. When none is
// left, an EMCY with code 0 and register 0 goes out (EMCY service on).
uint8_t recoverEmcyError(CanOpenNode* node, uint16_t errorCode);
// The OR of the register bits of the active errors.
uint8_t emcyErrorRegister(const CanOpenNode* node);
