#include "pages/userinputhold.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QWidget>

namespace {
// A program without a GUI (a test of the data source alone) has no cursor.
bool hasCursor()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}
}

UserInputHold::UserInputHold()
{
    if (hasCursor())
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

UserInputHold::~UserInputHold()
{
    end();
}

QList<QPointer<QWidget>> UserInputHold::end()
{
    if (!m_ended) {
        m_ended = true;
        // Input that reached the queue before the wait ended still belongs to it.
        QCoreApplication::processEvents();
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeEventFilter(this);
        if (hasCursor())
            QGuiApplication::restoreOverrideCursor();
    }
    return m_closeRequests;
}

bool UserInputHold::isUserInput(int eventType)
{
    switch (eventType) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::InputMethod:
    case QEvent::Gesture:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

bool UserInputHold::eventFilter(QObject* watched, QEvent* event)
{
    if (isUserInput(event->type()))
        return true;
    // Only the window system's close (the title bar's button, Alt+F4) is the
    // user's; a widget that closes itself (a tool tip) goes on as usual.
    if (event->type() == QEvent::Close && event->spontaneous() && watched->isWidgetType()) {
        auto* window = static_cast<QWidget*>(watched);
        if (window->isWindow()) {
            event->ignore();
            if (!m_closeRequests.contains(window))
                m_closeRequests.append(window);
            return true;
        }
    }
    return false;
}
