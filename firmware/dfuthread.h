// The firmware-update worker: runs the DFU engine and the pre-flash check on a
// thread of its own, so that the window stays responsive while a device is
// read or written over USB.
//
// The engine reports through three plain C hooks (logHook, progressHook,
// askUserHook), each calling its process-wide holder, which run() binds to
// this worker. Every report leaves the worker as a signal carrying its own
// copy of the text; the receiver is expected on another thread (the window).
//
// A question blocks the worker on askUserCondition until answerQuestion() has
// stored the answer (under the worker's mutex, with an answered flag, so an
// answer given before the wait begins is kept and a spurious wake-up never
// returns an old one). While the stop flag is set every question, pending or
// asked later, is answered No at once; since every engine wait is bounded, a
// stopped worker ends and the destructor's join returns.
#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <functional>

// What the engine's hooks call; bound by DfuThread::run.
extern std::function<void(const char*, int)> dfuLogHolder;
extern std::function<void(int)> dfuProgressHolder;
extern std::function<int(const char*)> dfuAskHolder;

void logHook(const char* text, int kind);
void progressHook(int step);
int askUserHook(const char* question);

// The worker waits here for the user's answer.
extern QWaitCondition askUserCondition;

class DfuThread : public QThread {
    Q_OBJECT
public:
    enum Mode { ModeUpload = 0, ModeDownload = 1 };
    enum { DefaultLogPauseMs = 50 };

    explicit DfuThread(QObject* parent = nullptr);
    // Sets the stop flag, wakes a pending question and joins.
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
    bool begin(int mode, const QString& file, const QString& backupFolder);
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
    mutable QMutex m_mutex; // guards every field above and below
    int m_mode = ModeUpload;
    unsigned long m_logPauseMs = DefaultLogPauseMs;
};
