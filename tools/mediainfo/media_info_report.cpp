#include "media_info_report.h"

#include <QFile>
#include <QFileInfo>

#include <MediaInfo/MediaInfo.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

const std::chrono::milliseconds pollInterval(100);
// MediaInfoLib counts its progress in ten-thousandths.
const size_t stateScale = 100;

MediaInfoLib::String libraryText(const QString &text)
{
    return text.toStdWString();
}

} // namespace

bool MediaInfoReport::analyse(const QString &fileName, const ProgressFunction &progress)
{
    m_lines.clear();
    m_error.clear();

    // The library reports a file it cannot read only as an empty report, so the reasons are
    // found here first.
    const QFileInfo fileInfo(fileName);
    if (fileInfo.exists() && !fileInfo.isFile()) {
        m_error = QStringLiteral("%1: not a regular file").arg(fileName);
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("%1: %2").arg(fileName, file.errorString());
        return false;
    }
    file.close();

    MediaInfoLib::MediaInfo info;
    info.Option(libraryText(QStringLiteral("LineSeparator")), libraryText(QStringLiteral("\n")));

    // The library reads on its own; its state is polled from here for the progress lines.
    std::atomic<bool> done{false};
    std::thread reader([&] {
        info.Open(libraryText(fileInfo.absoluteFilePath()));
        done.store(true);
    });
    int shown = 0;
    while (!done.load()) {
        std::this_thread::sleep_for(pollInterval);
        const int percent = int(std::min<size_t>(100, info.State_Get() / stateScale));
        if (percent > shown && percent < 100) {
            shown = percent;
            progress(shown);
        }
    }
    reader.join();
    progress(100);

    const QString report = QString::fromStdWString(info.Inform());
    info.Close();
    m_lines = report.split(QLatin1Char('\n'));
    for (QString &line : m_lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return true;
}
