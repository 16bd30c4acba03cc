// Drives the next modal dialog or popup menu of a test. Armed on construction: from
// a zero-delay timer it watches, at most for BoundMs, for a modal dialog or popup
// menu and hands the first one to the test's function, which runs inside the
// dialog's or menu's own event loop (pick a colour or font, choose a menu action,
// cancel, or look at it first). Whatever the function leaves open is closed after
// it, so a failed check inside never leaves the test hanging in the dialog.
//
//   ModalDriver driver([](QWidget *w) { ModalDriver::pick(w, QColor(Qt::red)); });
//   button->click();
//   QVERIFY(driver.handled());
// or, the same: QVERIFY(ModalDriver::drive([&] { button->click(); }, handler));
//
// A driver whose function never ran fails the running test: through handled(),
// or, when the test never asked, when the driver goes.
// The dialogs are the real Qt ones. GUI thread only.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

class ModalDriver : public QObject
{
public:
    using Handler = std::function<void(QWidget *)>;
    enum { BoundMs = 2000 };

    explicit ModalDriver(Handler handler);
    ~ModalDriver() override;

    // True once the function has run; waits for it up to the bound.
    bool handled();

    // Arms a driver, runs `open` (which opens the dialog or menu and returns when
    // it has closed) and tells whether the function ran.
    static bool drive(const std::function<void()> &open, Handler handler);

    // Accepts a colour dialog with the colour (alpha included).
    static void pick(QWidget *dialog, const QColor &colour);
    // Accepts a font dialog with the font.
    static void pick(QWidget *dialog, const QFont &font);
    // Chooses the menu's action of that text with the keyboard.
    static void chooseAction(QWidget *menu, const QString &text);
    // Rejects a dialog or closes a menu.
    static void cancel(QWidget *widget);

private:
    void poll();

    Handler m_handler;
    QElapsedTimer m_elapsed;
    bool m_handled = false;
    bool m_gaveUp = false;
    bool m_asked = false;
};
