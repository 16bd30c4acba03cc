// The load and save workers against a scripted device.
#include "fakesdochannel.h"
#include "pages/customdsloadthread.h"
#include "pages/customdssavethread.h"
#include "pairtype.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

constexpr uint8_t kNode = 5;

// What the workers report, in order, recorded on whichever thread reports it.
class Events {
public:
    void add(const QString& e)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_list << e;
        }
        m_cond.notify_all();
    }
    QStringList list() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_list;
    }
    int count(const QString& e) const { return list().count(e); }
    void clear()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_list.clear();
    }
    bool waitFor(const QString& e, int n = 1, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_list.count(e) >= n; });
    }
    std::function<void(bool)> callback(const QString& name)
    {
        return [this, name](bool ok) { add(QStringLiteral("cb %1 %2").arg(name).arg(ok ? 1 : 0)); };
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    QStringList m_list;
};

SPCustomParam makeParam(const QString& index, const QString& sub, const QString& name, int canType = 0x07)
{
    auto type = QSharedPointer<ParamDataType>::create(QStringLiteral("T"), 4, canType);
    return SPCustomParam::create(index, sub, name, type, false, true);
}

WorkerSettings fastSettings()
{
    WorkerSettings s;
    s.nodeId = kNode;
    s.responseTimeoutMs = 50;
    s.writeWaitMs = 60;
    s.roundIntervalMs = 5;
    return s;
}

template <class Worker> void listen(Worker* w, Events* ev);

template <> void listen(CustomDSLoadThread* w, Events* ev)
{
    QObject::connect(w, &CustomDSLoadThread::paramLoaded, w, [ev](QString n) { ev->add("loaded " + n); },
                     Qt::DirectConnection);
    QObject::connect(w, &CustomDSLoadThread::paramLoadingFail, w, [ev](QString m) { ev->add("loadfail " + m); },
                     Qt::DirectConnection);
    QObject::connect(w, &CustomDSLoadThread::connectionError, w, [ev] { ev->add("lost"); }, Qt::DirectConnection);
}

template <> void listen(CustomDSSaveThread* w, Events* ev)
{
    QObject::connect(w, &CustomDSSaveThread::paramSaved, w, [ev](QString n) { ev->add("saved " + n); },
                     Qt::DirectConnection);
    QObject::connect(w, &CustomDSSaveThread::paramSavingFail, w, [ev](QString m) { ev->add("savefail " + m); },
                     Qt::DirectConnection);
    QObject::connect(w, &CustomDSSaveThread::paramsSaved, w, [ev] { ev->add("round done"); }, Qt::DirectConnection);
    QObject::connect(w, &CustomDSSaveThread::connectionError, w, [ev] { ev->add("lost"); }, Qt::DirectConnection);
    QObject::connect(w, &CustomDSSaveThread::afterReboot, w, [ev] { ev->add("reboot"); }, Qt::DirectConnection);
    QObject::connect(w, &CustomDSSaveThread::afterRestoredDefault, w, [ev] { ev->add("restore"); },
                     Qt::DirectConnection);
}

// A worker over a fake device, stopped until the test has queued its requests.
template <class Worker> struct Rig {
    Rig()
        : channel(std::make_shared<FakeSdoChannel>()), worker(std::make_unique<Worker>(channel))
    {
        worker->stopAndJoin(2000);
        worker->setSettings(fastSettings());
        listen(worker.get(), &events);
        channel->setObject(kNode, 0x1000, 0, QByteArray::fromHex("91010000"));
    }
    std::shared_ptr<FakeSdoChannel> channel;
    Events events;
    std::unique_ptr<Worker> worker;
};

