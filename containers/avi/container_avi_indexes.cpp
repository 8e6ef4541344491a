// Handlers of the index chunks: the AVI 1.0 "idx1" and the OpenDML "indx".

#include "container_avi.h"

#include "byte_reader.h"
#include "status.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint idx1EntrySize = 16;
constexpr uint indxHeaderSize = 24;

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

// Video frames: uncompressed ("db") and compressed ("dc") chunks.
bool isVideoEntry(const char *id)
{
    return id[2] == 'd' && (id[3] == 'b' || id[3] == 'c');
}

} // namespace

int ContainerAVI::parseChunkIDX1(quint64 offset, uint size)
{
    //  0 chunk_id  4 Flags  8 Offset (from the "movi" list type)  12 Size
    const quint64 entries = size / idx1EntrySize;
    int result = Status::Success;
    bool missingNoted = false;
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

        QString flagNames;
        if (flags & 0x1)
            flagNames += QLatin1String("AVIIF_LIST");
        if ((flags & 0x10) && isVideoEntry(id))
            flagNames += QLatin1String("AVIIF_KEYFRAME");
        if (flags & 0x100)
            flagNames += QLatin1String("AVIIF_NOTIME");
        if (flags & 0x0FFF0000)
            flagNames += QLatin1String("AVIIF_COMPUSE");

        beginGroup(at, idx1EntrySize, QStringLiteral("idx1_entry"), qint64(walked));
        addField(at, 4, QStringLiteral("chunk_id"), fourccText(id));
        addField(at + 4, 4, QStringLiteral("Flags"), unsignedNumber(flags), flagNames);
        addField(at + 8, 4, QStringLiteral("Offset"), unsignedNumber(chunkOffset));
        addField(at + 12, 4, QStringLiteral("Size"), unsignedNumber(chunkSize));
        endGroup();
        ++walked;

        if (!registerIndexEntry(id, flags, chunkOffset, chunkSize, walked - 1, &missingNoted)) {
            result = Status::NotVideoStream;
            break;
        }
    }

    const quint64 rest = quint64(size) - walked * idx1EntrySize;
    if (rest > 0)
        addGarbage(offset + walked * idx1EntrySize, rest);
    return result;
}

bool ContainerAVI::registerIndexEntry(const char *id, quint32 flags, quint32 chunkOffset, quint32 chunkSize,
                                      quint64 entry, bool *missingNoted)
{
    const bool video = isVideoEntry(id);
    const bool audio = id[2] == 'w' && id[3] == 'b';
    const bool palette = id[2] == 'p' && id[3] == 'c';
    // An empty chunk stands for a dropped frame; entries of lists ("rec ") and other chunks hold
    // no stream data.
    if (chunkSize == 0 || (!video && !audio && !palette))
        return true;
    const int high = hexValue(id[0]);
    const int low = hexValue(id[1]);
    const int stream = high < 0 || low < 0 ? -1 : high * 16 + low;
    if (video) {
        if (stream < 0 || std::find(m_videoStreams.begin(), m_videoStreams.end(), uint(stream)) == m_videoStreams.end()) {
            addNote(QStringLiteral("Entry %1 names stream %2, which is not a video stream of the file; "
                                   "the rest of the index is not read.")
                        .arg(entry)
                        .arg(QString::fromLatin1(id, 2)));
            return false;
        }
        keyFrame = int(flags & 0x10);
    } else {
        if (stream < 0 || stream >= streams.size()) {
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
        // AVIIF_KEYFRAME is defined for video frames; every audio chunk can be decoded on its own.
        keyFrame = 1;
    }
    frameOffset = m_moviOffset + chunkOffset + 8;
    frameSize = chunkSize;
    registerStreamFrame(stream);
    return true;
}

int ContainerAVI::parseChunkINDX(quint64 offset, uint size)
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
    for (quint64 i = 0; i < entries; ++i, p += entrySize) {
        char entry[16];
        window.read(p, entry, qsizetype(qMin<quint64>(entrySize, sizeof entry)));
        const ByteReader e(QByteArray::fromRawData(entry, sizeof entry));
        beginGroup(p, entrySize, QStringLiteral("index_entry"), qint64(i));
        if (indexType == IndexOfIndexes) {
            if (within(0, 8))
                addField(p, 8, QStringLiteral("qwOffset"), unsignedNumber(e.u64le(0)));
            if (within(8, 4))
                addField(p + 8, 4, QStringLiteral("dwSize"), unsignedNumber(e.u32le(8)));
            if (within(12, 4))
                addField(p + 12, 4, QStringLiteral("dwDuration"), unsignedNumber(e.u32le(12)), timeAt(e.u32le(12)));
        } else {
            const quint32 chunkOffset = e.u32le(0);
            const quint32 chunkSize = e.u32le(4);
            if (within(0, 4))
                addField(p, 4, QStringLiteral("dwOffset"), unsignedNumber(chunkOffset),
                         QString::number(baseOffset + chunkOffset));
            // Bit 31 of the size is set for a chunk that is not a key frame.
            if (within(4, 4))
                addField(p + 4, 4, QStringLiteral("dwSize"), unsignedNumber(chunkSize),
                         QString::number(chunkSize & 0x7FFFFFFFu)
                             + ((chunkSize & 0x80000000u) ? QString() : QStringLiteral(" (Key frame)")));
        }
        endGroup();
    }
    if (p < end)
        addGarbage(p, end - p);
    return Status::Success;
}

int ContainerAVI::parseChunkIX(quint64 offset, uint size)
{
    addField(offset, size, QStringLiteral("value"), QString());
    return Status::Success;
}
