#include "connectwarningguard.h"
#include "gridtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtbuttonpropertybrowser.h"
#include "propertybrowser/extended/qtgridrows.h"

#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <functional>
#include <tuple>

// The button browser shown off-screen: grid places through a sequence of changes,
// the expansion signals, what a row shows, and teardown.
class TstButtonPropertyBrowser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void init();
    void cleanup();
    void shiftingRows_data();
    void shiftingRows();
    void gridPlaces_data();
    void gridPlaces();
    void clearedRows_data();
    void clearedRows();
    void expansionSignals_data();
    void expansionSignals();
    void handlerClicksAnotherRow();
    void expansionHandlerChangesTheRows_data();
    void expansionHandlerChangesTheRows();
    void openPanelIsLaidOut_data();
    void openPanelIsLaidOut();
    void rowsStandInTheirOrderOnScreen();
    void rowsShowTheirProperty();
    void disabledParentLocksItsChildren();
    void valueTextIsPlainText();
    void editorDestroyedFromOutside();
    void teardown_data();
    void teardown();

private:
    QToolButton *button(const QString &name) const { return widgetShowing<QToolButton>(m_f.browser.get(), name); }
    QtBrowserItem *item(QtProperty *property) const;
    QStringList grid() const { return gridOf(m_f.browser->layout()); }

    GridFixture<QtButtonPropertyBrowser> m_f;
    // A (int, with an editor), B (group, no value), C (string, no editor: value label).
    QtProperty *m_a = nullptr;
    QtProperty *m_b = nullptr;
    QtProperty *m_c = nullptr;
};

namespace {

using Steps = std::function<void(QtButtonPropertyBrowser &, QtProperty *b, QtIntPropertyManager &,
                                 QtStringPropertyManager &)>;

} // namespace

Q_DECLARE_METATYPE(Steps)

void TstButtonPropertyBrowser::init()
{
    m_f.create();
    m_a = m_f.ints->addProperty(QStringLiteral("A"));
    m_b = m_f.groups->addProperty(QStringLiteral("B"));
    m_c = m_f.addString(QStringLiteral("C"), QStringLiteral("c"));
    for (QtProperty *p : {m_a, m_b, m_c})
        m_f.browser->addProperty(p);
    m_f.browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_f.browser.get()));
}

void TstButtonPropertyBrowser::cleanup() { m_f.destroy(); }

QtBrowserItem *TstButtonPropertyBrowser::item(QtProperty *property) const
{
    QList<QtBrowserItem *> pending = m_f.browser->topLevelItems();
    while (!pending.isEmpty()) {
        QtBrowserItem *candidate = pending.takeFirst();
        if (candidate->property() == property)
            return candidate;
        pending << candidate->children();
    }
    return nullptr;
}

void TstButtonPropertyBrowser::shiftingRows_data()
{
    QTest::addColumn<bool>("down");
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("places");

    // Labels a, b, c in rows 0, 1, 3 (c spans two columns), so a row moves with its spans.
    QTest::newRow("down from 1") << true << 1
                                 << QStringList{"0,0,1,1 name:a", "2,0,1,1 name:b", "4,0,1,2 name:c"};
    QTest::newRow("down from 0") << true << 0
                                 << QStringList{"1,0,1,1 name:a", "2,0,1,1 name:b", "4,0,1,2 name:c"};
    QTest::newRow("down below all") << true << 4
                                    << QStringList{"0,0,1,1 name:a", "1,0,1,1 name:b", "3,0,1,2 name:c"};
    QTest::newRow("up from 2") << false << 2 << QStringList{"0,0,1,1 name:a", "1,0,1,1 name:b", "2,0,1,2 name:c"};
    QTest::newRow("up keeps the row itself") << false << 1
                                             << QStringList{"0,0,1,1 name:a", "1,0,1,1 name:b", "2,0,1,2 name:c"};
}

