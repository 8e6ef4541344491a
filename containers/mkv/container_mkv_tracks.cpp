#include "container_mkv.h"

#include "status.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr quint32 blockId = 0xA1;

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

StreamRecord::Kind streamKind(quint64 type)
{
    switch (type) {
    case 1: return StreamRecord::Video;
    case 2: return StreamRecord::Audio;
    case 17: return StreamRecord::Subtitle;
    default: return StreamRecord::Other;
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
    const int status = reportUnsigned(element, &number);
    if (status != Status::Success)
        return status;
    if (m_trackType != 0)
        completeTrack(number);
    m_trackNumber = number;
    return Status::Success;
}

int ContainerMKV::parseTrackType(ElementMKV *element)
{
    quint64 type = 0;
    const int status = readInteger(element, &type);
    if (status != Status::Success)
        return status;
    addValue(element, QString::number(type), trackTypeName(type));
    const int stream = currentStream();
    if (stream >= 0)
        streams[stream].kind = streamKind(type);
    if (m_trackNumber != 0)
        completeTrack(m_trackNumber);
    m_trackType = type;
    return Status::Success;
}

// The entry being walked has given both its number and its type: its blocks are frames of the
// stream it began.
void ContainerMKV::completeTrack(quint64 number)
{
    const int stream = currentStream();
    // A track number given by two entries keeps the stream of the first.
    if (stream < 0 || m_trackStreams.contains(number))
        return;
    m_trackStreams.insert(number, stream);
    // Blocks met before their track was described (a Tracks element after the clusters).
    const auto pending = m_pending.find(number);
    if (pending == m_pending.end())
        return;
    const std::vector<PendingFrame> frames = std::move(pending.value());
    m_pending.erase(pending);
    for (const PendingFrame &frame : frames)
        registerBlockFrame(stream, frame.offset, frame.size, frame.key);
}

int ContainerMKV::parseDefaultDuration(ElementMKV *element)
{
    quint64 duration = 0;
    const int status = reportUnsigned(element, &duration);
    if (status != Status::Success)
        return status;
    const int stream = currentStream();
    if (stream >= 0 && duration > 0)
        streams[stream].frameRate = 1e9 / double(duration);
    return Status::Success;
}

int ContainerMKV::parseTrackTimecodeScale(ElementMKV *element)
{
    return reportValueFloat(element);
}

int ContainerMKV::parsePixelWidth(ElementMKV *element)
{
    quint64 width = 0;
    const int status = reportUnsigned(element, &width);
    if (status != Status::Success)
        return status;
    const int stream = currentStream();
    if (stream >= 0)
        streams[stream].width = clampToInt(width);
    return Status::Success;
}

int ContainerMKV::parsePixelHeight(ElementMKV *element)
{
    quint64 height = 0;
    const int status = reportUnsigned(element, &height);
    if (status != Status::Success)
        return status;
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
        addValue(element, QString::number(unit), displayUnitName(unit));
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
    // The header ends at the latest where the block ends; a block cut by its parent or the
    // file ends before its size says.
    const Bound bound(*this, d + element->dataSize);
    const quint64 end = bound.end();
    const bool cut = end < d + element->dataSize;

    quint64 track = 0;
    uchar length = 1;
    getEBMLelement(d, end, &track, &length);
    const quint64 headerSize = length + 3u;
    // The bytes of a cut header that do not exist are read as 0; their fields show the others.
    char header[3] = {};
    quint64 available = 0;
    const char *bytes = window.peek(d + length, sizeof header, &available);
    if (bytes)
        std::memcpy(header, bytes, std::min(available, end - std::min(end, d + length)));
    const uchar flags = uchar(header[2]);
    addField(d, length, QStringLiteral("TrackNumber"), QString::number(track));
    addField(d + length, 2, QStringLiteral("Timecode"), QString::number(qFromBigEndian<qint16>(header)));
    addField(d + length + 2, 1, QStringLiteral("Flags"), QString::number(flags), QString(),
             m_flagTexts.at(flags));
    if (end - d < headerSize) {
        // The walker noted a block cut by its parent; here the block is too small for its header.
        if (!cut)
            noteMissingFields(bound, d);
        return Status::UnexpectedEnd;
    }

    const quint64 frameStart = d + headerSize;
    const quint64 frameBytes = element->dataSize - headerSize;
    addField(frameStart, frameBytes, QStringLiteral("data"), QString());

    // A frame cut by the end of its parent or the file is shown but not listed.
    if (cut)
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

int ContainerMKV::parseClusterTimestamp(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parseBlockDuration(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parseTimecodeScale(ElementMKV *element)
{
    quint64 scale = 0;
    const int status = reportUnsigned(element, &scale);
    if (status != Status::Success)
        return status;
    // 0 is no scale; the default stays.
    if (scale != 0)
        m_timecodeScale = scale;
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
    const auto stream = m_trackStreams.constFind(track);
    if (stream == m_trackStreams.constEnd())
        m_pending[track].push_back({offset, size, key});
    else
        registerBlockFrame(stream.value(), offset, size, key);
}

void ContainerMKV::registerBlockFrame(int stream, quint64 offset, quint64 size, bool key)
{
    frameOffset = offset;
    frameSize = size;
    keyFrame = key ? 1 : 0;
    registerStreamFrame(stream);
}
