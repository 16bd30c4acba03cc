#include "propertybrowser/qtabstracteditorfactory.h"

#include "propertybrowser/qtfactoryregistry.h"

QtAbstractEditorFactoryBase::QtAbstractEditorFactoryBase(QObject *parent) : QObject(parent) {}

QtAbstractEditorFactoryBase::~QtAbstractEditorFactoryBase()
{
    QtFactoryRegistry::forgetFactory(this);
}
