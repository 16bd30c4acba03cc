// What the classic pages need of the main window, as hooks it fills and tests
// answer: the log, the tool switch, the one link flag (Modbus or CAN), the file
// dialogs, the import options and last import file, the device entry, the
// pages' refresh, the get-EDS-from-device option, dropping the CAN link, the
// disconnect action and the mapping dialog. A hook left empty does nothing and
// answers a default.
// GUI thread only. Components keep a reference to one host, which outlives them.
#pragma once

#include "classic/edsunpacklimits.h"
#include "link/connectionsettings.h"
#include "link/linklog.h"

#include <QString>

#include <functional>

enum class ClassicPage;
struct MappingEntry;

struct ClassicImportOptions {
    bool backupBeforeImport = false;
    bool alwaysImportLastFile = false;
};

struct ClassicHost {
    LinkLog log;
    std::function<void(bool)> setToolsEnabled;
    // Whether the window's tools are on now (any connection may have switched
    // them); without an answer they follow the link flag.
    std::function<bool()> toolsEnabled;
    // The window's one link flag: set while a Modbus or CAN link is open.
    std::function<bool()> linkConnected;
    std::function<void(bool)> setLinkConnected;
    // Save and open dialogs; an empty answer means cancelled.
    std::function<QString(const QString& caption, const QString& proposedPath)> saveFileName;
    std::function<QString(const QString& caption, const QString& folder)> openFileName;
    std::function<ClassicImportOptions()> importOptions;
    std::function<QString()> lastImportFile;
    std::function<void(const QString&)> setLastImportFile;
    // The device whose pages are shown: element 0 its name, element 1 its type id.
    std::function<DeviceEntry()> deviceEntry;
    // Puts a page's records into its properties.
    std::function<void(ClassicPage)> refreshPage;
    // The window's "Брать EDS из устройства" option.
    std::function<bool()> getEdsFromDevice;
    // Drops the window's CAN link (nothing when none is open).
    std::function<void()> disconnectCan;
    // The window's disconnect action ("Отключено", tools off, the dialog again).
    std::function<void()> disconnectAction;
    // Shows the entry in the mapping dialog; true, with the entry as the user
    // left it, when the dialog was accepted.
    std::function<bool(MappingEntry&)> editMappingEntry;
    // Holds "ConfigurationData".
    QString applicationDir;
    // The helper that decompresses a device's EDS (quillbex-edsunpack in
    // applicationDir when empty), and how much CPU time it may have: one that
    // runs out of it counts as damaged.
    QString edsUnpacker;
    int edsUnpackLimitMs = kEdsUnpackLimitMs;

    void toLog(const QString& message, bool success) const { toLinkLog(log, message, success); }
    void tools(bool on) const
    {
        if (setToolsEnabled)
            setToolsEnabled(on);
    }
    bool isLinkConnected() const { return linkConnected && linkConnected(); }
    bool areToolsOn() const { return toolsEnabled ? toolsEnabled() : isLinkConnected(); }
    void markLink(bool connected) const
    {
        if (setLinkConnected)
            setLinkConnected(connected);
    }
    DeviceEntry device() const { return deviceEntry ? deviceEntry() : DeviceEntry{}; }
    QString configurationDir() const { return applicationDir + QStringLiteral("/ConfigurationData"); }
    // The device's own folder in it (EDS cache, export folder).
    QString deviceFolder() const { return configurationDir() + QLatin1Char('/') + device()[0]; }
    bool edsFromDevice() const { return getEdsFromDevice && getEdsFromDevice(); }
    QString edsUnpackerProgram() const
    {
        return edsUnpacker.isEmpty() ? applicationDir + QStringLiteral("/quillbex-edsunpack") : edsUnpacker;
    }
    void dropCanLink() const
    {
        if (disconnectCan)
            disconnectCan();
    }
};

// The tools off for the length of a flow, then given back as the flow found
// them: on stays on unless the flow lost the link it had.
class ToolsPause {
public:
    explicit ToolsPause(const ClassicHost& host)
        : m_host(host), m_on(host.areToolsOn()), m_linked(host.isLinkConnected())
    {
        m_host.tools(false);
    }
    void giveBack() const { m_host.tools(m_on && (!m_linked || m_host.isLinkConnected())); }

private:
    const ClassicHost& m_host;
    const bool m_on;
    const bool m_linked;
};
