#include "pages/qcombowgt.h"

#include "pages/editmark.h"

#include <QSignalBlocker>

QComboWgt::QComboWgt(QWidget *parent) : QComboBox(parent)
{
    connect(this, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &QComboWgt::slotFromWgtOnIndexChanged);
}

void QComboWgt::fill(const QList<CommonValue> &values)
{
    const QSignalBlocker block(this);
    m_values = values;
    for (const CommonValue &v : values)
        insertItem(0, v.name, v.value);
    model()->sort(0, Qt::AscendingOrder);
}

void QComboWgt::slotFromParamOnValueChange(QVariant val)
{
    const QSignalBlocker block(this);
    int found = -1;
    for (int i = 0; i < count(); ++i) {
        if (itemData(i) == val) {
            found = i;
            break;
        }
    }
    setCurrentIndex(found);
}

void QComboWgt::slotFromWgtOnIndexChanged(int)
{
    setStyleSheet(editedTextStyle());
    emit signalValueChanged(currentData());
}

void QComboWgt::slotChangeSelection(bool edited)
{
    setStyleSheet(edited ? editedTextStyle() : QString());
}
