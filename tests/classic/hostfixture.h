// A ClassicHost whose hooks record what the classic code asked of the window:
// log lines, tool switches, the link flag, dialogs answered from queues, the
// get-EDS-from-device option and the CAN link drops.
#pragma once

#include "classic/classicdata.h"
#include "classic/classichost.h"

#include <QList>
#include <QStringList>

struct LogLine {
    QString text;
    bool success = false;
};

struct HostFixture {
    ClassicHost host;
    QList<LogLine> lines;
    QList<bool> tools;
    bool link = false;
    DeviceEntry device{QStringLiteral("Dev"), QStringLiteral("7")};
    ClassicImportOptions options;
    QString lastImport;
    QStringList saveAnswers;
    QStringList openAnswers;
    QList<QStringList> dialogs; // {"save"|"open", caption, start}
    QList<ClassicPage> refreshed;
    bool edsFromDevice = false;
    int canDrops = 0;

    explicit HostFixture(const QString& applicationDir = QString())
    {
        host.log = [this](const QString& text, bool success) { lines.append({text, success}); };
        host.setToolsEnabled = [this](bool on) { tools.append(on); };
        host.linkConnected = [this] { return link; };
        host.setLinkConnected = [this](bool on) { link = on; };
        host.saveFileName = [this](const QString& caption, const QString& proposed) {
            dialogs.append({QStringLiteral("save"), caption, proposed});
            return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
        };
        host.openFileName = [this](const QString& caption, const QString& folder) {
            dialogs.append({QStringLiteral("open"), caption, folder});
            return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
        };
        host.importOptions = [this] { return options; };
        host.lastImportFile = [this] { return lastImport; };
        host.setLastImportFile = [this](const QString& name) { lastImport = name; };
        host.deviceEntry = [this] { return device; };
        host.refreshPage = [this](ClassicPage page) { refreshed.append(page); };
        host.getEdsFromDevice = [this] { return edsFromDevice; };
        host.disconnectCan = [this] { ++canDrops; };
        host.applicationDir = applicationDir;
    }

    QStringList texts(bool success) const
    {
        QStringList out;
        for (const LogLine& line : lines)
            if (line.success == success)
                out << line.text;
        return out;
    }
    QStringList errors() const { return texts(false); }
};
