// Synchronous SDO access: a thread asks for one upload or download and sleeps
// until the stack's completion callback has stored the result and woken it.
//
// One request is in flight at a time (callers serialise on sdoExchangeLock()).
// The request fields are written under the exchange's own lock; each request
// carries a sequence number; the completion that answers it sets a done flag
// under that lock; the requester waits on sdoDoneCondition with a predicate,
// so a completion that comes before the wait is never lost and a late
// completion of an abandoned request is dropped. Every wait is bounded: a wait
// "without limit" (SDO_WAIT_STACK_TIMEOUT) is the stack's own 3000 ms time-out
// plus a margin. A requester that gives up aborts its transfer locally, so the
// next request finds the line free.
#pragma once

#include "canopen/node.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <mutex>

enum { SDO_DATA_BUFFER = 70, SDO_EDS_BUFFER = 102400 };
enum { SDO_WAIT_STACK_TIMEOUT = -1, SDO_WAIT_MARGIN_MS = 500, SDO_TRIES = 3 };

struct SdoExchange {
    // Request, written under `mutex` by the requester.
    uint16_t index = 0;
    uint8_t subIndex = 0;
    uint8_t dataType = 0;
    int writeLength = 0;
    uint64_t sequence = 0;      // of the request in flight
    // Result, written under `mutex` by the completion that matches `sequence`.
    bool done = false;
    uint8_t success = 0;
    uint32_t abortCode = 0;
    uint32_t resultLength = 0;
    uint8_t data[SDO_DATA_BUFFER] = {};
    uint8_t eds[SDO_EDS_BUFFER] = {};
    int failureCounter = 0;     // set to 0 by its users only
    std::mutex mutex;
};

SdoExchange& sdoExchange(void);
std::condition_variable& sdoDoneCondition(void);
// Held by a requester for the whole of one request (all its tries).
std::mutex& sdoRequestLock(void);

// The tool's own node record (one for the process).
CanOpenNode* toolNode(void);

// Points the client entry 0x1280 at nodeId (0x600 + id, 0x580 + id, id).
void pointSdoClientAt(uint8_t nodeId);

struct SdoOutcome {
    bool ok = false;
    uint32_t abortCode = 0;     // 0 when the transfer ended locally
    QByteArray data;            // bytes read (uploads)
};

// One try each. waitMs bounds the wait (SDO_WAIT_STACK_TIMEOUT: the stack's
// time-out plus a margin). A value larger than the buffer fails with abort 0;
// a write longer than SDO_DATA_BUFFER is refused before anything is sent.
SdoOutcome sdoReadOnce(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs);
SdoOutcome sdoWriteOnce(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                        const QByteArray& data, int waitMs);
// The device's stored EDS (0x1021 sub 0, DOMAIN) into the EDS buffer.
SdoOutcome sdoReadEdsOnce(uint8_t nodeId, int waitMs);

// Name of an abort code for user messages; empty for a code not in the table.
QString sdoAbortCodeName(uint32_t abortCode);
