#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtflagpropertymanager.h"

#include <QTest>

#include <limits>

// Flag sets: the accepted values, the text, the flag names and their sub-properties.
class TstFlagPropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void values_data();
    void values();
    void flagNames();
    void flagsPastBit30();
    void subPropertyDestroyedFromOutside();
};

namespace {

QStringList names(int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << QStringLiteral("f%1").arg(i);
    return out;
}

// The sub-properties' values, '1' for on.
QString flagBits(QtFlagPropertyManager &m, QtProperty *p)
{
    QString out;
    for (const QtProperty *sub : p->subProperties())
        out += m.subBoolPropertyManager()->value(sub) ? QLatin1Char('1') : QLatin1Char('0');
    return out;
}

} // namespace

void TstFlagPropertyManager::values_data()
{
    QTest::addColumn<QStringList>("flagNames");
    QTest::addColumn<int>("val");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("text");

    const QStringList abc{"a", "b", "c"};
    const int largest = std::numeric_limits<int>::max();
    QTest::newRow("three names, 5") << abc << 5 << true << "a|c";
    QTest::newRow("three names, 7") << abc << 7 << true << "a|b|c";
    QTest::newRow("three names, 8 is past them") << abc << 8 << false << "";
    QTest::newRow("negative") << abc << -1 << false << "";
    QTest::newRow("30 names, 2^30 is past them") << names(30) << (1 << 30) << false << "";
    QTest::newRow("31 names, 5") << names(31) << 5 << true << "f0|f2";
    QTest::newRow("31 names, the largest int") << names(31) << largest << true << names(31).join('|');
    QTest::newRow("32 names, 5") << names(32) << 5 << true << "f0|f2";
    QTest::newRow("33 names, bit 0 shows the first alone") << names(33) << 1 << true << "f0";
}

void TstFlagPropertyManager::values()
{
    QFETCH(QStringList, flagNames);
    QFETCH(int, val);
    QFETCH(bool, accepted);

    QtFlagPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setFlagNames(p, flagNames);
    SignalLog log{&manager};
    manager.setValue(p, val);
    const QStringList announced{"propertyChanged(P)", QStringLiteral("valueChanged(P,%1)").arg(val)};
    QCOMPARE(log.entries(), accepted ? announced : QStringList());
    QCOMPARE(manager.value(p), accepted ? val : 0);
    QTEST(p->valueText(), "text");

    // Each flag's sub-property shows its bit; flags from position 31 on stay off.
    QString bits;
    for (int i = 0; i < flagNames.size(); ++i)
        bits += i < 31 && accepted && (val >> i) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(flagBits(manager, p), bits);
}

void TstFlagPropertyManager::flagNames()
{
    QtFlagPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QCOMPARE(manager.value(p), -1);

    SignalLog log{&manager};
    manager.setFlagNames(p, {"a", "b", "c"});
    QCOMPARE(log.take(), (QStringList{"propertyInserted(a,P,null)", "propertyInserted(b,P,a)", "propertyInserted(c,P,b)",
                                      "flagNamesChanged(P,a|b|c)", "propertyChanged(P)", "valueChanged(P,0)"}));
    const QList<QtProperty *> subs = p->subProperties();
    QCOMPARE(propertyNames(subs), (QStringList{"a", "b", "c"}));

    // The same names keep the sub-properties.
    manager.setValue(p, 2);
    log.clear();
    manager.setFlagNames(p, {"a", "b", "c"});
    QCOMPARE(log.entries(), QStringList());
    QCOMPARE(p->subProperties(), subs);

    // New names replace them and start from 0.
    manager.setFlagNames(p, {"x", "y"});
    QCOMPARE(propertyNames(p->subProperties()), (QStringList{"x", "y"}));
    QCOMPARE(manager.value(p), 0);
    QCOMPARE(flagBits(manager, p), QStringLiteral("00"));
    QCOMPARE(manager.subBoolPropertyManager()->properties().size(), 2);
}

// A click on a flag past bit 30 is put back: it has no bit to hold it.
void TstFlagPropertyManager::flagsPastBit30()
{
    QtFlagPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setFlagNames(p, names(33));
    QtBoolPropertyManager *inner = manager.subBoolPropertyManager();
    const QList<QtProperty *> subs = p->subProperties();

    inner->setValue(subs.at(30), true);
    QCOMPARE(manager.value(p), 1 << 30);
    SignalLog log{&manager};
    for (const int position : {31, 32}) {
        inner->setValue(subs.at(position), true);
        QVERIFY(!inner->value(subs.at(position)));
    }
    QCOMPARE(log.entries(), QStringList());
    QCOMPARE(manager.value(p), 1 << 30);
    QCOMPARE(p->valueText(), QStringLiteral("f30"));
}

// The remaining flags keep their bit positions.
void TstFlagPropertyManager::subPropertyDestroyedFromOutside()
{
    QtFlagPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setFlagNames(p, {"a", "b", "c"});
    delete p->subProperties().constFirst();
    QCOMPARE(propertyNames(p->subProperties()), (QStringList{"b", "c"}));

    manager.setValue(p, 5);
    QCOMPARE(flagBits(manager, p), QStringLiteral("01"));
    manager.subBoolPropertyManager()->setValue(subNamed(p, QStringLiteral("b")), true);
    QCOMPARE(manager.value(p), 7);
    QCOMPARE(p->valueText(), QStringLiteral("a|b|c"));

    // New names and the property's end delete only what is left.
    manager.setFlagNames(p, {"x"});
    QCOMPARE(manager.subBoolPropertyManager()->properties().size(), 1);
    delete p;
    QVERIFY(manager.subBoolPropertyManager()->properties().isEmpty());
}

QTEST_MAIN(TstFlagPropertyManager)
#include "tst_flagpropertymanager.moc"
