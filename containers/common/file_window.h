#pragma once

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

/// A read-ahead window over the open container file. Walkers read a few header bytes of
/// every element at nearby offsets; serving them from one block in memory spares a seek and a
/// read on the device each time. Every read is clipped to the bytes the file holds.
class FileWindow
{
public:
    static constexpr quint64 blockSize = 256 * 1024;

    explicit FileWindow(QFile &file) : m_file(file) {}

    /// Forgets the buffered bytes and takes the file's size anew (after the file was opened).
    void reset();

    quint64 size() const;

    /// Points at up to count bytes from offset (fewer at the end of the file, none past it;
    /// never more than blockSize); *available receives how many. Valid until the next call.
    const char *peek(quint64 offset, quint64 count, quint64 *available);

    /// Up to count bytes from offset: fewer when the file ends first.
    QByteArray bytes(quint64 offset, quint64 count);

    /// Up to count bytes from offset, read past the window when they lie outside it, so that a
    /// look at a far offset does not make the walk read its own neighbourhood anew.
    QByteArray glance(quint64 offset, quint64 count);

    /// Copies up to count bytes at offset into out and zero-fills the rest of out, as a short
    /// read into a zeroed structure would; returns how many bytes the file held there.
    qsizetype read(quint64 offset, char *out, qsizetype count);

private:
    void load(quint64 offset);

    QFile &m_file;
    QByteArray m_buffer;
    quint64 m_bufferStart = 0;
    quint64 m_bufferLength = 0;
    quint64 m_size = 0;
    bool m_known = false;
};
