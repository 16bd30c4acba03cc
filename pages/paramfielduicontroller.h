#pragma once

#include "pages/customparam.h"
#include "pages/paramsuicontrollerinterface.h"

#include <QObject>
#include <QVariant>

// Binds one field widget to one bit field of its parameter: shows the field of each
// new value, passes the widget's edits on with the field's name, and passes the
// parameter's edited mark on to the widget. Keeps no value of its own.
class ParamFieldUIController : public QObject, public ParamsUIControllerInterface
{
    Q_OBJECT
public:
    explicit ParamFieldUIController(const QString &fieldName, QObject *parent = nullptr)
        : QObject(parent), fieldName(fieldName)
    {
    }

    QString field() const { return fieldName; }
    void announceValue() override {}

signals:
    void signalToWgtOnValueChanged(QVariant value);
    void signalToParamUiCtlOnValueChanged(QString fieldName, QVariant value);
    void signalClearWgtEditSelection();
    void signalChangeWgtSelection(bool edited);

public slots:
    void slotAfterParamValueChanged(SPCustomParam param);
    void slotAfterWgtValueChanged(QVariant value)
    {
        emit signalToParamUiCtlOnValueChanged(fieldName, value);
    }
    void slotChangeEditSelection(bool edited) { emit signalChangeWgtSelection(edited); }

private:
    QString fieldName;
};
