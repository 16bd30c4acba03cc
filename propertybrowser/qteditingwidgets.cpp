#include "propertybrowser/qteditingwidgets.h"
#include "propertybrowser/qteditingwidgets_p.h"
#include "propertybrowser/qtwaitinglayout_p.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOption>

namespace {

bool isCommitKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

} // namespace

namespace QtEditorWidgetShapes {

bool buttonIgnores(QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key != Qt::Key_Escape && !isCommitKey(key))
        return false;
    event->ignore();
    return true;
}

void paintEditorBackground(QWidget *widget)
{
    QStyleOption option;
    option.initFrom(widget);
    QPainter painter(widget);
    widget->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, widget);
}

QHBoxLayout *editorRow(QWidget *editor)
{
    auto *layout = setWaitingLayout<QHBoxLayout>(editor);
    applyEditorMargin(layout);
    layout->setSpacing(0);
    return layout;
}

} // namespace QtEditorWidgetShapes

using namespace QtEditorWidgetShapes;

void applyEditorMargin(QLayout *layout)
{
    if (QApplication::layoutDirection() == Qt::LeftToRight)
        layout->setContentsMargins(4, 0, 0, 0);
    else
        layout->setContentsMargins(0, 0, 4, 0);
}

// --- QtSpinBoxEditWidget2 ---

QtSpinBoxEditWidget2::QtSpinBoxEditWidget2(QWidget *parent)
    : QWidget(parent), m_spinBox(new QSpinBox(this)), m_button(new QToolButton(this))
{
    m_spinBox->setKeyboardTracking(false);
    QHBoxLayout *layout = editorRow(this);
    layout->addWidget(m_spinBox);
    setFocusProxy(m_button);
    setFocusPolicy(m_button->focusPolicy());
    m_button->setText(tr("Рассчитать"));
    m_button->installEventFilter(this);
    connect(m_button, SIGNAL(clicked()), this, SLOT(buttonClicked()));
    layout->addWidget(m_button);
}

void QtSpinBoxEditWidget2::setValue(int value)
{
    if (m_spinBox->value() != value)
        m_spinBox->setValue(value);
}

int QtSpinBoxEditWidget2::value() const { return m_spinBox->value(); }
void QtSpinBoxEditWidget2::setSingleStep(int step) { m_spinBox->setSingleStep(step); }
int QtSpinBoxEditWidget2::singleStep() const { return m_spinBox->singleStep(); }
void QtSpinBoxEditWidget2::setRange(int minimum, int maximum) { m_spinBox->setRange(minimum, maximum); }
void QtSpinBoxEditWidget2::setReadOnly(bool readOnly) { m_spinBox->setReadOnly(readOnly); }
bool QtSpinBoxEditWidget2::isReadOnly() const { return m_spinBox->isReadOnly(); }
void QtSpinBoxEditWidget2::setKeyboardTracking(bool tracking) { m_spinBox->setKeyboardTracking(tracking); }
bool QtSpinBoxEditWidget2::keyboardTracking() const { return m_spinBox->keyboardTracking(); }
void QtSpinBoxEditWidget2::setButtonVisible(bool visible) { m_button->setVisible(visible); }
void QtSpinBoxEditWidget2::setButtonText(const QString &text) { m_button->setText(text); }

