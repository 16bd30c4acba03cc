#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtextendedfactories.h"
#include "propertybrowser/extended/qtvarianteditorfactory.h"
#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QPointer>
#include <QSpinBox>
#include <QTreeWidget>
#include <QTest>

#include <functional>
#include <memory>

// The variant editor factory bound in a real tree browser: which editor each type
// gets, compound values' components included, edits reaching the variant manager,
// and attaching and detaching variant managers.
class TstVariantEditorFactory : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void init();
    void cleanup();
    void editorPerType_data();
    void editorPerType();
    void editsReachTheVariantManager();
    void detachingOneManagerLeavesAnother();
    void deletingTheFactoryClosesItsEditors();

private:
    QWidget *openEditorOf(QtProperty *property, QtBrowserItem *parent = nullptr) const;

    std::unique_ptr<QtTreePropertyBrowser> m_browser;
    std::unique_ptr<QtVariantPropertyManager> m_manager;
    std::unique_ptr<QtVariantEditorFactory> m_factory;
};

namespace {

using Setup = std::function<void(QtVariantProperty *)>;

// The managers of this variant manager that a typed factory of the variant factory
// serves.
QSet<QObject *> servedManagersOf(const QtVariantEditorFactory &factory, const QtVariantPropertyManager &manager)
{
    QSet<QObject *> below;
    for (QObject *m : manager.findChildren<QObject *>())
        below.insert(m);
    QSet<QObject *> served;
    auto collect = [&](const auto &managers) {
        for (QObject *m : managers) {
            if (below.contains(m))
                served.insert(m);
        }
    };
    const auto typed = factory.findChildren<QtAbstractEditorFactoryBase *>(QString(), Qt::FindDirectChildrenOnly);
    for (QObject *f : typed) {
#define QT_COLLECT(Factory)                                                                                        \
    if (auto *cast = qobject_cast<Factory *>(f))                                                                   \
        collect(cast->propertyManagers());
        QT_COLLECT(QtSpinBoxFactory)
        QT_COLLECT(QtDoubleSpinBoxFactory)
        QT_COLLECT(QtCheckBoxFactory)
        QT_COLLECT(QtLineEditFactory)
        QT_COLLECT(QtDateEditFactory)
        QT_COLLECT(QtTimeEditFactory)
        QT_COLLECT(QtDateTimeEditFactory)
        QT_COLLECT(QtKeySequenceEditorFactory)
        QT_COLLECT(QtCharEditorFactory)
        QT_COLLECT(QtEnumEditorFactory)
        QT_COLLECT(QtCursorEditorFactory)
        QT_COLLECT(QtColorEditorFactory)
        QT_COLLECT(QtFontEditorFactory)
#undef QT_COLLECT
    }
    return served;
}

// Every manager below the variant manager whose kind has editors: the compound
// managers themselves have none, their inner managers do.
QSet<QObject *> editableManagersOf(const QtVariantPropertyManager &manager)
{
    static const QSet<QByteArray> withoutEditor{
        "QtLocalePropertyManager", "QtPointPropertyManager",  "QtPointFPropertyManager",
        "QtSizePropertyManager",   "QtSizeFPropertyManager",  "QtRectPropertyManager",
        "QtRectFPropertyManager",  "QtSizePolicyPropertyManager", "QtFlagPropertyManager",
        "QtGroupPropertyManager"};
    QSet<QObject *> out;
    for (QObject *m : manager.findChildren<QtAbstractPropertyManager *>()) {
        if (!withoutEditor.contains(m->metaObject()->className()))
            out.insert(m);
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Setup)

void TstVariantEditorFactory::init()
{
    m_browser = std::make_unique<QtTreePropertyBrowser>();
    m_browser->resize(600, 800);
    m_manager = std::make_unique<QtVariantPropertyManager>();
    m_factory = std::make_unique<QtVariantEditorFactory>();
    m_browser->setFactoryForManager(m_manager.get(), m_factory.get());
    m_browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_browser.get()));
}

