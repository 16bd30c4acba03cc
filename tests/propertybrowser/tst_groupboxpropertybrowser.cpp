#include "connectwarningguard.h"
#include "gridtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtgroupboxpropertybrowser.h"

#include <QSpinBox>
#include <QTest>

#include <functional>

// The group-box browser shown off-screen: grid places through a sequence of
// changes, what a row shows, and teardown.
class TstGroupBoxPropertyBrowser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void init();
    void cleanup();
    void gridPlaces_data();
    void gridPlaces();
    void clearedRows_data();
    void clearedRows();
    void rowsShowTheirProperty();
    void editorReturnsVisible();
    void editorShownWhenChildReplaced();
    void editorDestroyedFromOutside();
    void groupIsLaidOut();
    void teardown_data();
    void teardown();

private:
    QStringList grid() const { return gridOf(m_f.browser->layout()); }

    GridFixture<QtGroupBoxPropertyBrowser> m_f;
    // A (int, with an editor), B (string without editor), C (group, no value).
    QtProperty *m_a = nullptr;
    QtProperty *m_b = nullptr;
    QtProperty *m_c = nullptr;
};

namespace {

struct Scene
{
    QtGroupBoxPropertyBrowser &browser;
    QtIntPropertyManager &ints;
    QtStringPropertyManager &strings;
    QtProperty *a;
    QtProperty *b;
};
using Steps = std::function<void(Scene &)>;

} // namespace

Q_DECLARE_METATYPE(Steps)

void TstGroupBoxPropertyBrowser::init()
{
    m_f.create();
    m_a = m_f.ints->addProperty(QStringLiteral("A"));
    m_b = m_f.addString(QStringLiteral("B"), QStringLiteral("b"));
    m_c = m_f.groups->addProperty(QStringLiteral("C"));
    for (QtProperty *p : {m_a, m_b, m_c})
        m_f.browser->addProperty(p);
    m_f.browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_f.browser.get()));
}

void TstGroupBoxPropertyBrowser::cleanup() { m_f.destroy(); }

void TstGroupBoxPropertyBrowser::gridPlaces_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("places");

    // Each row runs the steps of the rows before it, then its own.
    QList<Steps> steps;
    auto row = [&](const char *name, const Steps &step, const QStringList &places) {
        steps << step;
        const QList<Steps> upTo = steps;
        QTest::newRow(name) << Steps([upTo](Scene &scene) {
            for (const Steps &s : upTo)
                s(scene);
        }) << places;
    };
    auto child = [](QtIntPropertyManager &ints, const char *name) { return ints.addProperty(QString::fromLatin1(name)); };

    // A group property without sub-properties still shows an (empty) value label.
    row("rows", [](Scene &) {},
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,1 name:B", "1,1,1,1 value:b", "2,0,1,1 name:C",
         "2,1,1,1 value:", "3,0,1,1 spacer"});
    // The editor moves into the group box on top, above a sunken line.
    row("first child under an editor", [=](Scene &s) { s.a->addSubProperty(child(s.ints, "A2")); },
        {"0,0,1,2 group:A{0,0,1,2 editor; 1,0,1,2 sunken line; 2,0,1,1 name:A2; 2,1,1,1 editor}", "1,0,1,1 name:B",
         "1,1,1,1 value:b", "2,0,1,1 name:C", "2,1,1,1 value:", "3,0,1,1 spacer"});
    // Without an editor the value label goes; the children start at row 0.
    row("first child without an editor", [=](Scene &s) { s.b->addSubProperty(child(s.ints, "B1")); },
        {"0,0,1,2 group:A{0,0,1,2 editor; 1,0,1,2 sunken line; 2,0,1,1 name:A2; 2,1,1,1 editor}",
         "1,0,1,2 group:B{0,0,1,1 name:B1; 0,1,1,1 editor}", "2,0,1,1 name:C", "2,1,1,1 value:", "3,0,1,1 spacer"});
    // Inserted first: rows from 2 move down, never the editor or the line.
    row("inserted before the first child", [=](Scene &s) { s.a->insertSubProperty(child(s.ints, "A1"), nullptr); },
        {"0,0,1,2 group:A{0,0,1,2 editor; 1,0,1,2 sunken line; 2,0,1,1 name:A1; 2,1,1,1 editor; 3,0,1,1 name:A2; "
         "3,1,1,1 editor}",
         "1,0,1,2 group:B{0,0,1,1 name:B1; 0,1,1,1 editor}", "2,0,1,1 name:C", "2,1,1,1 value:", "3,0,1,1 spacer"});
    row("a middle child removed", [](Scene &s) { delete s.a->subProperties().first(); },
        {"0,0,1,2 group:A{0,0,1,2 editor; 1,0,1,2 sunken line; 2,0,1,1 name:A2; 2,1,1,1 editor}",
         "1,0,1,2 group:B{0,0,1,1 name:B1; 0,1,1,1 editor}", "2,0,1,1 name:C", "2,1,1,1 value:", "3,0,1,1 spacer"});
    // The group box goes at once; the row stays empty until the event loop runs.
    row("last children removed", [](Scene &s) {
            delete s.a->subProperties().first();
            delete s.b->subProperties().first();
        },
        {"2,0,1,1 name:C", "2,1,1,1 value:", "3,0,1,1 spacer"});
    row("after the event loop", [](Scene &) { QCoreApplication::processEvents(); },
        {"0,0,1,1 name:A", "0,1,1,1 editor", "1,0,1,1 name:B", "1,1,1,1 value:b", "2,0,1,1 name:C",
         "2,1,1,1 value:", "3,0,1,1 spacer"});
    row("a group again", [=](Scene &s) { s.a->addSubProperty(child(s.ints, "A3")); },
        {"0,0,1,2 group:A{0,0,1,2 editor; 1,0,1,2 sunken line; 2,0,1,1 name:A3; 2,1,1,1 editor}", "1,0,1,1 name:B",
         "1,1,1,1 value:b", "2,0,1,1 name:C", "2,1,1,1 value:", "3,0,1,1 spacer"});
    row("a group removed", [](Scene &s) { s.browser.removeProperty(s.a); },
        {"0,0,1,1 name:B", "0,1,1,1 value:b", "1,0,1,1 name:C", "1,1,1,1 value:", "2,0,1,1 spacer"});
}

void TstGroupBoxPropertyBrowser::gridPlaces()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, places);
    Scene scene{*m_f.browser, *m_f.ints, *m_f.strings, m_a, m_b};
    steps(scene);
    QCOMPARE(grid(), places);
}

void TstGroupBoxPropertyBrowser::clearedRows_data()
{
    QTest::addColumn<QString>("cleared");
    QTest::addColumn<QStringList>("atOnce");
    QTest::addColumn<QStringList>("afterTheEventLoop");

    auto groupA = [](int row) {
        return QStringList{QStringLiteral("%1,0,1,2 group:A{0,0,1,2 editor; 1,0,1,2 sunken line; 2,0,1,1 name:A1; "
                                          "2,1,1,1 editor}")
                               .arg(row)};
    };
    // A group with its editor, the last row, and a group's last child: its group
    // box goes at once, its name and value come back with the event loop.
    QTest::newRow("ints") << "ints"
                          << QStringList{"0,0,1,1 name:S", "0,1,1,1 value:s", "2,0,1,1 name:C", "2,1,1,1 value:",
                                         "3,0,1,1 spacer"}
                          << QStringList{"0,0,1,1 name:S", "0,1,1,1 value:s", "1,0,1,1 name:B", "1,1,1,1 value:b",
                                         "2,0,1,1 name:C", "2,1,1,1 value:", "3,0,1,1 spacer"};
    // The first row, and a group without an editor.
    QTest::newRow("strings") << "strings"
                             << (groupA(0) + QStringList{"1,0,1,1 name:C", "1,1,1,1 value:", "2,0,1,1 name:D",
                                                         "2,1,1,1 editor", "3,0,1,1 spacer"})
                             << (groupA(0) + QStringList{"1,0,1,1 name:C", "1,1,1,1 value:", "2,0,1,1 name:D",
                                                         "2,1,1,1 editor", "3,0,1,1 spacer"});
    const QStringList groupsGone = QStringList{"0,0,1,1 name:S", "0,1,1,1 value:s"} + groupA(1)
                                   + QStringList{"2,0,1,2 group:B{0,0,1,1 name:B1; 0,1,1,1 editor}",
                                                 "3,0,1,1 name:D", "3,1,1,1 editor", "4,0,1,1 spacer"};
    QTest::newRow("groups") << "groups" << groupsGone << groupsGone;
    QTest::newRow("the browser's clear") << "browser" << QStringList{"0,0,1,1 spacer"}
                                         << QStringList{"0,0,1,1 spacer"};
}

