#pragma once

#include "abstract_process.h"

/// Runs the MediaInfo analyser ("mediainfo/MediaInfo.exe" beside the program) on one file and
/// keeps every line it writes.
class MediaInfoProcess : public AbstractProcess
{
    Q_OBJECT

public:
    explicit MediaInfoProcess(const QString &fileName, QObject *parent = nullptr);

    /// Every line read so far, in order, protocol lines included.
    const QStringList &capturedOutput() const { return output; }

public slots:
    void captureOutput(const QString &line);

protected:
    QStringList output;
};
