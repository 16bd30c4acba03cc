#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtrectpropertymanager.h"

#include <QTest>

#include <limits>

// Rectangles kept inside a constraint, and the children that follow it.
class TstRectPropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void constraint_data();
    void constraint();
    void childRanges();
    void nullConstraintAfterRealOne();
    void edgeBeyondIntRangeRefused();
    void rectFConstraint();
};

using RectStep = ManagerStep<QtRectPropertyManager>;
Q_DECLARE_METATYPE(RectStep)

namespace {

const QRect kHundred(0, 0, 100, 100);

void setChild(QtRectPropertyManager &m, QtProperty *p, const char *child, int val)
{
    m.subIntPropertyManager()->setValue(subNamed(p, QString::fromLatin1(child)), val);
}

// The children's values as a rectangle.
QRect childrenOf(QtRectPropertyManager &m, QtProperty *p)
{
    const QtIntPropertyManager *inner = m.subIntPropertyManager();
    const auto child = [&](const char *name) { return inner->value(subNamed(p, QString::fromLatin1(name))); };
    return QRect(child("X"), child("Y"), child("Width"), child("Height"));
}

} // namespace

void TstRectPropertyManager::constraint_data()
{
    QTest::addColumn<RectStep>("setup");
    QTest::addColumn<RectStep>("action");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<QRect>("value");

    const RectStep fresh = [](QtRectPropertyManager &, QtProperty *) {};
    const RectStep hundred = [](QtRectPropertyManager &m, QtProperty *p) { m.setConstraint(p, kHundred); };
    const QStringList changed{"propertyChanged(P)", "valueChanged(P)"};

    QTest::newRow("no constraint: normalized only")
        << fresh << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setValue(p, QRect(10, 10, -5, 300)); })
        << changed << QRect(10, 10, -5, 300).normalized();
    QTest::newRow("overlap is cut to the constraint")
        << hundred << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setValue(p, QRect(50, 50, 100, 100)); })
        << changed << QRect(50, 50, 50, 50);
    QTest::newRow("no overlap is refused")
        << hundred << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setValue(p, QRect(200, 200, 10, 10)); })
        << QStringList() << QRect();
    QTest::newRow("touching the right edge from outside leaves width 0")
        << hundred << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setValue(p, QRect(100, 0, 10, 10)); })
        << changed << QRect(100, 0, 0, 10);
    QTest::newRow("a constraint moves the value inside")
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setValue(p, QRect(150, 20, 30, 30)); })
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setConstraint(p, kHundred); })
        << QStringList{"constraintChanged(P)", "propertyChanged(P)", "valueChanged(P)"} << QRect(70, 20, 30, 30);
    QTest::newRow("the size is cut first, then moved")
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setValue(p, QRect(5, 5, 50, 50)); })
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setConstraint(p, QRect(0, 0, 10, 10)); })
        << QStringList{"constraintChanged(P)", "propertyChanged(P)", "valueChanged(P)"} << QRect(0, 0, 10, 10);
    QTest::newRow("the same constraint again does nothing")
        << hundred << hundred << QStringList() << QRect();
    QTest::newRow("a constraint around the value announces itself only")
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setValue(p, QRect(1, 1, 5, 5)); })
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setConstraint(p, QRect(10, 10, -10, -10)); })
        << QStringList{"constraintChanged(P)"} << QRect(1, 1, 5, 5);
    QTest::newRow("a wider child is moved back inside")
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) {
               m.setConstraint(p, kHundred);
               m.setValue(p, QRect(60, 0, 20, 20));
           })
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) { setChild(m, p, "Width", 50); })
        << changed << QRect(50, 0, 50, 20);
    QTest::newRow("a moved child is cut by the constraint")
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) {
               m.setConstraint(p, kHundred);
               m.setValue(p, QRect(10, 10, 20, 20));
           })
        << RectStep([](QtRectPropertyManager &m, QtProperty *p) { setChild(m, p, "Y", 90); })
        << changed << QRect(10, 90, 20, 10);
    QTest::newRow("a null constraint on a new property does nothing")
        << fresh << RectStep([](QtRectPropertyManager &m, QtProperty *p) { m.setConstraint(p, QRect(0, 0, 0, 0)); })
        << QStringList() << QRect();
}

void TstRectPropertyManager::constraint()
{
    QFETCH(RectStep, setup);
    QFETCH(RectStep, action);
    QFETCH(QRect, value);

    QtRectPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QTEST(withoutValues(signalsOf<QtRectPropertyManager>(manager, p, setup, action)), "emitted");
    QCOMPARE(manager.value(p), value);
    QCOMPARE(childrenOf(manager, p), value);
}

void TstRectPropertyManager::childRanges()
{
    QtRectPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setConstraint(p, QRect(10, 20, 100, 50));
    const QtIntPropertyManager *inner = manager.subIntPropertyManager();
    QStringList ranges;
    for (const QtProperty *sub : p->subProperties())
        ranges << QStringLiteral("%1..%2").arg(inner->minimum(sub)).arg(inner->maximum(sub));
    QCOMPARE(ranges, (QStringList{"10..110", "20..70", "0..100", "0..50"}));
}

void TstRectPropertyManager::nullConstraintAfterRealOne()
{
    QtRectPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    const int lowest = std::numeric_limits<int>::min();
    manager.setValue(p, QRect(0, 0, 10, 10));
    // A new property's children keep the int manager's own range.
    setChild(manager, p, "X", lowest);
    QCOMPARE(manager.value(p).x(), lowest + 1);

    manager.setConstraint(p, kHundred);
    manager.setConstraint(p, QRect());
    setChild(manager, p, "X", lowest);
    QCOMPARE(manager.value(p).x(), lowest);
    QCOMPARE(manager.constraint(p), QRect());
}

// An edit whose far edge would pass the int range leaves the rectangle as it was
// and the child shows it again.
void TstRectPropertyManager::edgeBeyondIntRangeRefused()
{
    QtRectPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, QRect(0, 0, 10, 10));
    SignalLog log{&manager};
    setChild(manager, p, "X", std::numeric_limits<int>::max());
    QCOMPARE(log.entries(), QStringList());
    QCOMPARE(manager.value(p), QRect(0, 0, 10, 10));
    QCOMPARE(childrenOf(manager, p), QRect(0, 0, 10, 10));
}

void TstRectPropertyManager::rectFConstraint()
{
    QtRectFPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, QRectF(150.5, 20, 30, 30));
    manager.setConstraint(p, QRectF(0, 0, 100.25, 100));
    QCOMPARE(manager.value(p), QRectF(70.25, 20, 30, 30));
    const QtDoublePropertyManager *inner = manager.subDoublePropertyManager();
    const QtProperty *x = subNamed(p, QStringLiteral("X"));
    QCOMPARE(inner->value(x), 70.25);
    QCOMPARE(inner->maximum(x), 100.25);

    // Without a constraint the children reach as far as a float does.
    manager.setConstraint(p, QRectF());
    QCOMPARE(inner->maximum(x), double(std::numeric_limits<float>::max()));
    QCOMPARE(inner->minimum(subNamed(p, QStringLiteral("Width"))), 0.0);
}

QTEST_MAIN(TstRectPropertyManager)
#include "tst_rectpropertymanager.moc"
