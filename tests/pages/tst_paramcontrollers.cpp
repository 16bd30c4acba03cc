#include "fakedatasource.h"
#include "inboxdrained.h"
#include "pages/paramfielduicontroller.h"
#include "pages/singleparamuicontroller.h"
#include "pairtype.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A controller wired to a fake data source and to one field controller per field.
struct Rig
{
    Rig()
    {
        registerCustomParamMetaType();
        param = SPCustomParam::create(QStringLiteral("2000"), QStringLiteral("1"), QStringLiteral("p"),
                                      pairType(), true, true);
        ctl = std::make_unique<SingleParamUIController>(param, QList<stDependence>());
        QObject::connect(ctl.get(), SIGNAL(startReadParam(SPCustomParam, std::function<void(bool)>)), &ds,
                         SLOT(slotLoad(SPCustomParam, std::function<void(bool)>)));
        QObject::connect(ctl.get(), SIGNAL(startSaveParam(SPCustomParam, std::function<void(bool)>)), &ds,
                         SLOT(slotSave(SPCustomParam, std::function<void(bool)>)));
        for (auto *f : {&lo, &hi}) {
            QObject::connect(ctl.get(), &SingleParamUIController::afterValueChanged, f,
                             &ParamFieldUIController::slotAfterParamValueChanged);
            QObject::connect(ctl.get(), &SingleParamUIController::changeEditSelection, f,
                             &ParamFieldUIController::slotChangeEditSelection);
            QObject::connect(f, &ParamFieldUIController::signalToParamUiCtlOnValueChanged, ctl.get(),
                             &SingleParamUIController::slotFieldChanged);
        }
    }
    FakeDataSource ds;
    SPCustomParam param;
    std::unique_ptr<SingleParamUIController> ctl;
    ParamFieldUIController lo{QStringLiteral("lo")};
    ParamFieldUIController hi{QStringLiteral("hi")};
};

// Names of the controller's signals in emission order.
QStringList &recordSignals(SingleParamUIController *ctl, QObject *context)
{
    static QStringList names;
    names.clear();
    QObject::connect(ctl, &SingleParamUIController::afterValueChanged, context, [] { names << "after"; });
    QObject::connect(ctl, &SingleParamUIController::signalActionToDependent, context, [] { names << "dependent"; });
    QObject::connect(ctl, &SingleParamUIController::changeEditSelection, context,
                     [](bool on) { names << (on ? "mark" : "unmark"); });
    return names;
}

} // namespace

class TstParamControllers : public QObject
{
    Q_OBJECT
private slots:
    void readDeliversNewValuesOnly();
    void completionOfDeletedControllerIsDropped();
    void fieldEditWritesOnlyItsBits();
    void refusedEditIsLoggedAndShownBack_data();
    void refusedEditIsLoggedAndShownBack();
    void saveWritesCopyAndClearsMark_data();
    void saveWritesCopyAndClearsMark();
    void editDuringWriteKeepsMark();
    void saveWhileRuleUnmatchedDropsEdit();
    void cancelAndImport();
};

void TstParamControllers::readDeliversNewValuesOnly()
{
    Rig rig;
    QObject context;
    QSignalSpy shown(&rig.hi, &ParamFieldUIController::signalToWgtOnValueChanged);
    rig.ctl->slotReadData();
    QCOMPARE(rig.ds.loads.size(), 1);
    QCOMPARE(rig.ds.loads.at(0).param, rig.param);

    const QStringList &names = recordSignals(rig.ctl.get(), &context);
    FakeDataSource::deliver(rig.ds.loads.at(0), QByteArray::fromHex("0102"));
    QTRY_COMPARE(names, QStringList({"after", "dependent"}));
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toUInt(), 2u);

    // A failed read changes nothing on the page.
    FakeDataSource::completeOnWorker(rig.ds.loads.at(0), false);
    QVERIFY(inboxDrained());
    QCOMPARE(names.size(), 2);
}

void TstParamControllers::completionOfDeletedControllerIsDropped()
{
    Rig rig;
    rig.ctl->slotReadData();
    rig.param->setValue(QByteArray::fromHex("0000"));
    rig.param->setEdited(true);
    rig.ctl->slotSaveData();
    QCOMPARE(rig.ds.saves.size(), 1);
    rig.ctl.reset();
    // Both completions arrive after the pages were torn down.
    FakeDataSource::completeOnWorker(rig.ds.loads.at(0), true);
    FakeDataSource::completeOnWorker(rig.ds.saves.at(0), true);
    QVERIFY(inboxDrained());
    QVERIFY(rig.param->edited());
}

