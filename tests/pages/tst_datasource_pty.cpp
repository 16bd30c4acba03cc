// The data source end to end: the real link over a pty, the simulated adapter
// and a simulated CANopen device behind it.
#include "canopen/node.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "pages/customdsloadthread.h"
#include "pages/customdssavethread.h"
#include "pages/qcustomds.h"
#include "inboxdrained.h"
#include "ptydatasource.h"
#include "sim/simdevice.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <mutex>

namespace {

QByteArray u16(uint16_t v)
{
    const char bytes[2] = {char(v & 0xFF), char(v >> 8)};
    return QByteArray(bytes, 2);
}

// Stands between the adapter and the device: hands each request to the device
// and its answers back at once, and notes every transfer that begins while
// another one is still open on the device.
class TransferWatch {
public:
    TransferWatch(SimAdapter& adapter, SimCanDevice& device) : m_adapter(adapter), m_device(device)
    {
        adapter.setFrameHandler([this](const CanFrame& f) { onFrame(f); });
    }
    ~TransferWatch() { m_adapter.setFrameHandler(nullptr); }

    int overlaps() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_overlaps;
    }
    // Transfers begun with the object: uploads and downloads.
    int begun(uint16_t index, uint8_t sub, bool download) const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        int n = 0;
        for (const auto& b : m_begun)
            n += b.index == index && b.sub == sub && b.download == download;
        return n;
    }

private:
    struct Begun {
        uint16_t index;
        uint8_t sub;
        bool download;
    };

    void onFrame(const CanFrame& f)
    {
        if (f.id != 0x600 + m_device.nodeId() || f.len != 8)
            return;
        const int ccs = f.data[0] >> 5;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (ccs == 1 || ccs == 2) {
                if (m_open)
                    ++m_overlaps;
                m_begun.push_back({uint16_t(f.data[1] | f.data[2] << 8), f.data[3], ccs == 1});
            }
            if (ccs == 4)
                m_open = false;
        }
        const SimCanDevice::Reply reply = m_device.receive(f);
        if (reply.rebootAfterMs >= 0)
            m_device.setSilent(true); // restarting: it never comes back in these tests
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (reply.frames.empty())
                m_open = false;
            for (const CanFrame& r : reply.frames) {
                const int scs = r.data[0] >> 5;
                switch (scs) {
                case 2: m_open = !(r.data[0] & 0x02); break;            // upload initiated
                case 0: m_open = !(r.data[0] & 0x01); break;            // upload segment
                case 3: m_open = ccs == 1 && !(f.data[0] & 0x02); break; // download initiated
                case 1: m_open = !(f.data[0] & 0x01); break;            // download segment
                default: m_open = false; break;                         // abort
                }
            }
        }
        for (const CanFrame& r : reply.frames)
            m_adapter.sendFrame(r);
    }

    SimAdapter& m_adapter;
    SimCanDevice& m_device;
    mutable std::mutex m_mutex;
    bool m_open = false;
    int m_overlaps = 0;
    std::vector<Begun> m_begun;
};

SPCustomParam makeParam(const QString& index, const QString& sub, const QString& name, int canType)
{
    auto type = QSharedPointer<ParamDataType>::create(QStringLiteral("T"), 4, canType);
    return SPCustomParam::create(index, sub, name, type, false, true);
}

// Callback results, recorded on the worker's thread.
class Results {
public:
    std::function<void(bool)> callback(const QString& name)
    {
        return [this, name](bool ok) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_list << QStringLiteral("%1 %2").arg(name).arg(ok ? 1 : 0);
        };
    }
    int count(const QString& entry) const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_list.count(entry);
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_list;
};

struct PtyRig {
    PtyRig(uint8_t deviceId, uint8_t configuredId) : device(deviceId), watch(adapter, device)
    {
        device.addObject(0x2000, 1, CO_UNSIGNED16, u16(0x0107));
        device.addObject(0x1000, 0, CO_UNSIGNED32, QByteArray::fromHex("91010000"));
        ds = dataSourceOnPty(adapter.slavePath(), configuredId, 20);
    }
    ~PtyRig() { ds.reset(); } // the link closes before the device goes

    SimAdapter adapter;
    SimCanDevice device;
    TransferWatch watch;
    std::unique_ptr<QCustomDS> ds;
};

} // namespace

class TstDataSourcePty : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { registerCustomParamMetaType(); }
    void probeFallsBack_data();
    void probeFallsBack();
    void loadAndSaveRounds();
    void unplugReportsOnce();
    void commandsSentOnce_data();
    void commandsSentOnce();
};

void TstDataSourcePty::probeFallsBack_data()
{
    QTest::addColumn<int>("deviceId");
    QTest::addColumn<int>("configured");
    QTest::addColumn<QList<int>>("asked"); // tries of the device-type read at 5, 31 and 127
    QTest::newRow("configured 5, device at 31") << 31 << 5 << QList<int>{3, 1, 0};
    QTest::newRow("unset, device at 127") << 127 << 0xFF << QList<int>{0, 3, 1};
}

void TstDataSourcePty::probeFallsBack()
{
    QFETCH(int, deviceId);
    QFETCH(int, configured);
    QFETCH(QList<int>, asked);
    PtyRig rig{uint8_t(deviceId), uint8_t(configured)};
    QVERIFY(rig.adapter.ok());
    QVERIFY(rig.ds->connectDevice());
    QCOMPARE(int(connectionSettings().nodeId), deviceId);
    const QStringList lines = rig.adapter.lines();
    const int ids[] = {5, 31, 127};
    for (int i = 0; i < 3; ++i) {
        const QString typeRead = "t" + QString::number(0x600 + ids[i], 16) + "840002001";
        QCOMPARE(lines.filter(typeRead, Qt::CaseInsensitive).size(), asked[i]);
    }
    QCOMPARE(rig.adapter.bitRateCode(), '5');
    QVERIFY(rig.ds->disconnectDevice());
    QTRY_VERIFY(!rig.adapter.channelOpen()); // the adapter reads "C" on its own thread
}

void TstDataSourcePty::loadAndSaveRounds()
{
    PtyRig rig(31, 31);
    SimCanDevice& dev = rig.device;
    dev.addObject(0x2100, 0, CO_UNSIGNED8, QByteArray::fromHex("07"));
    dev.addObject(0x2101, 0, CO_UNSIGNED32, QByteArray::fromHex("01020304"));
    dev.addObject(0x2102, 0, CO_VISIBLE_STRING, QByteArray("a value in segments"));
    dev.addObject(0x2103, 0, CO_UNSIGNED8, QByteArray::fromHex("01"));
    for (uint16_t i : {0x2200, 0x2201, 0x2202})
        dev.addObject(i, 0, CO_VISIBLE_STRING, QByteArray("old"));
    dev.setAbort(0x2201, 0, 0x06090030);
    QVERIFY(rig.ds->connectDevice());
    QSignalSpy log(rig.ds.get(), qOverload<QString, bool>(&QCustomDS::toLog));

    Results results;
    const SPCustomParam u8 = makeParam("2100", "0", "u8", CO_UNSIGNED8);
    const SPCustomParam u32 = makeParam("2101", "0", "u32", CO_UNSIGNED32);
    const SPCustomParam text = makeParam("2102", "0", "text", CO_VISIBLE_STRING);
    const SPCustomParam edited = makeParam("2103", "0", "edited", CO_UNSIGNED8);
    edited->setValue(QByteArray::fromHex("05"));
    edited->setEdited(true);
    for (const SPCustomParam& p : {u8, u32, text, edited})
        rig.ds->slotLoad(p, results.callback(p->name()));

    QTRY_VERIFY_WITH_TIMEOUT(results.count("text 1") == 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.watch.begun(0x2102, 0, false) >= 3, 5000);
    QCOMPARE(results.count("u8 1"), 1);
    QCOMPARE(results.count("u32 1"), 1);
    QCOMPARE(text->value(), QByteArray("a value in segments"));
    QCOMPARE(rig.watch.begun(0x2103, 0, false), 0);
    QCOMPARE(edited->value(), QByteArray::fromHex("05"));
    dev.setValue(0x2101, 0, QByteArray::fromHex("01020305"));
    QTRY_VERIFY_WITH_TIMEOUT(results.count("u32 1") == 2, 5000);
    QCOMPARE(results.count("u8 1"), 1);

    // Two saves of one object queued before a round, and a failure between two writes.
    rig.ds->saveWorker()->stopAndJoin(2000);
    const auto save = [&](const QString& index, const QByteArray& value) {
        const SPCustomParam p = makeParam(index, "0", index, CO_VISIBLE_STRING);
        p->setValue(value);
        rig.ds->slotSave(p, results.callback("save " + index + " " + value));
    };
    save("2200", "first");
    save("2201", "refused");
    save("2200", "newer");
    save("2202", "third");
    QVERIFY(!rig.ds->loadWorker()->isActive());
    rig.ds->saveWorker()->startProcess();

    QTRY_COMPARE_WITH_TIMEOUT(log.count(), 1, 10000);
    QCOMPARE(log.at(0).at(0).toString(), QString("Ошибка записи параметра 2201: OD_VALUE_RANGE_EXCEEDED"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.ds->loadWorker()->isActive(), 10000);
    QCOMPARE(dev.writesTo(0x2200, 0), 1);
    QCOMPARE(dev.value(0x2200, 0), QByteArray("newer"));
    QCOMPARE(dev.value(0x2202, 0), QByteArray("third"));
    QCOMPARE(results.count("save 2200 first 1"), 1); // carried by the one write
    QCOMPARE(results.count("save 2200 newer 1"), 1);
    QCOMPARE(results.count("save 2201 refused 0"), 1);
    QCOMPARE(rig.watch.begun(0x2201, 0, true), 3);

    // Polling again; then the data source goes in the middle of a round.
    const int before = rig.watch.begun(0x2102, 0, false);
    QTRY_VERIFY_WITH_TIMEOUT(rig.watch.begun(0x2102, 0, false) > before, 5000);
    rig.ds.reset();
    QTRY_VERIFY(!rig.adapter.channelOpen()); // the adapter reads "C" on its own thread
    QCOMPARE(rig.watch.overlaps(), 0);
    QVERIFY(dev.abortsReceived().empty());
}

void TstDataSourcePty::unplugReportsOnce()
{
    PtyRig rig(31, 31);
    rig.device.addObject(0x2100, 0, CO_UNSIGNED8, QByteArray::fromHex("07"));
    QVERIFY(rig.ds->connectDevice());
    QSignalSpy lost(rig.ds.get(), &QCustomDS::signalConnectionError);
    Results results;
    rig.ds->slotLoad(makeParam("2100", "0", "p", CO_UNSIGNED8), results.callback("p"));
    QTRY_VERIFY_WITH_TIMEOUT(results.count("p 1") == 1, 5000);

    rig.adapter.closeLine();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 15000);
    QCOMPARE(results.count("p 0"), 1);
    QElapsedTimer t;
    t.start();
    rig.ds->disconnectDevice(); // as the main window does on the signal
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!rig.ds->isConnected());
    // The workers are joined; once their last reports have reached this thread,
    // the loss must still have been reported once.
    QVERIFY(inboxDrained());
    QCOMPARE(lost.count(), 1);
    QCOMPARE(results.count("p 0"), 1);
}

