// The four editor factories of integer properties: spin box, spin box with button,
// slider and scroll bar.
#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qteditorfactory_p.h"

using namespace QtEditorFactoryShapes;

namespace {

// Value, range and step; the spin boxes also follow the read-only flag.
void connectIntManager(QtIntPropertyManager *manager, QObject *factory, bool withReadOnly, bool on)
{
    static const Link links[] = {
        {SIGNAL(valueChanged(QtProperty *, int)), SLOT(slotPropertyChanged(QtProperty *, int))},
        {SIGNAL(rangeChanged(QtProperty *, int, int)), SLOT(slotRangeChanged(QtProperty *, int, int))},
        {SIGNAL(singleStepChanged(QtProperty *, int)), SLOT(slotSingleStepChanged(QtProperty *, int))},
        {SIGNAL(readOnlyChanged(QtProperty *, bool)), SLOT(slotReadOnlyChanged(QtProperty *, bool))},
    };
    connectLinks(manager, factory, links, withReadOnly ? 4 : 3, on);
}

template <class Slider>
Slider *createSlider(EditorRegistry<Slider> &registry, QObject *factory, QtIntPropertyManager *manager,
                     QtProperty *property, QWidget *parent)
{
    auto *editor = new Slider(Qt::Horizontal, parent);
    registry.registerEditor(property, editor);
    editor->setSingleStep(manager->singleStep(property));
    editor->setRange(manager->minimum(property), manager->maximum(property));
    editor->setValue(manager->value(property));
    connectEditor(editor, factory, {{SIGNAL(valueChanged(int)), SLOT(slotSetValue(int))}});
    return editor;
}

// The range first, so that the manager's value fits it.
template <class Editor, class Factory>
void applyRange(const EditorRegistry<Editor> &registry, const Factory &factory, QtProperty *property,
                int minimum, int maximum)
{
    updateFromManager(registry, factory, property, [&](Editor *editor, QtIntPropertyManager *manager) {
        editor->setRange(minimum, maximum);
        editor->setValue(manager->value(property));
    });
}

} // namespace

// --- QtSpinBoxFactory ---

QtSpinBoxFactory::QtSpinBoxFactory(QObject *parent)
    : QtAbstractEditorFactory<QtIntPropertyManager>(parent), d_ptr(std::make_unique<EditorRegistry<QSpinBox>>(this))
{
}

QtSpinBoxFactory::~QtSpinBoxFactory() { d_ptr->deleteEditors(); }

void QtSpinBoxFactory::connectPropertyManager(QtIntPropertyManager *manager)
{
    connectIntManager(manager, this, true, true);
}

void QtSpinBoxFactory::disconnectPropertyManager(QtIntPropertyManager *manager)
{
    connectIntManager(manager, this, true, false);
}

QWidget *QtSpinBoxFactory::createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QSpinBox(parent);
    d_ptr->registerEditor(property, editor);
    editor->setSingleStep(manager->singleStep(property));
    editor->setRange(manager->minimum(property), manager->maximum(property));
    editor->setValue(manager->value(property));
    editor->setKeyboardTracking(false);
    editor->setReadOnly(manager->isReadOnly(property));
    connectEditor(editor, this, {{SIGNAL(valueChanged(int)), SLOT(slotSetValue(int))}});
    return editor;
}

void QtSpinBoxFactory::slotPropertyChanged(QtProperty *property, int value)
{
    pushValue(*d_ptr, *this, property, value, [value](QSpinBox *editor) {
        if (editor->value() != value)
            editor->setValue(value);
    });
}

void QtSpinBoxFactory::slotRangeChanged(QtProperty *property, int minimum, int maximum)
{
    applyRange(*d_ptr, *this, property, minimum, maximum);
}

void QtSpinBoxFactory::slotSingleStepChanged(QtProperty *property, int step)
{
    d_ptr->updateEditors(property, [step](QSpinBox *editor) { editor->setSingleStep(step); });
}

void QtSpinBoxFactory::slotReadOnlyChanged(QtProperty *property, bool readOnly)
{
    updateFromManager(*d_ptr, *this, property,
                      [readOnly](QSpinBox *editor, QtIntPropertyManager *) { editor->setReadOnly(readOnly); });
}

void QtSpinBoxFactory::slotSetValue(int value)
{
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        target.manager->setValue(target.property, value, false);
}

void QtSpinBoxFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

// --- QtSpinBoxFactory2 ---

QtSpinBoxFactory2::QtSpinBoxFactory2(QObject *parent)
    : QtAbstractEditorFactory<QtIntPropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QtSpinBoxEditWidget2>>(this))
{
}

QtSpinBoxFactory2::~QtSpinBoxFactory2() { d_ptr->deleteEditors(); }

void QtSpinBoxFactory2::connectPropertyManager(QtIntPropertyManager *manager)
{
    connectIntManager(manager, this, true, true);
}

void QtSpinBoxFactory2::disconnectPropertyManager(QtIntPropertyManager *manager)
{
    connectIntManager(manager, this, true, false);
}

