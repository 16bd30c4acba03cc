#include "platform/stacklock.h"

std::recursive_mutex& stackMutex(void)
{
    static std::recursive_mutex* mutex = new std::recursive_mutex; // never deleted on purpose
    return *mutex;
}
