#pragma once

#include <QString>
#include <functional>

// Where plain (window-less) code reports a user-facing line; the main window routes it
// to its log pane (success true: blue, false: red).
using LogSink = std::function<void(const QString& message, bool success)>;
