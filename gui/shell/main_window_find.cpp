#include "main_window.h"

void MainWindow::createFindAndProblems() {}