// A page record of 0x2000 sub 1 ("Pair": fields lo and hi): "0000:lo=7,hi=9"
// read 00 00 and edited those fields; "0000:import 0700" took a file's bytes;
// ":import 0100" was never read.
SPCustomParam recordOf(const QString& script, const QString& name)
{
    const SPCustomParam p = SPCustomParam::create(QStringLiteral("2000"), QStringLiteral("1"), name, pairType(),
                                                  false, true);
    const QString known = script.section(':', 0, 0);
    if (!known.isEmpty())
        p->storeReadValue(QByteArray::fromHex(known.toLatin1()));
    for (const QString& edit : script.section(':', 1).split(',')) {
        if (edit.startsWith("import "))
            p->setValue(QByteArray::fromHex(edit.mid(7).toLatin1()));
        else if (!p->writeField(edit.section('=', 0, 0), edit.section('=', 1).toInt()))
            qFatal("bad edit %s", qPrintable(edit));
        p->setEdited(true);
    }
    return p;
}

QStringList writesOf(const FakeSdoChannel& dev)
{
    QStringList written;
    for (const auto& c : dev.calls())
        if (c.write)
            written << QString::fromLatin1(c.data.toHex());
    return written;
}

int countCalls(const std::vector<FakeSdoChannel::Call>& calls, uint16_t index, uint8_t sub, bool write)
{
    int n = 0;
    for (const auto& c : calls)
        n += c.index == index && c.subIndex == sub && c.write == write;
    return n;
}

} // namespace

class TstCustomDSWorkers : public QObject {
    Q_OBJECT
private slots:
    void loadRoundReadsUneditedAndReportsChanges();
    void loadKeepsEditMadeDuringRead();
    void loadQueueKeepsFirstCallback();
    void loadFailureTestsLink_data();
    void loadFailureTestsLink();
    void loadStopIsBoundedAndRestarts();
    void clearDataMidRoundStopsCallbacks();

    void savesOfOneObjectMerge_data();
    void savesOfOneObjectMerge();
    void saveOfObjectInFlightIsWrittenAfterIt();
    void saveFailureInMiddleIsReported();
    void saveCommandsSentOnce_data();
    void saveCommandsSentOnce();
    void saveLostLinkEndsWorker();
    void saveRefusesUnwritableValues_data();
    void saveRefusesUnwritableValues();
    void saveKeepsMarkOfEditDuringWrite();
    void destroyMidRound();
};

void TstCustomDSWorkers::loadRoundReadsUneditedAndReportsChanges()
{
    Rig<CustomDSLoadThread> rig;
    FakeSdoChannel& dev = *rig.channel;
    dev.setObject(kNode, 0x2000, 1, QByteArray::fromHex("0102"));
    dev.setObject(kNode, 0x2001, 0x0a, QByteArray::fromHex("aabbccdd"));
    dev.setObject(kNode, 0x2002, 3, QByteArray::fromHex("05"));
    dev.setObject(kNode, 0x2003, 0, QByteArray()); // answers with no bytes
    const SPCustomParam a = makeParam("2000", "1", "A", 0x06);
    const SPCustomParam b = makeParam("2001", "a", "B");
    const SPCustomParam edited = makeParam("2002", "3", "C");
    const SPCustomParam empty = makeParam("2003", "0", "D");
    edited->setValue(QByteArray::fromHex("07"));
    edited->setEdited(true);
    for (const SPCustomParam& p : {a, b, edited, empty})
        rig.worker->enqueue(p, rig.events.callback(p->name()));

    rig.worker->startProcess();
    QVERIFY(dev.waitForCalls(9, 5000)); // three rounds of three
    QVERIFY(rig.worker->stopAndJoin(2000));

    // A new value is reported once; the same bytes again are not.
    for (const QString n : {"A", "B"}) {
        QCOMPARE(rig.events.count("cb " + n + " 1"), 1);
        QCOMPARE(rig.events.count("loaded " + n), 1);
    }
    // The first read of a value still empty counts even when no bytes come.
    QVERIFY(rig.events.count("cb D 1") >= 1);
    QCOMPARE(a->value(), QByteArray::fromHex("0102"));
    QCOMPARE(b->value(), QByteArray::fromHex("aabbccdd"));
    // The edit is neither read nor overwritten.
    const auto calls = dev.calls();
    QCOMPARE(countCalls(calls, 0x2002, 3, false), 0);
    QCOMPARE(edited->value(), QByteArray::fromHex("07"));
    for (const auto& c : calls) {
        QCOMPARE(c.nodeId, kNode);
        QCOMPARE(c.waitMs, 50);
        if (c.index == 0x2000)
            QCOMPARE(c.dataType, uint8_t(0x06));
    }

    // A change on the device is reported in the next round.
    rig.events.clear();
    dev.setObject(kNode, 0x2001, 0x0a, QByteArray::fromHex("aabbccde"));
    rig.worker->startProcess();
    QVERIFY(rig.events.waitFor("cb B 1"));
    QVERIFY(rig.worker->stopAndJoin(2000));
    QCOMPARE(rig.events.count("cb A 1"), 0);
    QCOMPARE(b->value(), QByteArray::fromHex("aabbccde"));
}

