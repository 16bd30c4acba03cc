#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtdatepropertymanager.h"
#include "propertybrowser/extended/qtsizepropertymanager.h"

#include <QTest>

// The date and size managers: a value kept within a range, with the signals of each
// step, and the size's children following the range.
class TstRangedManagers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void dates_data();
    void dates();
    void sizes_data();
    void sizes();
    void sizeFChildren();
    void sizeGoesWhileItsChildrenFollow_data();
    void sizeGoesWhileItsChildrenFollow();
};

using DateStep = ManagerStep<QtDatePropertyManager>;
using SizeStep = ManagerStep<QtSizePropertyManager>;
Q_DECLARE_METATYPE(DateStep)
Q_DECLARE_METATYPE(SizeStep)

namespace {

QDate day(int y, int m, int d)
{
    return QDate(y, m, d);
}

} // namespace

void TstRangedManagers::dates_data()
{
    QTest::addColumn<DateStep>("setup");
    QTest::addColumn<DateStep>("action");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<QDate>("value");
    QTest::addColumn<QDate>("minimum");
    QTest::addColumn<QDate>("maximum");

    const DateStep fresh = [](QtDatePropertyManager &, QtProperty *) {};
    // 2020-06-15 within 2020.
    const DateStep year = [](QtDatePropertyManager &m, QtProperty *p) {
        m.setRange(p, day(2020, 1, 1), day(2020, 12, 31));
        m.setValue(p, day(2020, 6, 15));
    };
    const QDate first = day(1752, 9, 14);
    const QDate last = day(7999, 12, 31);

    QTest::newRow("before the calendar's first day")
        << fresh << DateStep([](QtDatePropertyManager &m, QtProperty *p) { m.setValue(p, day(1700, 1, 1)); })
        << QStringList{"propertyChanged(P)", "valueChanged(P,1752-09-14)"} << first << first << last;
    QTest::newRow("equal date, only if changed")
        << year << DateStep([](QtDatePropertyManager &m, QtProperty *p) { m.setValue(p, day(2020, 6, 15)); })
        << QStringList() << day(2020, 6, 15) << day(2020, 1, 1) << day(2020, 12, 31);
    QTest::newRow("equal date announced again")
        << year
        << DateStep([](QtDatePropertyManager &m, QtProperty *p) { m.setValue(p, day(2020, 6, 15), false); })
        << QStringList{"propertyChanged(P)", "valueChanged(P,2020-06-15)"} << day(2020, 6, 15)
        << day(2020, 1, 1) << day(2020, 12, 31);
    QTest::newRow("clamped back to the stored date announced again")
        << year << DateStep([](QtDatePropertyManager &m, QtProperty *p) {
               m.setValue(p, day(2020, 12, 31));
               m.setValue(p, day(2021, 5, 1), false);
           })
        << QStringList{"propertyChanged(P)", "valueChanged(P,2020-12-31)", "propertyChanged(P)",
                       "valueChanged(P,2020-12-31)"}
        << day(2020, 12, 31) << day(2020, 1, 1) << day(2020, 12, 31);
    QTest::newRow("reversed range is swapped and announced before the value")
        << fresh
        << DateStep([](QtDatePropertyManager &m, QtProperty *p) {
               m.setValue(p, day(2019, 6, 1));
               m.setRange(p, day(2020, 12, 31), day(2020, 1, 1));
           })
        << QStringList{"propertyChanged(P)", "valueChanged(P,2019-06-01)", "rangeChanged(P,2020-01-01,2020-12-31)",
                       "propertyChanged(P)", "valueChanged(P,2020-01-01)"}
        << day(2020, 1, 1) << day(2020, 1, 1) << day(2020, 12, 31);
    QTest::newRow("equal range, reversed, does nothing")
        << year
        << DateStep([](QtDatePropertyManager &m, QtProperty *p) {
               m.setRange(p, day(2020, 12, 31), day(2020, 1, 1));
           })
        << QStringList() << day(2020, 6, 15) << day(2020, 1, 1) << day(2020, 12, 31);
    QTest::newRow("minimum after the maximum moves it and the value")
        << year << DateStep([](QtDatePropertyManager &m, QtProperty *p) { m.setMinimum(p, day(2021, 3, 1)); })
        << QStringList{"rangeChanged(P,2021-03-01,2021-03-01)", "propertyChanged(P)", "valueChanged(P,2021-03-01)"}
        << day(2021, 3, 1) << day(2021, 3, 1) << day(2021, 3, 1);
    QTest::newRow("maximum before the minimum moves it and the value")
        << year << DateStep([](QtDatePropertyManager &m, QtProperty *p) { m.setMaximum(p, day(2019, 3, 1)); })
        << QStringList{"rangeChanged(P,2019-03-01,2019-03-01)", "propertyChanged(P)", "valueChanged(P,2019-03-01)"}
        << day(2019, 3, 1) << day(2019, 3, 1) << day(2019, 3, 1);
    QTest::newRow("a bound that leaves the value announces the range only")
        << year << DateStep([](QtDatePropertyManager &m, QtProperty *p) { m.setMaximum(p, day(2020, 7, 1)); })
        << QStringList{"rangeChanged(P,2020-01-01,2020-07-01)"} << day(2020, 6, 15) << day(2020, 1, 1)
        << day(2020, 7, 1);
    QTest::newRow("a foreign property is ignored")
        << year << DateStep([](QtDatePropertyManager &m, QtProperty *) {
               QtDatePropertyManager other;
               QtProperty *foreign = other.addProperty(QStringLiteral("F"));
               m.setValue(foreign, day(2020, 1, 2), false);
               m.setRange(foreign, day(2020, 1, 1), day(2020, 1, 3));
               m.setMinimum(foreign, day(2020, 1, 1));
               m.setMaximum(foreign, day(2020, 1, 3));
           })
        << QStringList() << day(2020, 6, 15) << day(2020, 1, 1) << day(2020, 12, 31);
}

