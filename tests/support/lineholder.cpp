#include "lineholder.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kAnswerWaitMs = 5000;

// Between fork and _exit only system calls: the parent may run other threads.
[[noreturn]] void holdLine(const char* path, int hold, int requests, int answers)
{
    const char ready = '1', failed = '0';
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool ok = fd >= 0 && (!(hold & LineHolder::Lock) || flock(fd, LOCK_EX | LOCK_NB) == 0)
        && (!(hold & LineHolder::Mark) || ioctl(fd, TIOCEXCL) == 0);
    (void)!::write(answers, ok ? &ready : &failed, 1);
    char request;
    while (ok && ::read(requests, &request, 1) == 1) {
        char answer = failed;
        if (request == 'm') {
            int marked = 0;
            answer = ioctl(fd, TIOCGEXCL, &marked) == 0 && marked ? ready : failed;
        } else if (request == 'w') {
            answer = ::write(fd, LineHolder::kLine, 2) == 2 ? ready : failed;
        } else if (request == 'r') {
            pollfd p{fd, POLLIN, 0};
            char byte = 0;
            if (poll(&p, 1, 1000) == 1 && ::read(fd, &byte, 1) == 1)
                answer = byte;
            else
                answer = '\0';
        } else if (request == 'q') {
            break;
        }
        (void)!::write(answers, &answer, 1);
    }
    // A closed request pipe (the test ended) lets go as well.
    if (fd >= 0 && (hold & LineHolder::Mark))
        ioctl(fd, TIOCNXCL);
    if (fd >= 0)
        ::close(fd);
    (void)!::write(answers, &ready, 1);
    _exit(0);
}

// The child runs no exec, so it would keep the test framework's crash
// handlers: a child whose test was killed then takes the SIGPIPE of its last
// answer for a crash and spends seconds in a debugger. It ends as a plain
// process instead, and a write to a closed pipe just fails.
void plainSignals()
{
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &action, nullptr);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Everything but the standard streams and the two pipe ends: a descriptor the
// child inherited would keep the parent's lines (and their locks) open.
void closeInherited(int a, int b)
{
    const int low = a < b ? a : b, high = a < b ? b : a;
    if (low > 3)
        close_range(3, unsigned(low - 1), 0);
    if (high > low + 1)
        close_range(unsigned(low + 1), unsigned(high - 1), 0);
    close_range(unsigned(high + 1), ~0u, 0);
}
}

LineHolder::LineHolder(const std::string& path, int hold)
{
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0)
        return;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        plainSignals();
        closeInherited(toChild[0], fromChild[1]);
        holdLine(path.c_str(), hold, toChild[0], fromChild[1]);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    m_requests = toChild[1];
    m_answers = fromChild[0];
    if (m_pid < 0)
        return;
    pollfd p{m_answers, POLLIN, 0};
    char answer = 0;
    m_holding = poll(&p, 1, kAnswerWaitMs) == 1 && ::read(m_answers, &answer, 1) == 1 && answer == '1';
}

LineHolder::~LineHolder()
{
    release();
    if (m_requests >= 0)
        ::close(m_requests);
    if (m_answers >= 0)
        ::close(m_answers);
}

int LineHolder::ask(char request)
{
    if (!m_holding || ::write(m_requests, &request, 1) != 1)
        return -1;
    pollfd p{m_answers, POLLIN, 0};
    unsigned char answer = 0;
    if (poll(&p, 1, kAnswerWaitMs) != 1 || ::read(m_answers, &answer, 1) != 1)
        return -1;
    return answer;
}

bool LineHolder::markSet()
{
    return ask('m') == '1';
}

bool LineHolder::writeLine()
{
    return ask('w') == '1';
}

int LineHolder::readByte()
{
    const int answer = ask('r');
    return answer > 0 ? answer : -1;
}

bool LineHolder::release()
{
    if (m_pid <= 0)
        return false;
    const bool answered = ask('q') == '1';
    m_holding = false;
    // The child has let go once it answered; a child that did not is ended.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_pid = -1;
    return answered;
}
