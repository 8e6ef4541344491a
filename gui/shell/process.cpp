#include "process.h"

#include <QTimer>

Process::Process(QObject *parent) : QProcess(parent) {}

Process::~Process()
{
    if (killTimer) {
        emit stopKillTimer();
        // The timer may be the very object whose timeout led here.
        killTimer->deleteLater();
    }
}

void Process::scheduleKill(int msec)
{
    // A second request (a second exit line, say) must not put off the first deadline.
    if (killTimer)
        return;
    killTimer = new QTimer;
    killTimer->setSingleShot(true);
    connect(killTimer, SIGNAL(timeout()), this, SLOT(kill()), Qt::DirectConnection);
    connect(this, SIGNAL(startKillTimer(int)), killTimer, SLOT(start(int)), Qt::DirectConnection);
    connect(this, SIGNAL(stopKillTimer()), killTimer, SLOT(stop()), Qt::DirectConnection);
    emit startKillTimer(msec);
}
