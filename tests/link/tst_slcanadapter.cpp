#include "canopen/node.h"
#include "canopen/port.h"
#include "link/slcanadapter.h"
#include "sim/simadapter.h"
#include "taskstats.h"

#include <QDir>
#include <QTest>

#include <chrono>
#include <mutex>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
long msSince(Clock::time_point t)
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

int entries(const char* dir)
{
    return QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

CanHandle openOn(SimAdapter& sim, const char* speed = "4800")
{
    CanBoard board{sim.slavePath().toStdString(), speed};
    return slcanAdapterOpen(&board);
}

// Closes the adapter also when a check fails, so no writer outlives a test.
struct OpenAdapter {
    explicit OpenAdapter(SimAdapter& sim) : handle(openOn(sim)) {}
    ~OpenAdapter()
    {
        if (handle)
            slcanAdapterClose(handle);
    }
    const CanHandle handle;
};

CanFrame numbered(uint16_t id, uint8_t n)
{
    CanFrame f;
    f.id = id;
    f.len = 1;
    f.data[0] = n;
    return f;
}

// The writer's own write times, as its seam reports them.
std::mutex writesMutex;
std::vector<std::pair<Clock::time_point, Clock::time_point>> writes;
void recordWrite(Clock::time_point began, Clock::time_point completed)
{
    std::lock_guard<std::mutex> lock(writesMutex);
    writes.emplace_back(began, completed);
}
}

