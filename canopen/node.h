// The record of one CANopen node: its dictionary, node id, NMT state, SDO
// transfer lines, error-control state, hooks and port. The tool has one static
// instance (toolNode, canopen/tooldict.h); every stack operation takes the
// record first and runs with the stack mutex held.
#pragma once

#include "canopen/canframe.h"
#include "canopen/servicestate.h"

#include <cstdint>

struct CanOpenNode;
struct CanPort;

// ---- Object dictionary -------------------------------------------------

// Sub-entry access: read-write, write-only, read-only; OD_STORE marks a value
// that the store hook is told about after a write.
enum { OD_RW = 0, OD_WO = 1, OD_RO = 2, OD_STORE = 4 };

// CANopen data-type codes the stack knows by name.
enum : uint8_t {
    CO_BOOLEAN = 0x01,
    CO_UNSIGNED8 = 0x05,
    CO_UNSIGNED16 = 0x06,
    CO_UNSIGNED32 = 0x07,
    CO_VISIBLE_STRING = 0x09,
    CO_DOMAIN = 0x0F,
    CO_VALUE_RANGE = 0x9F // a value that must be 0
};

struct SubEntry {
    uint8_t access;
    uint8_t dataType;
    uint32_t size;  // bytes
    void* value;    // little-endian, as on the bus
};

struct ObjectEntry;
// Called after a write to a sub-index; a non-zero abort code becomes the
// write's result (the value stays written).
typedef uint32_t (*ObjectCallback)(CanOpenNode* node, const ObjectEntry* entry, uint8_t subIndex);

struct ObjectEntry {
    SubEntry* subs;
    uint8_t subCount;
    uint16_t index;
    ObjectCallback* callbacks; // one per sub-index, or null: nobody may watch it
};

typedef const ObjectEntry* (*ObjectLookup)(CanOpenNode* node, uint16_t index, uint32_t* abortCode);
typedef uint32_t (*ValueRangeCheck)(uint8_t dataType, const void* value);
typedef void (*StoreHook)(CanOpenNode* node, uint16_t index, uint8_t subIndex);

// Positions inside the dictionary table of the first and last entry of a
// service; first == 0 means the dictionary has none (position 0 is 0x1000).
struct ServiceRange {
    uint16_t first;
    uint16_t last;
};

// ---- SDO transfer lines ------------------------------------------------

enum { SDO_LINES = 32, SDO_INLINE_BYTES = 32 };
enum { SDO_SERVER = 1, SDO_CLIENT = 2 };
enum : uint8_t {
    SDO_FREE = 0,
    SDO_FINISHED = 1,
    SDO_DOWNLOAD_IN_PROGRESS = 2,
    SDO_UPLOAD_IN_PROGRESS = 3,
    SDO_BLOCK_DOWNLOAD_IN_PROGRESS = 4,
    SDO_BLOCK_UPLOAD_IN_PROGRESS = 5,
    SDO_ABORTED_BY_PEER = 0x80,
    SDO_ENDED_LOCALLY = 0x85, // also: no active line
    SDO_BUFFER_TOO_SMALL = 0x8A
};

typedef void (*SdoCallback)(CanOpenNode* node, uint8_t nodeId);

struct SdoLine {
    uint8_t service;    // client (or server) entry, counted from the first one
    uint8_t role;       // SDO_SERVER or SDO_CLIENT
    uint8_t state;
    uint8_t toggle;
    uint32_t abortCode;
    uint16_t index;
    uint8_t subIndex;
    uint32_t count;     // whole value, 0 while unknown
    uint32_t offset;    // bytes moved so far
    uint8_t data[SDO_INLINE_BYTES];
    uint8_t* buffer;    // used above SDO_INLINE_BYTES
    uint32_t bufferSize;
    // Block transfers.
    uint8_t peerCrc;
    uint8_t blockSize;
    uint8_t lastSeq;      // last segment received in order in this sub-block
    uint32_t blockStart;  // offset before the last sub-block sent
    uint8_t seq;          // segments sent in the last sub-block
    uint8_t emptyAck;     // an acknowledgement of nothing went out since the last progress
    uint32_t step;        // 0 initiate answer awaited, 1 segments, 2 end awaited
    uint8_t lastSegment[8];
    uint8_t dataType;
    int16_t timer;        // time-out alarm slot, -1 none
    SdoCallback callback;
};

