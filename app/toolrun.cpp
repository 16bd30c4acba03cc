#include "app/toolrun.h"

#include "app/exitsignals.h"
#include "app/mainwindow.h"
#include "app/qttranslation.h"
#include "app/screenplacement.h"

#include <QApplication>
#include <cstdio>

int runTool(QApplication& app, const std::function<void(MainWindow&)>& shown)
{
    // Before the window, so that it outlives the window's close: a signal
    // that comes while the window goes changes nothing.
    ExitSignals exitSignals;
    installQtTranslation(app);
    MainWindow window;
    QObject::connect(&exitSignals, &ExitSignals::received, &window, &MainWindow::onExit);
    // Trace lines of the firmware engine reach a pipe at once.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    centreOnPrimaryScreen(window);
    window.show();
    if (shown)
        shown(window);
    return app.exec();
}