void TstCustomDSWorkers::loadKeepsEditMadeDuringRead()
{
    Rig<CustomDSLoadThread> rig;
    rig.channel->setObject(kNode, 0x2000, 1, QByteArray::fromHex("0102"));
    const SPCustomParam p = makeParam("2000", "1", "A");
    p->setValue(QByteArray::fromHex("0000"));
    rig.channel->setOnExchange([p](const FakeSdoChannel::Call&) {
        p->setValue(QByteArray::fromHex("0909"));
        p->setEdited(true);
    });
    rig.worker->enqueue(p, rig.events.callback("A"));
    rig.worker->startProcess();
    QVERIFY(rig.channel->waitForCalls(1, 5000));
    QVERIFY(rig.worker->stopAndJoin(2000));
    QCOMPARE(p->value(), QByteArray::fromHex("0909"));
    QVERIFY(p->edited());
    QVERIFY(rig.events.list().isEmpty());
}

void TstCustomDSWorkers::loadQueueKeepsFirstCallback()
{
    Rig<CustomDSLoadThread> rig;
    rig.channel->setObject(kNode, 0x2000, 1, QByteArray::fromHex("01"));
    const SPCustomParam p = makeParam("2000", "1", "A");
    rig.worker->enqueue(p, rig.events.callback("first"));
    rig.worker->enqueue(p, rig.events.callback("second"));
    QCOMPARE(rig.worker->pendingCount(), 1);
    rig.worker->startProcess();
    QVERIFY(rig.events.waitFor("cb first 1"));
    QVERIFY(rig.worker->stopAndJoin(2000));
    QCOMPARE(rig.events.count("cb second 1"), 0);
}

void TstCustomDSWorkers::loadFailureTestsLink_data()
{
    QTest::addColumn<bool>("deviceThere");
    QTest::newRow("device answers the link test") << true;
    QTest::newRow("nobody answers") << false;
}

