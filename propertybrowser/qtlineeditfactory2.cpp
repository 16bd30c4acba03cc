#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qteditorfactory_p.h"

#include <QRegExpValidator>

using namespace QtEditorFactoryShapes;

namespace {

void connectStringManager(QtStringPropertyManager *manager, QObject *factory, bool on)
{
    static const Link links[] = {
        {SIGNAL(valueChanged(QtProperty *, const QString &)), SLOT(slotPropertyChanged(QtProperty *, const QString &))},
        {SIGNAL(regExpChanged(QtProperty *, const QRegExp &)), SLOT(slotRegExpChanged(QtProperty *, const QRegExp &))},
        {SIGNAL(inputMaskChanged(QtProperty *, const QString &)),
         SLOT(slotInputMaskChanged(QtProperty *, const QString &))},
        {SIGNAL(echoModeChanged(QtProperty *, int)), SLOT(slotEchoModeChanged(QtProperty *, int))},
        {SIGNAL(readOnlyChanged(QtProperty *, bool)), SLOT(slotReadOnlyChanged(QtProperty *, bool))},
    };
    connectLinks(manager, factory, links, on);
}

// A validator owned by the editor, or none for an invalid expression.
QValidator *validatorFor(const QRegExp &regExp, QtLineEditWidget2 *editor)
{
    return regExp.isValid() ? new QRegExpValidator(regExp, editor) : nullptr;
}

} // namespace

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
    QLineEdit *lineEdit = editor->lineEdit();
    lineEdit->setEchoMode(static_cast<QLineEdit::EchoMode>(manager->echoMode(property)));
    lineEdit->setReadOnly(manager->isReadOnly(property));
    lineEdit->setInputMask(manager->inputMask(property));
    editor->setButtonVisible(manager->isBtnVisible(property));
    editor->setButtonText(manager->btnCaption(property));
    if (QValidator *validator = validatorFor(manager->regExp(property), editor))
        lineEdit->setValidator(validator);
    editor->setValue(manager->value(property));
    connectEditor(editor, this,
                  {{SIGNAL(valueChanged()), SLOT(slotSetValue())}, {SIGNAL(btnClicked()), SLOT(slotBtnClicked())}});
    return editor;
}

void QtLineEditFactory2::slotPropertyChanged(QtProperty *property, const QString &value)
{
    pushValue(*d_ptr, *this, property, value, [&value](QtLineEditWidget2 *editor) { editor->setValue(value); });
}

void QtLineEditFactory2::slotRegExpChanged(QtProperty *property, const QRegExp &regExp)
{
    updateFromManager(*d_ptr, *this, property, [&regExp](QtLineEditWidget2 *editor, QtStringPropertyManager *) {
        QLineEdit *lineEdit = editor->lineEdit();
        const QValidator *old = lineEdit->validator();
        lineEdit->setValidator(validatorFor(regExp, editor));
        delete old;
    });
}

void QtLineEditFactory2::slotInputMaskChanged(QtProperty *property, const QString &inputMask)
{
    updateFromManager(*d_ptr, *this, property, [&](QtLineEditWidget2 *editor, QtStringPropertyManager *manager) {
        // A line edit clears or reformats its text with a new mask; showing the
        // manager's text again keeps a later Return from committing a blank.
        editor->lineEdit()->setInputMask(inputMask);
        editor->setValue(manager->value(property));
    });
}

void QtLineEditFactory2::slotEchoModeChanged(QtProperty *property, int echoMode)
{
    updateFromManager(*d_ptr, *this, property, [echoMode](QtLineEditWidget2 *editor, QtStringPropertyManager *) {
        editor->lineEdit()->setEchoMode(static_cast<QLineEdit::EchoMode>(echoMode));
    });
}

void QtLineEditFactory2::slotReadOnlyChanged(QtProperty *property, bool readOnly)
{
    updateFromManager(*d_ptr, *this, property, [readOnly](QtLineEditWidget2 *editor, QtStringPropertyManager *) {
        editor->lineEdit()->setReadOnly(readOnly);
    });
}

void QtLineEditFactory2::slotSetValue()
{
    // Only the committing editor's text is written: the manager's change brings the
    // property's other editors in line, and valueUpdated comes once. A read-only
    // text is announced only when it changed.
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        target.manager->setValue(target.property, target.editor->value(),
                                 target.manager->isReadOnly(target.property));
}

void QtLineEditFactory2::slotBtnClicked()
{
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        emit target.manager->btnClicked(target.property);
}

void QtLineEditFactory2::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }
