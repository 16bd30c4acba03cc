#include "platform/oneshottimer.h"

void OneShotTimer::arm(uint32_t ms)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_deadline = Clock::now() + std::chrono::milliseconds(ms);
        m_armed = true;
    }
    m_cond.notify_all();
}

void OneShotTimer::cancel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = false;
}

bool OneShotTimer::wait()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_waiters;
    bool due = false;
    for (;;) {
        if (m_stopped)
            break;
        if (!m_armed) {
            m_cond.wait(lock);
            continue;
        }
        if (Clock::now() >= m_deadline) {
            m_armed = false;
            due = true;
            break;
        }
        // A re-arm or stop notifies; the loop then looks at the new state.
        m_cond.wait_until(lock, m_deadline);
    }
    --m_waiters;
    return due;
}

void OneShotTimer::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_cond.notify_all();
}

void OneShotTimer::clearStop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = false;
}

bool OneShotTimer::armed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_armed;
}

int OneShotTimer::waiters() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_waiters;
}
