// Where the link code reports a user-facing line (success true: blue, false:
// red). The same signature as the main window's log sink, so either can be
// handed in; a null sink drops the line.
#pragma once

#include <QString>

#include <functional>

using LinkLog = std::function<void(const QString& message, bool success)>;

inline void toLinkLog(const LinkLog& log, const QString& message, bool success)
{
    if (log)
        log(message, success);
}
