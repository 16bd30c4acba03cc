#include "connectwarningguard.h"
#include "recordingbrowser.h"
#include "propertytesting.h"

#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"

#include <QPointer>
#include <QTest>

#include <functional>
#include <utility>

class TstAbstractPropertyBrowser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void insertsParentsBeforeChildren();
    void aPropertyUnderTwoShownParents();
    void removingASubTreeGoesDeepestAndLastFirst();
    void removingASubPropertyKeepsWhatIsShownElsewhere();
    void topLevelPositions_data();
    void topLevelPositions();
    void aDestroyedTopLevelPropertyLeaves();
    void aRemovedCurrentItemIsNoLongerCurrent();
    void teardownWithManagersItOwns();
    void insertionUndoneByAnEarlierHandler_data();
    void insertionUndoneByAnEarlierHandler();
    void subPropertyAddedWhileTheBrowserWorks_data();
    void subPropertyAddedWhileTheBrowserWorks();
    void browserClearedWhileASubTreeGoes();
};

namespace {

// The tree the items show, as "A(B(C),D)".
QString shapeOf(const QList<QtBrowserItem *> &items)
{
    QStringList parts;
    for (const QtBrowserItem *item : items) {
        const QList<QtBrowserItem *> children = item->children();
        parts << item->property()->propertyName() + (children.isEmpty() ? QString() : '(' + shapeOf(children) + ')');
    }
    return parts.join(QLatin1Char(','));
}

// The same for the properties and their sub-properties.
QString shapeOf(const QList<QtProperty *> &properties)
{
    QStringList parts;
    for (const QtProperty *property : properties) {
        const QList<QtProperty *> subs = property->subProperties();
        parts << property->propertyName() + (subs.isEmpty() ? QString() : '(' + shapeOf(subs) + ')');
    }
    return parts.join(QLatin1Char(','));
}

// A recording browser that runs a handler as each item is inserted, as a concrete
// browser's editors and rows announce themselves from there.
class HookedBrowser : public RecordingBrowser
{
public:
    std::function<void(QtBrowserItem *)> onInserted;

protected:
    void itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem) override
    {
        RecordingBrowser::itemInserted(item, afterItem);
        if (onInserted)
            onInserted(item);
    }
};

} // namespace

void TstAbstractPropertyBrowser::insertsParentsBeforeChildren()
{
    QtGroupPropertyManager manager;
    const auto [a, b, c, d] = namedProperties<4>(manager, "ABCD");
    a->addSubProperty(b);
    a->addSubProperty(c);

    RecordingBrowser browser;
    QtBrowserItem *item = browser.addProperty(a);
    QVERIFY(item);
    QCOMPARE(browser.calls, QStringList({"inserted(A)", "inserted(B under A)", "inserted(C after B under A)"}));
    QCOMPARE(itemNames(item->children()), QStringList({"B", "C"}));
    QCOMPARE(item->browser(), &browser);

    // A property inserted into a shown parent appears in its place; its sub-tree follows.
    browser.calls.clear();
    d->addSubProperty(manager.addProperty(QStringLiteral("E")));
    a->insertSubProperty(d, b);
    QCOMPARE(browser.calls, QStringList({"inserted(D after B under A)", "inserted(E under D)"}));
    QCOMPARE(itemNames(item->children()), QStringList({"B", "D", "C"}));

    // Adding a top-level property again changes nothing.
    browser.calls.clear();
    QCOMPARE(browser.addProperty(a), nullptr);
    QCOMPARE(browser.addProperty(nullptr), nullptr);
    QVERIFY(browser.calls.isEmpty());
}