void TstCustomDSWorkers::loadFailureTestsLink()
{
    QFETCH(bool, deviceThere);
    Rig<CustomDSLoadThread> rig;
    FakeSdoChannel& dev = *rig.channel;
    dev.setObject(kNode, 0x2000, 1, QByteArray::fromHex("01"));
    dev.failNext(0x2000, 1, -1, 0x06090011);
    dev.setSilent(!deviceThere);
    const SPCustomParam p = makeParam("2000", "1", "P");
    rig.worker->enqueue(p, rig.events.callback("P"));
    rig.worker->startProcess();

    if (deviceThere) {
        QVERIFY(rig.events.waitFor("cb P 0", 2));
        QVERIFY(rig.worker->stopAndJoin(2000));
        const QStringList ev = rig.events.list();
        QCOMPARE(ev.at(0), QString("cb P 0"));
        QCOMPARE(ev.at(1), QString("loadfail Не удалось получить данные параметра P. Ошибка: ABORT_06090011"));
        QVERIFY(!ev.contains("lost"));
        // Three tries of the parameter, then one read of 0x1000, every round.
        const auto calls = dev.calls();
        QVERIFY(calls.size() >= 8);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(calls[size_t(i)].index, uint16_t(i % 4 == 3 ? 0x1000 : 0x2000));
        QCOMPARE(calls[3].dataType, uint8_t(0x07));
    } else {
        QVERIFY(rig.events.waitFor("lost"));
        QTRY_VERIFY(!rig.worker->isActive());
        QCOMPARE(rig.events.list(), QStringList({"cb P 0", "lost"}));
        const auto calls = dev.calls();
        QCOMPARE(int(calls.size()), 6);
        QCOMPARE(countCalls(calls, 0x2000, 1, false), 3);
        QCOMPARE(countCalls(calls, 0x1000, 0, false), 3);
        QCOMPARE(rig.worker->pendingCount(), 1);
    }
}

void TstCustomDSWorkers::loadStopIsBoundedAndRestarts()
{
    Rig<CustomDSLoadThread> rig;
    FakeSdoChannel& dev = *rig.channel;
    dev.setSilent(true);
    dev.setLatencyMs(150); // each failing try: 6 of them before the link is judged
    rig.worker->enqueue(makeParam("2000", "1", "P"), rig.events.callback("P"));
    rig.worker->startProcess();
    QVERIFY(dev.waitForCalls(1, 5000));
    QElapsedTimer t;
    t.start();
    QVERIFY(rig.worker->stopAndJoin(rig.worker->joinBoundMs()));
    QVERIFY2(t.elapsed() < 400, qPrintable(QString::number(t.elapsed())));
    QVERIFY(rig.events.list().isEmpty()); // stopped without a verdict
    QVERIFY(!rig.worker->isRunning());

    // Also out of a long sleep between rounds.
    WorkerSettings s = fastSettings();
    s.roundIntervalMs = 60000;
    rig.worker->setSettings(s);
    rig.worker->startProcess();
    QVERIFY(rig.worker->isActive());
    t.restart();
    QVERIFY(rig.worker->stopAndJoin(2000));
    QVERIFY(t.elapsed() < 500);

    // A start while the thread is still in its loop keeps it going.
    dev.setSilent(false);
    dev.setLatencyMs(0);
    dev.setObject(kNode, 0x2000, 1, QByteArray::fromHex("01"));
    rig.worker->setSettings(fastSettings());
    rig.worker->startProcess();
    rig.worker->stopProcess();
    rig.worker->startProcess();
    QVERIFY(rig.events.waitFor("cb P 1"));
    QVERIFY(rig.worker->isActive());
}

