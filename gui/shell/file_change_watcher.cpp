#include "file_change_watcher.h"

#include <QFileInfo>

FileChangeWatcher::FileChangeWatcher(QObject *parent) : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileChangeWatcher::check);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FileChangeWatcher::check);
}

void FileChangeWatcher::watch(const QString &path)
{
    stop();
    const QFileInfo info(path);
    m_path = path;
    m_size = info.exists() ? info.size() : -1;
    m_modified = info.lastModified();
    m_watcher.addPath(path);
    m_watcher.addPath(info.absolutePath());
}

void FileChangeWatcher::stop()
{
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_path.clear();
    m_size = -1;
    m_modified = QDateTime();
}

bool FileChangeWatcher::check()
{
    if (m_path.isEmpty())
        return false;
    const QFileInfo info(m_path);
    const qint64 size = info.exists() ? info.size() : -1;
    const QDateTime modified = info.lastModified();
    if (size == m_size && modified == m_modified)
        return false;
    m_size = size;
    m_modified = modified;
    // The name may now stand for another file (one renamed over it) or for none, while the watch
    // still follows the file it was set on; it is set again on what the name stands for now.
    if (m_watcher.files().contains(m_path))
        m_watcher.removePath(m_path);
    if (info.exists())
        m_watcher.addPath(m_path);
    emit changed();
    return true;
}
