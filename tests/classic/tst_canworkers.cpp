// The classic CAN page's load and save workers over the real link to a
// simulated device on a pty. Their signals reach the test's thread queued, as
// they reach the window.
#include "classic/canvalues.h"
#include "classic/loadcandatathread.h"
#include "classic/savecandatathread.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "records.h"
#include "sim/simdevice.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace {
const uint8_t kNode = 0x24;
const int kTimeoutMs = 300;

// A device with the probe object and 0x3000.. as UNSIGNED32, the link open to
// it, reads bounded by kTimeoutMs.
struct Rig {
    Rig()
    {
        sim.device.addObject(0x1000, 0, CO_UNSIGNED32, littleEndian(0x191, 4));
        for (quint32 i = 0; i < 4; ++i)
            sim.device.addObject(uint16_t(0x3000 + i), 0, CO_UNSIGNED32, littleEndian(0x11111111 * (i + 1), 4));
        sim.device.addObject(0x3100, 0, CO_VISIBLE_STRING, QByteArray("text"));
        open = openCanLink(sim.adapter.slavePath(), 0, QStringLiteral("250000"), nullptr) == CAN_LINK_OPEN;
        pointSdoClientAt(kNode);
        connectionSettings().nodeId = kNode;
        connectionSettings().responseTimeoutMs = kTimeoutMs;
    }
    ~Rig()
    {
        closeCanLink(nullptr);
        connectionSettings() = ConnectionSettings();
    }
    // Records A, B, C, D of 0x3000 to 0x3003.
    QVector<ParamEntry*> records(int n = 3)
    {
        QVector<ParamEntry*> list;
        for (int i = 0; i < n; ++i)
            list << &addCanRecord(map, QString(QChar('A' + i)), CanUnsigned32, uint16_t(0x3000 + i));
        return list;
    }
    SimDeviceOnPty sim{kNode};
    ParamEntryMap map;
    bool open = false;
};

// What the workers said, in the order it reached this thread.
struct Events : QObject {
    explicit Events(LoadCanDataThread& w)
    {
        connect(&w, &LoadCanDataThread::paramLoaded, this, [this](QString n) { log << "loaded " + n; });
        connect(&w, &LoadCanDataThread::paramsLoaded, this, [this] { log << "cycle"; });
        connect(&w, &LoadCanDataThread::paramsLoadingFail, this, [this] { log << "lost"; });
        connect(&w, &LoadCanDataThread::paramLoadingFail, this, [this](QString m) { log << "failed " + m; });
    }
    explicit Events(SaveCanDataThread& w)
    {
        connect(&w, &SaveCanDataThread::paramSavingSuccess, this, [this](QString n) { log << "saved " + n; });
        connect(&w, &SaveCanDataThread::paramSavingFail, this,
                [this](QString n, QString m) { log << "not saved " + n + " / " + m; });
    }
    int count(const QString& line) const { return log.count(line); }
    QStringList log;
};
}

class TstCanWorkers : public QObject {
    Q_OBJECT
private slots:
    void init() { setSdoStackWaitMs(0); }
    void cleanup() { setSdoStackWaitMs(0); }

    void onlyChangedValuesAreSignalled()
    {
        Rig rig;
        QVERIFY(rig.open);
        LoadCanDataThread worker;
        Events events(worker);
        worker.setPauseMs(20);
        worker.startLoad(rig.records());
        QTRY_VERIFY(events.count("cycle") >= 2);
        QCOMPARE(events.log.mid(0, 4), (QStringList{"loaded A", "loaded B", "loaded C", "cycle"}));
        rig.sim.device.setValue(0x3001, 0, littleEndian(0xABCD, 4));
        QTRY_COMPARE(events.count("loaded B"), 2);
        const int cycles = events.count("cycle");
        QTRY_VERIFY(events.count("cycle") >= cycles + 2);
        worker.stopProcess();
        QVERIFY(worker.wait(2000));
        QCOMPARE(events.count("loaded A"), 1);
        QCOMPARE(events.count("loaded B"), 2);
        QCOMPARE(events.count("loaded C"), 1);
        QCOMPARE(canValueOf(*rig.map.find("B")).text, QStringLiteral("0000abcd"));
        QVERIFY(!events.log.join(',').contains("failed") && !events.log.contains("lost"));
    }

