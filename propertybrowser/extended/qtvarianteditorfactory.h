// The editor factory of variant properties. It makes no editor itself: it owns
// thirteen typed editor factories, attaches them to the typed managers of a
// variant manager (and to the inner managers of its compound managers, whose
// sub-properties thereby get editors) and hands each request for an editor to the
// typed factory of the property's type, for the property's internal property.
//
// Point, size, rectangle (and their F forms), locale, size-policy, flag and group
// properties get no editor of their own; the components of compound values do.
//
// GUI thread only.
#pragma once

#include "propertybrowser/extended/qtvariantproperty.h"
#include "propertybrowser/qtabstracteditorfactory.h"

#include <memory>

class QtVariantEditorFactoryPrivate;

class QtVariantEditorFactory : public QtAbstractEditorFactory<QtVariantPropertyManager>
{
    Q_OBJECT
public:
    explicit QtVariantEditorFactory(QObject *parent = nullptr);
    // Detaches nothing; the typed factories die with it and delete their editors.
    ~QtVariantEditorFactory() override;
    using QtAbstractEditorFactory<QtVariantPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtVariantPropertyManager *manager) override;
    // Null for a type without a typed factory and for a property without an
    // internal property.
    QWidget *createEditor(QtVariantPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtVariantPropertyManager *manager) override;

private:
    std::unique_ptr<QtVariantEditorFactoryPrivate> d_ptr;
};
