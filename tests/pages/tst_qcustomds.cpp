// The data source over a scripted device: link open and close, the probe, and
// how it keeps its two workers from talking to the device at the same time.
#include "fakesdochannel.h"
#include "inboxdrained.h"
#include "link/connectionsettings.h"
#include "pages/customdsloadthread.h"
#include "pages/customdssavethread.h"
#include "pages/qcustomds.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

SPCustomParam makeParam(const QString& index, const QString& sub, const QString& name)
{
    auto type = QSharedPointer<ParamDataType>::create(QStringLiteral("T"), 1, 0x05);
    return SPCustomParam::create(index, sub, name, type, false, true);
}

DataSourceTiming fastTiming()
{
    DataSourceTiming t;
    t.roundIntervalMs = 5;
    t.probeWaitMs = 50;
    t.writeWaitMs = 50;
    return t;
}

struct Rig {
    explicit Rig(uint8_t nodeId = 5)
    {
        ConnectionSettings& s = connectionSettings();
        s = ConnectionSettings();
        s.portName = QStringLiteral("ttyUSB0");
        s.nodeId = nodeId;
        s.responseTimeoutMs = 40;
        ds = std::make_unique<QCustomDS>(channel);
        ds->setTiming(fastTiming());
    }
    // A device at `id` that answers the probe and the link test.
    void deviceAt(uint8_t id)
    {
        channel->setObject(id, 0x2000, 1, QByteArray::fromHex("3412"));
        channel->setObject(id, 0x1000, 0, QByteArray::fromHex("91010000"));
    }
    std::shared_ptr<FakeSdoChannel> channel = std::make_shared<FakeSdoChannel>();
    std::unique_ptr<QCustomDS> ds;
};

QStringList probedIds(const FakeSdoChannel& ch)
{
    QStringList ids;
    for (const auto& c : ch.calls())
        if (c.index == 0x2000 && c.subIndex == 1 && !c.write)
            ids << QString::number(c.nodeId);
    return ids;
}

} // namespace

class TstQCustomDS : public QObject {
    Q_OBJECT
private slots:
    void probeFallsBack_data();
    void probeFallsBack();
    void openFailures_data();
    void openFailures();
    void serialLineChoice();
    void connectAndDisconnectOnlyOnce();
    void disconnectStopsWorkersAndReportsCloseFailure();
    void saveKeepsLoadOffTheLine();
    void loadStaysStoppedAfterLateReports();
    void lostLinkReportedOnce();
    void failedReadToldOncePerLink();
    void teardownMidRound();
};

void TstQCustomDS::probeFallsBack_data()
{
    QTest::addColumn<int>("configured");
    QTest::addColumn<int>("deviceAt");   // 0: nobody
    QTest::addColumn<QString>("probes"); // ids asked, three tries each
    QTest::addColumn<int>("nodeIdAfter");
    QTest::newRow("configured id answers") << 5 << 5 << "5" << 5;
    QTest::newRow("falls back to 31") << 5 << 31 << "5 5 5 31" << 31;
    QTest::newRow("falls back to 127") << 5 << 127 << "5 5 5 31 31 31 127" << 127;
    QTest::newRow("unset id goes straight to 31") << 0xFF << 31 << "31" << 31;
    QTest::newRow("id 0 is no node id") << 0 << 127 << "31 31 31 127" << 127;
    QTest::newRow("31 is not asked twice") << 31 << 127 << "31 31 31 127" << 127;
    QTest::newRow("nobody") << 5 << 0 << "5 5 5 31 31 31 127 127 127" << 5;
}

