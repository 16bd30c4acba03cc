// What the classic pages' load and save workers share: a stop flag under a
// mutex, the start and stop hand-overs, and the round that works through the
// queued classic parameters; the parameter work arrives with the classic
// parameter record, until then a round finds nothing to do.
#pragma once

#include <QStringList>
#include <QThread>

#include <mutex>

class ClassicWorker : public QThread {
    Q_OBJECT
public:
    ~ClassicWorker() override; // stops and joins the thread

    // Asks the loop to end after the current step; does not wait.
    void stopProcess();
    bool stopRequested() const;
    // Clears the stop flag and starts the thread (nothing when it runs).
    void startProcess();

protected:
    explicit ClassicWorker(QObject* parent);
    // A subclass that overrides this must stop and join in its own destructor,
    // so that its run() never outlives its part of the object.
    void run() override;

private:
    // A standard mutex, so that the thread checker sees the hand-overs.
    mutable std::mutex m_mutex;
    bool m_stop = false;
    QStringList m_pending; // parameter names queued for the next round
};
