// Shows the element tree of a container file with the application style and saves it as PNG:
//   viewer_screenshot FILE OUTPUT.png [ID]
// ID (default: the first element named "stsz") is selected with its path opened.

#include "parser.h"
#include "plugins.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "style.h"
#include "viewer_database.h"

#include <QApplication>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: viewer_screenshot FILE OUTPUT.png [ID]\n");
        return 2;
    }
    QApplication::setStyle(new Style);
    Plugins::setSearchPaths({QCoreApplication::applicationDirPath() + QStringLiteral("/plugins")});
    Parser parser;
    if (parser.parseFile(QString::fromLocal8Bit(argv[1]), QStringLiteral(":memory:"), QString()) != 0) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorString()));
        return 1;
    }
    SqlTreeWidget widget;
    widget.resize(760, 560);
    widget.show();
    widget.setDatabase(parser.getConnection());
    qint64 id = argc > 3 ? QString::fromLocal8Bit(argv[3]).toLongLong() : 0;
    if (id == 0) {
        QSqlQuery query(*widget.viewerDatabase()->database());
        query.exec(QStringLiteral("SELECT elements.id FROM elements JOIN dictionary ON elements.name_id = dictionary.id"
                                  " WHERE dictionary.name = 'stsz' ORDER BY elements.id LIMIT 1"));
        id = query.next() ? query.value(0).toLongLong() : 1;
    }
    widget.sqlTree()->goToId(id);
    // A few rows of context above the selection.
    widget.rowScrollBar()->setValue(widget.rowScrollBar()->value() - 6);
    widget.sqlTree()->setFocus();
    QTimer::singleShot(300, &app, [&] {
        widget.grab().save(QString::fromLocal8Bit(argv[2]));
        app.quit();
    });
    return app.exec();
}
