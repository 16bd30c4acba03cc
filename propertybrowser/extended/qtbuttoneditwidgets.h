// Editors of colour and font values: a picture of the value, its text and a "..."
// button that opens the system colour or font dialog. A value confirmed in the
// dialog that differs from the shown one is taken and emitted; a cancelled dialog
// or the same value changes nothing. The button never acts on Escape, Return or
// Enter: they travel on to the parent widgets unaccepted. The setters emit
// nothing. GUI thread only; the dialogs run modally.
//
// A browser may take the editor away while its dialog runs (the property went, from
// a timer or another event of the dialog's loop): hidden, the editor rejects the
// dialog; deleted, it takes the dialog along. Either way no value is taken.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QWidget>

#include <functional>

class QDialog;
class QLabel;
class QPixmap;
class QToolButton;

// What the two editors share: the picture, the text and the "..." button, which
// takes the editor's focus and never acts on Escape, Return or Enter. Declares no
// signals or slots of its own.
class QtButtonValueEdit : public QWidget
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    explicit QtButtonValueEdit(QWidget *parent);

    void showValue(const QPixmap &picture, const QString &text);
    QToolButton *button() const { return m_button; }
    // Runs a dialog made as a child of this editor modally, then deletes it. When
    // the user accepted it and the editor stayed shown all along, `take` reads the
    // value from it first and true comes back. False means the editor may be gone:
    // the caller returns at once.
    bool runDialog(QDialog *dialog, const std::function<void()> &take);
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QLabel *m_pixmapLabel;
    QLabel *m_label;
    QToolButton *m_button;
    QPointer<QDialog> m_dialog;
    // Set when the editor was hidden while its dialog ran: whatever the dialog
    // ends with is not taken.
    bool m_dialogWithdrawn = false;
};

class QtColorEditWidget : public QtButtonValueEdit
{
    Q_OBJECT
public:
    // Holds the invalid colour until set.
    explicit QtColorEditWidget(QWidget *parent = nullptr);

    QColor value() const { return m_color; }

signals:
    void valueChanged(const QColor &value);

public slots:
    void setValue(const QColor &value);

private slots:
    // Alpha counts: a change of alpha alone is a change.
    void buttonClicked();

private:
    QColor m_color;
};

class QtFontEditWidget : public QtButtonValueEdit
{
    Q_OBJECT
public:
    // Holds the default font until set.
    explicit QtFontEditWidget(QWidget *parent = nullptr);

    QFont value() const { return m_font; }

signals:
    void valueChanged(const QFont &value);

public slots:
    void setValue(const QFont &value);

private slots:
    // Takes over only family, point size, boldness, italic, underline and
    // strike-out from the chosen font; every other attribute stays.
    void buttonClicked();

private:
    QFont m_font;
};
