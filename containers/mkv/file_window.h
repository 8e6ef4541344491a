#pragma once

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

/// A read-ahead window over a file. The EBML walker reads a few header bytes of every element
/// in file order; serving them from one buffer spares a device seek and read per element.
/// Every read is clipped to the bytes the file holds.
class FileWindow
{
public:
    explicit FileWindow(QFile &file) : m_file(file) {}

    /// Forgets the buffered bytes and takes the file's size anew (after the file was opened).
    void reset();

    quint64 size();

    /// Points at up to count bytes from offset (fewer at the end of the file, none past it);
    /// *available receives how many. The pointer stays valid until the next call.
    /// count must not exceed chunkSize.
    const char *peek(quint64 offset, quint64 count, quint64 *available);

    /// Reads up to count bytes from offset; never more than the file holds there.
    QByteArray read(quint64 offset, quint64 count);

    static constexpr quint64 chunkSize = 256 * 1024;

private:
    void load(quint64 offset);

    QFile &m_file;
    QByteArray m_buffer;
    quint64 m_bufferStart = 0;
    quint64 m_bufferLength = 0;
    quint64 m_size = 0;
    bool m_known = false;
};
