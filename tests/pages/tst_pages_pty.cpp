// The sample device's pages end to end: pages built from ConfigurationData, the
// data source over the real link on a pty, the simulated adapter and the
// simulated device serving the sample object table.
#include "pages/pagebuilder.h"
#include "pages/pagecontainers.h"
#include "pages/qcheckboxwgt.h"
#include "pages/qcombowgt.h"
#include "pages/qcustomds.h"
#include "pages/qdatatypewgt.h"
#include "pages/qgroupbtnwgt.h"
#include "pages/qlabelwgt.h"
#include "pages/qlineeditwgt.h"
#include "ptydatasource.h"
#include "simdevicejson.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QString kSample = QStringLiteral(QUILL_SAMPLE_DEVICE_DIR);

struct Rig
{
    Rig() : sim(31)
    {
        QString error;
        nodeId = loadSimDeviceJson(kSample + "/simdevice.json", &sim.device, &error);
        ds = dataSourceOnPty(sim.adapter.slavePath(), uint8_t(qMax(nodeId, 0)), 50);

        auto *layout = new QHBoxLayout(&window);
        tree = new QTreeWidget;
        pages = new QStackedWidget;
        layout->addWidget(tree);
        layout->addWidget(pages, 1);
        window.resize(900, 700);
        builder = std::make_unique<PageBuilder>(tree, pages, ds.get());
        builder->setBeforeTeardown([this] {
            ds->stopLoad();
            ds->clearData();
        });
        QObject::connect(builder.get(), &PageBuilder::toLog, [this](const QString &m, bool) { red << m; });
        QObject::connect(ds.get(), qOverload<QString, bool>(&QCustomDS::toLog),
                         [this](const QString &m, bool) { red << m; });
    }
    ~Rig()
    {
        builder->clearCustomUi();
        ds.reset(); // the link closes before the device goes
    }
    template <class W> W *in(const QString &param, const QString &name) const
    {
        QDataTypeWgt *p = pages->findChild<QDataTypeWgt *>(param);
        return p ? p->findChild<W *>(name) : nullptr;
    }

    SimDeviceOnPty sim;
    int nodeId = -1;
    std::unique_ptr<QCustomDS> ds;
    QWidget window;
    QTreeWidget *tree;
    QStackedWidget *pages;
    std::unique_ptr<PageBuilder> builder;
    QStringList red;
};

} // namespace

class TstPagesPty : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerCustomParamMetaType(); }
    void sampleDevicePagesFollowTheDevice();
};

void TstPagesPty::sampleDevicePagesFollowTheDevice()
{
    Rig rig;
    QCOMPARE(rig.nodeId, 31);
    QVERIFY(rig.ds->connectDevice());
    rig.builder->buildCustomUiPages(kSample);
    QVERIFY2(rig.red.isEmpty(), qPrintable(rig.red.join('\n')));
    QCOMPARE(rig.pages->count(), 3);
    QCOMPARE(paramCtlMap.size(), 13);
    rig.ds->startLoad();
    rig.builder->readAll();
    rig.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));

    // Every page shows the device's values.
    auto *mode = rig.in<QComboWgt>("control", "modeCombo");
    auto *speed = rig.in<QLineEditWgt>("speed", "uint16lineValue");
    QVERIFY(mode && speed);
    // One round reads the parameters in an order of its own: wait for each.
    const int kRound = 10000;
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLabelWgt>("hours", "uint32viewValue")->text(), QStringLiteral("4321"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLabelWgt>("deviceName", "devnameValue")->text(), QStringLiteral("DemoDrive"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(mode->currentText(), QStringLiteral("Скорость"), kRound);
    QVERIFY(rig.in<QCheckBoxWgt>("control", "enableCheck")->isChecked());
    QVERIFY(!rig.in<QCheckBoxWgt>("control", "reverseCheck")->isChecked());
    QCOMPARE(rig.in<QLineEditWgt>("control", "accelEdit")->text(), QStringLiteral("500"));
    QTRY_COMPARE_WITH_TIMEOUT(speed->text(), QStringLiteral("1500"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLineEditWgt>("torque", "int16lineValue")->text(), QStringLiteral("50"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLineEditWgt>("gain", "gainEdit")->text(), QStringLiteral("1,2500"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLineEditWgt>("position", "int32lineValue")->text(), QStringLiteral("10000"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLineEditWgt>("tolerance", "uint8lineValue")->text(), QStringLiteral("10"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLineEditWgt>("tempOffset", "int8lineValue")->text(), QStringLiteral("-3"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLabelWgt>("deviceType", "hexviewValue")->text(), QStringLiteral("92010200"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLabelWgt>("hwVersion", "uint16viewValue")->text(), QStringLiteral("258"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLabelWgt>("serial", "uint64viewValue")->text(), QStringLiteral("123456789"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLineEditWgt>("accessKey", "keyhexValue")->text(), QStringLiteral("a1b2c3d4"), kRound);
    // Mode "Скорость": the speed is enabled, the torque and the positioning box are hidden.
    QDataTypeWgt *torque = rig.pages->findChild<QDataTypeWgt *>("torque");
    QGroupBox *positionBox = rig.pages->findChild<QGroupBox *>("positionBox");
    QTRY_VERIFY(torque->isHidden());
    QVERIFY(rig.pages->findChild<QDataTypeWgt *>("speed")->isEnabled());
    QVERIFY(positionBox->isHidden());

    // An edit plus "Сохранить" reaches the device as the right bytes and clears the mark.
    speed->setFocus();
    speed->selectAll();
    QTest::keyClicks(speed, QStringLiteral("3000"));
    QTest::keyClick(speed, Qt::Key_Return);
    QCOMPARE(speed->styleSheet(), QStringLiteral("color:red;"));
    auto *reverse = rig.in<QCheckBoxWgt>("control", "reverseCheck");
    reverse->click();
    QCOMPARE(reverse->styleSheet(), QStringLiteral("background-color: red;"));
    rig.builder->slotBtnSaveAllClick();
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.device.value(0x2101, 0), QByteArray::fromHex("b80b"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.device.value(0x2100, 0), QByteArray::fromHex("01c0f401"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(speed->styleSheet(), QString(), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(reverse->styleSheet(), QString(), kRound);
    QVERIFY(!paramCtlMap.value("2101-0-speed")->edited());
    QCOMPARE(rig.sim.device.writesTo(0x2102, 0), 0); // unedited parameters are not written

    // A value the device changes shows in the next round, rules included.
    rig.sim.device.setValue(0x2100, 0, QByteArray::fromHex("03c0f401")); // mode "Позиция"
    rig.sim.device.setValue(0x2113, 0, QByteArray::fromHex("e2100000"));
    QTRY_COMPARE_WITH_TIMEOUT(mode->currentText(), QStringLiteral("Позиция"), kRound);
    QTRY_COMPARE_WITH_TIMEOUT(rig.in<QLabelWgt>("hours", "uint32viewValue")->text(), QStringLiteral("4322"), kRound);
    QVERIFY(!positionBox->isHidden());
    QVERIFY(!rig.pages->findChild<QDataTypeWgt *>("speed")->isEnabled());
    QVERIFY(rig.red.isEmpty());
}

QTEST_MAIN(TstPagesPty)
#include "tst_pages_pty.moc"
