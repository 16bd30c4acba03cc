// The signals that end a session or come from Ctrl+C in the terminal
// (SIGTERM, SIGINT, SIGHUP) reach the GUI thread as received(), so the tool
// can end the way "Файл → Выход" ends it instead of dying with its link open.
// A hang-up ignored when the tool starts (nohup) stays ignored.
// The handler only writes the signal's number into a pipe, whatever thread
// takes it; a QSocketNotifier reads the pipe in the GUI thread. A repeat that
// finds the pipe full is dropped: one is enough.
//
// One object for the process, made after the application object (the
// notifier needs its event loop) and before the window, so that it outlives
// the window's close. It puts the previous handlers back as it goes. Without
// a pipe (or with another such object alive) it changes nothing, and the
// signals end the tool as they would without it.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <memory>

class ExitSignals : public QObject {
    Q_OBJECT
public:
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    enum { kSignalCount = 3 };
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier; // goes before the pipe it reads
    struct sigaction m_previous[kSignalCount] = {};
    bool m_installed[kSignalCount] = {};
};
