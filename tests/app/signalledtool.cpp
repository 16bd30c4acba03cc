// The tool as its entry point runs it, connected through its dialog to the
// sample device behind the adapter on the path given. It prints "connected"
// once the link is up (or "not connected"), then runs until something ends
// it from outside.
//
//   signalledtool <port path>
#include "app/mainwindow.h"
#include "app/toolrun.h"
#include "configfixture.h"
#include "dialogscript.h"
#include "pages/qcustomds.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString port = QString::fromLocal8Bit(argv[1]);
    DialogScript dialogs;
    dialogs.answers.push_back(
        choose(configfixture::kDeviceA, port, [](ConnectionDialog& d) { d.setDeviceId(31); }));
    return runTool(app, [&](MainWindow& window) {
        QTimer::singleShot(0, &window, [&window] {
            window.connectWithDialog();
            std::printf(window.dataSource()->isConnected() ? "connected\n" : "not connected\n");
            std::fflush(stdout);
        });
    });
}
