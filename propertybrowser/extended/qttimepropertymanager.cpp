#include "propertybrowser/extended/qttimepropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"

#include <QLocale>

class QtTimePropertyManagerPrivate : public QtSingleValuePrivate<QtTimePropertyManager, QTime>
{
public:
    using QtSingleValuePrivate::QtSingleValuePrivate;

    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
};

QtTimePropertyManager::QtTimePropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtTimePropertyManagerPrivate>(this))
{
}

QtTimePropertyManager::~QtTimePropertyManager()
{
    clear();
}

QTime QtTimePropertyManager::value(const QtProperty *property) const
{
    return d_ptr->value(property);
}

QString QtTimePropertyManager::valueText(const QtProperty *property) const
{
    const QTime *time = d_ptr->find(property);
    return time ? time->toString(d_ptr->format) : QString();
}

void QtTimePropertyManager::setValue(QtProperty *property, const QTime &val)
{
    d_ptr->setValue(property, val);
}

void QtTimePropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property, QTime::currentTime());
}

void QtTimePropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}
