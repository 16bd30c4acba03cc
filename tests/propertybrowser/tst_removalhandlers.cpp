#include "browserkinds.h"
#include "connectwarningguard.h"
#include "gridtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtbuttonpropertybrowser.h"
#include "propertybrowser/extended/qtgroupboxpropertybrowser.h"
#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <utility>

// Handlers that run inside a removal, in each of the three browsers: a clear
// re-entered from the signals it emits, a property shown again while it goes, one
// deleted while it is being shown, and an editor that commits what was typed as
// the removal closes it, or as the browser moves, hides or disables it, on a page
// that builds itself again on every change.
// Whatever they do, every property is deleted once and the rows shown are the
// properties the browser lists. Checked for use after free by the sanitizer build.
class TstRemovalHandlers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    // Editors that went are deleted from the event loop.
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void clearReenteredFromItsSignals_data();
    void clearReenteredFromItsSignals();
    void shownAgainWhileItGoes_data();
    void shownAgainWhileItGoes();
    void clearedWhileASubTreeGoes_data();
    void clearedWhileASubTreeGoes();
    void deletedWhileItIsShown_data();
    void deletedWhileItIsShown();
    void typedValueCommittedAsTheRemovalClosesIt_data();
    void typedValueCommittedAsTheRemovalClosesIt();
    void typedValueCommittedBeforeTheBrowserMovesIt_data();
    void typedValueCommittedBeforeTheBrowserMovesIt();
};

namespace {

// A manager that counts the properties it made and those deleted.
template <class Manager>
class Counted : public Manager
{
public:
    ~Counted() override { this->clear(); }

    // Made and not yet deleted, as the manager should list them.
    int living() const { return made - deleted; }

    int made = 0;
    int deleted = 0;

protected:
    QtProperty *createProperty() override
    {
        ++made;
        return new Property(this, &deleted);
    }

private:
    class Property : public QtProperty
    {
    public:
        Property(QtAbstractPropertyManager *manager, int *deleted) : QtProperty(manager), m_deleted(deleted) {}
        ~Property() override { ++*m_deleted; }

    private:
        int *m_deleted;
    };
};

// The page: a group G with the integers N1 and N2, and the integers N3, which has
// N4 below it, which has N5 below it. Integers get plain spin boxes, which commit
// what was typed when they lose the focus.
struct Page
{
    explicit Page(int kind)
    {
        if (kind == Tree)
            browser = std::make_unique<QtTreePropertyBrowser>();
        else if (kind == Button)
            browser = std::make_unique<QtButtonPropertyBrowser>();
        else
            browser = std::make_unique<QtGroupBoxPropertyBrowser>();
        browser->setFactoryForManager(static_cast<QtIntPropertyManager *>(&ints), &spinBoxes);
        browser->resize(500, 600);
        build();
    }
    ~Page()
    {
        browser.reset();
        ints.clear();
        groups.clear();
    }

    void build()
    {
        QtProperty *g = groups.addProperty(QStringLiteral("G"));
        g->addSubProperty(ints.addProperty(QStringLiteral("N1")));
        g->addSubProperty(ints.addProperty(QStringLiteral("N2")));
        QtProperty *n3 = ints.addProperty(QStringLiteral("N3"));
        QtProperty *n4 = ints.addProperty(QStringLiteral("N4"));
        n3->addSubProperty(n4);
        n4->addSubProperty(ints.addProperty(QStringLiteral("N5")));
        browser->addProperty(g);
        browser->addProperty(n3);
        if (auto *buttons = qobject_cast<QtButtonPropertyBrowser *>(browser.get()))
            buttons->setExpanded(browser->topLevelItem(g), true);
    }

    void rebuild()
    {
        ints.clear();
        groups.clear();
        build();
    }

    QtProperty *property(const QString &name) const
    {
        for (const QtAbstractPropertyManager *manager : {static_cast<const QtAbstractPropertyManager *>(&ints),
                                                         static_cast<const QtAbstractPropertyManager *>(&groups)}) {
            for (QtProperty *p : manager->properties()) {
                if (p->propertyName() == name)
                    return p;
            }
        }
        return nullptr;
    }

    // The names of the top-level rows on screen, top down.
    QStringList shownNames() const
    {
        QStringList names;
        if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(browser.get())) {
            const QTreeWidget *view = tree->findChild<QTreeWidget *>();
            for (int i = 0; i < view->topLevelItemCount(); ++i)
                names << view->topLevelItem(i)->text(0);
            return names;
        }
        return gridRowNames(browser->layout());
    }

