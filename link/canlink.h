// Opening and closing the USB-CAN link of the tool's own node: bind the
// adapter driver, start the alarm table, open the adapter's port, set the CAN
// bit rate and start the node (id 1, boot-up, pre-operational); closing stops
// the node and the timer thread and closes the port. The data source and the
// main window both open and close the link here, one at a time: the window on
// the GUI thread, the data source on a helper thread while the GUI thread
// waits. A link still open when the program exits is closed on the way out.
#pragma once

#include "link/linklog.h"

#include <QString>

#include <cstdint>

struct CanOpenNode;

enum CanLinkResult {
    CAN_LINK_OPEN = 0,
    CAN_LINK_NO_PORT = 1,     // "Не удалось установить usb-can соединение."
    CAN_LINK_NO_BIT_RATE = 2  // "Не удалось установить скорость соединения."
};

// portName is used whole: a name starting with '/' is a path, any other name
// is opened as /dev/ + name. canBusAccess non-zero opens the adapter at 2400,
// zero at 4800. A failure is logged in red and leaves nothing open; a port
// that cannot be opened is logged with the system's reason, which also goes
// to *portFailure when given. An open link is closed first.
CanLinkResult openCanLink(const QString& portName, int canBusAccess, const QString& bitRateText,
                          const LinkLog& log, QString* portFailure = nullptr);
// The line for a port that cannot be opened: "Не удалось установить usb-can
// соединение." followed by the reason, when there is one.
QString noPortLine(const QString& reason);
// Puts the node into stopped, ends the timer thread and closes the port; logs
// "Не удалось разорвать usb-can соединение." when the close command could not
// be written. True when the close went out, and when nothing was open.
bool closeCanLink(const LinkLog& log);
bool isCanLinkOpen(void);

// The adapter's one-character bit-rate code for a bit rate as decimal text;
// '2' (50 kbit/s) for anything not in the table.
char canBitRateCode(const QString& bitRate);

// Start-up callback: the node takes id 1, sends its boot-up frame and becomes
// pre-operational. Exit callback: the node becomes stopped. Both act on the
// tool's node whatever node they are given (the timer layer passes none).
void canLinkStartup(CanOpenNode* node, uint32_t id);
void canLinkExit(CanOpenNode* node, uint32_t id);
