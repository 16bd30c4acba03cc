// Stands in for the application in the EDS helper's tests: runs the helper
// the way the application does, on the packed stream in a file, and waits for
// it, so that a test can kill this process while the helper works.
//
//   edsunpackparent <helper> <stream file> <output file> <limit ms>
#include "classic/edsunpack.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <csignal>
#include <sys/prctl.h>

int main(int argc, char** argv)
{
    // Goes with the test that started it, as the helper goes with this.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 2;
    QFile stream(args[2]);
    if (!stream.open(QIODevice::ReadOnly))
        return 2;
    const EdsUnpackOutcome outcome = unpackEdsInHelper(args[1], stream.readAll(), args[3], args[4].toInt());
    return outcome.result == EdsUnpackOutcome::Written ? 0 : 1;
}
