#include <QApplication>
#include <QScreen>
#include <cstdio>

#include "app/mainwindow.h"

int main(int argc, char* argv[])
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    QApplication app(argc, argv);
    MainWindow w;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->geometry();
        w.move((g.width() - w.width()) / 2, (g.height() - w.height()) / 2);
    }
    w.show();
    return app.exec();
}
