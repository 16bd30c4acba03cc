// The per-user settings file "settings.ini": where it lives and the keys the main
// window reads when it is built and writes back when it is destroyed.
#pragma once

#include "link/connectionsettings.h"

#include <QString>

class QSettings;

// ~/.config/Quillbex/settings.ini (XDG_CONFIG_HOME respected); the folder is
// created when missing.
QString userSettingsFilePath();

// The window's own choices kept in the file beside the connection values.
struct WindowOptions {
    bool backupBeforeImport = false;
    bool getEdsFromDevice = true;
    bool alwaysImportLastFile = false;
    QString lastImportFile;
};

// The connection keys are taken only when "settings/connection/type" holds a
// text, which nothing writes; the option keys only when they hold a text.
// Absent or empty keys leave what `connection` and `options` hold.
void readUserSettings(QSettings& file, ConnectionSettings& connection, WindowOptions& options);

// Writes every key but "settings/connection/type" and syncs the file.
void writeUserSettings(QSettings& file, const ConnectionSettings& connection,
                       const WindowOptions& options);