void TstRangedManagers::dates()
{
    QFETCH(DateStep, setup);
    QFETCH(DateStep, action);

    QtDatePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QTEST(signalsOf<QtDatePropertyManager>(manager, p, setup, action), "emitted");
    QTEST(manager.value(p), "value");
    QTEST(manager.minimum(p), "minimum");
    QTEST(manager.maximum(p), "maximum");
}

void TstRangedManagers::sizes_data()
{
    QTest::addColumn<SizeStep>("setup");
    QTest::addColumn<SizeStep>("action");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<QSize>("value");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");

    const SizeStep fresh = [](QtSizePropertyManager &, QtProperty *) {};
    const QSize largest(2147483647, 2147483647);
    // (10, 60) within (0, 0) .. (40, 100).
    const SizeStep box = [](QtSizePropertyManager &m, QtProperty *p) {
        m.setMaximum(p, QSize(40, 100));
        m.setValue(p, QSize(10, 60));
    };
    const QStringList valueSignals{"propertyChanged(P)", "valueChanged(P)"};

    QTest::newRow("a width below the minimum is raised")
        << fresh << SizeStep([](QtSizePropertyManager &m, QtProperty *p) { m.setValue(p, QSize(-5, 10)); })
        << valueSignals << QSize(0, 10) << QSize(0, 0) << largest;
    QTest::newRow("equal size, only if changed")
        << box << SizeStep([](QtSizePropertyManager &m, QtProperty *p) { m.setValue(p, QSize(10, 60)); })
        << QStringList() << QSize(10, 60) << QSize(0, 0) << QSize(40, 100);
    QTest::newRow("equal size announced again")
        << box << SizeStep([](QtSizePropertyManager &m, QtProperty *p) { m.setValue(p, QSize(10, 60), false); })
        << valueSignals << QSize(10, 60) << QSize(0, 0) << QSize(40, 100);
    QTest::newRow("a minimum past the maximum's width moves it, announced first")
        << box << SizeStep([](QtSizePropertyManager &m, QtProperty *p) { m.setMinimum(p, QSize(50, 50)); })
        << QStringList{"rangeChanged(P)", "propertyChanged(P)", "valueChanged(P)"} << QSize(50, 60)
        << QSize(50, 50) << QSize(50, 100);
    QTest::newRow("a maximum below the minimum's width moves it")
        << SizeStep([](QtSizePropertyManager &m, QtProperty *p) { m.setMinimum(p, QSize(40, 0)); })
        << SizeStep([](QtSizePropertyManager &m, QtProperty *p) { m.setMaximum(p, QSize(30, 30)); })
        << QStringList{"rangeChanged(P)", "propertyChanged(P)", "valueChanged(P)"} << QSize(30, 0)
        << QSize(30, 0) << QSize(30, 30);
    QTest::newRow("a range is ordered per component")
        << fresh
        << SizeStep([](QtSizePropertyManager &m, QtProperty *p) { m.setRange(p, QSize(10, 1), QSize(5, 20)); })
        << QStringList{"rangeChanged(P)", "propertyChanged(P)", "valueChanged(P)"} << QSize(5, 1) << QSize(5, 1)
        << QSize(10, 20);
    QTest::newRow("a range around the value announces the range only")
        << box
        << SizeStep([](QtSizePropertyManager &m, QtProperty *p) { m.setRange(p, QSize(5, 5), QSize(90, 90)); })
        << QStringList{"rangeChanged(P)"} << QSize(10, 60) << QSize(5, 5) << QSize(90, 90);
    QTest::newRow("equal bounds do nothing")
        << box << SizeStep([](QtSizePropertyManager &m, QtProperty *p) {
               m.setMinimum(p, QSize(0, 0));
               m.setMaximum(p, QSize(40, 100));
               m.setRange(p, QSize(40, 0), QSize(0, 100));
           })
        << QStringList() << QSize(10, 60) << QSize(0, 0) << QSize(40, 100);
}

