// The enumeration tables of the locale and size-policy properties, built once per
// process on first use from Qt's locale data and the system locale of that moment,
// then only read.
//
// Languages are listed in the order of their names; only a language that has
// countries is listed, and the system language always is (with at least the system
// country). Each language has its own country list, ordered by name. Indexes count
// from 0 in list order; -1 stands for "not listed".
#pragma once

#include <QLocale>
#include <QMap>
#include <QMetaEnum>
#include <QObject>
#include <QSizePolicy>
#include <QStringList>

// Carries QSizePolicy::Policy into a meta-object, where its key names can be read.
class QtMetaEnumWrapper : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QSizePolicy::Policy policy READ policy)
public:
    QSizePolicy::Policy policy() const { return QSizePolicy::Ignored; }

private:
    QtMetaEnumWrapper() = default;
};

class QtMetaEnumTables
{
public:
    // Built by the first call from any thread; destroyed at exit.
    static QtMetaEnumTables *instance();

    // The key names of QSizePolicy::Policy in key order.
    QStringList policyEnumNames() const { return m_policyEnumNames; }
    QStringList languageEnumNames() const { return m_languageEnumNames; }
    // Empty for a language that is not listed.
    QStringList countryEnumNames(QLocale::Language language) const
    {
        return m_countryEnumNames.value(language);
    }

    // The first key whose value is the policy's, or -1.
    int policyToIndex(QSizePolicy::Policy policy) const;
    // Only the policy's four bits of the key's value.
    QSizePolicy::Policy indexToPolicy(int index) const;

    // QLocale::C and QLocale::AnyCountry for indexes that are not listed. Either
    // out-argument may be null.
    void indexToLocale(int languageIndex, int countryIndex, QLocale::Language *language,
                       QLocale::Country *country) const;
    // -1 for what is not listed. Either out-argument may be null.
    void localeToIndex(QLocale::Language language, QLocale::Country country, int *languageIndex,
                       int *countryIndex) const;

private:
    QtMetaEnumTables();
    void addLanguage(QLocale::Language language, const QList<QLocale::Country> &countries);

    QStringList m_policyEnumNames;
    QStringList m_languageEnumNames;
    QMap<QLocale::Language, QStringList> m_countryEnumNames;
    QMap<int, QLocale::Language> m_indexToLanguage;
    QMap<QLocale::Language, int> m_languageToIndex;
    QMap<int, QMap<int, QLocale::Country>> m_indexToCountry;
    QMap<QLocale::Language, QMap<QLocale::Country, int>> m_countryToIndex;
    QMetaEnum m_policyEnum;
};
