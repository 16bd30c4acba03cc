#include "propertybrowser/extended/qtextendedfactories.h"
#include "propertybrowser/extended/qtextendedfactories_p.h"

using namespace QtEditorFactoryShapes;
using namespace QtExtendedFactoryShapes;

// --- QtKeySequenceEditorFactory ---

QtKeySequenceEditorFactory::QtKeySequenceEditorFactory(QObject *parent)
    : QtAbstractEditorFactory<QtKeySequencePropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QtKeySequenceEdit>>(this))
{
}

QtKeySequenceEditorFactory::~QtKeySequenceEditorFactory() { d_ptr->deleteEditors(); }

namespace {
const Link kKeySequenceEditorFactoryLinks[] = {
    {SIGNAL(valueChanged(QtProperty *, const QKeySequence &)),
     SLOT(slotPropertyChanged(QtProperty *, const QKeySequence &))}};
} // namespace

void QtKeySequenceEditorFactory::connectPropertyManager(QtKeySequencePropertyManager *manager)
{
    connectLinks(manager, this, kKeySequenceEditorFactoryLinks, true);
}

void QtKeySequenceEditorFactory::disconnectPropertyManager(QtKeySequencePropertyManager *manager)
{
    connectLinks(manager, this, kKeySequenceEditorFactoryLinks, false);
}

QWidget *QtKeySequenceEditorFactory::createEditor(QtKeySequencePropertyManager *manager, QtProperty *property,
                                                  QWidget *parent)
{
    auto *editor = new QtKeySequenceEdit(parent);
    d_ptr->registerEditor(property, editor);
    editor->setKeySequence(manager->value(property));
    connectEditor(editor, this,
                  {{SIGNAL(keySequenceChanged(const QKeySequence &)), SLOT(slotSetValue(const QKeySequence &))}});
    return editor;
}

void QtKeySequenceEditorFactory::slotPropertyChanged(QtProperty *property, const QKeySequence &value)
{
    pushValueQuietly(*d_ptr, *this, property, value, [&value](QtKeySequenceEdit *editor) { editor->setKeySequence(value); });
}

void QtKeySequenceEditorFactory::slotSetValue(const QKeySequence &value)
{
    writeBack(*d_ptr, *this, sender(), value);
}

void QtKeySequenceEditorFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

// --- QtCharEditorFactory ---

QtCharEditorFactory::QtCharEditorFactory(QObject *parent)
    : QtAbstractEditorFactory<QtCharPropertyManager>(parent), d_ptr(std::make_unique<EditorRegistry<QtCharEdit>>(this))
{
}

QtCharEditorFactory::~QtCharEditorFactory() { d_ptr->deleteEditors(); }

namespace {
const Link kCharEditorFactoryLinks[] = {
    {SIGNAL(valueChanged(QtProperty *, const QChar &)),
     SLOT(slotPropertyChanged(QtProperty *, const QChar &))}};
} // namespace

void QtCharEditorFactory::connectPropertyManager(QtCharPropertyManager *manager)
{
    connectLinks(manager, this, kCharEditorFactoryLinks, true);
}

void QtCharEditorFactory::disconnectPropertyManager(QtCharPropertyManager *manager)
{
    connectLinks(manager, this, kCharEditorFactoryLinks, false);
}

QWidget *QtCharEditorFactory::createEditor(QtCharPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QtCharEdit(parent);
    d_ptr->registerEditor(property, editor);
    editor->setValue(manager->value(property));
    connectEditor(editor, this, {{SIGNAL(valueChanged(const QChar &)), SLOT(slotSetValue(const QChar &))}});
    return editor;
}

void QtCharEditorFactory::slotPropertyChanged(QtProperty *property, const QChar &value)
{
    pushValue(*d_ptr, *this, property, value, [&value](QtCharEdit *editor) { editor->setValue(value); });
}

void QtCharEditorFactory::slotSetValue(const QChar &value) { writeBack(*d_ptr, *this, sender(), value); }

void QtCharEditorFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }
