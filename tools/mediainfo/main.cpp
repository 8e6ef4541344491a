// The analyser the shell runs for its MediaInfo report:
//
//   MediaInfo.exe --file-name PATH
//
// It writes the report line by line (UTF-8), "progress: N" lines while it reads, and
// "exit code: N" when done; then it reads its standard input to the end (the shell sends
// "quit" and closes it) and exits with that code.

#include "media_info_report.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

const qint64 progressInterval = 200;

void writeLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int finish(int code)
{
    writeLine(QStringLiteral("exit code: %1").arg(code));
    char sink[4096];
    while (std::fread(sink, 1, sizeof(sink), stdin) > 0) {
    }
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3 || std::strcmp(argv[1], "--file-name") != 0) {
        writeLine(QStringLiteral("Usage: MediaInfo.exe --file-name PATH"));
        return finish(2);
    }

    QElapsedTimer sinceLastShown;
    sinceLastShown.start();
    // Progress lines become part of the report, so they come at most every progressInterval
    // milliseconds, and a fast file shows only the last one.
    const auto progress = [&](int percent) {
        if (percent < 100 && sinceLastShown.elapsed() < progressInterval)
            return;
        writeLine(QStringLiteral("progress: %1").arg(percent));
        sinceLastShown.restart();
    };

    MediaInfoReport report;
    if (!report.analyse(QFile::decodeName(argv[2]), progress)) {
        writeLine(QStringLiteral("Error: %1").arg(report.errorString()));
        return finish(1);
    }
    for (const QString &line : report.lines())
        writeLine(line);
    return finish(0);
}