void TstButtonPropertyBrowser::shiftingRows()
{
    QFETCH(bool, down);
    QFETCH(int, row);
    QFETCH(QStringList, places);

    QWidget holder;
    auto *layout = new QGridLayout(&holder);
    for (const auto &[text, r, span] : {std::make_tuple("a", 0, 1), std::make_tuple("b", 1, 1),
                                        std::make_tuple("c", 3, 2)}) {
        auto *label = new QLabel(QString::fromLatin1(text));
        label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        layout->addWidget(label, r, 0, 1, span);
    }
    if (down)
        shiftRowsDown(layout, row);
    else
        shiftRowsUp(layout, row);
    QCOMPARE(gridOf(layout), places);
}

void TstButtonPropertyBrowser::gridPlaces_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("places");

    // Each row runs the steps of the rows before it, then its own.
    QList<Steps> steps;
    auto row = [&](const char *name, const Steps &step, const QStringList &places) {
        steps << step;
        const QList<Steps> upTo = steps;
        QTest::newRow(name) << Steps([upTo](QtButtonPropertyBrowser &browser, QtProperty *b,
                                            QtIntPropertyManager &ints, QtStringPropertyManager &strings) {
            for (const Steps &s : upTo)
                s(browser, b, ints, strings);
        }) << places;
    };
    auto expandB = [](QtButtonPropertyBrowser &browser, QtProperty *b) {
        browser.setExpanded(browser.topLevelItem(b), true);
    };

    row("rows", [](auto &, auto *, auto &, auto &) {},
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,2 name:B", "2,0,1,1 name:C", "2,1,1,1 value:c",
         "3,0,1,1 spacer"});
    // The button takes the name label's place and span; the panel is not placed.
    row("first child", [](auto &, QtProperty *b, QtIntPropertyManager &ints, auto &) {
            b->addSubProperty(ints.addProperty(QStringLiteral("B1")));
        },
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,2 button:B unchecked v", "2,0,1,1 name:C", "2,1,1,1 value:c",
         "3,0,1,1 spacer"});
    row("expanded", [=](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) { expandB(browser, b); },
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,2 button:B checked ^",
         "2,0,1,2 panel{0,0,1,1 name:B1; 0,1,1,1 editor}", "3,0,1,1 name:C", "3,1,1,1 value:c", "4,0,1,1 spacer"});
    row("collapsed", [](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) {
            browser.setExpanded(browser.topLevelItem(b), false);
        },
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,2 button:B unchecked v", "2,0,1,1 name:C", "2,1,1,1 value:c",
         "3,0,1,1 spacer"});
    // Button and panel go at once; the name comes back with the event loop.
    row("last child of an open row removed", [=](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) {
            expandB(browser, b);
            delete b->subProperties().first();
        },
        {"0,0,1,1 name:A", "0,1,1,1 editor", "2,0,1,1 name:C", "2,1,1,1 value:c", "3,0,1,1 spacer"});
    row("after the event loop", [](auto &, auto *, auto &, auto &) { QCoreApplication::processEvents(); },
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,2 name:B", "2,0,1,1 name:C", "2,1,1,1 value:c",
         "3,0,1,1 spacer"});
    // A new panel starts closed, and later rows count it so.
    row("children again", [](QtButtonPropertyBrowser &browser, QtProperty *b, QtIntPropertyManager &ints,
                             QtStringPropertyManager &strings) {
            b->addSubProperty(ints.addProperty(QStringLiteral("B2")));
            QtProperty *d = strings.addProperty(QStringLiteral("D"));
            strings.setValue(d, QStringLiteral("d"));
            browser.addProperty(d);
        },
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,2 button:B unchecked v", "2,0,1,1 name:C", "2,1,1,1 value:c",
         "3,0,1,1 name:D", "3,1,1,1 value:d", "4,0,1,1 spacer"});
    row("then clicked", [](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) {
            QTest::mouseClick(widgetShowing<QToolButton>(&browser, b->propertyName()), Qt::LeftButton);
        },
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,2 button:B checked ^",
         "2,0,1,2 panel{0,0,1,1 name:B2; 0,1,1,1 editor}", "3,0,1,1 name:C", "3,1,1,1 value:c", "4,0,1,1 name:D",
         "4,1,1,1 value:d", "5,0,1,1 spacer"});
    row("first row removed", [](QtButtonPropertyBrowser &browser, auto *, auto &, auto &) {
            browser.removeProperty(browser.properties().first());
        },
        {"0,0,1,2 button:B checked ^", "1,0,1,2 panel{0,0,1,1 name:B2; 0,1,1,1 editor}", "2,0,1,1 name:C",
         "2,1,1,1 value:c", "3,0,1,1 name:D", "3,1,1,1 value:d", "4,0,1,1 spacer"});
    row("open row removed", [](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) {
            browser.removeProperty(b);
        },
        {"0,0,1,1 name:C", "0,1,1,1 value:c", "1,0,1,1 name:D", "1,1,1,1 value:d", "2,0,1,1 spacer"});
}

