// Millisecond tick on the monotonic clock: a 32-bit count whose differences are
// taken unsigned, so they stay right across the wrap.
#pragma once

#include <cstdint>

uint32_t platformTickMs(void);

// Replaces the clock (tests); null puts the monotonic clock back.
void setPlatformTickSource(uint32_t (*source)(void));
