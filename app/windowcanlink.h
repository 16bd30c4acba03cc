// The main window's own CAN link: open, device-type test, connect, close. It
// follows the same steps as the data source's link and uses the shared open and
// close sequence of the link layer.
#pragma once

#include "app/logsink.h"

#include <functional>

class WindowCanLink {
public:
    struct Hooks {
        LogSink log;                     // red and blue log lines
        std::function<void()> toolsOff;  // switches the device tools off
        std::function<void()> onClose;   // the classic pages let go of the link
    };

    explicit WindowCanLink(Hooks hooks);
    ~WindowCanLink(); // closes a link still open
    WindowCanLink(const WindowCanLink&) = delete;
    WindowCanLink& operator=(const WindowCanLink&) = delete;

    // Opens the adapter on the configured port and bit rate and starts the
    // tool's node. On failure logs why, switches the tools off and closes.
    bool open();
    // Reads the device type at the configured device id (3 tries); 1 when it is
    // the type of the chosen device entry, else 0 with the link closed.
    int test();
    // open, then test; 0 when the open failed.
    int connect();
    // Stops the node and closes the adapter; nothing when not open.
    void close();
    bool isOpen() const { return m_open; }

private:
    void fail(const QString& message);

    Hooks m_hooks;
    bool m_open = false;
};
