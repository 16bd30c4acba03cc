#pragma once

#include "pages/paramdatatype.h"

#include <QLineEdit>
#include <QVariant>

// Shows and edits one bit field as text.
class QLineEditWgt : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString CDataType READ CDataType WRITE setCDataType)
    Q_PROPERTY(QString CDataField READ CDataField WRITE setCDataField)

public:
    explicit QLineEditWgt(QWidget *parent = nullptr);

    QString CDataType() const { return m_dataType; }
    void setCDataType(const QString &v) { m_dataType = v; }
    QString CDataField() const { return m_dataField; }
    void setCDataField(const QString &v) { m_dataField = v; }

    // Limits typing to what the field's type can hold; the validator stays for the
    // widget's whole life.
    void setupValidator(const ParamDataField &field);

signals:
    void signalValueChanged(QVariant val);

public slots:
    void slotFromParamOnValueChange(QVariant val);
    void slotFromWgtOnValueChange();
    void slotChangeSelection(bool edited);

private:
    QString m_dataType;
    QString m_dataField;
};
