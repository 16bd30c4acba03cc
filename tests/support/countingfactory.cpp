#include "countingfactory.h"

CountingFactory::CountingFactory(QObject *parent)
    : QtAbstractEditorFactory<QtIntPropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QSpinBox>>(this))
{
}

CountingFactory::~CountingFactory()
{
    d_ptr->deleteEditors();
}

void CountingFactory::connectPropertyManager(QtIntPropertyManager *manager)
{
    ++connects;
    connect(manager, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotPropertyChanged(QtProperty *, int)));
}

void CountingFactory::disconnectPropertyManager(QtIntPropertyManager *manager)
{
    ++disconnects;
    disconnect(manager, SIGNAL(valueChanged(QtProperty *, int)), this,
               SLOT(slotPropertyChanged(QtProperty *, int)));
}

QWidget *CountingFactory::createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    ++creates;
    auto *editor = new QSpinBox(parent);
    d_ptr->registerEditor(property, editor);
    editor->setValue(manager->value(property));
    connect(editor, SIGNAL(destroyed(QObject *)), this, SLOT(slotEditorDestroyed(QObject *)));
    return editor;
}

void CountingFactory::slotPropertyChanged(QtProperty *property, int value)
{
    d_ptr->updateEditors(property, [this, value](QSpinBox *editor) {
        editor->setValue(value);
        ++m_pushes[editor];
    });
}

void CountingFactory::slotEditorDestroyed(QObject *object)
{
    d_ptr->editorDestroyed(object);
}
