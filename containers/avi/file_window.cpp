#include "file_window.h"

#include <cstring>

void FileWindow::reset()
{
    m_fileSize = quint64(qMax<qint64>(m_file.size(), 0));
    m_base = 0;
    m_block.clear();
}

bool FileWindow::load(quint64 offset)
{
    m_block.clear();
    m_base = offset;
    if (offset >= m_fileSize || !m_file.seek(qint64(offset)))
        return false;
    m_block = m_file.read(qMin<quint64>(blockSize, m_fileSize - offset));
    return !m_block.isEmpty();
}

qsizetype FileWindow::read(quint64 offset, char *out, qsizetype count)
{
    if (count <= 0)
        return 0;
    const qsizetype available =
        offset >= m_fileSize ? 0 : qsizetype(qMin<quint64>(quint64(count), m_fileSize - offset));
    qsizetype copied = 0;
    if (available > blockSize) {
        const QByteArray direct = m_file.seek(qint64(offset)) ? m_file.read(available) : QByteArray();
        copied = direct.size();
        std::memcpy(out, direct.constData(), size_t(copied));
    } else if (available > 0) {
        const bool cached = offset >= m_base && offset - m_base <= quint64(m_block.size())
            && quint64(m_block.size()) - (offset - m_base) >= quint64(available);
        if (cached || load(offset)) {
            const qsizetype from = qsizetype(offset - m_base);
            copied = qMin(available, m_block.size() - from);
            std::memcpy(out, m_block.constData() + from, size_t(copied));
        }
    }
    std::memset(out + copied, 0, size_t(count - copied));
    return copied;
}

QByteArray FileWindow::bytes(quint64 offset, qsizetype count)
{
    if (count <= 0 || offset >= m_fileSize)
        return QByteArray();
    QByteArray data(qsizetype(qMin<quint64>(quint64(count), m_fileSize - offset)), Qt::Uninitialized);
    data.truncate(read(offset, data.data(), data.size()));
    return data;
}
