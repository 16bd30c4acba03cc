#include "propertybrowser/extended/qtkeyedits.h"

#include "propertybrowser/qteditingwidgets_p.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>

using QtEditorWidgetShapes::paintEditorBackground;

namespace {

// The read-only line edit that shows the value. Focus given to it goes to the
// editor, which takes the keys.
QLineEdit *keyLineEdit(QWidget *editor)
{
    auto *lineEdit = new QLineEdit(editor);
    auto *layout = new QHBoxLayout(editor);
    layout->addWidget(lineEdit);
    layout->setContentsMargins(0, 0, 0, 0);
    lineEdit->installEventFilter(editor);
    lineEdit->setReadOnly(true);
    lineEdit->setFocusProxy(editor);
    editor->setFocusPolicy(lineEdit->focusPolicy());
    editor->setAttribute(Qt::WA_InputMethodEnabled);
    return lineEdit;
}

// Key releases and shortcuts stop at the editor; accepting the shortcut override
// turns a key bound to a shortcut into a plain key press.
bool swallowsKeyEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
        event->accept();
        return true;
    default:
        return false;
    }
}

// The line edit's own handling of an event the editor received (focus, release).
void passOn(QLineEdit *lineEdit, QEvent *event) { static_cast<QObject *>(lineEdit)->event(event); }

// The line edit's standard menu without shortcuts, behind a clear action that
// calls `slot` on the editor; runs modally. False for any other event.
bool runClearMenu(QLineEdit *lineEdit, QObject *watched, QEvent *event, const QString &clearText, bool canClear,
                  QObject *editor, const char *slot)
{
    if (watched != lineEdit || event->type() != QEvent::ContextMenu)
        return false;
    // The menu is a child of the line edit: it goes with it should the editor be
    // deleted while the menu runs.
    const QPointer<QMenu> menu = lineEdit->createStandardContextMenu();
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        action->setShortcut(QKeySequence());
        action->setText(menuTextWithoutShortcut(action->text()));
    }
    QAction *first = actions.isEmpty() ? nullptr : actions.first();
    auto *clear = new QAction(clearText, menu);
    menu->insertAction(first, clear);
    menu->insertSeparator(first);
    clear->setEnabled(canClear);
    QObject::connect(clear, SIGNAL(triggered()), editor, slot);
    menu->exec(static_cast<QContextMenuEvent *>(event)->globalPos());
    delete menu.data();
    event->accept();
    return true;
}

} // namespace

QString menuTextWithoutShortcut(const QString &text)
{
    const int tab = text.lastIndexOf(QLatin1Char('\t'));
    return tab > 0 ? text.left(tab) : text;
}

// --- QtCharEdit ---

QtCharEdit::QtCharEdit(QWidget *parent) : QWidget(parent), m_lineEdit(keyLineEdit(this)) {}

QChar QtCharEdit::value() const { return m_value; }

void QtCharEdit::setValue(const QChar &value)
{
    if (value == m_value)
        return;
    m_value = value;
    m_lineEdit->setText(value.isNull() ? QString() : QString(value));
}

void QtCharEdit::slotClearChar()
{
    if (m_value.isNull())
        return;
    setValue(QChar());
    emit valueChanged(m_value);
}

bool QtCharEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (runClearMenu(m_lineEdit, watched, event, tr("Clear Char"), !m_value.isNull(), this, SLOT(slotClearChar())))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool QtCharEdit::event(QEvent *event) { return swallowsKeyEvent(event) || QWidget::event(event); }

void QtCharEdit::handleKeyEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_Super_L:
    case Qt::Key_Return:
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (text.size() != 1 || !text.at(0).isPrint())
        return;
    const QChar c = text.at(0);
    if (c == m_value)
        return;
    m_value = c;
    m_lineEdit->setText(text);
    event->accept();
    emit valueChanged(m_value);
}

void QtCharEdit::keyPressEvent(QKeyEvent *event)
{
    handleKeyEvent(event);
    event->accept();
}

void QtCharEdit::keyReleaseEvent(QKeyEvent *event) { passOn(m_lineEdit, event); }

void QtCharEdit::focusInEvent(QFocusEvent *event)
{
    passOn(m_lineEdit, event);
    m_lineEdit->selectAll();
    QWidget::focusInEvent(event);
}

void QtCharEdit::focusOutEvent(QFocusEvent *event)
{
    passOn(m_lineEdit, event);
    QWidget::focusOutEvent(event);
}

void QtCharEdit::paintEvent(QPaintEvent *) { paintEditorBackground(this); }

// --- QtKeySequenceEdit ---

QtKeySequenceEdit::QtKeySequenceEdit(QWidget *parent)
    : QWidget(parent), m_keyCount(0), m_lineEdit(keyLineEdit(this))
{
}

QKeySequence QtKeySequenceEdit::keySequence() const { return m_keySequence; }

void QtKeySequenceEdit::setKeySequence(const QKeySequence &sequence)
{
    if (sequence == m_keySequence)
        return;
    m_keyCount = 0;
    m_keySequence = sequence;
    m_lineEdit->setText(sequence.toString(QKeySequence::PortableText));
}

void QtKeySequenceEdit::slotClearShortcut()
{
    if (m_keySequence.isEmpty())
        return;
    setKeySequence(QKeySequence());
    emit keySequenceChanged(m_keySequence);
}

bool QtKeySequenceEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (runClearMenu(m_lineEdit, watched, event, tr("Clear Shortcut"), !m_keySequence.isEmpty(), this,
                     SLOT(slotClearShortcut())))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool QtKeySequenceEdit::event(QEvent *event) { return swallowsKeyEvent(event) || QWidget::event(event); }

void QtKeySequenceEdit::handleKeyEvent(QKeyEvent *event)
{
    const int key = event->key();
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_Super_L:
    case Qt::Key_AltGr:
    // A key the keyboard layout cannot name would make a sequence of no real key.
    case Qt::Key_unknown:
    case 0:
        return;
    default:
        break;
    }
    const int next = key | translateModifiers(event->modifiers(), event->text());
    int keys[4] = {0, 0, 0, 0};
    for (int i = 0; i < m_keyCount; ++i)
        keys[i] = m_keySequence[uint(i)];
    keys[m_keyCount] = next;
    m_keyCount = (m_keyCount + 1) % 4;
    m_keySequence = QKeySequence(keys[0], keys[1], keys[2], keys[3]);
    m_lineEdit->setText(m_keySequence.toString(QKeySequence::PortableText));
    event->accept();
    emit keySequenceChanged(m_keySequence);
}

int QtKeySequenceEdit::translateModifiers(Qt::KeyboardModifiers state, const QString &text)
{
    int result = 0;
    if (state & Qt::ShiftModifier) {
        const bool carriesShift = !text.isEmpty() && text.at(0).isPrint() && !text.at(0).isLetter()
                                  && !text.at(0).isSpace();
        if (!carriesShift)
            result |= Qt::SHIFT;
    }
    if (state & Qt::ControlModifier)
        result |= Qt::CTRL;
    if (state & Qt::MetaModifier)
        result |= Qt::META;
    if (state & Qt::AltModifier)
        result |= Qt::ALT;
    return result;
}

void QtKeySequenceEdit::keyPressEvent(QKeyEvent *event)
{
    handleKeyEvent(event);
    event->accept();
}

void QtKeySequenceEdit::keyReleaseEvent(QKeyEvent *event) { passOn(m_lineEdit, event); }

void QtKeySequenceEdit::focusInEvent(QFocusEvent *event)
{
    passOn(m_lineEdit, event);
    m_lineEdit->selectAll();
    QWidget::focusInEvent(event);
}

void QtKeySequenceEdit::focusOutEvent(QFocusEvent *event)
{
    m_keyCount = 0;
    passOn(m_lineEdit, event);
    QWidget::focusOutEvent(event);
}

void QtKeySequenceEdit::paintEvent(QPaintEvent *) { paintEditorBackground(this); }
