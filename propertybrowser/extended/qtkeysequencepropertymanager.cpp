#include "propertybrowser/extended/qtkeysequencepropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"

QtKeySequencePropertyManager::QtKeySequencePropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent),
      d_ptr(std::make_unique<QtSingleValuePrivate<QtKeySequencePropertyManager, QKeySequence>>(this))
{
}

QtKeySequencePropertyManager::~QtKeySequencePropertyManager()
{
    clear();
}

QKeySequence QtKeySequencePropertyManager::value(const QtProperty *property) const
{
    return d_ptr->value(property);
}

QString QtKeySequencePropertyManager::valueText(const QtProperty *property) const
{
    const QKeySequence *sequence = d_ptr->find(property);
    return sequence ? sequence->toString(QKeySequence::NativeText) : QString();
}

void QtKeySequencePropertyManager::setValue(QtProperty *property, const QKeySequence &val)
{
    d_ptr->setValue(property, val);
}

void QtKeySequencePropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property, QKeySequence());
}

void QtKeySequencePropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}
