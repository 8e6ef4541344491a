#pragma once

#include <QProcess>

class QTimer;

/// A QProcess that can be told to kill its program after a delay, unless the program ends first.
/// Ending the object ends a program that still runs.
class Process : public QProcess
{
    Q_OBJECT

public:
    explicit Process(QObject *parent = nullptr);
    ~Process() override;

    /// Kills the program msec milliseconds from now. A kill already scheduled keeps its time.
    void scheduleKill(int msec);

signals:
    void startKillTimer(int interval);
    void stopKillTimer();

private:
    QTimer *killTimer = nullptr;
};
