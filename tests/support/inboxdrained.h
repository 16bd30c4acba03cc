// Waits, with the event loop turning, until everything handed to the GUI
// thread's inbox before the call has run: a sentinel posted last runs last.
// A test asserts "nothing more happened" after it instead of after a sleep.
#pragma once

#include "pages/guiinbox.h"

#include <QTest>

#include <memory>

inline bool inboxDrained(int timeoutMs = 5000)
{
    auto ran = std::make_shared<bool>(false);
    GuiInbox::post([ran] { *ran = true; });
    return QTest::qWaitFor([ran] { return *ran; }, timeoutMs);
}
