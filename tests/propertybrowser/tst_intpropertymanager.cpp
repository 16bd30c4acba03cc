#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/qtintpropertymanager.h"

#include <QTest>

using IntStep = ManagerStep<QtIntPropertyManager>;
Q_DECLARE_METATYPE(IntStep)

class TstIntPropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void defaults();
    void setters_data();
    void setters();
};

void TstIntPropertyManager::defaults()
{
    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QCOMPARE(manager.value(p), 0);
    QCOMPARE(manager.minimum(p), -2147483647);
    QCOMPARE(manager.maximum(p), 2147483647);
    QCOMPARE(manager.singleStep(p), 1);
    QCOMPARE(manager.isReadOnly(p), false);
    QCOMPARE(manager.isBtnVisible(p), false);
    QCOMPARE(manager.btnCaption(p), QStringLiteral("Рассчитать"));
    QCOMPARE(p->valueText(), QStringLiteral("0"));
    QVERIFY(p->displayText().isEmpty());

    // A property of another manager reads the type's defaults.
    QtIntPropertyManager other;
    QtProperty *foreign = other.addProperty(QStringLiteral("F"));
    other.setValue(foreign, 7);
    QCOMPARE(manager.value(foreign), 0);
    QCOMPARE(manager.minimum(foreign), 0);
    QCOMPARE(manager.maximum(foreign), 0);
    QCOMPARE(manager.singleStep(foreign), 0);
    QVERIFY(manager.btnCaption(foreign).isEmpty());
    QVERIFY(manager.valueText(foreign).isEmpty());
}

void TstIntPropertyManager::setters_data()
{
    QTest::addColumn<IntStep>("setup");
    QTest::addColumn<IntStep>("action");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");

    const IntStep none = [](QtIntPropertyManager &, QtProperty *) {};
    // Range 0..10, value 5.
    const IntStep small = [](QtIntPropertyManager &m, QtProperty *p) {
        m.setRange(p, 0, 10);
        m.setValue(p, 5);
    };
    const int lo = -2147483647;
    const int hi = 2147483647;

    QTest::newRow("new value")
        << none << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setValue(p, 5); })
        << QStringList{"propertyChanged(P)", "valueChanged(P,5)"} << 5 << lo << hi;
    QTest::newRow("equal value, only if changed")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setValue(p, 5, true); })
        << QStringList() << 5 << 0 << 10;
    QTest::newRow("equal value announced again")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setValue(p, 5, false); })
        << QStringList{"propertyChanged(P)", "valueChanged(P,5)"} << 5 << 0 << 10;
    QTest::newRow("above the maximum is clamped")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setValue(p, 99); })
        << QStringList{"propertyChanged(P)", "valueChanged(P,10)"} << 10 << 0 << 10;
    QTest::newRow("below the minimum is raised")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setValue(p, -99); })
        << QStringList{"propertyChanged(P)", "valueChanged(P,0)"} << 0 << 0 << 10;
    QTest::newRow("clamped back to the stored value, only if changed")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) {
               m.setValue(p, 10);
               m.setValue(p, 99);
           })
        << QStringList{"propertyChanged(P)", "valueChanged(P,10)"} << 10 << 0 << 10;
    QTest::newRow("clamped back to the stored value, announced again")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) {
               m.setValue(p, 10);
               m.setValue(p, 99, false);
           })
        << QStringList{"propertyChanged(P)", "valueChanged(P,10)", "propertyChanged(P)", "valueChanged(P,10)"}
        << 10 << 0 << 10;
    QTest::newRow("reversed range is swapped, value kept")
        << none << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setRange(p, 10, -10); })
        << QStringList{"rangeChanged(P,-10,10)"} << 0 << -10 << 10;
    QTest::newRow("range clamps the value after announcing itself")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setRange(p, 6, 8); })
        << QStringList{"rangeChanged(P,6,8)", "propertyChanged(P)", "valueChanged(P,6)"} << 6 << 6 << 8;
    QTest::newRow("equal range, reversed, does nothing")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setRange(p, 10, 0); })
        << QStringList() << 5 << 0 << 10;
    QTest::newRow("minimum above the maximum moves it and the value")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setMinimum(p, 20); })
        << QStringList{"rangeChanged(P,20,20)", "propertyChanged(P)", "valueChanged(P,20)"} << 20 << 20 << 20;
    QTest::newRow("maximum below the minimum moves it and the value")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setMaximum(p, -3); })
        << QStringList{"rangeChanged(P,-3,-3)", "propertyChanged(P)", "valueChanged(P,-3)"} << -3 << -3 << -3;
    QTest::newRow("bound that leaves the value")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) { m.setMaximum(p, 7); })
        << QStringList{"rangeChanged(P,0,7)"} << 5 << 0 << 7;
    QTest::newRow("equal bounds do nothing")
        << small << IntStep([](QtIntPropertyManager &m, QtProperty *p) {
               m.setMinimum(p, 0);
               m.setMaximum(p, 10);
           })
        << QStringList() << 5 << 0 << 10;
    QTest::newRow("negative step becomes 0")
        << none << IntStep([](QtIntPropertyManager &m, QtProperty *p) {
               m.setSingleStep(p, -1);
               m.setSingleStep(p, 0);
               QCOMPARE(m.singleStep(p), 0);
           })
        << QStringList{"singleStepChanged(P,0)"} << 0 << lo << hi;
    QTest::newRow("read-only flag")
        << none << IntStep([](QtIntPropertyManager &m, QtProperty *p) {
               m.setReadOnly(p, true);
               m.setReadOnly(p, true);
               QVERIFY(m.isReadOnly(p));
           })
        << QStringList{"propertyChanged(P)", "readOnlyChanged(P,true)"} << 0 << lo << hi;
    QTest::newRow("button settings change the row only")
        << none << IntStep([](QtIntPropertyManager &m, QtProperty *p) {
               m.setBtnVisibility(p, true);
               m.setBtnVisibility(p, true);
               m.setBtnCaption(p, QStringLiteral("Пуск"));
               QVERIFY(m.isBtnVisible(p));
               QCOMPARE(m.btnCaption(p), QStringLiteral("Пуск"));
           })
        << QStringList{"propertyChanged(P)", "propertyChanged(P)"} << 0 << lo << hi;
    QTest::newRow("a foreign property is ignored")
        << none << IntStep([](QtIntPropertyManager &m, QtProperty *) {
               QtIntPropertyManager other;
               QtProperty *foreign = other.addProperty(QStringLiteral("F"));
               m.setValue(foreign, 5);
               m.setRange(foreign, 1, 2);
               m.setMinimum(foreign, 1);
               m.setSingleStep(foreign, 3);
               m.setReadOnly(foreign, true);
               m.setBtnCaption(foreign, QStringLiteral("x"));
           })
        << QStringList() << 0 << lo << hi;
}

void TstIntPropertyManager::setters()
{
    QFETCH(IntStep, setup);
    QFETCH(IntStep, action);

    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QTEST(signalsOf<QtIntPropertyManager>(manager, p, setup, action), "emitted");
    QTEST(manager.value(p), "value");
    QTEST(manager.minimum(p), "minimum");
    QTEST(manager.maximum(p), "maximum");
}

QTEST_MAIN(TstIntPropertyManager)
#include "tst_intpropertymanager.moc"
