#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

/// A read-only file seen through one 64 KiB window of cached bytes.
///
/// A read outside the window moves it: forwards it is placed a quarter of its size behind the
/// requested bytes, backwards three quarters behind them, so scrolling in either direction reads
/// each part of the file from disk once per window span and at most twice in all.
///
/// Once the file on disk is seen to differ from the one opened (its size or modification time,
/// looked up by name, so a file replaced by a rename counts), nothing more is read: the cached
/// bytes belong to a file that is gone, and the new one was not what the caller opened.
class CachedFile : public QFile
{
    Q_OBJECT

public:
    /// Size of the cache window for files larger than it.
    static constexpr int maxCacheCapacity = 65536;

    explicit CachedFile(QObject *parent = nullptr);

    /// Opens file_name read-only and fills the cache from its start; a file already open is closed
    /// first. On failure errorText() says why and a warning goes to the debug log.
    bool openFile(const QString &file_name);
    /// Closes the file; fileSize() becomes -1.
    void closeFile();
    bool isFileOpen() const { return m_open; }

    /// Up to count bytes at position; fewer at the end of the file, none past it, and none at all
    /// once the file changed on disk.
    QByteArray readAt(qint64 position, qint64 count);

    /// Compares the file on disk with the one opened; once they differ, drops the cache and
    /// returns true until the next openFile().
    bool checkForChange();
    /// Treats the open file as changed on disk, as checkForChange() does when it finds it so.
    void markChanged();
    bool hasChanged() const { return m_changed; }

    /// Size of the open file; -1 when closed.
    qint64 fileSize() const { return m_fileSize; }
    /// errorString() of the last failed open.
    QString errorText() const { return m_errorText; }

    qint64 cacheStart() const { return m_cacheStart; }
    /// Position of the last cached byte; below cacheStart() when the cache is empty.
    qint64 cacheEnd() const { return m_cacheEnd; }
    int cacheCapacity() const { return m_cacheCapacity; }
    /// Bytes read from disk since the file was opened, and the reads that fetched them.
    qint64 diskBytesRead() const { return m_diskBytesRead; }
    qint64 diskReads() const { return m_diskReads; }

private:
    void fillCache(qint64 position);

    qint64 m_fileSize = -1;
    QByteArray m_cache;
    qint64 m_cacheStart = 0;
    qint64 m_cacheEnd = -1;
    int m_cacheCapacity = 0;
    QString m_errorText;
    bool m_open = false;
    bool m_changed = false;
    QDateTime m_modified;
    qint64 m_diskBytesRead = 0;
    qint64 m_diskReads = 0;
};
