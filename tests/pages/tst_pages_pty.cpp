// The sample device's pages end to end: pages built from ConfigurationData, the
// data source over the real link on a pty, the simulated adapter and the
// simulated device serving the sample object table.
#include "pagefixture.h"
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
#include "sim/simdevicejson.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTest>

namespace {

const QString kSample = QStringLiteral(QUILL_SAMPLE_DEVICE_DIR);

struct Rig
{
    // The sample device's objects, or none (the test adds its own).
    explicit Rig(bool sample = true) : sim(31)
    {
        QString error;
        nodeId = sample ? loadSimDeviceJson(kSample + "/simdevice.json", &sim.device, &error) : 31;
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
    // The objects every device has that the probe and the link test read.
    void addProbedObjects()
    {
        sim.device.addObject(0x1000, 0, 0x07, QByteArray::fromHex("91010000"));
        sim.device.addObject(0x2000, 1, 0x06, QByteArray::fromHex("0100"));
    }
    // Connects, builds the pages of `dir`, starts reading them and shows them.
    bool showPages(const QString &dir)
    {
        if (!ds->connectDevice())
            return false;
        builder->buildCustomUiPages(dir);
        if (!red.isEmpty())
            return false;
        ds->startLoad();
        builder->readAll();
        window.show();
        return QTest::qWaitForWindowExposed(&window);
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
    void editMarksThroughTheWidgets_data();
    void editMarksThroughTheWidgets();
    void savedValueInEveryField_data();
    void savedValueInEveryField();
    void fieldsOnSharedBitsAgreeAfterSave();
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

void TstPagesPty::editMarksThroughTheWidgets_data()
{
    // Two parameter widgets, "left" and "right", show object 0x2100 (two bytes,
    // fields lo and hi, each in a line edit); the device holds 00 00. Steps:
    // "left.lo=7" types into a field and presses Return, "clear left.lo"
    // empties it and presses Return, "focus left.lo" goes in and out again,
    // "save" and "cancel" are the window's buttons.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("device");     // the object afterwards
    QTest::addColumn<int>("writes");
    QTest::addColumn<QStringList>("shown");     // left lo, left hi, right lo, right hi
    QTest::addColumn<QStringList>("marked");    // the fields still red
    QTest::newRow("cancel, then another field of the object")
        << QStringList{"left.lo=7", "cancel", "left.hi=9", "save"} << QByteArray::fromHex("0009") << 1
        << QStringList{"0", "9", "0", "9"} << QStringList();
    QTest::newRow("save, edit, cancel: the saved value is back")
        << QStringList{"left.lo=7", "save", "left.hi=9", "cancel"} << QByteArray::fromHex("0700") << 1
        << QStringList{"7", "0", "7", "0"} << QStringList();
    QTest::newRow("focus in and out: nothing to save") << QStringList{"focus left.lo", "save"}
        << QByteArray::fromHex("0000") << 0 << QStringList{"0", "0", "0", "0"} << QStringList();
    QTest::newRow("cleared and Return: the stored value again") << QStringList{"clear left.lo", "save"}
        << QByteArray::fromHex("0000") << 0 << QStringList{"0", "0", "0", "0"} << QStringList();
    QTest::newRow("two records of one object: both edits written")
        << QStringList{"left.lo=7", "right.hi=9", "save"} << QByteArray::fromHex("0709") << 1
        << QStringList{"7", "9", "7", "9"} << QStringList();
    QTest::newRow("an edit stays marked until saved") << QStringList{"left.lo=7", "right.hi=9"}
        << QByteArray::fromHex("0000") << 0 << QStringList{"7", "0", "0", "9"}
        << QStringList{"left.lo", "right.hi"};
}

// What a user sees and what reaches the device, through the real widgets, the
// real link and the simulated device.
void TstPagesPty::editMarksThroughTheWidgets()
{
    using namespace pagefixture;
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, device);
    QFETCH(int, writes);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, marked);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.path() + "/datatypes.json", R"({"types":[{"name":"Pair","size":2,"cantype":"uint16",
        "fields":[{"name":"lo","datatype":"uint8","startbit":0,"endbit":7},
                  {"name":"hi","datatype":"uint8","startbit":8,"endbit":15}]}]})"));
    QVERIFY(writeFile(dir.path() + "/tree.json", R"({"nodes":[{"name":"p","caption":"P"}]})"));
    QVERIFY(writeFile(dir.path() + "/pair.ui",
                      form(field("QLineEditWgt", "lo", "lo") + field("QLineEditWgt", "hi", "hi"))));
    QVERIFY(writeFile(dir.path() + "/p.ui", form(param("left", "Pair", "2100", "0", "g")
                                                 + param("right", "Pair", "2100", "0", "g"))));
    Rig rig(false);
    rig.sim.device.addObject(0x2100, 0, 0x06, QByteArray::fromHex("0000"));
    rig.addProbedObjects();
    QVERIFY2(rig.showPages(dir.path()), qPrintable(rig.red.join('\n')));

    const QStringList names = {"left.lo", "left.hi", "right.lo", "right.hi"};
    auto edit = [&](const QString &name) { return rig.in<QLineEditWgt>(name.section('.', 0, 0), name.section('.', 1)); };
    for (const QString &name : names)
        QTRY_COMPARE_WITH_TIMEOUT(edit(name)->text(), QStringLiteral("0"), 10000);
    auto *other = new QLineEdit(&rig.window); // where the focus goes on
    other->show();
    auto anyEdited = [] {
        for (const SPCustomParam &p : qAsConst(paramCtlMap))
            if (p->edited())
                return true;
        return false;
    };

    for (const QString &step : steps) {
        if (step == "save") {
            rig.builder->slotBtnSaveAllClick();
            QTRY_VERIFY_WITH_TIMEOUT(!anyEdited(), 10000);
        } else if (step == "cancel") {
            rig.builder->slotBtnCancelAllClick();
        } else {
            QLineEditWgt *e = edit(step.section(' ', -1).section('=', 0, 0));
            e->setFocus();
            QTRY_VERIFY(e->hasFocus());
            if (step.startsWith("focus")) {
                other->setFocus();
            } else if (step.startsWith("clear")) {
                e->selectAll();
                QTest::keyClick(e, Qt::Key_Delete);
                QTest::keyClick(e, Qt::Key_Return);
            } else {
                e->selectAll();
                QTest::keyClicks(e, step.section('=', 1));
                QTest::keyClick(e, Qt::Key_Return);
            }
            QTRY_VERIFY(!e->hasFocus());
        }
    }
    // A whole round of reads more (edited records are not read): every write
    // due has been made by then.
    if (!anyEdited()) {
        const int target = rig.sim.device.requestsSeen() + 2;
        QTRY_VERIFY_WITH_TIMEOUT(rig.sim.device.requestsSeen() >= target, 10000);
    }
    QCOMPARE(rig.sim.device.value(0x2100, 0).toHex(), device.toHex());
    QCOMPARE(rig.sim.device.writesTo(0x2100, 0), writes);
    for (int i = 0; i < names.size(); ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(edit(names[i])->text(), shown[i], 10000);
        QCOMPARE(edit(names[i])->styleSheet(), QString(marked.contains(names[i]) ? "color:red;" : ""));
    }
    QVERIFY(rig.red.isEmpty());
}

