#pragma once

#include "pages/customparam.h"
#include "pages/datatypes.h"
#include "pages/stdependence.h"

#include <QGroupBox>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <map>
#include <memory>
#include <vector>

class ParamsGroupCtl;
class ParamFieldUIController;
class QDataTypeWgt;
class SingleParamUIController;

// A group box shown or hidden by one rule on a parameter's field.
struct PageGroupRecord
{
    QPointer<QGroupBox> groupBox;           // belongs to its page
    stDependence rule;
    SingleParamUIController *paramController = nullptr; // the watched one, in paramCtlList
};

// The built pages, process-wide so that import and the device commands reach them.
// Filled by PageBuilder::buildCustomUiPages and emptied by PageBuilder::clearCustomUi;
// GUI thread only. The data types of the pages are in dataTypeMap (datatypes.h).
extern std::map<QGroupBox *, std::unique_ptr<PageGroupRecord>> pageGroupMap;
extern QMap<QString, QSharedPointer<ParamsGroupCtl>> groupCtlMap;
extern std::vector<std::unique_ptr<ParamFieldUIController>> paramFieldCtlList;
extern std::vector<std::unique_ptr<SingleParamUIController>> paramCtlList; // build order
// index + "-" + sub-index + "-" + name; a later widget with the same key replaces.
extern QMap<QString, SPCustomParam> paramCtlMap;
extern QList<QPointer<QDataTypeWgt>> dataTypeWgtList; // of the page built last

inline QString paramKey(const QString &index, const QString &subIndex, const QString &name)
{
    return index + QLatin1Char('-') + subIndex + QLatin1Char('-') + name;
}
