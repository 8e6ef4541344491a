// kestrune-dump: the command-line face of the parsing engine.

#include "dump_files.h"
#include "element_dump.h"
#include "parser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSqlDatabase>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

enum ExitCode { Parsed = 0, AnalysisFailed = 1, UsageError = 2, OutputFailed = 3 };

int message(int code, const QString &text)
{
    std::fprintf(stderr, "kestrune-dump: %s\n", qPrintable(text));
    return code;
}

// A full disk or a closed pipe turns up only when the buffers are flushed; it is a failure,
// never a silent success.
int finishOutput(QTextStream *out)
{
    if (out)
        out->flush();
    const bool streamFailed = out && out->status() != QTextStream::Ok;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout) && !streamFailed)
        return Parsed;
    // errno is the flush's, or else still the failed write's.
    const int error = errno ? errno : EIO;
    return message(OutputFailed, QStringLiteral("cannot write to the standard output: %1")
                                     .arg(QString::fromLocal8Bit(std::strerror(error))));
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArrayList rawArguments(argv, argv + argc);
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
        return finishOutput(nullptr);
    }
    if (commandLine.isSet(QStringLiteral("version"))) {
        std::printf("kestrune-dump %s\n", KESTRUNE_VERSION);
        return finishOutput(nullptr);
    }
    const int modes = int(commandLine.isSet(json)) + int(commandLine.isSet(frames)) + int(commandLine.isSet(streams))
        + int(commandLine.isSet(summary));
    if (modes > 1)
        return message(UsageError, QStringLiteral("--json, --frames, --streams and --summary exclude each other"));
    const QStringList files = commandLine.positionalArguments();
    if (files.size() != 1)
        return message(UsageError, QStringLiteral("expected one FILE (see --help)"));
    const InputFile input(files.first(), rawArguments);
    if (const QString problem = input.problem(); !problem.isNull())
        return message(UsageError, problem);

    QString database = QStringLiteral(":memory:");
    std::unique_ptr<DatabaseFile> databaseFile;
    if (commandLine.isSet(db)) {
        const QString path = commandLine.value(db);
        if (const QString refusal = refusedDatabasePath(path); !refusal.isNull())
            return message(UsageError, refusal);
        databaseFile = std::make_unique<DatabaseFile>(path);
        QString error;
        if (!databaseFile->create(&error))
            return message(UsageError, error);
        database = databaseFile->temporaryName();
    }

    int exitCode = Parsed;
    {
        Parser parser;
        const int result = parser.parseFile(input.enginePath(), database, commandLine.value(option));
        switch (result) {
        case Parser::Parsed:
            break;
        case Parser::CannotOpenFile:
        case Parser::EmptyFile:
        case Parser::BadOption:
            return message(UsageError, input.named(parser.errorString()));
        default:
            return message(AnalysisFailed, input.named(parser.errorString()));
        }
        for (const QString &warning : parser.warnings())
            message(Parsed, input.named(warning));

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
        exitCode = finishOutput(&out);
        if (!written && exitCode == Parsed)
            exitCode = message(AnalysisFailed, QStringLiteral("cannot read the element database: %1").arg(dump.errorString()));
        connection->close();
        delete connection;
    }
    QSqlDatabase::removeDatabase(Parser::connectionName());
    if (databaseFile && exitCode == Parsed) {
        QString error;
        if (!databaseFile->commit(&error))
            exitCode = message(AnalysisFailed, error);
    }
    return exitCode;
}
