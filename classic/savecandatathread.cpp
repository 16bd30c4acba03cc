#include "classic/savecandatathread.h"

#include <QMutexLocker>

SaveCanDataThread::SaveCanDataThread(QObject* parent) : QThread(parent) {}

SaveCanDataThread::~SaveCanDataThread()
{
    stopProcess();
    wait();
}

void SaveCanDataThread::stopProcess()
{
    QMutexLocker lock(&m_mutex);
    m_stop = true;
}

bool SaveCanDataThread::stopRequested() const
{
    QMutexLocker lock(&m_mutex);
    return m_stop;
}

void SaveCanDataThread::startProcess()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = false;
    }
    start();
}

void SaveCanDataThread::run()
{
    // The classic parameter record brings the work of a round; without it the
    // queue stays empty and the thread ends at once.
}
