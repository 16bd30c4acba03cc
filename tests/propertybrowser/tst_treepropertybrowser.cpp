#include "connectwarningguard.h"
#include "propertysample.h"
#include "signallog.h"

#include <QHeaderView>
#include <QPointer>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QTreeWidget>
#include <QTest>

#include <memory>
#include <utility>

// The tree browser with the sample page (three groups), shown off-screen and driven
// by real mouse and key events.
class TstTreePropertyBrowser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void init();
    void cleanup();

    void headersAndColumnTexts();
    void newRows();
    void rowsStandInPropertyOrder_data();
    void rowsStandInPropertyOrder();
    void groupRowsSpanTheirFirstColumn();
    void expansionIsReported();
    void rowsWithoutValueMarked();
    void checkStatesFollowClicks();
    void disablingClosesEditorsBelow();
    void emptyToolTipGivesWayToTheDisplayText();
    void unknownResizeModeStretches();
    void parentColourPaintsDescendants();
    void removingTheCurrentRowLeavesNone();
    void removedBranchesGoWhole();
    void clearedRowsGoInRuns_data();
    void clearedRowsGoInRuns();
    void clearKeepsTheRowsThatStay_data();
    void clearKeepsTheRowsThatStay();
    void clickDuringAClear_data();
    void clickDuringAClear();
    void spaceOpensTheValueEditor();
    void typedValueReachesManagerAndRow_data();
    void typedValueReachesManagerAndRow();
    void escapeCancelsTheIntegerEditor_data();
    void escapeCancelsTheIntegerEditor();
    void disabledEditorLosesTheFocus_data();
    void disabledEditorLosesTheFocus();
    void rowTakenAwayWhileItsEditorIsMade_data();
    void rowTakenAwayWhileItsEditorIsMade();
    void teardownWithAnOpenEditor_data();
    void teardownWithAnOpenEditor();

private:
    QTreeWidgetItem *row(const QString &name) const;
    // The names of all rows, top down.
    QStringList rowNames() const;
    QtBrowserItem *item(const QString &name) const;
    QtProperty *property(const QString &name) const { return item(name)->property(); }
    QPoint checkIndicator(const QString &name) const;
    QPoint valueCell(const QString &name) const;
    QWidget *openEditor() const;
    Qt::CheckState state(const QString &name) const { return row(name)->checkState(0); }

    std::unique_ptr<QtTreePropertyBrowser> m_browser;
    std::unique_ptr<PropertySample> m_sample;
    QTreeWidget *m_view = nullptr;
};

void TstTreePropertyBrowser::init()
{
    m_browser = std::make_unique<QtTreePropertyBrowser>();
    m_browser->resize(800, 1400);
    m_sample = std::make_unique<PropertySample>(m_browser.get());
    m_sample->fill(3);
    m_view = m_browser->findChild<QTreeWidget *>();
    QVERIFY(m_view);
    m_browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_browser.get()));
}

void TstTreePropertyBrowser::cleanup()
{
    m_browser.reset();
    m_sample.reset();
}

QTreeWidgetItem *TstTreePropertyBrowser::row(const QString &name) const
{
    const QList<QTreeWidgetItem *> found = m_view->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.value(0);
}

QStringList TstTreePropertyBrowser::rowNames() const
{
    QStringList names;
    for (QTreeWidgetItemIterator it(m_view); *it; ++it)
        names << (*it)->text(0);
    return names;
}

QtBrowserItem *TstTreePropertyBrowser::item(const QString &name) const
{
    QList<QtBrowserItem *> pending = m_browser->topLevelItems();
    while (!pending.isEmpty()) {
        QtBrowserItem *candidate = pending.takeFirst();
        if (candidate->property()->propertyName() == name)
            return candidate;
        pending << candidate->children();
    }
    return nullptr;
}

// Where the item delegate draws a row's check box: at the left of its first cell,
// right of the branch lines. (For a spanning row visualItemRect starts at the
// branch lines, so the cell's left is taken from the row's depth.)
QPoint TstTreePropertyBrowser::checkIndicator(const QString &name) const
{
    QTreeWidgetItem *r = row(name);
    int depth = 0;
    for (QTreeWidgetItem *p = r->parent(); p; p = p->parent())
        ++depth;
    QRect cell = m_view->visualItemRect(r);
    cell.setLeft(m_view->indentation() * (depth + 1));
    QStyleOptionButton option;
    option.initFrom(m_view);
    QStyle *style = m_view->style();
    const QSize box = style->subElementRect(QStyle::SE_CheckBoxIndicator, &option, m_view).size();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1;
    return QPoint(cell.left() + margin + box.width() / 2, cell.center().y());
}

QPoint TstTreePropertyBrowser::valueCell(const QString &name) const
{
    const QRect cell = m_view->visualItemRect(row(name));
    return QPoint(m_view->header()->sectionViewportPosition(1) + 20, cell.center().y());
}

// The open editor: the one visible widget the view put on its viewport.
QWidget *TstTreePropertyBrowser::openEditor() const
{
    QWidget *open = nullptr;
    const auto children = m_view->viewport()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child->isVisible())
            open = child;
    }
    return open;
}