void TstVariantEditorFactory::cleanup()
{
    m_browser.reset();
    m_factory.reset();
    m_manager.reset();
}

// Opens the property's editor in the browser (a top-level property, or a child of
// `parent`) and returns it: the one visible widget the view put on its viewport.
QWidget *TstVariantEditorFactory::openEditorOf(QtProperty *property, QtBrowserItem *parent) const
{
    QtBrowserItem *item = m_browser->topLevelItem(property);
    if (parent) {
        for (QtBrowserItem *child : parent->children()) {
            if (child->property() == property)
                item = child;
        }
    }
    m_browser->editItem(item);
    auto *view = m_browser->findChild<QTreeWidget *>();
    QWidget *open = nullptr;
    for (QWidget *child : view->viewport()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isVisible())
            open = child;
    }
    return open;
}

void TstVariantEditorFactory::editorPerType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArray>("editor");
    // The editor of the first sub-property, for compound values.
    QTest::addColumn<QByteArray>("subEditor");

    const Setup nothing = [](QtVariantProperty *) {};
    auto row = [&](const char *name, int type, const char *editor, const char *subEditor,
                   const Setup &setup = nullptr) {
        QTest::newRow(name) << type << (setup ? setup : nothing) << QByteArray(editor) << QByteArray(subEditor);
    };
    row("Int", QMetaType::Int, "QSpinBox", "");
    row("Double", QMetaType::Double, "QtDoubleSpinBox2", "");
    row("Bool", QMetaType::Bool, "QtBoolEdit", "");
    row("String", QMetaType::QString, "QLineEdit", "");
    row("Date", QMetaType::QDate, "QDateEdit", "");
    row("Time", QMetaType::QTime, "QTimeEdit", "");
    row("DateTime", QMetaType::QDateTime, "QDateTimeEdit", "");
    row("KeySequence", QMetaType::QKeySequence, "QtKeySequenceEdit", "");
    row("Char", QMetaType::QChar, "QtCharEdit", "");
    row("Cursor", QMetaType::QCursor, "QComboBox", "");
    row("Color", QMetaType::QColor, "QtColorEditWidget", "QSpinBox");
    row("Font", QMetaType::QFont, "QtFontEditWidget", "QComboBox");
    row("enumeration", QtVariantPropertyManager::enumTypeId(), "QComboBox", "",
        [](QtVariantProperty *p) { p->setAttribute(QStringLiteral("enumNames"), QStringList{"a", "b"}); });
    row("Point", QMetaType::QPoint, "", "QSpinBox");
    row("PointF", QMetaType::QPointF, "", "QtDoubleSpinBox2");
    row("Size", QMetaType::QSize, "", "QSpinBox");
    row("SizeF", QMetaType::QSizeF, "", "QtDoubleSpinBox2");
    row("Rect", QMetaType::QRect, "", "QSpinBox");
    row("RectF", QMetaType::QRectF, "", "QtDoubleSpinBox2");
    row("Locale", QMetaType::QLocale, "", "QComboBox");
    row("SizePolicy", QMetaType::QSizePolicy, "", "QComboBox");
    row("flag", QtVariantPropertyManager::flagTypeId(), "", "QtBoolEdit",
        [](QtVariantProperty *p) { p->setAttribute(QStringLiteral("flagNames"), QStringList{"a", "b"}); });
    row("group", QtVariantPropertyManager::groupTypeId(), "", "");
}

void TstVariantEditorFactory::editorPerType()
{
    QFETCH(int, type);
    QFETCH(Setup, setup);
    QFETCH(QByteArray, editor);
    QFETCH(QByteArray, subEditor);

    QtVariantProperty *p = m_manager->addProperty(type, QStringLiteral("P"));
    setup(p);
    m_browser->addProperty(p);
    QWidget *open = openEditorOf(p);
    QCOMPARE(open ? QByteArray(open->metaObject()->className()) : QByteArray(), editor);

    if (subEditor.isEmpty())
        return;
    QtBrowserItem *item = m_browser->topLevelItem(p);
    m_browser->setExpanded(item, true);
    QWidget *sub = openEditorOf(p->subProperties().first(), item);
    QVERIFY(sub);
    QCOMPARE(QByteArray(sub->metaObject()->className()), subEditor);
}

