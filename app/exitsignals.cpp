#include "app/exitsignals.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end for the handler; -1 while no object has the signals.
std::atomic<int> pipeWriteEnd{-1};

void onExitSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int fd = pipeWriteEnd.load();
    if (fd >= 0)
        (void)!::write(fd, &byte, 1);
    errno = saved;
}
}

ExitSignals::ExitSignals(QObject* parent) : QObject(parent)
{
    static_assert(sizeof kSignals / sizeof kSignals[0] == kSignalCount, "one slot per signal");
    if (pipeWriteEnd.load() >= 0 || pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    pipeWriteEnd.store(m_pipe[1]);
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ExitSignals::readPipe);

    // Caught even when the shell that started the tool ignores them (a
    // background job ignores SIGINT): each of them asks the tool to end. Only
    // a hang-up ignored at the start stays ignored: nohup asked for that.
    struct sigaction action = {};
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        sigaddset(&action.sa_mask, sig);
    // Other threads' system calls go on after the handler.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) {
        if (sigaction(kSignals[i], nullptr, &m_previous[i]) != 0)
            continue;
        if (kSignals[i] == SIGHUP && m_previous[i].sa_handler == SIG_IGN)
            continue;
        m_installed[i] = sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

ExitSignals::~ExitSignals()
{
    for (int i = 0; i < kSignalCount; ++i) {
        if (m_installed[i])
            sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    if (m_pipe[1] >= 0 && pipeWriteEnd.load() == m_pipe[1])
        pipeWriteEnd.store(-1);
    m_notifier.reset();
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void ExitSignals::readPipe()
{
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(m_pipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            emit received(bytes[i]);
    }
}
