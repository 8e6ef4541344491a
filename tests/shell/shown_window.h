#pragma once

#include "main_window.h"

#include <QTest>

#include <memory>

/// A main window shown as the program shows it; program, when given, runs in place of the
/// analyser.
inline std::unique_ptr<MainWindow> showMainWindow(const QString &program = QString())
{
    auto window = std::make_unique<MainWindow>();
    if (!program.isEmpty())
        window->setMediaInfoProgram(program);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("the main window was not shown");
    return window;
}
