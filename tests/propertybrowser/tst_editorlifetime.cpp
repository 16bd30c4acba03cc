#include "browserkinds.h"
#include "connectwarningguard.h"
#include "modaldriver.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtbuttoneditwidgets.h"
#include "propertybrowser/extended/qtbuttonpropertybrowser.h"
#include "propertybrowser/extended/qtgroupboxpropertybrowser.h"
#include "propertybrowser/extended/qtkeyedits.h"
#include "propertybrowser/extended/qtvarianteditorfactory.h"
#include "propertybrowser/extended/qtvariantproperty.h"
#include "propertybrowser/qteditingwidgets.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QComboBox>
#include <QPointer>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

// A property that goes away while its editor is at work, in each of the three
// browsers: deleted or taken from its parent while its colour or font dialog is
// open, and deleted by a handler of the change that its own editor made. Nothing
// may crash, nothing may be taken from an editor whose property went, and the
// editor goes. Checked for use after free by the sanitizer build.
class TstEditorLifetime : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void cleanup();
    void propertyGoesWhileItsDialogRuns_data();
    void propertyGoesWhileItsDialogRuns();
    void rebuildOnChange_data();
    void rebuildOnChange();
    void browserGoesDuringAClear_data();
    void browserGoesDuringAClear();

private:
    // A group holding one property of the type, shown in a browser of the kind, with
    // the property's editor open; null when none opened. With `topLevel` the
    // property is shown instead of the group, in a row of its own.
    QWidget *openEditor(int kind, int type, bool topLevel = false);

    std::unique_ptr<QtVariantPropertyManager> m_manager;
    std::unique_ptr<QtVariantEditorFactory> m_factory;
    std::unique_ptr<QtAbstractPropertyBrowser> m_browser;
    QtVariantProperty *m_group = nullptr;
    QtVariantProperty *m_property = nullptr;
};

namespace {

enum Action { Delete, Unlink };
// How a handler of the change takes the property away.
enum Removal { Deleted, PageCleared, TopLevelCleared };

// The widget the tree's view opened as editor: the one visible on its viewport.
QWidget *treeEditor(QtTreePropertyBrowser *browser)
{
    const auto widgets = browser->findChild<QTreeWidget *>()->viewport()->findChildren<QWidget *>(
        QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *widget : widgets) {
        if (widget->isVisible())
            return widget;
    }
    return nullptr;
}

} // namespace

QWidget *TstEditorLifetime::openEditor(int kind, int type, bool topLevel)
{
    m_manager = std::make_unique<QtVariantPropertyManager>();
    m_factory = std::make_unique<QtVariantEditorFactory>();
    if (kind == Tree)
        m_browser = std::make_unique<QtTreePropertyBrowser>();
    else if (kind == Button)
        m_browser = std::make_unique<QtButtonPropertyBrowser>();
    else
        m_browser = std::make_unique<QtGroupBoxPropertyBrowser>();
    m_browser->setFactoryForManager(m_manager.get(), m_factory.get());
    m_browser->resize(500, 400);

    m_group = m_manager->addProperty(QtVariantPropertyManager::groupTypeId(), QStringLiteral("G"));
    m_property = m_manager->addProperty(type, QStringLiteral("P"));
    if (type == QtVariantPropertyManager::enumTypeId())
        m_property->setAttribute(QStringLiteral("enumNames"), QStringList{"a", "b", "c"});
    m_group->addSubProperty(m_property);
    QtBrowserItem *group = m_browser->addProperty(topLevel ? m_property : m_group);
    m_browser->show();
    if (!QTest::qWaitForWindowExposed(m_browser.get()))
        return nullptr;

    QtBrowserItem *item = topLevel ? group : group->children().value(0);
    if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(m_browser.get())) {
        tree->editItem(item);
        return treeEditor(tree);
    }
    if (auto *buttons = qobject_cast<QtButtonPropertyBrowser *>(m_browser.get()); buttons && !topLevel)
        buttons->setExpanded(group, true);
    // The group's row has no editor, and the property's comes before those of its
    // own parts (a colour's and a font's).
    const QList<QWidget *> widgets = m_browser->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (qobject_cast<QtColorEditWidget *>(widget) || qobject_cast<QtFontEditWidget *>(widget)
            || qobject_cast<QComboBox *>(widget) || qobject_cast<QSpinBox *>(widget)
            || qobject_cast<QtBoolEdit *>(widget) || qobject_cast<QtCharEdit *>(widget))
            return widget;
    }
    return nullptr;
}

void TstEditorLifetime::cleanup()
{
    m_browser.reset();
    m_factory.reset();
    m_manager.reset();
}

void TstEditorLifetime::propertyGoesWhileItsDialogRuns_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("action");
    for (const int kind : {Tree, Button, GroupBox}) {
        for (const int type : {int(QMetaType::QColor), int(QMetaType::QFont)}) {
            for (const int action : {Delete, Unlink}) {
                QTest::addRow("%s, %s, %s", kindName(kind), type == QMetaType::QColor ? "colour" : "font",
                              action == Delete ? "deleted" : "taken from its parent")
                    << kind << type << action;
            }
        }
    }
}

