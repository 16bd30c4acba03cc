// The stack's one recursive mutex: created on first use and never destroyed, so
// no thread can find it gone at exit.
#pragma once

#include <mutex>

std::recursive_mutex& stackMutex(void);
