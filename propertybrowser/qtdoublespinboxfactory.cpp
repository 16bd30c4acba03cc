#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qteditorfactory_p.h"

#include <QPointer>

#include <cmath>
#include <utility>

using namespace QtEditorFactoryShapes;

namespace {

void connectDoubleManager(QtDoublePropertyManager *manager, QObject *factory, bool on)
{
    static const Link links[] = {
        {SIGNAL(valueChanged(QtProperty *, double)), SLOT(slotPropertyChanged(QtProperty *, double))},
        {SIGNAL(rangeChanged(QtProperty *, double, double)), SLOT(slotRangeChanged(QtProperty *, double, double))},
        {SIGNAL(singleStepChanged(QtProperty *, double)), SLOT(slotSingleStepChanged(QtProperty *, double))},
        {SIGNAL(decimalsChanged(QtProperty *, int)), SLOT(slotDecimalsChanged(QtProperty *, int))},
        {SIGNAL(readOnlyChanged(QtProperty *, bool)), SLOT(slotReadOnlyChanged(QtProperty *, bool))},
    };
    connectLinks(manager, factory, links, on);
}

} // namespace

QtDoubleSpinBoxFactory::QtDoubleSpinBoxFactory(QObject *parent)
    : QtAbstractEditorFactory<QtDoublePropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QtDoubleSpinBox2>>(this))
{
}

QtDoubleSpinBoxFactory::~QtDoubleSpinBoxFactory() { d_ptr->deleteEditors(); }

void QtDoubleSpinBoxFactory::connectPropertyManager(QtDoublePropertyManager *manager)
{
    connectDoubleManager(manager, this, true);
}

void QtDoubleSpinBoxFactory::disconnectPropertyManager(QtDoublePropertyManager *manager)
{
    connectDoubleManager(manager, this, false);
}

QWidget *QtDoubleSpinBoxFactory::createEditor(QtDoublePropertyManager *manager, QtProperty *property,
                                              QWidget *parent)
{
    auto *editor = new QtDoubleSpinBox2(parent);
    d_ptr->registerEditor(property, editor);
    editor->setSingleStep(manager->singleStep(property));
    editor->setDecimals(manager->decimals(property));
    editor->setRange(manager->minimum(property), manager->maximum(property));
    editor->setValue(manager->value(property));
    editor->setKeyboardTracking(false);
    editor->setReadOnly(manager->isReadOnly(property));
    connectEditor(editor, this, {{SIGNAL(enterPressed()), SLOT(slotSetValue())}});
    return editor;
}

void QtDoubleSpinBoxFactory::slotPropertyChanged(QtProperty *property, double value)
{
    pushValue(*d_ptr, *this, property, value, [value](QtDoubleSpinBox2 *editor) {
        // A NaN on either side never compares equal: set it.
        if (editor->value() != value || std::isnan(value) || std::isnan(editor->value())) {
            editor->setValue(value);
            editor->setEdited(false); // it shows the property's value again
        }
    });
}

void QtDoubleSpinBoxFactory::slotRangeChanged(QtProperty *property, double minimum, double maximum)
{
    updateFromManager(*d_ptr, *this, property, [&](QtDoubleSpinBox2 *editor, QtDoublePropertyManager *manager) {
        editor->setRange(minimum, maximum);
        editor->setValue(manager->value(property));
        editor->setEdited(false);
    });
}

void QtDoubleSpinBoxFactory::slotSingleStepChanged(QtProperty *property, double step)
{
    updateFromManager(*d_ptr, *this, property,
                      [step](QtDoubleSpinBox2 *editor, QtDoublePropertyManager *) { editor->setSingleStep(step); });
}

void QtDoubleSpinBoxFactory::slotDecimalsChanged(QtProperty *property, int prec)
{
    updateFromManager(*d_ptr, *this, property, [&](QtDoubleSpinBox2 *editor, QtDoublePropertyManager *manager) {
        editor->setDecimals(prec);
        editor->setValue(manager->value(property));
        editor->setEdited(false);
    });
}

void QtDoubleSpinBoxFactory::slotReadOnlyChanged(QtProperty *property, bool readOnly)
{
    updateFromManager(*d_ptr, *this, property,
                      [readOnly](QtDoubleSpinBox2 *editor, QtDoublePropertyManager *) { editor->setReadOnly(readOnly); });
}

void QtDoubleSpinBoxFactory::slotSetValue()
{
    const auto target = editTarget(*d_ptr, *this, sender());
    if (!target)
        return;
    // The editor may go while its value is announced.
    const QPointer<QtDoubleSpinBox2> editor = target.editor;
    // A commit made by a handler of this one keeps its own; this one's is back after.
    const Commit outer = std::exchange(
        m_commit, {editor->isEdited() ? nullptr : target.property, target.manager,
                   target.manager->valueSettersRunning() + 1});
    // A read-only value is announced only when it changed.
    target.manager->setValue(target.property, editor->value(), target.manager->isReadOnly(target.property));
    m_commit = outer;
    if (editor)
        editor->setEdited(false);
}

void QtDoubleSpinBoxFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

bool QtDoubleSpinBoxFactory::isUntouchedCommit(QtProperty *property) const
{
    // A change a handler makes meanwhile runs a setter inside the commit's own.
    return property && property == m_commit.untouched
           && m_commit.manager->valueSettersRunning() == m_commit.setters;
}