void TstDataSourcePty::commandsSentOnce_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("sub");
    QTest::addColumn<uint>("abortCode"); // 0: the device restarts without an answer
    QTest::newRow("reboot, device restarts") << 0x2001 << 0x0a << 0u;
    QTest::newRow("restore, device restarts") << 0x1011 << 1 << 0u;
    QTest::newRow("reboot refused by the device") << 0x2001 << 0x0a << 0x08000022u;
}

// A command the device restarts on goes out once: the stack's time-out of that
// one try is the restart. A device that refuses it gets every try.
void TstDataSourcePty::commandsSentOnce()
{
    QFETCH(int, index);
    QFETCH(int, sub);
    QFETCH(uint, abortCode);
    PtyRig rig(31, 31);
    rig.device.addObject(uint16_t(index), uint8_t(sub), CO_UNSIGNED32, QByteArray(4, '\0'));
    if (abortCode)
        rig.device.setAbort(uint16_t(index), uint8_t(sub), abortCode);
    else
        rig.device.setRebootOnWrite(uint16_t(index), uint8_t(sub), 60000);
    DataSourceTiming t;
    t.roundIntervalMs = 20;
    t.probeWaitMs = 300;
    rig.ds->setTiming(t); // writes wait for the stack's own time-out, as in the tool
    QVERIFY(rig.ds->connectDevice());
    QSignalSpy reboot(rig.ds.get(), &QCustomDS::signalAfterReboot);
    QSignalSpy restore(rig.ds.get(), &QCustomDS::signalAfterRestoredDefault);
    QSignalSpy log(rig.ds.get(), qOverload<QString, bool>(&QCustomDS::toLog));
    const SPCustomParam cmd = makeParam(QString::number(index, 16), QString::number(sub, 16), "cmd", CO_UNSIGNED32);
    cmd->setValue(QByteArray::fromHex("626f6f74"));
    rig.ds->slotSave(cmd, {});
    const bool isReboot = index == 0x2001;
    if (abortCode) {
        QTRY_COMPARE_WITH_TIMEOUT(log.count(), 1, 10000);
        QCOMPARE(log.at(0).at(0).toString(), QString("Ошибка записи параметра cmd: "));
        QCOMPARE(rig.watch.begun(uint16_t(index), uint8_t(sub), true), 3);
        QCOMPARE(reboot.count() + restore.count(), 0);
        return;
    }
    QSignalSpy& reported = isReboot ? reboot : restore;
    QTRY_COMPARE_WITH_TIMEOUT(reported.count(), 1, 10000);
    QCOMPARE(rig.watch.begun(uint16_t(index), uint8_t(sub), true), 1);
    QCOMPARE(rig.watch.begun(0x1000, 0, false), 0); // no link test for the command
    QCOMPARE(log.count(), 0);
    QVERIFY(!rig.ds->saveWorker()->isActive()); // nothing more goes out for it
    QCOMPARE(reboot.count() + restore.count(), 1);
}

QTEST_GUILESS_MAIN(TstDataSourcePty)
#include "tst_datasource_pty.moc"
