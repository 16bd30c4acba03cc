#include "propertybrowser/extended/qtdatepropertymanager.h"

#include "propertybrowser/qtboundedvalue.h"
#include "propertybrowser/qtpropertyrecords_p.h"

#include <QLocale>

namespace {

using DateData = QtBoundedValue<QDate>;

} // namespace

class QtDatePropertyManagerPrivate
{
public:
    explicit QtDatePropertyManagerPrivate(QtDatePropertyManager *manager)
        : q_ptr(manager), format(QLocale().dateFormat(QLocale::ShortFormat))
    {
    }

    QtDatePropertyManager *q_ptr;
    const QString format;
    QtPropertyRecords<DateData> values;
};

QtDatePropertyManager::QtDatePropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtDatePropertyManagerPrivate>(this))
{
}

QtDatePropertyManager::~QtDatePropertyManager()
{
    clear();
}

QDate QtDatePropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DateData::value);
}

QDate QtDatePropertyManager::minimum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DateData::minimum);
}

QDate QtDatePropertyManager::maximum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DateData::maximum);
}

QString QtDatePropertyManager::valueText(const QtProperty *property) const
{
    const DateData *data = d_ptr->values.find(property);
    return data ? data->value.toString(d_ptr->format) : QString();
}

void QtDatePropertyManager::setValue(QtProperty *property, const QDate &val, bool onlyIfChanged)
{
    if (DateData *data = d_ptr->values.find(property))
        QtBoundedSetters::setValue(this, property, *data, val, onlyIfChanged);
}

void QtDatePropertyManager::setValue(QtProperty *property, const QDate &val)
{
    setValue(property, val, true);
}

void QtDatePropertyManager::setMinimum(QtProperty *property, const QDate &minVal)
{
    if (DateData *data = d_ptr->values.find(property))
        QtBoundedSetters::setMinimum(this, property, *data, minVal);
}

void QtDatePropertyManager::setMaximum(QtProperty *property, const QDate &maxVal)
{
    if (DateData *data = d_ptr->values.find(property))
        QtBoundedSetters::setMaximum(this, property, *data, maxVal);
}

void QtDatePropertyManager::setRange(QtProperty *property, const QDate &minVal, const QDate &maxVal)
{
    if (DateData *data = d_ptr->values.find(property))
        QtBoundedSetters::setRange(this, property, *data, minVal, maxVal);
}

void QtDatePropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
    DateData *data = d_ptr->values.find(property);
    data->value = QDate::currentDate();
    data->minimum = QDate(1752, 9, 14);
    data->maximum = QDate(7999, 12, 31);
}

void QtDatePropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->values.uninitialize(property);
}