    // The integer editor of the property of that name (in the tree, of G's
    // sub-property), given the focus.
    QSpinBox *focusedEditor(const QString &name)
    {
        if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(browser.get())) {
            for (QtBrowserItem *child : browser->topLevelItems().value(0)->children()) {
                if (child->property()->propertyName() == name)
                    tree->editItem(child);
            }
            // The one the view opened, which takes the focus.
            const QList<QSpinBox *> opened = browser->findChildren<QSpinBox *>();
            return opened.size() == 1 ? opened.first() : nullptr;
        }
        for (QSpinBox *spin : browser->findChildren<QSpinBox *>()) {
            if (spin->isVisible() && nameBeside(spin) == name) {
                spin->setFocus();
                return spin;
            }
        }
        return nullptr;
    }

    Counted<QtGroupPropertyManager> groups;
    Counted<QtIntPropertyManager> ints;
    QtSpinBoxFactory spinBoxes;
    std::unique_ptr<QtAbstractPropertyBrowser> browser;

private:
    // The text of the name label in the same grid row as the widget.
    static QString nameBeside(const QWidget *widget)
    {
        const auto *grid = qobject_cast<const QGridLayout *>(widget->parentWidget()->layout());
        if (!grid)
            return QString();
        const int at = grid->indexOf(const_cast<QWidget *>(widget));
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
        QLayoutItem *name = grid->itemAtPosition(row, 0);
        const auto *label = name ? qobject_cast<const QLabel *>(name->widget()) : nullptr;
        return label ? label->text() : QString();
    }
};

// Every property deleted once, none twice, and the browser showing what it lists.
void checkPage(Page &page)
{
    QCoreApplication::processEvents();
    QCOMPARE(page.ints.properties().size(), page.ints.living());
    QCOMPARE(page.groups.properties().size(), page.groups.living());
    const QList<QtProperty *> listed = page.browser->properties();
    for (QtProperty *p : listed) {
        const QSet<QtProperty *> owned = p->propertyManager()->properties();
        QVERIFY(owned.contains(p));
    }
    QCOMPARE(itemNames(page.browser->topLevelItems()), propertyNames(listed));
    QCOMPARE(page.shownNames(), propertyNames(listed));
    page.browser->grab();
}

using Action = std::function<void(Page &)>;

// What a handler of the commit does, given the property whose editor committed.
using Handler = std::function<void(Page &, QtProperty *)>;

// The top-level property above a property of the page.
QtProperty *topLevelOf(Page &page, QtProperty *property)
{
    for (QtProperty *top : page.browser->properties()) {
        QList<QtProperty *> pending{top};
        while (!pending.isEmpty()) {
            QtProperty *p = pending.takeFirst();
            if (p == property)
                return top;
            pending << p->subProperties();
        }
    }
    return nullptr;
}

QtProperty *parentOf(Page &page, QtProperty *property)
{
    for (QtProperty *p : page.groups.properties() + page.ints.properties()) {
        if (p->subProperties().contains(property))
            return p;
    }
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Handler)

void TstRemovalHandlers::clearReenteredFromItsSignals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QString>("cleared");
    QTest::addColumn<QStringList>("left");
    for (const int kind : {Tree, Button, GroupBox}) {
        // N3 goes first, then N5 while N4 still lists it, then N2 while G lists it.
        QTest::addRow("%s, from propertyDestroyed", kindName(kind))
            << kind << "ints destroyed" << "ints" << QStringList{"G"};
        QTest::addRow("%s, from propertyRemoved", kindName(kind))
            << kind << "ints removed" << "ints" << QStringList{"G"};
        QTest::addRow("%s, the parents' manager from propertyRemoved", kindName(kind))
            << kind << "groups removed" << "groups" << QStringList();
    }
}

// The integers' manager is cleared; at the first of the signals named, a handler
// clears a manager again.
void TstRemovalHandlers::clearReenteredFromItsSignals()
{
    QFETCH(int, kind);
    QFETCH(QString, signal);
    QFETCH(QString, cleared);
    QFETCH(QStringList, left);
    Page page(kind);
    page.browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.browser.get()));
    bool ran = false;
    const auto clearOnce = [&] {
        if (std::exchange(ran, true))
            return;
        if (cleared == QLatin1String("ints"))
            page.ints.clear();
        else
            page.groups.clear();
    };
    if (signal == QLatin1String("ints destroyed"))
        connect(&page.ints, &QtAbstractPropertyManager::propertyDestroyed, this, clearOnce);
    else if (signal == QLatin1String("ints removed"))
        connect(&page.ints, &QtAbstractPropertyManager::propertyRemoved, this, clearOnce);
    else
        connect(&page.groups, &QtAbstractPropertyManager::propertyRemoved, this, clearOnce);

    page.ints.clear();
    QVERIFY(ran);
    QCOMPARE(page.ints.properties().size(), 0);
    QCOMPARE(page.ints.deleted, page.ints.made);
    checkPage(page);
    QCOMPARE(propertyNames(page.browser->properties()), left);
}

