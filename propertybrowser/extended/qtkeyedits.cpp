#include "propertybrowser/extended/qtkeyedits.h"

#include "propertybrowser/qteditingwidgets_p.h"
#include "propertybrowser/qtwaitinglayout_p.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>

QString menuTextWithoutShortcut(const QString &text)
{
    const int tab = text.lastIndexOf(QLatin1Char('\t'));
    return tab > 0 ? text.left(tab) : text;
}

// --- QtKeyCaptureEdit ---

// Focus given to the line edit goes to the editor, which takes the keys.
QtKeyCaptureEdit::QtKeyCaptureEdit(QWidget *parent) : QWidget(parent), m_lineEdit(new QLineEdit(this))
{
    auto *layout = setWaitingLayout<QHBoxLayout>(this);
    layout->addWidget(m_lineEdit);
    layout->setContentsMargins(0, 0, 0, 0);
    m_lineEdit->installEventFilter(this);
    m_lineEdit->setReadOnly(true);
    m_lineEdit->setFocusProxy(this);
    setFocusPolicy(m_lineEdit->focusPolicy());
    setAttribute(Qt::WA_InputMethodEnabled);
}

bool QtKeyCaptureEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_lineEdit || event->type() != QEvent::ContextMenu)
        return QWidget::eventFilter(watched, event);
    // The menu is a child of the line edit: it goes with it should the editor be
    // deleted while the menu runs.
    const QPointer<QMenu> menu = m_lineEdit->createStandardContextMenu();
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        action->setShortcut(QKeySequence());
        action->setText(menuTextWithoutShortcut(action->text()));
    }
    QAction *first = actions.isEmpty() ? nullptr : actions.first();
    auto *clear = new QAction(clearText(), menu);
    menu->insertAction(first, clear);
    menu->insertSeparator(first);
    clear->setEnabled(canClear());
    connect(clear, SIGNAL(triggered()), this, clearSlot());
    menu->exec(static_cast<QContextMenuEvent *>(event)->globalPos());
    delete menu.data();
    event->accept();
    return true;
}

bool QtKeyCaptureEdit::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
        event->accept();
        return true;
    default:
        return QWidget::event(event);
    }
}

void QtKeyCaptureEdit::keyPressEvent(QKeyEvent *event)
{
    handleKeyEvent(event);
    event->accept();
}

// The line edit's own handling of the events the editor receives for it.
void QtKeyCaptureEdit::keyReleaseEvent(QKeyEvent *event) { static_cast<QObject *>(m_lineEdit)->event(event); }

void QtKeyCaptureEdit::focusInEvent(QFocusEvent *event)
{
    static_cast<QObject *>(m_lineEdit)->event(event);
    m_lineEdit->selectAll();
    QWidget::focusInEvent(event);
}

void QtKeyCaptureEdit::focusOutEvent(QFocusEvent *event)
{
    static_cast<QObject *>(m_lineEdit)->event(event);
    QWidget::focusOutEvent(event);
}

void QtKeyCaptureEdit::paintEvent(QPaintEvent *) { QtEditorWidgetShapes::paintEditorBackground(this); }

// --- QtCharEdit ---

QtCharEdit::QtCharEdit(QWidget *parent) : QtKeyCaptureEdit(parent) {}

QChar QtCharEdit::value() const { return m_value; }

void QtCharEdit::setValue(const QChar &value)
{
    if (value == m_value)
        return;
    m_value = value;
    lineEdit()->setText(value.isNull() ? QString() : QString(value));
}

void QtCharEdit::slotClearChar()
{
    if (m_value.isNull())
        return;
    setValue(QChar());
    emit valueChanged(m_value);
}

QString QtCharEdit::clearText() const { return tr("Clear Char"); }
bool QtCharEdit::canClear() const { return !m_value.isNull(); }
const char *QtCharEdit::clearSlot() const { return SLOT(slotClearChar()); }

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
    lineEdit()->setText(text);
    event->accept();
    emit valueChanged(m_value);
}

// --- QtKeySequenceEdit ---

QtKeySequenceEdit::QtKeySequenceEdit(QWidget *parent) : QtKeyCaptureEdit(parent), m_keyCount(0) {}

QKeySequence QtKeySequenceEdit::keySequence() const { return m_keySequence; }

void QtKeySequenceEdit::setKeySequence(const QKeySequence &sequence)
{
    if (sequence == m_keySequence)
        return;
    m_keyCount = 0;
    m_keySequence = sequence;
    lineEdit()->setText(sequence.toString(QKeySequence::PortableText));
}

void QtKeySequenceEdit::slotClearShortcut()
{
    if (m_keySequence.isEmpty())
        return;
    setKeySequence(QKeySequence());
    emit keySequenceChanged(m_keySequence);
}

QString QtKeySequenceEdit::clearText() const { return tr("Clear Shortcut"); }
bool QtKeySequenceEdit::canClear() const { return !m_keySequence.isEmpty(); }
const char *QtKeySequenceEdit::clearSlot() const { return SLOT(slotClearShortcut()); }

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
    lineEdit()->setText(m_keySequence.toString(QKeySequence::PortableText));
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

void QtKeySequenceEdit::focusOutEvent(QFocusEvent *event)
{
    m_keyCount = 0;
    QtKeyCaptureEdit::focusOutEvent(event);
}
