#include "parser.h"

#include "container_abstract.h"
#include "container_driver.h"
#include "element_database_writer.h"
#include "parse_options.h"
#include "plugins.h"
#include "status.h"

#include <QFileInfo>
#include <QLibrary>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

#include <algorithm>
#include <memory>
#include <sqlite3.h>

namespace {

using CreateFunction = ContainerAbstract *(*)();

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

struct ParserDeleter
{
    void operator()(ContainerAbstract *parser) const { delete parser; }
};
using ParserPointer = std::unique_ptr<ContainerAbstract, ParserDeleter>;

// The plug-ins that list the file's suffix among their extensions are asked first, in their
// usual order, so that a large file is not scanned by the checks of every other format before
// its own plug-in sees it. A file without such a suffix is offered to all in the usual order.
QList<Plugins::Plugin> offerOrder(QList<Plugins::Plugin> plugins, const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    if (!suffix.isEmpty())
        std::stable_partition(plugins.begin(), plugins.end(), [&suffix](const Plugins::Plugin &plugin) {
            return plugin.extensions.contains(suffix, Qt::CaseInsensitive);
        });
    return plugins;
}

} // namespace

QString Parser::connectionName()
{
    return QStringLiteral("kestrune-container-viewer-connection");
}

Parser::Parser(QObject *parent) : QObject(parent) {}

Parser::~Parser()
{
    dropConnection();
}

void Parser::dropConnection()
{
    if (!m_connection)
        return;
    const QString name = m_connection->connectionName();
    m_connection->close();
    delete m_connection;
    m_connection = nullptr;
    QSqlDatabase::removeDatabase(name);
}

int Parser::fail(int result, const QString &message)
{
    dropConnection();
    m_error = message;
    return result;
}

QSqlDatabase *Parser::getConnection()
{
    QSqlDatabase *connection = m_connection;
    m_connection = nullptr;
    return connection;
}

int Parser::parseFile(const QString &fileName, const QString &database, const QString &option)
{
    dropConnection();
    m_error.clear();
    m_warnings.clear();
    m_containerName.clear();

    ParseOptions options;
    QString optionError;
    if (!ParseOptions::fromString(option, &options, &optionError))
        return fail(BadOption, optionError);

    const QFileInfo info(fileName);
    if (!info.exists())
        return fail(CannotOpenFile, QStringLiteral("%1: no such file").arg(fileName));
    if (!info.isFile())
        return fail(CannotOpenFile, QStringLiteral("%1: not a regular file").arg(fileName));
    if (!info.isReadable())
        return fail(CannotOpenFile, QStringLiteral("%1: not readable").arg(fileName));
    if (info.size() == 0)
        return fail(EmptyFile, QStringLiteral("%1: the file is empty").arg(fileName));

    ParserPointer parser;
    for (const Plugins::Plugin &plugin : offerOrder(Plugins::collectPlugins(true), fileName)) {
        auto create = reinterpret_cast<CreateFunction>(QLibrary(plugin.library).resolve("createParser"));
        ParserPointer candidate(create ? create() : nullptr);
        if (!candidate) {
            m_warnings << QStringLiteral("plug-in %1 could not create a parser").arg(plugin.name);
            continue;
        }
        if (ContainerDriver::verify(*candidate, fileName) == Status::Success) {
            parser = std::move(candidate);
            m_containerName = plugin.name;
            break;
        }
    }
    if (!parser)
        return fail(NoPluginAccepted, QStringLiteral("%1: no plug-in reads this format").arg(fileName));
    const QStringList unused = parser->unusedOptions();
    for (const QString &key : options.given) {
        if (unused.contains(key))
            return fail(BadOption, QStringLiteral("option %1 has no effect on %2 files").arg(key, m_containerName));
    }

    if (QSqlDatabase::contains(connectionName()))
        return fail(DatabaseFailed, QStringLiteral("the connection %1 is still in use").arg(connectionName()));
    m_connection = new QSqlDatabase(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName()));
    m_connection->setDatabaseName(database);
    if (!m_connection->open())
        return fail(DatabaseFailed, QStringLiteral("cannot open the database %1: %2")
                                        .arg(database, m_connection->lastError().text()));
    sqlite3 *handle = sqliteHandle(*m_connection);
    QString error;
    if (!handle)
        return fail(DatabaseFailed, QStringLiteral("the SQLite driver gives no handle"));
    if (!ElementDatabaseWriter::createSchema(handle, &error))
        return fail(DatabaseFailed, error);

    ContainerDriver::Outcome outcome;
    bool written = false;
    {
        ElementDatabaseWriter writer(handle);
        outcome = ContainerDriver::run(*parser, fileName, writer, options,
                                       [this](int percent) { emit progress(percent); });
        written = writer.finish(&error);
    }
    // The writer's statements are finalized by now: SQLite closes no connection that has some.
    if (!written)
        return fail(DatabaseFailed, error);
    parser.reset();

    if (outcome.status == Status::CannotOpen)
        return fail(CannotOpenFile, QStringLiteral("%1: cannot open the file").arg(fileName));
    if (outcome.status == Status::AllocationFailed)
        return fail(AnalysisFailed, QStringLiteral("%1: the analysis ran out of memory").arg(fileName));
    if (outcome.stalled)
        m_warnings << QStringLiteral("the %1 plug-in made no progress at offset %2; the rest of the file is not shown")
                          .arg(m_containerName).arg(outcome.stopOffset);
    if (outcome.firstFailure != Status::Success) {
        const QString element = outcome.failureElement.isEmpty()
            ? QStringLiteral("the element at offset %1").arg(outcome.failureOffset)
            : QStringLiteral("%1 at offset %2").arg(outcome.failureElement).arg(outcome.failureOffset);
        m_warnings << QStringLiteral("the %1 plug-in reported status %2 for a damaged element: %3")
                          .arg(m_containerName).arg(outcome.firstFailure).arg(element);
    }

    // A connection belongs to the thread that made it; hand it to the Parser's thread, where
    // getConnection() is called.
    m_connection->driver()->moveToThread(thread());
    return Parsed;
}