void TstTreePropertyBrowser::headersAndColumnTexts()
{
    QTreeWidgetItem *header = m_view->headerItem();
    QCOMPARE(m_view->columnCount(), 4);
    QCOMPARE(header->text(0), QStringLiteral("Параметр"));
    QCOMPARE(header->text(1), QStringLiteral("Значение"));
    QCOMPARE(header->text(2), QStringLiteral("Ед. изм"));
    QCOMPARE(header->text(3), QStringLiteral("Описание"));

    QTreeWidgetItem *value = row(QStringLiteral("P1.7"));
    QCOMPARE(value->text(2), QStringLiteral("ед2"));
    QCOMPARE(value->text(3), QStringLiteral("Описание P1.7"));
    QCOMPARE(value->text(1), property(QStringLiteral("P1.7"))->valueText());

    QtTreePropertyBrowser fresh;
    QCOMPARE(fresh.findChild<QTreeWidget *>()->columnCount(), 2);
}

void TstTreePropertyBrowser::newRows()
{
    int rows = 0;
    for (QTreeWidgetItemIterator it(m_view); *it; ++it, ++rows) {
        QTreeWidgetItem *r = *it;
        QVERIFY2(r->isExpanded(), qPrintable(r->text(0)));
        QCOMPARE(r->checkState(0), Qt::Unchecked);
        QVERIFY(!(r->flags() & Qt::ItemIsSelectable));
        // The second group is disabled, with everything below it.
        const bool inDisabledBranch = r->text(0).startsWith(QLatin1String("P1.")) || r->text(0) == "Группа 1";
        QCOMPARE(bool(r->flags() & Qt::ItemIsEnabled), !inDisabledBranch);
    }
    QCOMPARE(rows, 3 * (PropertySample::kValuesPerGroup + 1));
    // Nested three deep below a group.
    QCOMPARE(row(QStringLiteral("P0.5"))->parent(), row(QStringLiteral("P0.4")));
    QCOMPARE(row(QStringLiteral("P0.4"))->parent(), row(QStringLiteral("P0.3")));
    QCOMPARE(row(QStringLiteral("P0.3"))->parent(), row(QStringLiteral("Группа 0")));
}

// A new row goes where its property went: first, after the row it follows,
// or last (appended without a search), at the top and under a parent.
void TstTreePropertyBrowser::rowsStandInPropertyOrder_data()
{
    QTest::addColumn<bool>("topLevel");
    QTest::addColumn<int>("after"); // the row N follows, -1 for none
    QTest::addColumn<QStringList>("names");
    for (const bool top : {true, false}) {
        const QByteArray where = top ? "top level, " : "under a parent, ";
        QTest::newRow(where + "first") << top << -1 << QStringList{"N", "A", "B", "C"};
        QTest::newRow(where + "after the first") << top << 0 << QStringList{"A", "N", "B", "C"};
        QTest::newRow(where + "last") << top << 2 << QStringList{"A", "B", "C", "N"};
    }
}

void TstTreePropertyBrowser::rowsStandInPropertyOrder()
{
    QFETCH(bool, topLevel);
    QFETCH(int, after);
    QFETCH(QStringList, names);
    QtStringPropertyManager manager;
    QtTreePropertyBrowser browser;
    auto *view = browser.findChild<QTreeWidget *>();
    QtProperty *parent = manager.addProperty(QStringLiteral("parent"));
    if (!topLevel)
        browser.addProperty(parent);
    QList<QtProperty *> existing;
    for (const char *name : {"A", "B", "C"}) {
        existing << manager.addProperty(QLatin1String(name));
        if (topLevel)
            browser.addProperty(existing.last());
        else
            parent->addSubProperty(existing.last());
    }
    QtProperty *added = manager.addProperty(QStringLiteral("N"));
    QtProperty *afterProperty = after < 0 ? nullptr : existing[after];
    if (topLevel)
        browser.insertProperty(added, afterProperty);
    else
        parent->insertSubProperty(added, afterProperty);

    QStringList rows;
    QTreeWidgetItem *parentRow = topLevel ? view->invisibleRootItem() : view->topLevelItem(0);
    for (int i = 0; i < parentRow->childCount(); ++i)
        rows << parentRow->child(i)->text(0);
    QCOMPARE(rows, names);
}

void TstTreePropertyBrowser::groupRowsSpanTheirFirstColumn()
{
    QTRY_VERIFY(row(QStringLiteral("Группа 0"))->isFirstColumnSpanned());
    QVERIFY(row(QStringLiteral("Группа 2"))->isFirstColumnSpanned());
    QVERIFY(!row(QStringLiteral("P0.0"))->isFirstColumnSpanned());

    // A group added later spans as well.
    QtProperty *late = m_sample->groupManager.addProperty(QStringLiteral("Поздняя"));
    m_browser->addProperty(late);
    QTRY_VERIFY(row(QStringLiteral("Поздняя"))->isFirstColumnSpanned());
}

