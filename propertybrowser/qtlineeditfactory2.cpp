#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qtlineeditshapes_p.h"

using namespace QtEditorFactoryShapes;
using namespace QtLineEditShapes;

QtLineEditFactory2::QtLineEditFactory2(QObject *parent)
    : QtAbstractEditorFactory<QtStringPropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QtLineEditWidget2>>(this))
{
}

QtLineEditFactory2::~QtLineEditFactory2() { d_ptr->deleteEditors(); }

void QtLineEditFactory2::connectPropertyManager(QtStringPropertyManager *manager)
{
    connectStringManager(manager, this, true);
}

void QtLineEditFactory2::disconnectPropertyManager(QtStringPropertyManager *manager)
{
    connectStringManager(manager, this, false);
}

QWidget *QtLineEditFactory2::createEditor(QtStringPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QtLineEditWidget2(parent);
    d_ptr->registerEditor(property, editor);
    configure(editor->lineEdit(), editor, manager, property);
    editor->setButtonVisible(manager->isBtnVisible(property));
    editor->setButtonText(manager->btnCaption(property));
    editor->setValue(manager->value(property));
    connectEditor(editor, this,
                  {{SIGNAL(valueChanged()), SLOT(slotSetValue())}, {SIGNAL(btnClicked()), SLOT(slotBtnClicked())}});
    return editor;
}

void QtLineEditFactory2::slotPropertyChanged(QtProperty *property, const QString &value)
{
    pushes(*d_ptr, *this).value(property, value);
}

void QtLineEditFactory2::slotRegExpChanged(QtProperty *property, const QRegExp &regExp)
{
    pushes(*d_ptr, *this).regExp(property, regExp);
}

void QtLineEditFactory2::slotInputMaskChanged(QtProperty *property, const QString &inputMask)
{
    pushes(*d_ptr, *this).inputMask(property, inputMask);
}

void QtLineEditFactory2::slotEchoModeChanged(QtProperty *property, int echoMode)
{
    pushes(*d_ptr, *this).echoMode(property, echoMode);
}

void QtLineEditFactory2::slotReadOnlyChanged(QtProperty *property, bool readOnly)
{
    pushes(*d_ptr, *this).readOnly(property, readOnly);
}

void QtLineEditFactory2::slotSetValue() { pushes(*d_ptr, *this).commit(sender()); }

void QtLineEditFactory2::slotBtnClicked()
{
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        emit target.manager->btnClicked(target.property);
}

void QtLineEditFactory2::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }
