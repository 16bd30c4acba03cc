#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/qtenumpropertymanager.h"

#include <QPixmap>
#include <QTest>

using EnumStep = ManagerStep<QtEnumPropertyManager>;
Q_DECLARE_METATYPE(EnumStep)

namespace {

const QStringList abc{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};

QIcon filledIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(4, 4);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

} // namespace

class TstEnumPropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void defaults();
    void setters_data();
    void setters();
    void textAndIconFollowTheIndex();
};

void TstEnumPropertyManager::defaults()
{
    QtEnumPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QCOMPARE(manager.value(p), -1);
    QVERIFY(manager.enumNames(p).isEmpty());
    QVERIFY(manager.enumIcons(p).isEmpty());
    QVERIFY(p->valueText().isEmpty());

    QtEnumPropertyManager other;
    QtProperty *foreign = other.addProperty(QStringLiteral("F"));
    other.setEnumNames(foreign, abc);
    QCOMPARE(manager.value(foreign), -1);
    QVERIFY(manager.enumNames(foreign).isEmpty());
}

void TstEnumPropertyManager::setters_data()
{
    QTest::addColumn<EnumStep>("setup");
    QTest::addColumn<EnumStep>("action");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<int>("value");

    const EnumStep none = [](QtEnumPropertyManager &, QtProperty *) {};
    const EnumStep named = [](QtEnumPropertyManager &m, QtProperty *p) { m.setEnumNames(p, abc); };

    QTest::newRow("an index within the names")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) { m.setValue(p, 2); })
        << QStringList{"propertyChanged(P)", "valueChanged(P,2)"} << 2;
    QTest::newRow("the same index")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) { m.setValue(p, 0); })
        << QStringList() << 0;
    QTest::newRow("an index past the names is ignored")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) { m.setValue(p, 3); })
        << QStringList() << 0;
    QTest::newRow("a negative index is ignored while there are names")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) { m.setValue(p, -1); })
        << QStringList() << 0;
    QTest::newRow("without names every index is ignored")
        << none << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) {
               m.setValue(p, 0);
               m.setValue(p, -5);
           })
        << QStringList() << -1;
    QTest::newRow("the second channel")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) {
               m.setValueNoUpdate(p, 1);
               m.setValueNoUpdate(p, 1);
               m.setValueNoUpdate(p, 5);
           })
        << QStringList{"propertyChanged(P)", "valueChangedNoUpdate(P,1)"} << 1;
    QTest::newRow("new names select the first, announced even at 0")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) {
               m.setEnumNames(p, {QStringLiteral("x"), QStringLiteral("y")});
           })
        << QStringList{"enumNamesChanged(P,x|y)", "propertyChanged(P)", "valueChanged(P,0)"} << 0;
    QTest::newRow("new names move the value back to 0")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) {
               m.setValue(p, 2);
               m.setEnumNames(p, {QStringLiteral("x")});
           })
        << QStringList{"propertyChanged(P)", "valueChanged(P,2)", "enumNamesChanged(P,x)",
                       "propertyChanged(P)", "valueChanged(P,0)"}
        << 0;
    QTest::newRow("no names select none")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) { m.setEnumNames(p, {}); })
        << QStringList{"enumNamesChanged(P,)", "propertyChanged(P)", "valueChanged(P,-1)"} << -1;
    QTest::newRow("equal names do nothing")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) { m.setEnumNames(p, abc); })
        << QStringList() << 0;
    QTest::newRow("icons are announced every time")
        << named << EnumStep([](QtEnumPropertyManager &m, QtProperty *p) {
               m.setEnumIcons(p, {});
               m.setEnumIcons(p, {});
           })
        << QStringList{"enumIconsChanged(P,QMap<int,QIcon>)", "propertyChanged(P)",
                       "enumIconsChanged(P,QMap<int,QIcon>)", "propertyChanged(P)"}
        << 0;
}

void TstEnumPropertyManager::setters()
{
    QFETCH(EnumStep, setup);
    QFETCH(EnumStep, action);

    QtEnumPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QTEST(signalsOf<QtEnumPropertyManager>(manager, p, setup, action), "emitted");
    QTEST(manager.value(p), "value");
}

void TstEnumPropertyManager::textAndIconFollowTheIndex()
{
    QtEnumPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setEnumNames(p, abc);
    const QIcon red = filledIcon(Qt::red);
    manager.setEnumIcons(p, {{1, red}});

    QCOMPARE(p->valueText(), QStringLiteral("a"));
    QVERIFY(p->valueIcon().isNull());
    manager.setValue(p, 1);
    QCOMPARE(p->valueText(), QStringLiteral("b"));
    QCOMPARE(p->valueIcon().cacheKey(), red.cacheKey());
    QCOMPARE(manager.enumIcons(p).size(), 1);
}

QTEST_MAIN(TstEnumPropertyManager)
#include "tst_enumpropertymanager.moc"