void TstTreePropertyBrowser::expansionIsReported()
{
    QtBrowserItem *chain = item(QStringLiteral("P0.3"));
    QVERIFY(m_browser->isExpanded(chain));
    QList<QtBrowserItem *> collapsed;
    QList<QtBrowserItem *> expanded;
    connect(m_browser.get(), &QtTreePropertyBrowser::collapsed, this, [&](QtBrowserItem *i) { collapsed << i; });
    connect(m_browser.get(), &QtTreePropertyBrowser::expanded, this, [&](QtBrowserItem *i) { expanded << i; });
    m_browser->setExpanded(chain, false);
    QVERIFY(!m_browser->isExpanded(chain));
    QVERIFY(!row(QStringLiteral("P0.3"))->isExpanded());
    m_browser->setExpanded(chain, true);
    QCOMPARE(collapsed, QList<QtBrowserItem *>{chain});
    QCOMPARE(expanded, QList<QtBrowserItem *>{chain});
}

void TstTreePropertyBrowser::rowsWithoutValueMarked()
{
    const QString group = QStringLiteral("Группа 0");
    m_browser->setRootIsDecorated(false);
    QVERIFY(row(group)->icon(0).isNull());
    m_browser->setPropertiesWithoutValueMarked(true);
    QVERIFY(!row(group)->icon(0).isNull());
    QVERIFY(row(QStringLiteral("P0.0"))->icon(0).isNull());

    // Drawn dark, the text bright.
    const QRect cell = m_view->visualItemRect(row(group));
    const QImage image = m_view->viewport()->grab().toImage();
    QCOMPARE(image.pixel(cell.right() - 4, cell.center().y()), m_view->palette().color(QPalette::Dark).rgb());

    // A press left of the name toggles the group.
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, QPoint(8, cell.center().y()));
    QVERIFY(!row(group)->isExpanded());
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, QPoint(8, cell.center().y()));
    QVERIFY(row(group)->isExpanded());

    m_browser->setRootIsDecorated(true);
    QVERIFY(row(group)->icon(0).isNull());
}

void TstTreePropertyBrowser::checkStatesFollowClicks()
{
    auto click = [this](const QPoint &at) { QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, at); };

    // The last child checked checks its parent, and only its parent.
    click(checkIndicator(QStringLiteral("P0.5")));
    QCOMPARE(state(QStringLiteral("P0.5")), Qt::Checked);
    QCOMPARE(state(QStringLiteral("P0.4")), Qt::Checked);
    QCOMPARE(state(QStringLiteral("P0.3")), Qt::Unchecked);

    // A parent passes its state to its whole sub-tree.
    click(checkIndicator(QStringLiteral("Группа 0")));
    QCOMPARE(state(QStringLiteral("Группа 0")), Qt::Checked);
    for (const char *name : {"P0.0", "P0.3", "P0.4", "P0.5", "P0.18"})
        QCOMPARE(state(QString::fromLatin1(name)), Qt::Checked);

    // One child unchecked: the parent is partially checked.
    click(checkIndicator(QStringLiteral("P0.0")));
    QCOMPARE(state(QStringLiteral("P0.0")), Qt::Unchecked);
    QCOMPARE(state(QStringLiteral("Группа 0")), Qt::PartiallyChecked);

    // A click on the partial parent's name changes nothing below it.
    click(checkIndicator(QStringLiteral("Группа 0")) + QPoint(60, 0));
    QCOMPARE(state(QStringLiteral("Группа 0")), Qt::PartiallyChecked);
    QCOMPARE(state(QStringLiteral("P0.0")), Qt::Unchecked);
    QCOMPARE(state(QStringLiteral("P0.6")), Qt::Checked);

    // A click on its indicator checks it and everything below.
    click(checkIndicator(QStringLiteral("Группа 0")));
    QCOMPARE(state(QStringLiteral("Группа 0")), Qt::Checked);
    QCOMPARE(state(QStringLiteral("P0.0")), Qt::Checked);
    QCOMPARE(m_browser->checkState(item(QStringLiteral("P0.0"))), int(Qt::Checked));

    // States set by the program are not propagated.
    m_browser->setCheckState(item(QStringLiteral("P0.4")), Qt::Unchecked);
    QCOMPARE(state(QStringLiteral("P0.5")), Qt::Checked);
    QCOMPARE(state(QStringLiteral("P0.3")), Qt::Checked);
}

void TstTreePropertyBrowser::disablingClosesEditorsBelow()
{
    QtProperty *group = m_sample->groups.at(0);
    m_browser->editItem(item(QStringLiteral("P0.4")));
    QPointer<QWidget> editor = openEditor();
    QVERIFY(editor);

    group->setEnabled(false);
    QTRY_VERIFY(!editor);
    for (const char *name : {"Группа 0", "P0.0", "P0.4", "P0.5"})
        QVERIFY(!(row(QString::fromUtf8(name))->flags() & Qt::ItemIsEnabled));
    // A disabled row opens no editor.
    m_browser->editItem(item(QStringLiteral("P0.5")));
    QCOMPARE(openEditor(), nullptr);

    property(QStringLiteral("P0.3"))->setEnabled(false);
    group->setEnabled(true);
    QVERIFY(row(QStringLiteral("Группа 0"))->flags() & Qt::ItemIsEnabled);
    QVERIFY(row(QStringLiteral("P0.0"))->flags() & Qt::ItemIsEnabled);
    for (const char *name : {"P0.3", "P0.4", "P0.5"})
        QVERIFY(!(row(QString::fromLatin1(name))->flags() & Qt::ItemIsEnabled));
}

