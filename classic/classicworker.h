// What the classic pages' load and save workers share: the thread, its stop
// flag under a mutex, a pause that a stop cuts short, and the join.
//
// A stop is looked at between SDO tries, between records and in the pause,
// so a thread ends within one try once it is asked to. Standard mutexes
// throughout, and the thread's last step is taken under the worker's mutex,
// so that the thread checker sees every hand-over, the join included.
#pragma once

#include <QThread>

#include <condition_variable>
#include <mutex>

class ClassicWorker : public QThread {
    Q_OBJECT
public:
    ~ClassicWorker() override; // stops and joins the thread

    bool stopRequested() const;

    // Asks the thread to end and waits up to ms for it (ms < 0: until it has
    // ended, which a stop bounds by one try). True when it is not running.
    bool stopAndWait(int ms);

public slots:
    // Asks the thread to end at its next look; does not wait.
    void stopProcess();

protected:
    explicit ClassicWorker(QObject* parent);

    // The thread's work; a stop request ends it early.
    virtual void work() = 0;
    // Before a start: a thread still running is stopped and joined, so the
    // caller may replace what it works on. Then the stop flag is cleared.
    void prepareStart();
    // Sleeps ms unless a stop comes first; true when a stop was requested.
    bool pauseUnlessStopped(int ms);
    // For derived destructors: the thread uses their members.
    void stopAndJoin();

    // Guards the stop flag and whatever a derived class keeps beside it.
    mutable std::mutex m_mutex;

private:
    void run() final;

    std::condition_variable m_wake;
    bool m_stop = false;
};
