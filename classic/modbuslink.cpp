#include "classic/modbuslink.h"

#include "classic/classichost.h"
#include "link/connectionsettings.h"
#include "platform/serialport.h"

#include <QTcpSocket>

#include <modbus.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace {
// Both recoveries: after a timed-out call, a wrong transaction id or a reply
// that does not fit, libmodbus sleeps one response time-out and flushes.
void setRecovery(modbus_t* ctx)
{
    modbus_set_error_recovery(
        ctx, modbus_error_recovery_mode(MODBUS_ERROR_RECOVERY_LINK | MODBUS_ERROR_RECOVERY_PROTOCOL));
}

bool validSerialFrame(const ConnectionSettings& s)
{
    return (s.parity == 'N' || s.parity == 'E' || s.parity == 'O') && s.dataBits >= 5 && s.dataBits <= 8
        && (s.stopBits == 1 || s.stopBits == 2);
}

// "192.168.001.010" -> "192.168.1.10"; empty when the text names no address.
QString ipv4Address(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() < 4)
        return QString();
    QStringList numbers;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int value = parts[i].toInt(&ok, 10);
        if (!ok || value < 0 || value > 255)
            return QString();
        numbers << QString::number(value);
    }
    return numbers.join(QLatin1Char('.'));
}
}

ModbusLink::ModbusLink(const ClassicHost& host) : m_host(host) {}

ModbusLink::~ModbusLink()
{
    freeContext();
}

void ModbusLink::freeContext()
{
    if (!m_ctx)
        return;
    closeLine();
    modbus_free(m_ctx);
    m_ctx = nullptr;
    m_connected = false;
}

bool ModbusLink::openModbusRtu()
{
    freeContext();
    const ConnectionSettings& s = connectionSettings();
    const std::string device = SerialPort::devicePath(s.portName.toStdString());
    bool ok = false;
    const int baud = s.baudRate.toInt(&ok, 10);
    if (device.empty() || !ok || baud <= 0 || !validSerialFrame(s))
        return false;
    m_ctx = modbus_new_rtu(device.c_str(), baud, s.parity, s.dataBits, s.stopBits);
    if (!m_ctx)
        return false;
    m_tcp = false;
    m_rtuDevice = device;
    if (modbus_set_slave(m_ctx, s.deviceId) != 0) {
        freeContext();
        return false;
    }
    setRecovery(m_ctx);
    return true;
}

bool ModbusLink::openModbusTcp()
{
    freeContext();
    const ConnectionSettings& s = connectionSettings();
    m_tcpAddress = ipv4Address(s.ipAddress);
    if (m_tcpAddress.isEmpty() || s.tcpPort <= 0 || s.tcpPort > 65535)
        return false;
    m_ctx = modbus_new_tcp(m_tcpAddress.toLatin1().constData(), s.tcpPort);
    if (!m_ctx)
        return false;
    m_tcp = true;
    if (modbus_set_slave(m_ctx, s.deviceId) != 0) {
        freeContext();
        return false;
    }
    setRecovery(m_ctx);
    const int timeoutMs = std::max(1, s.responseTimeoutMs);
    modbus_set_response_timeout(m_ctx, uint32_t(timeoutMs / 1000), uint32_t(timeoutMs % 1000) * 1000);
    return true;
}

bool ModbusLink::connectRtuLine()
{
    // Once marked, the line refuses a further open by a normal user, and
    // libmodbus opens the device itself: so the lock and the check come first
    // on a descriptor of our own, and the mark after libmodbus has opened.
    m_lineError.clear();
    m_lineBusy = false;
    if (!m_line.take(m_rtuDevice)) {
        m_lineBusy = errno == EBUSY;
        m_lineError = QString::fromLocal8Bit(m_line.error().c_str());
        return false;
    }
    if (modbus_connect(m_ctx) != 0 || !m_line.mark()) {
        closeLine();
        return false;
    }
    return true;
}

void ModbusLink::closeLine()
{
    // libmodbus puts the line's settings back while the line is still ours.
    modbus_close(m_ctx);
    m_line.release();
}

bool ModbusLink::tryConnect(bool tcp)
{
    if (!tcp)
        return connectRtuLine();
    // A device that accepts no connection is found within the response
    // time-out before libmodbus is asked to connect.
    const ConnectionSettings& s = connectionSettings();
    {
        QTcpSocket probe;
        probe.connectToHost(m_tcpAddress, quint16(s.tcpPort), QIODevice::ReadWrite,
                            QAbstractSocket::AnyIPProtocol);
        if (!probe.waitForConnected(s.responseTimeoutMs))
            return false;
        probe.disconnectFromHost();
        if (probe.state() != QAbstractSocket::UnconnectedState)
            probe.waitForDisconnected(s.responseTimeoutMs);
    }
    if (modbus_connect(m_ctx) != 0)
        return false;
    uint16_t words[2];
    return modbus_read_registers(m_ctx, 1000, 2, words) == 2;
}

bool ModbusLink::connectModbus()
{
    if (m_host.isLinkConnected())
        closeModbus();
    const ConnectionSettings& s = connectionSettings();
    const bool tcp = s.modbusLink == 0;
    if (tcp && s.ipAddress.isEmpty())
        return false;
    if (!(tcp ? openModbusTcp() : openModbusRtu())) {
        connectFailed();
        return false;
    }
    const int tries = std::max(1, s.retries);
    m_lineError.clear();
    m_lineBusy = false;
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (tryConnect(tcp)) {
            m_connected = true;
            m_registerFailures = 0;
            m_host.markLink(true);
            return true;
        }
        // Devices accept few connections: a failed try leaves none open.
        closeLine();
        // A line someone else holds is not asked for again.
        if (m_lineBusy)
            break;
    }
    connectFailed(m_lineError);
    return false;
}

void ModbusLink::connectFailed(const QString& reason)
{
    QString line = QStringLiteral("Подключение не удалось");
    if (!reason.isEmpty())
        line += QStringLiteral(". ") + reason;
    m_host.toLog(line, false);
    m_host.tools(false);
}

bool ModbusLink::connectModbusChecked()
{
    if (!connectModbus())
        return false;
    const int tries = connectionSettings().retries + 1;
    quint16 words[2];
    for (int count : {2, 1}) {
        for (int attempt = 0; attempt < tries; ++attempt) {
            if (readRegisters(1000, count, words))
                return true;
        }
    }
    m_host.toLog(QStringLiteral("Не удалось подключиться."), false);
    closeModbus();
    m_host.tools(false);
    return false;
}

void ModbusLink::closeModbus()
{
    if (!m_ctx)
        return;
    const bool wasConnected = m_connected;
    freeContext();
    if (wasConnected)
        m_host.markLink(false);
}

bool ModbusLink::isOpen() const
{
    return m_ctx && m_connected && m_host.isLinkConnected();
}

bool ModbusLink::lineUsable()
{
    const int fd = modbus_get_socket(m_ctx);
    if (fd >= 0) {
        pollfd line{fd, short(m_tcp ? POLLRDHUP : 0), 0};
        if (::poll(&line, 1, 0) >= 0 && !(line.revents & (POLLERR | POLLHUP | POLLNVAL | POLLRDHUP)))
            return true;
    }
    if (m_tcp) {
        modbus_close(m_ctx);
        return modbus_connect(m_ctx) == 0;
    }
    // The device may have come back as another line: taken again as at first.
    closeLine();
    return connectRtuLine();
}
