// The classic pages' load worker. It reads the classic CAN parameters that are
// queued on it and reports each one; the parameter reads arrive with the
// classic parameter record, until then a round finds nothing to do.
#pragma once

#include <QStringList>
#include <QThread>

#include <mutex>

class LoadCanDataThread : public QThread {
    Q_OBJECT
public:
    explicit LoadCanDataThread(QObject* parent = nullptr);
    ~LoadCanDataThread() override; // stops and joins the thread

    // Asks the loop to end after the current round; does not wait.
    void stopProcess();
    bool stopRequested() const;
    // Clears the stop flag and starts the thread (nothing when it runs).
    void startProcess();

signals:
    void paramsLoaded();
    void paramLoaded(QString paramName);
    void paramsLoadingFail();
    void paramLoadingFail(QString message);
    void test(int num);

protected:
    void run() override;

private:
    // A standard mutex, so that the thread checker sees the hand-overs.
    mutable std::mutex m_mutex;
    bool m_stop = false;
    QStringList m_pending; // parameter names queued for the next round
};