void TstParamControllers::fieldEditWritesOnlyItsBits()
{
    Rig rig;
    rig.param->setValue(QByteArray::fromHex("1122"));
    QSignalSpy dependent(rig.ctl.get(), &SingleParamUIController::signalActionToDependent);
    QSignalSpy after(rig.ctl.get(), &SingleParamUIController::afterValueChanged);
    QSignalSpy loShown(&rig.lo, &ParamFieldUIController::signalToWgtOnValueChanged);
    rig.hi.slotAfterWgtValueChanged(QStringLiteral("255"));
    QCOMPARE(rig.param->value(), QByteArray::fromHex("11ff"));
    QVERIFY(rig.param->edited());
    QCOMPARE(dependent.count(), 1);
    // The other field keeps what it shows.
    QCOMPARE(after.count(), 0);
    QCOMPARE(loShown.count(), 0);
}

void TstParamControllers::refusedEditIsLoggedAndShownBack_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("input");
    QTest::newRow("out of range") << QByteArray::fromHex("1122") << "hi" << QVariant("256");
    QTest::newRow("not yet read") << QByteArray() << "hi" << QVariant("1");
    QTest::newRow("unknown field") << QByteArray::fromHex("1122") << "nope" << QVariant("1");
}

void TstParamControllers::refusedEditIsLoggedAndShownBack()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, field);
    QFETCH(QVariant, input);
    Rig rig;
    rig.param->setValue(value);
    ParamFieldUIController f(field);
    connect(&f, &ParamFieldUIController::signalToParamUiCtlOnValueChanged, rig.ctl.get(),
            &SingleParamUIController::slotFieldChanged);
    QSignalSpy log(rig.ctl.get(), &SingleParamUIController::toLog);
    QSignalSpy shownBack(&f, &ParamFieldUIController::signalToWgtOnValueChanged);
    QSignalSpy unmark(&f, &ParamFieldUIController::signalChangeWgtSelection);
    QSignalSpy dependent(rig.ctl.get(), &SingleParamUIController::signalActionToDependent);

    f.slotAfterWgtValueChanged(input);
    QCOMPARE(rig.param->value(), value);
    QVERIFY(!rig.param->edited());
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(1).toBool(), false);
    QVERIFY(log.at(0).at(0).toString().contains(QStringLiteral("\"p\"")));
    QCOMPARE(shownBack.count(), 1);
    QCOMPARE(unmark.count(), 1);
    QCOMPARE(unmark.at(0).at(0).toBool(), false);
    QCOMPARE(dependent.count(), 0);
}

void TstParamControllers::saveWritesCopyAndClearsMark_data()
{
    QTest::addColumn<bool>("writeOk");
    QTest::addColumn<QByteArray>("onDevice"); // what the write left in the object
    QTest::addColumn<QByteArray>("after");    // the record's value afterwards
    QTest::addColumn<QStringList>("signalNames");
    // The other fields show the written value too.
    QTest::newRow("written") << true << QByteArray::fromHex("0700") << QByteArray::fromHex("0700")
                             << QStringList{"after", "dependent", "unmark"};
    // Another record of the object saved its own field in the same write.
    QTest::newRow("written with another record's edit") << true << QByteArray::fromHex("0709")
        << QByteArray::fromHex("0709") << QStringList{"after", "dependent", "unmark"};
    QTest::newRow("write failed") << false << QByteArray() << QByteArray::fromHex("0000")
                                  << QStringList{"after", "dependent", "unmark"};
}

void TstParamControllers::saveWritesCopyAndClearsMark()
{
    QFETCH(bool, writeOk);
    QFETCH(QByteArray, onDevice);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, signalNames);
    Rig rig;
    QObject context;
    rig.ctl->slotSaveData(); // nothing edited: nothing sent
    QCOMPARE(rig.ds.saves.size(), 0);

    rig.param->storeReadValue(QByteArray::fromHex("0000"));
    rig.lo.slotAfterWgtValueChanged(7);
    rig.ctl->slotSaveData();
    QCOMPARE(rig.ds.saves.size(), 1);
    const SPCustomParam copy = rig.ds.saves.at(0).param;
    QVERIFY(copy != rig.param);
    QCOMPARE(copy->index(), QStringLiteral("2000"));
    QCOMPARE(copy->subindex(), QStringLiteral("1"));
    QCOMPARE(copy->dataType(), rig.param->dataType());
    QCOMPARE(copy->value(), QByteArray::fromHex("0700"));
    QCOMPARE(copy->deviceValue(), QByteArray::fromHex("0000"));
    QVERIFY(rig.param->edited()); // until the write is done

    const QStringList &names = recordSignals(rig.ctl.get(), &context);
    if (writeOk) // as the save worker leaves the copy
        copy->wroteValue(copy->value(), onDevice, nextDeviceValueStamp());
    FakeDataSource::completeOnWorker(rig.ds.saves.at(0), writeOk);
    QTRY_VERIFY(!rig.param->edited());
    QCOMPARE(names, signalNames);
    QCOMPARE(rig.param->value(), after);
    QCOMPARE(rig.param->deviceValue(), writeOk ? onDevice : QByteArray::fromHex("0000"));
    rig.ctl->slotSaveData();
    QCOMPARE(rig.ds.saves.size(), 1);
}

