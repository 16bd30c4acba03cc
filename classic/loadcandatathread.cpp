#include "classic/loadcandatathread.h"

#include <QMutexLocker>

LoadCanDataThread::LoadCanDataThread(QObject* parent) : QThread(parent) {}

LoadCanDataThread::~LoadCanDataThread()
{
    stopProcess();
    wait();
}

void LoadCanDataThread::stopProcess()
{
    QMutexLocker lock(&m_mutex);
    m_stop = true;
}

bool LoadCanDataThread::stopRequested() const
{
    QMutexLocker lock(&m_mutex);
    return m_stop;
}

void LoadCanDataThread::startProcess()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = false;
    }
    start();
}

void LoadCanDataThread::run()
{
    // The classic parameter record brings the work of a round; without it the
    // queue stays empty and the thread ends at once.
}
