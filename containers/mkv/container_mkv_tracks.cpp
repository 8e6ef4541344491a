#include "container_mkv.h"

#include "status.h"

#include <QtEndian>
#include <QtNumeric>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr quint32 blockId = 0xA1;
constexpr quint32 defaultDurationId = 0x23E383;

enum Lacing : uchar { NoLacing = 0, XiphLacing = 1, FixedLacing = 2, EbmlLacing = 3 };

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

// floor(total * part / parts) without overflow: the ticks of a block's duration that its
// first `part` laces take, as the laces of a block share it.
quint64 laceShare(quint64 total, quint64 part, quint64 parts)
{
    return total / parts * part + total % parts * part / parts;
}

} // namespace

int ContainerMKV::currentStream() const
{
    return m_entryStream >= 0 && m_entryStream < streams.size() ? m_entryStream : -1;
}

int ContainerMKV::parseTrackEntry(ElementMKV *element)
{
    m_entryStart = element->dataOffset;
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
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(type),
             trackTypeName(type), trackTypeName(type));
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
    const std::vector<PendingFrame> blocks = std::move(pending.value());
    m_pending.erase(pending);
    m_pendingBlocks -= blocks.size();
    // The entry's DefaultDuration may follow the number and type that complete it.
    if (size_t(stream) >= m_defaultDurations.size() || m_defaultDurations[size_t(stream)] == 0)
        setDefaultDuration(stream, entryDefaultDuration());
    for (const PendingFrame &block : blocks)
        registerBlockFrames(stream, block, false);
}

// Reads the entry's children from its first byte up to the end of the entry, without
// reporting them: only the value of a DefaultDuration among them.
quint64 ContainerMKV::entryDefaultDuration()
{
    const quint64 end = boundEnd();
    quint64 pos = m_entryStart;
    while (pos < end) {
        quint32 id = 0;
        uchar idLength = 0;
        quint64 size = 0;
        uchar sizeLength = 0;
        if (getID(pos, end, &id, &idLength) != Status::Success
            || getEBMLelement(pos + idLength, end, &size, &sizeLength) != Status::Success)
            return 0;
        const quint64 data = pos + idLength + sizeLength;
        if (data > end || size > end - data)
            return 0;
        if (id == defaultDurationId) {
            quint64 available = 0;
            const char *bytes = size <= 8 ? window.peek(data, size, &available) : nullptr;
            if (!bytes || available < size)
                return 0;
            quint64 value = 0;
            for (quint64 i = 0; i < size; ++i)
                value = value << 8 | uchar(bytes[i]);
            return value;
        }
        pos = data + size;
    }
    return 0;
}

void ContainerMKV::setDefaultDuration(int stream, quint64 nanoseconds)
{
    if (size_t(stream) >= m_defaultDurations.size())
        m_defaultDurations.resize(size_t(stream) + 1);
    m_defaultDurations[size_t(stream)] = nanoseconds;
}

int ContainerMKV::parseDefaultDuration(ElementMKV *element)
{
    quint64 duration = 0;
    const int status = readInteger(element, &duration);
    if (status != Status::Success)
        return status;
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(duration),
             duration <= quint64(std::numeric_limits<qint64>::max()) ? nanosecondsText(qint64(duration)) : QString());
    const int stream = currentStream();
    if (stream < 0)
        return Status::Success;
    setDefaultDuration(stream, duration);
    if (duration > 0)
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

int ContainerMKV::parseSamplingFrequency(ElementMKV *element)
{
    double frequency = 0;
    const int status = readFloat(element, &frequency);
    if (status != Status::Success)
        return status;
    addValue(element, QString::number(frequency, 'g', 6));
    // A NaN, infinite or negative rate stays in the tree but tells nothing about the stream.
    const int stream = currentStream();
    if (stream >= 0 && qIsFinite(frequency) && frequency > 0)
        streams[stream].sampleRate = frequency;
    return Status::Success;
}

