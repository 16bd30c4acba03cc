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
// editor committing as it loses the focus is never deleted inside its own signal;
// and a widget of the browser inside a signal of its own (an expand button being
// toggled) is marked with InSignal, so that it is not deleted inside it either.
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
    // Deletes a widget; from the event loop, out of its holder's layout and hidden
    // meanwhile, while the focus leaves from inside it or a widget in it is inside
    // a signal of its own.
    void dispose(QWidget *widget);

    // Marks the widget as inside a signal of its own while it lives.
    class InSignal
    {
    public:
        InSignal(QtHeldWidgets &held, QWidget *widget) : m_held(held) { m_held.m_inSignal.append(widget); }
        ~InSignal() { m_held.m_inSignal.removeLast(); }
        InSignal(const InSignal &) = delete;
        InSignal &operator=(const InSignal &) = delete;

    private:
        QtHeldWidgets &m_held;
    };

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
    // The widgets inside a signal of their own, innermost last.
    QVector<QPointer<QWidget>> m_inSignal;
};