bool QtSpinBoxEditWidget2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_button && buttonIgnores(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

void QtSpinBoxEditWidget2::buttonClicked() { emit scriptCalled(); }

void QtSpinBoxEditWidget2::slotValueChanged() {}

void QtSpinBoxEditWidget2::keyPressEvent(QKeyEvent *event)
{
    // Any other key stops here, accepted.
    if (isCommitKey(event->key()))
        emit valueChanged(m_spinBox->value());
}

void QtSpinBoxEditWidget2::paintEvent(QPaintEvent *) { paintEditorBackground(this); }

// --- QtLineEditWidget2 ---

QtLineEditWidget2::QtLineEditWidget2(QWidget *parent)
    : QWidget(parent), m_lineEdit(new QLineEdit(this)), m_button(new QToolButton(this))
{
    QHBoxLayout *layout = editorRow(this);
    setFocusProxy(m_button);
    setFocusPolicy(m_button->focusPolicy());
    m_button->setText(tr("Редактировать"));
    m_button->installEventFilter(this);
    connect(m_button, SIGNAL(clicked()), this, SLOT(slotBtnClicked()));
    layout->addWidget(m_lineEdit);
    layout->addWidget(m_button);
}

void QtLineEditWidget2::setValue(const QString &value)
{
    if (m_lineEdit->text() != value)
        m_lineEdit->setText(value);
}

QString QtLineEditWidget2::value() const { return m_lineEdit->text(); }
void QtLineEditWidget2::setReadOnly(bool readOnly) { m_lineEdit->setReadOnly(readOnly); }
bool QtLineEditWidget2::isReadOnly() const { return m_lineEdit->isReadOnly(); }
void QtLineEditWidget2::setValidator(const QValidator *validator) { m_lineEdit->setValidator(validator); }
const QValidator *QtLineEditWidget2::validator() const { return m_lineEdit->validator(); }
void QtLineEditWidget2::setInputMask(const QString &inputMask) { m_lineEdit->setInputMask(inputMask); }
QString QtLineEditWidget2::inputMask() const { return m_lineEdit->inputMask(); }

void QtLineEditWidget2::setEchoMode(int echoMode)
{
    m_lineEdit->setEchoMode(static_cast<QLineEdit::EchoMode>(echoMode));
}

int QtLineEditWidget2::echoMode() const { return m_lineEdit->echoMode(); }
void QtLineEditWidget2::setButtonVisible(bool visible) { m_button->setVisible(visible); }
void QtLineEditWidget2::setButtonText(const QString &text) { m_button->setText(text); }

bool QtLineEditWidget2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_button && buttonIgnores(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

void QtLineEditWidget2::slotBtnClicked() { emit btnClicked(); }

void QtLineEditWidget2::keyPressEvent(QKeyEvent *event)
{
    // Any other key stops here, accepted.
    if (isCommitKey(event->key()))
        emit valueChanged();
}

void QtLineEditWidget2::paintEvent(QPaintEvent *) { paintEditorBackground(this); }

// --- QtDoubleSpinBox2 ---

QtDoubleSpinBox2::QtDoubleSpinBox2(QWidget *parent) : QDoubleSpinBox(parent)
{
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_edited = true; });
}

void QtDoubleSpinBox2::stepBy(int steps)
{
    QDoubleSpinBox::stepBy(steps);
    m_edited = true;
}

void QtDoubleSpinBox2::keyPressEvent(QKeyEvent *event)
{
    QDoubleSpinBox::keyPressEvent(event);
    if (isCommitKey(event->key()))
        emit enterPressed();
}

// --- QtBoolEdit ---

QtBoolEdit::QtBoolEdit(QWidget *parent)
    : QWidget(parent), m_checkBox(new QCheckBox(this)), m_textVisible(true)
{
    auto *layout = setWaitingLayout<QHBoxLayout>(this);
    applyEditorMargin(layout);
    layout->addWidget(m_checkBox);
    connect(m_checkBox, SIGNAL(toggled(bool)), this, SIGNAL(toggled(bool)));
    setFocusProxy(m_checkBox);
    m_checkBox->setText(tr("True"));
}

void QtBoolEdit::setTextVisible(bool visible)
{
    if (m_textVisible == visible)
        return;
    m_textVisible = visible;
    m_checkBox->setText(visible ? stateText() : QString());
}

Qt::CheckState QtBoolEdit::checkState() const { return m_checkBox->checkState(); }
void QtBoolEdit::setCheckState(Qt::CheckState state) { m_checkBox->setCheckState(state); }
bool QtBoolEdit::isChecked() const { return m_checkBox->isChecked(); }

void QtBoolEdit::setChecked(bool checked)
{
    m_checkBox->setChecked(checked);
    if (m_textVisible)
        m_checkBox->setText(stateText());
}

bool QtBoolEdit::blockCheckBoxSignals(bool block) { return m_checkBox->blockSignals(block); }

QString QtBoolEdit::stateText() const { return isChecked() ? tr("True") : tr("False"); }

void QtBoolEdit::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_checkBox->click();
        event->accept();
    } else {
        QWidget::mousePressEvent(event);
    }
}

void QtBoolEdit::paintEvent(QPaintEvent *) { paintEditorBackground(this); }