void TstRemovalHandlers::shownAgainWhileItGoes_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("removedFirst");
    // N3 is the current item: the browser says that it is gone as N3 goes.
    for (const int kind : {Tree, Button, GroupBox}) {
        QTest::addRow("%s, deleted, current item gone", kindName(kind)) << kind << "current" << false;
        QTest::addRow("%s, deleted, propertyDestroyed", kindName(kind)) << kind << "destroyed" << false;
        QTest::addRow("%s, removed, current item gone, then deleted", kindName(kind)) << kind << "current" << true;
    }
}

// N3, the current item, goes, and a handler shows it again at once: a property
// being deleted is shown no more, one only taken from the browser is.
void TstRemovalHandlers::shownAgainWhileItGoes()
{
    QFETCH(int, kind);
    QFETCH(QString, when);
    QFETCH(bool, removedFirst);
    Page page(kind);
    page.browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.browser.get()));
    QtProperty *n3 = page.property(QStringLiteral("N3"));
    page.browser->setCurrentItem(page.browser->topLevelItem(n3));
    int shown = 0;
    const auto showAgain = [&] {
        if (page.browser->addProperty(n3))
            ++shown;
    };
    if (when == QLatin1String("current")) {
        connect(page.browser.get(), &QtAbstractPropertyBrowser::currentItemChanged, this,
                [&](QtBrowserItem *item) {
                    if (!item)
                        showAgain();
                });
    } else {
        connect(&page.ints, &QtAbstractPropertyManager::propertyDestroyed, this, [&](QtProperty *p) {
            if (p == n3)
                showAgain();
        });
    }

    if (removedFirst) {
        page.browser->removeProperty(n3);
        QCOMPARE(shown, 1);
        QCOMPARE(propertyNames(page.browser->properties()), (QStringList{"G", "N3"}));
        checkPage(page);
        page.browser->setCurrentItem(page.browser->topLevelItem(n3));
        shown = 0;
    }
    delete n3;
    QCOMPARE(shown, 0);
    QCOMPARE(propertyNames(page.browser->properties()), QStringList{"G"});
    QCOMPARE(page.browser->currentItem(), nullptr);
    checkPage(page);
}

void TstRemovalHandlers::clearedWhileASubTreeGoes_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("deleted");
    for (const int kind : {Button, GroupBox}) {
        QTest::addRow("%s, taken from its parent", kindName(kind)) << kind << false;
        QTest::addRow("%s, deleted", kindName(kind)) << kind << true;
    }
}

// N4 leaves N3, and as N5 below it goes, the current item, a handler clears the
// browser: N3 goes while N4, already out of N3's list, is still on its way out.
void TstRemovalHandlers::clearedWhileASubTreeGoes()
{
    QFETCH(int, kind);
    QFETCH(bool, deleted);
    Page page(kind);
    page.browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.browser.get()));
    QtProperty *n3 = page.property(QStringLiteral("N3"));
    QtProperty *n4 = page.property(QStringLiteral("N4"));
    page.browser->setCurrentItem(page.browser->topLevelItem(n3)->children().value(0)->children().value(0));
    bool cleared = false;
    connect(page.browser.get(), &QtAbstractPropertyBrowser::currentItemChanged, this, [&](QtBrowserItem *item) {
        if (!item && !std::exchange(cleared, true))
            page.browser->clear();
    });

    if (deleted)
        delete n4;
    else
        n3->removeSubProperty(n4);
    QVERIFY(cleared);
    QVERIFY(page.browser->properties().isEmpty());
    checkPage(page);
}

void TstRemovalHandlers::deletedWhileItIsShown_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("deleted");
    QTest::addColumn<QStringList>("left");
    for (const int kind : {Tree, Button, GroupBox}) {
        QTest::addRow("%s, the property shown", kindName(kind)) << kind << "N6" << QStringList{"G", "N3"};
        // The new row goes after the one before that.
        QTest::addRow("%s, the property before it", kindName(kind)) << kind << "N3" << QStringList{"G", "N6"};
        // Nothing deleted: N7 is shown between N3 and N6, and the new row goes after N7's.
        QTest::addRow("%s, another shown before it", kindName(kind)) << kind << QString()
                                                                      << QStringList{"G", "N3", "N7", "N6"};
        // Nothing deleted: N7 becomes N6's sub-property before N6 has a row, and is
        // shown once, below N6.
        QTest::addRow("%s, a sub-property added to it", kindName(kind)) << kind << "+N7" << QStringList{"G", "N3", "N6"};
    }
}

