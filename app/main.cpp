#include "app/mainwindow.h"
#include "app/qttranslation.h"
#include "app/screenplacement.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    installQtTranslation(app);
    MainWindow window;
    // Trace lines of the firmware engine reach a pipe at once.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    centreOnPrimaryScreen(window);
    window.show();
    return app.exec();
}
