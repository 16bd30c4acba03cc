// Memory figures of the benchmark's own process, read from /proc/self.
#pragma once

#include <QByteArray>
#include <QFile>

// A "Vm..." line of /proc/self/status in kB ("VmRSS:" resident now, "VmHWM:"
// its peak); -1 when it cannot be read.
inline long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

inline long residentKb()
{
    return statusKb("VmRSS:");
}

// The peak resident size starts again from the present one.
inline bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}
