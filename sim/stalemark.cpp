#include "sim/stalemark.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <memory>

namespace {
struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool allDigits(const char* text)
{
    if (!*text)
        return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}
}

StaleMarkSweeper::StaleMarkSweeper(const std::string& slavePath)
{
    m_slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (::stat(slavePath.c_str(), &st) == 0) {
        m_fsDevice = st.st_dev;
        m_inode = st.st_ino;
        m_line = st.st_rdev;
    }
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0 && inotify_add_watch(m_inotify, slavePath.c_str(), IN_OPEN | IN_CLOSE) < 0)
        stopWatching();
}

StaleMarkSweeper::~StaleMarkSweeper()
{
    stopWatching();
    if (m_slave >= 0)
        ::close(m_slave);
}

void StaleMarkSweeper::stopWatching()
{
    if (m_inotify >= 0)
        ::close(m_inotify);
    m_inotify = -1;
}

bool StaleMarkSweeper::sweep()
{
    if (m_slave < 0 || !marked() || othersHaveLine() || lockHeld())
        return false;
    ioctl(m_slave, TIOCNXCL);
    // A program that opened the line meanwhile may have set the mark itself
    // or found it set and counted on it: it gets it back.
    if (othersHaveLine()) {
        ioctl(m_slave, TIOCEXCL);
        return false;
    }
    return true;
}

bool StaleMarkSweeper::marked() const
{
    int value = 0;
    return ioctl(m_slave, TIOCGEXCL, &value) == 0 && value != 0;
}

bool StaleMarkSweeper::othersHaveLine()
{
    alignas(inotify_event) char buffer[4096];
    while (m_inotify >= 0) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return m_opens > 0;
        if (n <= 0) {
            stopWatching();
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & (IN_Q_OVERFLOW | IN_IGNORED)) {
                // Events lost, or the watch ended: the count means nothing now.
                stopWatching();
                break;
            }
            if (event->mask & IN_OPEN)
                ++m_opens;
            if ((event->mask & IN_CLOSE) && m_opens > 0)
                --m_opens;
        }
    }
    return othersInProc();
}

bool StaleMarkSweeper::othersInProc() const
{
    Dir proc(opendir("/proc"));
    if (!proc)
        return false;
    const pid_t self = getpid();
    while (const dirent* entry = readdir(proc.get())) {
        if (!allDigits(entry->d_name) || pid_t(std::atol(entry->d_name)) == self)
            continue;
        // Another user's descriptors stay closed to a normal user: those
        // holders are told by their lock only.
        const std::string fdPath = std::string("/proc/") + entry->d_name + "/fd";
        Dir fds(opendir(fdPath.c_str()));
        if (!fds)
            continue;
        while (const dirent* fd = readdir(fds.get())) {
            struct stat st;
            if (allDigits(fd->d_name) && fstatat(dirfd(fds.get()), fd->d_name, &st, 0) == 0
                && S_ISCHR(st.st_mode) && st.st_rdev == m_line)
                return true;
        }
    }
    return false;
}

bool StaleMarkSweeper::lockHeld() const
{
    File locks(std::fopen("/proc/locks", "re"));
    if (!locks)
        return false;
    // "1: FLOCK  ADVISORY  WRITE 4242 00:1a:4 0 EOF"; a waiter's line has
    // "->" after the number and holds nothing.
    char line[256];
    while (std::fgets(line, sizeof line, locks.get())) {
        if (std::strstr(line, "->"))
            continue;
        char kind[32], mode[32], access[32];
        long pid = 0;
        unsigned devMajor = 0, devMinor = 0;
        unsigned long inode = 0;
        if (std::sscanf(line, "%*d: %31s %31s %31s %ld %x:%x:%lu", kind, mode, access, &pid, &devMajor, &devMinor,
                        &inode)
                == 7
            && devMajor == major(m_fsDevice) && devMinor == minor(m_fsDevice) && inode == m_inode)
            return true;
    }
    return false;
}