void TstCustomDSWorkers::clearDataMidRoundStopsCallbacks()
{
    // A teardown of the pages: clearData, then the objects the callbacks use go.
    struct Target {
        std::atomic<int> calls{0};
    };
    Rig<CustomDSLoadThread> loadRig;
    Rig<CustomDSSaveThread> saveRig;
    auto* target = new Target;
    std::atomic<bool> cleared{false};
    std::atomic<int> late{0};
    auto cb = [target, &cleared, &late](bool) {
        if (cleared)
            ++late;
        ++target->calls;
    };
    for (auto* dev : {loadRig.channel.get(), saveRig.channel.get()}) {
        dev->setLatencyMs(20);
        for (int i = 0; i < 8; ++i)
            dev->setObject(kNode, uint16_t(0x2000 + i), 0, QByteArray::fromHex("01"));
    }
    for (int i = 0; i < 8; ++i) {
        const QString index = QString::number(0x2000 + i, 16);
        loadRig.worker->enqueue(makeParam(index, "0", "L"), cb);
        auto p = makeParam(index, "0", "S");
        p->setValue(QByteArray::fromHex("02"));
        saveRig.worker->enqueue(p, cb);
    }
    loadRig.worker->startProcess();
    saveRig.worker->startProcess();
    QVERIFY(loadRig.channel->waitForCalls(3, 5000));
    QVERIFY(saveRig.channel->waitForCalls(3, 5000));
    loadRig.worker->clearData();
    saveRig.worker->clearData();
    cleared = true;
    // Every round reads all eight; the round under way at the clear may end
    // (its reports dropped), and a round after it finds nothing to read.
    const int roundsBegun = int(loadRig.channel->calls().size()) / 8 + 1;
    delete target;
    QCOMPARE(loadRig.worker->pendingCount(), 0);
    QCOMPARE(saveRig.worker->pendingCount(), 0);
    // The exchange under way ends and finds nothing to report; once the threads
    // are joined, every callback that could still come has come.
    QVERIFY(loadRig.worker->stopAndJoin(2000));
    QVERIFY(saveRig.worker->stopAndJoin(2000));
    QCOMPARE(late.load(), 0);
    QVERIFY(int(loadRig.channel->calls().size()) <= 8 * roundsBegun);
}

void TstCustomDSWorkers::savesOfOneObjectMerge_data()
{
    QTest::addColumn<QStringList>("records"); // saved in this order before the round
    QTest::addColumn<QStringList>("written");  // the writes, in order
    QTest::newRow("two records, a field each") << QStringList{"0000:lo=7", "0000:hi=9"} << QStringList{"0709"};
    QTest::newRow("one field twice: the later wins it whole")
        << QStringList{"0000:hi=2", "0000:hi=9"} << QStringList{"0009"};
    QTest::newRow("an import and a field edit") << QStringList{"0102:import 0502", "0102:hi=9"}
                                               << QStringList{"0509"};
    QTest::newRow("the newer device value is the ground")
        << QStringList{"0000:lo=7", "0100:hi=9"} << QStringList{"0709"};
    QTest::newRow("never read: the whole value") << QStringList{":import 0100", ":import 0200"}
                                                << QStringList{"0200"};
    QTest::newRow("lengths differ: one after the other")
        << QStringList{"0000:import 070000", "0000:lo=1"} << QStringList{"070000", "0100"};
}

// Records of one object saved before the round are written together, each
// with the bits it changed; every record's completion follows the write.
void TstCustomDSWorkers::savesOfOneObjectMerge()
{
    QFETCH(QStringList, records);
    QFETCH(QStringList, written);
    Rig<CustomDSSaveThread> rig;
    rig.channel->setObject(kNode, 0x2000, 1, QByteArray::fromHex("0000"));
    QList<SPCustomParam> params;
    for (int i = 0; i < records.size(); ++i) {
        params << recordOf(records[i], QString("R%1").arg(i));
        rig.worker->enqueue(params.last(), rig.events.callback(params.last()->name()));
    }
    QCOMPARE(rig.worker->pendingCount(), written.size());
    rig.worker->startProcess();
    QVERIFY(rig.events.waitFor("round done"));
    QVERIFY(rig.worker->stopAndJoin(2000));

    QCOMPARE(writesOf(*rig.channel), written);
    for (const SPCustomParam& p : params) {
        QCOMPARE(rig.events.count("cb " + p->name() + " 1"), 1);
        QVERIFY(!p->edited());
    }
    QCOMPARE(rig.worker->pendingCount(), 0);
    const auto calls = rig.channel->calls();
    QCOMPARE(calls[0].dataType, uint8_t(0x06));
    QCOMPARE(calls[0].waitMs, 60);
}

