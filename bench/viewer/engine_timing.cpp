#include "engine_timing.h"

#include "parser.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QtConcurrent>

double engineParseMilliseconds(const QString &file, QString *error)
{
    Parser parser;
    QElapsedTimer clock;
    clock.start();
    const int result = QtConcurrent::run([&parser, file] {
        return parser.parseFile(file, QStringLiteral(":memory:"), QString());
    }).result();
    const double elapsed = double(clock.nsecsElapsed()) / 1e6;
    if (result != 0) {
        if (error)
            *error = parser.errorString();
        return -1;
    }
    QSqlDatabase *connection = parser.getConnection();
    const QString name = connection->connectionName();
    delete connection;
    QSqlDatabase::removeDatabase(name);
    return elapsed;
}
