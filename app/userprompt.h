// The one way the application asks the user a question in a message box. Tests
// install a handler that answers in place of the user, so no test opens a modal
// box it cannot close.
#pragma once

#include <QLocale>
#include <QMessageBox>
#include <QString>

#include <functional>

struct PromptRequest {
    QString text;
    QString informativeText;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::TextFormat textFormat = Qt::AutoText;
    QLocale locale; // labels of the standard buttons
};

using PromptHandler = std::function<QMessageBox::StandardButton(const PromptRequest&)>;

// Shows the box modally (no parent) and gives the button pressed; closing the
// box gives the escape button's answer. With a handler installed, the handler
// answers instead. GUI thread only.
QMessageBox::StandardButton promptUser(const PromptRequest& request);

// Installs a handler for its lifetime and puts the previous one back after.
class ScopedPromptHandler {
public:
    explicit ScopedPromptHandler(PromptHandler handler);
    ~ScopedPromptHandler();
    ScopedPromptHandler(const ScopedPromptHandler&) = delete;
    ScopedPromptHandler& operator=(const ScopedPromptHandler&) = delete;

private:
    PromptHandler m_previous;
};
