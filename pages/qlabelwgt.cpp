#include "pages/qlabelwgt.h"

#include "pages/fieldvaluetext.h"

#include <QSignalBlocker>

void QLabelWgt::slotFromParamOnValueChange(QVariant val)
{
    const QSignalBlocker block(this);
    setText(fieldValueText(val, FieldTextStyle::Label));
}
