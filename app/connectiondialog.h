#pragma once

#include "app/devicelist.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>

namespace Ui {
class ConnectionDialog;
}

// Serial ports present, as the user names them (ttyUSB0, ttyACM0).
QStringList availablePortNames();

// The user's choice of device type, port, CAN bit rate, device id and bus access.
class ConnectionDialog : public QDialog {
    Q_OBJECT
public:
    // Lists the ports present and preselects portName.
    explicit ConnectionDialog(const QString& portName, QWidget* parent = nullptr);
    // Same with a given port list (the ports present are the usual one).
    ConnectionDialog(const QString& portName, const QStringList& ports, QWidget* parent = nullptr);
    ~ConnectionDialog() override;

    void setDeviceList(const DeviceList& rows);
    DeviceEntry deviceType() const;
    void setDeviceType(const DeviceEntry& v);

    int deviceId() const;
    void setDeviceId(int id);

    QString portName() const;

    QString baudRate() const;
    void selectBaudRate(const QString& text);

    int canBusAccess() const;
    void setCanBusAccess(int value);

public slots:
    void setBaudRate();

private:
    std::unique_ptr<Ui::ConnectionDialog> ui;
};

// Shows the choices of settings (and the device list) in the dialog; the port is
// preselected by the dialog's constructor.
void fillConnectionDialog(ConnectionDialog& dialog, const DeviceList& rows,
                          const ConnectionSettings& settings = connectionSettings());

// Takes an accepted dialog's choices into settings.
void readConnectionDialog(const ConnectionDialog& dialog,
                          ConnectionSettings& settings = connectionSettings());
