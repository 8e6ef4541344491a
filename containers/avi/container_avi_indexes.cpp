// Handlers of the index chunks: the AVI 1.0 "idx1" and the OpenDML "indx" and standard indexes;
// the timing of the frames they list, and the scan of the movi lists of a file without them.

#include "container_avi.h"

#include "byte_reader.h"
#include "status.h"
#include "summary_text.h"

#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint idx1EntrySize = 16;
constexpr uint indxHeaderSize = 24;
constexpr uint chunkHeaderSize = 8;
// The first entries of an "idx1" that tell whether its offsets are absolute.
constexpr quint64 probedEntries = 4;
// Standard index entries are read in blocks of about this many bytes.
constexpr quint64 indexBlockSize = 64 * 1024;

enum IndexType { IndexOfIndexes = 0, IndexOfChunks = 1 };

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The stream a data chunk id ("01wb") names; -1 when its first two characters are no number.
int streamOf(const char *id)
{
    const int high = hexValue(id[0]);
    const int low = hexValue(id[1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Video frames: uncompressed ("db") and compressed ("dc") chunks.
bool isVideoEntry(const char *id)
{
    return id[2] == 'd' && (id[3] == 'b' || id[3] == 'c');
}

bool isPaletteEntry(const char *id)
{
    return id[2] == 'p' && id[3] == 'c';
}

// Chunks of stream data: video, audio ("wb"), text ("tx") and subtitles ("sb").
bool isFrameEntry(const char *id)
{
    return isVideoEntry(id) || (id[2] == 'w' && id[3] == 'b') || (id[2] == 't' && id[3] == 'x')
        || (id[2] == 's' && id[3] == 'b');
}

} // namespace

// "00dc, key, 4096 bytes at 1234": the one line of an index entry.
QString ContainerAVI::chunkSummary(const char *chunkId, bool key, quint32 size, quint64 offset)
{
    SummaryText summary;
    summary.append(chunkId, qsizetype(qstrnlen(chunkId, 4)));
    summary << (key ? ", key, " : ", ") << size << " bytes at " << offset;
    return summary.toString();
}

void ContainerAVI::readStreamClocks()
{
    m_clocks.clear();
    // Calls visit(id, list type, data begin, data end) for each chunk in [begin, end).
    const auto children = [this](quint64 begin, quint64 end, const auto &visit) {
        for (quint64 at = begin; at < end && end - at >= chunkHeaderSize;) {
            const QByteArray header = window.bytes(at, 12).leftJustified(12, '\0');
            const quint64 size = qFromLittleEndian<quint32>(header.constData() + 4);
            const quint64 data = at + chunkHeaderSize;
            visit(header.left(4), header.mid(8, 4), data, qMin(end, data + size));
            at = data + size + (size & 1);
        }
    };
    const auto isList = [](const QByteArray &id, const QByteArray &type, const char *wanted) {
        return (id == "RIFF" || id == "LIST") && type == wanted;
    };
    const QByteArray riff = window.bytes(0, 12);
    if (riff.size() < 12 || !isList(riff.left(4), riff.mid(8), "AVI "))
        return;
    const quint64 riffEnd = qMin<quint64>(window.size(), 8 + quint64(qFromLittleEndian<quint32>(riff.constData() + 4)));
    children(12, riffEnd, [&](const QByteArray &id, const QByteArray &type, quint64 begin, quint64 end) {
        if (!isList(id, type, "hdrl"))
            return;
        children(begin + 4, end, [&](const QByteArray &id, const QByteArray &type, quint64 begin, quint64 end) {
            if (!isList(id, type, "strl"))
                return;
            children(begin + 4, end, [&](const QByteArray &id, const QByteArray &, quint64 begin, quint64 end) {
                if (id != "strh")
                    return;
                char header[48];
                readStructure(begin, uint(qMin<quint64>(end - begin, sizeof header)), header, sizeof header);
                const ByteReader r(QByteArray::fromRawData(header, sizeof header));
                StreamClock clock;
                clock.audio = r.u32le(0) == qFromLittleEndian<quint32>("auds");
                clock.scale = r.u32le(20);
                clock.start = r.u32le(28);
                clock.sampleSize = r.u32le(44);
                m_clocks.push_back(clock);
            });
        });
    });
}

ContainerAVI::StreamClock &ContainerAVI::clockOf(int stream)
{
    // Callers pass streams the file has, so the list grows at most to the number of headers.
    if (size_t(stream) >= m_clocks.size())
        m_clocks.resize(size_t(stream) + 1);
    return m_clocks[size_t(stream)];
}

void ContainerAVI::registerChunk(int stream, quint64 offset, quint32 size, bool key)
{
    // A stream with a sample size (CBR audio) counts a time unit per dwSampleSize bytes, any
    // other a unit per chunk; a unit lasts dwScale ticks of the stream's timescale (dwRate).
    StreamClock &clock = clockOf(stream);
    const bool bySamples = clock.audio && clock.sampleSize > 0;
    const quint64 at = clock.start + (bySamples ? clock.units / clock.sampleSize : clock.units);
    const quint64 units = bySamples ? size / clock.sampleSize : 1;
    clock.units += bySamples ? size : 1;
    if (size == 0)
        return;
    frameOffset = offset;
    frameSize = size;
    frameTime = qint64(at * clock.scale);
    frameTime2 = 0;
    frameDuration = units * clock.scale;
    keyFrame = key;
    registerStreamFrame(stream);
}

bool ContainerAVI::isVideoStream(int stream) const
{
    return std::find(m_videoStreams.begin(), m_videoStreams.end(), uint(stream)) != m_videoStreams.end();
}

bool ContainerAVI::takesIdx1(int stream)
{
    const FrameSource source = clockOf(stream).source;
    return source == NoSource || source == CurrentIdx1Source;
}

bool ContainerAVI::chunkAt(quint64 offset, const char *id)
{
    quint64 got = 0;
    const char *header = m_chunkWindow.peek(offset, 4, &got);
    return got == 4 && std::memcmp(header, id, 4) == 0;
}

bool ContainerAVI::idx1IsAbsolute(quint64 offset, quint64 entries, bool *checked)
{
    int relative = 0;
    int absolute = 0;
    for (quint64 i = 0; i < qMin(entries, probedEntries); ++i) {
        char entry[idx1EntrySize];
        window.read(offset + i * idx1EntrySize, entry, idx1EntrySize);
        if (!isFrameEntry(entry) && !isPaletteEntry(entry))
            continue;
        const quint32 chunkOffset = qFromLittleEndian<quint32>(entry + 8);
        relative += chunkAt(m_moviOffset + chunkOffset, entry);
        absolute += chunkAt(chunkOffset, entry);
    }
    *checked = relative + absolute > 0;
    return absolute > relative;
}

int ContainerAVI::parseChunkIDX1(quint64 offset, uint size)
{
    //  0 chunk_id  4 Flags  8 Offset (from the "movi" list type or the file start)  12 Size
    const quint64 entries = size / idx1EntrySize;
    bool checked = false;
    const bool absolute = idx1IsAbsolute(offset, entries, &checked);
    // When no entry points at a chunk of its id either way, the offsets are taken as the
    // common relative ones and not checked further.
    if (checked)
        addNote(absolute ? QStringLiteral("Offsets are absolute: counted from the start of the file.")
                         : QStringLiteral("Offsets are relative to the movi list."));
    const quint64 base = absolute ? 0 : m_moviOffset;

    int result = Status::Success;
    bool missingNoted = false;
    bool strayNoted = false;
    quint64 walked = 0;
    while (walked < entries) {
        const quint64 at = offset + walked * idx1EntrySize;
        char entry[idx1EntrySize] = {};
        quint64 got = 0;
        if (const char *bytes = window.peek(at, idx1EntrySize, &got))
            std::memcpy(entry, bytes, size_t(got));
        const char *id = entry;
        const quint32 flags = qFromLittleEndian<quint32>(entry + 4);
        const quint32 chunkOffset = qFromLittleEndian<quint32>(entry + 8);
        const quint32 chunkSize = qFromLittleEndian<quint32>(entry + 12);

        const bool key = (flags & 0x10) && isVideoEntry(id);
        QString flagNames;
        if (flags & 0x1)
            flagNames += QLatin1String("AVIIF_LIST");
        if (key)
            flagNames += QLatin1String("AVIIF_KEYFRAME");
        if (flags & 0x100)
            flagNames += QLatin1String("AVIIF_NOTIME");
        if (flags & 0x0FFF0000)
            flagNames += QLatin1String("AVIIF_COMPUSE");

        const quint64 chunk = base + chunkOffset;
        beginGroup(at, idx1EntrySize, QStringLiteral("idx1_entry"), qint64(walked));
        setGroupReadable(chunkSummary(id, key, chunkSize, chunk));
        addField(at, 4, QStringLiteral("chunk_id"), fourccText(id));
        addField(at + 4, 4, QStringLiteral("Flags"), unsignedNumber(flags), flagNames);
        addField(at + 8, 4, QStringLiteral("Offset"), offsetNumber(chunkOffset));
        linkLastElement(chunk);
        addField(at + 12, 4, QStringLiteral("Size"), offsetNumber(chunkSize));
        endGroup();
        ++walked;

        const int stream = streamOf(id);
        if (checked && isFrameEntry(id) && stream >= 0 && stream < streams.size() && takesIdx1(stream)
            && !chunkAt(chunk, id)) {
            if (!strayNoted)
                addNote(QStringLiteral("Entry %1 points at no %2 chunk; entries like it are not frames.")
                            .arg(walked - 1)
                            .arg(fourccText(id)));
            strayNoted = true;
            continue;
        }
        if (!registerIndexEntry(id, flags, chunk, chunkSize, walked - 1, &missingNoted)) {
            result = Status::NotVideoStream;
            break;
        }
    }
    for (StreamClock &clock : m_clocks)
        if (clock.source == CurrentIdx1Source)
            clock.source = Idx1Source;

    const quint64 rest = quint64(size) - walked * idx1EntrySize;
    if (rest > 0)
        addGarbage(offset + walked * idx1EntrySize, rest);
    return result;
}

bool ContainerAVI::registerIndexEntry(const char *id, quint32 flags, quint64 chunkOffset, quint32 chunkSize,
                                      quint64 entry, bool *missingNoted)
{
    const bool video = isVideoEntry(id);
    const bool palette = isPaletteEntry(id);
    // Entries of lists ("rec ") and other chunks hold no stream data.
    if (!isFrameEntry(id) && !palette)
        return true;
    const int stream = streamOf(id);
    if (stream < 0 || stream >= streams.size()) {
        // An empty chunk stands for a dropped frame: nothing is lost without its stream.
        if (chunkSize == 0)
            return true;
        if (video) {
            addNote(QStringLiteral("Entry %1 names stream %2, which is not a stream of the file; "
                                   "the rest of the index is not read.")
                        .arg(entry)
                        .arg(QString::fromLatin1(id, 2)));
            return false;
        }
        if (!*missingNoted)
            addNote(QStringLiteral("Entry %1 names stream %2, which the file does not have; entries "
                                   "naming such streams are not frames.")
                        .arg(entry)
                        .arg(QString::fromLatin1(id, 2)));
        *missingNoted = true;
        return true;
    }
    // A palette change is no frame: it changes the colours of the video frames after it.
    if (palette)
        return true;
    // The frames of a stream with OpenDML indexes, or listed by an earlier idx1, are known.
    if (!takesIdx1(stream))
        return true;
    clockOf(stream).source = CurrentIdx1Source;
    // AVIIF_KEYFRAME is defined for video frames; every chunk of another stream can be decoded
    // on its own, whatever its id says.
    registerChunk(stream, chunkOffset + chunkHeaderSize, chunkSize, !isVideoStream(stream) || (flags & 0x10));
    return true;
}

int ContainerAVI::parseChunkINDX(quint64 offset, uint size)
{
    return parseIndex(offset, size, true);
}

int ContainerAVI::parseChunkIX(quint64 offset, uint size)
{
    // A chunk whose size field claims less than the header of an index is no index; one that
    // the end of the file cuts short still is.
    char sizeField[4];
    window.read(offset - 4, sizeField, sizeof sizeField);
    if (qFromLittleEndian<quint32>(sizeField) < indxHeaderSize) {
        addNote(QStringLiteral("The chunk is too short for a standard index."));
        addField(offset, size, QStringLiteral("value"), QString());
        return Status::Success;
    }
    return parseIndex(offset, size, false);
}

int ContainerAVI::parseIndex(quint64 offset, uint size, bool follow)
{
    //  0 wLongsPerEntry  2 bIndexSubType  3 bIndexType  4 nEntriesInUse  8 dwChunkId
    // 12 qwBaseOffset (8) and dwReserved3 (4) of a standard index, or three reserved DWORDs
    char header[indxHeaderSize];
    readStructure(offset, size, header, indxHeaderSize);
    const ByteReader h(QByteArray::fromRawData(header, sizeof header));
    const quint16 longsPerEntry = h.u16le(0);
    const quint8 indexType = h.u8(3);
    const quint32 entriesInUse = h.u32le(4);
    const quint64 baseOffset = h.u64le(12);
    addField(offset, 2, QStringLiteral("wLongsPerEntry"), unsignedNumber(longsPerEntry));
    addField(offset + 2, 1, QStringLiteral("bIndexSubType"), unsignedNumber(h.u8(2)));
    addField(offset + 3, 1, QStringLiteral("bIndexType"), unsignedNumber(indexType));
    addField(offset + 4, 4, QStringLiteral("nEntriesInUse"), unsignedNumber(entriesInUse));
    addField(offset + 8, 4, QStringLiteral("dwChunkId"), fourccText(header + 8));
    if (indexType != IndexOfIndexes) {
        addField(offset + 12, 8, QStringLiteral("qwBaseOffset"), unsignedNumber(baseOffset));
        addField(offset + 20, 4, QStringLiteral("dwReserved3"), unsignedNumber(h.u32le(20)));
    } else {
        addField(offset + 12, 12, QStringLiteral("dwReserved"),
                 QStringLiteral("%1 %2 %3")
                     .arg(unsignedNumber(h.u32le(12)), unsignedNumber(h.u32le(16)), unsignedNumber(h.u32le(20))));
    }

    const quint64 end = offset + size;
    quint64 p = offset + indxHeaderSize;
    if (p >= end)
        return Status::Success;
    if (indexType != IndexOfIndexes && indexType != IndexOfChunks) {
        addGarbage(p, end - p);
        return Status::Success;
    }

    // An entry holds the fields of its kind only as far as its own length reaches: a super index
    // entry takes 16 bytes, a standard index entry 8.
    const quint64 entrySize = quint64(longsPerEntry) * 4;
    const quint64 fieldsSize = indexType == IndexOfIndexes ? 16 : 8;
    if (entrySize == 0) {
        addNote(QStringLiteral("wLongsPerEntry is 0; the entries cannot be told apart."));
        addGarbage(p, end - p);
        return Status::Success;
    }
    if (entrySize < fieldsSize)
        addNote(QStringLiteral("Entries of %1 bytes are shorter than the %2 bytes of their fields; "
                               "the fields past an entry's end are not shown.")
                    .arg(entrySize)
                    .arg(fieldsSize));

    const quint64 fit = (end - p) / entrySize;
    const quint64 entries = qMin<quint64>(entriesInUse, fit);
    if (entries < entriesInUse)
        addNote(QStringLiteral("nEntriesInUse is %1 but the chunk holds %2 entries.").arg(entriesInUse).arg(entries));
    const auto within = [&](quint64 at, quint64 width) { return at + width <= entrySize; };
    // The super index in a "strl" belongs to the stream whose header began it.
    const int stream = follow && indexType == IndexOfIndexes ? int(streams.size()) - 1 : -1;
    QSet<quint64> followed;
    for (quint64 i = 0; i < entries; ++i, p += entrySize) {
        char entry[16];
        window.read(p, entry, qsizetype(qMin<quint64>(entrySize, sizeof entry)));
        const ByteReader e(QByteArray::fromRawData(entry, sizeof entry));
        beginGroup(p, entrySize, QStringLiteral("index_entry"), qint64(i));
        if (indexType == IndexOfIndexes && within(0, 16)) {
            SummaryText summary;
            summary << e.u32le(8) << " bytes at " << e.u64le(0) << ", duration " << e.u32le(12);
            setGroupReadable(summary.toString());
        } else if (indexType == IndexOfChunks && within(0, 8)) {
            setGroupReadable(chunkSummary(header + 8, !(e.u32le(4) & 0x80000000u), e.u32le(4) & 0x7FFFFFFFu,
                                          baseOffset + e.u32le(0)));
        }
        if (indexType == IndexOfIndexes) {
            if (within(0, 8)) {
                addField(p, 8, QStringLiteral("qwOffset"), offsetNumber(e.u64le(0)));
                linkLastElement(e.u64le(0));
            }
            if (within(8, 4))
                addField(p + 8, 4, QStringLiteral("dwSize"), offsetNumber(e.u32le(8)));
            if (within(12, 4))
                addField(p + 12, 4, QStringLiteral("dwDuration"), unsignedNumber(e.u32le(12)), timeAt(e.u32le(12)));
            const quint64 target = e.u64le(0);
            if (stream >= 0 && within(0, 12)) {
                if (followed.contains(target))
                    addNote(QStringLiteral("The standard index at %1 is listed before; it is read once.").arg(target));
                else if (followStandardIndex(stream, target, e.u32le(8), offset - chunkHeaderSize, end))
                    clockOf(stream).source = OpenDmlSource;
                followed.insert(target);
            }
        } else {
            const quint32 chunkOffset = e.u32le(0);
            const quint32 chunkSize = e.u32le(4);
            if (within(0, 4)) {
                addField(p, 4, QStringLiteral("dwOffset"), offsetNumber(chunkOffset),
                         QString::number(baseOffset + chunkOffset));
                linkLastElement(baseOffset + chunkOffset);
            }
            // Bit 31 of the size is set for a chunk that is not a key frame.
            if (within(4, 4))
                addField(p + 4, 4, QStringLiteral("dwSize"), offsetNumber(chunkSize),
                         QString::number(chunkSize & 0x7FFFFFFFu)
                             + ((chunkSize & 0x80000000u) ? QString() : QStringLiteral(" (Key frame)")));
        }
        endGroup();
    }
    if (p >= end)
        return Status::Success;
    // A super index reserves room for more entries than it uses.
    if (indexType == IndexOfIndexes && entries == entriesInUse)
        addField(p, end - p, QStringLiteral("unused"), QString());
    else
        addGarbage(p, end - p);
    return Status::Success;
}

bool ContainerAVI::followStandardIndex(int stream, quint64 offset, quint64 limit, quint64 superBegin,
                                       quint64 superEnd)
{
    if (offset >= superBegin && offset < superEnd) {
        addNote(QStringLiteral("The entry points into the super index itself; it is not followed."));
        return false;
    }
    const quint64 fileSize = window.size();
    const quint64 headerSize = chunkHeaderSize + indxHeaderSize;
    if (offset >= fileSize || fileSize - offset < headerSize) {
        addNote(QStringLiteral("The entry points at %1, past the end of the file.").arg(offset));
        return false;
    }
    char header[headerSize] = {};
    const QByteArray bytes = window.glance(offset, headerSize);
    std::memcpy(header, bytes.constData(), size_t(qMin<qsizetype>(bytes.size(), headerSize)));
    const ByteReader h(QByteArray::fromRawData(header, sizeof header));
    const quint64 longsPerEntry = h.u16le(8);
    const quint32 entriesInUse = h.u32le(12);
    const quint64 baseOffset = h.u64le(20);
    if (h.u8(11) != IndexOfChunks || longsPerEntry < 2) {
        addNote(QStringLiteral("The entry points at %1, where no standard index begins.").arg(offset));
        return false;
    }
    // The index ends where its chunk, the size the entry gives it or the file ends first.
    quint64 length = qMin<quint64>(h.u32le(4), fileSize - offset - chunkHeaderSize);
    if (limit >= chunkHeaderSize)
        length = qMin(length, limit - chunkHeaderSize);
    const quint64 entrySize = longsPerEntry * 4;
    const quint64 fit = length > indxHeaderSize ? (length - indxHeaderSize) / entrySize : 0;
    quint64 entries = qMin<quint64>(entriesInUse, fit);
    if (entries < entriesInUse)
        addNote(QStringLiteral("The standard index at %1 claims %2 entries but holds %3.")
                    .arg(offset)
                    .arg(entriesInUse)
                    .arg(entries));
    // Every chunk takes at least its header: super indexes that list the same entries again and
    // again (overlapping standard indexes) are followed no further than that.
    const quint64 room = fileSize / chunkHeaderSize - qMin(m_followedEntries, fileSize / chunkHeaderSize);
    if (entries > room) {
        addNote(QStringLiteral("The standard indexes list more chunks than the file has room for; "
                               "the rest are not read."));
        entries = room;
    }
    m_followedEntries += entries;

    const quint64 perBlock = qMax<quint64>(1, indexBlockSize / entrySize);
    quint64 at = offset + headerSize;
    for (quint64 done = 0; done < entries;) {
        const quint64 wanted = qMin(perBlock, entries - done);
        const QByteArray block = window.glance(at, wanted * entrySize);
        const quint64 got = quint64(block.size()) / entrySize;
        for (quint64 i = 0; i < got; ++i) {
            const char *entry = block.constData() + i * entrySize;
            const quint32 chunkSize = qFromLittleEndian<quint32>(entry + 4);
            registerChunk(stream, baseOffset + qFromLittleEndian<quint32>(entry), chunkSize & 0x7FFFFFFFu,
                          !(chunkSize & 0x80000000u));
        }
        if (got < wanted)
            break;
        done += got;
        at += got * entrySize;
    }
    return true;
}

void ContainerAVI::scanMoviLists()
{
    const bool unlisted = std::any_of(m_clocks.begin(), m_clocks.end(),
                                      [](const StreamClock &clock) { return clock.source == NoSource; })
        || m_clocks.size() < size_t(streams.size());
    if (!unlisted)
        return;
    for (const MoviList &movi : m_moviLists)
        scanChunks(movi.begin + 4, movi.end, 0);
}

void ContainerAVI::scanChunks(quint64 begin, quint64 end, int depth)
{
    // Only the chunk headers are read; the chunks of "rec " lists are taken in their place.
    for (quint64 at = begin; at < end && end - at >= chunkHeaderSize;) {
        quint64 got = 0;
        const char *header = window.peek(at, 12, &got);
        if (got < chunkHeaderSize)
            return;
        char id[4];
        std::memcpy(id, header, 4);
        const quint32 size = qFromLittleEndian<quint32>(header + 4);
        const quint64 data = at + chunkHeaderSize;
        const int stream = streamOf(id);
        if (std::memcmp(id, "LIST", 4) == 0 && depth == 0 && got >= 12) {
            scanChunks(data + 4, qMin<quint64>(end, data + size), depth + 1);
        } else if (isFrameEntry(id) && stream >= 0 && stream < streams.size()
                   && clockOf(stream).source == NoSource) {
            // Without an index nothing tells which video frames are key frames.
            registerChunk(stream, data, size, !isVideoStream(stream));
        }
        at = data + size + (size & 1);
    }
}
