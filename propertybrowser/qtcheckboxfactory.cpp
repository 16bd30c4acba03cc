#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qteditorfactory_p.h"

using namespace QtEditorFactoryShapes;

namespace {

void connectBoolManager(QtBoolPropertyManager *manager, QObject *factory, bool on)
{
    static const Link links[] = {
        {SIGNAL(valueChanged(QtProperty *, bool)), SLOT(slotPropertyChanged(QtProperty *, bool))},
        {SIGNAL(textVisibleChanged(QtProperty *, bool)), SLOT(slotTextVisibleChanged(QtProperty *, bool))},
    };
    connectLinks(manager, factory, links, on);
}

} // namespace

QtCheckBoxFactory::QtCheckBoxFactory(QObject *parent)
    : QtAbstractEditorFactory<QtBoolPropertyManager>(parent), d_ptr(std::make_unique<EditorRegistry<QtBoolEdit>>(this))
{
}

QtCheckBoxFactory::~QtCheckBoxFactory() { d_ptr->deleteEditors(); }

void QtCheckBoxFactory::connectPropertyManager(QtBoolPropertyManager *manager)
{
    connectBoolManager(manager, this, true);
}

void QtCheckBoxFactory::disconnectPropertyManager(QtBoolPropertyManager *manager)
{
    connectBoolManager(manager, this, false);
}

QWidget *QtCheckBoxFactory::createEditor(QtBoolPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QtBoolEdit(parent);
    d_ptr->registerEditor(property, editor);
    editor->setChecked(manager->value(property));
    editor->setTextVisible(manager->textVisible(property));
    connectEditor(editor, this, {{SIGNAL(toggled(bool)), SLOT(slotSetValue(bool))}});
    return editor;
}

void QtCheckBoxFactory::slotPropertyChanged(QtProperty *property, bool value)
{
    pushValue(*d_ptr, *this, property, value, [value](QtBoolEdit *editor) {
        editor->blockCheckBoxSignals(true);
        editor->setChecked(value);
        editor->blockCheckBoxSignals(false);
    });
}

void QtCheckBoxFactory::slotTextVisibleChanged(QtProperty *property, bool textVisible)
{
    // The text visibility is no value: the editor's signals stay unblocked.
    if (!findManager(property))
        return;
    const QList<QtBoolEdit *> editors = d_ptr->editors(property);
    for (QtBoolEdit *editor : editors)
        editor->setTextVisible(textVisible);
}

void QtCheckBoxFactory::slotSetValue(bool value)
{
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        target.manager->setValue(target.property, value);
}

void QtCheckBoxFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }
