// Keeps the user's hands off the application while the GUI thread waits in a
// local event loop. Qt's ExcludeUserInputEvents only holds input back until
// the loop ends, and a click given during the wait would then take effect
// afterwards; a hold drops it instead. While a hold lives, the application
// drops mouse, key, wheel, shortcut, touch, tablet, context-menu, drag and
// input-method events, shows the wait cursor, and refuses a window's close
// request from the window system, remembering the window so that the caller
// can act on it once the wait is over. Everything else (painting, timers,
// queued work) goes on. GUI thread only.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

class UserInputHold : public QObject {
public:
    UserInputHold();
    ~UserInputHold() override; // ends the hold unless end() did

    UserInputHold(const UserInputHold&) = delete;
    UserInputHold& operator=(const UserInputHold&) = delete;

    // Drops what input still waits in the queue, then lets input through
    // again and puts the cursor back. Returns the windows whose close the user
    // asked for while the hold lived.
    QList<QPointer<QWidget>> end();

    // True for the events a hold drops.
    static bool isUserInput(int eventType);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QPointer<QWidget>> m_closeRequests;
    bool m_ended = false;
};
