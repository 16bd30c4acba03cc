#include "platform/boundedthread.h"

#include <chrono>
#include <cstdio>
#include <pthread.h>
#include <string>

BoundedThread::~BoundedThread()
{
    join(1000);
}

void BoundedThread::start(std::function<void()> body, const char* name)
{
    join(1000);
    auto state = std::make_shared<State>();
    m_state = state;
    std::string shown = name ? std::string(name).substr(0, 15) : std::string();
    m_thread = std::thread([state, body = std::move(body), shown = std::move(shown)] {
        if (!shown.empty())
            pthread_setname_np(pthread_self(), shown.c_str());
        body();
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
        state->cond.notify_all();
    });
}

bool BoundedThread::join(int timeoutMs)
{
    if (!m_thread.joinable())
        return true;
    if (isCurrent()) {
        // A thread cannot join itself; let it run out on its own.
        m_thread.detach();
        return false;
    }
    bool inTime;
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        inTime = m_state->cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [&] { return m_state->done; });
    }
    if (!inTime)
        std::fprintf(stderr, "thread did not end within %d ms; waiting for it\n", timeoutMs);
    m_thread.join();
    return inTime;
}