void TstAbstractPropertyBrowser::aPropertyUnderTwoShownParents()
{
    QtGroupPropertyManager groups;
    QtIntPropertyManager ints;
    const auto [a, b] = namedProperties<2>(groups, "AB");
    QtProperty *c = ints.addProperty(QStringLiteral("C"));
    a->addSubProperty(c);
    b->addSubProperty(c);

    RecordingBrowser browser;
    browser.addProperty(a);
    browser.addProperty(b);
    QCOMPARE(browser.items(c).size(), 2);

    browser.calls.clear();
    ints.setValue(c, 3);
    QCOMPARE(browser.calls, QStringList({"changed(C under A)", "changed(C under B)"}));

    // Its item under A goes with A; the one under B stays and is still refreshed.
    browser.calls.clear();
    browser.removeProperty(a);
    ints.setValue(c, 4);
    QCOMPARE(browser.calls, QStringList({"removed(C under A)", "removed(A)", "changed(C under B)"}));
    QCOMPARE(itemNames(browser.items(c)), QStringList{"C"});
}

void TstAbstractPropertyBrowser::removingASubTreeGoesDeepestAndLastFirst()
{
    QtGroupPropertyManager manager;
    const auto [a, b, c, d, e] = namedProperties<5>(manager, "ABCDE");
    a->addSubProperty(b);
    b->addSubProperty(c);
    b->addSubProperty(d);
    d->addSubProperty(e);

    RecordingBrowser browser;
    browser.addProperty(a);
    browser.calls.clear();
    browser.removeProperty(a);
    QCOMPARE(browser.calls, QStringList({"removed(E under D)", "removed(D under B)", "removed(C under B)",
                                         "removed(B under A)", "removed(A)"}));
    QVERIFY(browser.properties().isEmpty());
    QVERIFY(browser.topLevelItems().isEmpty());
    QVERIFY(browser.items(e).isEmpty());

    // Nothing of it is followed any more.
    browser.calls.clear();
    e->setToolTip(QStringLiteral("t"));
    b->addSubProperty(manager.addProperty(QStringLiteral("F")));
    QVERIFY(browser.calls.isEmpty());
}

void TstAbstractPropertyBrowser::removingASubPropertyKeepsWhatIsShownElsewhere()
{
    QtGroupPropertyManager manager;
    const auto [a, b, c, d] = namedProperties<4>(manager, "ABCD");
    a->addSubProperty(b);
    b->addSubProperty(c);
    b->addSubProperty(d);

    RecordingBrowser browser;
    browser.addProperty(a);
    browser.addProperty(c);
    browser.calls.clear();

    a->removeSubProperty(b);
    QCOMPARE(browser.calls, QStringList({"removed(D under B)", "removed(C under B)", "removed(B under A)"}));

    // C is still shown at the top; B and D are not shown at all.
    browser.calls.clear();
    c->setToolTip(QStringLiteral("c"));
    d->setToolTip(QStringLiteral("d"));
    b->setToolTip(QStringLiteral("b"));
    QCOMPARE(browser.calls, QStringList{"changed(C)"});
}

void TstAbstractPropertyBrowser::topLevelPositions_data()
{
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QString>("call");

    QTest::newRow("after the first") << "A" << QStringList({"A", "X", "B"}) << "inserted(X after A)";
    QTest::newRow("after the last") << "B" << QStringList({"A", "B", "X"}) << "inserted(X after B)";
    QTest::newRow("no after: first") << "" << QStringList({"X", "A", "B"}) << "inserted(X)";
    QTest::newRow("an unshown after: first") << "U" << QStringList({"X", "A", "B"}) << "inserted(X)";
    // Shown only below A: the property is still shown, first.
    QTest::newRow("an after that is not top-level: first")
        << "C" << QStringList({"X", "A", "B"}) << "inserted(X)";
}

void TstAbstractPropertyBrowser::topLevelPositions()
{
    QFETCH(QString, after);
    QFETCH(QStringList, order);
    QFETCH(QString, call);

    QtGroupPropertyManager manager;
    const auto [a, b, c, u, x] = namedProperties<5>(manager, "ABCUX");
    a->addSubProperty(c);
    const QMap<QString, QtProperty *> byName{{"A", a}, {"B", b}, {"C", c}, {"U", u}};

    RecordingBrowser browser;
    browser.addProperty(a);
    browser.addProperty(b);
    browser.calls.clear();

    QtBrowserItem *item = browser.insertProperty(x, byName.value(after));
    QVERIFY(item);
    QCOMPARE(item, browser.topLevelItem(x));
    QVERIFY(!item->parent());
    QCOMPARE(propertyNames(browser.properties()), order);
    QCOMPARE(itemNames(browser.topLevelItems()), order);
    QCOMPARE(browser.calls, QStringList{call});
}