void TstVariantEditorFactory::editsReachTheVariantManager()
{
    QtVariantProperty *number = m_manager->addProperty(QMetaType::Int, QStringLiteral("N"));
    QtVariantProperty *size = m_manager->addProperty(QMetaType::QSize, QStringLiteral("S"));
    m_browser->addProperty(number);
    QtBrowserItem *sizeItem = m_browser->addProperty(size);
    SignalLog log{m_manager.get()};

    auto *spin = qobject_cast<QSpinBox *>(openEditorOf(number));
    QVERIFY(spin);
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("42"));
    QTest::keyClick(spin, Qt::Key_Return);
    QCOMPARE(number->value(), QVariant(42));
    QCOMPARE(log.take(), (QStringList{"valueChanged(N,42)", "propertyChanged(N)"}));

    m_browser->setExpanded(sizeItem, true);
    auto *width = qobject_cast<QSpinBox *>(openEditorOf(subNamed(size, QStringLiteral("Width")), sizeItem));
    QVERIFY(width);
    width->selectAll();
    QTest::keyClicks(width, QStringLiteral("7"));
    QTest::keyClick(width, Qt::Key_Return);
    QCOMPARE(size->value(), QVariant(QSize(7, 0)));
    const QStringList entries = log.take();
    QVERIFY(entries.contains(QStringLiteral("valueChanged(Width,7)")));
    QVERIFY(entries.contains(QStringLiteral("valueChanged(S,QSize)")));
}

void TstVariantEditorFactory::detachingOneManagerLeavesAnother()
{
    QtVariantPropertyManager other;
    QtTreePropertyBrowser second;
    second.setFactoryForManager(&other, m_factory.get());
    QCOMPARE(m_factory->propertyManagers(), (QSet<QtVariantPropertyManager *>{m_manager.get(), &other}));
    QCOMPARE(servedManagersOf(*m_factory, *m_manager), editableManagersOf(*m_manager));
    QCOMPARE(servedManagersOf(*m_factory, other), editableManagersOf(other));
    // The thirteen typed managers with editors and the fourteen inner managers.
    QCOMPARE(editableManagersOf(other).size(), 27);

    m_browser->unsetFactoryForManager(m_manager.get());
    QCOMPARE(m_factory->propertyManagers(), QSet<QtVariantPropertyManager *>{&other});
    QCOMPARE(servedManagersOf(*m_factory, *m_manager), QSet<QObject *>());
    QCOMPARE(servedManagersOf(*m_factory, other), editableManagersOf(other));

    // The other manager's properties still get editors.
    QtVariantProperty *p = other.addProperty(QMetaType::QColor, QStringLiteral("C"));
    QtBrowserItem *item = second.addProperty(p);
    QVERIFY(m_factory->createEditor(p, &second));
    QVERIFY(m_factory->createEditor(p->subProperties().first(), &second));
    QVERIFY(item);
    QtVariantProperty *detached = m_manager->addProperty(QMetaType::Int, QStringLiteral("D"));
    QCOMPARE(m_factory->createEditor(detached, &second), nullptr);
}

void TstVariantEditorFactory::deletingTheFactoryClosesItsEditors()
{
    QtVariantProperty *p = m_manager->addProperty(QMetaType::QFont, QStringLiteral("F"));
    m_browser->addProperty(p);
    QPointer<QWidget> editor = openEditorOf(p);
    QVERIFY(editor);
    m_factory.reset();
    QVERIFY(!editor);
    // The browser goes on without a factory for the manager.
    p->setValue(QFont(QStringLiteral("DejaVu Sans"), 9));
    QCOMPARE(openEditorOf(p), nullptr);
}

QTEST_MAIN(TstVariantEditorFactory)
#include "tst_varianteditorfactory.moc"