void TstButtonPropertyBrowser::gridPlaces()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, places);
    steps(*m_f.browser, m_b, *m_f.ints, *m_f.strings);
    QCOMPARE(grid(), places);
}

void TstButtonPropertyBrowser::clearedRows_data()
{
    QTest::addColumn<QString>("cleared");
    QTest::addColumn<QStringList>("atOnce");
    QTest::addColumn<QStringList>("afterTheEventLoop");

    // Every other row, and an open row's last child: its button and panel go at
    // once, its name comes back with the event loop.
    const QStringList intsGone{"0,0,1,1 name:S", "0,1,1,1 value:s", "2,0,1,1 name:C", "2,1,1,1 value:c",
                               "3,0,1,1 name:E", "3,1,1,1 value:e", "4,0,1,1 spacer"};
    QTest::newRow("ints") << "ints" << intsGone
                          << QStringList{"0,0,1,1 name:S", "0,1,1,1 value:s", "1,0,1,2 name:B", "2,0,1,1 name:C",
                                         "2,1,1,1 value:c", "3,0,1,1 name:E", "3,1,1,1 value:e", "4,0,1,1 spacer"};
    // The first, a middle and the last row.
    const QStringList stringsGone{"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,2 button:B checked ^",
                                  "2,0,1,2 panel{0,0,1,1 name:B1; 0,1,1,1 editor}", "3,0,1,1 name:D",
                                  "3,1,1,1 editor", "4,0,1,1 spacer"};
    QTest::newRow("strings") << "strings" << stringsGone << stringsGone;
    // An open row with its panel.
    const QStringList groupsGone{"0,0,1,1 name:S", "0,1,1,1 value:s", "1,0,1,1 name:A", "1,1,1,1 editor",
                                 "2,0,1,1 name:C", "2,1,1,1 value:c", "3,0,1,1 name:D", "3,1,1,1 editor",
                                 "4,0,1,1 name:E", "4,1,1,1 value:e", "5,0,1,1 spacer"};
    QTest::newRow("groups") << "groups" << groupsGone << groupsGone;
    QTest::newRow("the browser's clear") << "browser" << QStringList{"0,0,1,1 spacer"}
                                         << QStringList{"0,0,1,1 spacer"};
}