void TstCustomDSWorkers::saveOfObjectInFlightIsWrittenAfterIt()
{
    // Two records read 00 00; the second is saved while the first one's write
    // is on the line, and goes over the bytes that write left.
    Rig<CustomDSSaveThread> rig;
    rig.channel->setObject(kNode, 0x2000, 1, QByteArray::fromHex("0000"));
    const SPCustomParam first = recordOf("0000:lo=1", "first");
    const SPCustomParam second = recordOf("0000:hi=2", "second");
    CustomDSSaveThread* worker = rig.worker.get();
    Events* events = &rig.events;
    std::atomic<bool> once{false};
    rig.channel->setOnExchange([&, worker, events](const FakeSdoChannel::Call&) {
        if (!once.exchange(true))
            worker->enqueue(second, events->callback("second"));
    });
    worker->enqueue(first, events->callback("first"));
    worker->startProcess();
    QVERIFY(rig.events.waitFor("cb second 1"));
    QVERIFY(worker->stopAndJoin(2000));
    QCOMPARE(writesOf(*rig.channel), QStringList({"0100", "0102"}));
    QCOMPARE(rig.events.count("cb first 1"), 1);
    // Each record now holds what the device holds.
    QCOMPARE(first->value(), QByteArray::fromHex("0100"));
    QCOMPARE(second->value(), QByteArray::fromHex("0102"));
    QCOMPARE(second->deviceValue(), QByteArray::fromHex("0102"));
}

void TstCustomDSWorkers::saveFailureInMiddleIsReported()
{
    Rig<CustomDSSaveThread> rig;
    FakeSdoChannel& dev = *rig.channel;
    for (uint16_t i : {0x2000, 0x2001, 0x2002})
        dev.setObject(kNode, i, 0, QByteArray::fromHex("00"));
    dev.failNext(0x2001, 0, -1, 0x06010002);
    for (QString n : {"A", "B", "C"}) {
        const SPCustomParam p = makeParam(QString::number(0x2000 + (n[0].unicode() - 'A'), 16), "0", n);
        p->setValue(QByteArray::fromHex("2a"));
        rig.worker->enqueue(p, rig.events.callback(n));
    }
    rig.worker->startProcess();
    QVERIFY(rig.events.waitFor("round done"));
    QVERIFY(rig.worker->stopAndJoin(2000));

    QCOMPARE(rig.events.list(), QStringList({"cb A 1", "saved A", "cb B 0",
                                             "savefail Ошибка записи параметра B: ABORT_06010002", "cb C 1",
                                             "saved C", "round done"}));
    const auto calls = dev.calls();
    QCOMPARE(countCalls(calls, 0x2001, 0, true), 3);
    QCOMPARE(countCalls(calls, 0x1000, 0, false), 1);
    QCOMPARE(dev.object(kNode, 0x2000, 0), QByteArray::fromHex("2a"));
    QCOMPARE(dev.object(kNode, 0x2002, 0), QByteArray::fromHex("2a"));
    QCOMPARE(rig.worker->pendingCount(), 0);
}

void TstCustomDSWorkers::saveCommandsSentOnce_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("sub");
    QTest::addColumn<int>("failures");
    QTest::addColumn<uint>("abortCode");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("tries");   // writes of the command
    QTest::addColumn<QString>("event");
    // A device that restarts does not answer: the first silent try is the restart.
    QTest::newRow("reboot, silent") << "2001" << "a" << -1 << 0u << true << 1 << "reboot";
    QTest::newRow("restore, silent") << "1011" << "1" << -1 << 0u << true << 1 << "restore";
    QTest::newRow("reboot, answered") << "2001" << "a" << 0 << 0u << false << 1 << "saved X";
    QTest::newRow("restore, answered at the third try") << "1011" << "1" << 2 << 0x08000000u << false << 3
                                                        << "saved X";
    QTest::newRow("upper-case sub-index is no command") << "2001" << "A" << -1 << 0u << true << 3 << "savefail";
    // Refused or aborted tries went nowhere or were refused by a device that is there.
    QTest::newRow("reboot refused by the stack") << "2001" << "a" << 3 << 0u << false << 3 << "savefail";
    QTest::newRow("restore refused by the device") << "1011" << "1" << 3 << 0x08000022u << false << 3 << "savefail";
    QTest::newRow("reboot refused, then silent") << "2001" << "a" << 1 << 0x06010002u << false << 2 << "reboot";
}

