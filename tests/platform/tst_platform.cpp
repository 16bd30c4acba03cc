#include "platform/boundedthread.h"
#include "platform/oneshottimer.h"
#include "platform/serialport.h"
#include "platform/tick.h"
#include "boundprocess.h"
#include "heldline.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
uint32_t fakeNow = 0;
uint32_t fakeTick() { return fakeNow; }

int markOn(int fd)
{
    int marked = -1;
    return ioctl(fd, TIOCGEXCL, &marked) == 0 ? marked : -1;
}

// The pid in holderparent's line "holder <pid>", 0 in its other lines.
pid_t holderPid(const QByteArray& line)
{
    return line.startsWith("holder ") ? pid_t(line.mid(7).trimmed().toInt()) : 0;
}

// Gone, or a zombie nobody has reaped yet.
bool processGone(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int afterName = text.lastIndexOf(')');
    return afterName < 0 || text.mid(afterName + 2, 1) == "Z";
}

using Clock = std::chrono::steady_clock;
long msSince(Clock::time_point t)
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}
}

class TstPlatform : public QObject {
    Q_OBJECT
private slots:
    void devicePath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("usb") << "ttyUSB0" << "/dev/ttyUSB0";
        QTest::newRow("acm two digits") << "ttyACM12" << "/dev/ttyACM12";
        QTest::newRow("path kept whole") << "/dev/serial/by-id/usb-x-if00" << "/dev/serial/by-id/usb-x-if00";
        QTest::newRow("pty path") << "/dev/pts/7" << "/dev/pts/7";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("bare number") << "12" << "";
    }
    void devicePath()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(QString::fromStdString(SerialPort::devicePath(name.toStdString())), path);
    }

    void tickWrapsAndCanBeReplaced()
    {
        setPlatformTickSource(fakeTick);
        fakeNow = 0xFFFFFFF0u;
        const uint32_t before = platformTickMs();
        fakeNow += 0x20;
        QCOMPARE(uint32_t(platformTickMs() - before), 0x20u);
        setPlatformTickSource(nullptr);
        const uint32_t a = platformTickMs();
        QTest::qWait(20);
        QVERIFY(uint32_t(platformTickMs() - a) >= 19);
    }

    void timerNeverFiresEarly_data()
    {
        QTest::addColumn<int>("ms");
        QTest::newRow("0") << 0;
        QTest::newRow("5") << 5;
        QTest::newRow("40") << 40;
    }
    void timerNeverFiresEarly()
    {
        QFETCH(int, ms);
        OneShotTimer timer;
        const auto start = Clock::now();
        timer.arm(uint32_t(ms));
        QVERIFY(timer.wait());
        QVERIFY(msSince(start) >= ms);
        QVERIFY(!timer.armed());
    }

    void rearmReplacesAndStopWakes()
    {
        OneShotTimer timer;
        timer.arm(1000);
        Clock::time_point rearmed;
        // Re-armed while the waiter waits on the first deadline.
        std::thread rearm([&] {
            while (timer.waiters() == 0)
                std::this_thread::yield();
            rearmed = Clock::now();
            timer.arm(20);
        });
        QVERIFY(timer.wait());
        rearm.join();
        QVERIFY(msSince(rearmed) >= 20);
        QVERIFY(msSince(rearmed) < 900);

        // An idle waiter is woken by stop and told so.
        std::atomic<int> result{-1};
        std::thread waiter([&] { result = timer.wait() ? 1 : 0; });
        QTRY_COMPARE(timer.waiters(), 1);
        timer.stop();
        waiter.join();
        QCOMPARE(result.load(), 0);
        timer.clearStop();
        timer.arm(0);
        QVERIFY(timer.wait());
    }

    void boundedJoin()
    {
        BoundedThread t;
        std::atomic<bool> stop{false};
        t.start([&] { while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        stop = true;
        QVERIFY(t.join(1000));
        QVERIFY(!t.running());
    }

    void serialIsRaw8N1AndWakes_data()
    {
        QTest::addColumn<int>("bps");
        QTest::addColumn<int>("code");
        QTest::newRow("2400") << 2400 << int(B2400);
        QTest::newRow("4800") << 4800 << int(B4800);
    }
    void serialIsRaw8N1AndWakes()
    {
        QFETCH(int, bps);
        QFETCH(int, code);
        int master, slave;
        char name[256];
        QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
        SerialPort port;
        QVERIFY2(port.open(name, uint32_t(bps)), port.error().c_str());
        termios tio;
        QCOMPARE(tcgetattr(master, &tio), 0);
        QCOMPARE(int(cfgetospeed(&tio)), code);
        QCOMPARE(int(tio.c_cflag & CSIZE), int(CS8));
        QVERIFY(!(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS)));
        QVERIFY(!(tio.c_lflag & (ICANON | ECHO)));
        QVERIFY(!(tio.c_iflag & (IXON | IXOFF | ICRNL)));

        // One owner: a second port on the same line in this process is
        // refused, root or not, and leaves the first one's line alone.
        SerialPort second;
        QVERIFY(!second.open(name, uint32_t(bps)));
        QCOMPARE(QString::fromStdString(second.error()), QString(name) + ": " + std::strerror(EBUSY));
        second.close();
        QCOMPARE(markOn(slave), 1);

        QVERIFY(port.write("O\r", 2, 500));
        char buf[8] = {};
        QCOMPARE(int(::read(master, buf, sizeof buf)), 2);
        QCOMPARE(QByteArray(buf, 2), QByteArray("O\r"));

        // A read with nothing coming ends on its bound, or at once when woken.
        auto start = Clock::now();
        QCOMPARE(port.read(buf, sizeof buf, 50), 0);
        QVERIFY(msSince(start) >= 45);
        std::thread waker([&] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); port.wake(); });
        start = Clock::now();
        QCOMPARE(port.read(buf, sizeof buf, 5000), 0);
        waker.join();
        QVERIFY(msSince(start) < 1000);

        // The other end hanging up is a failure, not a silent zero.
        ::close(slave);
        ::close(master);
        QCOMPARE(port.read(buf, sizeof buf, 500), -1);
    }

    // Root passes the exclusive mark on open: the port must still keep off a
    // line another program holds, leave that program's line as it was, and
    // take the line once it is free.
    void serialRefusesALineHeldElsewhere_data() { addHeldLineRows(); }
    void serialRefusesALineHeldElsewhere()
    {
        QFETCH(int, hold);
        RawPty pty;
        QVERIFY(pty.ok);
        LineHolder holder(pty.name, hold);
        QVERIFY(holder.holding());
        termios before, after;
        QCOMPARE(tcgetattr(pty.slave, &before), 0);

        SerialPort port;
        QVERIFY(!port.open(pty.name, 4800));
        QCOMPARE(QString::fromStdString(port.error()), QString(pty.name) + ": " + std::strerror(EBUSY));
        port.close();
        QVERIFY(!port.isOpen());

        // The holder's line is untouched: same settings, its mark as it was,
        // and the first bytes the other end sees are the holder's own.
        QCOMPARE(tcgetattr(pty.slave, &after), 0);
        QCOMPARE(int(cfgetospeed(&after)), int(B9600));
        QCOMPARE(after.c_cflag, before.c_cflag);
        QCOMPARE(after.c_iflag, before.c_iflag);
        QCOMPARE(after.c_lflag, before.c_lflag);
        QCOMPARE(holder.markSet(), bool(hold & LineHolder::Mark));
        QVERIFY(holder.writeLine());
        QCOMPARE(pty.readMaster(2), QByteArray(LineHolder::kLine));
        QCOMPARE(::write(pty.master, "x", 1), ssize_t(1));
        QCOMPARE(holder.readByte(), int('x'));

        QVERIFY(holder.release());
        QVERIFY2(port.open(pty.name, 4800), port.error().c_str());
        QCOMPARE(markOn(pty.slave), 1);
        port.close();
        QCOMPARE(markOn(pty.slave), 0);
    }

    // A test killed while its holder runs (a time-out of CTest): the holder
    // lets go and ends at once, without taking the broken pipe of its last
    // answer for a crash and running a debugger into the killed test's output.
    void holderEndsQuietlyWithAKilledTest()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        BoundProcess test;
        test.setStandardErrorFile(dir.filePath("stderr"));
        test.start(QStringLiteral(HOLDER_PARENT), QStringList());
        QVERIFY(test.waitForStarted(5000));
        pid_t holder = 0;
        const auto holderKnown = [&] {
            while (holder <= 0 && test.canReadLine())
                holder = holderPid(test.readLine());
            return holder > 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(holderKnown(), 10000);
        QCOMPARE(::kill(pid_t(test.processId()), SIGKILL), 0);
        QVERIFY(test.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(processGone(holder), 3000);
        QFile err(dir.filePath("stderr"));
        QVERIFY(err.open(QIODevice::ReadOnly));
        const QByteArray output = err.readAll();
        QVERIFY2(!output.contains("Received signal"), output.constData());
    }

    void serialRefusesBadNamesAndSpeeds()
    {
        SerialPort port;
        QVERIFY(!port.open("", 2400));
        QVERIFY(!port.open("3", 2400));
        QVERIFY(!port.open("/nonexistent/tty", 2400));
        QVERIFY(!port.error().empty());
        int master, slave;
        char name[256];
        QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
        QVERIFY(!port.open(name, 12345));
        ::close(master);
        ::close(slave);
    }
};

QTEST_GUILESS_MAIN(TstPlatform)
#include "tst_platform.moc"
