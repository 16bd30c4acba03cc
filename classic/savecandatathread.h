// The classic pages' save worker. It writes the classic CAN parameters queued
// on it; the writes arrive with the classic parameter record, until then a
// round finds nothing to do.
#pragma once

#include <QStringList>
#include <QThread>

#include <mutex>

class SaveCanDataThread : public QThread {
    Q_OBJECT
public:
    explicit SaveCanDataThread(QObject* parent = nullptr);
    ~SaveCanDataThread() override; // stops and joins the thread

    // Asks the loop to end after the current write; does not wait.
    void stopProcess();
    bool stopRequested() const;
    // Clears the stop flag and starts the thread (nothing when it runs).
    void startProcess();

signals:
    void paramSavingFail(QString paramName, QString reason);
    void paramSavingSuccess(QString paramName);

protected:
    void run() override;

private:
    // A standard mutex, so that the thread checker sees the hand-overs.
    mutable std::mutex m_mutex;
    bool m_stop = false;
    QStringList m_pending; // parameter names queued for the next round
};
