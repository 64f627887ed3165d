#include "ui/mainwindow.h"

void MainWindow::deliverGeneratedPassword() { }
