#include "main_window.h"
#include "style.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Qt 6 reads every 8-bit string as UTF-8 (the analyser's report included), so no codec needs
    // to be set for translations or for conversions.
    QApplication app(argc, argv);
    const MainWindow::CommandLine commandLine = MainWindow::parseCommandLine(QApplication::arguments());
    if (!commandLine.message.isEmpty()) {
        std::fputs(qPrintable(commandLine.message), commandLine.status == 0 ? stdout : stderr);
        return commandLine.status;
    }
    QApplication::setStyle(new Style);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":resources/icon.svg")));

    auto *window = new MainWindow;
    window->show();
    if (!commandLine.fileName.isEmpty())
        window->openFileLater(commandLine.fileName);
    const int result = app.exec();
    delete window;
    return result;
}
