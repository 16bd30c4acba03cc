#include "classic/classicworker.h"

#include <chrono>

ClassicWorker::ClassicWorker(QObject* parent) : QThread(parent) {}

ClassicWorker::~ClassicWorker()
{
    stopAndJoin();
}

void ClassicWorker::stopProcess()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
}

bool ClassicWorker::stopRequested() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop;
}

void ClassicWorker::stopAndJoin()
{
    stopProcess();
    wait();
    // The thread's last step under the mutex orders its end before what the
    // caller does next, for the thread checker, which cannot see QThread::wait.
    std::lock_guard<std::mutex> lock(m_mutex);
}

bool ClassicWorker::stopAndWait(int ms)
{
    stopProcess();
    if (ms < 0 ? !wait() : !wait(static_cast<unsigned long>(ms)))
        return false;
    // As in stopAndJoin: the thread's end is ordered before the caller goes on.
    std::lock_guard<std::mutex> lock(m_mutex);
    return true;
}

void ClassicWorker::prepareStart()
{
    if (isRunning())
        stopAndJoin();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = false;
}

bool ClassicWorker::pauseUnlessStopped(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (ms > 0)
        m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop; });
    return m_stop;
}

void ClassicWorker::run()
{
    work();
    std::lock_guard<std::mutex> lock(m_mutex);
}
