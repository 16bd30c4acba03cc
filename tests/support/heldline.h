// Tests of a serial line another program holds: the line, a raw pty at a speed
// no user of it sets, so a change of its settings would show; and the ways
// the other program holds it, as rows of a data-driven test.
#pragma once

#include "lineholder.h"

#include <QByteArray>
#include <QTest>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

struct RawPty {
    RawPty()
    {
        termios tio;
        cfmakeraw(&tio);
        cfsetspeed(&tio, B9600);
        ok = openpty(&master, &slave, name, &tio, nullptr) == 0;
    }
    ~RawPty()
    {
        if (ok) {
            ::close(master);
            ::close(slave);
        }
    }
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;

    bool masterHasInput() const
    {
        pollfd p{master, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    }
    // Up to n bytes written to the line, each within a second of the last.
    QByteArray readMaster(int n)
    {
        QByteArray got;
        char buf[64];
        while (got.size() < n) {
            pollfd p{master, POLLIN, 0};
            const int r = ::poll(&p, 1, 1000);
            const ssize_t m = r == 1 ? ::read(master, buf, sizeof buf) : -1;
            if (m <= 0)
                break;
            got.append(buf, int(m));
        }
        return got;
    }
    // The exclusive mark as the slave side sees it; -1 when it cannot be read.
    int mark() const
    {
        int marked = -1;
        return ioctl(slave, TIOCGEXCL, &marked) == 0 ? marked : -1;
    }

    bool ok = false;
    int master = -1, slave = -1;
    char name[256] = {};
};

// A column "hold" (LineHolder::Hold flags) and a row for each way.
inline void addHeldLineRows()
{
    QTest::addColumn<int>("hold");
    QTest::newRow("exclusive mark") << int(LineHolder::Mark);
    QTest::newRow("advisory lock") << int(LineHolder::Lock);
    QTest::newRow("mark and lock") << int(LineHolder::Mark | LineHolder::Lock);
}
