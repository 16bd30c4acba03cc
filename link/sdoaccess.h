// Synchronous SDO access: a thread asks for one upload or download and sleeps
// until the stack's completion callback has stored the result and woken it.
//
// One request is in flight at a time: callers serialise their series of tries
// on sdoRequestLock(), and each single try also holds an internal lock, so two
// tries never share the exchange even when a caller forgets the first one.
// The request fields are written under the exchange's own lock; each request
// carries a sequence number; the completion that answers it sets a done flag
// under that lock; the requester waits on sdoDoneCondition with a predicate,
// so a completion that comes before the wait is never lost and a late
// completion of an abandoned request is dropped. A wait "without limit"
// (SDO_WAIT_STACK_TIMEOUT) ends when the transfer completes or aborts, or when
// the stack's own time-out (3000 ms without a frame from the device) ends it,
// so a long segmented transfer that keeps going is never cut short; its bound
// (SDO_WAIT_LOST_COMPLETION_MS) only guards against a completion that never
// comes. A requester that gives up aborts its transfer locally, so the next
// request finds the line free.
//
// Requests start on the stack's timer thread (alarm callbacks) and complete on
// the receive thread or, after a time-out, on the timer thread. While the link
// is closed every try fails at once.
#pragma once

#include "canopen/node.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

enum { SDO_DATA_BUFFER = 70, SDO_EDS_BUFFER = 102400 };
// 102400 bytes take 14629 segments, at least 15 s at one line per millisecond
// and several minutes at the slowest bit rates.
enum { SDO_WAIT_STACK_TIMEOUT = -1, SDO_WAIT_LOST_COMPLETION_MS = 10 * 60 * 1000, SDO_TRIES = 3 };

// What a request callback starts.
enum : uint8_t { SDO_REQUEST_READ = 1, SDO_REQUEST_WRITE = 2, SDO_REQUEST_EDS = 3, SDO_REQUEST_DEVICE_TYPE = 4 };

struct SdoExchange {
    // Request, written under `mutex` by the requester.
    uint8_t kind = 0;
    uint8_t nodeId = 0;
    uint16_t index = 0;
    uint8_t subIndex = 0;
    uint8_t dataType = 0;
    int writeLength = 0;
    uint64_t sequence = 0;      // of the request in flight, 0 when none
    uint64_t started = 0;       // of the transfer the timer thread put on the line
    // Result, written under `mutex` by the completion that matches `sequence`.
    bool done = false;
    uint8_t success = 0;
    uint32_t abortCode = 0;
    bool silent = false;        // the stack's time-out ended the transfer
    uint32_t resultLength = 0;
    uint8_t data[SDO_DATA_BUFFER] = {}; // bytes read; also the bytes to write
    uint8_t eds[SDO_EDS_BUFFER] = {};
    std::atomic<int> failureCounter{0}; // set to 0 by its users only
    std::mutex mutex;
};

// Process-wide; never destroyed, so no late thread finds them gone at exit.
SdoExchange& sdoExchange(void);
std::condition_variable& sdoDoneCondition(void);
// Held by a requester for the whole of one request (all its tries). Not held
// by sdoRead/sdoWrite/probeCanDevice, which take it themselves.
std::mutex& sdoRequestLock(void);

// Points the client entry 0x1280 at nodeId (0x600 + id, 0x580 + id, id). A
// transfer still on the line for the previous device is dropped first.
void pointSdoClientAt(uint8_t nodeId);

struct SdoOutcome {
    bool ok = false;
    uint32_t abortCode = 0;     // 0 when the transfer ended locally
    // The request went out and nothing answered it: the stack's time-out
    // ended the transfer. Not set for a refused start or a device's abort.
    bool silent = false;
    QByteArray data;            // bytes read (uploads)
};

// One try each. waitMs bounds the wait (SDO_WAIT_STACK_TIMEOUT, or any value
// <= 0: until the transfer ends, by the stack's time-out at the latest). A
// value larger than the buffer fails with abort 0; a write of 0 or more than
// SDO_DATA_BUFFER bytes, and any request to an id outside 1..127, is refused
// before anything is sent.
SdoOutcome sdoReadOnce(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs);
SdoOutcome sdoWriteOnce(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                        const QByteArray& data, int waitMs);
// The device's stored EDS (0x1021 sub 0, DOMAIN) into the EDS buffer.
SdoOutcome sdoReadEdsOnce(uint8_t nodeId, int waitMs);
// The device type (0x2000 sub 1, UNSIGNED16): the connection probe.
SdoOutcome sdoReadDeviceTypeOnce(uint8_t nodeId, int waitMs);

// Up to `tries` tries under sdoRequestLock; the last try's outcome.
SdoOutcome sdoRead(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs,
                   int tries = SDO_TRIES);
SdoOutcome sdoWrite(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, const QByteArray& data,
                    int waitMs, int tries = SDO_TRIES);
// Points the client at nodeId and reads the device type, up to 3 tries that
// each wait for the stack's time-out. Never probes an id outside 1..127.
SdoOutcome probeCanDevice(uint8_t nodeId);

// Request callbacks: alarm callbacks run on the timer thread with the stack
// mutex held; id is the device's node id. Each starts the pending request of
// its kind (and nothing when that request is gone or already started).
void requestDeviceTypeRead(CanOpenNode* node, uint32_t id);
void requestEdsRead(CanOpenNode* node, uint32_t id);
void requestSdoRead(CanOpenNode* node, uint32_t id);
void requestSdoWrite(CanOpenNode* node, uint32_t id);
// Completion callbacks: store the result when it answers the request in
// flight, free the line always, wake the requester.
void sdoReadDone(CanOpenNode* node, uint8_t nodeId);
void sdoReadEdsDone(CanOpenNode* node, uint8_t nodeId);
void sdoWriteDone(CanOpenNode* node, uint8_t nodeId);

// The link layer says whether requests can run; going offline fails the
// request in flight at once. Call with the stack mutex held.
void setSdoAccessOnline(bool online);

// Name of an abort code for user messages; empty for a code not in the table.
QString sdoAbortCodeName(uint32_t abortCode);

// Test seams. The requester sleeps this long between scheduling its request
// and beginning to wait (a completion then always comes first); the bound of
// a wait "without limit" (default SDO_WAIT_LOST_COMPLETION_MS).
void setSdoDelayBeforeWaitMs(int ms);
void setSdoStackWaitMs(int ms);
