#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QTest>

#include <functional>

namespace {

// Four named properties of one manager; a scenario works on them while a log
// watches the manager.
struct Tree
{
    QtGroupPropertyManager manager;
    const std::array<QtProperty *, 4> all = namedProperties<4>(manager, "ABCD");
    QtProperty *const a = all[0];
    QtProperty *const b = all[1];
    QtProperty *const c = all[2];
    QtProperty *const d = all[3];
};

using Scenario = std::function<void(Tree &)>;

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TstQtProperty : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void structure_data();
    void structure();
    void attributes_data();
    void attributes();
    void destroyingAChildOfTwoParents();
    void deletingAManagerUnlinksItsProperties();
};

void TstQtProperty::structure_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<QStringList>("childrenOfA");
    QTest::addColumn<QStringList>("childrenOfB");

    QTest::newRow("a child of two parents")
        << Scenario([](Tree &t) { t.a->addSubProperty(t.c); t.b->addSubProperty(t.c); })
        << QStringList{"propertyInserted(C,A,null)", "propertyInserted(C,B,null)"}
        << QStringList{"C"} << QStringList{"C"};
    QTest::newRow("appended after the last child")
        << Scenario([](Tree &t) { t.a->addSubProperty(t.b); t.a->addSubProperty(t.c); })
        << QStringList{"propertyInserted(B,A,null)", "propertyInserted(C,A,B)"}
        << QStringList{"B", "C"} << QStringList();
    QTest::newRow("inserted after a middle child")
        << Scenario([](Tree &t) {
               t.a->addSubProperty(t.b);
               t.a->addSubProperty(t.c);
               t.a->insertSubProperty(t.d, t.b);
           })
        << QStringList{"propertyInserted(B,A,null)", "propertyInserted(C,A,B)",
                       "propertyInserted(D,A,B)"}
        << QStringList{"B", "D", "C"} << QStringList();
    QTest::newRow("an after that is no child inserts first")
        << Scenario([](Tree &t) { t.a->addSubProperty(t.b); t.a->insertSubProperty(t.c, t.d); })
        << QStringList{"propertyInserted(B,A,null)", "propertyInserted(C,A,null)"}
        << QStringList{"C", "B"} << QStringList();
    QTest::newRow("a cycle is refused")
        << Scenario([](Tree &t) { t.a->addSubProperty(t.b); t.b->addSubProperty(t.a); })
        << QStringList{"propertyInserted(B,A,null)"} << QStringList{"B"} << QStringList();
    QTest::newRow("a cycle through a grandchild is refused")
        << Scenario([](Tree &t) {
               t.a->addSubProperty(t.b);
               t.b->addSubProperty(t.c);
               t.c->addSubProperty(t.a);
           })
        << QStringList{"propertyInserted(B,A,null)", "propertyInserted(C,B,null)"}
        << QStringList{"B"} << QStringList{"C"};
    QTest::newRow("a duplicate is refused")
        << Scenario([](Tree &t) { t.a->addSubProperty(t.b); t.a->insertSubProperty(t.b, nullptr); })
        << QStringList{"propertyInserted(B,A,null)"} << QStringList{"B"} << QStringList();
    QTest::newRow("itself and null are refused")
        << Scenario([](Tree &t) { t.a->addSubProperty(t.a); t.a->addSubProperty(nullptr); })
        << QStringList() << QStringList() << QStringList();
    QTest::newRow("removing a child")
        << Scenario([](Tree &t) { t.a->addSubProperty(t.b); t.a->removeSubProperty(t.b); })
        << QStringList{"propertyInserted(B,A,null)", "propertyRemoved(B,A)"} << QStringList()
        << QStringList();
    QTest::newRow("removing what is no child only announces it")
        << Scenario([](Tree &t) { t.a->addSubProperty(t.c); t.a->removeSubProperty(t.b); })
        << QStringList{"propertyInserted(C,A,null)", "propertyRemoved(B,A)"} << QStringList{"C"}
        << QStringList();
    QTest::newRow("a removed child may come back")
        << Scenario([](Tree &t) {
               t.a->addSubProperty(t.b);
               t.a->removeSubProperty(t.b);
               t.b->addSubProperty(t.a);
           })
        << QStringList{"propertyInserted(B,A,null)", "propertyRemoved(B,A)", "propertyInserted(A,B,null)"}
        << QStringList() << QStringList{"A"};
}