int ContainerMKV::parseChannels(ElementMKV *element)
{
    quint64 channels = 0;
    const int status = reportUnsigned(element, &channels);
    if (status != Status::Success)
        return status;
    const int stream = currentStream();
    if (stream >= 0)
        streams[stream].channels = clampToInt(channels);
    return Status::Success;
}

int ContainerMKV::parseDisplayUnit(ElementMKV *element)
{
    quint64 unit = 0;
    const int status = readInteger(element, &unit);
    if (status == Status::Success)
        addValue(element, valueNumber(unit), displayUnitName(unit));
    return status;
}

// Block header, after which the frame data follow:
//
//   track number   variable-size integer, marker removed
//   timecode       16-bit signed, big-endian, relative to the cluster
//   flags          8 bits: key frame (SimpleBlock only), 3 invisible, 2-1 lacing, 0 discardable
//
// With lacing, the data begin with a lace header: the number of frames minus one, then the
// sizes of all frames but the last (Xiph: runs of 255 ended by a smaller byte; EBML: a
// variable-size integer, then signed differences to the size before; fixed-size: none).
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
    const qint16 relative = qFromBigEndian<qint16>(header);
    const qint64 time = qint64(m_clusterTime + quint64(qint64(relative)));
    addField(d, length, QStringLiteral("TrackNumber"), valueNumber(track));
    addField(d + length, 2, QStringLiteral("Timecode"), valueNumber(relative), ticksText(double(time)));
    addField(d + length + 2, 1, QStringLiteral("Flags"), valueNumber(flags), QString(),
             m_flagTexts.at(flags));
    if (end - d < headerSize) {
        // The walker noted a block cut by its parent; here the block is too small for its header.
        if (!cut)
            noteMissingFields(bound, d);
        return Status::UnexpectedEnd;
    }
    // Bit 7 of a Block's flags is reserved: its key frames are told by its BlockGroup.
    const bool simple = m_currentId != blockId;
    setGroupReadable(blockSummary(track, time, simple ? flags : uchar(flags & 0x7F)));

    const quint64 frameStart = d + headerSize;
    const quint64 frameBytes = element->dataSize - headerSize;
    const uchar lacing = (flags >> 1) & 3;
    splitLaces(frameStart, frameBytes, end - frameStart, lacing);
    int status = Status::Success;
    if (lacing == NoLacing)
        addField(frameStart, frameBytes, QStringLiteral("data"), QString());
    else
        status = reportLaces(frameStart, frameBytes, lacing);

    // A frame cut by the end of its parent or the file is shown but not listed.
    if (cut)
        return status;
    PendingFrame block;
    block.offset = frameStart;
    block.size = frameBytes;
    block.time = time;
    block.lacing = lacing;
    block.key = flags & 0x80;
    if (m_currentId == blockId && m_groupBlock.open && !m_groupBlock.hasBlock) {
        m_groupBlock.hasBlock = true;
        m_groupBlock.track = track;
        m_groupBlock.flags = flags;
        m_groupBlock.block = block;
        return status;
    }
    blockFrames(track, block, true);
    return status;
}

void ContainerMKV::splitLaces(quint64 begin, quint64 size, quint64 held, uchar lacing)
{
    Laces &laces = m_laces;
    laces.sizes = 0;
    laces.whole = 0;
    laces.fault = LaceFault::None;
    if (lacing == NoLacing) {
        laces.frames = 1;
        laces.whole = 1;
        laces.frame[0] = {begin, size};
        return;
    }
    laces.frames = 0;
    // Bytes past those that exist belong to no lace: a cut block ends where its bytes end.
    const quint64 readable = begin + std::min(held, size);
    const bool blockCut = readable < begin + size;
    quint64 available = 0;
    const char *count = begin < readable ? window.peek(begin, 1, &available) : nullptr;
    if (!count || available == 0) {
        laces.fault = blockCut ? LaceFault::Cut : LaceFault::NoCount;
        return;
    }
    laces.frames = uchar(*count) + 1;
    quint64 pos = begin + 1;
    LaceFault fault = LaceFault::None;
    if (lacing == XiphLacing)
        fault = readXiphSizes(&pos, readable);
    else if (lacing == EbmlLacing)
        fault = readEbmlSizes(&pos, readable);
    if (fault != LaceFault::None) {
        laces.fault = fault == LaceFault::SizeCut && blockCut ? LaceFault::Cut : fault;
        return;
    }
    placeLaces(pos, begin + size, lacing);
}

