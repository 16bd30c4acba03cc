// The two device commands of the main window, each one write through the data
// source's save worker: reboot (0x2001 sub-index 0x0A, "boot") and restore
// factory settings (0x1011 sub-index 1, "load", after a question). A device
// that restarts leaves the write unanswered, and the save worker reports the
// command after that one try (the main window drops the link); a device that
// answers has taken it. From the command's start to its end the hook
// setCommandRunning says so, so that no new connection is begun meanwhile; the
// end is the write's completion here, or the main window's dropping the link.
#pragma once

#include "app/logsink.h"
#include "pages/customparam.h"

#include <functional>
#include <memory>

class QCustomDS;

class DeviceCommands {
public:
    struct Hooks {
        LogSink log;
        std::function<void(bool connected)> setToolsEnabled;
        std::function<void(bool running)> setCommandRunning;
    };

    DeviceCommands(QCustomDS& dataSource, Hooks hooks);
    ~DeviceCommands();
    DeviceCommands(const DeviceCommands&) = delete;
    DeviceCommands& operator=(const DeviceCommands&) = delete;

    void reboot();
    // Asks first; Cancel (or closing the box) does nothing.
    void restoreDefaults();

    // Shown when the device has answered the restore write.
    static QString restoreDoneText();

private:
    // The command record, or none (logged) when the pages' data types lack `typeName`.
    SPCustomParam command(const QString& index, const QString& subIndex, const QString& typeName,
                          const char* hexValue);
    // Hands the command to the data source; `written` runs on the GUI thread
    // when the device has answered the write or refused it.
    void send(const SPCustomParam& param, std::function<void(bool ok)> written);
    void setRunning(bool running);
    void restoreWritten(bool ok);

    QCustomDS& m_dataSource;
    Hooks m_hooks;
    // Completions come on the save worker's thread and are handed to the GUI
    // thread; this says there whether the object still exists.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
