#include "file_window.h"

#include <algorithm>
#include <cstring>

void FileWindow::reset()
{
    m_bufferStart = 0;
    m_bufferLength = 0;
    m_size = quint64(qMax<qint64>(m_file.size(), 0));
    m_known = true;
}

quint64 FileWindow::size() const
{
    return m_known ? m_size : quint64(qMax<qint64>(m_file.size(), 0));
}

void FileWindow::load(quint64 offset)
{
    m_bufferStart = offset;
    m_bufferLength = 0;
    const quint64 want = std::min(blockSize, size() - offset);
    if (m_buffer.size() < qsizetype(blockSize))
        m_buffer.resize(qsizetype(blockSize));
    if (!m_file.seek(qint64(offset)))
        return;
    const qint64 got = m_file.read(m_buffer.data(), qint64(want));
    m_bufferLength = got > 0 ? quint64(got) : 0;
}

const char *FileWindow::peek(quint64 offset, quint64 count, quint64 *available)
{
    *available = 0;
    if (!m_known)
        reset();
    if (offset >= m_size || count == 0)
        return nullptr;
    count = std::min({count, blockSize, m_size - offset});
    if (offset < m_bufferStart || offset - m_bufferStart + count > m_bufferLength)
        load(offset);
    if (offset < m_bufferStart || offset - m_bufferStart >= m_bufferLength)
        return nullptr;
    *available = std::min(count, m_bufferLength - (offset - m_bufferStart));
    return m_buffer.constData() + (offset - m_bufferStart);
}

QByteArray FileWindow::bytes(quint64 offset, quint64 count)
{
    if (!m_known)
        reset();
    if (offset >= m_size || count == 0)
        return QByteArray();
    count = std::min(count, m_size - offset);
    if (count <= blockSize) {
        quint64 available = 0;
        const char *data = peek(offset, count, &available);
        return QByteArray(data, qsizetype(available));
    }
    if (!m_file.seek(qint64(offset)))
        return QByteArray();
    return m_file.read(qint64(count));
}

QByteArray FileWindow::glance(quint64 offset, quint64 count)
{
    if (!m_known)
        reset();
    if (offset >= m_size || count == 0)
        return QByteArray();
    count = std::min(count, m_size - offset);
    if (offset >= m_bufferStart && offset - m_bufferStart + count <= m_bufferLength)
        return QByteArray(m_buffer.constData() + (offset - m_bufferStart), qsizetype(count));
    if (!m_file.seek(qint64(offset)))
        return QByteArray();
    return m_file.read(qint64(count));
}

qsizetype FileWindow::read(quint64 offset, char *out, qsizetype count)
{
    if (count <= 0)
        return 0;
    const QByteArray data = bytes(offset, quint64(count));
    std::memcpy(out, data.constData(), size_t(data.size()));
    std::memset(out + data.size(), 0, size_t(count - data.size()));
    return data.size();
}
