// A one-shot deadline on the monotonic clock for a single waiting thread.
// arm() replaces any earlier deadline (also from inside the waiter's own work
// after wait() returned); stop() wakes the waiter for good until clearStop().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class OneShotTimer {
public:
    void arm(uint32_t ms);
    void cancel();
    // Blocks until the armed deadline has passed (true, and the timer is then
    // disarmed) or stop() is called (false). Never returns before the deadline.
    bool wait();
    void stop();
    void clearStop();
    bool armed() const;
    // Threads inside wait() now, so a test can act once the waiter waits.
    int waiters() const;

private:
    using Clock = std::chrono::steady_clock;
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    Clock::time_point m_deadline{};
    bool m_armed = false;
    bool m_stopped = false;
    int m_waiters = 0;
};