void TstTreePropertyBrowser::emptyToolTipGivesWayToTheDisplayText()
{
    QtProperty *text = property(QStringLiteral("P0.2"));
    QVERIFY(text->toolTip().isEmpty());
    QCOMPARE(row(QStringLiteral("P0.2"))->toolTip(1), text->displayText());
    QCOMPARE(row(QStringLiteral("P0.2"))->toolTip(0), QStringLiteral("P0.2"));
    QCOMPARE(row(QStringLiteral("P0.0"))->toolTip(1), QStringLiteral("Подсказка к P0.0"));

    m_sample->stringManager.setEchoMode(text, QLineEdit::Password);
    QCOMPARE(row(QStringLiteral("P0.2"))->toolTip(1), text->displayText());
    QVERIFY(!row(QStringLiteral("P0.2"))->toolTip(1).contains(QLatin1String("текст")));
}

void TstTreePropertyBrowser::unknownResizeModeStretches()
{
    m_browser->setResizeMode(QtTreePropertyBrowser::Interactive);
    QCOMPARE(m_view->header()->sectionResizeMode(1), QHeaderView::Interactive);
    m_browser->setResizeMode(static_cast<QtTreePropertyBrowser::ResizeMode>(7));
    QCOMPARE(int(m_browser->resizeMode()), 7);
    for (int column = 0; column < m_view->columnCount(); ++column)
        QCOMPARE(m_view->header()->sectionResizeMode(column), QHeaderView::Stretch);
}

void TstTreePropertyBrowser::parentColourPaintsDescendants()
{
    const QColor colour = PropertySample::branchColour();
    auto pixelAt = [this](const QString &name) {
        const QRect cell = m_view->visualItemRect(row(name));
        const int x = m_view->header()->sectionViewportPosition(1) + m_view->header()->sectionSize(1) - 8;
        return m_view->viewport()->grab().toImage().pixel(x, cell.center().y());
    };
    // Alternate rows are drawn lighter.
    auto coloured = [&](QRgb pixel) { return pixel == colour.rgb() || pixel == colour.lighter(112).rgb(); };

    QtBrowserItem *group = m_browser->topLevelItem(m_sample->colouredGroup);
    QCOMPARE(m_browser->backgroundColor(group), colour);
    QCOMPARE(m_browser->inheritedBackgroundColor(item(QStringLiteral("P2.5"))), colour);
    QCOMPARE(m_browser->backgroundColor(item(QStringLiteral("P2.5"))), QColor());
    for (const char *name : {"P2.0", "P2.1", "P2.5"})
        QVERIFY2(coloured(pixelAt(QString::fromLatin1(name))), name);
    QVERIFY(!coloured(pixelAt(QStringLiteral("P0.1"))));

    // A child's own colour wins below it.
    m_browser->setBackgroundColor(item(QStringLiteral("P2.4")), Qt::cyan);
    QCOMPARE(m_browser->inheritedBackgroundColor(item(QStringLiteral("P2.5"))), QColor(Qt::cyan));

    m_browser->setBackgroundColor(group, QColor());
    QCOMPARE(m_browser->backgroundColor(group), QColor());
    QVERIFY(!coloured(pixelAt(QStringLiteral("P2.1"))));
}

void TstTreePropertyBrowser::removingTheCurrentRowLeavesNone()
{
    QtBrowserItem *current = item(QStringLiteral("P0.2"));
    m_browser->setCurrentItem(current);
    QCOMPARE(m_view->currentItem(), row(QStringLiteral("P0.2")));

    m_sample->groups.at(0)->removeSubProperty(current->property());
    QCOMPARE(m_view->currentItem(), nullptr);
    QCOMPARE(m_browser->currentItem(), nullptr);
    QCOMPARE(row(QStringLiteral("P0.2")), nullptr);

    // A click makes a row current in the browser too.
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, checkIndicator(QStringLiteral("P0.6")) + QPoint(60, 0));
    QCOMPARE(m_browser->currentItem(), item(QStringLiteral("P0.6")));
}

// A row goes with everything below it and nothing else, whether a leaf, a branch
// or a whole manager goes, and whatever row was current.
void TstTreePropertyBrowser::removedBranchesGoWhole()
{
    QStringList rows = rowNames();
    auto gone = [&rows](const QStringList &names) {
        for (const QString &name : names)
            rows.removeAll(name);
        return rows;
    };
    property(QStringLiteral("P0.4"))->removeSubProperty(property(QStringLiteral("P0.5")));
    QCOMPARE(rowNames(), gone({"P0.5"}));
    delete property(QStringLiteral("P0.3"));
    QCOMPARE(rowNames(), gone({"P0.3", "P0.4"}));

    m_browser->setCurrentItem(item(QStringLiteral("P0.11")));
    delete property(QStringLiteral("P0.9"));
    QCOMPARE(rowNames(), gone({"P0.9", "P0.10", "P0.11"}));
    QCOMPARE(m_browser->currentItem(), nullptr);
    QCOMPARE(m_view->currentItem(), nullptr);

    // The groups hold everything else.
    m_sample->groupManager.clear();
    QCOMPARE(rowNames(), QStringList());
}

