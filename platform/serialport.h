// A serial line in raw 8N1 without flow control, kept to one owner. Reads wait
// at most the time given and can be woken from another thread, so a close never
// waits on a read.
//
// Open takes the line with an advisory lock and the exclusive mark (TIOCEXCL)
// before it changes anything on it (LineClaim). A line whose lock another open
// holds, or that carries the mark already, is refused with "Device or resource
// busy" also for root, and whoever holds it is left as it was. Close clears
// the mark only when this object set it.
#pragma once

#include "platform/lineclaim.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

class SerialPort {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // "/..." is a path, any other name is /dev/ + name; empty or all-digit
    // names give an empty path (no such port on Linux).
    static std::string devicePath(const std::string& name);
    // Speeds the adapter uses and the usual others; 0 when not supported.
    static uint32_t speedCode(uint32_t bitsPerSecond);

    bool open(const std::string& name, uint32_t bitsPerSecond);
    void close();
    bool isOpen() const { return m_line.isTaken(); }
    int fd() const { return m_line.fd(); }
    const std::string& error() const { return m_error; }

    // Writes every byte within timeoutMs; false on failure or time-out.
    bool write(const char* data, size_t len, int timeoutMs);
    // Bytes read (> 0), 0 on time-out or wake-up, -1 when the line failed or hung up.
    int read(char* buf, size_t max, int timeoutMs);
    // Ends a read that is waiting now or starts within the next call.
    void wake();

private:
    LineClaim m_line;
    int m_wakeFd = -1;
    std::mutex m_writeMutex;
    std::string m_error;
};
