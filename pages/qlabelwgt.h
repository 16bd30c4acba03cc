#pragma once

#include <QLabel>
#include <QVariant>

// Shows one bit field read-only.
class QLabelWgt : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QString CDataType READ CDataType WRITE setCDataType)
    Q_PROPERTY(QString CDataField READ CDataField WRITE setCDataField)

public:
    explicit QLabelWgt(QWidget *parent = nullptr) : QLabel(parent, Qt::WindowFlags()) {}

    QString CDataType() const { return m_dataType; }
    void setCDataType(const QString &v) { m_dataType = v; }
    QString CDataField() const { return m_dataField; }
    void setCDataField(const QString &v) { m_dataField = v; }

public slots:
    void slotFromParamOnValueChange(QVariant val);

private:
    QString m_dataType;
    QString m_dataField;
};
