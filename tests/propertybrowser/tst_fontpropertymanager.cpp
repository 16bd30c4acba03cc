#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtfontpropertymanager.h"

#include <QGuiApplication>
#include <QTest>

// Fonts: the children that mirror them, and the family list read again when the
// installed fonts change. The families come from a list of the test's own.
class TstFontPropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void children();
    void switches_data();
    void switches();
    void equalFontOtherwiseResolved();
    void refresh_data();
    void refresh();
    void twoChangesOneRefresh();
    void emptyListLeavesTheFamily();
    void familyFromBeforeTheList();
};

namespace {

QStringList families;
int familyReads = 0;

QStringList testFamilies()
{
    ++familyReads;
    return families;
}

const QStringList kAbc{"Alpha", "Beta", "Gamma"};

QFont fontOf(const QString &family, int pointSize = 10)
{
    QFont font(family);
    font.setPointSize(pointSize);
    return font;
}

void databaseChanged()
{
    QMetaObject::invokeMethod(qApp, "fontDatabaseChanged");
}

struct FontFixture
{
    QtFontPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));

    QtProperty *child(const char *name) const { return subNamed(p, QString::fromLatin1(name)); }
    int familyIndex() const { return manager.subEnumPropertyManager()->value(child("Family")); }
};

} // namespace

void TstFontPropertyManager::initTestCase()
{
    ConnectWarningGuard::install();
    QtFontPropertyManager::setFamilySource(testFamilies);
}

void TstFontPropertyManager::cleanupTestCase()
{
    QtFontPropertyManager::setFamilySource(nullptr);
}

void TstFontPropertyManager::init()
{
    families = kAbc;
    familyReads = 0;
}

void TstFontPropertyManager::children()
{
    FontFixture f;
    QCOMPARE(propertyNames(f.p->subProperties()),
             (QStringList{"Family", "Point Size", "Bold", "Italic", "Underline", "Strikeout", "Kerning"}));
    QCOMPARE(f.manager.subEnumPropertyManager()->enumNames(f.child("Family")), kAbc);

    // A family that is not installed shows the first one; the font keeps its own.
    f.manager.setValue(f.p, fontOf(QStringLiteral("Nowhere Sans"), 12));
    QCOMPARE(f.familyIndex(), 0);
    QCOMPARE(f.manager.value(f.p).family(), QStringLiteral("Nowhere Sans"));
    QCOMPARE(f.p->valueText(), QStringLiteral("[Nowhere Sans, 12]"));
    QVERIFY(!f.p->valueIcon().isNull());

    SignalLog log{&f.manager};
    f.manager.subEnumPropertyManager()->setValue(f.child("Family"), 2);
    QCOMPARE(withoutValues(log.take()), (QStringList{"propertyChanged(P)", "valueChanged(P)"}));
    QCOMPARE(f.manager.value(f.p).family(), QStringLiteral("Gamma"));

    // The point size does not go below 1.
    f.manager.subIntPropertyManager()->setValue(f.child("Point Size"), -4);
    QCOMPARE(f.manager.value(f.p).pointSize(), 1);
}

void TstFontPropertyManager::switches_data()
{
    QTest::addColumn<QString>("child");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("weight");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<bool>("strikeOut");
    QTest::addColumn<bool>("kerning");

    // From weight 63, which reads as bold, and kerning on.
    QTest::newRow("bold off") << "Bold" << false << 50 << false << false << false << true;
    QTest::newRow("italic") << "Italic" << true << 63 << true << false << false << true;
    QTest::newRow("underline") << "Underline" << true << 63 << false << true << false << true;
    QTest::newRow("strikeout") << "Strikeout" << true << 63 << false << false << true << true;
    QTest::newRow("kerning off") << "Kerning" << false << 63 << false << false << false << false;
}

