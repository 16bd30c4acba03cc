#include "app/connectiondialog.h"

#include "ui_connectiondialog.h"

#include <QSerialPortInfo>

QStringList availablePortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        names.append(info.portName());
    return names;
}

ConnectionDialog::ConnectionDialog(const QString& portName, QWidget* parent)
    : ConnectionDialog(portName, availablePortNames(), parent)
{
}

ConnectionDialog::ConnectionDialog(const QString& portName, const QStringList& ports, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ConnectionDialog>())
{
    ui->setupUi(this);
    ui->cbConnectionType->addItems(ports);
    const int at = ui->cbConnectionType->findText(portName, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at >= 0)
        ui->cbConnectionType->setCurrentIndex(at);
    else if (!portName.isEmpty())
        // Pseudo-terminals and /dev/serial/by-id links are never listed; keep the path
        // the user typed last time instead of silently switching to another port.
        ui->cbConnectionType->setEditText(portName);
    setBaudRate();
}

ConnectionDialog::~ConnectionDialog() = default;

void ConnectionDialog::setBaudRate()
{
    ui->cbBaudRate->clear();
    ui->cbBaudRate->addItems({"20000", "50000", "100000", "125000", "250000", "500000", "800000", "1000000"});
}

void ConnectionDialog::setDeviceList(const DeviceList& rows)
{
    ui->cbDeviceType->clear();
    for (const DeviceEntry& row : rows)
        ui->cbDeviceType->addItem(row[0], row[1]);
}

DeviceEntry ConnectionDialog::deviceType() const
{
    return {ui->cbDeviceType->currentText(), ui->cbDeviceType->currentData().toString()};
}

void ConnectionDialog::setDeviceType(const DeviceEntry& v)
{
    // Names may repeat in the list; the entry with the same type id is the one chosen before.
    int byName = -1;
    for (int i = 0; i < ui->cbDeviceType->count(); ++i) {
        if (ui->cbDeviceType->itemText(i) != v[0])
            continue;
        if (ui->cbDeviceType->itemData(i).toString() == v[1]) {
            ui->cbDeviceType->setCurrentIndex(i);
            return;
        }
        if (byName < 0)
            byName = i;
    }
    if (byName >= 0)
        ui->cbDeviceType->setCurrentIndex(byName);
}

int ConnectionDialog::deviceId() const
{
    const QString text = ui->txtDeviceId->text();
    bool ok = false;
    const int id = text.contains(QLatin1String("0x")) ? text.toInt(&ok, 16) : text.toInt(&ok, 10);
    return ok ? id : 0;
}

void ConnectionDialog::setDeviceId(int id)
{
    ui->txtDeviceId->setText(QString::number(id));
}

QString ConnectionDialog::portName() const
{
    return ui->cbConnectionType->currentText();
}

QString ConnectionDialog::baudRate() const
{
    return ui->cbBaudRate->currentText();
}

void ConnectionDialog::selectBaudRate(const QString& text)
{
    ui->cbBaudRate->setCurrentText(text);
}

int ConnectionDialog::canBusAccess() const
{
    return ui->rbCanAccessYes->isChecked() ? 0 : 1;
}

void ConnectionDialog::setCanBusAccess(int value)
{
    if (value == 0)
        ui->rbCanAccessYes->setChecked(true);
    else if (value == 1)
        ui->rbCanAccessNo->setChecked(true);
}

void fillConnectionDialog(ConnectionDialog& dialog, const DeviceList& rows, const ConnectionSettings& settings)
{
    dialog.setDeviceList(rows);
    dialog.setDeviceType(settings.deviceType);
    dialog.selectBaudRate(settings.baudRate);
    dialog.setDeviceId(settings.deviceId);
    dialog.setCanBusAccess(settings.canBusAccess);
}

void readConnectionDialog(const ConnectionDialog& dialog, ConnectionSettings& settings)
{
    settings.deviceType = dialog.deviceType();
    settings.baudRate = dialog.baudRate();
    settings.deviceId = dialog.deviceId();
    settings.nodeId = nodeIdForDeviceId(settings.deviceId);
    settings.portName = dialog.portName();
    settings.canBusAccess = dialog.canBusAccess();
}