void TstQtProperty::structure()
{
    QFETCH(Scenario, scenario);
    QFETCH(QStringList, emitted);
    QFETCH(QStringList, childrenOfA);
    QFETCH(QStringList, childrenOfB);

    Tree t;
    SignalLog log{&t.manager};
    scenario(t);
    QCOMPARE(log.entries(), emitted);
    QCOMPARE(propertyNames(t.a->subProperties()), childrenOfA);
    QCOMPARE(propertyNames(t.b->subProperties()), childrenOfB);
}

void TstQtProperty::attributes_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QStringList>("emitted");

    QTest::newRow("equal setters emit nothing") << Scenario([](Tree &t) {
        t.a->setPropertyName(QStringLiteral("A"));
        t.a->setToolTip(QString());
        t.a->setStatusTip(QString());
        t.a->setWhatsThis(QString());
        t.a->setEnabled(true);
        t.a->setModified(false);
    }) << QStringList();
    QTest::newRow("each change emits once") << Scenario([](Tree &t) {
        t.a->setToolTip(QStringLiteral("tip"));
        t.a->setToolTip(QStringLiteral("tip"));
        t.a->setStatusTip(QStringLiteral("status"));
        t.a->setWhatsThis(QStringLiteral("what"));
        t.a->setEnabled(false);
        t.a->setModified(true);
        t.a->setPropertyName(QStringLiteral("N"));
    }) << QStringList{"propertyChanged(A)", "propertyChanged(A)", "propertyChanged(A)",
                      "propertyChanged(A)", "propertyChanged(A)", "propertyChanged(N)"};
    QTest::newRow("column texts emit nothing") << Scenario([](Tree &t) {
        t.a->setColumnTexts({QStringLiteral("x"), QStringLiteral("y")});
        QCOMPARE(t.a->columnTexts(), QStringList({"x", "y"}));
    }) << QStringList();
    QTest::newRow("a new property is named only when the name is not empty")
        << Scenario([](Tree &t) {
               t.manager.addProperty();
               t.manager.addProperty(QStringLiteral("E"));
           })
        << QStringList{"propertyChanged(E)"};
}

void TstQtProperty::attributes()
{
    QFETCH(Scenario, scenario);
    QFETCH(QStringList, emitted);

    Tree t;
    SignalLog log{&t.manager};
    scenario(t);
    QCOMPARE(log.entries(), emitted);
}

void TstQtProperty::destroyingAChildOfTwoParents()
{
    Tree t;
    t.a->addSubProperty(t.c);
    t.b->addSubProperty(t.c);
    t.c->addSubProperty(t.d);
    SignalLog log{&t.manager};

    delete t.c;
    QStringList entries = log.take();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.takeLast(), QStringLiteral("propertyDestroyed(C)"));
    entries.sort();
    QCOMPARE(entries, QStringList({"propertyRemoved(C,A)", "propertyRemoved(C,B)"}));
    QVERIFY(t.a->subProperties().isEmpty());
    QVERIFY(t.b->subProperties().isEmpty());
    QCOMPARE(t.manager.properties().size(), 3);

    // Its child no longer names it as a parent.
    delete t.d;
    QCOMPARE(log.take(), QStringList{"propertyDestroyed(D)"});
}

void TstQtProperty::deletingAManagerUnlinksItsProperties()
{
    QtGroupPropertyManager owner;
    owner.setObjectName(QStringLiteral("owner"));
    auto *other = new QtGroupPropertyManager;
    other->setObjectName(QStringLiteral("other"));
    QtProperty *parent = owner.addProperty(QStringLiteral("P"));
    QtProperty *child = other->addProperty(QStringLiteral("X"));
    QtProperty *grandChild = owner.addProperty(QStringLiteral("G"));
    parent->addSubProperty(child);
    child->addSubProperty(grandChild);
    SignalLog log{&owner, other};

    delete other;
    QCOMPARE(log.take(), QStringList({"owner.propertyRemoved(X,P)", "other.propertyDestroyed(X)"}));
    QVERIFY(parent->subProperties().isEmpty());
    QCOMPARE(owner.properties().size(), 2);

    // The grandchild is a root now: deleting it names no parent.
    delete grandChild;
    QCOMPARE(log.take(), QStringList{"owner.propertyDestroyed(G)"});
}

QTEST_MAIN(TstQtProperty)
#include "tst_qtproperty.moc"
