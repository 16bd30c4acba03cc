#include "modaldriver.h"

#include <QApplication>
#include <QColorDialog>
#include <QFontDialog>
#include <QMenu>
#include <QTimer>
#include <QTest>

namespace {

// The interval of the watch while nothing is open yet.
constexpr int kPollMs = 5;

QWidget *openModal()
{
    if (QWidget *popup = QApplication::activePopupWidget())
        return popup;
    return QApplication::activeModalWidget();
}

} // namespace

ModalDriver::ModalDriver(Handler handler) : m_handler(std::move(handler))
{
    m_elapsed.start();
    QTimer::singleShot(0, this, [this] { poll(); });
}

ModalDriver::~ModalDriver()
{
    // A test that never asked still fails when nothing opened.
    if (!m_handled && !m_asked)
        QTest::qFail("no modal dialog or popup menu opened", __FILE__, __LINE__);
}

void ModalDriver::poll()
{
    QWidget *widget = openModal();
    if (!widget) {
        if (m_elapsed.elapsed() >= BoundMs)
            m_gaveUp = true;
        else
            QTimer::singleShot(kPollMs, this, [this] { poll(); });
        return;
    }
    m_handled = true;
    const QPointer<QWidget> guard(widget);
    m_handler(widget);
    if (guard && guard->isVisible())
        cancel(guard);
}

bool ModalDriver::handled()
{
    if (!m_handled && !m_gaveUp) {
        const bool settled = QTest::qWaitFor([this] { return m_handled || m_gaveUp; }, BoundMs + 500);
        Q_UNUSED(settled);
    }
    m_asked = true;
    return m_handled;
}

bool ModalDriver::drive(const std::function<void()> &open, Handler handler)
{
    ModalDriver driver(std::move(handler));
    open();
    return driver.handled();
}

void ModalDriver::pick(QWidget *dialog, const QColor &colour)
{
    auto *colourDialog = qobject_cast<QColorDialog *>(dialog);
    QVERIFY2(colourDialog, "not a colour dialog");
    colourDialog->setCurrentColor(colour);
    colourDialog->accept();
}

void ModalDriver::pick(QWidget *dialog, const QFont &font)
{
    auto *fontDialog = qobject_cast<QFontDialog *>(dialog);
    QVERIFY2(fontDialog, "not a font dialog");
    fontDialog->setCurrentFont(font);
    fontDialog->accept();
}

void ModalDriver::chooseAction(QWidget *menu, const QString &text)
{
    auto *popup = qobject_cast<QMenu *>(menu);
    QVERIFY2(popup, "not a menu");
    for (QAction *action : popup->actions()) {
        if (action->text() == text) {
            popup->setActiveAction(action);
            QTest::keyClick(popup, Qt::Key_Return);
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("the menu has no action '%1'").arg(text)));
}

void ModalDriver::cancel(QWidget *widget)
{
    if (auto *dialog = qobject_cast<QDialog *>(widget))
        dialog->reject();
    else
        widget->close();
}
