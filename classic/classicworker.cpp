#include "classic/classicworker.h"

ClassicWorker::ClassicWorker(QObject* parent) : QThread(parent) {}

ClassicWorker::~ClassicWorker()
{
    stopProcess();
    wait();
    // The thread's last step under the mutex orders its end before our
    // destruction for the thread checker, which cannot see QThread::wait.
    std::lock_guard<std::mutex> lock(m_mutex);
}

void ClassicWorker::stopProcess()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
}

bool ClassicWorker::stopRequested() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop;
}

void ClassicWorker::startProcess()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
    }
    start();
}

void ClassicWorker::run()
{
    // The classic parameter record brings the work of a round; without it the
    // queue stays empty and the thread ends at once.
    std::lock_guard<std::mutex> lock(m_mutex);
}