void TstQCustomDS::probeFallsBack()
{
    QFETCH(int, configured);
    QFETCH(int, deviceAt);
    QFETCH(QString, probes);
    QFETCH(int, nodeIdAfter);
    Rig rig(uint8_t(configured & 0xFF));
    if (deviceAt)
        rig.deviceAt(uint8_t(deviceAt));
    QSignalSpy tools(rig.ds.get(), &QCustomDS::setToolsEnabled);
    QSignalSpy log(rig.ds.get(), qOverload<QString, bool>(&QCustomDS::toLog));

    const bool connected = rig.ds->connectDevice();
    QCOMPARE(connected, deviceAt != 0);
    QCOMPARE(rig.ds->isConnected(), connected);
    QCOMPARE(probedIds(*rig.channel).join(' '), probes);
    for (const auto& c : rig.channel->calls())
        QCOMPARE(c.waitMs, 50);
    QCOMPARE(int(connectionSettings().nodeId), nodeIdAfter);
    if (connected) {
        QCOMPARE(log.count(), 0);
    } else { // one red line naming the ids tried
        QCOMPARE(log.count(), 1);
        QCOMPARE(log.at(0).at(0).toString(), QString("Устройство не отвечает (id: 5, 31, 127)."));
        QCOMPARE(log.at(0).at(1).toBool(), false);
    }
    // On only once a device has answered; a failure ends with them off.
    QCOMPARE(tools.count(), 1);
    QCOMPARE(tools.last().at(0).toBool(), connected);
    const QStringList link = rig.channel->linkCalls();
    QCOMPARE(link.first(), QString("open ttyUSB0 1 250000"));
    QCOMPARE(link.contains("close"), !connected);
    if (connected) {
        QCOMPARE(link.last(), QString("point %1").arg(deviceAt));
        QVERIFY(rig.ds->loadWorker()->isActive());
        QVERIFY(rig.ds->saveWorker()->isActive());
        QCOMPARE(int(rig.ds->loadWorker()->settings().nodeId), deviceAt);
        QCOMPARE(rig.ds->loadWorker()->settings().responseTimeoutMs, 40);
    }
}

void TstQCustomDS::openFailures_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("reason"); // why the port did not open
    QTest::addColumn<QString>("message");
    QTest::newRow("no port") << int(SdoChannel::LinkOpen::NoPort) << "/dev/ttyUSB0: Permission denied"
                             << "Не удалось установить usb-can соединение. /dev/ttyUSB0: Permission denied";
    QTest::newRow("no port, no reason known") << int(SdoChannel::LinkOpen::NoPort) << ""
                                              << "Не удалось установить usb-can соединение.";
    QTest::newRow("no bit rate") << int(SdoChannel::LinkOpen::NoBitRate) << ""
                                 << "Не удалось установить скорость соединения.";
}

void TstQCustomDS::openFailures()
{
    QFETCH(int, result);
    QFETCH(QString, reason);
    QFETCH(QString, message);
    Rig rig;
    rig.deviceAt(5);
    rig.channel->setOpenResult(SdoChannel::LinkOpen(result), reason);
    QSignalSpy tools(rig.ds.get(), &QCustomDS::setToolsEnabled);
    QSignalSpy log(rig.ds.get(), qOverload<QString, bool>(&QCustomDS::toLog));
    QVERIFY(!rig.ds->connectDevice());
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), message);
    QCOMPARE(log.at(0).at(1).toBool(), false);
    QCOMPARE(tools.count(), 1);
    QCOMPARE(tools.at(0).at(0).toBool(), false);
    QVERIFY(rig.channel->calls().empty());
    QVERIFY(!rig.ds->isConnected());
    QVERIFY(rig.ds->disconnectDevice()); // nothing to close
    QCOMPARE(rig.channel->linkCalls().size(), 1);
}

void TstQCustomDS::serialLineChoice()
{
    Rig rig;
    rig.deviceAt(5);
    connectionSettings().portName = QStringLiteral("/dev/pts/7");
    connectionSettings().canBusAccess = 0;
    connectionSettings().baudRate = QStringLiteral("125000");
    QVERIFY(rig.ds->connectDevice());
    QCOMPARE(rig.channel->linkCalls().first(), QString("open /dev/pts/7 0 125000"));
    QCOMPARE(connectionSettings().portName, QString("/dev/pts/7")); // kept whole
}

void TstQCustomDS::connectAndDisconnectOnlyOnce()
{
    Rig rig;
    rig.deviceAt(5);
    QVERIFY(rig.ds->connectDevice());
    QSignalSpy tools(rig.ds.get(), &QCustomDS::setToolsEnabled);
    const size_t calls = rig.channel->linkCalls().size();
    QVERIFY(rig.ds->connectDevice());
    QCOMPARE(tools.count(), 0);
    QCOMPARE(size_t(rig.channel->linkCalls().size()), calls);
    QVERIFY(rig.ds->disconnectDevice());
    QVERIFY(rig.ds->disconnectDevice());
    QCOMPARE(rig.channel->linkCalls().count("close"), 1);
}

