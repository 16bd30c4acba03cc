#include "app/connectiondialogrunner.h"

#include "app/connectiondialog.h"

#include <utility>

namespace {
ConnectionDialogHandler& installedDialogHandler()
{
    static ConnectionDialogHandler handler;
    return handler;
}
}

bool runConnectionDialog(ConnectionDialog& dialog)
{
    if (const ConnectionDialogHandler& handler = installedDialogHandler())
        return handler(dialog);
    return dialog.exec() == QDialog::Accepted;
}

ScopedConnectionDialogHandler::ScopedConnectionDialogHandler(ConnectionDialogHandler handler)
    : m_previous(std::exchange(installedDialogHandler(), std::move(handler)))
{
}

ScopedConnectionDialogHandler::~ScopedConnectionDialogHandler()
{
    installedDialogHandler() = std::move(m_previous);
}
