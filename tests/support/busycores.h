// A busy machine on demand: this thread, and so every process it starts, is
// pinned to the first `cores` CPUs it may use, with `count` processes spinning
// there, for as long as the object lives. The spinners end with it, and with
// the process that made them should that be killed outright.
#pragma once

#include "boundprocess.h"

#include <QString>

#include <memory>
#include <vector>

#include <sched.h>

class BusyCores {
public:
    BusyCores(int cores, int count)
    {
        CPU_ZERO(&m_allowed);
        cpu_set_t pinned;
        CPU_ZERO(&pinned);
        m_busy = ::sched_getaffinity(0, sizeof m_allowed, &m_allowed) == 0;
        for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&pinned) < cores; ++cpu) {
            if (CPU_ISSET(cpu, &m_allowed)) {
                CPU_SET(cpu, &pinned);
                m_cores += QString::number(cpu) + QLatin1Char(' ');
            }
        }
        m_busy = m_busy && ::sched_setaffinity(0, sizeof pinned, &pinned) == 0;
        for (int i = 0; i < count && m_busy; ++i) {
            m_spinners.push_back(std::make_unique<BoundProcess>());
            m_spinners.back()->start(QStringLiteral("/bin/sh"),
                                     {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
            m_busy = m_spinners.back()->waitForStarted(5000);
        }
    }
    ~BusyCores()
    {
        for (const auto& spinner : m_spinners) {
            spinner->kill();
            spinner->waitForFinished(5000);
        }
        ::sched_setaffinity(0, sizeof m_allowed, &m_allowed);
    }
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;

    // Pinned, with every spinner started.
    bool busy() const { return m_busy; }
    // The CPUs pinned to, as "0 1".
    QString cores() const { return m_cores.trimmed(); }

private:
    cpu_set_t m_allowed;
    bool m_busy = false;
    QString m_cores;
    std::vector<std::unique_ptr<BoundProcess>> m_spinners;
};
