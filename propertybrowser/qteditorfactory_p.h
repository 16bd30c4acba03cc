// The shapes every editor factory's slots share: connecting a manager's signals by
// a table, pushing a manager's change into the open editors of a property, and
// finding what a committing editor writes to. Internal to the property browser.
#pragma once

#include "propertybrowser/editorregistry.h"
#include "propertybrowser/qtabstracteditorfactory.h"

#include <QObject>

#include <cstddef>
#include <initializer_list>

namespace QtEditorFactoryShapes {

// A manager signal and the factory slot it drives, as SIGNAL() and SLOT() strings.
struct Link
{
    const char *signal;
    const char *slot;
};

// Connects (on) or disconnects the first `count` links.
inline void connectLinks(QObject *manager, QObject *factory, const Link *links, std::size_t count, bool on)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (on)
            QObject::connect(manager, links[i].signal, factory, links[i].slot);
        else
            QObject::disconnect(manager, links[i].signal, factory, links[i].slot);
    }
}

template <std::size_t N>
void connectLinks(QObject *manager, QObject *factory, const Link (&links)[N], bool on)
{
    connectLinks(manager, factory, links, N, on);
}

// Connects a new editor's signals to the factory's slots, then its destroyed signal
// to the factory's slotEditorDestroyed.
inline void connectEditor(QObject *editor, QObject *factory, std::initializer_list<Link> links)
{
    for (const Link &link : links)
        QObject::connect(editor, link.signal, factory, link.slot);
    QObject::connect(editor, SIGNAL(destroyed(QObject *)), factory, SLOT(slotEditorDestroyed(QObject *)));
}

// Pushes a manager's value change into the property's editors, then announces it as
// the manager's valueUpdated; nothing at all when the property has no editor, or
// has gone while the change was being announced. Nor when a receiver that ran
// before the factory changed the value again: the factory has heard of that newer
// change already, and the one it overtook would put the editors back behind it.
template <class Editor, class Manager, class Value, class Apply>
void pushValue(const EditorRegistry<Editor> &registry, const QtAbstractEditorFactory<Manager> &factory,
               QtProperty *property, const Value &value, Apply apply)
{
    Manager *manager = factory.findManager(property);
    if (manager && manager->value(property) == value && registry.updateEditors(property, apply))
        emit manager->valueUpdated(property, value);
}

// The same for a factory whose manager has no valueUpdated.
template <class Editor, class Manager, class Value, class Apply>
void pushValueQuietly(const EditorRegistry<Editor> &registry, const QtAbstractEditorFactory<Manager> &factory,
                      QtProperty *property, const Value &value, Apply apply)
{
    Manager *manager = factory.findManager(property);
    if (manager && manager->value(property) == value)
        registry.updateEditors(property, apply);
}

// Applies a change that needs the manager (apply(editor, manager)) to the property's
// editors; nothing when it has none or its manager is not served.
template <class Editor, class Manager, class Apply>
void updateFromManager(const EditorRegistry<Editor> &registry, const QtAbstractEditorFactory<Manager> &factory,
                       QtProperty *property, Apply apply)
{
    if (!registry.hasEditors(property))
        return;
    Manager *manager = factory.findManager(property);
    if (!manager)
        return;
    registry.updateEditors(property, [&](Editor *editor) { apply(editor, manager); });
}

// What a committing editor writes to: itself, its property and the served manager;
// all null when the sender is no registered editor or its manager is not served.
template <class Editor, class Manager>
struct EditTarget
{
    Editor *editor = nullptr;
    QtProperty *property = nullptr;
    Manager *manager = nullptr;
    explicit operator bool() const { return manager != nullptr; }
};

template <class Editor, class Manager>
EditTarget<Editor, Manager> editTarget(const EditorRegistry<Editor> &registry,
                                       const QtAbstractEditorFactory<Manager> &factory, const QObject *sender)
{
    EditTarget<Editor, Manager> target;
    Editor *editor = registry.editorOf(sender);
    if (!editor)
        return target;
    QtProperty *property = registry.editorToProperty().value(editor);
    Manager *manager = factory.findManager(property);
    if (manager)
        target = {editor, property, manager};
    return target;
}

} // namespace QtEditorFactoryShapes
