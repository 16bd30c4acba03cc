#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtlocalepropertymanager.h"
#include "propertybrowser/extended/qtmetaenumtables.h"

#include <QTest>

#include <algorithm>

// The enumeration tables and the locale manager built on them.
class TstLocalePropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void languageList();
    void indexLookups_data();
    void indexLookups();
    void policyNames();
    void languageChoiceRebuildsCountries();
    void countryChoiceKeepsLanguage();
    void countryAfterLanguageChildIsGone();
};

namespace {

QtMetaEnumTables *tables()
{
    return QtMetaEnumTables::instance();
}

int languageIndex(QLocale::Language language)
{
    int index = -1;
    tables()->localeToIndex(language, QLocale::AnyCountry, &index, nullptr);
    return index;
}

int countryIndex(QLocale::Language language, QLocale::Country country)
{
    int index = -1;
    tables()->localeToIndex(language, country, nullptr, &index);
    return index;
}

} // namespace

void TstLocalePropertyManager::initTestCase()
{
    ConnectWarningGuard::install();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TstLocalePropertyManager::languageList()
{
    const QStringList names = tables()->languageEnumNames();
    for (int i = 1; i < names.size(); ++i)
        QVERIFY2(names.at(i - 1) < names.at(i), qPrintable(names.at(i - 1) + " / " + names.at(i)));

    // The system language is there, with at least the system country.
    const QLocale system = QLocale::system();
    QVERIFY(names.contains(QLocale::languageToString(system.language())));
    QVERIFY(!tables()->countryEnumNames(system.language()).isEmpty());

    // Languages past code 359 have locale data of their own.
    QVERIFY(names.contains(QStringLiteral("Nigerian Pidgin")));
    QCOMPARE(tables()->countryEnumNames(QLocale::NigerianPidgin), QStringList{"Nigeria"});

    // Countries by name.
    const QStringList german = tables()->countryEnumNames(QLocale::German);
    QVERIFY(german.contains(QStringLiteral("Austria")));
    QVERIFY(std::is_sorted(german.begin(), german.end()));
}

void TstLocalePropertyManager::indexLookups_data()
{
    QTest::addColumn<int>("languageIndex");
    QTest::addColumn<int>("countryIndex");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("country");

    const int german = languageIndex(QLocale::German);
    const int austria = countryIndex(QLocale::German, QLocale::Austria);
    QTest::newRow("listed") << german << austria << int(QLocale::German) << int(QLocale::Austria);
    QTest::newRow("country not listed") << german << 9999 << int(QLocale::German) << int(QLocale::AnyCountry);
    QTest::newRow("language not listed") << -1 << 0 << int(QLocale::C) << int(QLocale::AnyCountry);
}

void TstLocalePropertyManager::indexLookups()
{
    QFETCH(int, languageIndex);
    QFETCH(int, countryIndex);
    QLocale::Language language = QLocale::AnyLanguage;
    QLocale::Country country = QLocale::Lebanon;
    tables()->indexToLocale(languageIndex, countryIndex, &language, &country);
    QTEST(int(language), "language");
    QTEST(int(country), "country");
    tables()->indexToLocale(languageIndex, countryIndex, nullptr, nullptr);

    // And back, where the indexes are listed.
    if (country != QLocale::AnyCountry) {
        int li = -2;
        int ci = -2;
        tables()->localeToIndex(language, country, &li, &ci);
        QCOMPARE(li, languageIndex);
        QCOMPARE(ci, countryIndex);
    }
}

void TstLocalePropertyManager::policyNames()
{
    const QStringList keys{"Fixed", "Minimum", "Maximum", "Preferred", "MinimumExpanding", "Expanding", "Ignored"};
    QCOMPARE(tables()->policyEnumNames(), keys);
    QCOMPARE(tables()->policyToIndex(QSizePolicy::Expanding), 5);
    QCOMPARE(tables()->policyToIndex(QSizePolicy::Policy(2)), -1);
    QCOMPARE(tables()->indexToPolicy(6), QSizePolicy::Ignored);
}

void TstLocalePropertyManager::languageChoiceRebuildsCountries()
{
    QtLocalePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QtEnumPropertyManager *inner = manager.subEnumPropertyManager();
    QtProperty *language = subNamed(p, QStringLiteral("Language"));
    QtProperty *country = subNamed(p, QStringLiteral("Country"));
    QCOMPARE(manager.value(p), QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(inner->enumNames(language), tables()->languageEnumNames());
    QCOMPARE(inner->value(language), languageIndex(QLocale::German));
    QCOMPARE(inner->value(country), countryIndex(QLocale::German, QLocale::Germany));

    // French has no German country: the new language takes its own.
    inner->setValue(language, languageIndex(QLocale::French));
    QCOMPARE(manager.value(p), QLocale(QLocale::French, QLocale::France));
    QCOMPARE(inner->enumNames(country), tables()->countryEnumNames(QLocale::French));
    QCOMPARE(inner->value(country), countryIndex(QLocale::French, QLocale::France));
    QCOMPARE(p->valueText(), QStringLiteral("French, France"));

    // The previous country is kept where the new language has it.
    manager.setValue(p, QLocale(QLocale::French, QLocale::Switzerland));
    inner->setValue(language, languageIndex(QLocale::German));
    QCOMPARE(manager.value(p), QLocale(QLocale::German, QLocale::Switzerland));
}

void TstLocalePropertyManager::countryChoiceKeepsLanguage()
{
    QtLocalePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QtEnumPropertyManager *inner = manager.subEnumPropertyManager();
    SignalLog log{&manager, inner};
    manager.setValue(p, QLocale(QLocale::German, QLocale::Austria));
    const QString austria = QString::number(countryIndex(QLocale::German, QLocale::Austria));
    QCOMPARE(withoutValues(log.take()), (QStringList{"propertyChanged(Country)", "valueChanged(Country)",
                                                     "propertyChanged(P)", "valueChanged(P)"}));
    manager.setValue(p, QLocale(QLocale::German, QLocale::Austria));
    QCOMPARE(log.entries(), QStringList());
    QCOMPARE(inner->value(subNamed(p, QStringLiteral("Country"))), austria.toInt());

    // A Pidgin locale is listed and named.
    manager.setValue(p, QLocale(QLocale::NigerianPidgin, QLocale::Nigeria));
    QCOMPARE(p->valueText(), QStringLiteral("Nigerian Pidgin, Nigeria"));
    QCOMPARE(inner->value(subNamed(p, QStringLiteral("Language"))), languageIndex(QLocale::NigerianPidgin));
}

// The Country child alone still means a country of the locale's own language.
void TstLocalePropertyManager::countryAfterLanguageChildIsGone()
{
    QtLocalePropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    delete subNamed(p, QStringLiteral("Language"));
    manager.subEnumPropertyManager()->setValue(subNamed(p, QStringLiteral("Country")),
                                               countryIndex(QLocale::German, QLocale::Austria));
    QCOMPARE(manager.value(p), QLocale(QLocale::German, QLocale::Austria));
}

QTEST_MAIN(TstLocalePropertyManager)
#include "tst_localepropertymanager.moc"