void TstFontPropertyManager::switches()
{
    QFETCH(QString, child);
    QFETCH(bool, on);

    FontFixture f;
    QFont start = fontOf(QStringLiteral("Beta"));
    start.setWeight(63);
    start.setKerning(true);
    f.manager.setValue(f.p, start);
    QtBoolPropertyManager *switches = f.manager.subBoolPropertyManager();
    QVERIFY(switches->value(f.child("Bold")));

    SignalLog log{&f.manager};
    switches->setValue(subNamed(f.p, child), on);
    QCOMPARE(withoutValues(log.take()), (QStringList{"propertyChanged(P)", "valueChanged(P)"}));
    const QFont font = f.manager.value(f.p);
    QTEST(font.weight(), "weight");
    QTEST(font.italic(), "italic");
    QTEST(font.underline(), "underline");
    QTEST(font.strikeOut(), "strikeOut");
    QTEST(font.kerning(), "kerning");

    // Bold on again is weight 75.
    switches->setValue(f.child("Bold"), false);
    switches->setValue(f.child("Bold"), true);
    QCOMPARE(f.manager.value(f.p).weight(), 75);
}

void TstFontPropertyManager::equalFontOtherwiseResolved()
{
    FontFixture f;
    const QFont plain = fontOf(QStringLiteral("Alpha"));
    f.manager.setValue(f.p, plain);
    QFont explicitWeight = plain;
    explicitWeight.setWeight(plain.weight());
    QCOMPARE(explicitWeight, plain);

    SignalLog log{&f.manager};
    f.manager.setValue(f.p, explicitWeight);
    QCOMPARE(withoutValues(log.take()), (QStringList{"propertyChanged(P)", "valueChanged(P)"}));
    f.manager.setValue(f.p, explicitWeight);
    QCOMPARE(log.entries(), QStringList());
}

void TstFontPropertyManager::refresh_data()
{
    QTest::addColumn<QStringList>("newFamilies");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("changes");

    // The font is on Gamma. A changed list first puts it on the new list's first
    // family, then back on its own.
    QTest::newRow("the same list") << kAbc << "Gamma" << 2 << 0;
    QTest::newRow("the family moves") << QStringList{"Beta", "Gamma"} << "Gamma" << 1 << 2;
    QTest::newRow("the family is gone") << QStringList{"Alpha", "Beta"} << "Alpha" << 0 << 1;
    QTest::newRow("the family stays first") << QStringList{"Gamma", "Delta"} << "Gamma" << 0 << 0;
}

void TstFontPropertyManager::refresh()
{
    QFETCH(QStringList, newFamilies);

    FontFixture f;
    f.manager.setValue(f.p, fontOf(QStringLiteral("Gamma")));
    families = newFamilies;
    SignalLog log{&f.manager};
    databaseChanged();
    QTRY_COMPARE(familyReads, 2);
    QCOMPARE(f.manager.subEnumPropertyManager()->enumNames(f.child("Family")), newFamilies);
    QTEST(f.manager.value(f.p).family(), "family");
    QTEST(f.familyIndex(), "index");
    QTEST(int(log.entries().count(QStringLiteral("propertyChanged(P)"))), "changes");
}

void TstFontPropertyManager::twoChangesOneRefresh()
{
    FontFixture f;
    QCOMPARE(familyReads, 1);
    families = QStringList{"Beta"};
    databaseChanged();
    databaseChanged();
    QTRY_COMPARE(f.manager.value(f.p).family(), QStringLiteral("Beta"));
    QCoreApplication::processEvents();
    QCOMPARE(familyReads, 2);
}

// With no family installed the Family child has no index: nothing changes.
void TstFontPropertyManager::emptyListLeavesTheFamily()
{
    FontFixture f;
    f.manager.setValue(f.p, fontOf(QStringLiteral("Beta")));
    families.clear();
    SignalLog log{&f.manager};
    databaseChanged();
    QTRY_COMPARE(familyReads, 2);
    QCOMPARE(f.familyIndex(), -1);
    QCOMPARE(log.entries(), QStringList());
    QCOMPARE(f.manager.value(f.p).family(), QStringLiteral("Beta"));
}

// A property made while the list was empty takes its font's own family at the
// first refresh.
void TstFontPropertyManager::familyFromBeforeTheList()
{
    families.clear();
    FontFixture f;
    f.manager.setValue(f.p, fontOf(QStringLiteral("Gamma")));
    QCOMPARE(f.familyIndex(), -1);
    families = kAbc;
    databaseChanged();
    QTRY_COMPARE(f.familyIndex(), 2);
    QCOMPARE(f.manager.value(f.p).family(), QStringLiteral("Gamma"));
}

QTEST_MAIN(TstFontPropertyManager)
#include "tst_fontpropertymanager.moc"
