#include "pages/myloader.h"

#include "pages/qcheckboxwgt.h"
#include "pages/qcombowgt.h"
#include "pages/qdatatypewgt.h"
#include "pages/qgroupbtnwgt.h"
#include "pages/qlabelwgt.h"
#include "pages/qlineeditwgt.h"

QWidget *myLoader::createWidget(const QString &className, QWidget *parent, const QString &name)
{
    QWidget *w = nullptr;
    if (className == QLatin1String("QLineEditWgt"))
        w = new QLineEditWgt(parent);
    else if (className == QLatin1String("QComboWgt"))
        w = new QComboWgt(parent);
    else if (className == QLatin1String("QLabelWgt"))
        w = new QLabelWgt(parent);
    else if (className == QLatin1String("QCheckBoxWgt"))
        w = new QCheckBoxWgt(parent);
    else if (className == QLatin1String("QGroupBtnWgt"))
        w = new QGroupBtnWgt(parent);
    else if (className == QLatin1String("QDataTypeWgt"))
        w = new QDataTypeWgt(parent);
    else
        return QUiLoader::createWidget(className, parent, name);
    w->setObjectName(name);
    return w;
}
