// "settings.ini": where it lives, the gate on the connection keys, the device
// entry's text and a round trip through the main window.
#include "app/mainwindow.h"
#include "app/usersettings.h"

#include <QAction>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {
QAction* action(const MainWindow& w, const char* name)
{
    return w.findChild<QAction*>(QLatin1String(name));
}

const QStringList kWrittenKeys{
    "settings/connection/devicetype",          "settings/connection/deviceId",
    "settings/connection/rtuPort",             "settings/connection/baudRate",
    "settings/connection/canBusAccess1",       "settings/connection/backupbeforeimport",
    "settings/connection/getedsfromdevice",    "settings/connection/alwaysimportlastfile",
    "settings/connection/lastimportfile"};
}

class TstUserSettings : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_config;
    QString path() const { return m_config->path() + "/Quillbex/settings.ini"; }

private slots:
    void init()
    {
        // A fresh per-user folder for every case; the folder below it is made by us.
        m_config = std::make_unique<QTemporaryDir>();
        QVERIFY(m_config->isValid());
        qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
        connectionSettings() = ConnectionSettings();
    }

    void pathUnderXdgConfigHome()
    {
        QVERIFY(!QFile::exists(m_config->path() + "/Quillbex"));
        QCOMPARE(userSettingsFilePath(), path());
        QVERIFY(QFileInfo(m_config->path() + "/Quillbex").isDir());
    }

    void firstStartWritesEveryKey()
    {
        {
            MainWindow w;
            const ConnectionSettings& s = connectionSettings();
            QCOMPARE(s.deviceId, 245);
            QCOMPARE(s.portName, QString("245"));
            QCOMPARE(s.baudRate, QString("250000"));
            QCOMPARE(s.canBusAccess, 1);
            QVERIFY(action(w, "m_getEdsFromDevice")->isChecked());
            QVERIFY(!action(w, "m_backupBeforeImport")->isChecked());
            QVERIFY(!action(w, "m_alwaysImportLastFile")->isChecked());
            QVERIFY(w.lastImportFile().isEmpty());
        }
        QVERIFY(QFile::exists(path()));
        QSettings file(path(), QSettings::IniFormat);
        QStringList keys = file.allKeys();
        keys.sort();
        QStringList expected = kWrittenKeys;
        expected.sort();
        QCOMPARE(keys, expected);
        QCOMPARE(file.value("settings/connection/devicetype").toString(), QString(","));
        QCOMPARE(file.value("settings/connection/deviceId").toInt(), 245);
        QCOMPARE(file.value("settings/connection/getedsfromdevice").toBool(), true);
    }

    void connectionKeysNeedTheType_data()
    {
        QTest::addColumn<QString>("type");
        QTest::newRow("no type") << QString();
        QTest::newRow("empty type") << QString("");
        QTest::newRow("type given") << QString("can");
    }
    void connectionKeysNeedTheType()
    {
        QFETCH(QString, type);
        {
            QSettings file(userSettingsFilePath(), QSettings::IniFormat);
            if (!type.isNull())
                file.setValue("settings/connection/type", type);
            file.setValue("settings/connection/devicetype", "Nadir,17");
            file.setValue("settings/connection/deviceId", 5);
            file.setValue("settings/connection/rtuPort", "ttyUSB1");
            file.setValue("settings/connection/baudRate", "500000");
            file.setValue("settings/connection/canBusAccess1", 0);
        }
        ConnectionSettings s;
        WindowOptions options;
        QSettings file(path(), QSettings::IniFormat);
        readUserSettings(file, s, options);
        const ConnectionSettings defaults;
        if (type.isEmpty()) {
            QCOMPARE(s.deviceType, defaults.deviceType);
            QCOMPARE(s.deviceId, defaults.deviceId);
            QCOMPARE(s.portName, defaults.portName);
            QCOMPARE(s.baudRate, defaults.baudRate);
            QCOMPARE(s.canBusAccess, defaults.canBusAccess);
        } else {
            QCOMPARE(s.deviceType, (DeviceEntry{"Nadir", "17"}));
            QCOMPARE(s.deviceId, 5);
            QCOMPARE(s.portName, QString("ttyUSB1"));
            QCOMPARE(s.baudRate, QString("500000"));
            QCOMPARE(s.canBusAccess, 0);
        }
    }

    // Past the gate, absent keys empty their fields; the device entry stays.
    void absentKeysPastTheGate()
    {
        {
            QSettings file(userSettingsFilePath(), QSettings::IniFormat);
            file.setValue("settings/connection/type", "can");
        }
        ConnectionSettings s;
        s.deviceType = {"Prev", "9"};
        WindowOptions options;
        QSettings file(path(), QSettings::IniFormat);
        readUserSettings(file, s, options);
        QCOMPARE(s.deviceType, (DeviceEntry{"Prev", "9"}));
        QCOMPARE(s.deviceId, 0);
        QCOMPARE(s.canBusAccess, 0);
        QVERIFY(s.portName.isEmpty());
        QVERIFY(s.baudRate.isEmpty());
        QVERIFY(options.getEdsFromDevice);
    }

    void deviceTypeText_data()
    {
        QTest::addColumn<QString>("raw");    // the line as it stands in the file
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typeId");
        QTest::newRow("no comma") << "Nadir" << "Prev" << "9";
        QTest::newRow("one comma") << "\"Nadir,17\"" << "Nadir" << "17";
        QTest::newRow("one comma, empty id") << "\"Nadir,\"" << "Nadir" << "";
        QTest::newRow("one comma, empty name") << "\",17\"" << "" << "17";
        QTest::newRow("two commas") << "\"Na,dir,17\"" << "Prev" << "9";
        QTest::newRow("one comma, edited by hand") << "Nadir,17" << "Nadir" << "17";
        QTest::newRow("two commas, edited by hand") << "Na,dir,17" << "Prev" << "9";
    }
    void deviceTypeText()
    {
        QFETCH(QString, raw);
        QFETCH(QString, name);
        QFETCH(QString, typeId);
        QFile f(userSettingsFilePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[settings]\nconnection\\type=can\nconnection\\devicetype=" + raw.toUtf8() + "\n");
        f.close();
        ConnectionSettings s;
        s.deviceType = {"Prev", "9"};
        WindowOptions options;
        QSettings file(path(), QSettings::IniFormat);
        readUserSettings(file, s, options);
        QCOMPARE(s.deviceType, (DeviceEntry{name, typeId}));
    }

    void roundTripThroughTheWindow()
    {
        {
            MainWindow w;
            connectionSettings().deviceType = {"Nadir", "17"};
            connectionSettings().deviceId = 33;
            connectionSettings().portName = "/dev/pts/7";
            connectionSettings().baudRate = "125000";
            connectionSettings().canBusAccess = 0;
            action(w, "m_backupBeforeImport")->setChecked(true);
            action(w, "m_alwaysImportLastFile")->setChecked(true);
            action(w, "m_getEdsFromDevice")->setChecked(false);
        }
        {
            QSettings file(path(), QSettings::IniFormat);
            file.setValue("settings/connection/type", "can");
            file.setValue("settings/connection/lastimportfile", "/tmp/a, b.json");
        }
        connectionSettings() = ConnectionSettings();
        MainWindow w;
        const ConnectionSettings& s = connectionSettings();
        QCOMPARE(s.deviceType, (DeviceEntry{"Nadir", "17"}));
        QCOMPARE(s.deviceId, 33);
        QCOMPARE(s.portName, QString("/dev/pts/7"));
        QCOMPARE(s.baudRate, QString("125000"));
        QCOMPARE(s.canBusAccess, 0);
        QVERIFY(action(w, "m_backupBeforeImport")->isChecked());
        QVERIFY(action(w, "m_alwaysImportLastFile")->isChecked());
        QVERIFY(!action(w, "m_getEdsFromDevice")->isChecked());
        QCOMPARE(w.lastImportFile(), QString("/tmp/a, b.json"));
    }
};

QTEST_MAIN(TstUserSettings)
#include "tst_usersettings.moc"
