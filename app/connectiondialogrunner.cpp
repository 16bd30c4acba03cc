#include "app/connectiondialogrunner.h"

#include "app/connectiondialog.h"

#include <utility>

namespace {
ConnectionDialogHandler& installedHandler()
{
    static ConnectionDialogHandler handler;
    return handler;
}
}

bool runConnectionDialog(ConnectionDialog& dialog)
{
    if (const ConnectionDialogHandler& handler = installedHandler())
        return handler(dialog);
    return dialog.exec() == QDialog::Accepted;
}

ScopedConnectionDialogHandler::ScopedConnectionDialogHandler(ConnectionDialogHandler handler)
    : m_previous(std::exchange(installedHandler(), std::move(handler)))
{
}

ScopedConnectionDialogHandler::~ScopedConnectionDialogHandler()
{
    installedHandler() = std::move(m_previous);
}
