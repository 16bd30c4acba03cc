// The firmware-update worker: runs the DFU engine and the pre-flash check on a
// thread of its own, so that the window stays responsive while a device is
// read or written over USB.
//
// The engine reports through three plain C hooks (logHook, progressHook,
// askUserHook), each calling its process-wide holder, which run() binds to
// this worker. A report leaves the worker thread as a copy in the worker's
// queue (under its mutex) and an eventfd wake-up; the thread that owns the
// DfuThread object (the window's) takes the reports in order and emits the
// four signals there. So every hand-over between the threads is one the
// thread checker can see, and no text is shared.
//
// A question blocks the worker on askUserCondition until answerQuestion() has
// stored the answer (under the worker's mutex, with an answered flag, so an
// answer given before the wait begins is kept and a spurious wake-up never
// returns an old one). While the stop flag is set every question, pending or
// asked later, is answered No at once; since every engine wait is bounded, a
// stopped worker ends and the destructor's join returns.
#pragma once

#include <QString>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QSocketNotifier;

// What the engine's hooks call; bound by DfuThread::run.
extern std::function<void(const char*, int)> dfuLogHolder;
extern std::function<void(int)> dfuProgressHolder;
extern std::function<int(const char*)> dfuAskHolder;

void logHook(const char* text, int kind);
void progressHook(int step);
int askUserHook(const char* question);

// The worker waits here for the user's answer (with its own mutex).
extern std::condition_variable askUserCondition;

class DfuThread : public QThread {
    Q_OBJECT
public:
    enum Mode { ModeUpload = 0, ModeDownload = 1 };
    enum { DefaultLogPauseMs = 50 };

    // Construct on the thread that is to receive the signals.
    explicit DfuThread(QObject* parent = nullptr);
    // Sets the stop flag, wakes a pending question and joins; reports not
    // taken yet are dropped.
    ~DfuThread() override;

    // Read the device's flash from 0x08000000 to the end of its segment into
    // file. The upload goes into a new file beside it, which replaces file only
    // when the engine reports success; file stays as it was otherwise. False
    // (nothing stored) while a run is going.
    bool startUpload(const QString& file);
    // The pre-flash check, then the download of file. False (nothing stored)
    // while a run is going.
    bool startDownload(const QString& file, const QString& backupFolder);

    // The answer to the question asked last: nonzero yes, 0 no.
    void answerQuestion(int answer);
    bool stopRequested() const;
    // Reports made on the worker thread and not emitted yet.
    bool reportsPending() const;
    // The pause after each log line (tests make it 0).
    void setLogPauseMs(unsigned long ms);

signals:
    void logSignal(QString text, int kind);
    void progressBarStepSignal(int step);
    void setProgressBarVisible(bool visible);
    void askUserSignal(QString question);

public slots:
    // Sets the stop flag and wakes a pending question.
    void stopProcess();

protected:
    void run() override;

private:
    struct Report {
        enum Kind { Log, Progress, BarVisible, Question } kind;
        QString text;
        int value;
    };

    bool begin(int mode, const QString& file, const QString& backupFolder);
    void work();
    // Worker thread: queues a report and wakes the receiving thread.
    void report(Report r);
    void wake();
    // Receiving thread: emits what the worker queued, in order.
    void emitReports();

    void log(const char* text, int kind);
    void progress(int step);
    int askUser(const char* question);
    void upload(const QString& file);
    void download(const QString& file, const QString& backupFolder);

    int m_answer = 0;
    bool m_answered = false;
    QString m_file;
    QString m_backupFolder;
    bool m_stop = false;
    int m_mode = ModeUpload;
    unsigned long m_logPauseMs = DefaultLogPauseMs;
    std::deque<Report> m_reports;
    mutable std::mutex m_mutex; // guards every field above

    int m_wakeFd = -1;
    std::unique_ptr<QSocketNotifier> m_wakeNotifier;
};