void TstEditorLifetime::propertyGoesWhileItsDialogRuns()
{
    QFETCH(int, kind);
    QFETCH(int, type);
    QFETCH(int, action);
    const QPointer<QWidget> editor = openEditor(kind, type);
    QVERIFY(editor);
    const QVariant before = m_property->value();
    SignalLog log{m_manager.get()};

    // Inside the dialog's loop the property goes; whatever the user then picks is
    // not taken.
    const bool ran = ModalDriver::drive([&] { editor->findChild<QToolButton *>()->click(); },
                                        [&](QWidget *dialog) {
                                            const QPointer<QWidget> open(dialog);
                                            if (action == Delete)
                                                delete m_property;
                                            else
                                                m_group->removeSubProperty(m_property);
                                            if (!open)
                                                return;
                                            if (type == QMetaType::QColor)
                                                ModalDriver::pick(open, QColor(1, 2, 3));
                                            else
                                                ModalDriver::pick(open, QFont(QStringLiteral("DejaVu Serif"), 21));
                                        });
    QVERIFY(ran);

    QCOMPARE(countOf(log.entries(), QStringLiteral("valueChanged")), 0);
    if (action == Unlink)
        QCOMPARE(m_property->value(), before);
    QTRY_VERIFY(!editor);
    QVERIFY(m_group->subProperties().isEmpty());
}

void TstEditorLifetime::rebuildOnChange_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("removal");
    const QList<QPair<const char *, int>> types{{"enum", QtVariantPropertyManager::enumTypeId()},
                                                {"int", int(QMetaType::Int)},
                                                {"bool", int(QMetaType::Bool)},
                                                {"char", int(QMetaType::QChar)}};
    const char *const removals[] = {"deleted", "page cleared", "page cleared, a top-level row"};
    for (const int kind : {Tree, Button, GroupBox}) {
        for (const auto &type : types) {
            for (const int removal : {Deleted, PageCleared, TopLevelCleared}) {
                QTest::addRow("%s, %s, %s", kindName(kind), type.first, removals[removal])
                    << kind << type.second << removal;
            }
        }
    }
}

// The usual handler of a page built from its values: on a change it deletes the
// property, or clears the whole page, to build it again. The change comes from
// the editor's own signal, so the property and its row go while the editor and
// the editor factory are still at work inside that signal.
void TstEditorLifetime::rebuildOnChange()
{
    QFETCH(int, kind);
    QFETCH(int, type);
    QFETCH(int, removal);
    const bool wholePage = removal != Deleted;
    const QPointer<QWidget> editor = openEditor(kind, type, removal == TopLevelCleared);
    QVERIFY(editor);
    int changes = 0;
    connect(m_manager.get(), &QtVariantPropertyManager::valueChanged, this, [&](QtProperty *property) {
        if (property != m_property)
            return;
        ++changes;
        if (wholePage) {
            m_manager->clear();
            m_group = nullptr;
        } else {
            delete m_property;
        }
        m_property = nullptr;
    });

    if (auto *combo = qobject_cast<QComboBox *>(editor))
        QTest::keyClick(combo, Qt::Key_Down);
    else if (auto *spin = qobject_cast<QSpinBox *>(editor))
        QTest::keyClick(spin, Qt::Key_Up);
    else if (auto *check = qobject_cast<QtBoolEdit *>(editor))
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
    else
        QTest::keyClick(editor, Qt::Key_X);

    QCOMPARE(changes, 1);
    // Hidden at once, deleted from the event loop.
    QVERIFY(!editor || editor->isHidden());
    QTRY_VERIFY(!editor);
    if (wholePage) {
        QVERIFY(m_browser->topLevelItems().isEmpty());
    } else {
        QVERIFY(m_group->subProperties().isEmpty());
        QCOMPARE(m_browser->topLevelItems().value(0)->children().size(), 0);
    }
}

void TstEditorLifetime::browserGoesDuringAClear_data()
{
    addBrowserKindRows();
}

// A browser holds back some of the work of a manager's clear until the clear
// ends; deleted by a handler between two of its deletions, it must have nothing
// left to do then.
void TstEditorLifetime::browserGoesDuringAClear()
{
    QFETCH(int, kind);
    const QPointer<QWidget> editor = openEditor(kind, int(QMetaType::Int), true);
    QVERIFY(editor);
    m_browser->addProperty(m_manager->addProperty(QMetaType::Int, QStringLiteral("Q")));
    const QPointer<QWidget> browser = m_browser.get();
    connect(m_manager.get(), &QtAbstractPropertyManager::propertyDestroyed, this, [this] { m_browser.reset(); });

    m_manager->clear();
    QVERIFY(!browser);
    QTRY_VERIFY(!editor);
}

QTEST_MAIN(TstEditorLifetime)
#include "tst_editorlifetime.moc"