void TstQCustomDS::disconnectStopsWorkersAndReportsCloseFailure()
{
    Rig rig;
    rig.deviceAt(5);
    rig.channel->setObject(5, 0x2100, 0, QByteArray::fromHex("01"));
    QVERIFY(rig.ds->connectDevice());
    rig.ds->slotLoad(makeParam("2100", "0", "A"), {});
    QVERIFY(rig.channel->waitForCalls(2, 5000));
    rig.channel->setCloseResult(false);
    QSignalSpy log(rig.ds.get(), qOverload<QString, bool>(&QCustomDS::toLog));
    QVERIFY(!rig.ds->disconnectDevice());
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), QString("Не удалось разорвать usb-can соединение."));
    QVERIFY(!rig.ds->isConnected());
    QVERIFY(!rig.ds->loadWorker()->isActive());
    QVERIFY(!rig.ds->saveWorker()->isActive());
    // Reports still queued for this thread must not start anything on the closed link.
    const size_t after = rig.channel->calls().size();
    QVERIFY(inboxDrained());
    QCOMPARE(rig.channel->calls().size(), after);
}

void TstQCustomDS::saveKeepsLoadOffTheLine()
{
    // While writes are queued the device is not polled, also when one fails.
    Rig rig;
    rig.deviceAt(5);
    FakeSdoChannel& dev = *rig.channel;
    for (uint16_t i : {0x2100, 0x2200, 0x2201, 0x2202})
        dev.setObject(5, i, 0, QByteArray::fromHex("00"));
    dev.failNext(0x2201, 0, -1, 0x06090030);
    dev.setLatencyMs(5);
    QVERIFY(rig.ds->connectDevice());
    QSignalSpy log(rig.ds.get(), qOverload<QString, bool>(&QCustomDS::toLog));
    rig.ds->slotLoad(makeParam("2100", "0", "watched"), {});
    QVERIFY(dev.waitForCalls(dev.calls().size() + 2, 5000));

    for (QString index : {"2200", "2201", "2202"}) {
        const SPCustomParam p = makeParam(index, "0", index);
        p->setValue(QByteArray::fromHex("07"));
        rig.ds->slotSave(p, {});
        QVERIFY(!rig.ds->loadWorker()->isActive());
    }
    QTRY_COMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), QString("Ошибка записи параметра 2201: ABORT_06090030"));
    QTRY_VERIFY(rig.ds->loadWorker()->isActive());
    const size_t before = dev.calls().size();
    QVERIFY(dev.waitForCalls(before + 2, 5000));

    // From the first write to the last, no read of the watched parameter.
    const auto calls = dev.calls();
    size_t first = calls.size();
    size_t last = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].write) {
            first = std::min(first, i);
            last = i;
        }
    }
    QVERIFY(first < last);
    for (size_t i = first; i <= last; ++i)
        QVERIFY(calls[i].index != 0x2100);
    QVERIFY(calls.back().index == 0x2100); // polling again afterwards
    QCOMPARE(dev.object(5, 0x2202, 0), QByteArray::fromHex("07"));
    QCOMPARE(dev.overlaps(), 0);
}

void TstQCustomDS::loadStaysStoppedAfterLateReports()
{
    Rig rig;
    rig.deviceAt(5);
    QVERIFY(rig.ds->connectDevice());
    // A report of the save worker that arrives after the link went.
    QVERIFY(rig.ds->disconnectDevice());
    emit rig.ds->saveWorker()->paramsSaved();
    emit rig.ds->saveWorker()->paramSavingFail(QStringLiteral("x"));
    QVERIFY(inboxDrained());
    QVERIFY(!rig.ds->loadWorker()->isActive());

    // And one that arrives while writes are still queued.
    QVERIFY(rig.ds->connectDevice());
    rig.ds->saveWorker()->stopAndJoin(2000);
    const SPCustomParam p = makeParam("2300", "0", "P");
    p->setValue(QByteArray::fromHex("01"));
    rig.ds->slotSave(p, {});
    emit rig.ds->saveWorker()->paramSavingFail(QStringLiteral("x"));
    QVERIFY(inboxDrained());
    QVERIFY(!rig.ds->loadWorker()->isActive());
    rig.ds->startLoad();
    QVERIFY(!rig.ds->loadWorker()->isActive());
}

