// A test killed outright while its children run: it starts the simulator
// program (the path its argument) and a busy loop as the tests start their
// children, prints "children" and their two pids, then waits (at most a
// minute) for the end of its standard input.
#include "boundprocess.h"

#include <QCoreApplication>

#include <cstdio>
#include <poll.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    BoundProcess simulator;
    simulator.setStandardOutputFile(QProcess::nullDevice());
    simulator.setStandardErrorFile(QProcess::nullDevice());
    simulator.start(QString::fromLocal8Bit(argv[1]), QStringList());
    BoundProcess spinner;
    spinner.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
    if (!simulator.waitForStarted(5000) || !spinner.waitForStarted(5000))
        return 1;
    std::printf("children %lld %lld\n", static_cast<long long>(simulator.processId()),
                static_cast<long long>(spinner.processId()));
    std::fflush(stdout);
    pollfd in{STDIN_FILENO, POLLIN, 0};
    ::poll(&in, 1, 60000);
    return 0;
}
