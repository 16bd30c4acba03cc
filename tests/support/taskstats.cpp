#include "taskstats.h"

#include <QDir>
#include <QFile>

namespace {
QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

QList<TaskStats> processTasks(qint64 pid)
{
    QList<TaskStats> tasks;
    const QDir dir(pid > 0 ? QStringLiteral("/proc/%1/task").arg(pid) : QStringLiteral("/proc/self/task"));
    for (const QString& tid : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString base = dir.filePath(tid);
        const QByteArray status = readFile(base + "/status");
        if (status.isEmpty())
            continue; // ended meanwhile
        TaskStats t;
        t.name = QString::fromLocal8Bit(readFile(base + "/comm").trimmed());
        for (const QByteArray& line : status.split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                t.voluntarySwitches = line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
        // First field: nanoseconds spent on a CPU.
        t.cpuNs = readFile(base + "/schedstat").split(' ').value(0).toLongLong();
        tasks << t;
    }
    return tasks;
}

TaskStats taskNamed(const QString& name)
{
    for (const TaskStats& t : processTasks()) {
        if (t.name == name)
            return t;
    }
    return TaskStats();
}
