#pragma once

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

/// A read window over the open container file. The chunk walker and the index handlers read a
/// few bytes at a time at nearby offsets; the window serves those reads from one block in memory
/// instead of a seek and a read on the device each time.
class FileWindow
{
public:
    explicit FileWindow(QFile &file) : m_file(file) {}

    /// Forgets the cached block and takes the file's size anew (after the file was reopened).
    void reset();

    quint64 fileSize() const { return m_fileSize; }

    /// Copies up to count bytes at offset into out and zero-fills the rest of out; returns the
    /// number of bytes that exist in the file there.
    qsizetype read(quint64 offset, char *out, qsizetype count);

    /// Up to count bytes at offset: fewer when the file ends first.
    QByteArray bytes(quint64 offset, qsizetype count);

private:
    static constexpr qsizetype blockSize = 64 * 1024;

    bool load(quint64 offset);

    QFile &m_file;
    quint64 m_fileSize = 0;
    quint64 m_base = 0;
    QByteArray m_block;
};