// A clear takes its rows' widgets out of the grid together, when the last of its
// properties has gone: the rows left stand in their order at once, and nothing of
// the rows that went stays behind.
void TstButtonPropertyBrowser::clearedRows()
{
    QFETCH(QString, cleared);
    QFETCH(QStringList, atOnce);
    QFETCH(QStringList, afterTheEventLoop);
    m_f.browser->insertProperty(m_f.addString(QStringLiteral("S"), QStringLiteral("s")), nullptr);
    m_b->addSubProperty(m_f.ints->addProperty(QStringLiteral("B1")));
    m_f.browser->setExpanded(m_f.browser->topLevelItem(m_b), true);
    m_f.browser->addProperty(m_f.ints->addProperty(QStringLiteral("D")));
    m_f.browser->addProperty(m_f.addString(QStringLiteral("E"), QStringLiteral("e")));
    QCOMPARE(grid(), (QStringList{"0,0,1,1 name:S", "0,1,1,1 value:s", "1,0,1,1 name:A", "1,1,1,1 editor",
                                  "2,0,1,2 button:B checked ^", "3,0,1,2 panel{0,0,1,1 name:B1; 0,1,1,1 editor}",
                                  "4,0,1,1 name:C", "4,1,1,1 value:c", "5,0,1,1 name:D", "5,1,1,1 editor",
                                  "6,0,1,1 name:E", "6,1,1,1 value:e", "7,0,1,1 spacer"}));

    m_f.clear(cleared);
    QCOMPARE(grid(), atOnce);
    QTRY_COMPARE(grid(), afterTheEventLoop);
    QTRY_VERIFY(onlyGridWidgetsLeft(m_f.browser.get(), grid()));
}

void TstButtonPropertyBrowser::expansionSignals_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("signalsEmitted");

    auto set = [](bool open) {
        return [open](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) {
            browser.setExpanded(browser.topLevelItem(b), open);
        };
    };
    auto click = [](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) {
        QTest::mouseClick(widgetShowing<QToolButton>(&browser, b->propertyName()), Qt::LeftButton);
    };
    auto twice = [](const Steps &first, const Steps &second) -> Steps {
        return [=](QtButtonPropertyBrowser &browser, QtProperty *b, QtIntPropertyManager &ints,
                   QtStringPropertyManager &strings) {
            first(browser, b, ints, strings);
            second(browser, b, ints, strings);
        };
    };
    QTest::newRow("open") << Steps(set(true)) << QStringList{"expanded(B)"};
    QTest::newRow("open twice") << twice(set(true), set(true)) << QStringList{"expanded(B)"};
    QTest::newRow("close a closed row") << Steps(set(false)) << QStringList();
    QTest::newRow("open, close") << twice(set(true), set(false)) << QStringList{"expanded(B)", "collapsed(B)"};
    QTest::newRow("click") << Steps(click) << QStringList{"expanded(B)"};
    QTest::newRow("click twice") << twice(click, click) << QStringList{"expanded(B)", "collapsed(B)"};
    QTest::newRow("leaf") << Steps([](QtButtonPropertyBrowser &browser, auto *, auto &, auto &) {
        browser.setExpanded(browser.topLevelItems().first(), true);
    }) << QStringList();
}

void TstButtonPropertyBrowser::expansionSignals()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, signalsEmitted);

    m_b->addSubProperty(m_f.ints->addProperty(QStringLiteral("B1")));
    SignalLog log{m_f.browser.get()};
    steps(*m_f.browser, m_b, *m_f.ints, *m_f.strings);
    QCOMPARE(log.entries(), signalsEmitted);
    const bool open = signalsEmitted.size() == 1;
    QCOMPARE(m_f.browser->isExpanded(m_f.browser->topLevelItem(m_b)), open);
    QCOMPARE(button(QStringLiteral("B"))->isChecked(), open);
    QCOMPARE(widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("B1"))->isVisible(), open);
}

// A handler of one row's signal that clicks another row's button: each signal
// names its own row, and a later click acts on the row clicked.
void TstButtonPropertyBrowser::handlerClicksAnotherRow()
{
    m_b->addSubProperty(m_f.ints->addProperty(QStringLiteral("B1")));
    QtProperty *d = m_f.ints->addProperty(QStringLiteral("D"));
    d->addSubProperty(m_f.ints->addProperty(QStringLiteral("D1")));
    m_f.browser->addProperty(d);
    SignalLog log{m_f.browser.get()};
    connect(m_f.browser.get(), &QtButtonPropertyBrowser::expanded, this, [&](QtBrowserItem *opened) {
        if (opened->property() == m_b)
            button(QStringLiteral("D"))->click();
    });

    m_f.browser->setExpanded(item(m_b), true);
    QCOMPARE(log.entries(), (QStringList{"expanded(B)", "expanded(D)"}));
    QVERIFY(m_f.browser->isExpanded(item(d)));
    QVERIFY(button(QStringLiteral("D"))->isChecked());

    m_f.browser->setExpanded(item(d), false);
    QTest::mouseClick(button(QStringLiteral("B")), Qt::LeftButton);
    QCOMPARE(log.entries(), (QStringList{"expanded(B)", "expanded(D)", "collapsed(D)", "collapsed(B)"}));
    QVERIFY(!m_f.browser->isExpanded(item(m_b)));
    QVERIFY(!m_f.browser->isExpanded(item(d)));
}

