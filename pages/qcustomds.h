// The data source of the configuration pages: opens the USB-CAN link, finds
// the device by an SDO probe, closes the link, and moves parameter values
// between the pages and the device through a load worker and a save worker.
// Lives in the GUI thread; talks to the main window only through its signals.
#pragma once

#include "pages/customparam.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class CustomDSLoadThread;
class CustomDSSaveThread;

class QCustomDS : public QObject {
    Q_OBJECT
public:
    explicit QCustomDS(QObject* parent = nullptr);
    ~QCustomDS() override; // stops and joins both workers

    bool connectDevice();
    bool disconnectDevice();
    void clearData();
    bool probeNode(uint8_t nodeId);
    bool isConnected() const { return m_connected; }

    CustomDSLoadThread* loadWorker() const { return m_load.get(); }
    CustomDSSaveThread* saveWorker() const { return m_save.get(); }

signals:
    void setToolsEnabled(bool connected);
    void toLog(QString msg, bool success);
    void toLog(QString msg);
    void signalConnectionError();
    void signalAfterRestoredDefault();
    void signalClearData();
    void signalAfterReboot();

public slots:
    // Parameters are held shared, so nothing a worker uses can be freed under it.
    void slotSave(SPCustomParam param, std::function<void(bool)> callback);
    void slotLoad(SPCustomParam param, std::function<void(bool)> callback);
    void slotParamLoaded(QString paramName);
    void slotParamSaved(QString paramName);
    void slotParamsSaved();
    void slotParamSaveError(QString errorMsg);
    void slotConnectionError();
    void stopLoad();
    void startLoad();
    void slotAfterRestoredDefault();
    void slotAfterReboot();

private:
    std::unique_ptr<CustomDSLoadThread> m_load;
    std::unique_ptr<CustomDSSaveThread> m_save;
    bool m_connected = false;
};

// canBitRateCode, the adapter's one-character bit-rate code, comes with the link code.
#include "link/canlink.h"
