// Another program holding a serial line: a child process that opens the line
// by its path and keeps it, with the exclusive mark (TIOCEXCL), the advisory
// lock (flock), or both, as a second copy of a terminal program or of this
// tool would. It answers requests over a pipe until it lets go: whether the
// mark is still set, a write of one line, a read of one byte. Every wait is
// bounded; the destructor lets go and reaps the child.
#pragma once

#include <string>
#include <sys/types.h>

class LineHolder {
public:
    enum Hold { Mark = 1, Lock = 2 };
    // The line every write puts out, for the other end to recognise.
    static constexpr const char* kLine = "H\r";

    LineHolder(const std::string& path, int hold);
    ~LineHolder();
    LineHolder(const LineHolder&) = delete;
    LineHolder& operator=(const LineHolder&) = delete;

    // True when the child has the line open and holds it as asked.
    bool holding() const { return m_holding; }
    pid_t pid() const { return m_pid; }
    // The mark as the holder sees it on its own descriptor; false also when
    // it did not answer.
    bool markSet();
    // Writes kLine through the holder's descriptor.
    bool writeLine();
    // The next byte the holder reads within a second; -1 when none came.
    int readByte();
    // Clears the holder's own mark, closes its descriptor and ends the child.
    bool release();

private:
    int ask(char request);

    pid_t m_pid = -1;
    int m_requests = -1; // write end: requests to the child
    int m_answers = -1;  // read end: one byte per request
    bool m_holding = false;
};
