// The synchronous SDO access and the link open/close sequence over a pty,
// against the simulated adapter with a CANopen device behind it.
#include "canopen/node.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "link/subindexcount.h"
#include "sim/simdevice.h"

#include <QDir>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <termios.h>
#include <thread>

namespace {
const uint8_t kDevice = 0x22;
const uint32_t kReadOnly = 0x06010002;
using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t)
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

int entries(const char* dir)
{
    return QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

QByteArray counting(int n, int start = 1)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(start + i));
    return b;
}

// Upload initiates for the object that the host put on the wire.
int uploadInitiates(const SimAdapter& adapter, uint16_t index, uint8_t subIndex)
{
    CanFrame f;
    f.id = uint16_t(0x600 + kDevice);
    f.len = 8;
    f.data[0] = 0x40;
    f.data[1] = uint8_t(index);
    f.data[2] = uint8_t(index >> 8);
    f.data[3] = subIndex;
    return adapter.lines().count(QString::fromLatin1(SimAdapter::frameLine(f).chopped(1)));
}

QByteArray u16(uint16_t v)
{
    QByteArray b;
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
    return b;
}

// A device on a pty with the link open to it, closed again before the
// device goes.
struct LinkedDevice {
    explicit LinkedDevice(const QString& bitRate = "250000", int canBusAccess = 0)
    {
        SimCanDevice& d = sim.device;
        d.addObject(0x2000, 1, CO_UNSIGNED16, u16(0x0107));
        d.addObject(0x2001, 0, CO_UNSIGNED8, QByteArray(1, char(7)));
        d.addObject(0x2002, 0, CO_UNSIGNED8, QByteArray(1, char(3)));
        d.addObject(0x3000, 0, CO_DOMAIN, counting(4));
        d.addObject(0x3001, 0, CO_UNSIGNED32, QByteArray::fromHex("11223344"));
        d.addObject(0x3002, 0, CO_UNSIGNED32, QByteArray::fromHex("55667788"));
        d.addObject(0x3003, 0, CO_DOMAIN, counting(71));
        d.addObject(0x3004, 0, CO_UNSIGNED32, QByteArray::fromHex("01020304"), SimCanDevice::ReadOnly);
        d.addObject(0x3005, 1, CO_UNSIGNED8, QByteArray(1, char(1)));
        result = openCanLink(sim.adapter.slavePath(), canBusAccess, bitRate,
                             [this](const QString& m, bool ok) { log << (ok ? "+" : "-") + m; });
        if (result == CAN_LINK_OPEN)
            pointSdoClientAt(kDevice);
    }
    ~LinkedDevice() { closeCanLink(nullptr); }
    SimDeviceOnPty sim{kDevice};
    CanLinkResult result = CAN_LINK_NO_PORT;
    QStringList log;
};
}

