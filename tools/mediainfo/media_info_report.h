#pragma once

#include <QString>
#include <QStringList>

#include <functional>

/// Runs MediaInfoLib over one file, feeding it the bytes it asks for, and gives its text report.
class MediaInfoReport
{
public:
    /// Called with the share of the file handled so far, 0 .. 100, never decreasing.
    using ProgressFunction = std::function<void(int)>;

    /// Analyses fileName. False when the file cannot be read; errorString() then says why.
    bool analyse(const QString &fileName, const ProgressFunction &progress);

    /// The report, one entry per line, without line ends.
    QStringList lines() const { return m_lines; }
    QString errorString() const { return m_error; }

private:
    QStringList m_lines;
    QString m_error;
};
