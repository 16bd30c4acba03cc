#include "modbustestserver.h"

#include <QFile>
#include <QStringList>

#include <modbus.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
bool openRawPty(int& master, int& slave, QString& path)
{
    char name[256] = {};
    termios tio;
    cfmakeraw(&tio);
    if (openpty(&master, &slave, name, &tio, nullptr) != 0)
        return false;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    path = QString::fromLocal8Bit(name);
    return true;
}

void writeAll(int fd, const char* data, ssize_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, size_t(length));
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n <= 0)
            return;
        data += n;
        length -= n;
    }
}
}

ModbusTestServer::ModbusTestServer(int registerCount, int slave)
    : m_registerCount(registerCount), m_slave(slave)
{
    m_mapping = modbus_mapping_new(0, 0, registerCount, 0);
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
}

ModbusTestServer::~ModbusTestServer()
{
    stop();
    modbus_mapping_free(m_mapping);
    for (int fd : {m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

void ModbusTestServer::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cond.notify_all();
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
}

void ModbusTestServer::stop()
{
    wake();
    if (m_thread.joinable())
        m_thread.join();
    if (m_relay.joinable())
        m_relay.join();
    if (m_ctx) {
        modbus_close(m_ctx);
        modbus_free(m_ctx);
        m_ctx = nullptr;
    }
    if (m_listen >= 0)
        ::close(m_listen);
    m_listen = -1;
    for (int i = 0; i < 2; ++i) {
        for (int* fd : {&m_ptyMaster[i], &m_ptySlave[i]}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }
}

bool ModbusTestServer::startTcp()
{
    m_ctx = modbus_new_tcp("127.0.0.1", 0);
    if (!m_ctx || !m_mapping)
        return false;
    modbus_set_slave(m_ctx, m_slave);
    m_listen = modbus_tcp_listen(m_ctx, 8);
    if (m_listen < 0)
        return false;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serveTcp(); });
    return true;
}

bool ModbusTestServer::startRtu()
{
    QString serverTty;
    if (!m_mapping || !openRawPty(m_ptyMaster[0], m_ptySlave[0], serverTty)
        || !openRawPty(m_ptyMaster[1], m_ptySlave[1], m_clientTty))
        return false;
    m_ctx = modbus_new_rtu(serverTty.toLocal8Bit().constData(), 115200, 'N', 8, 1);
    if (!m_ctx)
        return false;
    modbus_set_slave(m_ctx, m_slave);
    if (modbus_connect(m_ctx) != 0)
        return false;
    m_relay = std::thread([this] { relay(); });
    m_thread = std::thread([this] { serveRtu(); });
    return true;
}

bool ModbusTestServer::waitReadable(int fd)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    while (!m_stop) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return false;
        if (fds[1].revents)
            return false;
        if (fds[0].revents)
            return true;
    }
    return false;
}

bool ModbusTestServer::sleepUnlessStopped(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_cond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void ModbusTestServer::serveTcp()
{
    while (!m_stop) {
        if (!waitReadable(m_listen))
            return;
        int listen = m_listen;
        const int client = modbus_tcp_accept(m_ctx, &listen);
        if (client < 0)
            continue;
        ++m_connections;
        serveLine(client, true);
        modbus_close(m_ctx);
    }
}

void ModbusTestServer::serveRtu()
{
    serveLine(modbus_get_socket(m_ctx), false);
}

void ModbusTestServer::serveLine(int fd, bool tcp)
{
    // A request that started arriving is complete within this bound, so a
    // receive never outlasts a stop for long.
    modbus_set_indication_timeout(m_ctx, 0, 200000);
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH > MODBUS_TCP_MAX_ADU_LENGTH ? MODBUS_RTU_MAX_ADU_LENGTH
                                                                         : MODBUS_TCP_MAX_ADU_LENGTH];
    while (waitReadable(fd)) {
        const int length = modbus_receive(m_ctx, request);
        if (length < 0) {
            if (tcp)
                return; // the client left
            continue;   // a broken request on a serial line: wait for the next
        }
        if (length > 0)
            answer(request, length);
    }
}

void ModbusTestServer::answer(const uint8_t* request, int length)
{
    const int header = modbus_get_header_length(m_ctx);
    Request r;
    r.function = request[header];
    r.address = (request[header + 1] << 8) | request[header + 2];
    r.count = (request[header + 3] << 8) | request[header + 4];
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(r);
    }
    m_cond.notify_all();

    if (m_silent)
        return;
    const int delay = m_nextDelayMs.exchange(0) + m_replyDelayMs;
    if (delay > 0 && !sleepUnlessStopped(delay))
        return;
    const int first = m_exceptionFirst, last = m_exceptionLast;
    if (first >= 0 && r.address <= last && r.address + std::max(1, r.count) - 1 >= first) {
        modbus_reply_exception(m_ctx, request, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    modbus_reply(m_ctx, request, length, m_mapping);
}

void ModbusTestServer::relay()
{
    char buffer[512];
    pollfd fds[3] = {{m_ptyMaster[0], POLLIN, 0}, {m_ptyMaster[1], POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    while (!m_stop) {
        if (::poll(fds, 3, -1) < 0 && errno != EINTR)
            return;
        if (fds[2].revents)
            return;
        for (int side = 0; side < 2; ++side) {
            if (!(fds[side].revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_ptyMaster[side], buffer, sizeof buffer);
            if (n <= 0)
                continue;
            if (side == 0 && m_corruptNext.exchange(false))
                buffer[n - 1] ^= 0x5A;
            writeAll(m_ptyMaster[1 - side], buffer, n);
        }
    }
}

void ModbusTestServer::setRegister(int address, quint16 value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (address >= 0 && address < m_registerCount)
        m_mapping->tab_registers[address] = value;
}

quint16 ModbusTestServer::registerValue(int address) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return address >= 0 && address < m_registerCount ? m_mapping->tab_registers[address] : 0;
}

void ModbusTestServer::setExceptionRange(int first, int last)
{
    m_exceptionFirst = first;
    m_exceptionLast = last;
}

QList<ModbusTestServer::Request> ModbusTestServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return QList<Request>(m_requests.begin(), m_requests.end());
}

void ModbusTestServer::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

bool ModbusTestServer::waitForRequests(int n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return int(m_requests.size()) >= n; });
}

int ModbusTestServer::openClientSockets(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    table.readLine(); // column titles
    while (!table.atEnd()) {
        const QList<QByteArray> columns = table.readLine().simplified().split(' ');
        if (columns.size() < 4)
            continue;
        const QByteArray remotePort = columns[2].mid(columns[2].indexOf(':') + 1);
        const QByteArray state = columns[3];
        if (remotePort.toUInt(nullptr, 16) == port && (state == "01" || state == "08"))
            ++count;
    }
    return count;
}
