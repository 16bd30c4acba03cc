#pragma once

#include "pages/customparam.h"
#include "pages/paramsuicontrollerinterface.h"
#include "pages/stdependence.h"

#include <QList>
#include <QObject>
#include <QVariant>
#include <functional>

// Stands behind one parameter widget: asks the data source for the parameter's value,
// takes the field widgets' edits into the value bytes, hands edited values to the data
// source for writing, and enables or shows its widget by its dependency rules.
//
// The completions it hands to the data source may be called on any thread, also after
// the controller is gone: they only post the result to the GUI thread, where it is
// dropped when the controller no longer exists.
class SingleParamUIController : public QObject, public ParamsUIControllerInterface
{
    Q_OBJECT
    Q_PROPERTY(SPCustomParam cParam READ param)
    Q_PROPERTY(QList<stDependence> cDependences READ dependences)

public:
    SingleParamUIController(const SPCustomParam &param, const QList<stDependence> &rules,
                            QObject *parent = nullptr);

    SPCustomParam param() const { return cParam; }
    QList<stDependence> dependences() const { return cDependences; }
    // False while the last evaluated rule did not match: a save then drops the edit.
    bool isActive() const { return active; }

    void announceValue() override { emit afterValueChanged(cParam); }

signals:
    void signalActionToDependent(SPCustomParam param);
    void signalSetWgtEnabled(bool enabled);
    void signalSetWgtVisible(bool visible);
    void afterValueChanged(SPCustomParam param);
    void changeEditSelection(bool edited);
    void startSaveParam(SPCustomParam param, std::function<void(bool)> callback);
    void startReadParam(SPCustomParam param, std::function<void(bool)> callback);
    // A refused edit, for the log (success false).
    void toLog(QString msg, bool success);

public slots:
    void slotFieldChanged(QString fieldName, QVariant value);
    void slotExecDependentAction(SPCustomParam spParam);
    void slotSaveData();
    void slotReadData();
    void slotImport();
    void slotCancelEditing();

private:
    void onReadFinished(bool ok);
    void onSaveFinished(bool ok, const QByteArray &written, const CustomParam &copy);
    // The edit has been dropped and the value put back to the device's: the
    // fields show it and the rules see it when it changed; the mark goes.
    void showEditDropped(bool valueChanged);
    // Wraps a GUI-thread handler as a completion callable from any thread.
    std::function<void(bool)> completion(std::function<void(SingleParamUIController *, bool)> handler);

    SPCustomParam cParam;
    QList<stDependence> cDependences;
    bool active = true;
};
