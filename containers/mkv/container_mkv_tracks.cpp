#include "container_mkv.h"

#include "status.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace {

constexpr quint32 blockId = 0xA1;
constexpr quint64 videoTrack = 1;

QString trackTypeName(quint64 type)
{
    switch (type) {
    case 1: return QStringLiteral("video");
    case 2: return QStringLiteral("audio");
    case 3: return QStringLiteral("complex");
    case 16: return QStringLiteral("logo");
    case 17: return QStringLiteral("subtitle");
    case 18: return QStringLiteral("buttons");
    case 32: return QStringLiteral("control");
    default: return QStringLiteral("unknown");
    }
}

QString displayUnitName(quint64 unit)
{
    switch (unit) {
    case 0: return QStringLiteral("pixels");
    case 1: return QStringLiteral("centimeters");
    case 2: return QStringLiteral("inches");
    default: return QStringLiteral("unknown");
    }
}

int clampToInt(quint64 value)
{
    return int(std::min<quint64>(value, quint64(std::numeric_limits<int>::max())));
}

} // namespace

int ContainerMKV::currentStream() const
{
    return m_entryStream >= 0 && m_entryStream < streams.size() ? m_entryStream : -1;
}

int ContainerMKV::parseTrackEntry(ElementMKV *)
{
    m_trackNumber = 0;
    m_trackType = 0;
    m_entryStream = beginStream();
    return Status::Success;
}

int ContainerMKV::parseTrackNumber(ElementMKV *element)
{
    quint64 number = 0;
    const int status = readInteger(element, &number);
    if (status != Status::Success)
        return status;
    addValue(element, element->dataSize, QString::number(number));
    if (m_trackType != 0)
        completeTrack(number, m_trackType);
    m_trackNumber = number;
    return Status::Success;
}

int ContainerMKV::parseTrackType(ElementMKV *element)
{
    quint64 type = 0;
    const int status = readInteger(element, &type);
    if (status != Status::Success)
        return status;
    addValue(element, element->dataSize, QString::number(type), trackTypeName(type));
    if (m_trackNumber != 0)
        completeTrack(m_trackNumber, type);
    m_trackType = type;
    return Status::Success;
}

void ContainerMKV::completeTrack(quint64 number, quint64 type)
{
    m_trackTypes.insert(number, type);
    if (type != videoTrack)
        return;
    // A track number listed twice keeps its first position as its stream index.
    const bool first = !m_videoPositions.contains(number);
    if (first)
        m_videoPositions.insert(number, int(m_videoTracks.size()));
    m_videoTracks.append(number);
    m_videoStreams.append(currentStream());
    if (!first)
        return;
    // Blocks met before their track was described (a Tracks element after the clusters).
    const auto pending = m_pending.find(number);
    if (pending == m_pending.end())
        return;
    const std::vector<PendingFrame> frames = std::move(pending.value());
    m_pending.erase(pending);
    const int position = m_videoPositions.value(number);
    for (const PendingFrame &frame : frames)
        registerVideoFrame(position, frame.offset, frame.size, frame.key);
}

int ContainerMKV::parseDefaultDuration(ElementMKV *element)
{
    quint64 duration = 0;
    const int status = readInteger(element, &duration);
    if (status != Status::Success)
        return status;
    addValue(element, element->dataSize, QString::number(duration));
    const int stream = currentStream();
    if (stream >= 0 && duration > 0)
        streams[stream].frameRate = 1e9 / double(duration);
    return Status::Success;
}

int ContainerMKV::parseTrackTimecodeScale(ElementMKV *element)
{
    return reportValueFloat(element);
}

int ContainerMKV::parseCodecID(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, element->dataSize, &bytes);
    if (status != Status::Success)
        return status;
    const qsizetype zero = bytes.indexOf('\0');
    addValue(element, element->dataSize, QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero)));
    return Status::Success;
}

int ContainerMKV::parseCodecPrivate(ElementMKV *element)
{
    const int status = reportValueBinary(element);
    const int stream = currentStream();
    if (status == Status::Success && stream >= 0) {
        streams[stream].configOffset = element->dataOffset;
        streams[stream].configSize = element->dataSize;
    }
    return status;
}

int ContainerMKV::parsePixelWidth(ElementMKV *element)
{
    quint64 width = 0;
    const int status = readInteger(element, &width);
    if (status != Status::Success)
        return status;
    addValue(element, element->dataSize, QString::number(width));
    const int stream = currentStream();
    if (stream >= 0)
        streams[stream].width = clampToInt(width);
    return Status::Success;
}

int ContainerMKV::parsePixelHeight(ElementMKV *element)
{
    quint64 height = 0;
    const int status = readInteger(element, &height);
    if (status != Status::Success)
        return status;
    addValue(element, element->dataSize, QString::number(height));
    const int stream = currentStream();
    if (stream >= 0)
        streams[stream].height = clampToInt(height);
    return Status::Success;
}

int ContainerMKV::parseDisplayUnit(ElementMKV *element)
{
    quint64 unit = 0;
    const int status = readInteger(element, &unit);
    if (status == Status::Success)
        addValue(element, element->dataSize, QString::number(unit), displayUnitName(unit));
    return status;
}

// Block header, after which the frame data follow (laced frames are not split):
//
//   track number   variable-size integer, marker removed
//   timecode       16-bit signed, big-endian, relative to the cluster
//   flags          8 bits: key frame (SimpleBlock only), 3 invisible, 2-1 lacing, 0 discardable
int ContainerMKV::parseBlock(ElementMKV *element)
{
    const quint64 d = element->dataOffset;
    const quint64 end = d + element->dataSize;
    const QString cutShort = QStringLiteral("The block header is cut short.");

    quint64 track = 0;
    uchar length = 0;
    if (getEBMLelement(d, end, &track, &length) == Status::UnexpectedEnd) {
        addNote(cutShort);
        return Status::UnexpectedEnd;
    }
    addElement(false, d, 0, length, QStringLiteral("TrackNumber"), QString::number(track), QString(),
               QString(), -1);

    quint64 available = 0;
    const char *header = m_window.peek(d + length, 3, &available);
    available = std::min(available, end - (d + length));
    if (available < 2) {
        addNote(cutShort);
        return Status::UnexpectedEnd;
    }
    const qint16 timecode = qFromBigEndian<qint16>(header);
    addElement(false, d + length, 0, 2, QStringLiteral("Timecode"), QString::number(timecode),
               QString(), QString(), -1);
    if (available < 3) {
        addNote(cutShort);
        return Status::UnexpectedEnd;
    }
    const uchar flags = uchar(header[2]);
    addElement(false, d + length + 2, 0, 1, QStringLiteral("Flags"), QString::number(flags),
               QString(), m_flagTexts.at(flags), -1);

    const quint64 frameStart = d + length + 3;
    const quint64 frameBytes = end - frameStart;
    addElement(false, frameStart, 0, frameBytes, QStringLiteral("data"), QString(), QString(),
               QString(), -1);

    // A frame cut by the end of its parent or the file is shown but not listed.
    if (m_dataCut)
        return Status::Success;
    if (m_currentId == blockId && m_groupBlock.open && !m_groupBlock.hasBlock) {
        m_groupBlock.hasBlock = true;
        m_groupBlock.track = track;
        m_groupBlock.offset = frameStart;
        m_groupBlock.size = frameBytes;
        return Status::Success;
    }
    blockFrame(track, frameStart, frameBytes, flags & 0x80);
    return Status::Success;
}

void ContainerMKV::finishGroupBlock()
{
    if (m_groupBlock.hasBlock)
        blockFrame(m_groupBlock.track, m_groupBlock.offset, m_groupBlock.size,
                   !m_groupBlock.referenced);
}

void ContainerMKV::blockFrame(quint64 track, quint64 offset, quint64 size, bool key)
{
    const auto type = m_trackTypes.constFind(track);
    if (type == m_trackTypes.constEnd()) {
        m_pending[track].push_back({offset, size, key});
        return;
    }
    if (type.value() != videoTrack)
        return;
    const auto position = m_videoPositions.constFind(track);
    if (position != m_videoPositions.constEnd())
        registerVideoFrame(position.value(), offset, size, key);
}

void ContainerMKV::registerVideoFrame(int position, quint64 offset, quint64 size, bool key)
{
    frameOffset = offset;
    frameSize = size;
    keyFrame = key ? 1 : 0;
    // Frame numbers count per stream; a track entry began the stream whose counter is used.
    const int stream = m_videoStreams.at(position);
    quint64 number = 0;
    if (stream >= 0 && stream < frameCounters.size())
        number = frameCounters[stream]++;
    registerFrame(uint(position), number);
}
