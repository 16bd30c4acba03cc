#include "link/canlink.h"
#include "canopen/tooldict.h"

#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/timer.h"
#include "link/sdoaccess.h"
#include "link/slcanadapter.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {
std::mutex linkMutex;          // one open or close at a time
std::atomic<bool> linkOpen{false};

struct BitRateCode {
    int bitsPerSecond;
    char code;
};
const BitRateCode bitRateCodes[] = {
    {10000, '0'}, {20000, '1'}, {100000, '3'}, {125000, '4'},
    {250000, '5'}, {500000, '6'}, {800000, '7'}, {1000000, '8'},
};

bool closeLocked(const LinkLog& log)
{
    if (!linkOpen.load())
        return true;
    stopCanOpenTimerLoop(canLinkExit);
    const uint8_t closed = closeCanPort(&toolNode);
    if (!closed)
        toLinkLog(log, QStringLiteral("Не удалось разорвать usb-can соединение."), false);
    linkOpen.store(false);
    return closed != 0;
}

// The port, timer and writer threads belong to static objects whose
// destructors join them; a program that leaves main with the link open must
// first tell them to stop, or the joins never end. Functions registered with
// atexit run before the destructors of objects built earlier, and those
// threads' owners are built before main.
void closeLinkAtExit()
{
    closeCanLink(nullptr);
}
}

QString noPortLine(const QString& reason)
{
    QString line = QStringLiteral("Не удалось установить usb-can соединение.");
    if (!reason.isEmpty())
        line += QLatin1Char(' ') + reason;
    return line;
}

char canBitRateCode(const QString& bitRate)
{
    bool ok = false;
    const int value = bitRate.toInt(&ok, 10);
    for (const BitRateCode& entry : bitRateCodes) {
        if (ok && entry.bitsPerSecond == value)
            return entry.code;
    }
    return '2';
}

void canLinkStartup(CanOpenNode*, uint32_t)
{
    CanOpenLock lock;
    CanOpenNode* node = &toolNode;
    assignNodeId(node, 1);
    setNodeState(node, NMT_INITIALISATION);
}

void canLinkExit(CanOpenNode*, uint32_t)
{
    CanOpenLock lock;
    setSdoAccessOnline(false);
    setNodeState(&toolNode, NMT_STOPPED);
}

CanLinkResult openCanLink(const QString& portName, int canBusAccess, const QString& bitRateText,
                          const LinkLog& log, QString* portFailure)
{
    static std::once_flag exitHook;
    std::call_once(exitHook, [] { std::atexit(closeLinkAtExit); });
    std::lock_guard<std::mutex> guard(linkMutex);
    closeLocked(log);
    bindCanAdapterDriver();
    initCanOpenTimer();

    CanBoard board;
    board.busname = portName.toLocal8Bit().toStdString();
    board.baudrate = canBusAccess ? "2400" : "4800";
    CanPort* port = openCanPort(&board, &toolNode);
    if (!port) {
        const QString reason = QString::fromLocal8Bit(slcanAdapterOpenError().c_str());
        if (portFailure)
            *portFailure = reason;
        toLinkLog(log, noPortLine(reason), false);
        return CAN_LINK_NO_PORT;
    }
    const char code[2] = {canBitRateCode(bitRateText), '\0'};
    if (setCanBitRate(port, code) != 0) {
        toLinkLog(log, QStringLiteral("Не удалось установить скорость соединения."), false);
        closeCanPort(&toolNode);
        return CAN_LINK_NO_BIT_RATE;
    }
    startCanOpenTimerLoop(canLinkStartup);
    {
        // Requests may go from now on: until the start-up alarm has run it
        // holds a slot before theirs, so the node is up when they start.
        CanOpenLock lock;
        setSdoAccessOnline(true);
    }
    linkOpen.store(true);
    return CAN_LINK_OPEN;
}

bool closeCanLink(const LinkLog& log)
{
    std::lock_guard<std::mutex> guard(linkMutex);
    return closeLocked(log);
}

bool isCanLinkOpen(void)
{
    return linkOpen.load();
}
