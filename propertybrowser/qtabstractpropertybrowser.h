// The base widget of property browsers. The user adds top-level properties; the
// browser mirrors each one's whole sub-tree as QtBrowserItem objects (one item per
// place where a property is shown), follows the managers' signals to keep that
// mirror current and tells the concrete browser that an item was inserted (parent
// before children), removed (children first, last first) or changed.
//
// Per browser, one editor factory is bound to each manager (setFactoryForManager);
// createEditor asks it. The bindings live in a process-wide registry
// (qtfactoryregistry.h) that forgets a browser, manager or factory when it goes.
//
// GUI thread only.
#pragma once

#include "propertybrowser/qtabstracteditorfactory.h"
#include "propertybrowser/qtproperty.h"

#include <QList>
#include <QWidget>

#include <memory>

class QtAbstractPropertyBrowser;
class QtAbstractPropertyBrowserPrivate;
class QtBrowserItemPrivate;

// One place where a property is shown. Made and deleted by its browser only.
class QtBrowserItem
{
public:
    QtProperty *property() const;
    // Null for a top-level item.
    QtBrowserItem *parent() const;
    QList<QtBrowserItem *> children() const;
    QtAbstractPropertyBrowser *browser() const;

private:
    explicit QtBrowserItem(QtAbstractPropertyBrowser *browser, QtProperty *property,
                           QtBrowserItem *parent);
    ~QtBrowserItem();

    friend class QtAbstractPropertyBrowserPrivate;
    std::unique_ptr<QtBrowserItemPrivate> d_ptr;
};

class QtAbstractPropertyBrowser : public QWidget
{
    Q_OBJECT
public:
    explicit QtAbstractPropertyBrowser(QWidget *parent = nullptr);
    // Unsets the browser's factory bindings and deletes its items without calling
    // itemRemoved.
    ~QtAbstractPropertyBrowser() override;

    // The top-level properties, in order.
    QList<QtProperty *> properties() const;
    // Every item that shows the property.
    QList<QtBrowserItem *> items(QtProperty *property) const;
    QtBrowserItem *topLevelItem(QtProperty *property) const;
    QList<QtBrowserItem *> topLevelItems() const;
    // Removes every top-level property, the last one first.
    void clear();

    // Makes `factory` the editor factory of the manager's properties in this browser,
    // replacing an earlier one. The factory connects to a manager once, however many
    // browsers bind the pair.
    template <class PropertyManager>
    void setFactoryForManager(PropertyManager *manager,
                              QtAbstractEditorFactory<PropertyManager> *factory)
    {
        if (!manager || !factory)
            return;
        if (bindFactory(manager, factory))
            factory->addPropertyManager(manager);
    }
    // The factory's breakConnection runs when this was its last browser for the manager.
    void unsetFactoryForManager(QtAbstractPropertyManager *manager);

    QtBrowserItem *currentItem() const;
    // Emits currentItemChanged only for a different item.
    void setCurrentItem(QtBrowserItem *item);

signals:
    void currentItemChanged(QtBrowserItem *current);

public slots:
    // Null for a null property and for one that is top-level already.
    QtBrowserItem *addProperty(QtProperty *property);
    // After `afterProperty` among the top-level properties; first when it is null
    // or not top-level.
    QtBrowserItem *insertProperty(QtProperty *property, QtProperty *afterProperty);
    void removeProperty(QtProperty *property);

protected:
    // Called once per new item, before the items of its sub-properties; afterItem
    // is the preceding sibling, null for the first place.
    virtual void itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem) = 0;
    // Called after the items below were removed, before the item is deleted.
    virtual void itemRemoved(QtBrowserItem *item) = 0;
    // Called for every item of a property whose data changed.
    virtual void itemChanged(QtBrowserItem *item) = 0;
    // The editor of the factory bound to the property's manager, or null.
    virtual QWidget *createEditor(QtProperty *property, QWidget *parent);

private slots:
    void slotPropertyInserted(QtProperty *property, QtProperty *parent, QtProperty *after);
    void slotPropertyRemoved(QtProperty *property, QtProperty *parent);
    void slotPropertyDestroyed(QtProperty *property);
    void slotPropertyDataChanged(QtProperty *property);

private:
    bool bindFactory(QtAbstractPropertyManager *manager, QtAbstractEditorFactoryBase *factory);

    friend class QtAbstractPropertyBrowserPrivate;
    std::unique_ptr<QtAbstractPropertyBrowserPrivate> d_ptr;
};