// A handler of what showing a property tells (the tree's new row is expanded, a
// grid's new editor is announced by editorCreated) deletes the property, or the
// one it is shown after, or shows another one after that, or gives it a
// sub-property.
void TstRemovalHandlers::deletedWhileItIsShown()
{
    QFETCH(int, kind);
    QFETCH(QString, deleted);
    QFETCH(QStringList, left);
    Page page(kind);
    page.browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.browser.get()));
    QtProperty *n6 = page.ints.addProperty(QStringLiteral("N6"));
    const bool addSub = deleted == QLatin1String("+N7");
    QtProperty *gone = deleted == QLatin1String("N6") ? n6 : addSub ? nullptr : page.property(deleted);
    QtProperty *n7 = nullptr;
    bool ran = false;
    const auto deleteIt = [&] {
        if (std::exchange(ran, true))
            return;
        if (gone) {
            delete gone;
        } else if (addSub) {
            n7 = page.ints.addProperty(QStringLiteral("N7"));
            n6->addSubProperty(n7);
        } else {
            page.browser->insertProperty(page.ints.addProperty(QStringLiteral("N7")), page.property(QStringLiteral("N3")));
        }
    };
    if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(page.browser.get()))
        connect(tree, &QtTreePropertyBrowser::expanded, this, deleteIt);
    else
        connect(&page.ints, &QtAbstractPropertyManager::editorCreated, this, deleteIt);

    page.browser->addProperty(n6);
    QVERIFY(ran);
    QCOMPARE(propertyNames(page.browser->properties()), left);
    if (n7) {
        QCOMPARE(page.browser->items(n7).size(), 1);
        QCOMPARE(page.browser->items(n7).first()->parent(), page.browser->topLevelItem(n6));
    }
    checkPage(page);
}

void TstRemovalHandlers::typedValueCommittedAsTheRemovalClosesIt_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<Action>("removal");
    QTest::addColumn<int>("committed");
    const Action rebuilt = [](Page &page) { page.rebuild(); };
    const Action groupsCleared = [](Page &page) { page.groups.clear(); };
    const Action browserCleared = [](Page &page) { page.browser->clear(); };
    const Action takenFromItsGroup = [](Page &page) {
        page.property(QStringLiteral("G"))->removeSubProperty(page.property(QStringLiteral("N1")));
    };
    for (const int kind : {Tree, Button, GroupBox}) {
        // A property being deleted takes no value.
        QTest::addRow("%s, page built again", kindName(kind)) << kind << rebuilt << 0;
        QTest::addRow("%s, its group deleted", kindName(kind)) << kind << groupsCleared << 1;
        QTest::addRow("%s, taken from its group", kindName(kind)) << kind << takenFromItsGroup << 1;
        QTest::addRow("%s, browser cleared", kindName(kind)) << kind << browserCleared << 1;
    }
}

// The user typed into N1's editor and has not pressed Enter when the removal closes
// the editor; the page builds itself again on every change, so a commit clears
// both managers inside the removal.
void TstRemovalHandlers::typedValueCommittedAsTheRemovalClosesIt()
{
    QFETCH(int, kind);
    QFETCH(Action, removal);
    QFETCH(int, committed);
    Page page(kind);
    page.browser->show();
    QVERIFY(QTest::qWaitForWindowActive(page.browser.get()));
    int commits = 0;
    connect(&page.ints, &QtIntPropertyManager::valueChanged, this, [&page, &commits] {
        ++commits;
        page.rebuild();
    });
    QSpinBox *editor = page.focusedEditor(QStringLiteral("N1"));
    QVERIFY(editor);
    QTRY_VERIFY(editor->hasFocus());
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("33"));

    removal(page);
    QCOMPARE(commits, committed);
    checkPage(page);
}

