#include "app/connectiondialog.h"
#include "app/qttranslation.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

class TestConnectionDialog : public QObject {
    Q_OBJECT

    static QStringList comboItems(const QComboBox* box)
    {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }

    const DeviceList rows{{"Alpha", "11"}, {"Beta", "22"}, {"Gamma", "33"}};

private slots:
    void settingsDefaults()
    {
        const ConnectionSettings s;
        QCOMPARE(s.deviceType, (DeviceEntry{"", ""}));
        QCOMPARE(s.modbusLink, 0);
        QCOMPARE(s.connectionKind, 0);
        QCOMPARE(s.deviceId, 245);
        QVERIFY(s.ipAddress.isNull());
        QCOMPARE(s.tcpPort, 502);
        QCOMPARE(s.portName, QString("245"));
        QCOMPARE(s.baudRate, QString("250000"));
        QCOMPARE(s.canBusAccess, 1);
        QCOMPARE(s.dataBits, 8);
        QCOMPARE(s.parity, 'N');
        QCOMPARE(s.stopBits, 1);
        QCOMPARE(s.retries, 10);
        QCOMPARE(s.responseTimeoutMs, 800);
        QCOMPARE(s.nodeId, kNodeIdUnset);
        QCOMPARE(&connectionSettings(), &connectionSettings());
    }

    void formOffersChoices()
    {
        ConnectionDialog dlg(QString(), {"ttyUSB0", "ttyACM0"});
        QCOMPARE(dlg.windowTitle(), QString("Подключение"));
        auto* ports = dlg.findChild<QComboBox*>("cbConnectionType");
        auto* rates = dlg.findChild<QComboBox*>("cbBaudRate");
        QVERIFY(ports && rates);
        QCOMPARE(comboItems(ports), QStringList({"ttyUSB0", "ttyACM0"}));
        QVERIFY(ports->isEditable());
        QCOMPARE(comboItems(rates), QStringList({"20000", "50000", "100000", "125000", "250000", "500000",
                                                 "800000", "1000000"}));
        QVERIFY(dlg.findChild<QRadioButton*>("rbCanAccessNo")->isChecked());
        QCOMPARE(dlg.canBusAccess(), 1);

        // The one-argument form lists what the system has.
        ConnectionDialog present(QString{});
        QCOMPARE(comboItems(present.findChild<QComboBox*>("cbConnectionType")), availablePortNames());
    }

    void fillShowsSettings()
    {
        ConnectionDialog dlg(QString(), {"ttyUSB0"});
        ConnectionSettings s;
        s.deviceType = {"Unknown", "99"};
        fillConnectionDialog(dlg, rows, s);
        QCOMPARE(dlg.baudRate(), QString("250000"));
        QCOMPARE(dlg.findChild<QLineEdit*>("txtDeviceId")->text(), QString("245"));
        QCOMPARE(dlg.canBusAccess(), 1);
        QCOMPARE(dlg.deviceType(), (DeviceEntry{"Alpha", "11"}));  // unknown name: first entry stays

        s.deviceType = {"Gamma", "33"};
        s.canBusAccess = 0;
        s.baudRate = "1000000";
        s.deviceId = 31;
        fillConnectionDialog(dlg, rows, s);
        QCOMPARE(dlg.findChild<QComboBox*>("cbDeviceType")->count(), rows.size());
        QCOMPARE(dlg.deviceType(), (DeviceEntry{"Gamma", "33"}));
        QCOMPARE(dlg.baudRate(), QString("1000000"));
        QCOMPARE(dlg.deviceId(), 31);
        QVERIFY(dlg.findChild<QRadioButton*>("rbCanAccessYes")->isChecked());
        QCOMPARE(dlg.canBusAccess(), 0);
    }

    void repeatedNameKeepsChosenTypeId()
    {
        ConnectionDialog dlg(QString(), QStringList{});
        dlg.setDeviceList({{"Twin", "1"}, {"Twin", "2"}});
        dlg.setDeviceType({"Twin", "2"});
        QCOMPARE(dlg.deviceType(), (DeviceEntry{"Twin", "2"}));
        dlg.setDeviceType({"Twin", "7"});
        QCOMPARE(dlg.deviceType(), (DeviceEntry{"Twin", "1"}));
    }