QWidget *QtSpinBoxFactory2::createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QtSpinBoxEditWidget2(parent);
    d_ptr->registerEditor(property, editor);
    QSpinBox *spinBox = editor->spinBox();
    spinBox->setSingleStep(manager->singleStep(property));
    spinBox->setRange(manager->minimum(property), manager->maximum(property));
    editor->setValue(manager->value(property));
    spinBox->setKeyboardTracking(false);
    spinBox->setReadOnly(manager->isReadOnly(property));
    editor->setButtonVisible(manager->isBtnVisible(property));
    editor->setButtonText(manager->btnCaption(property));
    connectEditor(editor, this,
                  {{SIGNAL(valueChanged(int)), SLOT(slotSetValue(int))},
                   {SIGNAL(scriptCalled()), SLOT(slotScriptCalled())}});
    return editor;
}

void QtSpinBoxFactory2::slotPropertyChanged(QtProperty *property, int value)
{
    pushValue(*d_ptr, *this, property, value, [value](QtSpinBoxEditWidget2 *editor) { editor->setValue(value); });
}

void QtSpinBoxFactory2::slotRangeChanged(QtProperty *property, int minimum, int maximum)
{
    applyRange(*d_ptr, *this, property, minimum, maximum);
}

void QtSpinBoxFactory2::slotSingleStepChanged(QtProperty *property, int step)
{
    d_ptr->updateEditors(property, [step](QtSpinBoxEditWidget2 *editor) { editor->spinBox()->setSingleStep(step); });
}

void QtSpinBoxFactory2::slotReadOnlyChanged(QtProperty *property, bool readOnly)
{
    updateFromManager(*d_ptr, *this, property, [readOnly](QtSpinBoxEditWidget2 *editor, QtIntPropertyManager *) {
        editor->spinBox()->setReadOnly(readOnly);
    });
}

void QtSpinBoxFactory2::slotSetValue(int value)
{
    // A read-only value is announced only when it changed.
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        target.manager->setValue(target.property, value, target.manager->isReadOnly(target.property));
}

void QtSpinBoxFactory2::slotScriptCalled()
{
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        emit target.manager->scriptCalled(target.property);
}

void QtSpinBoxFactory2::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

// --- QtSliderFactory ---

QtSliderFactory::QtSliderFactory(QObject *parent)
    : QtAbstractEditorFactory<QtIntPropertyManager>(parent), d_ptr(std::make_unique<EditorRegistry<QSlider>>(this))
{
}

QtSliderFactory::~QtSliderFactory() { d_ptr->deleteEditors(); }

void QtSliderFactory::connectPropertyManager(QtIntPropertyManager *manager)
{
    connectIntManager(manager, this, false, true);
}

void QtSliderFactory::disconnectPropertyManager(QtIntPropertyManager *manager)
{
    connectIntManager(manager, this, false, false);
}

QWidget *QtSliderFactory::createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    return createSlider(*d_ptr, this, manager, property, parent);
}

void QtSliderFactory::slotPropertyChanged(QtProperty *property, int value)
{
    pushValue(*d_ptr, *this, property, value, [value](QSlider *editor) { editor->setValue(value); });
}

void QtSliderFactory::slotRangeChanged(QtProperty *property, int minimum, int maximum)
{
    applyRange(*d_ptr, *this, property, minimum, maximum);
}

void QtSliderFactory::slotSingleStepChanged(QtProperty *property, int step)
{
    d_ptr->updateEditors(property, [step](QSlider *editor) { editor->setSingleStep(step); });
}

void QtSliderFactory::slotSetValue(int value)
{
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        target.manager->setValue(target.property, value, true);
}

void QtSliderFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

// --- QtScrollBarFactory ---

QtScrollBarFactory::QtScrollBarFactory(QObject *parent)
    : QtAbstractEditorFactory<QtIntPropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QScrollBar>>(this))
{
}

QtScrollBarFactory::~QtScrollBarFactory() { d_ptr->deleteEditors(); }

void QtScrollBarFactory::connectPropertyManager(QtIntPropertyManager *manager)
{
    connectIntManager(manager, this, false, true);
}

void QtScrollBarFactory::disconnectPropertyManager(QtIntPropertyManager *manager)
{
    connectIntManager(manager, this, false, false);
}

QWidget *QtScrollBarFactory::createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    return createSlider(*d_ptr, this, manager, property, parent);
}

void QtScrollBarFactory::slotPropertyChanged(QtProperty *property, int value)
{
    pushValue(*d_ptr, *this, property, value, [value](QScrollBar *editor) { editor->setValue(value); });
}

void QtScrollBarFactory::slotRangeChanged(QtProperty *property, int minimum, int maximum)
{
    applyRange(*d_ptr, *this, property, minimum, maximum);
}

void QtScrollBarFactory::slotSingleStepChanged(QtProperty *property, int step)
{
    d_ptr->updateEditors(property, [step](QScrollBar *editor) { editor->setSingleStep(step); });
}

void QtScrollBarFactory::slotSetValue(int value)
{
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        target.manager->setValue(target.property, value, true);
}

void QtScrollBarFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }
