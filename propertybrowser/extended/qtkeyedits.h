// Editors that record keys into a read-only line edit:
//   QtCharEdit: one printable character, typed on the keyboard;
//   QtKeySequenceEdit: a shortcut of up to four key combinations, recorded from key
//     presses; a fifth key starts a new sequence, and so does the first key after
//     the editor lost focus.
// Each takes every key press (shortcut overrides are accepted, so keys bound to
// application shortcuts arrive as key presses too) and emits its change signal
// only for a user's change; the setters emit nothing. The line edit's context
// menu offers "Clear Char" / "Clear Shortcut" first, enabled when there is
// something to clear, and shows no shortcut hints. GUI thread only; the context
// menu runs modally.
#pragma once

#include <QChar>
#include <QKeySequence>
#include <QWidget>

class QKeyEvent;
class QLineEdit;

// A standard menu entry's text without its shortcut hint: cut at the last tab,
// unless the tab is the first character.
QString menuTextWithoutShortcut(const QString &text);

// What the two editors share: the read-only line edit, the key, focus and paint
// handling around it, and its context menu with the clear action first. Declares
// no signals or slots of its own.
class QtKeyCaptureEdit : public QWidget
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    explicit QtKeyCaptureEdit(QWidget *parent);

    QLineEdit *lineEdit() const { return m_lineEdit; }

    // Key releases and shortcuts stop here; accepting the shortcut override turns a
    // key bound to a shortcut into a plain key press.
    bool event(QEvent *event) override;
    // Runs handleKeyEvent and takes the key whatever it did.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

    virtual void handleKeyEvent(QKeyEvent *event) = 0;
    // The clear action of the context menu: its text, whether there is something
    // to clear, and the slot it triggers.
    virtual QString clearText() const = 0;
    virtual bool canClear() const = 0;
    virtual const char *clearSlot() const = 0;

private:
    QLineEdit *m_lineEdit;
};

class QtCharEdit : public QtKeyCaptureEdit
{
    Q_OBJECT
public:
    explicit QtCharEdit(QWidget *parent = nullptr);

    // The null character when none is set.
    QChar value() const;

signals:
    void valueChanged(const QChar &value);

public slots:
    void setValue(const QChar &value);

private slots:
    void slotClearChar();

private:
    void handleKeyEvent(QKeyEvent *event) override;
    QString clearText() const override;
    bool canClear() const override;
    const char *clearSlot() const override;

    QChar m_value;
};

class QtKeySequenceEdit : public QtKeyCaptureEdit
{
    Q_OBJECT
public:
    explicit QtKeySequenceEdit(QWidget *parent = nullptr);

    QKeySequence keySequence() const;

signals:
    void keySequenceChanged(const QKeySequence &sequence);

public slots:
    // The next key press starts a new sequence.
    void setKeySequence(const QKeySequence &sequence);

private slots:
    void slotClearShortcut();

protected:
    // The next key press starts a new sequence.
    void focusOutEvent(QFocusEvent *event) override;

private:
    void handleKeyEvent(QKeyEvent *event) override;
    QString clearText() const override;
    bool canClear() const override;
    const char *clearSlot() const override;
    // The modifier bits of a key code; Shift only where the text does not already
    // carry it (a digit or punctuation typed with Shift).
    static int translateModifiers(Qt::KeyboardModifiers state, const QString &text);

    // Where the next key goes in the sequence: 0 to 3.
    int m_keyCount;
    QKeySequence m_keySequence;
};
