#include "app/screenplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void centreOnPrimaryScreen(QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect g = screen->geometry();
    window.move(g.x() + (g.width() - window.width()) / 2, g.y() + (g.height() - window.height()) / 2);
}
