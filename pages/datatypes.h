#pragma once

#include "pages/paramdatatype.h"

#include <QMap>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

using DataTypeMap = QMap<QString, QSharedPointer<ParamDataType>>;

// The data types of the pages now built, by name. GUI thread only.
extern DataTypeMap dataTypeMap;

// Reads the types of a "datatypes.json" document into `types`, adding or replacing
// entries by name. A type with any fault (a missing or mistyped key, endbit before
// startbit, a field wider than its field type or lying past the type's size) is left
// out whole; the other types are still read. Returns one log line per fault; `source`
// names the file in them.
QStringList parseDataTypes(const QByteArray &json, DataTypeMap &types, const QString &source);

// Reads folder + "/datatypes.json" into dataTypeMap; returns the faults found, for the
// log in red. A missing or unreadable file is one of them.
QStringList loadDataTypes(const QString &folder);
