#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/qtdoublepropertymanager.h"

#include <QTest>

using DoubleStep = ManagerStep<QtDoublePropertyManager>;
Q_DECLARE_METATYPE(DoubleStep)

class TstDoublePropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void defaults();
    void setters_data();
    void setters();
    void valueTextFollowsDecimals();
};

void TstDoublePropertyManager::defaults()
{
    QtDoublePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QCOMPARE(manager.value(p), 0.0);
    QCOMPARE(manager.minimum(p), -2147483647.0);
    QCOMPARE(manager.maximum(p), 2147483647.0);
    QCOMPARE(manager.singleStep(p), 1.0);
    QCOMPARE(manager.decimals(p), 2);
    QCOMPARE(manager.isReadOnly(p), false);

    QtDoublePropertyManager other;
    QtProperty *foreign = other.addProperty(QStringLiteral("F"));
    QCOMPARE(manager.decimals(foreign), 0);
    QCOMPARE(manager.maximum(foreign), 0.0);
    QVERIFY(manager.valueText(foreign).isEmpty());
}

void TstDoublePropertyManager::setters_data()
{
    QTest::addColumn<DoubleStep>("action");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<double>("value");

    QTest::newRow("values compare exactly")
        << DoubleStep([](QtDoublePropertyManager &m, QtProperty *p) {
               m.setValue(p, 0.3);
               m.setValue(p, 0.1 + 0.2);
               m.setValue(p, 0.1 + 0.2);
           })
        << QStringList{"propertyChanged(P)", "valueChanged(P,0.3)", "propertyChanged(P)",
                       "valueChanged(P,0.30000000000000004)"}
        << 0.1 + 0.2;
    QTest::newRow("equal value announced again")
        << DoubleStep([](QtDoublePropertyManager &m, QtProperty *p) { m.setValue(p, 0.0, false); })
        << QStringList{"propertyChanged(P)", "valueChanged(P,0)"} << 0.0;
    QTest::newRow("reversed range swapped and clamping")
        << DoubleStep([](QtDoublePropertyManager &m, QtProperty *p) {
               m.setRange(p, 2.5, -1.5);
               m.setValue(p, 9.0);
           })
        << QStringList{"rangeChanged(P,-1.5,2.5)", "propertyChanged(P)", "valueChanged(P,2.5)"} << 2.5;
    QTest::newRow("minimum above the maximum")
        << DoubleStep([](QtDoublePropertyManager &m, QtProperty *p) {
               m.setMaximum(p, 1.0);
               m.setMinimum(p, 4.5);
           })
        << QStringList{"rangeChanged(P,-2147483647,1)", "rangeChanged(P,4.5,4.5)", "propertyChanged(P)",
                       "valueChanged(P,4.5)"}
        << 4.5;
    QTest::newRow("decimals are limited to 0..13 and announce only themselves")
        << DoubleStep([](QtDoublePropertyManager &m, QtProperty *p) {
               m.setDecimals(p, 20);
               m.setDecimals(p, 13);
               QCOMPARE(m.decimals(p), 13);
               m.setDecimals(p, -1);
               QCOMPARE(m.decimals(p), 0);
           })
        << QStringList{"decimalsChanged(P,13)", "decimalsChanged(P,0)"} << 0.0;
    QTest::newRow("negative step becomes 0")
        << DoubleStep([](QtDoublePropertyManager &m, QtProperty *p) {
               m.setSingleStep(p, -1.0);
               QCOMPARE(m.singleStep(p), 0.0);
               m.setSingleStep(p, 0.25);
           })
        << QStringList{"singleStepChanged(P,0)", "singleStepChanged(P,0.25)"} << 0.0;
    QTest::newRow("read-only flag")
        << DoubleStep([](QtDoublePropertyManager &m, QtProperty *p) {
               m.setReadOnly(p, true);
               m.setReadOnly(p, true);
           })
        << QStringList{"propertyChanged(P)", "readOnlyChanged(P,true)"} << 0.0;
}

void TstDoublePropertyManager::setters()
{
    QFETCH(DoubleStep, action);

    QtDoublePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QTEST(signalsOf<QtDoublePropertyManager>(manager, p, action), "emitted");
    QTEST(manager.value(p), "value");
}

void TstDoublePropertyManager::valueTextFollowsDecimals()
{
    QtDoublePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, 1234.5678);
    QCOMPARE(p->valueText(), QLocale::system().toString(1234.5678, 'f', 2));
    manager.setDecimals(p, 0);
    QCOMPARE(p->valueText(), QLocale::system().toString(1235.0, 'f', 0));
}

QTEST_MAIN(TstDoublePropertyManager)
#include "tst_doublepropertymanager.moc"