namespace {

// A flat page of its own: one top-level property for each letter of `page`, an
// "a" one of the string manager with a sub-property of its own, a "b" one of the
// int manager (spin boxes); each named by its letter and place ("a0", "b2", ...).
struct FlatPage
{
    explicit FlatPage(const QString &page)
    {
        browser.setFactoryForManager(&ints, &spinBoxes);
        browser.resize(600, 600);
        for (int i = 0; i < page.size(); ++i) {
            const QString name = page.at(i) + QString::number(i);
            QtProperty *property = page.at(i) == QLatin1Char('a') ? strings.addProperty(name) : ints.addProperty(name);
            if (page.at(i) == QLatin1Char('a'))
                property->addSubProperty(strings.addProperty(name + QStringLiteral(".1")));
            browser.addProperty(property);
        }
        view = browser.findChild<QTreeWidget *>();
    }

    QtBrowserItem *item(const QString &name) const
    {
        for (QtBrowserItem *top : browser.topLevelItems()) {
            if (top->property()->propertyName() == name)
                return top;
        }
        return nullptr;
    }
    QStringList topLevelNames() const
    {
        QStringList names;
        for (QtBrowserItem *top : browser.topLevelItems())
            names << top->property()->propertyName();
        return names;
    }
    QStringList rowNames() const
    {
        QStringList names;
        for (QTreeWidgetItemIterator it(view); *it; ++it)
            names << (*it)->text(0);
        return names;
    }

    QtStringPropertyManager strings;
    QtIntPropertyManager ints;
    QtSpinBoxFactory spinBoxes;
    QtTreePropertyBrowser browser;
    QTreeWidget *view = nullptr;
};

} // namespace

void TstTreePropertyBrowser::clearedRowsGoInRuns_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("removal");
    QTest::addColumn<QStringList>("announced");
    QTest::addColumn<QStringList>("left");

    // The view is told of each run of top-level rows once, bottom run first, and
    // of no row below them.
    QTest::newRow("whole page") << "aaaaaa" << "clear a" << QStringList{"0-5"} << QStringList();
    QTest::newRow("two runs") << "aabbbaa" << "clear a" << QStringList{"5-6", "0-1"}
                              << QStringList{"b2", "b3", "b4"};
    QTest::newRow("every other row") << "ababa" << "clear a" << QStringList{"4-4", "2-2", "0-0"}
                                     << QStringList{"b1", "b3"};
    QTest::newRow("the browser's clear") << "aabba" << "clear browser" << QStringList{"0-4"} << QStringList();
    QTest::newRow("one property") << "aaa" << "delete a1" << QStringList{"1-1"}
                                  << QStringList{"a0", "a0.1", "a2", "a2.1"};
}

// A cleared manager's rows leave a tree view in runs: at each removal it is told
// of, a view looks through every expanded row, so rows told of one by one cost
// the square of the page.
void TstTreePropertyBrowser::clearedRowsGoInRuns()
{
    QFETCH(QString, page);
    QFETCH(QString, removal);
    QFETCH(QStringList, announced);
    QFETCH(QStringList, left);
    // Outlives the page, whose view resets its model when it goes.
    QStringList told;
    FlatPage flat(page);
    flat.browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&flat.browser));

    QAbstractItemModel *model = flat.view->model();
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [&told](const QModelIndex &parent, int first, int last) {
                told << (parent.isValid() ? QStringLiteral("below a row")
                                          : QStringLiteral("%1-%2").arg(first).arg(last));
            });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [&told] { told << QStringLiteral("reset"); });
    if (removal == QLatin1String("clear a"))
        flat.strings.clear();
    else if (removal == QLatin1String("clear browser"))
        flat.browser.clear();
    else
        delete flat.item(QStringLiteral("a1"))->property();

    QCOMPARE(told, announced);
    QCOMPARE(flat.rowNames(), left);
    QCOMPARE(flat.topLevelNames(), left.filter(QRegularExpression(QStringLiteral("^[ab][0-9]+$"))));
}

void TstTreePropertyBrowser::clearKeepsTheRowsThatStay_data()
{
    QTest::addColumn<QString>("current");
    QTest::newRow("current row cleared") << "a1";
    QTest::newRow("current row stays, editing") << "b2";
}

