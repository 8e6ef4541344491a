#include "cached_file.h"

#include <QFileInfo>
#include <QtDebug>

CachedFile::CachedFile(QObject *parent) : QFile(parent)
{
}

bool CachedFile::openFile(const QString &file_name)
{
    closeFile();
    setFileName(file_name);
    if (!open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        m_errorText = errorString();
        qWarning("Error %i: %s", int(error()), qPrintable(m_errorText));
        return false;
    }
    m_fileSize = size();
    m_modified = QFileInfo(file_name).lastModified();
    m_cacheCapacity = int(qMin<qint64>(m_fileSize, maxCacheCapacity));
    m_diskBytesRead = 0;
    m_diskReads = 0;
    fillCache(0);
    m_open = true;
    return true;
}

void CachedFile::closeFile()
{
    if (isOpen())
        close();
    m_open = false;
    m_changed = false;
    m_modified = QDateTime();
    m_fileSize = -1;
    m_cache.clear();
    m_cacheStart = 0;
    m_cacheEnd = -1;
    m_cacheCapacity = 0;
}

bool CachedFile::checkForChange()
{
    if (!m_open || m_changed)
        return m_changed;
    const QFileInfo info(fileName());
    if (info.exists() && info.size() == m_fileSize && info.lastModified() == m_modified)
        return false;
    markChanged();
    return true;
}

void CachedFile::markChanged()
{
    if (!m_open)
        return;
    m_changed = true;
    m_cache.clear();
    m_cacheStart = 0;
    m_cacheEnd = -1;
}

void CachedFile::fillCache(qint64 position)
{
    if (position < 0)
        position = 0;
    // The buffer keeps its allocation across fills; it never grows past the capacity.
    m_cache.resize(m_cacheCapacity);
    qint64 got = -1;
    if (seek(position)) {
        got = read(m_cache.data(), m_cacheCapacity);
        ++m_diskReads;
    }
    m_cache.resize(got > 0 ? int(got) : 0);
    m_diskBytesRead += m_cache.size();
    m_cacheStart = position;
    m_cacheEnd = position + m_cache.size() - 1;
}

QByteArray CachedFile::readAt(qint64 position, qint64 count)
{
    if (!m_open || m_changed || m_fileSize < 1 || position < 0 || position >= m_fileSize || count <= 0)
        return QByteArray();
    const qint64 wanted = qMin(count, m_fileSize - position);
    const qint64 last = position + wanted - 1;
    const bool outside = position < m_cacheStart || m_cacheEnd < last;
    if (outside && checkForChange())
        return QByteArray();
    if (position < m_cacheStart)
        fillCache(position - 3 * qint64(m_cacheCapacity) / 4);
    else if (m_cacheEnd < last)
        fillCache(position - m_cacheCapacity / 4);
    // A request larger than the part of the window the placement leaves for it, or a short read
    // of a file that shrank between the check and the read, gets only the cached bytes that exist.
    if (position < m_cacheStart || position > m_cacheEnd)
        return QByteArray();
    const qint64 from = position - m_cacheStart;
    return m_cache.mid(from, qMin(wanted, m_cache.size() - from));
}