    void missingObjectIsReportedAndTheCycleGoesOn()
    {
        Rig rig;
        QVERIFY(rig.open);
        QVector<ParamEntry*> list = rig.records(2);
        list.insert(1, &addCanRecord(rig.map, "X", CanUnsigned32, 0x5555));
        LoadCanDataThread worker;
        Events events(worker);
        worker.startLoad(list);
        QTRY_VERIFY_WITH_TIMEOUT(events.count("cycle") >= 1, 5000);
        worker.stopProcess();
        QVERIFY(worker.wait(2000));
        QCOMPARE(events.log.mid(0, 4),
                 (QStringList{"loaded A", "failed Не удалось получить данные параметра cap X. Ошибка: OD_NO_SUCH_OBJECT",
                              "loaded B", "cycle"}));
        QCOMPARE(rig.sim.device.uploadsOf(0x5555, 0), 3);
        QCOMPARE(rig.sim.device.uploadsOf(0x1000, 0), 1);
    }

    void unpluggedDeviceEndsTheThreadOnce()
    {
        Rig rig;
        QVERIFY(rig.open);
        LoadCanDataThread worker;
        Events events(worker);
        worker.setPauseMs(20);
        worker.startLoad(rig.records());
        QTRY_VERIFY(events.count("cycle") >= 1);
        rig.sim.device.setSilent(true);
        // Three tries of a record and three probes, each bounded.
        QTRY_VERIFY_WITH_TIMEOUT(worker.isFinished(), 6 * kTimeoutMs + 3000);
        QTRY_COMPARE(events.count("lost"), 1);
        QTest::qWait(3 * kTimeoutMs);
        QCOMPARE(events.count("lost"), 1);
        QVERIFY(!events.log.join(',').contains("failed"));
    }

    void stopEndsWithinOneTry_data()
    {
        QTest::addColumn<bool>("failing");
        QTest::newRow("empty list, in the pause") << false;
        QTest::newRow("every read failing, device present") << true;
    }
    void stopEndsWithinOneTry()
    {
        QFETCH(bool, failing);
        Rig rig;
        QVERIFY(rig.open);
        QVector<ParamEntry*> list;
        if (failing) {
            list = rig.records();
            // Each answer comes after the try has given up; the probe answers.
            for (int i = 0; i < 3; ++i)
                rig.sim.device.setDelay(uint16_t(0x3000 + i), 0, 10 * kTimeoutMs);
        }
        LoadCanDataThread worker;
        Events events(worker);
        worker.setPauseMs(failing ? 0 : LoadCanDataThread::kDefaultPauseMs);
        worker.startLoad(list);
        if (failing)
            QTRY_VERIFY_WITH_TIMEOUT(rig.sim.device.uploadsOf(0x1000, 0) >= 2, 10000);
        QVERIFY(worker.isRunning());
        QElapsedTimer took;
        took.start();
        worker.stopProcess();
        QVERIFY(worker.wait(5000));
        QVERIFY2(took.elapsed() < kTimeoutMs + 300, qPrintable(QString::number(took.elapsed())));
        QVERIFY(!events.log.contains("lost"));
    }

    void destructionMidCycleIsClean()
    {
        Rig rig;
        QVERIFY(rig.open);
        for (int i = 0; i < 3; ++i)
            rig.sim.device.setDelay(uint16_t(0x3000 + i), 0, 100);
        auto worker = std::make_unique<LoadCanDataThread>();
        Events events(*worker);
        worker->setPauseMs(0);
        worker->startLoad(rig.records());
        QTRY_VERIFY(events.count("loaded A") == 1);
        QElapsedTimer took;
        took.start();
        worker.reset();
        QVERIFY2(took.elapsed() < kTimeoutMs + 300, qPrintable(QString::number(took.elapsed())));
        // The line is free for the next user.
        QVERIFY(sdoRead(kNode, 0x1000, 0, CO_UNSIGNED32, kTimeoutMs).ok);
    }

