#include "app/usersettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {
const char* const kLinkType = "settings/connection/type";
const char* const kDeviceType = "settings/connection/devicetype";
const char* const kDeviceId = "settings/connection/deviceId";
const char* const kPort = "settings/connection/rtuPort";
const char* const kBaudRate = "settings/connection/baudRate";
const char* const kCanBusAccess = "settings/connection/canBusAccess1";
const char* const kBackup = "settings/connection/backupbeforeimport";
const char* const kGetEds = "settings/connection/getedsfromdevice";
const char* const kAlwaysLast = "settings/connection/alwaysimportlastfile";
const char* const kLastImport = "settings/connection/lastimportfile";

// A hand-edited file may hold a text with commas unquoted, which the INI reader
// hands back as a list; the text is the parts joined again.
QString text(const QSettings& file, const char* key)
{
    const QVariant v = file.value(QLatin1String(key));
    if (v.userType() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

void readCheck(const QSettings& file, const char* key, bool& target)
{
    if (!text(file, key).isEmpty())
        target = file.value(QLatin1String(key)).toBool();
}
}

QString userSettingsFilePath()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                        + QStringLiteral("/Quillbex");
    QDir().mkpath(dir);
    return dir + QStringLiteral("/settings.ini");
}

void readUserSettings(QSettings& file, ConnectionSettings& connection, WindowOptions& options)
{
    if (!text(file, kLinkType).isEmpty()) {
        const QStringList parts = text(file, kDeviceType).split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (parts.size() == 2)
            connection.deviceType = {parts.at(0), parts.at(1)};
        connection.deviceId = file.value(QLatin1String(kDeviceId)).toInt();
        connection.portName = text(file, kPort);
        connection.baudRate = text(file, kBaudRate);
        connection.canBusAccess = file.value(QLatin1String(kCanBusAccess)).toInt();
    }
    readCheck(file, kBackup, options.backupBeforeImport);
    readCheck(file, kGetEds, options.getEdsFromDevice);
    readCheck(file, kAlwaysLast, options.alwaysImportLastFile);
    const QString last = text(file, kLastImport);
    if (!last.isEmpty())
        options.lastImportFile = last;
}

void writeUserSettings(QSettings& file, const ConnectionSettings& connection,
                       const WindowOptions& options)
{
    file.setValue(QLatin1String(kDeviceType),
                  connection.deviceType[0] + QLatin1Char(',') + connection.deviceType[1]);
    file.setValue(QLatin1String(kDeviceId), connection.deviceId);
    file.setValue(QLatin1String(kPort), connection.portName);
    file.setValue(QLatin1String(kBaudRate), connection.baudRate);
    file.setValue(QLatin1String(kCanBusAccess), connection.canBusAccess);
    file.setValue(QLatin1String(kBackup), options.backupBeforeImport);
    file.setValue(QLatin1String(kGetEds), options.getEdsFromDevice);
    file.setValue(QLatin1String(kAlwaysLast), options.alwaysImportLastFile);
    file.setValue(QLatin1String(kLastImport), options.lastImportFile);
    file.sync();
}
