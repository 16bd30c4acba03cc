#include "pages/pagecontainers.h"

#include "pages/paramfielduicontroller.h"
#include "pages/paramsgroupctl.h"
#include "pages/qdatatypewgt.h"
#include "pages/singleparamuicontroller.h"

std::map<QGroupBox *, std::unique_ptr<PageGroupRecord>> pageGroupMap;
QMap<QString, QSharedPointer<ParamsGroupCtl>> groupCtlMap;
std::vector<std::unique_ptr<ParamFieldUIController>> paramFieldCtlList;
std::vector<std::unique_ptr<SingleParamUIController>> paramCtlList;
QMap<QString, SPCustomParam> paramCtlMap;
QList<QPointer<QDataTypeWgt>> dataTypeWgtList;
