// The connect flow over a scripted device: when the dialog opens, what a failed
// attempt leaves, and which pages stay after a reconnection.
#include "app/connectflow.h"
#include "app/connectiondialog.h"
#include "app/connectiondialogrunner.h"
#include "configfixture.h"
#include "dialogscript.h"
#include "fakesdochannel.h"
#include "link/connectionsettings.h"
#include "pages/pagebuilder.h"
#include "pages/pagecontainers.h"
#include "pages/qcustomds.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTest>

#include <memory>

namespace {

struct Line {
    QString text;
    bool success;
    bool operator==(const Line& o) const { return text == o.text && success == o.success; }
};

struct Rig {
    explicit Rig(const QString& configDir) : configDir(configDir)
    {
        connectionSettings() = ConnectionSettings();
        connectionSettings().responseTimeoutMs = 20;
        // The sample device's objects at node 31.
        QFile table(configDir + "/UiData/DemoDrive/simdevice.json");
        table.open(QIODevice::ReadOnly);
        for (const QJsonValue& v : QJsonDocument::fromJson(table.readAll()).object().value("objects").toArray()) {
            const QJsonObject o = v.toObject();
            channel->setObject(31, uint16_t(o.value("index").toString().toUInt(nullptr, 16)),
                               uint8_t(o.value("subindex").toString().toUInt(nullptr, 16)),
                               QByteArray::fromHex(o.value("value").toString().toLatin1()));
        }
        ds = std::make_unique<QCustomDS>(channel);
        DataSourceTiming t;
        t.roundIntervalMs = 5;
        t.probeWaitMs = 20;
        t.writeWaitMs = 20;
        ds->setTiming(t);
        builder = std::make_unique<PageBuilder>(&tree, &pages, ds.get());
        builder->setBeforeTeardown([this] {
            ds->stopLoad();
            ds->clearData();
        });
        auto sink = [this](const QString& m, bool ok) { log.append({m, ok}); };
        QObject::connect(ds.get(), qOverload<QString, bool>(&QCustomDS::toLog), sink);
        QObject::connect(ds.get(), &QCustomDS::setToolsEnabled, [this](bool on) { toolsOn = on; });
        ConnectFlow::Hooks hooks;
        hooks.log = sink;
        hooks.setTitle = [this](const QString& t) { title = t; };
        flow = std::make_unique<ConnectFlow>(*ds, *builder, hooks, configDir);
    }
    ~Rig()
    {
        builder->clearCustomUi();
        ds.reset();
    }
    QString folder(const QString& device) const { return configDir + "/UiData/" + device; }
    int readsOf(uint16_t index) const
    {
        int n = 0;
        for (const auto& c : channel->calls())
            n += !c.write && c.index == index;
        return n;
    }

    QString configDir;
    std::shared_ptr<FakeSdoChannel> channel = std::make_shared<FakeSdoChannel>();
    std::unique_ptr<QCustomDS> ds;
    QTreeWidget tree;
    QStackedWidget pages;
    std::unique_ptr<PageBuilder> builder;
    std::unique_ptr<ConnectFlow> flow;
    QList<Line> log;
    QString title;
    bool toolsOn = false;
};

} // namespace

Q_DECLARE_METATYPE(Line)

