// A thread that is stopped cooperatively and joined with a bound. It is never
// killed: when the bound passes, a trace line is printed and the join goes on,
// which ends because every blocking call in our workers is itself bounded.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class BoundedThread {
public:
    BoundedThread() = default;
    ~BoundedThread();
    BoundedThread(const BoundedThread&) = delete;
    BoundedThread& operator=(const BoundedThread&) = delete;

    // name (up to 15 characters) is what the system shows for the thread, in
    // /proc/self/task/*/comm and in debuggers.
    void start(std::function<void()> body, const char* name = nullptr);
    // True when the thread ended within timeoutMs; the thread is joined either way.
    bool join(int timeoutMs);
    bool running() const { return m_thread.joinable(); }
    bool isCurrent() const { return m_thread.get_id() == std::this_thread::get_id(); }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable cond;
        bool done = false;
    };
    std::thread m_thread;
    std::shared_ptr<State> m_state;
};