ContainerMKV::LaceFault ContainerMKV::readXiphSizes(quint64 *pos, quint64 end)
{
    Laces &laces = m_laces;
    const char *bytes = nullptr;
    quint64 bytesStart = 0;
    quint64 bytesCount = 0;
    for (int i = 0; i + 1 < laces.frames; ++i) {
        const quint64 start = *pos;
        quint64 size = 0;
        uchar byte = 255;
        while (byte == 255) {
            if (*pos >= end) {
                laces.faultFrame = i;
                return LaceFault::SizeCut;
            }
            if (*pos >= bytesStart + bytesCount) {
                bytes = window.peek(*pos, end - *pos, &bytesCount);
                bytesStart = *pos;
                if (!bytes || bytesCount == 0) {
                    laces.faultFrame = i;
                    return LaceFault::SizeCut;
                }
            }
            byte = uchar(bytes[*pos - bytesStart]);
            size += byte;
            ++*pos;
        }
        laces.size[i] = {start, *pos - start, qint64(size), size};
        laces.sizes = i + 1;
    }
    return LaceFault::None;
}

ContainerMKV::LaceFault ContainerMKV::readEbmlSizes(quint64 *pos, quint64 end)
{
    Laces &laces = m_laces;
    qint64 previous = 0;
    for (int i = 0; i + 1 < laces.frames; ++i) {
        quint64 raw = 0;
        uchar length = 0;
        const int status = getEBMLelement(*pos, end, &raw, &length);
        laces.faultFrame = i;
        if (status == Status::UnexpectedEnd)
            return LaceFault::SizeCut;
        if (status == Status::TooLong)
            return LaceFault::SizeTooLong;
        // The first size is unsigned; each other one is a difference to the size before,
        // stored with half the range of its length below zero.
        const qint64 stored = i == 0 ? qint64(raw) : qint64(raw) - ((qint64(1) << (7 * length - 1)) - 1);
        const qint64 size = i == 0 ? stored : previous + stored;
        if (size < 0) {
            laces.negative = size;
            return LaceFault::NegativeSize;
        }
        laces.size[i] = {*pos, length, stored, quint64(size)};
        laces.sizes = i + 1;
        previous = size;
        *pos += length;
    }
    return LaceFault::None;
}

void ContainerMKV::placeLaces(quint64 dataStart, quint64 end, uchar lacing)
{
    Laces &laces = m_laces;
    laces.held = end - dataStart;
    const quint64 frames = quint64(laces.frames);
    if (lacing == FixedLacing) {
        // Frames of no byte would be nothing but a count; each needs one at least.
        if (laces.held < frames) {
            laces.fault = LaceFault::TooManyFrames;
            return;
        }
        if (laces.held % frames != 0) {
            laces.fault = LaceFault::Uneven;
            return;
        }
        const quint64 each = laces.held / frames;
        for (quint64 i = 0; i < frames; ++i)
            laces.frame[i] = {dataStart + i * each, each};
        laces.whole = laces.frames;
        return;
    }
    quint64 at = dataStart;
    for (int i = 0; i < laces.sizes; ++i) {
        const quint64 size = laces.size[i].size;
        if (size > end - at) {
            laces.fault = LaceFault::SizesTooLarge;
            laces.claimed = 0;
            for (int j = 0; j < laces.sizes; ++j) {
                const quint64 room = std::numeric_limits<quint64>::max() - laces.claimed;
                laces.claimed += std::min(laces.size[j].size, room);
            }
            return;
        }
        laces.frame[laces.whole++] = {at, size};
        at += size;
    }
    // The last frame takes the rest of the block.
    laces.frame[laces.whole++] = {at, end - at};
}

int ContainerMKV::reportLaces(quint64 begin, quint64 size, uchar lacing)
{
    const Laces &laces = m_laces;
    const quint64 readable = begin + fit(begin, size);
    beginGroup(begin, readable - begin, QStringLiteral("data"), -1);
    if (laces.frames > 0)
        addField(begin, 1, QStringLiteral("LaceCount"), valueNumber(laces.frames - 1),
                 laces.frames == 1 ? QStringLiteral("1 frame") : QStringLiteral("%1 frames").arg(laces.frames));
    for (int i = 0; i < laces.sizes; ++i) {
        const LaceSize &lace = laces.size[i];
        // An EBML difference shows the size it gives.
        const bool difference = lacing == EbmlLacing && i > 0;
        addField(lace.offset, lace.length, QStringLiteral("LaceSize"), valueNumber(lace.stored),
                 difference ? QString::number(lace.size) : QString(), QString(), i);
    }
    for (int i = 0; i < laces.whole && laces.frame[i].offset + laces.frame[i].size <= readable; ++i)
        addField(laces.frame[i].offset, laces.frame[i].size, QStringLiteral("frame"), QString(), QString(),
                 QString(), i);
    endGroup();
    if (laces.fault == LaceFault::None || laces.fault == LaceFault::Cut)
        return Status::Success;
    addNote(laceFaultText());
    return laces.fault == LaceFault::SizeTooLong ? Status::TooLong : Status::UnexpectedEnd;
}

QString ContainerMKV::laceFaultText() const
{
    const Laces &laces = m_laces;
    switch (laces.fault) {
    case LaceFault::NoCount:
        return QStringLiteral("The block ends before its lace count.");
    case LaceFault::SizeCut:
        return QStringLiteral("The lace sizes run past the end of the block: the size of frame %1 of %2 "
                              "is cut off.").arg(laces.faultFrame).arg(laces.frames);
    case LaceFault::SizeTooLong:
        return QStringLiteral("The lace size of frame %1 is longer than 8 bytes.").arg(laces.faultFrame);
    case LaceFault::NegativeSize:
        return QStringLiteral("The lace size difference of frame %1 makes its size negative (%2).")
            .arg(laces.faultFrame).arg(laces.negative);
    case LaceFault::SizesTooLarge:
        return QStringLiteral("The lace sizes claim %1 bytes, but only %2 follow the lace header.")
            .arg(laces.claimed).arg(laces.held);
    case LaceFault::TooManyFrames:
        return QStringLiteral("The lace count claims %1 frames, but only %2 bytes follow it.")
            .arg(laces.frames).arg(laces.held);
    case LaceFault::Uneven:
        return QStringLiteral("The %1 bytes after the lace count do not split into %2 frames of the same size.")
            .arg(laces.held).arg(laces.frames);
    case LaceFault::None:
    case LaceFault::Cut:
        break;
    }
    return QString();
}

QString ContainerMKV::blockSummary(quint64 track, qint64 time, uchar flags) const
{
    SummaryText summary;
    summary << "track " << track;
    qint64 nanoseconds = 0;
    // A time past the range of nanoseconds is left out.
    if (m_timecodeScale <= quint64(std::numeric_limits<qint64>::max())
        && !qMulOverflow(time, qint64(m_timecodeScale), &nanoseconds)) {
        summary << ", ";
        appendMilliseconds(summary, nanoseconds);
    }
    static const char *const lacingNames[] = {"", ", Xiph lacing", ", fixed-size lacing", ", EBML lacing"};
    if (flags & 0x80)
        summary << ", key";
    if (flags & 0x08)
        summary << ", invisible";
    summary << lacingNames[(flags >> 1) & 3];
    if (flags & 0x01)
        summary << ", discardable";
    return summary.toString();
}

int ContainerMKV::parseCluster(ElementMKV *)
{
    // A cluster without a timestamp counts from 0, not from the cluster before it.
    m_clusterTime = 0;
    return Status::Success;
}

int ContainerMKV::parseClusterTimestamp(ElementMKV *element)
{
    quint64 timestamp = 0;
    const int status = readInteger(element, &timestamp);
    if (status != Status::Success)
        return status;
    m_clusterTime = timestamp;
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(timestamp),
             ticksText(double(timestamp)));
    return Status::Success;
}

int ContainerMKV::parseBlockDuration(ElementMKV *element)
{
    quint64 duration = 0;
    const int status = readInteger(element, &duration);
    if (status != Status::Success)
        return status;
    if (m_groupBlock.open)
        m_groupBlock.duration = duration;
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(duration),
             ticksText(double(duration)));
    return Status::Success;
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
    if (!m_groupBlock.hasBlock)
        return;
    PendingFrame block = m_groupBlock.block;
    block.key = !m_groupBlock.referenced;
    block.duration = m_groupBlock.duration;
    blockFrames(m_groupBlock.track, block, false);
}

void ContainerMKV::blockFrames(quint64 track, const PendingFrame &block, bool lacesRead)
{
    const auto stream = m_trackStreams.constFind(track);
    if (stream != m_trackStreams.constEnd()) {
        registerBlockFrames(stream.value(), block, lacesRead);
        return;
    }
    if (m_pendingBlocks < pendingBlockLimit) {
        ++m_pendingBlocks;
        m_pending[track].push_back(block);
    } else if (!m_pendingLimitNoted) {
        m_pendingLimitNoted = true;
        addNote(QStringLiteral("%1 blocks came before the TrackEntry of their track: the frames of this block and of "
                               "later blocks of undescribed tracks are not listed.")
                    .arg(pendingBlockLimit));
    }
}

// The frames of a block share its duration as the laces of a block do in ffmpeg: frame n of N
// takes floor(D (n + 1) / N) - floor(D n / N) ticks and begins where the frames before it end.
// A block without a known duration gives every frame its own time: they begin no earlier.
void ContainerMKV::registerBlockFrames(int stream, const PendingFrame &block, bool lacesRead)
{
    if (!lacesRead)
        splitLaces(block.offset, block.size, block.size, block.lacing);
    const Laces &laces = m_laces;
    const quint64 frames = quint64(laces.frames);
    const quint64 total = blockTicks(stream, block, laces.frames);
    for (int i = 0; i < laces.whole; ++i) {
        const quint64 start = laceShare(total, quint64(i), frames);
        frameOffset = laces.frame[i].offset;
        frameSize = laces.frame[i].size;
        frameTime = qint64(quint64(block.time) + start);
        frameTime2 = 0;
        frameDuration = laceShare(total, quint64(i) + 1, frames) - start;
        keyFrame = block.key ? 1 : 0;
        registerStreamFrame(stream);
    }
}

quint64 ContainerMKV::blockTicks(int stream, const PendingFrame &block, int frames) const
{
    // A BlockDuration of 0 says nothing; the track's default holds then, as in ffmpeg.
    if (block.duration != 0)
        return block.duration;
    const quint64 nanoseconds = size_t(stream) < m_defaultDurations.size() ? m_defaultDurations[size_t(stream)] : 0;
    quint64 product = 0;
    if (qMulOverflow(nanoseconds, quint64(frames), &product))
        return std::numeric_limits<quint64>::max();
    return product / m_timecodeScale;
}
