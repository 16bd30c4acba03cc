#include "sim/simadapter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
int64_t nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}

SimAdapter::SimAdapter()
{
    char name[256] = {};
    termios tio;
    cfmakeraw(&tio);
    if (openpty(&m_master, &m_slave, name, &tio, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_wake[0] = m_wake[1] = -1;
    }
    m_thread = std::thread([this] { run(); });
}

SimAdapter::~SimAdapter()
{
    m_stop = true;
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_master, m_slave, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

void SimAdapter::setHistoryLimit(size_t lines)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_historyLimit = lines;
    trimHistory();
}

void SimAdapter::trimHistory()
{
    while (m_lines.size() > m_historyLimit) {
        m_lines.pop_front();
        m_times.pop_front();
    }
}

QStringList SimAdapter::lines() const
{
    // A deep copy: a shared one would hand the adapter thread's later append a
    // list whose reference count only Qt's uninstrumented code sees.
    std::lock_guard<std::mutex> lock(m_mutex);
    QStringList copy;
    copy.reserve(int(m_lines.size()));
    for (const QString& line : m_lines)
        copy << QString(line.constData(), line.size());
    return copy;
}

int64_t SimAdapter::lineCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lineCount;
}

std::vector<int64_t> SimAdapter::lineTimesUs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::vector<int64_t>(m_times.begin(), m_times.end());
}

bool SimAdapter::waitForLines(int64_t n, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_lineCount >= n; });
}

bool SimAdapter::waitForLine(const QString& line, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    });
}

void SimAdapter::setFrameHandler(std::function<void(const CanFrame&)> handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handler = std::move(handler);
}

QByteArray SimAdapter::frameLine(const CanFrame& frame, bool lowerCase)
{
    QByteArray line = "t" + QByteArray::number(frame.id & 0x7FF, 16).rightJustified(3, '0')
        + QByteArray::number(frame.len);
    for (int i = 0; i < frame.len && i < 8; ++i)
        line += QByteArray::number(frame.data[i], 16).rightJustified(2, '0');
    line = lowerCase ? line.toLower() : line.toUpper();
    line[0] = 't';
    return line + "\r";
}

void SimAdapter::sendFrame(const CanFrame& frame)
{
    const QByteArray line = frameLine(frame);
    const int split = m_splitDelayMs.load();
    if (split > 0) {
        // The adapter never puts anything else inside one of its lines.
        std::lock_guard<std::mutex> lock(m_writeMutex);
        writeLocked(line.left(line.size() / 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(split));
        writeLocked(line.mid(line.size() / 2));
    } else {
        writeAll(line);
    }
}

void SimAdapter::sendRaw(const QByteArray& bytes)
{
    writeAll(bytes);
}

void SimAdapter::closeLine()
{
    // Hanging up the master is what an unplugged adapter looks like to the host.
    m_stop = true;
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_writeMutex);
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

void SimAdapter::writeAll(const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    writeLocked(bytes);
}

void SimAdapter::writeLocked(const QByteArray& bytes)
{
    int off = 0;
    while (m_master >= 0 && off < bytes.size()) {
        ssize_t n = ::write(m_master, bytes.constData() + off, size_t(bytes.size() - off));
        if (n > 0) {
            off += int(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{m_master, POLLOUT, 0};
            poll(&p, 1, 50);
        } else {
            return;
        }
    }
}

void SimAdapter::run()
{
    QByteArray pending;
    while (!m_stop) {
        pollfd p[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (poll(p, 2, 200) <= 0)
            continue;
        if (p[1].revents)
            break;
        char buf[512];
        ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            continue;
        pending.append(buf, int(n));
        int cr;
        while ((cr = pending.indexOf('\r')) >= 0) {
            const QByteArray line = pending.left(cr);
            pending.remove(0, cr + 1);
            handleLine(line);
        }
    }
}

void SimAdapter::handleLine(const QByteArray& line)
{
    // State first, so a waiter woken by the line sees its effect.
    if (line == "O")
        m_open = true;
    else if (line == "C")
        m_open = false;
    else if (line.size() == 2 && line[0] == 'S' && line[1] >= '0' && line[1] <= '8')
        m_bitRate = line[1];
    std::function<void(const CanFrame&)> handler;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_lineCount;
        if (m_historyLimit > 0) {
            m_lines.push_back(QString::fromLatin1(line));
            m_times.push_back(nowUs());
            trimHistory();
        }
        handler = m_handler;
    }
    m_cond.notify_all();

    if (line == "O" || line == "C" || (line.size() == 2 && line[0] == 'S' && line[1] >= '0' && line[1] <= '8')) {
        writeAll("\r");
    } else if (line.startsWith('t') && line.size() >= 5) {
        CanFrame f;
        int d0 = hexValue(line[1]), d1 = hexValue(line[2]), d2 = hexValue(line[3]);
        int len = line[4] - '0';
        bool good = d0 >= 0 && d1 >= 0 && d2 >= 0 && len >= 0 && len <= 8 && line.size() == 5 + 2 * len;
        for (int i = 0; good && i < len; ++i) {
            int hi = hexValue(line[5 + 2 * i]), lo = hexValue(line[6 + 2 * i]);
            good = hi >= 0 && lo >= 0;
            f.data[i] = uint8_t(hi * 16 + lo);
        }
        if (!good || !m_open) {
            writeAll("\a");
            return;
        }
        f.id = uint16_t(d0 << 8 | d1 << 4 | d2);
        f.len = uint8_t(len);
        writeAll("z\r");
        if (handler)
            handler(f);
    } else {
        writeAll("\a");
    }
}
