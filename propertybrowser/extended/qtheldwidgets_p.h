// The widgets of a grid browser's top-level rows that a removal batch holds back
// (qtremovalbatch_p.h) and lets go together when it ends. One at a time, each
// would cost a look through all the items of the browser's layout: taking a
// widget out of a layout searches it, and so does deleting any child widget of
// the browser, since Qt tells the browser's layout. Held, the widgets stay where
// they are, hidden and out of every map of the browser; at the end of the batch
// they leave the layout in one pass and go, labels, buttons and panels deleted,
// editors moved into one hidden holder that is deleted from the event loop: an
// editor may be the sender of the signal whose handler removed its property. Every
// widget of a removed row is hidden through it as well (hideLeaving), so that an
// editor committing as it loses the focus is never deleted inside its own signal.
// Internal to the property browser; GUI thread only.
#pragma once

#include <QPointer>
#include <QVector>
#include <QWidget>

class QtRowGridLayout;

class QtHeldWidgets
{
public:
    // `layout` is the browser widget's own layout.
    QtHeldWidgets(QWidget *browser, QtRowGridLayout *layout);
    // What is still held goes with the browser widget.
    ~QtHeldWidgets();
    QtHeldWidgets(const QtHeldWidgets &) = delete;
    QtHeldWidgets &operator=(const QtHeldWidgets &) = delete;

    // Whether a widget that goes now is held back: a child of the browser widget
    // while a removal batch is open.
    bool holds(const QWidget *widget) const;
    // Hidden now, deleted when the batch ends. Only a widget that holds() accepts.
    void hold(QWidget *widget);
    // Hidden here, and deleted from the event loop after the batch; one that goes
    // earlier (its factory deleting it) is simply missing then.
    void holdEditor(QWidget *editor);

    // Hides a widget of the browser that goes and, with `toBrowser`, moves it onto
    // the browser widget. The focus may be inside it, and the editor that has it
    // may commit what was typed as it loses it; while the handlers of that run, no
    // widget around that editor is deleted at once (dispose), so that it is never
    // deleted inside its own signal.
    void hideLeaving(QWidget *widget, bool toBrowser = false);
    // Deletes a widget, or from the event loop while the focus leaves from inside it.
    void dispose(QWidget *widget);

private:
    void waitForEnd();
    void release();

    QWidget *m_browser;
    QtRowGridLayout *m_layout;
    // Guarded: one that goes meanwhile must not be taken for a new widget made
    // at its address.
    QVector<QPointer<QWidget>> m_widgets;
    QVector<QPointer<QWidget>> m_editors;
    bool m_waiting = false;
    // The widgets losing the focus in hideLeaving, innermost last.
    QVector<QPointer<QWidget>> m_focusLeaving;
};
