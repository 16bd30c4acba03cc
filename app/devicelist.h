#pragma once

#include "link/connectionsettings.h"
#include "app/logsink.h"

#include <QString>
#include <QVector>

// The device types the tool can configure, in file order.
using DeviceList = QVector<DeviceEntry>;

// "ConfigurationData/Controllers.xml" beside the executable.
QString controllersFilePath();

// Reads every "Controller" element below the root (any depth, document order) as
// {text content, attribute "id"}. A file that cannot be opened or parsed gives an empty
// list and one red line through log, with the reason after the usual text; a valid
// file without entries gives an empty list and no line.
DeviceList loadControllers(const QString& path, const LogSink& log);