void TstAbstractPropertyBrowser::aDestroyedTopLevelPropertyLeaves()
{
    QtGroupPropertyManager manager;
    const auto [a, b, c] = namedProperties<3>(manager, "ABC");
    a->addSubProperty(b);

    RecordingBrowser browser;
    browser.addProperty(a);
    browser.addProperty(c);
    browser.calls.clear();

    delete a;
    QCOMPARE(browser.calls, QStringList({"removed(B under A)", "removed(A)"}));
    QCOMPARE(propertyNames(browser.properties()), QStringList{"C"});

    // Clearing the manager empties the browser too.
    browser.calls.clear();
    manager.clear();
    QCOMPARE(browser.calls, QStringList{"removed(C)"});
    QVERIFY(browser.properties().isEmpty());
    QVERIFY(browser.topLevelItems().isEmpty());
}

void TstAbstractPropertyBrowser::aRemovedCurrentItemIsNoLongerCurrent()
{
    QtGroupPropertyManager manager;
    const auto [a, b] = namedProperties<2>(manager, "AB");
    a->addSubProperty(b);

    RecordingBrowser browser;
    browser.addProperty(a);
    SignalLog log{&browser};
    browser.setCurrentItem(browser.items(b).first());
    browser.setCurrentItem(browser.items(b).first());
    a->removeSubProperty(b);
    QCOMPARE(browser.currentItem(), nullptr);
    QCOMPARE(log.entries(), QStringList({"currentItemChanged(B)", "currentItemChanged(null)"}));
}

void TstAbstractPropertyBrowser::teardownWithManagersItOwns()
{
    // Managers that are children of the browser die after its own destructor has run.
    auto *browser = new RecordingBrowser;
    auto *manager = new QtIntPropertyManager(browser);
    QtProperty *a = manager->addProperty(QStringLiteral("A"));
    a->addSubProperty(manager->addProperty(QStringLiteral("B")));
    browser->addProperty(a);
    QPointer<QtIntPropertyManager> guard(manager);
    delete browser;
    QVERIFY(guard.isNull());
}

void TstAbstractPropertyBrowser::insertionUndoneByAnEarlierHandler_data()
{
    QTest::addColumn<QString>("undo");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("shown");
    QTest::newRow("the sub-property deleted") << "delete" << QStringList() << "A";
    QTest::newRow("the manager cleared") << "clear" << QStringList{"removed(A)"} << "";
    QTest::newRow("the sub-property taken out again") << "unlink" << QStringList() << "A";
}

// B, which has C below it, is put under the shown A; a handler connected before
// the browser follows the manager runs first and undoes the insertion. The
// browser, told of it afterwards, shows what the properties are.
void TstAbstractPropertyBrowser::insertionUndoneByAnEarlierHandler()
{
    QFETCH(QString, undo);
    QFETCH(QStringList, calls);
    QFETCH(QString, shown);
    QtGroupPropertyManager manager;
    const auto [a, b, c] = namedProperties<3>(manager, "ABC");
    b->addSubProperty(c);
    bool ran = false;
    connect(&manager, &QtAbstractPropertyManager::propertyInserted, this, [&](QtProperty *property) {
        if (property != b || std::exchange(ran, true))
            return;
        if (undo == QLatin1String("delete"))
            delete b;
        else if (undo == QLatin1String("clear"))
            manager.clear();
        else
            a->removeSubProperty(b);
    });
    RecordingBrowser browser;
    browser.addProperty(a);
    browser.calls.clear();

    a->addSubProperty(b);
    QVERIFY(ran);
    QCOMPARE(browser.calls, calls);
    QCOMPARE(shapeOf(browser.topLevelItems()), shown);
    QCOMPARE(shapeOf(browser.properties()), shown);
}

