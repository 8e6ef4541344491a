#include "parser.h"
#include "plugins.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStringList>

int main(int argc, char *argv[])
{
    // Qt 6 reads 8-bit text as UTF-8 everywhere, so no codec needs to be set.
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setApplicationName(QStringLiteral("Kestrune"));

    QStringList formats;
    for (const Plugins::Plugin &plugin : Plugins::collectPlugins(false))
        formats << plugin.name;

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Kestrune"));
    window.setCentralWidget(new QLabel(
        QObject::tr("Kestrune reads: %1").arg(formats.join(QStringLiteral(", "))), &window));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
