// The main window's own CAN link against a simulated adapter and device.
#include "app/mainwindow.h"
#include "app/windowcanlink.h"
#include "classic/loadcandatathread.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "sim/simdevice.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

namespace {
const uint8_t kDevice = 0x12;

struct Recorder {
    QStringList lines; // "+" blue, "-" red
    int toolsOff = 0;
    int closes = 0;
    WindowCanLink::Hooks hooks()
    {
        return {[this](const QString& m, bool ok) { lines << (ok ? "+" : "-") + m; },
                [this] { ++toolsOff; }, [this] { ++closes; }};
    }
};

struct Device {
    explicit Device(uint16_t type = 0x0107)
    {
        QByteArray value(2, '\0');
        value[0] = char(type & 0xFF);
        value[1] = char(type >> 8);
        sim.device.addObject(0x2000, 1, CO_UNSIGNED16, value);
        ConnectionSettings& s = connectionSettings();
        s.portName = sim.adapter.slavePath();
        s.baudRate = "250000";
        s.canBusAccess = 0;
        s.deviceId = kDevice;
        s.deviceType = {"Nadir", "263"};
    }
    SimDeviceOnPty sim{kDevice};
};
}

class TstWindowCanLink : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        setSdoDelayBeforeWaitMs(0);
        setSdoStackWaitMs(0);
    }
    void init() { connectionSettings() = ConnectionSettings(); }

    void connectChecksTheDeviceType_data()
    {
        QTest::addColumn<QString>("typeId");
        QTest::addColumn<int>("deviceId");
        QTest::addColumn<uint>("abortCode"); // of the device's answer, 0 none
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("line");
        QTest::newRow("selected type") << "263" << int(kDevice) << 0u << 1 << "";
        QTest::newRow("other type") << "5" << int(kDevice) << 0u << 0 << "-Неверно выбран тип устройства.";
        QTest::newRow("type id not a number") << "x" << int(kDevice) << 0u << 0
                                              << "-Неверно выбран тип устройства.";
        QTest::newRow("device aborts") << "263" << int(kDevice) << 0x06020000u << 0
                                       << "-Не удалось подключиться: OD_NO_SUCH_OBJECT";
        QTest::newRow("no node id") << "263" << 245 << 0u << 0 << "-Не удалось подключиться: ";
    }
    void connectChecksTheDeviceType()
    {
        QFETCH(QString, typeId);
        QFETCH(int, deviceId);
        QFETCH(uint, abortCode);
        QFETCH(int, result);
        QFETCH(QString, line);
        Device device;
        connectionSettings().deviceType[1] = typeId;
        connectionSettings().deviceId = deviceId;
        if (abortCode)
            device.sim.device.setAbort(0x2000, 1, abortCode);
        Recorder rec;
        WindowCanLink link(rec.hooks());
        QCOMPARE(link.connect(), result);
        QCOMPARE(link.isOpen(), result == 1);
        QCOMPARE(isCanLinkOpen(), result == 1);
        QCOMPARE(rec.lines, line.isEmpty() ? QStringList() : QStringList{line});
        QCOMPARE(rec.toolsOff, result == 1 ? 0 : 1);
        QCOMPARE(rec.closes, result == 1 ? 0 : 1);
        link.close();
        QVERIFY(!isCanLinkOpen());
    }

    void openFailsOnAMissingPort()
    {
        connectionSettings().portName = "/nonexistent/ttyUSB7";
        Recorder rec;
        WindowCanLink link(rec.hooks());
        QCOMPARE(link.connect(), 0);
        QVERIFY(!link.isOpen());
        // The system's reason follows the line.
        QCOMPARE(rec.lines, QStringList{"-Не удалось установить usb-can соединение. /nonexistent/ttyUSB7: "
                                        + QString::fromLocal8Bit(std::strerror(ENOENT))});
        QCOMPARE(rec.toolsOff, 1);
        QCOMPARE(rec.closes, 0);
    }

    void closeOnlyWhenOpen()
    {
        Device device;
        Recorder rec;
        WindowCanLink link(rec.hooks());
        link.close();
        QCOMPARE(rec.closes, 0);
        QVERIFY(link.open());
        link.close();
        link.close();
        QCOMPARE(rec.closes, 1);
        QVERIFY(rec.lines.isEmpty());
        QTRY_VERIFY(device.sim.adapter.lines().contains("C"));
    }

    // The window's copy: its flag, the classic pages letting go, and the exit.
    void windowFlagAndClassicState()
    {
        Device device;
        {
            MainWindow w;
            QCOMPARE(w.connectCan(), 1);
            QVERIFY(w.linkOpen());
            w.setClassicMode("export");
            w.disconnectCan();
            QVERIFY(!w.linkOpen());
            QVERIFY(!isCanLinkOpen());
            QVERIFY(w.classicMode().isEmpty());
            QVERIFY(w.refreshStopped());

            QCOMPARE(w.connectCan(), 1);
        }
        // Left open at exit, with the default (Modbus) connection kind: closed all the same.
        QVERIFY(!isCanLinkOpen());
    }
};

QTEST_MAIN(TstWindowCanLink)
#include "tst_windowcanlink.moc"