void TstButtonPropertyBrowser::expansionHandlerChangesTheRows_data()
{
    QTest::addColumn<bool>("openFirst");
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QStringList>("places");

    auto set = [](bool open) -> Steps {
        return [open](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) {
            browser.setExpanded(browser.topLevelItem(b), open);
        };
    };
    const Steps click = [](QtButtonPropertyBrowser &browser, QtProperty *b, auto &, auto &) {
        QTest::mouseClick(widgetShowing<QToolButton>(&browser, b->propertyName()), Qt::LeftButton);
    };
    const QList<std::tuple<const char *, bool, Steps>> changes{
        {"opened", false, set(true)},
        {"closed", true, set(false)},
        {"opened by a click", false, click},
        {"closed by a click", true, click},
    };
    const QStringList a{"0,0,1,1 name:A", "0,1,1,1 editor"};
    const QStringList c{"2,0,1,1 name:C", "2,1,1,1 value:c"};
    const QStringList cUp{"1,0,1,1 name:C", "1,1,1,1 value:c"};
    const QList<std::tuple<const char *, QStringList>> handlers{
        {"browser cleared", {"0,0,1,1 spacer"}},
        {"B deleted", a + cUp + QStringList{"2,0,1,1 spacer"}},
        {"B shown again", a + cUp + QStringList{"2,0,1,2 button:B unchecked v", "3,0,1,1 spacer"}},
        {"B1 deleted", a + QStringList{"1,0,1,2 name:B"} + c + QStringList{"3,0,1,1 spacer"}},
    };
    for (const auto &[change, openFirst, steps] : changes) {
        for (const auto &[handler, places] : handlers)
            QTest::addRow("%s, %s", change, handler) << openFirst << steps << QString::fromLatin1(handler) << places;
    }
}

// A handler of expanded or collapsed changes the rows, down to B's own: B's button
// is inside its own signal then, so it goes from the event loop.
void TstButtonPropertyBrowser::expansionHandlerChangesTheRows()
{
    QFETCH(bool, openFirst);
    QFETCH(Steps, steps);
    QFETCH(QString, handler);
    QFETCH(QStringList, places);
    QtProperty *b1 = m_f.ints->addProperty(QStringLiteral("B1"));
    m_b->addSubProperty(b1);
    if (openFirst)
        m_f.browser->setExpanded(item(m_b), true);
    const QPointer<QToolButton> oldButton = button(QStringLiteral("B"));
    int ran = 0;
    const auto changeRows = [&] {
        if (++ran > 1)
            return;
        if (handler == QLatin1String("browser cleared")) {
            m_f.browser->clear();
        } else if (handler == QLatin1String("B deleted")) {
            delete m_b;
            m_b = nullptr;
        } else if (handler == QLatin1String("B shown again")) {
            m_f.browser->removeProperty(m_b);
            m_f.browser->addProperty(m_b);
        } else {
            delete b1;
        }
    };
    connect(m_f.browser.get(), &QtButtonPropertyBrowser::expanded, this, changeRows);
    connect(m_f.browser.get(), &QtButtonPropertyBrowser::collapsed, this, changeRows);

    steps(*m_f.browser, m_b, *m_f.ints, *m_f.strings);
    QCOMPARE(ran, 1);
    QTRY_VERIFY(!oldButton);
    QTRY_COMPARE(grid(), places);
}

