#include "connectwarningguard.h"
#include "countingfactory.h"
#include "recordingbrowser.h"

#include "propertybrowser/qtfactoryregistry.h"
#include "propertybrowser/qtintpropertymanager.h"

#include <QPointer>
#include <QTest>

// Binding editor factories to managers per browser. The registry is checked by
// address after deletions: no entry may name an object that is gone.
class TstFactoryRegistry : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void oneFactoryInTwoBrowsersConnectsOnce();
    void aSecondFactoryReplacesTheFirst();
    void editorsComeFromTheBoundFactory();
    void aDeletedBrowserLeavesNoBinding();
    void aDeletedFactoryLeavesNoBinding();
    void aDeletedManagerLeavesNoBinding();
};

void TstFactoryRegistry::oneFactoryInTwoBrowsersConnectsOnce()
{
    QtIntPropertyManager manager;
    CountingFactory factory;
    RecordingBrowser first;
    RecordingBrowser second;

    first.setFactoryForManager(&manager, &factory);
    second.setFactoryForManager(&manager, &factory);
    first.setFactoryForManager(&manager, &factory);
    QCOMPARE(factory.connects, 1);
    QCOMPARE(factory.propertyManagers().size(), 1);

    first.unsetFactoryForManager(&manager);
    first.unsetFactoryForManager(&manager);
    QCOMPARE(factory.disconnects, 0);
    second.unsetFactoryForManager(&manager);
    QCOMPARE(factory.disconnects, 1);
    QVERIFY(factory.propertyManagers().isEmpty());

    // Bound again, it connects again.
    second.setFactoryForManager(&manager, &factory);
    QCOMPARE(factory.connects, 2);
}

void TstFactoryRegistry::aSecondFactoryReplacesTheFirst()
{
    QtIntPropertyManager manager;
    CountingFactory oldFactory;
    CountingFactory newFactory;
    RecordingBrowser browser;

    browser.setFactoryForManager(&manager, &oldFactory);
    browser.setFactoryForManager(&manager, &newFactory);
    QCOMPARE(oldFactory.disconnects, 1);
    QCOMPARE(newFactory.connects, 1);
    QCOMPARE(QtFactoryRegistry::factoryFor(&browser, &manager), &newFactory);
}

void TstFactoryRegistry::editorsComeFromTheBoundFactory()
{
    QtIntPropertyManager manager;
    QtIntPropertyManager unbound;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QtProperty *q = unbound.addProperty(QStringLiteral("Q"));
    CountingFactory factory;
    RecordingBrowser browser;
    RecordingBrowser other;
    browser.setFactoryForManager(&manager, &factory);

    QWidget parent;
    QVERIFY(browser.createEditor(p, &parent));
    QCOMPARE(other.createEditor(p, &parent), nullptr);
    QCOMPARE(browser.createEditor(q, &parent), nullptr);
    QCOMPARE(browser.createEditor(nullptr, &parent), nullptr);
    QCOMPARE(factory.creates, 1);
}

void TstFactoryRegistry::aDeletedBrowserLeavesNoBinding()
{
    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    CountingFactory factory;
    auto *browser = new RecordingBrowser;
    const void *gone = browser;
    browser->setFactoryForManager(&manager, &factory);
    browser->addProperty(p);

    delete browser;
    // Its last binding broke the factory's connection.
    QCOMPARE(factory.disconnects, 1);
    QCOMPARE(QtFactoryRegistry::factoryFor(static_cast<const QtAbstractPropertyBrowser *>(gone), &manager),
             nullptr);

    RecordingBrowser later;
    later.setFactoryForManager(&manager, &factory);
    QCOMPARE(factory.connects, 2);
    QWidget parent;
    QVERIFY(later.createEditor(p, &parent));
}

void TstFactoryRegistry::aDeletedFactoryLeavesNoBinding()
{
    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    RecordingBrowser first;
    RecordingBrowser second;
    auto *factory = new CountingFactory;
    first.setFactoryForManager(&manager, factory);
    second.setFactoryForManager(&manager, factory);

    QWidget parent;
    QPointer<QWidget> editor = first.createEditor(p, &parent);
    QVERIFY(editor);
    delete factory;
    QVERIFY(editor.isNull());

    // Nothing reaches the freed factory: no editor, no unbinding call.
    QCOMPARE(first.createEditor(p, &parent), nullptr);
    first.unsetFactoryForManager(&manager);
    QCOMPARE(QtFactoryRegistry::factoryFor(&second, &manager), nullptr);

    CountingFactory replacement;
    second.setFactoryForManager(&manager, &replacement);
    QCOMPARE(replacement.connects, 1);
    QVERIFY(second.createEditor(p, &parent));
    second.unsetFactoryForManager(&manager);
    QCOMPARE(replacement.disconnects, 1);
}

void TstFactoryRegistry::aDeletedManagerLeavesNoBinding()
{
    CountingFactory factory;
    RecordingBrowser first;
    RecordingBrowser second;
    auto *manager = new QtIntPropertyManager;
    const void *gone = manager;
    first.setFactoryForManager(manager, &factory);
    second.setFactoryForManager(manager, &factory);
    first.addProperty(manager->addProperty(QStringLiteral("P")));

    delete manager;
    // The factory forgot it by itself; nothing was called for it.
    QVERIFY(factory.propertyManagers().isEmpty());
    QCOMPARE(factory.disconnects, 0);
    const auto *stale = static_cast<const QtAbstractPropertyManager *>(gone);
    QCOMPARE(QtFactoryRegistry::factoryFor(&first, stale), nullptr);
    QCOMPARE(QtFactoryRegistry::factoryFor(&second, stale), nullptr);
    QVERIFY(first.properties().isEmpty());

    QtIntPropertyManager later;
    QtProperty *p = later.addProperty(QStringLiteral("P"));
    first.setFactoryForManager(&later, &factory);
    QCOMPARE(factory.connects, 2);
    QWidget parent;
    QVERIFY(first.createEditor(p, &parent));
}

QTEST_MAIN(TstFactoryRegistry)
#include "tst_factoryregistry.moc"
