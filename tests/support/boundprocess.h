// A child process that ends with the test (or benchmark) that started it. A
// test killed outright, by a CTest time-out or a stopped CI job, runs no
// destructor that could end its children, so the kernel does: the child is
// killed once its parent goes (PR_SET_PDEATHSIG, which an exec keeps). A
// child whose parent went before it could ask for that ends at once.
//
// The kernel ties the child to the thread that started it: start it from a
// thread that outlives it (a test's main thread).
#pragma once

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

class BoundProcess : public QProcess {
public:
    using QProcess::QProcess;

protected:
    // In the child, between fork and exec.
    void setupChildProcess() override
    {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != m_parent)
            ::_exit(127);
    }

private:
    const pid_t m_parent = ::getpid();
};