// The rows of a panel are laid out in it once it opens, whether the browser is on
// screen then or shown later.
void TstButtonPropertyBrowser::openPanelIsLaidOut_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("browser on screen") << true;
    QTest::newRow("browser shown after") << false;
}

void TstButtonPropertyBrowser::openPanelIsLaidOut()
{
    QFETCH(bool, shown);
    if (!shown)
        m_f.browser->hide();
    m_b->addSubProperty(m_f.ints->addProperty(QStringLiteral("B1")));
    m_f.browser->setExpanded(item(m_b), true);
    m_f.browser->show();
    auto *name = widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("B1"));
    auto *editor = name->parentWidget()->findChild<QSpinBox *>();
    QTRY_VERIFY(laidOutSideBySide(name, editor));
}

// Rows added, opened and removed in one batch are placed by the layout pass of the
// event loop alone: each row's name, then its open panel, top down in the order of
// the properties.
void TstButtonPropertyBrowser::rowsStandInTheirOrderOnScreen()
{
    QList<QtProperty *> added;
    for (int i = 0; i < 6; ++i) {
        QtProperty *row = m_f.groups->addProperty(QStringLiteral("R%1").arg(i));
        row->addSubProperty(m_f.ints->addProperty(QStringLiteral("R%1.1").arg(i)));
        m_f.browser->addProperty(row);
        added << row;
    }
    // From the bottom up, so that each opening moves rows that moved already.
    for (int i = 5; i >= 0; i -= 2)
        m_f.browser->setExpanded(item(added.at(i)), true);
    m_f.browser->insertProperty(m_f.addString(QStringLiteral("M"), QStringLiteral("m")), added.at(2));
    m_f.browser->removeProperty(added.at(0));

    auto topsInOrder = [&] {
        QList<int> tops;
        for (QtProperty *property : m_f.browser->properties()) {
            QWidget *name = button(property->propertyName());
            if (!name)
                name = widgetShowing<QLabel>(m_f.browser.get(), property->propertyName());
            tops << name->y();
            if (m_f.browser->isExpanded(item(property)))
                tops << widgetShowing<QLabel>(m_f.browser.get(), property->propertyName() + ".1")->parentWidget()->y();
        }
        return std::adjacent_find(tops.begin(), tops.end(), [](int above, int below) { return below <= above; })
               == tops.end();
    };
    QTRY_VERIFY(topsInOrder());
}

void TstButtonPropertyBrowser::rowsShowTheirProperty()
{
    m_a->setToolTip(QStringLiteral("tip"));
    m_a->setStatusTip(QStringLiteral("status"));
    m_a->setWhatsThis(QStringLiteral("what"));
    m_a->setModified(true);
    m_f.ints->setValue(m_a, 5);
    auto *name = widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("A"));
    auto *editor = m_f.browser->findChild<QSpinBox *>();
    QCOMPARE(name->toolTip(), QStringLiteral("tip"));
    QCOMPARE(name->statusTip(), QStringLiteral("status"));
    QCOMPARE(name->whatsThis(), QStringLiteral("what"));
    QVERIFY(name->font().underline());
    QVERIFY(!editor->font().underline());
    QCOMPARE(editor->toolTip(), QStringLiteral("5"));

    m_a->setEnabled(false);
    QVERIFY(!name->isEnabled());
    QVERIFY(!editor->isEnabled());

    // A parent's button carries the same, and keeps it when it becomes one.
    m_a->addSubProperty(m_f.ints->addProperty(QStringLiteral("A1")));
    QCOMPARE(widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("A")), nullptr);
    QToolButton *a = button(QStringLiteral("A"));
    QCOMPARE(a->toolTip(), QStringLiteral("tip"));
    QVERIFY(a->font().underline());
    QVERIFY(!a->isEnabled());
    m_a->setPropertyName(QStringLiteral("AA"));
    QCOMPARE(a->text(), QStringLiteral("AA"));
}