void TstPagesPty::savedValueInEveryField_data()
{
    // "Коэффициент усиления" on the page "Движение": a REAL32 in a line edit with
    // a label beside it; the device holds 1.25.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("device"); // the float's bytes as written
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("label");
    QTest::newRow("2,5") << "2,5" << QByteArray::fromHex("00002040") << "2,5000" << "2,5000";
    // The nearest float is 12345.6787109375: the page shows what the device holds.
    QTest::newRow("nearest float") << "12345,6789" << QByteArray::fromHex("b7e64046") << "12345,6787"
                                   << "12345,6787";
}

// After a write the page shows what the device holds in every field of the
// parameter, not only in the one edited, and still after a reconnect.
void TstPagesPty::savedValueInEveryField()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, device);
    QFETCH(QString, edit);
    QFETCH(QString, label);
    Rig rig;
    QVERIFY2(rig.showPages(kSample), qPrintable(rig.red.join('\n')));
    auto *gain = rig.in<QLineEditWgt>("gain", "gainEdit");
    auto *shown = rig.in<QLabelWgt>("gain", "gainShown");
    QVERIFY(gain && shown);
    QTRY_COMPARE_WITH_TIMEOUT(gain->text(), QStringLiteral("1,2500"), 10000);
    QCOMPARE(shown->text(), QStringLiteral("1,2500"));

    gain->setFocus();
    QTRY_VERIFY(gain->hasFocus());
    gain->selectAll();
    QTest::keyClicks(gain, typed);
    QTest::keyClick(gain, Qt::Key_Return);
    QCOMPARE(gain->styleSheet(), QStringLiteral("color:red;"));
    QCOMPARE(shown->text(), QStringLiteral("1,2500")); // an edit alone leaves the other fields
    auto *save = rig.pages->findChild<QGroupBtnWgt *>("motionSave");
    QVERIFY(save);
    save->click();
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.device.value(0x2103, 0).toHex(), device.toHex(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(gain->styleSheet(), QString(), 10000);
    QCOMPARE(shown->text(), label);
    QCOMPARE(gain->text(), edit);

    QVERIFY(rig.ds->disconnectDevice());
    QVERIFY(rig.ds->connectDevice());
    rig.ds->startLoad();
    rig.builder->readAll();
    const int target = rig.sim.device.requestsSeen() + 2 * paramCtlMap.size();
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim.device.requestsSeen() >= target, 10000);
    QCOMPARE(shown->text(), label);
    QCOMPARE(gain->text(), edit);
    QVERIFY2(rig.red.isEmpty(), qPrintable(rig.red.join('\n')));
}

