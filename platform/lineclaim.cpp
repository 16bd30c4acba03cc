#include "platform/lineclaim.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
bool lockLine(int fd)
{
    int r;
    do
        r = flock(fd, LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    if (r != 0 && errno == EWOULDBLOCK)
        errno = EBUSY;
    return r == 0;
}

// False with errno set when the mark cannot be read; a driver that cannot
// tell the mark leaves the lock to keep owners apart.
bool readMark(int fd, bool* marked)
{
    int value = 0;
    if (ioctl(fd, TIOCGEXCL, &value) != 0) {
        if (errno != ENOTTY && errno != EINVAL)
            return false;
        value = 0;
    }
    *marked = value != 0;
    return true;
}
}

bool LineClaim::take(const std::string& path)
{
    release();
    m_error.clear();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    bool marked = false;
    if (fd >= 0 && lockLine(fd) && readMark(fd, &marked) && !marked) {
        m_fd = fd;
        return true;
    }
    if (marked)
        errno = EBUSY;
    const int reason = errno;
    m_error = path + ": " + std::strerror(reason);
    if (fd >= 0)
        ::close(fd);
    errno = reason;
    return false;
}

bool LineClaim::mark()
{
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    if (m_markSet)
        return true;
    if (ioctl(m_fd, TIOCEXCL) != 0)
        return false;
    m_markSet = true;
    return true;
}

void LineClaim::unmark()
{
    if (m_fd >= 0 && m_markSet) {
        const int saved = errno;
        ioctl(m_fd, TIOCNXCL);
        errno = saved;
    }
    m_markSet = false;
}

void LineClaim::release()
{
    if (m_fd < 0)
        return;
    const int saved = errno;
    unmark();
    ::close(m_fd);
    m_fd = -1;
    errno = saved;
}