    void editedDialogReadsBack()
    {
        ConnectionDialog dlg(QString(), {"ttyUSB0", "ttyACM0"});
        fillConnectionDialog(dlg, rows, ConnectionSettings{});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));

        dlg.findChild<QComboBox*>("cbDeviceType")->setCurrentIndex(1);
        auto* port = dlg.findChild<QComboBox*>("cbConnectionType");
        port->lineEdit()->clear();
        QTest::keyClicks(port->lineEdit(), "/dev/serial/by-id/usb-CAN_0001-if00-port0");
        dlg.findChild<QComboBox*>("cbBaudRate")->setCurrentIndex(2);
        auto* id = dlg.findChild<QLineEdit*>("txtDeviceId");
        id->clear();
        QTest::keyClicks(id, "0x20");
        QTest::mouseClick(dlg.findChild<QRadioButton*>("rbCanAccessYes"), Qt::LeftButton);
        dlg.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));

        const ConnectionSettings saved = connectionSettings();
        readConnectionDialog(dlg);
        ConnectionSettings& s = connectionSettings();
        QCOMPARE(s.deviceType, (DeviceEntry{"Beta", "22"}));
        QCOMPARE(s.portName, QString("/dev/serial/by-id/usb-CAN_0001-if00-port0"));
        QCOMPARE(s.baudRate, QString("100000"));
        QCOMPARE(s.deviceId, 32);
        QCOMPARE(s.nodeId, std::uint8_t(32));
        QCOMPARE(s.canBusAccess, 0);
        s = saved;
    }

    void cancelRejects()
    {
        ConnectionDialog dlg(QString(), QStringList{});
        dlg.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void deviceIdText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("deviceId");
        QTest::addColumn<int>("nodeId");
        const int unset = kNodeIdUnset;
        QTest::newRow("hex") << "0x7F" << 127 << 127;
        QTest::newRow("decimal") << "127" << 127 << 127;
        QTest::newRow("lowest") << "1" << 1 << 1;
        QTest::newRow("hex without prefix") << "7F" << 0 << unset;
        QTest::newRow("upper-case prefix is no prefix") << "0X7F" << 0 << unset;
        QTest::newRow("empty") << "" << 0 << unset;
        QTest::newRow("zero") << "0" << 0 << unset;
        QTest::newRow("128") << "128" << 128 << unset;
        QTest::newRow("default 245") << "245" << 245 << unset;
        QTest::newRow("300 is not node 44") << "300" << 300 << unset;
        QTest::newRow("negative") << "-5" << -5 << unset;
        QTest::newRow("overflow") << "99999999999" << 0 << unset;
    }

    void deviceIdText()
    {
        QFETCH(QString, text);
        QFETCH(int, deviceId);
        QFETCH(int, nodeId);
        ConnectionDialog dlg(QString(), QStringList{});
        dlg.findChild<QLineEdit*>("txtDeviceId")->setText(text);
        ConnectionSettings s;
        s.nodeId = 31;  // left over from an earlier probe: an accepted dialog replaces it
        readConnectionDialog(dlg, s);
        QCOMPARE(s.deviceId, deviceId);
        QCOMPARE(int(s.nodeId), nodeId);
    }

    void portPreselect_data()
    {
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("listed") << QStringList{"ttyUSB0", "ttyACM0"} << "ttyACM0" << "ttyACM0";
        QTest::newRow("typed path kept") << QStringList{"ttyUSB0"} << "/dev/pts/7" << "/dev/pts/7";
        QTest::newRow("nothing stored") << QStringList{"ttyUSB0", "ttyACM0"} << "" << "ttyUSB0";
        QTest::newRow("no ports") << QStringList{} << "" << "";
    }

    void portPreselect()
    {
        QFETCH(QStringList, ports);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        ConnectionDialog dlg(stored, ports);
        QCOMPARE(dlg.portName(), shown);
        QCOMPARE(dlg.findChild<QComboBox*>("cbConnectionType")->count(), ports.size());
    }

    // Last: from here on the application speaks Russian.
    void qtTextsInRussian()
    {
        QVERIFY(installQtTranslation(*QCoreApplication::instance()));
        ConnectionDialog dlg(QString(), QStringList{});
        const auto* buttons = dlg.findChild<QDialogButtonBox*>("buttonBox");
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QString("Отмена"));
    }
};

QTEST_MAIN(TestConnectionDialog)
#include "tst_connectiondialog.moc"