void TstCustomDSWorkers::saveCommandsSentOnce()
{
    QFETCH(QString, index);
    QFETCH(QString, sub);
    QFETCH(int, failures);
    QFETCH(uint, abortCode);
    QFETCH(bool, silent);
    QFETCH(int, tries);
    QFETCH(QString, event);
    Rig<CustomDSSaveThread> rig;
    const uint16_t idx = uint16_t(index.toUInt(nullptr, 16));
    const uint8_t sb = uint8_t(sub.toUInt(nullptr, 16));
    rig.channel->setObject(kNode, idx, sb, QByteArray::fromHex("00000000"));
    rig.channel->failNext(idx, sb, failures, abortCode, silent);
    if (QByteArray(QTest::currentDataTag()).endsWith("then silent")) {
        // After the refusal the device goes quiet.
        FakeSdoChannel* dev = rig.channel.get();
        auto seen = std::make_shared<std::atomic<int>>(0);
        rig.channel->setOnExchange([dev, idx, sb, seen](const FakeSdoChannel::Call&) {
            if (seen->fetch_add(1) == 1)
                dev->failNext(idx, sb, -1, 0, true);
        });
    }
    const SPCustomParam p = makeParam(index, sub, "X");
    p->setValue(QByteArray::fromHex("64616f6c"));
    rig.worker->enqueue(p, rig.events.callback("X"));
    rig.worker->startProcess();

    if (event == "reboot" || event == "restore") {
        QVERIFY(rig.events.waitFor(event));
        QTRY_VERIFY(!rig.worker->isActive());
        QCOMPARE(rig.events.list(), QStringList({event}));
        QCOMPARE(countCalls(rig.channel->calls(), 0x1000, 0, false), 0);
        QCOMPARE(rig.worker->pendingCount(), 1); // cleared by the next connection attempt
    } else {
        QVERIFY(rig.events.waitFor("round done"));
        QVERIFY(rig.worker->stopAndJoin(2000));
        QCOMPARE(rig.events.list().filter(event).size(), 1);
    }
    QCOMPARE(countCalls(rig.channel->calls(), idx, sb, true), tries);
}

void TstCustomDSWorkers::saveLostLinkEndsWorker()
{
    Rig<CustomDSSaveThread> rig;
    rig.channel->setSilent(true);
    const SPCustomParam p = makeParam("2000", "1", "A");
    p->setValue(QByteArray::fromHex("01"));
    rig.worker->enqueue(p, rig.events.callback("A"));
    rig.worker->startProcess();
    QVERIFY(rig.events.waitFor("lost"));
    QTRY_VERIFY(!rig.worker->isActive());
    QCOMPARE(rig.events.list(), QStringList({"cb A 0", "lost"}));
    const auto calls = rig.channel->calls();
    QCOMPARE(countCalls(calls, 0x2000, 1, true), 3);
    QCOMPARE(countCalls(calls, 0x1000, 0, false), 3);
    QCOMPARE(rig.worker->pendingCount(), 1);
}

void TstCustomDSWorkers::saveRefusesUnwritableValues_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("reason"); // empty: written
    QTest::newRow("never read") << "2000" << QByteArray() << "значение не прочитано с устройства";
    QTest::newRow("71 bytes") << "2000" << QByteArray(71, 'x') << "значение длиннее 70 байт";
    QTest::newRow("70 bytes") << "2000" << QByteArray(70, 'x') << "";
    QTest::newRow("bad index") << "20g0" << QByteArray(2, 'x') << "неверный индекс или субиндекс";
    QTest::newRow("index too wide") << "12000" << QByteArray(2, 'x') << "неверный индекс или субиндекс";
}