// ---- NMT and error control ---------------------------------------------

enum : uint32_t {
    NMT_INITIALISATION = 0x00,
    NMT_STOPPED = 0x04,
    NMT_OPERATIONAL = 0x05,
    NMT_UNKNOWN = 0x0F,
    NMT_PRE_OPERATIONAL = 0x7F,
    NMT_REFUSED = 0xFFFFFFFFu
};
// Remote-node states beside the NMT ones in the NMT table.
enum : uint32_t { NMT_BOOT_UP_SEEN = 0x00, NMT_DISCONNECTED = 0x01 };

// Which communication objects are on.
struct CommFlags {
    uint8_t bootUp;
    uint8_t sdo;
    uint8_t emcy;
    uint8_t sync;
    uint8_t lifeGuard;
    uint8_t pdo;
    uint8_t lss;
};

enum { NMT_NODES = 128, HEARTBEAT_CONSUMERS_MAX = 127 };

typedef void (*NodeHook)(CanOpenNode* node);
typedef void (*RemoteNodeHook)(CanOpenNode* node, uint8_t nodeId);
typedef void (*RemoteStateHook)(CanOpenNode* node, uint8_t nodeId, uint32_t newState);

struct CanOpenNode {
    uint8_t nodeId = 0; // 255 unset

    const ObjectEntry* dictionary = nullptr;
    uint16_t dictionarySize = 0;
    ServiceRange sdoServer = {0, 0};
    ServiceRange sdoClient = {0, 0};
    ServiceRange rpdoComm = {0, 0};
    ServiceRange rpdoMap = {0, 0};
    ServiceRange tpdoComm = {0, 0};
    ServiceRange tpdoMap = {0, 0};
    uint8_t slave = 0; // 0: master, ignores NMT commands
    ObjectLookup findObject = nullptr;
    ValueRangeCheck checkValueRange = nullptr;
    StoreHook storeHook = nullptr;

    SdoLine sdo[SDO_LINES] = {};

    uint32_t nmtState = NMT_UNKNOWN;
    CommFlags comm = {};
    NodeHook onInitialisation = nullptr;
    NodeHook onPreOperational = nullptr;
    NodeHook onOperational = nullptr;
    NodeHook onStopped = nullptr;
    NodeHook onResetNode = nullptr;
    NodeHook onResetCommunication = nullptr;

    // Heartbeat: the consumer entries are read from 0x1016 when heartbeat
    // starts; the producer time points at 0x1017 (null when absent).
    int16_t heartbeatTimers[HEARTBEAT_CONSUMERS_MAX] = {};
    uint16_t* producerTime = nullptr;
    int16_t producerTimer = -1;
    RemoteNodeHook onHeartbeatError = nullptr;

    uint32_t remoteState[NMT_NODES] = {};

    // Node guarding: 0x100C and 0x100D (null when absent).
    uint16_t* guardTime = nullptr;
    uint8_t* lifeTimeFactor = nullptr;
    int16_t guardTimer = -1;
    uint8_t guardCounter[NMT_NODES] = {};
    uint8_t guardToggle = 0;
    RemoteNodeHook onNodeGuardError = nullptr;

    RemoteNodeHook onRemoteBootUp = nullptr;
    RemoteStateHook onRemoteStateChange = nullptr;

    CanPort* port = nullptr; // the open port slot, null while closed

    // Process data and network services (canopen/servicestate.h).
    PdoStatus pdoStatus[TPDO_STATUS_MAX];
    SyncState sync;
    EmcyState emcy;
    LssState lss;
    DcfState dcf;
};

// Fills a node record for a dictionary: lookup and range check, service
// positions, pointers to the error-control objects, all lines free, every
// timer handle -1, NMT state unknown, every remote node unknown, node id 0;
// the port is kept. A record in use has its lines reset (resetSdoLines) and
// its error-control alarms stopped first. The dictionary starts with 0x1000.
void initCanOpenNode(CanOpenNode* node, const ObjectEntry* dictionary, uint16_t size);
