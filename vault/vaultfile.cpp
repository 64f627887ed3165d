#include "ui/mainwindow.h"

void MainWindow::saveToFile() { }

void MainWindow::loadFromFile() { }
