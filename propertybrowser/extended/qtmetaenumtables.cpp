#include "propertybrowser/extended/qtmetaenumtables.h"

#include <QMetaProperty>

QtMetaEnumTables *QtMetaEnumTables::instance()
{
    static QtMetaEnumTables tables;
    return &tables;
}

QtMetaEnumTables::QtMetaEnumTables()
{
    const QMetaObject &meta = QtMetaEnumWrapper::staticMetaObject;
    m_policyEnum = meta.property(meta.propertyOffset()).enumerator();
    for (int i = 0; i < m_policyEnum.keyCount(); ++i)
        m_policyEnumNames.append(QString::fromLatin1(m_policyEnum.key(i)));

    // Every language Qt knows that has locale data of its own, by name.
    QMultiMap<QString, QLocale::Language> byName;
    for (int code = QLocale::C; code <= QLocale::LastLanguage; ++code) {
        const auto language = QLocale::Language(code);
        if (QLocale(language, QLocale::AnyCountry).language() == language)
            byName.insert(QLocale::languageToString(language), language);
    }
    const QLocale system = QLocale::system();
    const QString systemName = QLocale::languageToString(system.language());
    if (!byName.contains(systemName))
        byName.insert(systemName, system.language());

    for (const QLocale::Language language : byName) {
        QList<QLocale::Country> countries = QLocale::countriesForLanguage(language);
        if (countries.isEmpty() && language == system.language())
            countries << system.country();
        if (!countries.isEmpty() && !m_languageToIndex.contains(language))
            addLanguage(language, countries);
    }
}

void QtMetaEnumTables::addLanguage(QLocale::Language language, const QList<QLocale::Country> &countries)
{
    QMultiMap<QString, QLocale::Country> byName;
    for (const QLocale::Country country : countries)
        byName.insert(QLocale::countryToString(country), country);

    const int languageIndex = m_languageEnumNames.size();
    m_indexToLanguage.insert(languageIndex, language);
    m_languageToIndex.insert(language, languageIndex);
    QStringList names;
    for (auto it = byName.cbegin(); it != byName.cend(); ++it) {
        const int countryIndex = names.size();
        names.append(it.key());
        m_indexToCountry[languageIndex].insert(countryIndex, it.value());
        m_countryToIndex[language].insert(it.value(), countryIndex);
    }
    m_languageEnumNames.append(QLocale::languageToString(language));
    m_countryEnumNames.insert(language, names);
}

int QtMetaEnumTables::policyToIndex(QSizePolicy::Policy policy) const
{
    for (int i = 0; i < m_policyEnum.keyCount(); ++i) {
        if (m_policyEnum.value(i) == int(policy))
            return i;
    }
    return -1;
}

QSizePolicy::Policy QtMetaEnumTables::indexToPolicy(int index) const
{
    return QSizePolicy::Policy(m_policyEnum.value(index) & 0xF);
}

void QtMetaEnumTables::indexToLocale(int languageIndex, int countryIndex, QLocale::Language *language,
                                     QLocale::Country *country) const
{
    if (language)
        *language = m_indexToLanguage.value(languageIndex, QLocale::C);
    if (country)
        *country = m_indexToCountry.value(languageIndex).value(countryIndex, QLocale::AnyCountry);
}

void QtMetaEnumTables::localeToIndex(QLocale::Language language, QLocale::Country country,
                                     int *languageIndex, int *countryIndex) const
{
    if (languageIndex)
        *languageIndex = m_languageToIndex.value(language, -1);
    if (countryIndex)
        *countryIndex = m_countryToIndex.value(language).value(country, -1);
}
