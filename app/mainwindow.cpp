#include "app/mainwindow.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    resize(1024, 700);
}
