#include "propertybrowser/extended/qtextendedfactories.h"
#include "propertybrowser/extended/qtextendedfactories_p.h"

using namespace QtEditorFactoryShapes;
using namespace QtExtendedFactoryShapes;

// The widgets' setters emit nothing; the pushes block their signals all the same.

// --- QtColorEditorFactory ---

QtColorEditorFactory::QtColorEditorFactory(QObject *parent)
    : QtAbstractEditorFactory<QtColorPropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QtColorEditWidget>>(this))
{
}

QtColorEditorFactory::~QtColorEditorFactory() { d_ptr->deleteEditors(); }

namespace {
const Link kColorEditorFactoryLinks[] = {
    {SIGNAL(valueChanged(QtProperty *, QColor)),
     SLOT(slotPropertyChanged(QtProperty *, QColor))}};
} // namespace

void QtColorEditorFactory::connectPropertyManager(QtColorPropertyManager *manager)
{
    connectLinks(manager, this, kColorEditorFactoryLinks, true);
}

void QtColorEditorFactory::disconnectPropertyManager(QtColorPropertyManager *manager)
{
    connectLinks(manager, this, kColorEditorFactoryLinks, false);
}

QWidget *QtColorEditorFactory::createEditor(QtColorPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QtColorEditWidget(parent);
    d_ptr->registerEditor(property, editor);
    editor->setValue(manager->value(property));
    connectEditor(editor, this, {{SIGNAL(valueChanged(QColor)), SLOT(slotSetValue(QColor))}});
    return editor;
}

void QtColorEditorFactory::slotPropertyChanged(QtProperty *property, const QColor &value)
{
    pushValue(*d_ptr, *this, property, value, [&value](QtColorEditWidget *editor) { editor->setValue(value); });
}

void QtColorEditorFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

void QtColorEditorFactory::slotSetValue(const QColor &value) { writeBack(*d_ptr, *this, sender(), value); }

// --- QtFontEditorFactory ---

QtFontEditorFactory::QtFontEditorFactory(QObject *parent)
    : QtAbstractEditorFactory<QtFontPropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QtFontEditWidget>>(this))
{
}

QtFontEditorFactory::~QtFontEditorFactory() { d_ptr->deleteEditors(); }

namespace {
const Link kFontEditorFactoryLinks[] = {
    {SIGNAL(valueChanged(QtProperty *, QFont)),
     SLOT(slotPropertyChanged(QtProperty *, QFont))}};
} // namespace

void QtFontEditorFactory::connectPropertyManager(QtFontPropertyManager *manager)
{
    connectLinks(manager, this, kFontEditorFactoryLinks, true);
}

void QtFontEditorFactory::disconnectPropertyManager(QtFontPropertyManager *manager)
{
    connectLinks(manager, this, kFontEditorFactoryLinks, false);
}

QWidget *QtFontEditorFactory::createEditor(QtFontPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QtFontEditWidget(parent);
    d_ptr->registerEditor(property, editor);
    editor->setValue(manager->value(property));
    connectEditor(editor, this, {{SIGNAL(valueChanged(QFont)), SLOT(slotSetValue(QFont))}});
    return editor;
}

void QtFontEditorFactory::slotPropertyChanged(QtProperty *property, const QFont &value)
{
    pushValue(*d_ptr, *this, property, value, [&value](QtFontEditWidget *editor) { editor->setValue(value); });
}

void QtFontEditorFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

void QtFontEditorFactory::slotSetValue(const QFont &value) { writeBack(*d_ptr, *this, sender(), value); }
