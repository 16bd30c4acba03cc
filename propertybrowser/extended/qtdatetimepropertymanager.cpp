#include "propertybrowser/extended/qtdatetimepropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"

#include <QLocale>

class QtDateTimePropertyManagerPrivate
    : public QtSingleValuePrivate<QtDateTimePropertyManager, QDateTime>
{
public:
    using QtSingleValuePrivate::QtSingleValuePrivate;

    const QString format = QLocale().dateFormat(QLocale::ShortFormat) + QLatin1Char(' ')
                           + QLocale().timeFormat(QLocale::ShortFormat);
};

QtDateTimePropertyManager::QtDateTimePropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent),
      d_ptr(std::make_unique<QtDateTimePropertyManagerPrivate>(this))
{
}

QtDateTimePropertyManager::~QtDateTimePropertyManager()
{
    clear();
}

QDateTime QtDateTimePropertyManager::value(const QtProperty *property) const
{
    return d_ptr->value(property);
}

QString QtDateTimePropertyManager::valueText(const QtProperty *property) const
{
    const QDateTime *dateTime = d_ptr->find(property);
    return dateTime ? dateTime->toString(d_ptr->format) : QString();
}

void QtDateTimePropertyManager::setValue(QtProperty *property, const QDateTime &val)
{
    d_ptr->setValue(property, val);
}

void QtDateTimePropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property, QDateTime::currentDateTime());
}

void QtDateTimePropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}
