#pragma once

#include <QCheckBox>
#include <QVariant>

// Shows and edits one bit field as a check box; CReadOnly makes it show values only.
class QCheckBoxWgt : public QCheckBox
{
    Q_OBJECT
    Q_PROPERTY(QString CDataType READ CDataType WRITE setCDataType)
    Q_PROPERTY(QString CDataField READ CDataField WRITE setCDataField)
    Q_PROPERTY(bool CReadOnly READ CReadOnly WRITE setCReadOnly)

public:
    explicit QCheckBoxWgt(QWidget *parent = nullptr);

    QString CDataType() const { return m_dataType; }
    void setCDataType(const QString &v) { m_dataType = v; }
    QString CDataField() const { return m_dataField; }
    void setCDataField(const QString &v) { m_dataField = v; }
    bool CReadOnly() const { return m_readOnly; }
    void setCReadOnly(bool v) { m_readOnly = v; }

signals:
    void signalValueChanged(QVariant val);

public slots:
    void slotFromParamOnValueChange(QVariant val);
    void slotFromWgtOnStateChanged(int val);
    void slotChangeSelection(bool edited);

private:
    QString m_dataType;
    QString m_dataField;
    bool m_readOnly = false;
};