void TstAbstractPropertyBrowser::subPropertyAddedWhileTheBrowserWorks_data()
{
    QTest::addColumn<QString>("subs");    // A's sub-properties at first
    QTest::addColumn<QString>("trigger"); // what the test does with A shown (or shows A)
    QTest::addColumn<QString>("when");    // where the handler runs
    QTest::addColumn<QString>("after");   // C goes under A after this one, or first
    QTest::addColumn<QString>("shown");
    QTest::newRow("first one, while the parent's item is made") << "" << "show" << "item A" << "" << "A(C)";
    QTest::newRow("after the sibling whose item is made") << "BD" << "show" << "item B" << "B" << "A(B,C,D)";
    QTest::newRow("after a sibling whose item is yet to come") << "BD" << "show" << "item B" << "D" << "A(B,D,C)";
    QTest::newRow("after the one an earlier receiver hears inserted")
        << "" << "add B" << "inserted B" << "B" << "A(B,C)";
    QTest::newRow("after the one a later receiver hears removed") << "B" << "remove B" << "removed B" << "B" << "A(C)";
}

// A handler adds C to A while the browser is busy with A's sub-tree: C is shown
// once, in its place.
void TstAbstractPropertyBrowser::subPropertyAddedWhileTheBrowserWorks()
{
    QFETCH(QString, subs);
    QFETCH(QString, trigger);
    QFETCH(QString, when);
    QFETCH(QString, after);
    QFETCH(QString, shown);
    QtGroupPropertyManager manager;
    const auto [a, b, c, d] = namedProperties<4>(manager, "ABCD");
    for (const QChar name : subs)
        a->addSubProperty(name == QLatin1Char('B') ? b : d);
    QtProperty *afterProperty = after.isEmpty() ? nullptr : after == QLatin1String("B") ? b : d;
    bool ran = false;
    const auto addC = [&] {
        if (!std::exchange(ran, true))
            a->insertSubProperty(c, afterProperty);
    };

    HookedBrowser browser;
    if (when == QLatin1String("inserted B")) {
        connect(&manager, &QtAbstractPropertyManager::propertyInserted, this, [&](QtProperty *property) {
            if (property == b)
                addC();
        });
    }
    if (trigger != QLatin1String("show"))
        browser.addProperty(a);
    if (when == QLatin1String("removed B")) {
        connect(&manager, &QtAbstractPropertyManager::propertyRemoved, this, [&](QtProperty *property) {
            if (property == b)
                addC();
        });
    }
    browser.onInserted = [&](QtBrowserItem *item) {
        if (when == QLatin1String("item ") + item->property()->propertyName())
            addC();
    };

    if (trigger == QLatin1String("show"))
        browser.addProperty(a);
    else if (trigger == QLatin1String("add B"))
        a->addSubProperty(b);
    else
        a->removeSubProperty(b);
    QVERIFY(ran);
    QCOMPARE(shapeOf(browser.properties()), shown);
    QCOMPARE(shapeOf(browser.topLevelItems()), shown);
    QCOMPARE(browser.items(c).size(), 1);
}

// C, the current item, goes with B; the handler of the current item's change
// clears the browser while B's removal is under way. B is still told of, under A.
void TstAbstractPropertyBrowser::browserClearedWhileASubTreeGoes()
{
    QtGroupPropertyManager manager;
    const auto [a, b, c] = namedProperties<3>(manager, "ABC");
    a->addSubProperty(b);
    b->addSubProperty(c);
    RecordingBrowser browser;
    browser.addProperty(a);
    browser.setCurrentItem(browser.items(c).value(0));
    connect(&browser, &QtAbstractPropertyBrowser::currentItemChanged, this, [&](QtBrowserItem *item) {
        if (!item)
            browser.clear();
    });
    browser.calls.clear();

    a->removeSubProperty(b);
    QCOMPARE(browser.calls, QStringList({"removed(C under B)", "removed(A)", "removed(B under A)"}));
    QVERIFY(browser.topLevelItems().isEmpty());
    QVERIFY(browser.properties().isEmpty());
}

QTEST_MAIN(TstAbstractPropertyBrowser)
#include "tst_abstractpropertybrowser.moc"
