#include "abstract_process.h"

#include "process.h"

#include <cstdio>

namespace {

// QIODevice::readLine(n) keeps room for a terminating zero and reads at most n - 1 bytes.
QByteArray readPiece(QIODevice *device)
{
    return device->readLine(AbstractProcess::maxLineLength + 1);
}

const char progressPrefix[] = "progress: ";
const char exitPrefix[] = "exit code: ";

// The number after a protocol prefix; 0 when it is not one.
int numberAfter(const QString &line, qsizetype prefixLength)
{
    return line.mid(prefixLength).toInt();
}

} // namespace

AbstractProcess::AbstractProcess(QObject *parent) : QObject(parent), process(new Process)
{
    static const bool registered = [] {
        qRegisterMetaType<QProcess::ExitStatus>("QProcess::ExitStatus");
        qRegisterMetaType<QProcess::ProcessError>("QProcess::ProcessError");
        return true;
    }();
    Q_UNUSED(registered);

    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setReadChannel(QProcess::StandardOutput);
    connect(process, SIGNAL(readyRead()), this, SLOT(updateConsole()));
}

AbstractProcess::~AbstractProcess()
{
    delete process;
}

int AbstractProcess::start()
{
    // Lines still buffered when the program ends are read before the end is announced.
    connect(process, SIGNAL(finished(int,QProcess::ExitStatus)), this, SLOT(readRemainder()));
    connect(process, SIGNAL(finished(int,QProcess::ExitStatus)),
            this, SIGNAL(finishedSignal(int,QProcess::ExitStatus)));
    connect(process, SIGNAL(errorOccurred(QProcess::ProcessError)),
            this, SIGNAL(error(QProcess::ProcessError)));
    process->start(program, arguments, QIODevice::ReadWrite);
    return 0;
}

void AbstractProcess::close()
{
    if (process->state() != QProcess::NotRunning) {
        process->write("quit");
        process->closeWriteChannel();
    }
    process->scheduleKill(killInterval);
}

void AbstractProcess::kill()
{
    process->kill();
}

void AbstractProcess::updateConsole()
{
    // A line longer than the limit is taken in pieces even before its end has come, so the
    // buffer never grows with the length of a line.
    while (process->canReadLine() || process->bytesAvailable() >= maxLineLength) {
        const QByteArray piece = readPiece(process);
        if (piece.isEmpty() || !handleLine(piece))
            return;
    }
}

void AbstractProcess::readRemainder()
{
    while (process->bytesAvailable() > 0) {
        const QByteArray piece = readPiece(process);
        if (piece.isEmpty())
            return;
        handleLine(piece);
    }
}

bool AbstractProcess::handleLine(const QByteArray &piece)
{
    const QString line = QString::fromUtf8(piece.trimmed());
    emit lineRead(line);
    if (line.startsWith(QLatin1String(progressPrefix))) {
        const int value = numberAfter(line, qsizetype(sizeof(progressPrefix) - 1));
        if (value <= 100)
            emit progress(value);
    } else if (line.startsWith(QLatin1String(exitPrefix))) {
        exitCode = numberAfter(line, qsizetype(sizeof(exitPrefix) - 1));
        std::printf("%s exit code: %d\n", qPrintable(name), exitCode);
        close();
        return false;
    } else {
        std::printf("%s: %s\n", qPrintable(name), qPrintable(line));
    }
    return true;
}