// Between two deletions of a clear the browser answers for what is left and its
// view paints; afterwards the rows that stay keep their state, and the current
// row and its editor stay or go with their row. Checked for use after free by
// the sanitizer build.
void TstTreePropertyBrowser::clearKeepsTheRowsThatStay()
{
    QFETCH(QString, current);
    QStringList between;
    FlatPage flat(QStringLiteral("aabba"));
    QtProperty *b3 = flat.item(QStringLiteral("b3"))->property();
    b3->addSubProperty(flat.ints.addProperty(QStringLiteral("b3.1")));
    flat.browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&flat.browser));
    flat.browser.setCheckState(flat.item(QStringLiteral("b2")), Qt::Checked);
    flat.browser.setExpanded(flat.item(QStringLiteral("b3")), false);
    const bool editing = current.startsWith(QLatin1Char('b'));
    if (editing)
        flat.browser.editItem(flat.item(current));
    else
        flat.browser.setCurrentItem(flat.item(current));
    const QPointer<QWidget> editor = editing ? flat.view->indexWidget(flat.view->currentIndex()) : nullptr;
    QCOMPARE(editor.isNull(), !editing);

    connect(&flat.strings, &QtAbstractPropertyManager::propertyDestroyed, this, [&](QtProperty *gone) {
        if (gone->propertyName().contains(QLatin1Char('.')))
            return;
        flat.view->viewport()->grab();
        QtBrowserItem *now = flat.browser.currentItem();
        between << flat.topLevelNames().join(QLatin1Char(' ')) + QStringLiteral(" / ")
                       + (now ? now->property()->propertyName() : QStringLiteral("none"));
    });
    SignalLog log{&flat.browser};
    flat.strings.clear();

    // Newest first: a4, a1, a0.
    const QString after = editing ? current : QStringLiteral("none");
    QCOMPARE(between, (QStringList{"a0 a1 b2 b3 / " + current, "a0 b2 b3 / " + after, "b2 b3 / " + after}));
    QCOMPARE(flat.rowNames(), (QStringList{"b2", "b3", "b3.1"}));
    QCOMPARE(flat.browser.checkState(flat.item(QStringLiteral("b2"))), int(Qt::Checked));
    QVERIFY(!flat.browser.isExpanded(flat.item(QStringLiteral("b3"))));
    QVERIFY(flat.browser.isExpanded(flat.item(QStringLiteral("b2"))));
    if (editing) {
        QCOMPARE(flat.browser.currentItem(), flat.item(current));
        QCOMPARE(flat.view->currentItem()->text(0), current);
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(flat.view->indexWidget(flat.view->currentIndex()), editor.data());
        QCOMPARE(log.entries(), QStringList());
    } else {
        QCOMPARE(flat.browser.currentItem(), nullptr);
        QCOMPARE(flat.view->currentItem(), nullptr);
        QCOMPARE(log.entries(), QStringList{"currentItemChanged(null)"});
    }
}

void TstTreePropertyBrowser::clickDuringAClear_data()
{
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QStringList>("current");
    QTest::addColumn<QStringList>("left");

    // a4 goes first and its row is gone at once; a1 goes last.
    const QStringList none;
    for (const char *handler : {"none", "delete b2", "clear ints"}) {
        QTest::addRow("a row the clear took, handler %s", handler) << "a4" << handler << none
                                                                 << QStringList{"b0", "b2"};
    }
    QTest::newRow("a row the clear takes later") << "a1" << "none" << QStringList{"a1", "null"}
                                                 << QStringList{"b0", "b2"};
    QTest::newRow("a row the clear takes later, handler deletes b2")
        << "a1" << "delete b2" << QStringList{"a1", "null"} << QStringList{"b0"};
    QTest::newRow("a row the clear takes later, handler clears ints")
        << "a1" << "clear ints" << QStringList{"a1", "null"} << QStringList();
}

// A progress display runs the event loop between two deletions of a clear, and
// the user clicks a row: where one that went stood, or one that goes later. A
// handler of the current row may take more away meanwhile. The current row never
// moves to a neighbour, and the rows left are the properties left. Checked for
// use after free by the sanitizer build.
void TstTreePropertyBrowser::clickDuringAClear()
{
    QFETCH(QString, clicked);
    QFETCH(QString, handler);
    QFETCH(QStringList, current);
    QFETCH(QStringList, left);
    FlatPage flat(QStringLiteral("babaa"));
    flat.browser.show();
    QVERIFY(QTest::qWaitForWindowActive(&flat.browser));
    // The view made its first row current as it got the focus.
    flat.browser.setCurrentItem(nullptr);
    QCOMPARE(flat.view->currentItem(), nullptr);
    const QRect clickedRow = flat.view->visualItemRect(flat.view->findItems(clicked, Qt::MatchExactly).value(0));
    QVERIFY(clickedRow.isValid());

    bool progressShown = false;
    connect(&flat.strings, &QtAbstractPropertyManager::propertyDestroyed, this, [&] {
        if (std::exchange(progressShown, true))
            return;
        QCoreApplication::processEvents();
        QTest::mouseClick(flat.view->viewport(), Qt::LeftButton, {}, QPoint(60, clickedRow.center().y()));
    });
    QStringList changes;
    connect(&flat.browser, &QtAbstractPropertyBrowser::currentItemChanged, this, [&](QtBrowserItem *item) {
        changes << (item ? item->property()->propertyName() : QStringLiteral("null"));
        if (!item)
            return;
        if (handler == QLatin1String("delete b2"))
            delete flat.item(QStringLiteral("b2"))->property();
        else if (handler == QLatin1String("clear ints"))
            flat.ints.clear();
    });
    flat.strings.clear();

    QVERIFY(progressShown);
    QCOMPARE(changes, current);
    QCOMPARE(flat.browser.currentItem(), nullptr);
    QCOMPARE(flat.view->currentItem(), nullptr);
    QCOMPARE(flat.topLevelNames(), left);
    QCOMPARE(flat.rowNames(), left);
    // Nothing of what went is left to paint.
    flat.view->viewport()->grab();
}

