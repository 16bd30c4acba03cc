// The stack against the simulated device over a pseudo-terminal: the real
// adapter driver, the real timer thread, the device's own SDO server.
#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "canopen/timer.h"
#include "canopen/tooldict.h"
#include "link/slcanadapter.h"
#include "sim/simdevice.h"

#include <QTest>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {
const uint8_t kDevice = 0x20;
std::unique_ptr<SimDeviceOnPty> sim;

struct Outcome {
    uint8_t state = 0;
    uint32_t abortCode = 0;
    QByteArray value;
};
std::mutex doneMutex;
std::condition_variable doneCond;
bool done = false;
Outcome outcome;

void finish(const Outcome& o)
{
    {
        std::lock_guard<std::mutex> lock(doneMutex);
        outcome = o;
        done = true;
    }
    doneCond.notify_all();
}

// Completions as the synchronous access has them: take the result, free the line.
void readDone(CanOpenNode* node, uint8_t nodeId)
{
    Outcome o;
    QByteArray buf(SDO_MAX_RECEIVE, '\0');
    uint32_t size = uint32_t(buf.size());
    o.state = sdoReadResult(node, nodeId, buf.data(), &size, &o.abortCode);
    o.value = buf.left(int(size));
    closeSdoTransfer(node, nodeId, SDO_CLIENT);
    finish(o);
}

void writeDone(CanOpenNode* node, uint8_t nodeId)
{
    Outcome o;
    o.state = sdoWriteResult(node, nodeId, &o.abortCode);
    closeSdoTransfer(node, nodeId, SDO_CLIENT);
    finish(o);
}

bool waitDone(int ms, Outcome* out)
{
    std::unique_lock<std::mutex> lock(doneMutex);
    if (!doneCond.wait_for(lock, std::chrono::milliseconds(ms), [] { return done; }))
        return false;
    *out = outcome;
    return true;
}

Outcome readObject(uint16_t index, uint8_t sub, int waitMs = 10000)
{
    {
        std::lock_guard<std::mutex> lock(doneMutex);
        done = false;
    }
    {
        CanOpenLock lock;
        if (sdoReadRemote(&toolNode, kDevice, index, sub, CO_DOMAIN, readDone, 0) != 0)
            return Outcome{0xEE, 0, {}};
    }
    Outcome o{0xFF, 0, {}};
    waitDone(waitMs, &o);
    return o;
}

Outcome writeObject(uint16_t index, uint8_t sub, const QByteArray& value, int waitMs = 10000)
{
    {
        std::lock_guard<std::mutex> lock(doneMutex);
        done = false;
    }
    {
        CanOpenLock lock;
        if (sdoWriteRemote(&toolNode, kDevice, index, sub, uint32_t(value.size()), CO_DOMAIN, value.constData(),
                           writeDone, 0) != 0)
            return Outcome{0xEE, 0, {}};
    }
    Outcome o{0xFF, 0, {}};
    waitDone(waitMs, &o);
    return o;
}

void startUp(CanOpenNode*, uint32_t)
{
    assignNodeId(&toolNode, 1);
    setNodeState(&toolNode, NMT_INITIALISATION);
}

void exitNode(CanOpenNode*, uint32_t)
{
    setNodeState(&toolNode, NMT_STOPPED);
}

uint32_t toolState()
{
    CanOpenLock lock;
    return toolNode.nmtState;
}

QByteArray pattern(int n, int seed)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((i * 7 + seed) & 0xFF));
    return b;
}

// The device's objects: one per size, fixed types where a type has that size.
struct SizedObject {
    uint8_t sub;
    uint8_t type;
    int size;
};
const SizedObject kSized[] = {{1, 0x05, 1}, {2, 0x06, 2}, {3, 0x07, 4}, {4, 0x18, 5},
                              {5, 0x1A, 7}, {6, 0x1B, 8}, {7, 0x0F, 70}};
const int kDomainSize = 50 * 1024;
}

