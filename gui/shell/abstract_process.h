#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

class Process;

/// Runs an analyser program and reads its merged output line by line.
///
/// The program reports "progress: N" lines (0 .. 100) while it works and one "exit code: N"
/// line when done; it then reads its standard input, which receives "quit" and end of file, and
/// exits. A program that is still running a while after its exit line is killed.
class AbstractProcess : public QObject
{
    Q_OBJECT

public:
    /// How long a program may keep running after its exit line.
    static const int defaultKillInterval = 20000;
    /// Longest piece of a line handed on at once; longer lines arrive in several pieces.
    static const qint64 maxLineLength = 1024;

    explicit AbstractProcess(QObject *parent = nullptr);
    ~AbstractProcess() override;

    /// Starts the program; whether that worked is reported through error() only. Returns 0.
    int start();

    /// The number from the program's exit line; 0 until it came.
    int programExitCode() const { return exitCode; }
    void setKillInterval(int msec) { killInterval = msec; }
    /// Runs program in place of the one the subclass chose (a stand-in analyser, say).
    void setProgram(const QString &path) { program = path; }

signals:
    void finishedSignal(int exit_code, QProcess::ExitStatus exit_status);
    void error(QProcess::ProcessError error);
    void progress(int progess);
    void lineRead(const QString &line);

public slots:
    /// Sends "quit" and end of file to the program and kills it if it has not ended in time.
    void close();
    /// Kills the program at once.
    void kill();
    virtual void updateConsole();

private slots:
    void readRemainder();

protected:
    int exitCode = 0;
    Process *process;
    QStringList arguments;
    QString program;
    QString name;

private:
    /// Handles one piece of output; false after the exit line.
    bool handleLine(const QByteArray &piece);

    int killInterval = defaultKillInterval;
};
