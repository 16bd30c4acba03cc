// Editor factories make the in-place editors of one kind of value manager, keep
// every editor in step with its property and push what the user commits back into
// the manager. A browser binds one factory per manager (setFactoryForManager) and
// asks it for an editor when the user starts editing.
//
//   QtAbstractEditorFactoryBase: what a browser sees of a factory;
//   QtAbstractEditorFactory<Manager>: the managers a factory serves, attaching and
//     detaching them, and dispatching editor creation to the concrete factory.
// A concrete factory keeps its editors in an EditorRegistry (editorregistry.h).
//
// A manager that is being destroyed is matched by address only; nothing is cast or
// called on it. GUI thread only; every connection is direct.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QObject>
#include <QSet>
#include <QWidget>

class QtAbstractEditorFactoryBase : public QObject
{
    Q_OBJECT
public:
    // An editor for the property, or null when the factory does not serve its manager.
    virtual QWidget *createEditor(QtProperty *property, QWidget *parent) = 0;
    // Stop serving a manager: the browsers' last binding of the pair is gone.
    virtual void breakConnection(QtAbstractPropertyManager *manager) = 0;

protected:
    explicit QtAbstractEditorFactoryBase(QObject *parent = nullptr);
    // No binding of any browser names the factory after it is gone.
    ~QtAbstractEditorFactoryBase() override;

protected slots:
    // Forget a manager that is being destroyed (connected to its destroyed signal).
    virtual void managerDestroyed(QObject *manager) = 0;
};

template <class PropertyManager>
class QtAbstractEditorFactory : public QtAbstractEditorFactoryBase
{
public:
    explicit QtAbstractEditorFactory(QObject *parent = nullptr) : QtAbstractEditorFactoryBase(parent) {}

    QWidget *createEditor(QtProperty *property, QWidget *parent) override
    {
        PropertyManager *manager = findManager(property);
        return manager ? createEditor(manager, property, parent) : nullptr;
    }

    void addPropertyManager(PropertyManager *manager)
    {
        if (!manager || m_managers.contains(manager))
            return;
        m_managers.insert(manager);
        connectPropertyManager(manager);
        connect(manager, SIGNAL(destroyed(QObject *)), this, SLOT(managerDestroyed(QObject *)));
    }

    void removePropertyManager(PropertyManager *manager)
    {
        if (!m_managers.contains(manager))
            return;
        disconnect(manager, SIGNAL(destroyed(QObject *)), this, SLOT(managerDestroyed(QObject *)));
        disconnectPropertyManager(manager);
        m_managers.remove(manager);
    }

    QSet<PropertyManager *> propertyManagers() const { return m_managers; }

    // The served manager that holds the property, else null. The property is looked
    // up in the managers, never read: a slot may be handed one that an earlier slot
    // of the same signal deleted (a "rebuild on change" handler).
    PropertyManager *findManager(QtProperty *property) const
    {
        if (!property)
            return nullptr;
        for (PropertyManager *manager : m_managers) {
            if (manager->properties().contains(property))
                return manager;
        }
        return nullptr;
    }

    void breakConnection(QtAbstractPropertyManager *manager) override
    {
        if (PropertyManager *m = served(manager))
            removePropertyManager(m);
    }

protected:
    virtual void connectPropertyManager(PropertyManager *manager) = 0;
    virtual QWidget *createEditor(PropertyManager *manager, QtProperty *property, QWidget *parent) = 0;
    virtual void disconnectPropertyManager(PropertyManager *manager) = 0;

    void managerDestroyed(QObject *manager) override
    {
        // Qt drops the manager's connections itself.
        for (auto it = m_managers.begin(); it != m_managers.end(); ++it) {
            if (static_cast<QObject *>(*it) == manager) {
                m_managers.erase(it);
                return;
            }
        }
    }

private:
    // Finds the served manager by address, so that no manager of another type is
    // ever cast to this factory's manager type.
    PropertyManager *served(const QObject *manager) const
    {
        for (PropertyManager *m : m_managers) {
            if (static_cast<const QObject *>(m) == manager)
                return m;
        }
        return nullptr;
    }

    QSet<PropertyManager *> m_managers;
};