// A combo and a check box on overlapping bits of one object (bits count from
// the first byte's top bit, so bit 6 is the mode's value 2): after the combo's
// value is saved, the check box shows the bit as the device now holds it.
void TstPagesPty::fieldsOnSharedBitsAgreeAfterSave()
{
    using namespace pagefixture;
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.path() + "/datatypes.json", R"({"types":[{"name":"Mode","size":1,"cantype":"uint8",
        "fields":[{"name":"mode","datatype":"uint8","startbit":0,"endbit":7,
                   "commonvalues":[{"name":"A","value":0},{"name":"B","value":1},{"name":"C","value":2},{"name":"D","value":3}]},
                  {"name":"high","datatype":"bit","startbit":6,"endbit":6}]}]})"));
    QVERIFY(writeFile(dir.path() + "/tree.json", R"({"nodes":[{"name":"p","caption":"P"}]})"));
    QVERIFY(writeFile(dir.path() + "/mode.ui",
                      form(field("QComboWgt", "modeCombo", "mode") + field("QCheckBoxWgt", "highCheck", "high"))));
    QVERIFY(writeFile(dir.path() + "/p.ui", form(param("m", "Mode", "2100", "0", "g"))));
    Rig rig(false);
    rig.sim.device.addObject(0x2100, 0, 0x05, QByteArray::fromHex("02"));
    rig.addProbedObjects();
    QVERIFY2(rig.showPages(dir.path()), qPrintable(rig.red.join('\n')));
    auto *combo = rig.in<QComboWgt>("m", "modeCombo");
    auto *high = rig.in<QCheckBoxWgt>("m", "highCheck");
    QVERIFY(combo && high);
    QTRY_COMPARE_WITH_TIMEOUT(combo->currentText(), QStringLiteral("C"), 10000);
    QVERIFY(high->isChecked());

    combo->setCurrentIndex(combo->findText(QStringLiteral("B")));
    QVERIFY(high->isChecked()); // an edit alone leaves the other fields
    rig.builder->slotBtnSaveAllClick();
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.device.value(0x2100, 0).toHex(), QByteArray("01"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!paramCtlMap.value("2100-0-m")->edited(), 10000);
    QVERIFY(!high->isChecked());
    QCOMPARE(combo->currentText(), QStringLiteral("B"));
    QCOMPARE(combo->styleSheet(), QString());
    QVERIFY(rig.red.isEmpty());
}

QTEST_MAIN(TstPagesPty)
#include "tst_pages_pty.moc"
