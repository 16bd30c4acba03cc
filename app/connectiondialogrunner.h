// The one way the application runs the connection dialog. Tests install a
// handler that fills in and accepts or cancels the dialog in place of the
// user, so no test opens a modal dialog it cannot close.
#pragma once

#include <functional>

class ConnectionDialog;

// True when the dialog was accepted.
using ConnectionDialogHandler = std::function<bool(ConnectionDialog& dialog)>;

// Runs the dialog modally; with a handler installed, the handler answers
// instead. GUI thread only.
bool runConnectionDialog(ConnectionDialog& dialog);

// Installs a handler for its lifetime and puts the previous one back after.
class ScopedConnectionDialogHandler {
public:
    explicit ScopedConnectionDialogHandler(ConnectionDialogHandler handler);
    ~ScopedConnectionDialogHandler();
    ScopedConnectionDialogHandler(const ScopedConnectionDialogHandler&) = delete;
    ScopedConnectionDialogHandler& operator=(const ScopedConnectionDialogHandler&) = delete;

private:
    ConnectionDialogHandler m_previous;
};
