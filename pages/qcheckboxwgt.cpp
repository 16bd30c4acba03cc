#include "pages/qcheckboxwgt.h"

#include "pages/editmark.h"

#include <QSignalBlocker>

QCheckBoxWgt::QCheckBoxWgt(QWidget *parent) : QCheckBox(parent)
{
    connect(this, &QCheckBox::stateChanged, this, &QCheckBoxWgt::slotFromWgtOnStateChanged);
}

void QCheckBoxWgt::slotFromParamOnValueChange(QVariant val)
{
    const QSignalBlocker block(this);
    setChecked(val.toBool());
}

void QCheckBoxWgt::slotFromWgtOnStateChanged(int val)
{
    clearFocus();
    setStyleSheet(editedBackgroundStyle());
    emit signalValueChanged(val == Qt::Checked);
}

void QCheckBoxWgt::slotChangeSelection(bool edited)
{
    setStyleSheet(edited ? editedTextStyle() : QString());
}