void TstTreePropertyBrowser::spaceOpensTheValueEditor()
{
    m_browser->setCurrentItem(item(QStringLiteral("P0.1")));
    QCOMPARE(m_view->currentIndex().column(), 0);
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_Space);
    QCOMPARE(m_view->currentIndex().column(), 1);
    QVERIFY(qobject_cast<QtDoubleSpinBox2 *>(openEditor()));

    // Space on a group row opens nothing.
    QTest::keyClick(openEditor(), Qt::Key_Escape);
    QTRY_COMPARE(openEditor(), nullptr);
    m_browser->setCurrentItem(m_browser->topLevelItem(m_sample->groups.at(0)));
    QTest::keyClick(m_view, Qt::Key_Space);
    QCOMPARE(openEditor(), nullptr);
}

void TstTreePropertyBrowser::typedValueReachesManagerAndRow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("value");
    // The double manager writes its value in the system locale.
    QTest::newRow("double") << "P0.1" << "42" << QLocale::system().toString(42.0, 'f', 2);
    QTest::newRow("int with button") << "P0.0" << "123" << "123";
    QTest::newRow("string with button") << "P0.12" << "xyz" << "xyz";
}

void TstTreePropertyBrowser::typedValueReachesManagerAndRow()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, value);
    QVERIFY(QTest::qWaitForWindowActive(m_browser.get()));
    QtProperty *edited = property(name);

    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, valueCell(name));
    QWidget *editor = openEditor();
    QVERIFY(editor);
    QWidget *field = editor;
    if (auto *button = editor->findChild<QToolButton *>()) {
        // The button has the focus; a second click goes into the input field.
        QVERIFY(button->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), button);
        auto *spin = editor->findChild<QAbstractSpinBox *>();
        field = spin ? static_cast<QWidget *>(spin) : editor->findChild<QLineEdit *>();
        auto *inner = field->findChild<QLineEdit *>();
        QWidget *clicked = inner ? inner : field;
        QTest::mouseClick(clicked, Qt::LeftButton, {}, QPoint(5, clicked->height() / 2));
    }
    QTRY_VERIFY(field->hasFocus());
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(field))
        spin->selectAll();
    else
        qobject_cast<QLineEdit *>(field)->selectAll();
    QTest::keyClicks(field, typed);
    QTest::keyClick(field, Qt::Key_Enter);

    QCOMPARE(edited->valueText(), value);
    QCOMPARE(row(name)->text(1), value);
    QTRY_COMPARE(openEditor(), nullptr);
}

void TstTreePropertyBrowser::escapeCancelsTheIntegerEditor_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("changes");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 5 << QStringList();
    QTest::newRow("Return") << int(Qt::Key_Return) << 33 << QStringList{"valueChanged(N,33)"};
}

// The plain spin box reports a typed value when it loses the focus, as closing
// the editor makes it; Escape must still take nothing.
void TstTreePropertyBrowser::escapeCancelsTheIntegerEditor()
{
    QFETCH(int, key);
    QFETCH(int, value);
    QFETCH(QStringList, changes);
    QVERIFY(QTest::qWaitForWindowActive(m_browser.get()));
    QtIntPropertyManager ints;
    QtSpinBoxFactory spinBoxes;
    m_browser->setFactoryForManager(&ints, &spinBoxes);
    QtProperty *number = ints.addProperty(QStringLiteral("N"));
    ints.setValue(number, 5);
    m_browser->editItem(m_browser->addProperty(number));
    auto *spin = qobject_cast<QSpinBox *>(openEditor());
    QVERIFY(spin);
    QTRY_VERIFY(spin->hasFocus());

    SignalLog log{&ints};
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("33"));
    QTest::keyClick(spin, Qt::Key(key));
    QTRY_COMPARE(openEditor(), nullptr);
    QCOMPARE(log.entries().filter(QStringLiteral("valueChanged")), changes);
    QCOMPARE(ints.value(number), value);
}

void TstTreePropertyBrowser::disabledEditorLosesTheFocus_data()
{
    QTest::addColumn<QString>("closedBy");
    QTest::addColumn<QString>("onCommit");
    QTest::newRow("the property disabled") << "property" << "";
    QTest::newRow("its group disabled") << "group" << "";
    QTest::newRow("closed by the browser") << "browser" << "";
    QTest::newRow("the property disabled, the commit deletes it") << "property" << "delete";
    QTest::newRow("the property disabled, the commit clears the page") << "property" << "clear";
}