void TstQCustomDS::lostLinkReportedOnce()
{
    Rig rig;
    rig.deviceAt(5);
    rig.channel->setObject(5, 0x2100, 0, QByteArray::fromHex("01"));
    QVERIFY(rig.ds->connectDevice());
    QSignalSpy lost(rig.ds.get(), &QCustomDS::signalConnectionError);
    rig.ds->slotLoad(makeParam("2100", "0", "A"), {});
    rig.channel->setSilent(true);
    QTRY_COMPARE(lost.count(), 1);
    emit rig.ds->saveWorker()->connectionError(); // the other worker finds it too
    QVERIFY(inboxDrained());
    QCOMPARE(lost.count(), 1);
    QVERIFY(!rig.ds->loadWorker()->isActive());
    QVERIFY(rig.ds->disconnectDevice());
}

// A parameter whose object the device lacks is read every round; the log
// hears of it once, and again only after a good read or on a new link.
void TstQCustomDS::failedReadToldOncePerLink()
{
    Rig rig;
    rig.deviceAt(5);
    FakeSdoChannel& dev = *rig.channel;
    dev.setObject(5, 0x2100, 0, QByteArray::fromHex("01"));
    QSignalSpy log(rig.ds.get(), qOverload<QString, bool>(&QCustomDS::toLog));
    const QString missing = QStringLiteral("Не удалось получить данные параметра gone. Ошибка: ABORT_06020000");
    const auto readsOf = [&](uint16_t index, bool answered = false) {
        int n = 0;
        for (const auto& c : dev.calls())
            n += c.index == index && !c.write && (c.ok || !answered);
        return n;
    };
    const auto roundsPass = [&](int rounds) {
        const int target = readsOf(0x2101) + rounds * SDO_REQUEST_TRIES;
        return QTest::qWaitFor([&] { return readsOf(0x2101) >= target; }, 5000);
    };

    QVERIFY(rig.ds->connectDevice());
    rig.ds->slotLoad(makeParam("2100", "0", "kept"), {});
    rig.ds->slotLoad(makeParam("2101", "0", "gone"), {});
    QVERIFY(roundsPass(3));
    QVERIFY(inboxDrained());
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), missing);
    QCOMPARE(log.at(0).at(1).toBool(), false);

    // Read once, then lacking again: a new line.
    dev.setObject(5, 0x2101, 0, QByteArray::fromHex("02"));
    QTRY_VERIFY(readsOf(0x2101, true) > 0);
    dev.failNext(0x2101, 0, -1, 0x06020000);
    QVERIFY(roundsPass(2));
    QVERIFY(inboxDrained());
    QCOMPARE(log.count(), 2);

    // The same parameters watched over a new link.
    QVERIFY(rig.ds->disconnectDevice());
    QVERIFY(rig.ds->connectDevice());
    QVERIFY(roundsPass(2));
    QVERIFY(inboxDrained());
    QCOMPARE(log.count(), 3);
    QCOMPARE(log.at(2).at(0).toString(), missing);
}

void TstQCustomDS::teardownMidRound()
{
    Rig rig;
    rig.deviceAt(5);
    FakeSdoChannel& dev = *rig.channel;
    dev.setLatencyMs(20);
    QVERIFY(rig.ds->connectDevice());
    for (int i = 0; i < 10; ++i) {
        dev.setObject(5, uint16_t(0x2100 + i), 0, QByteArray::fromHex("01"));
        rig.ds->slotLoad(makeParam(QString::number(0x2100 + i, 16), "0", "A"), [](bool) {});
    }
    QVERIFY(dev.waitForCalls(dev.calls().size() + 3, 5000));
    rig.ds->clearData();
    QCOMPARE(rig.ds->loadWorker()->pendingCount(), 0);
    rig.ds.reset(); // disconnects, stops and joins both
    QVERIFY(rig.channel->linkCalls().contains("close"));
    QCOMPARE(dev.overlaps(), 0);
}

QTEST_GUILESS_MAIN(TstQCustomDS)
#include "tst_qcustomds.moc"
