#include "file_window.h"

#include <algorithm>

void FileWindow::reset()
{
    m_bufferStart = 0;
    m_bufferLength = 0;
    m_size = quint64(qMax<qint64>(m_file.size(), 0));
    m_known = true;
}

quint64 FileWindow::size()
{
    if (!m_known)
        reset();
    return m_size;
}

void FileWindow::load(quint64 offset)
{
    m_bufferStart = offset;
    m_bufferLength = 0;
    const quint64 want = std::min(chunkSize, size() - offset);
    if (m_buffer.size() < qsizetype(chunkSize))
        m_buffer.resize(qsizetype(chunkSize));
    if (!m_file.seek(qint64(offset)))
        return;
    const qint64 got = m_file.read(m_buffer.data(), qint64(want));
    m_bufferLength = got > 0 ? quint64(got) : 0;
}

const char *FileWindow::peek(quint64 offset, quint64 count, quint64 *available)
{
    *available = 0;
    if (offset >= size() || count == 0)
        return nullptr;
    count = std::min({count, chunkSize, m_size - offset});
    if (offset < m_bufferStart || offset - m_bufferStart + count > m_bufferLength)
        load(offset);
    if (offset < m_bufferStart || offset - m_bufferStart >= m_bufferLength)
        return nullptr;
    const quint64 inBuffer = m_bufferLength - (offset - m_bufferStart);
    *available = std::min(count, inBuffer);
    return m_buffer.constData() + (offset - m_bufferStart);
}

QByteArray FileWindow::read(quint64 offset, quint64 count)
{
    if (offset >= size() || count == 0)
        return QByteArray();
    count = std::min(count, m_size - offset);
    if (count <= chunkSize) {
        quint64 available = 0;
        const char *data = peek(offset, count, &available);
        return QByteArray(data, qsizetype(available));
    }
    if (!m_file.seek(qint64(offset)))
        return QByteArray();
    return m_file.read(qint64(count));
}
