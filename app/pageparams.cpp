#include "app/pageparams.h"

#include "pages/pagecontainers.h"
#include "pages/singleparamuicontroller.h"

#include <QPointer>

QList<PageParam> pageParamsFromControllers()
{
    QList<PageParam> params;
    for (const auto &controller : paramCtlList) {
        if (!controller)
            continue;
        const QPointer<SingleParamUIController> guard(controller.get());
        params.append({controller->param(), [guard] {
                           if (guard)
                               guard->slotImport();
                       }});
    }
    return params;
}