class TstSdoAccess : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        setSdoDelayBeforeWaitMs(0);
        setSdoStackWaitMs(0);
    }

    void openSendsOpenBitRateAndBootUp_data()
    {
        QTest::addColumn<QString>("bitRate");
        QTest::addColumn<int>("access");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("speed");
        QTest::newRow("250k, bus access") << "250000" << 0 << "S5" << int(B4800);
        QTest::newRow("1M, no bus access") << "1000000" << 1 << "S8" << int(B2400);
        QTest::newRow("unknown rate") << "50000" << 0 << "S2" << int(B4800);
    }
    void openSendsOpenBitRateAndBootUp()
    {
        QFETCH(QString, bitRate);
        QFETCH(int, access);
        QFETCH(QString, command);
        QFETCH(int, speed);
        const int threads = entries("/proc/self/task");
        {
            LinkedDevice link(bitRate, access);
            QCOMPARE(link.result, CAN_LINK_OPEN);
            QVERIFY(isCanLinkOpen());
            QVERIFY(link.sim.adapter.waitForLines(3, 1000));
            QCOMPARE(link.sim.adapter.lines().mid(0, 3), (QStringList{"O", command, "t7011" "00"}));
            termios tio;
            QCOMPARE(tcgetattr(link.sim.adapter.masterFd(), &tio), 0);
            QCOMPARE(int(cfgetispeed(&tio)), speed);
            QVERIFY(link.log.isEmpty());

            QVERIFY(closeCanLink(nullptr));
            QVERIFY(!isCanLinkOpen());
            QTRY_COMPARE(link.sim.adapter.lines().last(), QString("C"));
            QVERIFY(!link.sim.adapter.channelOpen());
        }
        // A joined thread leaves the task list a moment after the join.
        QTRY_COMPARE_WITH_TIMEOUT(entries("/proc/self/task"), threads, 2000);
    }

    void openFailureIsLoggedAndLeavesNothingOpen_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("reason"); // as the system gives it
        const QString noEntry = QString::fromLocal8Bit(std::strerror(ENOENT));
        QTest::newRow("no such path") << "/nonexistent/ttyUSB9" << "/nonexistent/ttyUSB9: " + noEntry;
        QTest::newRow("no such device name") << "ttyNoSuchAdapter" << "/dev/ttyNoSuchAdapter: " + noEntry;
        QTest::newRow("windows name") << "COM3" << "/dev/COM3: " + noEntry;
        QTest::newRow("empty") << "" << "no such port: ''";
        QTest::newRow("not a terminal") << "/dev/null" << "/dev/null: " + QString::fromLocal8Bit(std::strerror(ENOTTY));
    }
    void openFailureIsLoggedAndLeavesNothingOpen()
    {
        QFETCH(QString, port);
        QFETCH(QString, reason);
        const int threads = entries("/proc/self/task");
        QStringList log;
        QString portFailure;
        QCOMPARE(openCanLink(
                     port, 0, "250000", [&](const QString& m, bool ok) { log << (ok ? "+" : "-") + m; }, &portFailure),
                 CAN_LINK_NO_PORT);
        QCOMPARE(log, QStringList{"-Не удалось установить usb-can соединение. " + reason});
        QCOMPARE(portFailure, reason);
        QVERIFY(!isCanLinkOpen());
        QTRY_COMPARE_WITH_TIMEOUT(entries("/proc/self/task"), threads, 2000);
        // Nothing open: a request fails at once, close has nothing to do.
        const auto start = Clock::now();
        QVERIFY(!sdoReadOnce(kDevice, 0x2001, 0, CO_UNSIGNED8, 800).ok);
        QVERIFY(msSince(start) < 100);
        QVERIFY(closeCanLink(nullptr));
    }

    void readsAndWritesEveryLength_data()
    {
        QTest::addColumn<int>("length");
        for (int n : {1, 2, 3, 4, 5, 7, 8, 14, 15, 69, 70})
            QTest::addRow("%d bytes", n) << n;
    }
    void readsAndWritesEveryLength()
    {
        QFETCH(int, length);
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        const QByteArray value = counting(length, 0x40);
        const SdoOutcome written = sdoWrite(kDevice, 0x3000, 0, CO_DOMAIN, value, 800);
        QVERIFY(written.ok);
        QCOMPARE(written.abortCode, 0u);
        QCOMPARE(link.sim.device.value(0x3000, 0), value);
        QCOMPARE(sdoExchange().success, uint8_t(1));

        const SdoOutcome read = sdoRead(kDevice, 0x3000, 0, CO_DOMAIN, 800);
        QVERIFY(read.ok);
        QCOMPARE(read.data, value);
        QCOMPARE(sdoExchange().resultLength, uint32_t(length));
        QCOMPARE(link.sim.device.requestsSeen() >= 2, true);
    }

    void abortCodesReachTheCallerByName_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("sub");
        QTest::addColumn<uint>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("knob"); // the device is told to abort with the code
        QTest::newRow("write to read-only") << true << 0x3004 << 0 << kReadOnly << "OD_WRITE_NOT_ALLOWED" << false;
        QTest::newRow("no such object") << false << 0x4444 << 0 << 0x06020000u << "OD_NO_SUCH_OBJECT" << false;
        QTest::newRow("no such sub-index") << false << 0x3005 << 9 << 0x06090011u << "OD_NO_SUCH_SUBINDEX" << false;
        QTest::newRow("wrong length") << true << 0x3001 << 0 << 0x06070010u << "OD_LENGTH_DATA_INVALID" << false;
        QTest::newRow("general error") << false << 0x3002 << 0 << 0x08000000u << "SDOABT_GENERAL_ERROR" << true;
        QTest::newRow("code without a name") << false << 0x3001 << 0 << 0x06040047u << "" << true;
    }
    void abortCodesReachTheCallerByName()
    {
        QFETCH(bool, write);
        QFETCH(int, index);
        QFETCH(int, sub);
        QFETCH(uint, code);
        QFETCH(QString, name);
        QFETCH(bool, knob);
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        if (knob)
            link.sim.device.setAbort(uint16_t(index), uint8_t(sub), code);
        const QByteArray value = index == 0x3001 ? counting(2) : counting(4);
        const SdoOutcome out = write ? sdoWriteOnce(kDevice, uint16_t(index), uint8_t(sub), CO_UNSIGNED32, value, 800)
                                     : sdoReadOnce(kDevice, uint16_t(index), uint8_t(sub), CO_UNSIGNED32, 800);
        QVERIFY(!out.ok);
        QCOMPARE(out.abortCode, code);
        QCOMPARE(sdoExchange().success, uint8_t(0));
        QCOMPARE(sdoExchange().abortCode, code);
        QCOMPARE(sdoAbortCodeName(out.abortCode), name);
        if (index == 0x3004)
            QCOMPARE(link.sim.device.value(0x3004, 0), QByteArray::fromHex("01020304"));
        // The aborted line is free again.
        QVERIFY(sdoReadOnce(kDevice, 0x2001, 0, CO_UNSIGNED8, 800).ok);
    }

    void oversizeValuesFailWithoutHarm()
    {
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        // 71 bytes do not fit the 70-byte buffer: a local failure, line freed.
        const SdoOutcome big = sdoReadOnce(kDevice, 0x3003, 0, CO_DOMAIN, 800);
        QVERIFY(!big.ok);
        QCOMPARE(big.abortCode, 0u);
        QVERIFY(big.data.isEmpty());
        QCOMPARE(sdoReadOnce(kDevice, 0x2001, 0, CO_UNSIGNED8, 800).data, QByteArray(1, char(7)));

        // Writes the buffer cannot hold, or of nothing, never reach the bus.
        const int seen = link.sim.device.requestsSeen();
        QVERIFY(!sdoWriteOnce(kDevice, 0x3000, 0, CO_DOMAIN, counting(71), 800).ok);
        QVERIFY(!sdoWrite(kDevice, 0x3000, 0, CO_DOMAIN, counting(1000), 800).ok);
        QVERIFY(!sdoWriteOnce(kDevice, 0x3000, 0, CO_DOMAIN, QByteArray(), 800).ok);
        // Nor do requests to ids that are no node id.
        for (uint8_t id : {uint8_t(0), uint8_t(128), uint8_t(245), uint8_t(255)}) {
            QVERIFY(!sdoReadOnce(id, 0x2001, 0, CO_UNSIGNED8, 800).ok);
            QVERIFY(!probeCanDevice(id).ok);
        }
        QTest::qWait(50);
        QCOMPARE(link.sim.device.requestsSeen(), seen);
        QCOMPARE(link.sim.device.value(0x3000, 0), counting(4));
    }

    void storedEdsComesWhole()
    {
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        const QByteArray eds = counting(2000);
        link.sim.device.addObject(0x1021, 0, CO_DOMAIN, eds);
        const SdoOutcome out = sdoReadEdsOnce(kDevice, SDO_WAIT_STACK_TIMEOUT);
        QVERIFY(out.ok);
        QCOMPARE(out.data, eds);
    }

    void answerBeforeTheWaitStillWakes()
    {
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        QVERIFY(sdoReadOnce(kDevice, 0x2001, 0, CO_UNSIGNED8, 800).ok);
        // The device answers within a millisecond; the requester only starts
        // waiting 150 ms after scheduling, long after the completion.
        setSdoDelayBeforeWaitMs(150);
        for (int i = 0; i < 3; ++i) {
            const auto start = Clock::now();
            const SdoOutcome out = sdoReadOnce(kDevice, 0x3001, 0, CO_UNSIGNED32, 800);
            QVERIFY(out.ok);
            QCOMPARE(out.data, QByteArray::fromHex("11223344"));
            QVERIFY2(msSince(start) < 500, qPrintable(QString::number(msSince(start))));
        }
    }

    void lateAnswerNeverBecomesTheNextResult_data()
    {
        QTest::addColumn<int>("nextDelayMs");
        // The late answer lands while the next request waits, or between two.
        QTest::newRow("during the next request") << 600;
        QTest::newRow("before the next request") << 0;
    }
    void lateAnswerNeverBecomesTheNextResult()
    {
        QFETCH(int, nextDelayMs);
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        link.sim.device.setDelay(0x3001, 0, 1200);
        link.sim.device.setDelay(0x3002, 0, nextDelayMs);
        const auto start = Clock::now();
        const SdoOutcome given = sdoReadOnce(kDevice, 0x3001, 0, CO_UNSIGNED32, 800);
        QVERIFY(!given.ok);
        QCOMPARE(given.abortCode, 0u);
        QVERIFY(msSince(start) >= 790 && msSince(start) < 1100);
        // The device answers nothing else meanwhile: the next frame the host
        // deals with is the late answer.
        const uint32_t dispatched = canFramesDispatched();
        if (nextDelayMs == 0)
            QTRY_COMPARE_WITH_TIMEOUT(canFramesDispatched(), dispatched + 1, 3000); // came and went
        // The line was freed by the give-up: the next request starts at once.
        for (int i = 0; i < 2; ++i) {
            const SdoOutcome next = sdoReadOnce(kDevice, 0x3002, 0, CO_UNSIGNED32, 800);
            QVERIFY(next.ok);
            QCOMPARE(next.data, QByteArray::fromHex("55667788"));
        }
        QVERIFY(msSince(start) >= 1200);
    }

    void silentDeviceCostsEachTryItsBound_data()
    {
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<int>("tries");
        QTest::addColumn<int>("injectedBound");
        QTest::addColumn<int>("perTryMs");
        QTest::newRow("time-limited, three tries") << 800 << 3 << 0 << 800;
        QTest::newRow("stack time-out") << int(SDO_WAIT_STACK_TIMEOUT) << 1 << 0 << 3000;
        QTest::newRow("bound when no time-out comes") << int(SDO_WAIT_STACK_TIMEOUT) << 2 << 400 << 400;
    }
    void silentDeviceCostsEachTryItsBound()
    {
        QFETCH(int, waitMs);
        QFETCH(int, tries);
        QFETCH(int, injectedBound);
        QFETCH(int, perTryMs);
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        setSdoStackWaitMs(injectedBound);
        link.sim.device.setSilent(true);
        const int seen = uploadInitiates(link.sim.adapter, 0x2001, 0);
        const auto start = Clock::now();
        const SdoOutcome out = sdoRead(kDevice, 0x2001, 0, CO_UNSIGNED8, waitMs, tries);
        const long took = msSince(start);
        QVERIFY(!out.ok);
        QCOMPARE(out.abortCode, 0u);
        QVERIFY2(took >= tries * perTryMs - 20 && took < tries * perTryMs + 300, qPrintable(QString::number(took)));
        // One initiate per try; the aborts that end the tries do not count.
        QTRY_COMPARE(uploadInitiates(link.sim.adapter, 0x2001, 0), seen + tries);
        // Every try left the line free for the next request.
        link.sim.device.setSilent(false);
        const auto again = Clock::now();
        QCOMPARE(sdoReadOnce(kDevice, 0x2001, 0, CO_UNSIGNED8, 800).data, QByteArray(1, char(7)));
        QVERIFY(msSince(again) < 300);
    }

    // A wait without limit lasts as long as the device keeps the transfer
    // going; a device that stops still ends it through the stack's time-out.
    void longTransferEndsWithTheDevice_data()
    {
        QTest::addColumn<int>("stopAfter"); // frames the device answers, -1: all
        QTest::newRow("50 KB read through") << -1;
        QTest::newRow("device stops mid-transfer") << 300;
    }
    void longTransferEndsWithTheDevice()
    {
        QFETCH(int, stopAfter);
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        const QByteArray eds = counting(50 * 1024);
        link.sim.device.addObject(0x1021, 0, CO_DOMAIN, eds);
        const int seen = link.sim.device.requestsSeen();
        SdoOutcome out;
        std::thread requester([&] { out = sdoReadEdsOnce(kDevice, SDO_WAIT_STACK_TIMEOUT); });
        Clock::time_point stopped;
        bool reached = true;
        if (stopAfter >= 0) {
            reached = QTest::qWaitFor([&] { return link.sim.device.requestsSeen() >= seen + stopAfter; }, 5000);
            link.sim.device.setSilent(true);
            stopped = Clock::now();
        }
        requester.join();
        QVERIFY(reached);
        if (stopAfter < 0) {
            QVERIFY(out.ok);
            QCOMPARE(out.data, eds);
            return;
        }
        const long took = msSince(stopped);
        QVERIFY(!out.ok);
        QCOMPARE(out.abortCode, 0u);
        QVERIFY2(took >= SDO_TIMEOUT_MS - 100 && took < SDO_TIMEOUT_MS + 1000, qPrintable(QString::number(took)));
        link.sim.device.setSilent(false);
        QVERIFY(sdoReadOnce(kDevice, 0x2001, 0, CO_UNSIGNED8, 800).ok);
    }

    void closeWakesAWaitingRequester()
    {
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        link.sim.device.setSilent(true);
        const int seen = link.sim.device.requestsSeen();
        SdoOutcome out;
        out.ok = true;
        long took = 0;
        std::thread requester([&] {
            const auto start = Clock::now();
            out = sdoReadOnce(kDevice, 0x2001, 0, CO_UNSIGNED8, SDO_WAIT_STACK_TIMEOUT);
            took = msSince(start);
        });
        // The request is on the line: its requester waits for the answer.
        const bool onLine = QTest::qWaitFor([&] { return link.sim.device.requestsSeen() > seen; }, 5000);
        QVERIFY(closeCanLink(nullptr));
        requester.join();
        QVERIFY(onLine);
        QVERIFY(!out.ok);
        QVERIFY2(took < 1000, qPrintable(QString::number(took)));
    }

    void concurrentRequestersEachGetTheirOwnAnswer()
    {
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        std::atomic<int> wrong{0};
        auto reader = [&](uint16_t index, const QByteArray& expected) {
            for (int i = 0; i < 40; ++i) {
                const SdoOutcome out = sdoRead(kDevice, index, 0, CO_UNSIGNED32, 800);
                if (!out.ok || out.data != expected)
                    ++wrong;
            }
        };
        std::thread a(reader, 0x3001, QByteArray::fromHex("11223344"));
        std::thread b(reader, 0x3002, QByteArray::fromHex("55667788"));
        a.join();
        b.join();
        QCOMPARE(wrong.load(), 0);
    }

    void probeAndSubIndexCount_data()
    {
        QTest::addColumn<QString>("indexText");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("nodeId"); // as the connection settings hold it
        QTest::newRow("plain hex") << "2001" << 7 << 1 << int(kDevice);
        QTest::newRow("0x prefix") << "0x2002" << 3 << 1 << int(kDevice);
        QTest::newRow("aborted three times") << "4444" << 0 << 3 << int(kDevice);
        QTest::newRow("not hex") << "20z1" << 0 << 0 << int(kDevice);
        QTest::newRow("beyond 16 bits") << "12001" << 0 << 0 << int(kDevice);
        QTest::newRow("no node id chosen") << "2001" << 0 << 0 << int(kNodeIdUnset);
    }
    void probeAndSubIndexCount()
    {
        QFETCH(QString, indexText);
        QFETCH(int, count);
        QFETCH(int, requests);
        QFETCH(int, nodeId);
        LinkedDevice link;
        QCOMPARE(link.result, CAN_LINK_OPEN);
        const SdoOutcome probe = probeCanDevice(kDevice);
        QVERIFY(probe.ok);
        QCOMPARE(probe.data, QByteArray::fromHex("0701"));

        QStringList log;
        const int seen = link.sim.device.requestsSeen();
        connectionSettings().nodeId = uint8_t(nodeId);
        QCOMPARE(getAutoGenSubsCnt(indexText, [&](const QString& m, bool ok) { log << (ok ? "+" : "-") + m; }), count);
        connectionSettings().nodeId = kNodeIdUnset;
        QCOMPARE(link.sim.device.requestsSeen(), seen + requests);
        if (count)
            QVERIFY(log.isEmpty());
        else
            QCOMPARE(log, QStringList{"-Не удалось считать количество субиндексов для индекса: " + indexText});
    }

    void cyclesLeakNothing()
    {
        SimDeviceOnPty sim(kDevice);
        sim.device.addObject(0x2001, 0, CO_UNSIGNED8, QByteArray(1, char(7)));
        auto cycle = [&] {
            if (openCanLink(sim.adapter.slavePath(), 0, "250000", nullptr) != CAN_LINK_OPEN)
                return false;
            pointSdoClientAt(kDevice);
            const bool read = sdoReadOnce(kDevice, 0x2001, 0, CO_UNSIGNED8, 800).ok;
            return closeCanLink(nullptr) && read;
        };
        QVERIFY(cycle()); // lazily created things exist before counting
        const int fds = entries("/proc/self/fd"), threads = entries("/proc/self/task");
        for (int i = 0; i < 20; ++i)
            QVERIFY(cycle());
        QCOMPARE(entries("/proc/self/fd"), fds);
        QTRY_COMPARE_WITH_TIMEOUT(entries("/proc/self/task"), threads, 2000);
        QCOMPARE(sim.adapter.lines().filter("t7011" "00").size(), 21);
    }
};

QTEST_GUILESS_MAIN(TstSdoAccess)
#include "tst_sdoaccess.moc"