// A clear takes its rows' widgets out of the grid together, when the last of its
// properties has gone: the rows left stand in their order at once, and nothing of
// the rows that went stays behind.
void TstGroupBoxPropertyBrowser::clearedRows()
{
    QFETCH(QString, cleared);
    QFETCH(QStringList, atOnce);
    QFETCH(QStringList, afterTheEventLoop);
    // S (string), A (int, a group holding A1), B (string, a group holding B1), C
    // (group), D (int).
    m_f.browser->insertProperty(m_f.addString(QStringLiteral("S"), QStringLiteral("s")), nullptr);
    m_a->addSubProperty(m_f.ints->addProperty(QStringLiteral("A1")));
    m_b->addSubProperty(m_f.ints->addProperty(QStringLiteral("B1")));
    m_f.browser->addProperty(m_f.ints->addProperty(QStringLiteral("D")));
    QCOMPARE(grid(), (QStringList{"0,0,1,1 name:S", "0,1,1,1 value:s",
                                  "1,0,1,2 group:A{0,0,1,2 editor; 1,0,1,2 sunken line; 2,0,1,1 name:A1; "
                                  "2,1,1,1 editor}",
                                  "2,0,1,2 group:B{0,0,1,1 name:B1; 0,1,1,1 editor}", "3,0,1,1 name:C",
                                  "3,1,1,1 value:", "4,0,1,1 name:D", "4,1,1,1 editor", "5,0,1,1 spacer"}));

    m_f.clear(cleared);
    QCOMPARE(grid(), atOnce);
    QTRY_COMPARE(grid(), afterTheEventLoop);
    QTRY_VERIFY(onlyGridWidgetsLeft(m_f.browser.get(), grid()));
}

void TstGroupBoxPropertyBrowser::rowsShowTheirProperty()
{
    m_a->setToolTip(QStringLiteral("tip"));
    m_a->setModified(true);
    m_f.ints->setValue(m_a, 5);
    auto *editor = m_f.browser->findChild<QSpinBox *>();
    auto *name = widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("A"));
    QCOMPARE(name->toolTip(), QStringLiteral("tip"));
    QVERIFY(name->font().underline());
    QCOMPARE(editor->toolTip(), QStringLiteral("5"));

    // A group's box carries the name and the look.
    m_a->addSubProperty(m_f.ints->addProperty(QStringLiteral("A1")));
    auto *box = widgetShowing<QGroupBox>(m_f.browser.get(), QStringLiteral("A"));
    QVERIFY(box);
    QCOMPARE(box->toolTip(), QStringLiteral("tip"));
    QVERIFY(box->font().underline());
    m_a->setEnabled(false);
    QVERIFY(!box->isEnabled());
    QVERIFY(!editor->isEnabled());
    m_a->setPropertyName(QStringLiteral("AA"));
    QCOMPARE(box->title(), QStringLiteral("AA"));

    // Value texts are device data, shown as they are.
    m_f.strings->setValue(m_b, QStringLiteral("1<b>2"));
    auto *value = widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("1<b>2"));
    QVERIFY(value);
    QCOMPARE(value->textFormat(), Qt::PlainText);
}

void TstGroupBoxPropertyBrowser::editorReturnsVisible()
{
    QPointer<QSpinBox> editor = m_f.browser->findChild<QSpinBox *>();
    QtProperty *child = m_f.ints->addProperty(QStringLiteral("A1"));
    m_a->addSubProperty(child);
    QTRY_VERIFY(editor->isVisible());
    delete child;
    // Waiting on the browser, hidden, not as a window of its own.
    QVERIFY(editor);
    QCOMPARE(editor->parentWidget(), m_f.browser.get());
    QVERIFY(!editor->isWindow());
    QVERIFY(!editor->isVisible());
    QTRY_VERIFY(widgetShowing<QLabel>(m_f.browser.get(), QStringLiteral("A")));
    QTRY_VERIFY(editor->isVisible());
    QCOMPARE(grid().mid(0, 2), (QStringList{"0,0,1,1 name:A", "0,1,1,1 editor"}));
}