    void savePass_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("index");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("abortCode");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("written"); // the device's value afterwards
        QTest::addColumn<int>("requests");
        const QByteArray untouched = littleEndian(0x22222222, 4);
        QTest::newRow("accepted") << 7 << 0x3001 << qint64(0x11223344) << "" << 0u << "saved A"
                                  << QByteArray::fromHex("44332211") << 1;
        QTest::newRow("Latin-1 string, length in bytes") << 9 << 0x3100 << qint64(0) << "Grüß" << 0u << "saved A"
                                                         << QByteArray("Gr\xfc\xdf") << 1;
        QTest::newRow("value range exceeded")
            << 7 << 0x3001 << qint64(5) << "" << 0x06090030u
            << "not saved A / Ошиба записи параметра cap A: OD_VALUE_RANGE_EXCEEDED" << untouched << 3;
        QTest::newRow("text outside Latin-1")
            << 9 << 0x3100 << qint64(0) << "Привет" << 0u
            << "not saved A / Ошиба записи параметра cap A: строка содержит знаки вне Latin-1" << QByteArray("text") << 0;
        QTest::newRow("71 bytes") << 9 << 0x3100 << qint64(0) << QString(71, 'x') << 0u
                                  << "not saved A / Ошиба записи параметра cap A: строка длиннее 70 байт"
                                  << QByteArray("text") << 0;
        QTest::newRow("type without size") << 0x0F << 0x3001 << qint64(5) << "5" << 0u
                                           << "not saved A / Ошиба записи параметра cap A: тип данных 15 без размера"
                                           << untouched << 0;
    }
    void savePass()
    {
        QFETCH(int, type);
        QFETCH(int, index);
        QFETCH(qint64, raw);
        QFETCH(QString, text);
        QFETCH(uint, abortCode);
        QFETCH(QString, line);
        QFETCH(QByteArray, written);
        QFETCH(int, requests);
        Rig rig;
        QVERIFY(rig.open);
        ParamEntry& record = addCanRecord(rig.map, "A", type, uint16_t(index));
        setCanValue(record, CanValue{raw, text, false});
        if (abortCode)
            rig.sim.device.setAbort(uint16_t(index), 0, abortCode);
        const int seen = rig.sim.device.requestsSeen();
        SaveCanDataThread worker;
        Events events(worker);
        QVector<ParamEntry*> list{&record};
        worker.startSave(&list);
        list.clear(); // the worker keeps its own copy
        QVERIFY(worker.wait(5000));
        QTRY_COMPARE(events.log, QStringList{line});
        QCOMPARE(rig.sim.device.value(uint16_t(index), 0), written);
        QCOMPARE(rig.sim.device.requestsSeen() - seen, requests);
    }

    // A record whose index or sub-index text (from an EDS or a parameter
    // file) names no object goes to no object, least of all to the one it
    // would name cut down to 16 and 8 bits (0x3001 sub-index 0 here); the
    // records beside it go on.
    void recordNamingNoObjectIsNotSent_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("subIndex");
        QTest::newRow("sub-index 100") << "3001" << "100";
        QTest::newRow("index 13001") << "13001" << "0";
        QTest::newRow("sub-index past 32 bits") << "3001" << "100000000";
    }
    void recordNamingNoObjectIsNotSent()
    {
        QFETCH(QString, index);
        QFETCH(QString, subIndex);
        Rig rig;
        QVERIFY(rig.open);
        QVector<ParamEntry*> list{&addCanRecord(rig.map, "X", CanUnsigned32, 0)};
        list.first()->objectIndex = index;
        list.first()->objectSubIndex = subIndex;
        setCanValue(*list.first(), CanValue{0x55, QString(), false});
        list << rig.records(1);
        const QString refusal = QStringLiteral("индекс или субиндекс вне диапазона (%1 %2)").arg(index, subIndex);
        const QByteArray untouched = rig.sim.device.value(0x3001, 0);

        LoadCanDataThread load;
        Events loaded(load);
        load.setPauseMs(20);
        load.startLoad(list);
        QTRY_VERIFY(loaded.count("cycle") >= 2);
        load.stopProcess();
        QVERIFY(load.wait(2000));
        QCOMPARE(loaded.log.mid(0, 3), (QStringList{"failed Не удалось получить данные параметра cap X. Ошибка: "
                                                        + refusal,
                                                    "loaded A", "cycle"}));
        QVERIFY(!loaded.log.contains("lost"));

        SaveCanDataThread save;
        Events saved(save);
        save.startSave(&list);
        QVERIFY(save.wait(5000));
        QTRY_COMPARE(saved.log, (QStringList{"not saved X / Ошиба записи параметра cap X: " + refusal, "saved A"}));
        QCOMPARE(rig.sim.device.uploadsOf(0x3001, 0), 0);
        QCOMPARE(rig.sim.device.writesTo(0x3001, 0), 0);
        QCOMPARE(rig.sim.device.value(0x3001, 0), untouched);
        QCOMPARE(rig.sim.device.uploadsOf(0x1000, 0), 0); // no probe: the device was never asked
    }

    void silentDeviceEndsWithinTheLinksBound()
    {
        Rig rig;
        QVERIFY(rig.open);
        setSdoStackWaitMs(200); // in place of the stack's own time-out
        rig.sim.device.setSilent(true);
        QVector<ParamEntry*> list = rig.records(1);
        SaveCanDataThread worker;
        Events events(worker);
        QElapsedTimer took;
        took.start();
        worker.startSave(&list);
        QVERIFY(worker.wait(5000));
        QVERIFY2(took.elapsed() >= 3 * 200 - 20 && took.elapsed() < 3 * 200 + 600,
                 qPrintable(QString::number(took.elapsed())));
        QTRY_COMPARE(events.log, QStringList{"not saved A / Ошиба записи параметра cap A: "});
    }

    void stopDuringPassFinishesTheRecordInProgress()
    {
        Rig rig;
        QVERIFY(rig.open);
        QVector<ParamEntry*> list = rig.records();
        for (int i = 0; i < 3; ++i)
            rig.sim.device.setDelay(uint16_t(0x3000 + i), 0, 400);
        SaveCanDataThread worker;
        Events events(worker);
        worker.startSave(&list);
        QTRY_COMPARE(events.log, QStringList{"saved A"});
        worker.stopProcess();
        QVERIFY(worker.wait(5000));
        QTRY_COMPARE(events.log, (QStringList{"saved A", "saved B"}));
        QCOMPARE(rig.sim.device.writesTo(0x3002, 0), 0);
    }

    // Saves started while the load worker still runs (a caller that forgot
    // to stop it) still reach the device one transfer at a time.
    void neverTwoTransfersAtOnce()
    {
        Rig rig;
        QVERIFY(rig.open);
        for (int i = 0; i < 4; ++i)
            rig.sim.device.setDelay(uint16_t(0x3000 + i), 0, 2);
        const QVector<ParamEntry*> loaded = rig.records(4);
        QVector<ParamEntry*> saved{loaded.at(3), loaded.at(1)};
        LoadCanDataThread load;
        Events loadEvents(load);
        load.setPauseMs(0);
        load.startLoad(loaded);
        SaveCanDataThread save;
        Events saveEvents(save);
        for (int pass = 0; pass < 10; ++pass) {
            save.startSave(&saved);
            QVERIFY(save.wait(5000));
        }
        QTRY_COMPARE(saveEvents.count("saved D"), 10);
        QTRY_VERIFY(loadEvents.count("cycle") >= 3);
        load.stopProcess();
        QVERIFY(load.wait(2000));
        QCOMPARE(saveEvents.count("saved B"), 10);
        QCOMPARE(rig.sim.device.overlapsSeen(), 0);
        QVERIFY(!loadEvents.log.join(',').contains("failed") && !loadEvents.log.contains("lost"));
    }
};

QTEST_GUILESS_MAIN(TstCanWorkers)
#include "tst_canworkers.moc"
