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
    // Reports the text as an edit, and marks it, only when it differs from the
    // text shown for the stored value: leaving the field untouched is no edit.
    void slotFromWgtOnValueChange();
    void slotChangeSelection(bool edited);

protected:
    // A text the validator does not take (a cleared number) is never left
    // standing: Return and leaving the field show the stored value again.
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void showStoredAgain();

    QString m_dataType;
    QString m_dataField;
    QString m_shown; // the text of the stored value, or of the last edit reported
};