void TstGroupBoxPropertyBrowser::editorShownWhenChildReplaced()
{
    // The last child goes and another comes before the event loop runs: the
    // editor that waited hidden goes back into the new group box, shown.
    QPointer<QSpinBox> editor = m_f.browser->findChild<QSpinBox *>();
    QtProperty *child = m_f.ints->addProperty(QStringLiteral("A1"));
    m_a->addSubProperty(child);
    QTRY_VERIFY(editor->isVisible());
    delete child;
    m_a->addSubProperty(m_f.ints->addProperty(QStringLiteral("A2")));
    QCoreApplication::processEvents();
    QVERIFY(editor);
    QCOMPARE(editor->parentWidget(), widgetShowing<QGroupBox>(m_f.browser.get(), QStringLiteral("A")));
    QCOMPARE(grid().first(),
             QStringLiteral("0,0,1,2 group:A{0,0,1,2 editor; 1,0,1,2 sunken line; 2,0,1,1 name:A2; 2,1,1,1 editor}"));
    QTRY_VERIFY(editor->isVisible());
}

// A group made while the browser is on screen lays its rows out in its box.
void TstGroupBoxPropertyBrowser::groupIsLaidOut()
{
    m_a->addSubProperty(m_f.ints->addProperty(QStringLiteral("A1")));
    auto *grid = qobject_cast<QGridLayout *>(widgetShowing<QGroupBox>(m_f.browser.get(), QStringLiteral("A"))->layout());
    // Below A's own editor and its line.
    QCOMPARE(grid->count(), 4);
    QTRY_VERIFY(laidOutSideBySide(grid->itemAtPosition(2, 0)->widget(), grid->itemAtPosition(2, 1)->widget()));
}

void TstGroupBoxPropertyBrowser::editorDestroyedFromOutside()
{
    // The line stays when the editor goes; children still start below it.
    m_a->addSubProperty(m_f.ints->addProperty(QStringLiteral("A2")));
    m_f.factory.reset();
    m_a->insertSubProperty(m_f.strings->addProperty(QStringLiteral("A1")), nullptr);
    QCOMPARE(grid().first(),
             QStringLiteral("0,0,1,2 group:A{1,0,1,2 sunken line; 2,0,1,1 name:A1; 2,1,1,1 value:; 3,0,1,1 name:A2}"));
    // Without its editor the row gets a value label back.
    for (QtProperty *sub : m_a->subProperties())
        m_a->removeSubProperty(sub);
    QTRY_COMPARE(grid().mid(0, 2), (QStringList{"0,0,1,1 name:A", "0,1,1,1 value:0"}));
}

void TstGroupBoxPropertyBrowser::teardown_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::newRow("groups") << Steps([](Scene &s) {
        QtProperty *a1 = s.ints.addProperty(QStringLiteral("A1"));
        s.a->addSubProperty(a1);
        a1->addSubProperty(s.ints.addProperty(QStringLiteral("A11")));
        s.b->addSubProperty(s.ints.addProperty(QStringLiteral("B1")));
    });
    // Its editor waits for slotUpdate, which never runs.
    QTest::newRow("before the editor came back") << Steps([](Scene &s) {
        QtProperty *a1 = s.ints.addProperty(QStringLiteral("A1"));
        s.a->addSubProperty(a1);
        delete a1;
    });
}

void TstGroupBoxPropertyBrowser::teardown()
{
    QFETCH(Steps, steps);
    Scene scene{*m_f.browser, *m_f.ints, *m_f.strings, m_a, m_b};
    steps(scene);
    m_f.checkBrowserTakesItsWidgets();
    m_f.ints->setValue(m_a, 9);
}

QTEST_MAIN(TstGroupBoxPropertyBrowser)
#include "tst_groupboxpropertybrowser.moc"
