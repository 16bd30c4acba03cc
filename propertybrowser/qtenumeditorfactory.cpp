#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qteditorfactory_p.h"

#include <QAbstractItemView>

using namespace QtEditorFactoryShapes;

namespace {

// The icons are not followed: they reach the combo boxes with the names.
void connectEnumManager(QtEnumPropertyManager *manager, QObject *factory, bool on)
{
    static const Link links[] = {
        {SIGNAL(valueChanged(QtProperty *, int)), SLOT(slotPropertyChanged(QtProperty *, int))},
        {SIGNAL(valueChangedNoUpdate(QtProperty *, int)), SLOT(slotPropertyChangedNoUpdate(QtProperty *, int))},
        {SIGNAL(enumNamesChanged(QtProperty *, const QStringList &)),
         SLOT(slotEnumNamesChanged(QtProperty *, const QStringList &))},
    };
    connectLinks(manager, factory, links, on);
}

// Item i gets the icon for index i, an empty one where the map has none.
void applyIcons(QComboBox *editor, int count, const QMap<int, QIcon> &icons)
{
    for (int i = 0; i < count; ++i)
        editor->setItemIcon(i, icons.value(i));
}

void fillItems(QComboBox *editor, const QStringList &names, QtEnumPropertyManager *manager, QtProperty *property)
{
    editor->addItems(names);
    applyIcons(editor, names.size(), manager->enumIcons(property));
}

} // namespace

QtEnumEditorFactory::QtEnumEditorFactory(QObject *parent)
    : QtAbstractEditorFactory<QtEnumPropertyManager>(parent), d_ptr(std::make_unique<EditorRegistry<QComboBox>>(this))
{
}

QtEnumEditorFactory::~QtEnumEditorFactory() { d_ptr->deleteEditors(); }

void QtEnumEditorFactory::connectPropertyManager(QtEnumPropertyManager *manager)
{
    connectEnumManager(manager, this, true);
}

void QtEnumEditorFactory::disconnectPropertyManager(QtEnumPropertyManager *manager)
{
    connectEnumManager(manager, this, false);
}

QWidget *QtEnumEditorFactory::createEditor(QtEnumPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QComboBox(parent);
    d_ptr->registerEditor(property, editor);
    editor->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    editor->setMinimumContentsLength(1);
    editor->view()->setTextElideMode(Qt::ElideRight);
    fillItems(editor, manager->enumNames(property), manager, property);
    editor->setCurrentIndex(manager->value(property));
    connectEditor(editor, this, {{SIGNAL(currentIndexChanged(int)), SLOT(slotSetValue(int))}});
    return editor;
}

void QtEnumEditorFactory::slotPropertyChanged(QtProperty *property, int value)
{
    pushValue(*d_ptr, *this, property, value, [value](QComboBox *editor) { editor->setCurrentIndex(value); });
}

void QtEnumEditorFactory::slotPropertyChangedNoUpdate(QtProperty *property, int value)
{
    d_ptr->updateEditors(property, [value](QComboBox *editor) { editor->setCurrentIndex(value); });
}

void QtEnumEditorFactory::slotEnumNamesChanged(QtProperty *property, const QStringList &names)
{
    updateFromManager(*d_ptr, *this, property, [&](QComboBox *editor, QtEnumPropertyManager *manager) {
        editor->clear();
        fillItems(editor, names, manager, property);
        editor->setCurrentIndex(manager->value(property));
    });
}

void QtEnumEditorFactory::slotEnumIconsChanged(QtProperty *property, const QMap<int, QIcon> &icons)
{
    updateFromManager(*d_ptr, *this, property, [&](QComboBox *editor, QtEnumPropertyManager *manager) {
        applyIcons(editor, manager->enumNames(property).size(), icons);
        editor->setCurrentIndex(manager->value(property));
    });
}

void QtEnumEditorFactory::slotSetValue(int value)
{
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        target.manager->setValue(target.property, value);
}

void QtEnumEditorFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }
