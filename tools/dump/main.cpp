// kestrune-dump: the command-line face of the parsing engine.

#include "element_dump.h"
#include "parser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>

#include <cstdio>

namespace {

enum ExitCode { Parsed = 0, AnalysisFailed = 1, UsageError = 2 };

int message(int code, const QString &text)
{
    std::fprintf(stderr, "kestrune-dump: %s\n", qPrintable(text));
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrune-dump"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));

    QCommandLineParser commandLine;
    commandLine.setApplicationDescription(QStringLiteral("Prints the structure of a media container file."));
    commandLine.addHelpOption();
    commandLine.addVersionOption();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("The element tree as JSON."));
    const QCommandLineOption frames(QStringLiteral("frames"), QStringLiteral("Every registered frame as CSV."));
    const QCommandLineOption streams(QStringLiteral("streams"), QStringLiteral("The streams table as CSV."));
    const QCommandLineOption summary(QStringLiteral("summary"), QStringLiteral("Only the counts of what was found."));
    const QCommandLineOption db(QStringLiteral("db"), QStringLiteral("Also keep the element database in the SQLite file <path>."),
                                QStringLiteral("path"));
    const QCommandLineOption option(QStringLiteral("option"), QStringLiteral("The engine option string, key=value pairs separated by ';'."),
                                    QStringLiteral("text"));
    commandLine.addOptions({json, frames, streams, summary, db, option});
    commandLine.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The container file."));

    if (!commandLine.parse(app.arguments()))
        return message(UsageError, commandLine.errorText());
    if (commandLine.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(commandLine.helpText()), stdout);
        return Parsed;
    }
    if (commandLine.isSet(QStringLiteral("version"))) {
        std::printf("kestrune-dump %s\n", KESTRUNE_VERSION);
        return Parsed;
    }
    const int modes = int(commandLine.isSet(json)) + int(commandLine.isSet(frames)) + int(commandLine.isSet(streams))
        + int(commandLine.isSet(summary));
    if (modes > 1)
        return message(UsageError, QStringLiteral("--json, --frames, --streams and --summary exclude each other"));
    const QStringList files = commandLine.positionalArguments();
    if (files.size() != 1)
        return message(UsageError, QStringLiteral("expected one FILE (see --help)"));

    QString database = QStringLiteral(":memory:");
    if (commandLine.isSet(db)) {
        database = commandLine.value(db);
        if (QFileInfo::exists(database))
            return message(UsageError, QStringLiteral("%1 exists; the database is not written over an existing file").arg(database));
    }

    int exitCode = Parsed;
    {
        Parser parser;
        const int result = parser.parseFile(files.first(), database, commandLine.value(option));
        switch (result) {
        case Parser::Parsed:
            break;
        case Parser::CannotOpenFile:
        case Parser::BadOption:
            return message(UsageError, parser.errorString());
        default:
            return message(AnalysisFailed, parser.errorString());
        }
        for (const QString &warning : parser.warnings())
            message(Parsed, warning);

        QSqlDatabase *connection = parser.getConnection();
        ElementDump dump(*connection, files.first(), parser.containerName());
        QTextStream out(stdout);
        bool written = true;
        if (commandLine.isSet(json))
            written = dump.writeJson(out);
        else if (commandLine.isSet(frames))
            written = dump.writeFrames(out);
        else if (commandLine.isSet(streams))
            written = dump.writeStreams(out);
        else if (commandLine.isSet(summary))
            written = dump.writeSummary(out);
        else
            written = dump.writeTree(out);
        if (!written)
            exitCode = message(AnalysisFailed, QStringLiteral("cannot read the element database: %1").arg(dump.errorString()));
        connection->close();
        delete connection;
    }
    QSqlDatabase::removeDatabase(Parser::connectionName());
    return exitCode;
}
