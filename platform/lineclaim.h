// A serial line kept to one owner. Every user of a line in this tool follows
// the same rule: take the line's advisory lock (flock) before anything else,
// refuse a line that carries the exclusive mark (TIOCEXCL) already, and set
// the mark while using the line. Root passes the mark on open, so the mark
// alone keeps no one out: the lock tells a second copy of this tool, the
// check of the mark any other program that set it. A refused line is left as
// it was: nothing written to it, no setting changed.
//
// The lock lives as long as the descriptor opened here; the mark belongs to
// the line and outlives every descriptor on a pty whose other end stays open,
// so the claim clears it when it set it, and only then.
#pragma once

#include <string>

class LineClaim {
public:
    LineClaim() = default;
    ~LineClaim() { release(); }
    LineClaim(const LineClaim&) = delete;
    LineClaim& operator=(const LineClaim&) = delete;

    // Opens the line (O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) and takes its
    // lock. A line whose lock another open holds, or that carries the mark, is
    // refused with EBUSY. False with errno set and error() naming the path and
    // the reason; nothing is held then.
    bool take(const std::string& path);
    // Sets the mark on the taken line and remembers that this claim set it.
    bool mark();
    // Clears the mark when this claim set it; the lock stays.
    void unmark();
    // Clears our mark, then closes the descriptor and with it the lock.
    void release();

    bool isTaken() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const std::string& error() const { return m_error; }

private:
    int m_fd = -1;
    bool m_markSet = false;
    std::string m_error;
};
