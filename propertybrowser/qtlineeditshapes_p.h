// What the two line-edit factories of the string manager share: the manager
// signals they follow, the settings an editor takes from the manager, the
// attribute pushes and the commit of the sending editor's text. An editor is a
// QLineEdit or wraps one (lineEditOf). Internal to the property browser.
#pragma once

#include "propertybrowser/qteditingwidgets.h"
#include "propertybrowser/qteditorfactory_p.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <QLineEdit>
#include <QRegExpValidator>

namespace QtLineEditShapes {

using QtEditorFactoryShapes::editTarget;
using QtEditorFactoryShapes::pushValue;
using QtEditorFactoryShapes::updateFromManager;

inline QLineEdit *lineEditOf(QLineEdit *editor) { return editor; }
inline QLineEdit *lineEditOf(QtLineEditWidget2 *editor) { return editor->lineEdit(); }

// Connects (on) or disconnects the string manager's attribute signals to the
// factory's slots of the same names.
inline void connectStringManager(QtStringPropertyManager *manager, QObject *factory, bool on)
{
    using QtEditorFactoryShapes::Link;
    static const Link links[] = {
        {SIGNAL(valueChanged(QtProperty *, const QString &)), SLOT(slotPropertyChanged(QtProperty *, const QString &))},
        {SIGNAL(regExpChanged(QtProperty *, const QRegExp &)), SLOT(slotRegExpChanged(QtProperty *, const QRegExp &))},
        {SIGNAL(inputMaskChanged(QtProperty *, const QString &)),
         SLOT(slotInputMaskChanged(QtProperty *, const QString &))},
        {SIGNAL(echoModeChanged(QtProperty *, int)), SLOT(slotEchoModeChanged(QtProperty *, int))},
        {SIGNAL(readOnlyChanged(QtProperty *, bool)), SLOT(slotReadOnlyChanged(QtProperty *, bool))},
    };
    QtEditorFactoryShapes::connectLinks(manager, factory, links, on);
}

// A validator owned by the editor, or none for an invalid expression.
inline QValidator *validatorFor(const QRegExp &regExp, QObject *editor)
{
    return regExp.isValid() ? new QRegExpValidator(regExp, editor) : nullptr;
}

// The text, touched only when it differs from the shown one.
inline void showText(QLineEdit *lineEdit, const QString &text)
{
    if (lineEdit->text() != text)
        lineEdit->setText(text);
}

// Echo mode, read-only state, input mask and validator of a new editor.
inline void configure(QLineEdit *lineEdit, QObject *editor, QtStringPropertyManager *manager, QtProperty *property)
{
    lineEdit->setEchoMode(static_cast<QLineEdit::EchoMode>(manager->echoMode(property)));
    lineEdit->setReadOnly(manager->isReadOnly(property));
    lineEdit->setInputMask(manager->inputMask(property));
    if (QValidator *validator = validatorFor(manager->regExp(property), editor))
        lineEdit->setValidator(validator);
}

// The editors' pushes of the manager's attributes, signals blocked.
template <class Editor>
struct Pushes
{
    using Factory = QtAbstractEditorFactory<QtStringPropertyManager>;
    const EditorRegistry<Editor> &registry;
    const Factory &factory;

    void value(QtProperty *property, const QString &value) const
    {
        pushValue(registry, factory, property, value,
                  [&value](Editor *editor) { showText(lineEditOf(editor), value); });
    }

    // The old validator goes only once the new one is in place.
    void regExp(QtProperty *property, const QRegExp &regExp) const
    {
        updateFromManager(registry, factory, property, [&regExp](Editor *editor, QtStringPropertyManager *) {
            QLineEdit *lineEdit = lineEditOf(editor);
            const QValidator *old = lineEdit->validator();
            lineEdit->setValidator(validatorFor(regExp, editor));
            delete old;
        });
    }

    void inputMask(QtProperty *property, const QString &inputMask) const
    {
        updateFromManager(registry, factory, property, [&](Editor *editor, QtStringPropertyManager *manager) {
            // A new mask clears or reformats the text; the manager's text is shown
            // again, so that a later Return does not commit a blank.
            lineEditOf(editor)->setInputMask(inputMask);
            showText(lineEditOf(editor), manager->value(property));
        });
    }

    void echoMode(QtProperty *property, int echoMode) const
    {
        updateFromManager(registry, factory, property, [echoMode](Editor *editor, QtStringPropertyManager *) {
            lineEditOf(editor)->setEchoMode(static_cast<QLineEdit::EchoMode>(echoMode));
        });
    }

    void readOnly(QtProperty *property, bool readOnly) const
    {
        updateFromManager(registry, factory, property, [readOnly](Editor *editor, QtStringPropertyManager *) {
            lineEditOf(editor)->setReadOnly(readOnly);
        });
    }

    // Only the committing editor's text is written: the manager's change brings the
    // property's other editors in line, and valueUpdated comes once. A read-only
    // text is announced only when it changed.
    void commit(const QObject *sender) const
    {
        if (const auto target = editTarget(registry, factory, sender))
            target.manager->setValue(target.property, lineEditOf(target.editor)->text(),
                                     target.manager->isReadOnly(target.property));
    }
};

// The pushes of a factory's editors.
template <class Editor>
Pushes<Editor> pushes(const EditorRegistry<Editor> &registry,
                      const QtAbstractEditorFactory<QtStringPropertyManager> &factory)
{
    return {registry, factory};
}

} // namespace QtLineEditShapes
