#include "app/userprompt.h"

#include <utility>

namespace {
PromptHandler& installedPromptHandler()
{
    static PromptHandler handler;
    return handler;
}
}

QMessageBox::StandardButton promptUser(const PromptRequest& request)
{
    if (const PromptHandler& handler = installedPromptHandler())
        return handler(request);
    QMessageBox box;
    box.setLocale(request.locale);
    box.setTextFormat(request.textFormat);
    box.setText(request.text);
    box.setInformativeText(request.informativeText);
    box.setStandardButtons(request.buttons);
    if (request.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

ScopedPromptHandler::ScopedPromptHandler(PromptHandler handler)
    : m_previous(std::exchange(installedPromptHandler(), std::move(handler)))
{
}

ScopedPromptHandler::~ScopedPromptHandler()
{
    installedPromptHandler() = std::move(m_previous);
}
