// Per-node state of the PDO, SYNC, EMCY, LSS and concise-DCF services, held
// in the node record. Every alarm handle starts at -1 (none).
#pragma once

#include "canopen/canframe.h"

#include <cstdint>

struct CanOpenNode;
struct CanPort;

// ---- PDO ---------------------------------------------------------------

// Transmit PDOs beyond this many (counted from the first 0x1800 entry) have
// no status and are never sent.
enum { TPDO_STATUS_MAX = 16 };
enum : uint8_t {
    PDO_INHIBITED = 0x01, // inhibit time running
    PDO_KEPT = 0x02       // type 252: a frame built on SYNC waits for a request
};

struct PdoStatus {
    uint8_t flags = 0;
    uint8_t syncCount = 0;   // SYNCs since the last cyclic send
    int16_t eventTimer = -1;
    int16_t inhibitTimer = -1;
    CanFrame last;           // last frame sent (or kept, type 252)
};

// ---- SYNC --------------------------------------------------------------

struct SyncState {
    int16_t timer = -1;
    void (*onPostSync)(CanOpenNode* node) = nullptr;
    void (*onPostTpdo)(CanOpenNode* node) = nullptr;
};

// ---- EMCY --------------------------------------------------------------

enum { EMCY_ERROR_SLOTS = 8 };

struct EmcyErrorSlot {
    uint16_t code;
    uint8_t registerBits;
    uint8_t active;
};

// Received EMCY: sender's node id, error code, error register.
typedef void (*EmcyHook)(CanOpenNode* node, uint8_t nodeId, uint16_t errorCode, uint8_t errorRegister);

struct EmcyState {
    uint8_t errorState = 0;  // 1 while an error is active
    uint8_t errorCount = 0;  // entries in the history (0x1003)
    EmcyErrorSlot errors[EMCY_ERROR_SLOTS] = {};
    EmcyHook onEmcy = nullptr;
};

// ---- LSS ---------------------------------------------------------------

// Master result: called with the command the result belongs to.
typedef void (*LssCallback)(CanOpenNode* node, uint8_t command);
// Slave store: keeps the configured node id and bit rate (null: none
// configured); the LSS error code (0 stored, 1 not supported, 2 failed).
typedef uint8_t (*LssStoreHook)(CanOpenNode* node, uint8_t nodeId, const char* bitRate);

struct LssState {
    uint8_t state = 0;          // LSS_IDLE, LSS_DONE, LSS_TIMED_OUT, LSS_WAITING
    uint8_t command = 0;        // the last request (master)
    uint32_t resultValue = 0;
    uint8_t resultByte = 0;
    const char* bitRate = nullptr; // configured bit rate, null: none
    uint16_t switchDelay = 0;   // ms
    uint8_t switchStep = 0;
    CanPort* savedPort = nullptr; // the port while the bit rate switches
    int16_t answerTimer = -1;
    int16_t switchTimer = -1;
    LssCallback callback = nullptr;
    // Slave side.
    uint8_t mode = 0;           // LSS_WAITING_MODE or LSS_CONFIGURATION_MODE
    uint8_t pendingNodeId = 0;  // configured, taken when leaving configuration; 0 none
    uint8_t selectStep = 0;     // parts of a selective switch matched so far
    uint8_t identifyStep = 0;   // parts of an identification matched so far
    LssStoreHook onStore = nullptr;
};

// ---- Concise DCF -------------------------------------------------------

struct DcfState {
    uint8_t step = 0;     // DCF_IDLE, DCF_VERIFYING, DCF_WRITING
    uint8_t nodeId = 0;   // the remote node being handled
    uint32_t cursor = 0;  // offset of the entry being handled in the blob
    uint32_t done = 0;    // entries verified or written
};