class TstSdoDevice : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        sim = std::make_unique<SimDeviceOnPty>(kDevice);
        QVERIFY(sim->adapter.ok());
        bindCanAdapterDriver();
        initCanOpenTimer();
        resetToolNode();
        const CanBoard board{sim->adapter.slavePath().toStdString(), "4800"};
        QVERIFY(openCanPort(&board, &toolNode));
        QCOMPARE(int(setCanBitRate(toolNode.port, "5")), 0);
        startCanOpenTimerLoop(startUp);
        QTRY_COMPARE_WITH_TIMEOUT(toolState(), uint32_t(NMT_PRE_OPERATIONAL), 2000);
        CanOpenLock lock;
        claimSdoClient(&toolNode, kDevice);
    }
    void cleanupTestCase()
    {
        stopCanOpenTimerLoop(exitNode);
        QCOMPARE(toolState(), uint32_t(NMT_STOPPED));
        closeCanPort(&toolNode);
        sim.reset();
        resetToolNode();
    }
    void init()
    {
        sim->device.clearFaults();
        for (const SizedObject& o : kSized)
            sim->device.addObject(0x2000, o.sub, o.type, pattern(o.size, o.sub));
        sim->device.addObject(0x2100, 1, 0x07, QByteArray::fromHex("11223344"));
        sim->device.addObject(0x2100, 2, 0x0F, pattern(70, 3));
        sim->device.addObject(0x2001, 0x0A, 0x07, QByteArray(4, '\0'));
    }

    void bootUpReachedTheDevice()
    {
        // The adapter's thread reads the lines in its own time.
        QTRY_VERIFY_WITH_TIMEOUT(sim->adapter.channelOpen(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(sim->adapter.bitRateCode(), '5', 2000);
        QTRY_COMPARE(sim->adapter.lines().mid(0, 3), (QStringList{"O", "S5", "t701100"}));
    }

    void readAndWrite_data()
    {
        QTest::addColumn<int>("sub");
        QTest::addColumn<int>("size");
        for (const SizedObject& o : kSized)
            QTest::addRow("%d bytes", o.size) << int(o.sub) << o.size;
    }
    void readAndWrite()
    {
        QFETCH(int, sub);
        QFETCH(int, size);
        Outcome r = readObject(0x2000, uint8_t(sub));
        QCOMPARE(int(r.state), int(SDO_FINISHED));
        QCOMPARE(r.value, pattern(size, sub));
        const QByteArray fresh = pattern(size, 100 + sub);
        Outcome w = writeObject(0x2000, uint8_t(sub), fresh);
        QCOMPARE(int(w.state), int(SDO_FINISHED));
        QCOMPARE(sim->device.value(0x2000, uint8_t(sub)), fresh);
        r = readObject(0x2000, uint8_t(sub));
        QCOMPARE(r.value, fresh);
        // A size the object does not have is the device's to refuse.
        w = writeObject(0x2000, uint8_t(sub), fresh + "x");
        if (sub == 7) {
            QCOMPARE(int(w.state), int(SDO_FINISHED));
        } else {
            QCOMPARE(int(w.state), int(SDO_ABORTED_BY_PEER));
            QCOMPARE(w.abortCode, 0x06070010u);
            QCOMPARE(sim->device.value(0x2000, uint8_t(sub)), fresh);
        }
    }

    void largeDomain()
    {
        const QByteArray big = pattern(kDomainSize, 9);
        sim->device.addObject(0x1021, 0, 0x0F, QByteArray());
        Outcome w = writeObject(0x1021, 0, big, 60000);
        QCOMPARE(int(w.state), int(SDO_FINISHED));
        QCOMPARE(sim->device.value(0x1021, 0), big);
        const QByteArray other = pattern(kDomainSize, 77);
        sim->device.setValue(0x1021, 0, other);
        Outcome r = readObject(0x1021, 0, 60000);
        QCOMPARE(int(r.state), int(SDO_FINISHED));
        QCOMPARE(r.value.size(), kDomainSize);
        QVERIFY(r.value == other);
    }

    void abortCodesReachTheCaller_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("sub");
        QTest::addColumn<uint>("knob");
        QTest::addColumn<uint>("code");
        QTest::newRow("abort knob") << 0x2100 << 1 << 0x06090030u << 0x06090030u;
        QTest::newRow("no such object") << 0x2345 << 0 << 0u << 0x06020000u;
        QTest::newRow("no such sub-index") << 0x2100 << 9 << 0u << 0x06090011u;
    }
    void abortCodesReachTheCaller()
    {
        QFETCH(int, index);
        QFETCH(int, sub);
        QFETCH(uint, knob);
        QFETCH(uint, code);
        if (knob)
            sim->device.setAbort(uint16_t(index), uint8_t(sub), knob);
        Outcome r = readObject(uint16_t(index), uint8_t(sub));
        QCOMPARE(int(r.state), int(SDO_ABORTED_BY_PEER));
        QCOMPARE(r.abortCode, code);
        QVERIFY(r.value.isEmpty());
        Outcome w = writeObject(uint16_t(index), uint8_t(sub), QByteArray::fromHex("01020304"));
        QCOMPARE(int(w.state), int(SDO_ABORTED_BY_PEER));
        QCOMPARE(w.abortCode, code);
    }

    // Each fault ends the transfer as a failure that names no value.
    void faultKnobs_data()
    {
        QTest::addColumn<QString>("knob");
        QTest::addColumn<bool>("write");
        QTest::addColumn<uint>("sentToDevice"); // the abort the host sent, 0 none
        QTest::newRow("wrong toggle, read") << "toggle" << false << 0x05030000u;
        QTest::newRow("wrong toggle, write") << "toggle" << true << 0x05030000u;
        QTest::newRow("short last segment") << "short" << false << 0x06070010u;
        QTest::newRow("answer naming another object") << "other" << false << 0x05040000u;
        QTest::newRow("silence") << "silence" << false << 0u;
    }
    void faultKnobs()
    {
        QFETCH(QString, knob);
        QFETCH(bool, write);
        QFETCH(uint, sentToDevice);
        const size_t abortsBefore = sim->device.abortsReceived().size();
        if (knob == "toggle")
            sim->device.setWrongToggle(0x2100, 2);
        else if (knob == "short")
            sim->device.setShortLastSegment(0x2100, 2, 3);
        else if (knob == "other")
            sim->device.setAnswerOther(0x2100, 2, 0x2000, 7);
        else
            sim->device.setSilent(true);
        const QByteArray before = sim->device.value(0x2100, 2);
        Outcome o = write ? writeObject(0x2100, 2, pattern(70, 55)) : readObject(0x2100, 2);
        QCOMPARE(int(o.state), int(SDO_ENDED_LOCALLY));
        QCOMPARE(o.abortCode, 0u);
        QVERIFY(o.value.isEmpty());
        if (sentToDevice) {
            QTRY_COMPARE(sim->device.abortsReceived().size(), abortsBefore + 1);
            QCOMPARE(sim->device.abortsReceived().back(), sentToDevice);
        }
        if (!write)
            QCOMPARE(sim->device.value(0x2100, 2), before);
        // The line is free again: the next request goes through.
        sim->device.clearFaults();
        Outcome next = readObject(0x2000, 3);
        QCOMPARE(int(next.state), int(SDO_FINISHED));
        QCOMPARE(next.value, sim->device.value(0x2000, 3));
    }

    void slowAnswerInTimeAndLateAnswerDropped()
    {
        sim->device.setDelay(0x2100, 1, 300);
        Outcome r = readObject(0x2100, 1);
        QCOMPARE(int(r.state), int(SDO_FINISHED));
        QCOMPARE(r.value, QByteArray::fromHex("11223344"));
        // Past the time-out the answer comes while the next request runs,
        // and it is not taken for that request's value.
        sim->device.setDelay(0x2100, 1, SDO_TIMEOUT_MS + 300);
        r = readObject(0x2100, 1);
        QCOMPARE(int(r.state), int(SDO_ENDED_LOCALLY));
        sim->device.setDelay(0x2000, 3, 600);
        r = readObject(0x2000, 3);
        QCOMPARE(int(r.state), int(SDO_FINISHED));
        QCOMPARE(r.value, sim->device.value(0x2000, 3));
    }

    void bootUpAfterSilence()
    {
        sim->device.setRebootOnWrite(0x2001, 0x0A, 500);
        const QByteArray command = QByteArray::fromHex("01000000");
        Outcome w = writeObject(0x2001, 0x0A, command);
        QCOMPARE(int(w.state), int(SDO_ENDED_LOCALLY)); // the device restarted without answering
        QCOMPARE(sim->device.writesTo(0x2001, 0x0A), 1);
        // Its boot-up came after the silence; it answers again.
        Outcome r = readObject(0x2000, 1);
        QCOMPARE(int(r.state), int(SDO_FINISHED));
        QCOMPARE(r.value, sim->device.value(0x2000, 1));
    }
};

QTEST_GUILESS_MAIN(TstSdoDevice)
#include "tst_sdodevice.moc"