// As in the other browsers: the rows below a disabled property cannot be edited,
// and enabling it gives each of them its own state back.
void TstButtonPropertyBrowser::disabledParentLocksItsChildren()
{
    QtProperty *b1 = m_f.ints->addProperty(QStringLiteral("B1"));
    QtProperty *b2 = m_f.ints->addProperty(QStringLiteral("B2"));
    m_b->addSubProperty(b1);
    m_b->addSubProperty(b2);
    b2->setEnabled(false);
    m_f.browser->setExpanded(item(m_b), true);
    QWidget *panel = widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("B1"))->parentWidget();
    const QList<QSpinBox *> editors = panel->findChildren<QSpinBox *>();
    QCOMPARE(editors.size(), 2);

    m_b->setEnabled(false);
    QVERIFY(!editors.at(0)->isEnabled());
    QTest::keyClick(editors.at(0), Qt::Key_Up);
    QCOMPARE(m_f.ints->value(b1), 0);

    m_b->setEnabled(true);
    QVERIFY(editors.at(0)->isEnabled());
    QVERIFY(!editors.at(1)->isEnabled());
    QTest::keyClick(editors.at(0), Qt::Key_Up);
    QCOMPARE(m_f.ints->value(b1), 1);
}

void TstButtonPropertyBrowser::valueTextIsPlainText()
{
    m_f.strings->setValue(m_c, QStringLiteral("1<b>2"));
    auto *value = widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("1<b>2"));
    QVERIFY(value);
    QCOMPARE(value->textFormat(), Qt::PlainText);
    QCOMPARE(value->toolTip(), QStringLiteral("1<b>2"));
}

void TstButtonPropertyBrowser::editorDestroyedFromOutside()
{
    // The factory takes its editors along; the rows forget them and go on.
    m_b->addSubProperty(m_f.ints->addProperty(QStringLiteral("B1")));
    m_f.factory.reset();
    QCOMPARE(m_f.browser->findChild<QSpinBox *>(), nullptr);
    m_f.ints->setValue(m_a, 3);
    m_f.browser->setExpanded(m_f.browser->topLevelItem(m_b), true);
    m_f.browser->removeProperty(m_a);
    m_f.browser->removeProperty(m_b);
    QCOMPARE(grid(), (QStringList{"0,0,1,1 name:C", "0,1,1,1 value:c", "1,0,1,1 spacer"}));
}

void TstButtonPropertyBrowser::teardown_data()
{
    QTest::addColumn<Steps>("steps");

    // Every widget of the browser is below it, so it goes with the browser.
    QTest::newRow("panel never opened") << Steps([](auto &, QtProperty *b, QtIntPropertyManager &ints, auto &) {
        QtProperty *b1 = ints.addProperty(QStringLiteral("B1"));
        b->addSubProperty(b1);
        b1->addSubProperty(ints.addProperty(QStringLiteral("B11")));
    });
    QTest::newRow("open panels") << Steps([](QtButtonPropertyBrowser &browser, QtProperty *b,
                                             QtIntPropertyManager &ints, auto &) {
        QtProperty *b1 = ints.addProperty(QStringLiteral("B1"));
        b->addSubProperty(b1);
        b1->addSubProperty(ints.addProperty(QStringLiteral("B11")));
        browser.setExpanded(browser.topLevelItem(b), true);
        browser.setExpanded(browser.topLevelItem(b)->children().first(), true);
    });
    QTest::newRow("before the name came back") << Steps([](auto &, QtProperty *b, QtIntPropertyManager &ints,
                                                            auto &) {
        QtProperty *b1 = ints.addProperty(QStringLiteral("B1"));
        b->addSubProperty(b1);
        delete b1;
    });
}

void TstButtonPropertyBrowser::teardown()
{
    QFETCH(Steps, steps);
    steps(*m_f.browser, m_b, *m_f.ints, *m_f.strings);
    m_f.checkBrowserTakesItsWidgets();
    // The managers go on without the browser.
    m_f.ints->setValue(m_a, 9);
}

QTEST_MAIN(TstButtonPropertyBrowser)
#include "tst_buttonpropertybrowser.moc"
