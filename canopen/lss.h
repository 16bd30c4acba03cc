// Layer setting services (CiA 305): the master that configures node ids and
// bit timing of slaves and identifies them, and the slave side of the same
// protocol for nodes whose slave flag is set. Requests go out on 0x7E5,
// answers on 0x7E4, always 8 bytes. Callers hold the stack mutex.
//
// A bit-rate switch puts the node's port aside (nothing else goes out), sets
// the adapter to the new rate after the switch delay and gives the port back
// after a second delay.
#pragma once

#include "canopen/node.h"
#include "canopen/services.h" // handleLssMasterFrame, handleLssSlaveFrame

#include <cstdint>

enum : uint8_t {
    LSS_SWITCH_MODE_GLOBAL = 4,
    LSS_CONFIGURE_NODE_ID = 17,
    LSS_CONFIGURE_BIT_TIMING = 19,
    LSS_ACTIVATE_BIT_TIMING = 21,
    LSS_STORE_CONFIGURATION = 23,
    LSS_SWITCH_SELECTIVE_VENDOR = 64,
    LSS_SWITCH_SELECTIVE_PRODUCT = 65,
    LSS_SWITCH_SELECTIVE_REVISION = 66,
    LSS_SWITCH_SELECTIVE_SERIAL = 67,
    LSS_SWITCH_SELECTIVE_ANSWER = 68,
    LSS_IDENTIFY_VENDOR = 70,
    LSS_IDENTIFY_PRODUCT = 71,
    LSS_IDENTIFY_REVISION_LOW = 72,
    LSS_IDENTIFY_REVISION_HIGH = 73,
    LSS_IDENTIFY_SERIAL_LOW = 74,
    LSS_IDENTIFY_SERIAL_HIGH = 75,
    LSS_IDENTIFY_NON_CONFIGURED = 76,
    LSS_IDENTIFY_ANSWER = 79,
    LSS_NON_CONFIGURED_ANSWER = 80,
    LSS_INQUIRE_VENDOR = 90,
    LSS_INQUIRE_PRODUCT = 91,
    LSS_INQUIRE_REVISION = 92,
    LSS_INQUIRE_SERIAL = 93,
    LSS_INQUIRE_NODE_ID = 94
};
// Master request state.
enum : uint8_t { LSS_IDLE = 0, LSS_DONE = 1, LSS_TIMED_OUT = 2, LSS_WAITING = 3 };
// Slave modes.
enum : uint8_t { LSS_WAITING_MODE = 0, LSS_CONFIGURATION_MODE = 1 };
enum : uint8_t { LSS_REFUSED = 0xFF };
enum { LSS_MASTER_ID = 0x7E5, LSS_SLAVE_ID = 0x7E4, LSS_ANSWER_TIMEOUT_MS = 1000 };

// The LSS bit-rate table index of a text ("1M" 0 ... "10K" 8), -1 for any
// other text; and the adapter's bit-rate code for it ("8" for "1M" ... "0"
// for "10K"), null for any other text.
int lssBitRateIndex(const char* bitRate);
const char* lssBitRateText(uint8_t index);
const char* adapterBitRateCode(const char* bitRate);

// Sends one request. value carries the command's datum: the mode (4), the
// node id (17), the table selector (19, bitRate names the rate), the switch
// delay in ms (21) or the 32-bit identity part (64-67, 70-75). Requests that
// expect an answer wait up to 1000 ms for it; callback (may be null) gets the
// outcome. 0 sent; LSS_REFUSED for an unknown command, a bit rate outside the
// table (result 0xFF, callback called) or a switch still running; 1 when
// nothing could be sent (activate without a configured rate: result 1).
uint8_t sendLssMasterCommand(CanOpenNode* node, uint8_t command, uint32_t value, const char* bitRate,
                             LssCallback callback);
// The master's request state with the answer's value and byte: bytes 1-4 of
// an inquiry of vendor, product, revision or serial; otherwise byte 1 (error
// code, node id) and byte 2 (specific error).
uint8_t getLssResult(const CanOpenNode* node, uint32_t* value, uint8_t* byte);

// Bit-rate switch shared by master and slave (activate bit timing): sets the
// adapter to the configured rate after delayMs and gives the port back after
// another delayMs. 0 started, LSS_REFUSED without a rate or port.
uint8_t startLssBitRateSwitch(CanOpenNode* node, uint16_t delayMs);
