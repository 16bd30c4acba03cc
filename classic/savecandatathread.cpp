#include "classic/savecandatathread.h"

SaveCanDataThread::SaveCanDataThread(QObject* parent) : QThread(parent) {}

SaveCanDataThread::~SaveCanDataThread()
{
    stopProcess();
    wait();
    // The thread's last step under the mutex orders its end before our
    // destruction for the thread checker, which cannot see QThread::wait.
    std::lock_guard<std::mutex> lock(m_mutex);
}

void SaveCanDataThread::stopProcess()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
}

bool SaveCanDataThread::stopRequested() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop;
}

void SaveCanDataThread::startProcess()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
    }
    start();
}

void SaveCanDataThread::run()
{
    // The classic parameter record brings the work of a round; without it the
    // queue stays empty and the thread ends at once.
    std::lock_guard<std::mutex> lock(m_mutex);
}
