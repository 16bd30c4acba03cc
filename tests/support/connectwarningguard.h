// Fails the running test on any "QObject::connect" or "QObject::disconnect"
// warning: a misspelt signature in a connection by signature string only warns.
// Install it in initTestCase (QtTest sets its own message handler when the run
// starts); every message still goes on to QtTest's handler.
#pragma once

namespace ConnectWarningGuard {
void install();
}
