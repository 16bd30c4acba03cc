// Shared by the requester and the callbacks of the synchronous SDO access;
// not for use elsewhere.
#pragma once

#include <cstdint>
#include <mutex>

struct SdoExchange;

// Held for one try, and while the client entry is re-pointed.
std::mutex& sdoFlightLock(void);
// Whether the link is up (stack mutex held).
bool sdoAccessOnline(void);
// Ends the request in flight with a result and wakes its requester; x.mutex
// held. Does nothing when no request waits. `silent`: ended by the stack's
// time-out.
void completeSdoRequest(SdoExchange& x, bool ok, uint32_t abortCode, bool silent = false);
