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

private:
    // A group holding one property of the type, shown in a browser of the kind, with
    // the property's editor open; null when none opened.
    QWidget *openEditor(int kind, int type);

    std::unique_ptr<QtVariantPropertyManager> m_manager;
    std::unique_ptr<QtVariantEditorFactory> m_factory;
    std::unique_ptr<QtAbstractPropertyBrowser> m_browser;
    QtVariantProperty *m_group = nullptr;
    QtVariantProperty *m_property = nullptr;
};

namespace {

enum Kind { Tree, Button, GroupBox };
enum Action { Delete, Unlink };

const char *kindName(int kind)
{
    switch (kind) {
    case Tree:
        return "tree";
    case Button:
        return "button";
    default:
        return "group box";
    }
}

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

QWidget *TstEditorLifetime::openEditor(int kind, int type)
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
    QtBrowserItem *group = m_browser->addProperty(m_group);
    m_browser->show();
    if (!QTest::qWaitForWindowExposed(m_browser.get()))
        return nullptr;

    QtBrowserItem *item = group->children().value(0);
    if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(m_browser.get())) {
        tree->editItem(item);
        return treeEditor(tree);
    }
    if (auto *buttons = qobject_cast<QtButtonPropertyBrowser *>(m_browser.get()))
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
    for (const int kind : {Tree, Button, GroupBox}) {
        QTest::addRow("%s, enum", kindName(kind)) << kind << QtVariantPropertyManager::enumTypeId();
        QTest::addRow("%s, int", kindName(kind)) << kind << int(QMetaType::Int);
        QTest::addRow("%s, bool", kindName(kind)) << kind << int(QMetaType::Bool);
        QTest::addRow("%s, char", kindName(kind)) << kind << int(QMetaType::QChar);
    }
}

// The usual handler of a page built from its values: on a change it deletes the
// property (and would build the page again). The change comes from the editor's
// own signal, so the property and its row go while the editor and the editor
// factory are still at work inside that signal.
void TstEditorLifetime::rebuildOnChange()
{
    QFETCH(int, kind);
    QFETCH(int, type);
    const QPointer<QWidget> editor = openEditor(kind, type);
    QVERIFY(editor);
    int changes = 0;
    connect(m_manager.get(), &QtVariantPropertyManager::valueChanged, this, [&](QtProperty *property) {
        if (property != m_property)
            return;
        ++changes;
        delete m_property;
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
    QVERIFY(m_group->subProperties().isEmpty());
    // Hidden at once, deleted from the event loop.
    QVERIFY(!editor || editor->isHidden());
    QTRY_VERIFY(!editor);
    QCOMPARE(m_browser->topLevelItems().value(0)->children().size(), 0);
}

QTEST_MAIN(TstEditorLifetime)
#include "tst_editorlifetime.moc"