void TstCustomDSWorkers::saveRefusesUnwritableValues()
{
    QFETCH(QString, index);
    QFETCH(QByteArray, value);
    QFETCH(QString, reason);
    Rig<CustomDSSaveThread> rig;
    rig.channel->setObject(kNode, 0x2000, 1, QByteArray());
    const SPCustomParam p = makeParam(index, "1", "A", 0x0F);
    p->setValue(value);
    rig.worker->enqueue(p, rig.events.callback("A"));
    rig.worker->startProcess();
    QVERIFY(rig.events.waitFor("round done"));
    QVERIFY(rig.worker->stopAndJoin(2000));
    if (reason.isEmpty()) {
        QCOMPARE(rig.events.list(), QStringList({"cb A 1", "saved A", "round done"}));
        QCOMPARE(rig.channel->object(kNode, 0x2000, 1), value);
    } else {
        QCOMPARE(rig.events.list(),
                 QStringList({"cb A 0", "savefail Ошибка записи параметра A: " + reason, "round done"}));
        QVERIFY(rig.channel->calls().empty());
    }
    QCOMPARE(rig.worker->pendingCount(), 0);
}

void TstCustomDSWorkers::saveKeepsMarkOfEditDuringWrite()
{
    Rig<CustomDSSaveThread> rig;
    rig.channel->setObject(kNode, 0x2000, 1, QByteArray::fromHex("00"));
    rig.channel->setObject(kNode, 0x2000, 2, QByteArray::fromHex("00"));
    // The parameter itself is queued: its mark goes only if the value still is what was written.
    const SPCustomParam kept = makeParam("2000", "1", "kept");
    const SPCustomParam cleared = makeParam("2000", "2", "cleared");
    for (const SPCustomParam& p : {kept, cleared}) {
        p->setValue(QByteArray::fromHex("01"));
        p->setEdited(true);
    }
    rig.channel->setOnExchange([kept](const FakeSdoChannel::Call& c) {
        if (c.subIndex == 1)
            kept->setValue(QByteArray::fromHex("02")); // the user again, mid-write
    });
    rig.worker->enqueue(kept, {});
    rig.worker->enqueue(cleared, {});
    rig.worker->startProcess();
    QVERIFY(rig.events.waitFor("round done"));
    QVERIFY(rig.worker->stopAndJoin(2000));
    QVERIFY(kept->edited());
    QVERIFY(!cleared->edited());
    QCOMPARE(rig.channel->object(kNode, 0x2000, 1), QByteArray::fromHex("01"));
}

void TstCustomDSWorkers::destroyMidRound()
{
    auto channel = std::make_shared<FakeSdoChannel>();
    channel->setLatencyMs(30);
    channel->setObject(kNode, 0x2000, 0, QByteArray::fromHex("01"));
    auto load = std::make_unique<CustomDSLoadThread>(channel);
    auto save = std::make_unique<CustomDSSaveThread>(channel);
    load->setSettings(fastSettings());
    save->setSettings(fastSettings());
    const SPCustomParam p = makeParam("2000", "0", "A");
    p->setValue(QByteArray::fromHex("02"));
    for (int i = 0; i < 20; ++i) {
        load->enqueue(makeParam("2000", "0", "A"), [](bool) {});
        const SPCustomParam w = makeParam(QString::number(0x2000 + i, 16), "0", "A");
        w->setValue(QByteArray::fromHex("03"));
        save->enqueue(w, [](bool) {});
    }
    save->enqueue(p, [](bool) {});
    QVERIFY(channel->waitForCalls(2, 5000));
    QElapsedTimer t;
    t.start();
    load.reset();
    save.reset();
    QVERIFY(t.elapsed() < 1000);
    QCOMPARE(channel->overlaps(), 0);
}

QTEST_GUILESS_MAIN(TstCustomDSWorkers)
#include "tst_customdsworkers.moc"
