// User input as the window system hands it to the application: queued, and
// taken from the queue by the event loop when it next takes user input (a
// loop run with ExcludeUserInputEvents leaves it there until it ends). A
// test gives input at a moment of its choosing, as a user's hand would.
#pragma once

#include <qpa/qwindowsysteminterface.h>

#include <QPoint>
#include <QString>
#include <QWidget>
#include <QWindow>

namespace windowinput {

using Queued = QWindowSystemInterface::AsynchronousDelivery;

// A left click at the middle of `target`, through its window.
inline void click(QWidget* target)
{
    QWidget* top = target->window();
    QWindow* window = top->windowHandle();
    const QPointF local = target->mapTo(top, target->rect().center());
    const QPointF global = target->mapToGlobal(target->rect().center());
    QWindowSystemInterface::handleMouseEvent<Queued>(window, local, global, Qt::LeftButton, Qt::LeftButton,
                                                     QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<Queued>(window, local, global, Qt::NoButton, Qt::LeftButton,
                                                     QEvent::MouseButtonRelease);
}

// Typed text, one key press and release per character, to the window's focus.
inline void type(QWindow* window, const QString& text)
{
    for (const QChar c : text) {
        const int key = c.toUpper().unicode();
        QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyPress, key, Qt::NoModifier, c);
        QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyRelease, key, Qt::NoModifier, c);
    }
}

// The title bar's close button.
inline void close(QWindow* window)
{
    QWindowSystemInterface::handleCloseEvent<Queued>(window);
}

} // namespace windowinput
