// The record a concrete editor factory keeps of its live editors: which editors
// show which property, in creation order, and which property each editor shows.
// The registry does not own the editors; they are children of the widget the
// browser passed in. A factory connects every editor's destroyed(QObject *) to its
// slotEditorDestroyed(QObject *), which calls editorDestroyed, and its destructor
// calls deleteEditors before it deletes the registry.
//
// Editors being destroyed are matched by address only, never cast back.
// GUI thread only.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSignalBlocker>

class QtAbstractEditorFactoryBase;

template <class Editor>
class EditorRegistry
{
public:
    using EditorList = QList<Editor *>;

    explicit EditorRegistry(QtAbstractEditorFactoryBase *factory) : q_ptr(factory) {}

    // Records the editor and announces it with the manager's editorCreated, before
    // the factory has configured or connected it.
    void registerEditor(QtProperty *property, Editor *editor)
    {
        m_createdEditors[property].append(editor);
        m_editorToProperty.insert(editor, property);
        m_editorAt.insert(static_cast<const QObject *>(editor), editor);
        emit property->propertyManager()->editorCreated(property);
    }

    // Forgets an editor that is being destroyed; any other object changes nothing.
    void editorDestroyed(QObject *object)
    {
        Editor *editor = m_editorAt.take(object);
        const auto it = editor ? m_editorToProperty.find(editor) : m_editorToProperty.end();
        if (it == m_editorToProperty.end())
            return;
        QtProperty *property = it.value();
        const auto listIt = m_createdEditors.find(property);
        if (listIt != m_createdEditors.end()) {
            listIt->removeAll(editor);
            if (listIt->isEmpty())
                m_createdEditors.erase(listIt);
        }
        m_editorToProperty.erase(it);
    }

    // The property an editor shows (a factory's slots pass the signal's sender),
    // or null for an object that is no registered editor.
    QtProperty *propertyOf(const QObject *editor) const
    {
        const auto it = find(editor);
        return it == m_editorToProperty.cend() ? nullptr : it.value();
    }

    // The registered editor at the object's address, or null.
    Editor *editorOf(const QObject *object) const
    {
        const auto it = find(object);
        return it == m_editorToProperty.cend() ? nullptr : it.key();
    }

    // The live editors of a property, in creation order.
    EditorList editors(QtProperty *property) const { return m_createdEditors.value(property); }
    bool hasEditors(QtProperty *property) const { return m_createdEditors.contains(property); }

    // Applies a manager's change to every editor of the property with the editor's
    // signals blocked, so that it never comes back as an edit. False when the
    // property has no editor.
    template <class Apply>
    bool updateEditors(QtProperty *property, Apply apply) const
    {
        const auto it = m_createdEditors.constFind(property);
        if (it == m_createdEditors.constEnd())
            return false;
        const EditorList editors = it.value();
        for (Editor *editor : editors) {
            const QSignalBlocker blocker(editor);
            apply(editor);
        }
        return true;
    }

    // Deletes every editor still tracked; each deletion comes back through
    // editorDestroyed while the factory's connection still stands, so an editor
    // that went down with an earlier one is not deleted twice.
    void deleteEditors()
    {
        const EditorList editors = m_editorToProperty.keys();
        for (Editor *editor : editors) {
            if (m_editorToProperty.contains(editor))
                delete editor;
        }
    }

    const QMap<QtProperty *, EditorList> &createdEditors() const { return m_createdEditors; }
    const QMap<Editor *, QtProperty *> &editorToProperty() const { return m_editorToProperty; }
    QtAbstractEditorFactoryBase *factory() const { return q_ptr; }

private:
    typename QMap<Editor *, QtProperty *>::const_iterator find(const QObject *object) const
    {
        Editor *editor = m_editorAt.value(object);
        return editor ? m_editorToProperty.constFind(editor) : m_editorToProperty.cend();
    }

    QMap<QtProperty *, EditorList> m_createdEditors;
    QMap<Editor *, QtProperty *> m_editorToProperty;
    // Each editor by its QObject's address, taken while it was whole: a sender or
    // an object being destroyed is found without casting it back, and without a
    // walk through every editor.
    QHash<const QObject *, Editor *> m_editorAt;
    QtAbstractEditorFactoryBase *q_ptr;
};