void TstRangedManagers::sizes()
{
    QFETCH(SizeStep, setup);
    QFETCH(SizeStep, action);
    QFETCH(QSize, value);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);

    QtSizePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QTEST(withoutValues(signalsOf<QtSizePropertyManager>(manager, p, setup, action)), "emitted");
    QCOMPARE(manager.value(p), value);
    QCOMPARE(manager.minimum(p), minimum);
    QCOMPARE(manager.maximum(p), maximum);

    // The children mirror the value and the range, component by component.
    const QtIntPropertyManager *inner = manager.subIntPropertyManager();
    const QtProperty *width = subNamed(p, QStringLiteral("Width"));
    const QtProperty *height = subNamed(p, QStringLiteral("Height"));
    QCOMPARE(QSize(inner->value(width), inner->value(height)), value);
    QCOMPARE(QSize(inner->minimum(width), inner->minimum(height)), minimum);
    QCOMPARE(QSize(inner->maximum(width), inner->maximum(height)), maximum);
}

// The double children take the size's decimals and range as well.
void TstRangedManagers::sizeFChildren()
{
    QtSizeFPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    const QtDoublePropertyManager *inner = manager.subDoublePropertyManager();
    const QtProperty *width = subNamed(p, QStringLiteral("Width"));
    QCOMPARE(inner->decimals(width), 2);
    QCOMPARE(inner->minimum(width), 0.0);

    manager.setRange(p, QSizeF(1.5, 0), QSizeF(8.25, 3));
    manager.subDoublePropertyManager()->setValue(subNamed(p, QStringLiteral("Width")), 20.0);
    QCOMPARE(manager.value(p), QSizeF(8.25, 0));
    QCOMPARE(inner->maximum(width), 8.25);
    QCOMPARE(p->valueText(), QStringLiteral("8.25 x 0.00"));
}

void TstRangedManagers::sizeGoesWhileItsChildrenFollow_data()
{
    QTest::addColumn<bool>("clearAll");
    QTest::newRow("the size deleted") << false;
    QTest::newRow("the manager cleared") << true;
}

// A new size is handed to the children before it is announced; a handler of a
// child's change may take the size away. Nothing more is read or announced of it.
void TstRangedManagers::sizeGoesWhileItsChildrenFollow()
{
    QFETCH(bool, clearAll);
    QtSizePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    int announced = 0;
    connect(&manager, &QtSizePropertyManager::valueChanged, this, [&] { ++announced; });
    connect(manager.subIntPropertyManager(), &QtIntPropertyManager::valueChanged, this, [&] {
        if (clearAll)
            manager.clear();
        else
            delete p;
    });
    manager.setValue(p, QSize(4, 5));
    QVERIFY(manager.properties().isEmpty());
    QCOMPARE(announced, 0);
}

QTEST_MAIN(TstRangedManagers)
#include "tst_rangedmanagers.moc"
