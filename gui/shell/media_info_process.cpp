#include "media_info_process.h"

#include <QCoreApplication>

MediaInfoProcess::MediaInfoProcess(const QString &fileName, QObject *parent) : AbstractProcess(parent)
{
    name = QStringLiteral("MediaInfo.exe");
    program = QCoreApplication::applicationDirPath() + QStringLiteral("/mediainfo/MediaInfo.exe");
    arguments << QStringLiteral("--file-name") << fileName;
    connect(this, SIGNAL(lineRead(QString)), this, SLOT(captureOutput(QString)));
}

void MediaInfoProcess::captureOutput(const QString &line)
{
    output.append(line);
}
