#include "connectwarningguard.h"
#include "countingfactory.h"
#include "signallog.h"

#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"

#include <QPointer>
#include <QTest>

// The factory template and the editor registry, driven through a counting factory.
class TstEditorRegistry : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void aManagerIsAddedOnce();
    void onlyServedPropertiesGetEditors();
    void editorCreatedComesBeforeTheEditorIsConfigured();
    void aDestroyedEditorLeavesTheOthersUpdated();
    void aRemovedOrDestroyedManagerIsForgotten();
    void aDeletedFactoryDeletesItsEditors();
};

namespace {

QtAbstractEditorFactoryBase *base(CountingFactory &factory) { return &factory; }

} // namespace

void TstEditorRegistry::aManagerIsAddedOnce()
{
    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    CountingFactory factory;
    factory.addPropertyManager(&manager);
    factory.addPropertyManager(&manager);
    QCOMPARE(factory.connects, 1);
    QCOMPARE(factory.propertyManagers().size(), 1);

    QWidget parent;
    QWidget *editor = base(factory)->createEditor(p, &parent);
    manager.setValue(p, 5);
    QCOMPARE(factory.pushes(editor), 1);
}

void TstEditorRegistry::onlyServedPropertiesGetEditors()
{
    QtIntPropertyManager served;
    QtIntPropertyManager notServed;
    QtBoolPropertyManager otherKind;
    CountingFactory factory;
    factory.addPropertyManager(&served);

    QWidget parent;
    QCOMPARE(base(factory)->createEditor(notServed.addProperty(QStringLiteral("N")), &parent), nullptr);
    QCOMPARE(base(factory)->createEditor(otherKind.addProperty(QStringLiteral("B")), &parent), nullptr);
    QCOMPARE(factory.findManager(otherKind.addProperty(QStringLiteral("C"))), nullptr);
    QCOMPARE(factory.creates, 0);
    QtProperty *p = served.addProperty(QStringLiteral("P"));
    QCOMPARE(factory.findManager(p), &served);
}

void TstEditorRegistry::editorCreatedComesBeforeTheEditorIsConfigured()
{
    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, 42);
    CountingFactory factory;
    factory.addPropertyManager(&manager);

    int seenValue = -1;
    int seenEditors = 0;
    connect(&manager, &QtAbstractPropertyManager::editorCreated, this, [&](QtProperty *property) {
        const QList<QSpinBox *> editors = factory.registry().editors(property);
        seenEditors = editors.size();
        seenValue = editors.isEmpty() ? -1 : editors.last()->value();
    });

    QWidget parent;
    auto *editor = qobject_cast<QSpinBox *>(base(factory)->createEditor(p, &parent));
    QVERIFY(editor);
    QCOMPARE(seenEditors, 1);
    QCOMPARE(seenValue, 0);
    QCOMPARE(editor->value(), 42);
    QCOMPARE(factory.registry().propertyOf(editor), p);
}

void TstEditorRegistry::aDestroyedEditorLeavesTheOthersUpdated()
{
    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    CountingFactory factory;
    factory.addPropertyManager(&manager);
    QWidget parent;
    QWidget *first = base(factory)->createEditor(p, &parent);
    QWidget *second = base(factory)->createEditor(p, &parent);

    delete first;
    manager.setValue(p, 7);
    QCOMPARE(factory.pushes(second), 1);
    QCOMPARE(qobject_cast<QSpinBox *>(second)->value(), 7);
    QCOMPARE(factory.registry().editors(p).size(), 1);

    // An object that never was an editor changes nothing.
    QObject stranger;
    factory.registry().editorDestroyed(&stranger);
    QCOMPARE(factory.registry().editors(p).size(), 1);

    delete second;
    QVERIFY(!factory.registry().hasEditors(p));
    QVERIFY(factory.registry().editorToProperty().isEmpty());
    manager.setValue(p, 8);
    QCOMPARE(factory.pushes(second), 1);
}

void TstEditorRegistry::aRemovedOrDestroyedManagerIsForgotten()
{
    CountingFactory factory;
    QtIntPropertyManager kept;
    QtProperty *p = kept.addProperty(QStringLiteral("P"));
    factory.addPropertyManager(&kept);
    QWidget parent;
    QWidget *editor = base(factory)->createEditor(p, &parent);

    factory.removePropertyManager(&kept);
    factory.removePropertyManager(&kept);
    QCOMPARE(factory.disconnects, 1);
    kept.setValue(p, 3);
    QCOMPARE(factory.pushes(editor), 0);
    QCOMPARE(base(factory)->createEditor(p, &parent), nullptr);

    auto *doomed = new QtIntPropertyManager;
    factory.addPropertyManager(doomed);
    delete doomed;
    QVERIFY(factory.propertyManagers().isEmpty());
    QCOMPARE(factory.disconnects, 1);
}

void TstEditorRegistry::aDeletedFactoryDeletesItsEditors()
{
    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QtProperty *q = manager.addProperty(QStringLiteral("Q"));
    auto *factory = new CountingFactory;
    factory->addPropertyManager(&manager);
    QWidget parent;
    QPointer<QWidget> first = base(*factory)->createEditor(p, &parent);
    QPointer<QWidget> second = base(*factory)->createEditor(p, &parent);
    QPointer<QWidget> third = base(*factory)->createEditor(q, &parent);

    delete factory;
    QVERIFY(first.isNull());
    QVERIFY(second.isNull());
    QVERIFY(third.isNull());
    manager.setValue(p, 1);
}

QTEST_MAIN(TstEditorRegistry)
#include "tst_editorregistry.moc"