// The user typed into a spin box that commits on losing the focus; the property
// (or its group) is then disabled, or the browser told to close the editor, and
// set-up code moves the focus before the event loop runs again. The property is
// shown in two groups, and a handler of the commit may take it away while the
// browser is refreshing the first of its rows. The editor is closed once, and
// what was typed is committed.
void TstTreePropertyBrowser::disabledEditorLosesTheFocus()
{
    QFETCH(QString, closedBy);
    QFETCH(QString, onCommit);
    QVERIFY(QTest::qWaitForWindowActive(m_browser.get()));
    QtGroupPropertyManager groups;
    QtIntPropertyManager ints;
    QtSpinBoxFactory spinBoxes;
    m_browser->setFactoryForManager(&ints, &spinBoxes);
    QtProperty *group = groups.addProperty(QStringLiteral("G"));
    QtProperty *other = groups.addProperty(QStringLiteral("H"));
    QtProperty *number = ints.addProperty(QStringLiteral("N"));
    ints.setValue(number, 5);
    group->addSubProperty(number);
    other->addSubProperty(number);
    m_browser->addProperty(group);
    m_browser->addProperty(other);
    m_browser->editItem(item(QStringLiteral("N")));
    const QPointer<QSpinBox> spin = qobject_cast<QSpinBox *>(openEditor());
    QVERIFY(spin);
    QTRY_VERIFY(spin->hasFocus());
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("33"));
    QList<int> committed;
    connect(&ints, &QtIntPropertyManager::valueChanged, this, [&](QtProperty *, int value) {
        committed << value;
        if (onCommit == QLatin1String("delete")) {
            delete number;
        } else if (onCommit == QLatin1String("clear")) {
            ints.clear();
            groups.clear();
        }
    });

    if (closedBy == QLatin1String("browser"))
        m_browser->closeEditor(number);
    else
        (closedBy == QLatin1String("group") ? group : number)->setEnabled(false);
    m_view->setFocus();
    QCOMPARE(committed, QList<int>{33});
    QTRY_VERIFY(!spin);
    QCOMPARE(openEditor(), nullptr);
    if (onCommit.isEmpty()) {
        QCOMPARE(row(QStringLiteral("N"))->text(1), QStringLiteral("33"));
    } else {
        QCOMPARE(row(QStringLiteral("N")), nullptr);
        QVERIFY(m_browser->items(number).isEmpty());
    }
}

void TstTreePropertyBrowser::rowTakenAwayWhileItsEditorIsMade_data()
{
    QTest::addColumn<QString>("handler");
    QTest::newRow("the row removed") << "remove";
    QTest::newRow("the property deleted") << "delete";
    QTest::newRow("the row disabled") << "disable";
}

// A handler of editorCreated that takes the row away, or locks it, while the view
// opens its editor: no editor stays open, and the view holds on to no row.
void TstTreePropertyBrowser::rowTakenAwayWhileItsEditorIsMade()
{
    QFETCH(QString, handler);
    QVERIFY(QTest::qWaitForWindowActive(m_browser.get()));
    QtIntPropertyManager ints;
    QtSpinBoxFactory spinBoxes;
    m_browser->setFactoryForManager(&ints, &spinBoxes);
    QtProperty *number = ints.addProperty(QStringLiteral("N"));
    QtProperty *other = ints.addProperty(QStringLiteral("M"));
    m_browser->addProperty(number);
    m_browser->addProperty(other);
    connect(&ints, &QtAbstractPropertyManager::editorCreated, this, [&](QtProperty *property) {
        if (handler == QLatin1String("remove"))
            m_browser->removeProperty(property);
        else if (handler == QLatin1String("delete"))
            delete property;
        else
            property->setEnabled(false);
    });
    m_browser->editItem(item(QStringLiteral("N")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(openEditor(), nullptr);
    // A row the view still took for the edited one would be read here.
    other->setEnabled(false);
    m_view->setFocus();
    QCOMPARE(row(QStringLiteral("N")) == nullptr, handler != QLatin1String("disable"));
}

void TstTreePropertyBrowser::teardownWithAnOpenEditor_data()
{
    QTest::addColumn<bool>("browserFirst");
    QTest::newRow("browser first") << true;
    QTest::newRow("managers and factories first") << false;
}

// Checked for use after free by the sanitizer build.
void TstTreePropertyBrowser::teardownWithAnOpenEditor()
{
    QFETCH(bool, browserFirst);
    m_browser->editItem(item(QStringLiteral("P0.7")));
    QPointer<QWidget> editor = openEditor();
    QVERIFY(editor);
    if (browserFirst) {
        m_browser.reset();
        QVERIFY(!editor);
        QVERIFY(m_sample->stringManager.properties().size() > 0);
    } else {
        m_sample.reset();
        QVERIFY(!editor);
        QCOMPARE(m_view->topLevelItemCount(), 0);
        QCOMPARE(m_browser->currentItem(), nullptr);
    }
}

QTEST_MAIN(TstTreePropertyBrowser)
#include "tst_treepropertybrowser.moc"