class TstConnectFlow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_home;
    QString m_config;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("xdg").toLocal8Bit());
        registerCustomParamMetaType();
    }
    void init()
    {
        m_config = m_home.filePath("ConfigurationData");
        QVERIFY(configfixture::make(QStringLiteral(QUILL_SOURCE_CONFIG_DIR), m_config));
        QFile::remove(m_home.filePath("xdg/Quillbex/settings.ini"));
    }

    void noDeviceListNoDialog_data()
    {
        QTest::addColumn<QByteArray>("controllers"); // empty: no file
        QTest::addColumn<QList<Line>>("log");
        // The reason follows the text: here, the file that is not there.
        QTest::newRow("file missing") << QByteArray() << QList<Line>{{"Ошибка открытия файла controllers.xml. Файл", false}};
        QTest::newRow("no entries") << QByteArray("<Controllers/>") << QList<Line>();
        // 160 KB whose one entity, referenced 20,000 times, would expand to
        // 2,000,000,000 characters.
        QTest::newRow("one entity 100,000 characters x 20,000")
            << ("<!DOCTYPE Controllers [<!ENTITY q \"" + QByteArray(100000, 'x') + "\">]><Controllers>"
                + QByteArray("&q;").repeated(20000) + "</Controllers>")
            << QList<Line>{{"Ошибка открытия файла controllers.xml. Сущности раскрываются в слишком длинный текст", false}};
    }
    void noDeviceListNoDialog()
    {
        QFETCH(QByteArray, controllers);
        QFETCH(QList<Line>, log);
        const QString path = m_config + "/Controllers.xml";
        QFile::remove(path);
        if (!controllers.isEmpty())
            QVERIFY(configfixture::writeFile(path, controllers));
        Rig rig(m_config);
        DialogScript dialogs;
        QVERIFY(!rig.flow->connectWithDialog());
        QCOMPARE(dialogs.opened, 0);
        QCOMPARE(rig.log.size(), log.size());
        for (int i = 0; i < log.size(); ++i) {
            QVERIFY2(rig.log[i].text.startsWith(log[i].text), qPrintable(rig.log[i].text));
            QCOMPARE(rig.log[i].success, log[i].success);
        }
        QVERIFY(rig.channel->linkCalls().isEmpty());
    }

    // The dialog comes back with the port just tried; Cancel leaves the tool
    // disconnected with its tools off.
    void failedAttemptThenCancel()
    {
        Rig rig(m_config);
        rig.channel->setOpenResult(SdoChannel::LinkOpen::NoPort);
        DialogScript dialogs;
        dialogs.answers.push_back(choose(configfixture::kDeviceA, "ttyUSB7"));
        QVERIFY(!rig.flow->connectWithDialog());
        QCOMPARE(dialogs.opened, 2);
        QCOMPARE(dialogs.preselected.value(1), QString("ttyUSB7"));
        QCOMPARE(rig.log, (QList<Line>{{"Подключение...", true}, {"Не удалось установить usb-can соединение.", false}}));
        QVERIFY(!rig.ds->isConnected());
        QVERIFY(!rig.toolsOn);
        QVERIFY(rig.title.isEmpty());
        QVERIFY(!rig.builder->isBuilt());
        QCOMPARE(ConnectFlow::lastPortName(), QString("ttyUSB7"));
    }

    // Reconnecting to the device whose pages are shown keeps them, edits
    // included, and every group reads again.
    void sameDeviceKeepsPagesAndEdits()
    {
        Rig rig(m_config);
        DialogScript dialogs;
        dialogs.answers.push_back(choose(configfixture::kDeviceA, "ttyUSB0"));
        QVERIFY(rig.flow->connectWithDialog());
        QCOMPARE(rig.title, QString("Orvel Device Tool DemoDrive"));
        QCOMPARE(rig.log.last(), (Line{"Подключено", true}));
        QCOMPARE(rig.builder->builtFolder(), rig.folder(configfixture::kDeviceA));
        QTRY_VERIFY(rig.readsOf(0x2101) > 0);
        const SPCustomParam speed = paramCtlMap.value("2101-0-speed");
        QVERIFY(speed);
        QTRY_COMPARE(speed->value(), QByteArray::fromHex("dc05"));
        QVERIFY(speed->writeField("value", 2000));
        const void* firstController = paramCtlList.front().get();

        rig.ds->disconnectDevice();
        rig.channel->clearCalls();
        dialogs.answers.push_back(choose(configfixture::kDeviceA, "ttyUSB0"));
        QVERIFY(rig.flow->connectWithDialog());
        QCOMPARE(paramCtlList.front().get(), firstController);
        QCOMPARE(paramCtlMap.value("2101-0-speed"), speed);
        QVERIFY(speed->edited());
        QCOMPARE(speed->value(), QByteArray::fromHex("d007"));
        QTRY_VERIFY(rig.readsOf(0x1000) > 1); // the probe's link partner is polled again
        QCOMPARE(rig.readsOf(0x2101), 0);    // an edit is not overwritten by a read
    }

    // After a failed attempt with device B, a successful retry with B shows B's
    // pages: the pages of A, shown before, are never polled or saved on B.
    void retryAfterFailureShowsTheNewDevicesPages()
    {
        Rig rig(m_config);
        DialogScript dialogs;
        dialogs.answers.push_back(choose(configfixture::kDeviceA, "ttyUSB0"));
        QVERIFY(rig.flow->connectWithDialog());
        QCOMPARE(rig.builder->builtFolder(), rig.folder(configfixture::kDeviceA));
        rig.ds->disconnectDevice();

        dialogs.answers.push_back(
            choose(configfixture::kDeviceB, "ttyUSB0", [&](ConnectionDialog&) { rig.channel->setSilent(true); }));
        dialogs.answers.push_back(
            choose(configfixture::kDeviceB, "ttyUSB0", [&](ConnectionDialog&) { rig.channel->setSilent(false); }));
        QVERIFY(rig.flow->connectWithDialog());
        QCOMPARE(dialogs.opened, 3);
        QCOMPARE(rig.title, QString("Orvel Device Tool DemoDriveB"));
        QCOMPARE(rig.builder->builtFolder(), rig.folder(configfixture::kDeviceB));
        QCOMPARE(rig.tree.topLevelItemCount(), 1);
        QCOMPARE(rig.tree.topLevelItem(0)->text(0), configfixture::kCaptionB);
        QVERIFY(!paramCtlMap.contains("2101-0-speed"));
        rig.channel->clearCalls();
        QTRY_VERIFY(rig.readsOf(0x1000) > 0);
        QCOMPARE(rig.readsOf(0x2101), 0);
    }
};

QTEST_MAIN(TstConnectFlow)
#include "tst_connectflow.moc"
