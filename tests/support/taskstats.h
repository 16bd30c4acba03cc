// What the system counts for each thread of a process, this one by default
// (/proc/self/task/*): its name, the times it went to sleep (each sleep ends
// in a wake-up) and the CPU time it used.
#pragma once

#include <QList>
#include <QString>

#include <cstdint>

struct TaskStats {
    QString name;
    long voluntarySwitches = 0;
    int64_t cpuNs = 0;
};

// pid 0: this process.
QList<TaskStats> processTasks(qint64 pid = 0);
// The thread of that name, or a record with an empty name when none runs.
TaskStats taskNamed(const QString& name);
