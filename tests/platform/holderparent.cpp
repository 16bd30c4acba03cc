// A test that holds a pty through a LineHolder and is killed while it does:
// it prints "holder" and the holder's pid, then waits (at most a minute) for the end of its
// standard input. The holder inherits this test's crash handlers with the fork.
#include "lineholder.h"

#include <QTest>

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <pty.h>
#include <sys/prctl.h>
#include <unistd.h>

class HolderParent : public QObject {
    Q_OBJECT
private slots:
    void holdUntilKilled()
    {
        // Goes with the test that started it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        int master = -1, slave = -1;
        char name[256] = {};
        QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
        LineHolder holder(name, LineHolder::Mark | LineHolder::Lock);
        QVERIFY(holder.holding());
        std::printf("holder %d\n", int(holder.pid()));
        std::fflush(stdout);
        pollfd in{STDIN_FILENO, POLLIN, 0};
        ::poll(&in, 1, 60000);
        ::close(master);
        ::close(slave);
    }
};

QTEST_GUILESS_MAIN(HolderParent)
#include "holderparent.moc"
