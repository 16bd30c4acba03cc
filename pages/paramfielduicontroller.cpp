#include "pages/paramfielduicontroller.h"

void ParamFieldUIController::slotAfterParamValueChanged(SPCustomParam param)
{
    if (!param)
        return;
    emit signalToWgtOnValueChanged(param->readField(fieldName));
}