void TstRemovalHandlers::typedValueCommittedBeforeTheBrowserMovesIt_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("typedInto");
    QTest::addColumn<Action>("setUp");
    QTest::addColumn<Action>("move");
    QTest::addColumn<Handler>("handler");

    const auto expand = [](const QStringList &names) {
        return [names](Page &page) {
            auto *buttons = qobject_cast<QtButtonPropertyBrowser *>(page.browser.get());
            for (const QString &name : names) {
                for (QtBrowserItem *item : page.browser->items(page.property(name)))
                    buttons->setExpanded(item, true);
            }
        };
    };
    const auto close = [](const QString &name) -> Action {
        return [name](Page &page) {
            auto *buttons = qobject_cast<QtButtonPropertyBrowser *>(page.browser.get());
            buttons->setExpanded(page.browser->items(page.property(name)).value(0), false);
        };
    };
    const Action clickG = [](Page &page) {
        QTest::mouseClick(widgetShowing<QToolButton>(page.browser.get(), QStringLiteral("G")), Qt::LeftButton);
    };
    const auto firstChild = [](const QString &name) -> Action {
        return [name](Page &page) { page.property(name)->addSubProperty(page.ints.addProperty(name + "a")); };
    };
    const auto disable = [](const QString &name) -> Action {
        return [name](Page &page) { page.property(name)->setEnabled(false); };
    };
    // How the browser takes the focus from the editor: a group box takes a row that
    // gets its first sub-property, a panel closes, a disabled row locks its editors.
    struct Move
    {
        const char *name;
        int kind;
        QString typedInto;
        Action setUp;
        Action move;
        bool addsSubProperty = false;
    };
    const Action none = [](Page &) {};
    const QList<Move> moves{
        {"into the group box of its first sub-property", GroupBox, "N1", none, firstChild("N1"), true},
        {"into a group box, second level", GroupBox, "N5", none, firstChild("N5"), true},
        {"its row disabled", GroupBox, "N1", none, disable("N1")},
        {"its group disabled", GroupBox, "N5", none, disable("N3")},
        {"panel closed", Button, "N1", none, close("G")},
        {"panel closed by a click", Button, "N1", none, clickG},
        {"outer panel closed, second level", Button, "N5", expand({"N3", "N4"}), close("N3")},
        {"its row disabled", Button, "N1", none, disable("N1")},
        {"its group disabled", Button, "N5", expand({"N3", "N4"}), disable("N3")},
    };
    // What the page does on the commit.
    const QList<QPair<const char *, Handler>> handlers{
        {"taken from its parent", [](Page &page, QtProperty *p) { parentOf(page, p)->removeSubProperty(p); }},
        {"top-level row shown again",
         [](Page &page, QtProperty *p) {
             QtProperty *top = topLevelOf(page, p);
             page.browser->removeProperty(top);
             page.browser->addProperty(top);
         }},
        {"browser cleared", [](Page &page, QtProperty *) { page.browser->clear(); }},
        {"property deleted", [](Page &, QtProperty *p) { delete p; }},
        {"its new sub-property deleted", [](Page &, QtProperty *p) { qDeleteAll(p->subProperties()); }},
        {"page rebuilt", [](Page &page, QtProperty *) { page.rebuild(); }},
    };
    for (const Move &move : moves) {
        for (const auto &handler : handlers) {
            if (!move.addsSubProperty && handler.first == QLatin1String("its new sub-property deleted"))
                continue;
            QTest::addRow("%s, %s, %s", kindName(move.kind), move.name, handler.first)
                << move.kind << move.typedInto << move.setUp << move.move << handler.second;
        }
    }
}

// The user typed into an editor and has not pressed Enter when the browser moves
// it into another widget, hides it or disables it: the editor commits as it loses
// the focus, and the handler of that change takes rows away. The value is
// committed once, whatever the handler does, and the browser shows what it lists.
void TstRemovalHandlers::typedValueCommittedBeforeTheBrowserMovesIt()
{
    QFETCH(int, kind);
    QFETCH(QString, typedInto);
    QFETCH(Action, setUp);
    QFETCH(Action, move);
    QFETCH(Handler, handler);
    Page page(kind);
    page.browser->show();
    QVERIFY(QTest::qWaitForWindowActive(page.browser.get()));
    setUp(page);
    QtProperty *typed = page.property(typedInto);
    QList<int> committed;
    connect(&page.ints, &QtIntPropertyManager::valueChanged, this, [&](QtProperty *p, int value) {
        if (p != typed)
            return;
        committed << value;
        handler(page, p);
    });
    QSpinBox *editor = page.focusedEditor(typedInto);
    QVERIFY(editor);
    QTRY_VERIFY(editor->hasFocus());
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("33"));

    move(page);
    QCOMPARE(committed, QList<int>{33});
    checkPage(page);
}

QTEST_MAIN(TstRemovalHandlers)
#include "tst_removalhandlers.moc"
