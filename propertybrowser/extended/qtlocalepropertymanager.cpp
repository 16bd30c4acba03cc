#include "propertybrowser/extended/qtlocalepropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"
#include "propertybrowser/extended/qtmetaenumtables.h"

namespace {

enum LocaleComponent { Language, Country, LocaleComponentCount };

struct LocaleIndexes
{
    int language = 0;
    int country = 0;
};

LocaleIndexes indexesOf(const QLocale &locale)
{
    LocaleIndexes out;
    QtMetaEnumTables::instance()->localeToIndex(locale.language(), locale.country(), &out.language,
                                                &out.country);
    return out;
}

} // namespace

class QtLocalePropertyManagerPrivate
{
public:
    explicit QtLocalePropertyManagerPrivate(QtLocalePropertyManager *manager)
        : q_ptr(manager), inner(new QtEnumPropertyManager(manager))
    {
    }

    QtLocalePropertyManager *q_ptr;
    QtPropertyRecords<QtValueRecord<QLocale>> values;
    QtEnumPropertyManager *inner;
    QtComponentLinks<LocaleComponentCount> links;
};

QtLocalePropertyManager::QtLocalePropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtLocalePropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotEnumChanged(QtProperty *, int)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtLocalePropertyManager::~QtLocalePropertyManager()
{
    clear();
}

QLocale QtLocalePropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtValueRecord<QLocale>::value);
}

QtEnumPropertyManager *QtLocalePropertyManager::subEnumPropertyManager() const
{
    return d_ptr->inner;
}

QString QtLocalePropertyManager::valueText(const QtProperty *property) const
{
    const auto *record = d_ptr->values.find(property);
    if (!record)
        return QString();
    const QLocale &locale = record->value;
    const QtMetaEnumTables *tables = QtMetaEnumTables::instance();
    const LocaleIndexes index = indexesOf(locale);
    const QString language = index.language < 0 ? QLocale::languageToString(locale.language())
                                                 : tables->languageEnumNames().at(index.language);
    const QString country = index.country < 0
                                ? QLocale::countryToString(locale.country())
                                : tables->countryEnumNames(locale.language()).at(index.country);
    return tr("%1, %2").arg(language, country);
}

void QtLocalePropertyManager::setValue(QtProperty *property, const QLocale &val)
{
    auto *record = d_ptr->values.find(property);
    if (!record || record->value == val)
        return;
    const QLocale::Language oldLanguage = record->value.language();
    storeAndAnnounce(this, property, record->value, val, [this, property, oldLanguage](const QLocale &locale) {
        const LocaleIndexes index = indexesOf(locale);
        QtProperty *countrySub = d_ptr->links.subProperty(Country, property);
        if (locale.language() != oldLanguage) {
            d_ptr->inner->setValue(d_ptr->links.subProperty(Language, property), index.language);
            d_ptr->inner->setEnumNames(countrySub,
                                       QtMetaEnumTables::instance()->countryEnumNames(locale.language()));
        }
        d_ptr->inner->setValue(countrySub, index.country);
    });
}

void QtLocalePropertyManager::slotEnumChanged(QtProperty *sub, int val)
{
    const auto found = d_ptr->links.find(sub);
    if (!found.parent)
        return;
    const QtMetaEnumTables *tables = QtMetaEnumTables::instance();
    const QLocale locale = value(found.parent);
    QLocale::Language language = QLocale::C;
    QLocale::Country country = locale.country();
    if (found.component == Language) {
        tables->indexToLocale(val, 0, &language, nullptr);
    } else {
        // The language shown beside the country; the locale's own once that
        // sub-property is gone, rather than no language at all.
        const QtProperty *languageSub = d_ptr->links.subProperty(Language, found.parent);
        const int languageIndex = languageSub ? d_ptr->inner->value(languageSub) : indexesOf(locale).language;
        tables->indexToLocale(languageIndex, val, &language, &country);
    }
    setValue(found.parent, QLocale(language, country));
}

void QtLocalePropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtLocalePropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
    const QLocale locale;
    const LocaleIndexes index = indexesOf(locale);
    const QtMetaEnumTables *tables = QtMetaEnumTables::instance();
    QtEnumPropertyManager *inner = d_ptr->inner;
    addComponent(property, inner, d_ptr->links[Language], tr("Language"), [&](QtProperty *sub) {
        inner->setEnumNames(sub, tables->languageEnumNames());
        inner->setValue(sub, index.language);
    });
    addComponent(property, inner, d_ptr->links[Country], tr("Country"), [&](QtProperty *sub) {
        inner->setEnumNames(sub, tables->countryEnumNames(locale.language()));
        inner->setValue(sub, index.country);
    });
}

void QtLocalePropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->links.releaseAll(property);
    d_ptr->values.uninitialize(property);
}
