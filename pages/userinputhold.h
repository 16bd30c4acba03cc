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
    ~UserInputHold() override; // the cursor and the input come back

    UserInputHold(const UserInputHold&) = delete;
    UserInputHold& operator=(const UserInputHold&) = delete;

    // The windows whose close the user asked for while the hold lived.
    QList<QPointer<QWidget>> closeRequests() const { return m_closeRequests; }

    // True for the events a hold drops.
    static bool isUserInput(int eventType);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QPointer<QWidget>> m_closeRequests;
};
