#include "propertybrowser/extended/qtextendedfactories.h"
#include "propertybrowser/qtlineeditshapes_p.h"

using namespace QtEditorFactoryShapes;
using namespace QtLineEditShapes;

QtLineEditFactory::QtLineEditFactory(QObject *parent)
    : QtAbstractEditorFactory<QtStringPropertyManager>(parent), d_ptr(std::make_unique<EditorRegistry<QLineEdit>>(this))
{
}

QtLineEditFactory::~QtLineEditFactory() { d_ptr->deleteEditors(); }

void QtLineEditFactory::connectPropertyManager(QtStringPropertyManager *manager)
{
    connectStringManager(manager, this, true);
}

void QtLineEditFactory::disconnectPropertyManager(QtStringPropertyManager *manager)
{
    connectStringManager(manager, this, false);
}

QWidget *QtLineEditFactory::createEditor(QtStringPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QLineEdit(parent);
    d_ptr->registerEditor(property, editor);
    configure(editor, editor, manager, property);
    editor->setText(manager->value(property));
    connectEditor(editor, this, {{SIGNAL(returnPressed()), SLOT(slotSetValue())}});
    return editor;
}

void QtLineEditFactory::slotPropertyChanged(QtProperty *property, const QString &value)
{
    pushes(*d_ptr, *this).value(property, value);
}

void QtLineEditFactory::slotRegExpChanged(QtProperty *property, const QRegExp &regExp)
{
    pushes(*d_ptr, *this).regExp(property, regExp);
}

void QtLineEditFactory::slotInputMaskChanged(QtProperty *property, const QString &inputMask)
{
    pushes(*d_ptr, *this).inputMask(property, inputMask);
}

void QtLineEditFactory::slotEchoModeChanged(QtProperty *property, int echoMode)
{
    pushes(*d_ptr, *this).echoMode(property, echoMode);
}

void QtLineEditFactory::slotReadOnlyChanged(QtProperty *property, bool readOnly)
{
    pushes(*d_ptr, *this).readOnly(property, readOnly);
}

void QtLineEditFactory::slotSetValue() { pushes(*d_ptr, *this).commit(sender()); }

void QtLineEditFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }
