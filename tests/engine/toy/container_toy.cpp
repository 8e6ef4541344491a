#include "container_toy.h"

#include "byte_reader.h"
#include "status.h"

#include <cstdio>
#include <new>

ContainerToy::ContainerToy() = default;

int ContainerToy::verifyContainerFormat(const QString &fileName)
{
    const int status = openFile(fileName);
    if (status != Status::Success)
        return status;
    const bool toy = window.bytes(0, 4) == "KTOY";
    closeFile();
    if (!toy)
        return Status::NotThisFormat;
    std::fputs("Container format:\tTOY\n", stderr);
    return Status::Success;
}

int ContainerToy::findBeginOfContainer(qint64 *offset)
{
    *offset = 0;
    return Status::Success;
}

int ContainerToy::parseElement(quint64 *size)
{
    const quint64 start = currentOffset;
    if (start == 0) {
        addElement(false, 0, 0, 4, QStringLiteral("magic"), QStringLiteral("KTOY"), QString(), QString(), -1);
        *size = 4;
        return Status::Success;
    }
    return parseRecord(start, start + bytesLeft(start), size);
}

int ContainerToy::parseRecord(quint64 start, quint64 end, quint64 *size)
{
    const ByteReader header(readAt(start, 5));
    const char tag = char(header.u8(0));
    // A record never reaches past its parent or the file.
    const quint64 length = qMin<quint64>(header.u32be(1), end - qMin(end, start + 5));
    *size = qMin<quint64>(5 + length, end - start);
    const quint64 payload = start + 5;

    switch (tag) {
    case 'G': {
        beginGroup(start, *size, QStringLiteral("group"), -1);
        addElement(false, start, 0, 1, QStringLiteral("tag"), QStringLiteral("G"), QStringLiteral("group"),
                   QStringLiteral("a group of records"), -1);
        if (depth() > maxDepth) {
            addNote(QStringLiteral("Nesting too deep; the rest is not shown."));
        } else {
            quint64 child = payload;
            while (child < payload + length) {
                quint64 childSize = 0;
                parseRecord(child, payload + length, &childSize);
                if (childSize == 0)
                    break;
                child += childSize;
            }
        }
        setGroupValue(QString::number(length));
        endGroup();
        return Status::Success;
    }
    case 'L':
        addElement(false, start, 0, *size, QStringLiteral("leaf"), QString::fromUtf8(readAt(payload, length)),
                   QString(), QString(), -1);
        return Status::Success;
    case 'B': {
        const quint8 byte = ByteReader(readAt(payload, 1)).u8(0);
        beginGroup(start, *size, QStringLiteral("bits"), -1);
        addElement(true, payload, 0, 4, QStringLiteral("high"), QString::number(byte >> 4), QString(), QString(), -1);
        addElement(true, payload, 4, 4, QStringLiteral("low"), QString::number(byte & 15), QString(), QString(), -1);
        endGroup();
        return Status::Success;
    }
    case 'F':
        addElement(false, start, 0, *size, QStringLiteral("frame"), QString::number(length), QString(), QString(), -1);
        if (streams.isEmpty()) {
            beginStream();
            streams.last().kind = StreamRecord::Video;
            streams.last().codec = QStringLiteral("ktoy");
            streams.last().timescale = 1000;
        }
        frameOffset = payload;
        frameSize = length;
        frameTime = qint64(m_frames) * 40;
        frameDuration = 40;
        keyFrame = m_frames % 10 == 0;
        registerStreamFrame(0);
        ++m_frames;
        return Status::Success;
    case 'E': {
        const QByteArray bytes = readAt(payload, length);
        beginGroup(start, *size, QStringLiteral("entries"), -1);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            addElement(false, payload + quint64(i), 0, 1, QStringLiteral("entry"), QString::number(uchar(bytes[i])),
                       QString(), QString(), i);
        endGroup();
        return Status::Success;
    }
    case 'S':
        *size = 0;
        return Status::Success;
    case 'M':
        throw std::bad_alloc();
    case 'X':
        beginGroup(start, *size, QStringLiteral("broken"), -1);
        addNote(QStringLiteral("The record ends early."));
        return keepFailure(Status::UnexpectedEnd); // the group is left open on purpose
    default:
        beginGroup(start, *size, QStringLiteral("unknown"), -1);
        addNote(QStringLiteral("Unknown element!"));
        endGroup();
        return Status::Success;
    }
}

QStringList ContainerToy::unusedOptions() const
{
    return {QStringLiteral("number_base")};
}

void ContainerToy::finalizeParsing()
{
    if (!streams.isEmpty())
        frameCounters.last() = m_frames;
}
