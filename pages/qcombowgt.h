#pragma once

#include "pages/paramdatatype.h"

#include <QComboBox>
#include <QList>
#include <QVariant>

// Shows and edits one bit field as a choice among the field's common values.
class QComboWgt : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString CDataType READ CDataType WRITE setCDataType)
    Q_PROPERTY(QString CDataField READ CDataField WRITE setCDataField)

public:
    explicit QComboWgt(QWidget *parent = nullptr);

    QString CDataType() const { return m_dataType; }
    void setCDataType(const QString &v) { m_dataType = v; }
    QString CDataField() const { return m_dataField; }
    void setCDataField(const QString &v) { m_dataField = v; }

    // Keeps the list and shows its names sorted by text; the item data is the value.
    void fill(const QList<CommonValue> &values);
    QList<CommonValue> commonValues() const { return m_values; }

signals:
    void signalValueChanged(QVariant val);

public slots:
    void slotFromParamOnValueChange(QVariant val);
    void slotFromWgtOnIndexChanged(int inx);
    void slotChangeSelection(bool edited);

private:
    QString m_dataType;
    QString m_dataField;
    QList<CommonValue> m_values;
};
