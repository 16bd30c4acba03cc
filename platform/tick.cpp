#include "platform/tick.h"

#include <atomic>
#include <chrono>

namespace {
std::atomic<uint32_t (*)(void)> tickSource{nullptr};
}

uint32_t platformTickMs(void)
{
    if (auto source = tickSource.load())
        return source();
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void setPlatformTickSource(uint32_t (*source)(void))
{
    tickSource.store(source);
}