void TstParamControllers::editDuringWriteKeepsMark()
{
    Rig rig;
    rig.param->setValue(QByteArray::fromHex("0000"));
    rig.lo.slotAfterWgtValueChanged(7);
    rig.ctl->slotSaveData();
    rig.hi.slotAfterWgtValueChanged(9); // while the first write is on its way
    QSignalSpy marks(rig.ctl.get(), &SingleParamUIController::changeEditSelection);
    QSignalSpy shown(rig.ctl.get(), &SingleParamUIController::afterValueChanged);
    FakeDataSource::completeOnWorker(rig.ds.saves.at(0), true);
    QTRY_COMPARE(rig.param->deviceValue(), QByteArray::fromHex("0700"));
    QVERIFY(rig.param->edited());
    QCOMPARE(marks.count(), 0);
    QCOMPARE(shown.count(), 0); // the pending edit's fields keep what they show
    rig.ctl->slotSaveData();
    QCOMPARE(rig.ds.saves.size(), 2);
    QCOMPARE(rig.ds.saves.at(1).param->value(), QByteArray::fromHex("0709"));
}

void TstParamControllers::saveWhileRuleUnmatchedDropsEdit()
{
    registerCustomParamMetaType();
    FakeDataSource ds;
    const auto type = pairType();
    auto watched = SPCustomParam::create(QStringLiteral("2001"), QStringLiteral("0"), QStringLiteral("w"), type, true, true);
    auto param = SPCustomParam::create(QStringLiteral("2000"), QStringLiteral("1"), QStringLiteral("p"), type, true, true);
    stDependence r;
    r.index = QStringLiteral("2001");
    r.subindex = QStringLiteral("0");
    r.fieldname = QStringLiteral("lo");
    r.action = RuleActionShow;
    r.values = QStringList{QStringLiteral("1")};
    SingleParamUIController ctl(param, {r});
    connect(&ctl, SIGNAL(startSaveParam(SPCustomParam, std::function<void(bool)>)), &ds,
            SLOT(slotSave(SPCustomParam, std::function<void(bool)>)));
    QSignalSpy marks(&ctl, &SingleParamUIController::changeEditSelection);

    param->storeReadValue(QByteArray::fromHex("0000"));
    watched->setValue(QByteArray::fromHex("0000"));
    ctl.slotExecDependentAction(watched); // hidden
    ctl.slotFieldChanged(QStringLiteral("lo"), 5);
    QSignalSpy shown(&ctl, &SingleParamUIController::afterValueChanged);
    ctl.slotSaveData();
    QCOMPARE(ds.saves.size(), 0);
    QVERIFY(!param->edited());
    QCOMPARE(param->value(), QByteArray::fromHex("0000")); // the device's value again
    QCOMPARE(shown.count(), 1);
    QCOMPARE(marks.count(), 1);

    watched->setValue(QByteArray::fromHex("0100"));
    ctl.slotExecDependentAction(watched); // shown again
    ctl.slotFieldChanged(QStringLiteral("lo"), 6);
    ctl.slotSaveData();
    QCOMPARE(ds.saves.size(), 1);
}

void TstParamControllers::cancelAndImport()
{
    Rig rig;
    QObject context;
    QSignalSpy loShown(&rig.lo, &ParamFieldUIController::signalToWgtOnValueChanged);
    rig.param->storeReadValue(QByteArray::fromHex("0000"));
    rig.lo.slotAfterWgtValueChanged(3);
    const QStringList &names = recordSignals(rig.ctl.get(), &context);
    rig.ctl->slotCancelEditing();
    QVERIFY(!rig.param->edited());
    QCOMPARE(rig.param->value(), QByteArray::fromHex("0000")); // the device's value
    QCOMPARE(names, QStringList({"after", "dependent", "unmark"}));
    QCOMPARE(loShown.count(), 1);
    QCOMPARE(loShown.at(0).at(0).toUInt(), 0u);

    // Nothing edited: only the mark is dropped.
    rig.ctl->slotCancelEditing();
    QCOMPARE(names, QStringList({"after", "dependent", "unmark", "unmark"}));

    rig.param->setValue(QByteArray::fromHex("0a0b"));
    rig.ctl->slotImport();
    QVERIFY(rig.param->edited());
    QCOMPARE(names, QStringList({"after", "dependent", "unmark", "unmark", "after", "dependent", "mark"}));
}

QTEST_MAIN(TstParamControllers)
#include "tst_paramcontrollers.moc"