class TstSlcanAdapter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { bindCanAdapterDriver(); }

    void openSendsOAtTheSpeed_data()
    {
        QTest::addColumn<QString>("speed");
        QTest::addColumn<int>("code");
        QTest::newRow("bus access") << "4800" << int(B4800);
        QTest::newRow("no bus access") << "2400" << int(B2400);
    }
    void openSendsOAtTheSpeed()
    {
        QFETCH(QString, speed);
        QFETCH(int, code);
        SimAdapter sim;
        QVERIFY(sim.ok());
        const CanHandle h = openOn(sim, speed.toLatin1().constData());
        QVERIFY(h);
        QVERIFY(sim.waitForLines(1, 1000));
        QCOMPARE(sim.lines().first(), QString("O"));
        termios tio;
        QCOMPARE(tcgetattr(sim.masterFd(), &tio), 0);
        QCOMPARE(int(cfgetispeed(&tio)), code);
        QCOMPARE(int(tio.c_cflag & CSIZE), int(CS8));
        QVERIFY(!(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS)));

        QCOMPARE(slcanAdapterSetBitRate(h, "5"), uint8_t(0));
        QVERIFY(sim.waitForLines(2, 1000));
        QCOMPARE(sim.lines().at(1), QString("S5"));
        QCOMPARE(sim.bitRateCode(), '5');
        QCOMPARE(slcanAdapterClose(h), uint8_t(1));
        QVERIFY(sim.waitForLines(3, 1000));
        QCOMPARE(sim.lines().last(), QString("C"));
    }

    void openRefusesWhatIsNotThere_data()
    {
        QTest::addColumn<QString>("bus");
        QTest::addColumn<QString>("speed");
        QTest::newRow("missing device") << "/dev/does-not-exist" << "4800";
        QTest::newRow("bare number") << "3" << "4800";
        QTest::newRow("empty") << "" << "4800";
        QTest::newRow("speed text") << "/dev/null" << "fast";
    }
    void openRefusesWhatIsNotThere()
    {
        QFETCH(QString, bus);
        QFETCH(QString, speed);
        CanBoard board{bus.toStdString(), speed.toStdString()};
        QCOMPARE(slcanAdapterOpen(&board), CanHandle(0));
        CanOpenNode node;
        QVERIFY(!openCanPort(&board, &node));
        QVERIFY(!node.port);
    }

    void framesLeaveInQueueOrderOnePerMillisecond()
    {
        SimAdapter sim;
        OpenAdapter open(sim);
        const CanHandle h = open.handle;
        QVERIFY(h);
        {
            std::lock_guard<std::mutex> lock(writesMutex);
            writes.clear();
        }
        setSlcanWriteObserver(recordWrite);
        const auto start = Clock::now();
        for (uint8_t i = 0; i < 20; ++i) {
            CanOpenLock lock;
            const CanFrame f = numbered(0x600 + i, i);
            QCOMPARE(slcanAdapterSend(h, &f), uint8_t(0));
        }
        CanFrame tooLong;
        tooLong.len = 9;
        QCOMPARE(slcanAdapterSend(h, &tooLong), uint8_t(1));
        QVERIFY(sim.waitForLines(21, 2000));
        // Twenty lines need at least nineteen gaps of 1 ms.
        QVERIFY(msSince(start) >= 19);
        const QStringList lines = sim.lines();
        for (int i = 0; i < 20; ++i)
            QCOMPARE(lines.at(1 + i), QString::fromLatin1(SimAdapter::frameLine(numbered(0x600 + i, uint8_t(i))).chopped(1)));
        slcanAdapterClose(h);
        setSlcanWriteObserver(nullptr);
        QVERIFY(sim.waitForLines(22, 1000));
        QCOMPARE(sim.lines().size(), 22); // nothing of the refused frame
        // Each write began at least 1 ms after the previous one completed.
        std::lock_guard<std::mutex> lock(writesMutex);
        QCOMPARE(int(writes.size()), 20);
        for (size_t i = 1; i < writes.size(); ++i) {
            const auto gap = writes[i].first - writes[i - 1].second;
            QVERIFY2(gap >= std::chrono::milliseconds(1),
                     qPrintable(QString("write %1 began %2 us after the previous one completed")
                                    .arg(i)
                                    .arg(std::chrono::duration_cast<std::chrono::microseconds>(gap).count())));
        }
    }

    // With nothing queued the writer sleeps: an open, idle link costs no
    // wake-ups of its own.
    void idleWriterSleeps()
    {
        SimAdapter sim;
        OpenAdapter open(sim);
        QVERIFY(open.handle);
        const CanFrame f = numbered(0x601, 1);
        {
            CanOpenLock lock;
            QCOMPARE(slcanAdapterSend(open.handle, &f), uint8_t(0)); // the writer exists from the first send
        }
        // A bound for a busy machine only: the line normally arrives within a millisecond.
        QVERIFY(sim.waitForLines(2, 5000));
        const TaskStats before = taskNamed("slcan-writer");
        QVERIFY(!before.name.isEmpty());
        QTest::qWait(2000);
        const TaskStats after = taskNamed("slcan-writer");
        QVERIFY(!after.name.isEmpty());
        const long woke = after.voluntarySwitches - before.voluntarySwitches;
        QVERIFY2(woke <= 3, qPrintable(QString("the idle writer woke %1 times in 2 s").arg(woke)));
    }

    // A send racing a close must not start a writer behind it: after the
    // close the handle is refused and nothing follows the C line.
    void sendAfterCloseIsRefused()
    {
        SimAdapter sim;
        const CanHandle h = openOn(sim);
        QVERIFY(h);
        QCOMPARE(slcanAdapterClose(h), uint8_t(1));
        QVERIFY(sim.waitForLines(2, 1000));
        const CanFrame f = numbered(0x601, 1);
        {
            CanOpenLock lock;
            QCOMPARE(slcanAdapterSend(h, &f), uint8_t(1));
        }
        QTest::qWait(50);
        QCOMPARE(sim.lines(), (QStringList{"O", "C"}));
    }

    void receiveJoinsSplitLinesAndSkipsNoise()
    {
        SimAdapter sim;
        const CanHandle h = openOn(sim);
        QVERIFY(h);
        sim.sendRaw("\a~~noise~~\r");
        sim.setSplitDelayMs(30);
        CanFrame a = numbered(0x581, 0x42);
        sim.sendFrame(a);
        sim.setSplitDelayMs(0);
        sim.sendRaw(SimAdapter::frameLine(numbered(0x701, 0), true) + SimAdapter::frameLine(numbered(0x182, 7)));
        QList<uint16_t> ids;
        uint8_t lastByte = 0;
        CanFrame out[CAN_RECEIVE_BATCH];
        const auto start = Clock::now();
        while (ids.size() < 3 && msSince(start) < 3000) {
            const uint8_t n = slcanAdapterReceive(h, out);
            for (uint8_t i = 0; i < n; ++i) {
                ids << out[i].id;
                lastByte = out[i].data[0];
            }
        }
        QCOMPARE(ids, (QList<uint16_t>{0x581, 0x701, 0x182}));
        QCOMPARE(lastByte, uint8_t(7));
        slcanAdapterClose(h);
    }

    void silentAndUnpluggedLinesEndReadsInBound()
    {
        SimAdapter sim;
        const CanHandle h = openOn(sim);
        CanFrame out[CAN_RECEIVE_BATCH];
        QVERIFY(sim.waitForLines(1, 1000));
        QTest::qWait(50);
        slcanAdapterReceive(h, out); // the acknowledgement of O
        auto start = Clock::now();
        QCOMPARE(slcanAdapterReceive(h, out), uint8_t(0));
        QVERIFY(msSince(start) >= 450 && msSince(start) < 1500);
        sim.closeLine();
        start = Clock::now();
        QCOMPARE(slcanAdapterReceive(h, out), uint8_t(0));
        QVERIFY(msSince(start) < 1000);
        start = Clock::now();
        slcanAdapterClose(h);
        QVERIFY(msSince(start) < 1500);
    }

    // Through the port layer: a receive thread runs while the port is open.
    void closeSendsCAndReturnsWithinASecond()
    {
        SimAdapter sim;
        CanOpenNode node;
        CanBoard board{sim.slavePath().toStdString(), "4800"};
        CanPort* port = openCanPort(&board, &node);
        QVERIFY(port);
        QCOMPARE(node.port, port);
        {
            CanOpenLock lock;
            const CanFrame f = numbered(0x601, 1);
            QCOMPARE(sendCanFrame(port, &f), uint8_t(0));
        }
        QVERIFY(sim.waitForLines(2, 1000));
        QTest::qWait(100); // the receive thread is now inside its 500 ms read
        const auto start = Clock::now();
        QCOMPARE(closeCanPort(&node), uint8_t(1));
        QVERIFY2(msSince(start) < 1100, qPrintable(QString::number(msSince(start))));
        QVERIFY(!node.port);
        QVERIFY(sim.waitForLines(3, 1000));
        QCOMPARE(sim.lines().last(), QString("C"));
        QCOMPARE(closeCanPort(&node), uint8_t(0));
        const CanFrame f = numbered(0x601, 2);
        QCOMPARE(sendCanFrame(nullptr, &f), uint8_t(1));
    }

    void reopenClosesTheOldPortFirst()
    {
        SimAdapter first, second;
        CanOpenNode node;
        CanBoard a{first.slavePath().toStdString(), "4800"}, b{second.slavePath().toStdString(), "4800"};
        QVERIFY(openCanPort(&a, &node));
        QVERIFY(openCanPort(&b, &node));
        QVERIFY(first.waitForLines(2, 1000));
        QCOMPARE(first.lines(), (QStringList{"O", "C"}));
        closeCanPort(&node);
    }

    void cyclesLeakNoDescriptorOrThread()
    {
        SimAdapter sim;
        CanOpenNode node;
        CanBoard board{sim.slavePath().toStdString(), "4800"};
        // One warm-up cycle, so lazily created things exist before counting.
        QVERIFY(openCanPort(&board, &node));
        closeCanPort(&node);
        const int fds = entries("/proc/self/fd"), threads = entries("/proc/self/task");
        for (int i = 0; i < 50; ++i) {
            CanPort* port = openCanPort(&board, &node);
            QVERIFY(port);
            {
                CanOpenLock lock;
                const CanFrame f = numbered(0x601, uint8_t(i));
                sendCanFrame(port, &f);
            }
            closeCanPort(&node);
        }
        QCOMPARE(entries("/proc/self/fd"), fds);
        // A joined thread leaves the task list a moment after the join.
        QTRY_COMPARE_WITH_TIMEOUT(entries("/proc/self/task"), threads, 2000);
    }

    // The simulated adapter serves for days: it keeps the latest lines up to
    // its limit and counts them all, so its cost per line stays the same.
    void simulatedAdapterKeepsTheLatestLines_data()
    {
        QTest::addColumn<int>("limit"); // -1: the default
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("none") << 0 << QStringList();
        QTest::newRow("the last three") << 3 << QStringList{"x7", "x8", "x9"};
        QTest::newRow("default keeps a test's all") << -1
                                                    << QStringList{"x0", "x1", "x2", "x3", "x4",
                                                                   "x5", "x6", "x7", "x8", "x9"};
    }
    void simulatedAdapterKeepsTheLatestLines()
    {
        QFETCH(int, limit);
        QFETCH(QStringList, kept);
        SimAdapter sim;
        QVERIFY(sim.ok());
        if (limit >= 0)
            sim.setHistoryLimit(size_t(limit));
        const int host = ::open(sim.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(host >= 0);
        QByteArray text;
        for (int i = 0; i < 10; ++i)
            text += "x" + QByteArray::number(i) + "\r";
        QCOMPARE(::write(host, text.constData(), size_t(text.size())), ssize_t(text.size()));
        QVERIFY(sim.waitForLines(10, 5000));
        QCOMPARE(sim.lineCount(), int64_t(10));
        QCOMPARE(sim.lines(), kept);
        QCOMPARE(int(sim.lineTimesUs().size()), kept.size());
        // A lower limit drops the oldest at once.
        sim.setHistoryLimit(1);
        QCOMPARE(sim.lines(), kept.mid(kept.size() - 1));
        ::close(host);
    }
};

QTEST_GUILESS_MAIN(TstSlcanAdapter)
#include "tst_slcanadapter.moc"
