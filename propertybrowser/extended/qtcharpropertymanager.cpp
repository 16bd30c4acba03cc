#include "propertybrowser/extended/qtcharpropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"

QtCharPropertyManager::QtCharPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent),
      d_ptr(std::make_unique<QtSingleValuePrivate<QtCharPropertyManager, QChar>>(this))
{
}

QtCharPropertyManager::~QtCharPropertyManager()
{
    clear();
}

QChar QtCharPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->value(property);
}

QString QtCharPropertyManager::valueText(const QtProperty *property) const
{
    const QChar *ch = d_ptr->find(property);
    return ch && !ch->isNull() ? QString(*ch) : QString();
}

void QtCharPropertyManager::setValue(QtProperty *property, const QChar &val)
{
    d_ptr->setValue(property, val);
}

void QtCharPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property, QChar());
}

void QtCharPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}
