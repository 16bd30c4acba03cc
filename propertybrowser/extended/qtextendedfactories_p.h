// Shapes the extended editor factories share on top of the common ones.
// Internal to the property browser.
#pragma once

#include "propertybrowser/qteditorfactory_p.h"

namespace QtExtendedFactoryShapes {

// Writes a user's edit into the manager of the sending editor's property; nothing
// for an unknown sender or a manager the factory no longer serves.
template <class Editor, class Manager, class Value>
void writeBack(const EditorRegistry<Editor> &registry, const QtAbstractEditorFactory<Manager> &factory,
               const QObject *sender, const Value &value)
{
    if (const auto target = QtEditorFactoryShapes::editTarget(registry, factory, sender))
        target.manager->setValue(target.property, value);
}

} // namespace QtExtendedFactoryShapes
