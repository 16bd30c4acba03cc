#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtproperty.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <QTest>

#include <functional>
#include <memory>

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

// A manager and the change that one of its properties, "P", goes through.
struct Announcing
{
    std::function<std::unique_ptr<QtAbstractPropertyManager>()> manager;
    std::function<void(QtAbstractPropertyManager *, QtProperty *)> change;
};

template <class Manager>
Announcing announcing(std::function<void(Manager *, QtProperty *)> change)
{
    return {[] { return std::make_unique<Manager>(); },
            [change](QtAbstractPropertyManager *m, QtProperty *p) { change(static_cast<Manager *>(m), p); }};
}

} // namespace

Q_DECLARE_METATYPE(Scenario)
Q_DECLARE_METATYPE(Announcing)

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
    void linksChangedByAHandlerOfADeletion_data();
    void linksChangedByAHandlerOfADeletion();
    void nothingIsAnnouncedOfADeletedProperty_data();
    void nothingIsAnnouncedOfADeletedProperty();
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

void TstQtProperty::linksChangedByAHandlerOfADeletion_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("put below another") << "below";
    QTest::newRow("given a sub-property") << "above";
    QTest::newRow("its parent deleted as it is taken out") << "parent deleted";
}

// A handler of the signals a change sends links the property being deleted anew,
// or deletes the parent it is being taken from: no link to a deleted property is
// left, and nothing announces one.
void TstQtProperty::linksChangedByAHandlerOfADeletion()
{
    QFETCH(QString, link);
    Tree t;
    t.c->addSubProperty(t.a);
    SignalLog log{&t.manager};
    if (link == QLatin1String("parent deleted")) {
        const auto deleteParent =
            connect(&t.manager, &QtAbstractPropertyManager::propertyRemoved, this, [&] { delete t.c; });
        t.c->removeSubProperty(t.a);
        disconnect(deleteParent);
        QCOMPARE(log.entries(), (QStringList{"propertyRemoved(A,C)", "propertyDestroyed(C)"}));
        QVERIFY(t.manager.properties().contains(t.a));
        delete t.a;
        return;
    }
    const auto linkAnew = connect(&t.manager, &QtAbstractPropertyManager::propertyDestroyed, this,
                                  [&](QtProperty *gone) {
                                      if (link == QLatin1String("below"))
                                          t.b->addSubProperty(gone);
                                      else
                                          gone->addSubProperty(t.d);
                                  });
    delete t.a;
    disconnect(linkAnew);
    QCOMPARE(log.entries(), (QStringList{"propertyRemoved(A,C)", "propertyDestroyed(A)"}));
    QVERIFY(t.b->subProperties().isEmpty());
    QVERIFY(t.c->subProperties().isEmpty());
    // D names no parent: deleting it announces no removal.
    log.clear();
    delete t.d;
    QCOMPARE(log.entries(), QStringList{"propertyDestroyed(D)"});
}

void TstQtProperty::nothingIsAnnouncedOfADeletedProperty_data()
{
    QTest::addColumn<Announcing>("subject");
    QTest::addColumn<QString>("first");
    QTest::newRow("integer value") << announcing<QtIntPropertyManager>([](auto *m, auto *p) { m->setValue(p, 5); })
                                   << "propertyChanged";
    QTest::newRow("integer range moving the value")
        << announcing<QtIntPropertyManager>([](auto *m, auto *p) { m->setRange(p, 10, 20); }) << "rangeChanged";
    QTest::newRow("double value") << announcing<QtDoublePropertyManager>([](auto *m, auto *p) { m->setValue(p, 1.5); })
                                  << "propertyChanged";
    QTest::newRow("string value")
        << announcing<QtStringPropertyManager>([](auto *m, auto *p) { m->setValue(p, QStringLiteral("x")); })
        << "propertyChanged";
    QTest::newRow("string read-only")
        << announcing<QtStringPropertyManager>([](auto *m, auto *p) { m->setReadOnly(p, true); }) << "propertyChanged";
    QTest::newRow("boolean value") << announcing<QtBoolPropertyManager>([](auto *m, auto *p) { m->setValue(p, true); })
                                   << "propertyChanged";
    QTest::newRow("enumeration names")
        << announcing<QtEnumPropertyManager>([](auto *m, auto *p) { m->setEnumNames(p, {"a", "b"}); })
        << "enumNamesChanged";
    QTest::newRow("enumeration icons")
        << announcing<QtEnumPropertyManager>([](auto *m, auto *p) { m->setEnumIcons(p, {}); }) << "enumIconsChanged";
}

// The first receiver of a change deletes the property: the manager says nothing
// more of it.
void TstQtProperty::nothingIsAnnouncedOfADeletedProperty()
{
    QFETCH(Announcing, subject);
    QFETCH(QString, first);
    const std::unique_ptr<QtAbstractPropertyManager> manager = subject.manager();
    QtProperty *p = manager->addProperty(QStringLiteral("P"));
    NamingSignals named(manager.get(), p);
    bool deleted = false;
    const auto deleteOnFirst = [&] {
        if (!std::exchange(deleted, true))
            delete p;
    };
    if (first == QLatin1String("propertyChanged"))
        connect(manager.get(), &QtAbstractPropertyManager::propertyChanged, this, deleteOnFirst);
    else if (first == QLatin1String("rangeChanged"))
        connect(static_cast<QtIntPropertyManager *>(manager.get()), &QtIntPropertyManager::rangeChanged, this,
                deleteOnFirst);
    else if (first == QLatin1String("enumNamesChanged"))
        connect(static_cast<QtEnumPropertyManager *>(manager.get()), &QtEnumPropertyManager::enumNamesChanged, this,
                deleteOnFirst);
    else
        connect(static_cast<QtEnumPropertyManager *>(manager.get()), &QtEnumPropertyManager::enumIconsChanged, this,
                deleteOnFirst);

    subject.change(manager.get(), p);
    QVERIFY(deleted);
    QCOMPARE(named.seen, (QStringList{first, QStringLiteral("propertyDestroyed")}));
}

QTEST_MAIN(TstQtProperty)
#include "tst_qtproperty.moc"
