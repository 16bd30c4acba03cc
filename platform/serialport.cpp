#include "platform/serialport.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace {
int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? int(left) : 0;
}
}

SerialPort::SerialPort()
{
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

SerialPort::~SerialPort()
{
    close();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

std::string SerialPort::devicePath(const std::string& name)
{
    if (name.empty())
        return std::string();
    if (name[0] == '/')
        return name;
    if (name.find_first_not_of("0123456789") == std::string::npos)
        return std::string();
    return "/dev/" + name;
}

uint32_t SerialPort::speedCode(uint32_t bps)
{
    switch (bps) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

bool SerialPort::open(const std::string& name, uint32_t bps)
{
    close();
    m_error.clear();
    const std::string path = devicePath(name);
    const speed_t speed = speedCode(bps);
    if (path.empty()) {
        m_error = "no such port: '" + name + "'";
        return false;
    }
    if (!speed) {
        m_error = "unsupported speed " + std::to_string(bps);
        return false;
    }
    // Taking the line happens before anything that could disturb whoever
    // holds it now: no write, no termios change, no flush until it is ours.
    if (!m_line.take(path) || !m_line.mark()) {
        m_error = m_line.isTaken() ? path + ": " + std::strerror(errno) : m_line.error();
        m_line.release();
        return false;
    }
    const int fd = m_line.fd();
    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        m_error = path + ": " + std::strerror(errno);
        m_line.release();
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 || tcsetattr(fd, TCSANOW, &tio) != 0) {
        m_error = path + ": " + std::strerror(errno);
        m_line.release();
        return false;
    }
    // A stale wake-up must not end the first read.
    uint64_t drain;
    while (m_wakeFd >= 0 && ::read(m_wakeFd, &drain, sizeof drain) > 0) {}
    return true;
}

void SerialPort::close()
{
    if (m_line.isTaken()) {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        m_line.release();
    }
}

bool SerialPort::write(const char* data, size_t len, int timeoutMs)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    const int fd = m_line.fd();
    if (fd < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::write(fd, data + done, len - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        pollfd p{fd, POLLOUT, 0};
        int left = remainingMs(deadline);
        if (left == 0)
            return false;
        if (poll(&p, 1, left) < 0 && errno != EINTR)
            return false;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
            return false;
    }
    return true;
}

int SerialPort::read(char* buf, size_t max, int timeoutMs)
{
    const int fd = m_line.fd();
    if (fd < 0)
        return -1;
    pollfd p[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    int r = poll(p, 2, timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    if (p[1].revents & POLLIN) {
        uint64_t drain;
        while (::read(m_wakeFd, &drain, sizeof drain) > 0) {}
        return 0;
    }
    if (r == 0)
        return 0;
    if (p[0].revents & POLLIN) {
        ssize_t n = ::read(fd, buf, max);
        if (n > 0)
            return int(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        return -1;
    }
    return -1; // POLLHUP / POLLERR without data
}

void SerialPort::wake()
{
    uint64_t one = 1;
    if (m_wakeFd >= 0)
        (void)!::write(m_wakeFd, &one, sizeof one);
}
