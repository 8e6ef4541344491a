// The sample description box (ISO/IEC 14496-12, 8.5.2), the visual sample entry and the
// decoder configuration boxes nested in it (ISO/IEC 14496-15 "avcC"; 3GPP TS 26.244 "d263",
// "bitr").

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

namespace {

// Fixed part of a visual sample entry, its 8-byte box header included.
constexpr quint64 visualEntryFields = 86;

int codecOf(const QString &sampleEntryType)
{
    if (sampleEntryType == QLatin1String("avc1"))
        return 28;
    if (sampleEntryType == QLatin1String("mp4v"))
        return 13;
    if (sampleEntryType == QLatin1String("s263"))
        return 5;
    return -1;
}

QString textUpToZero(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), qsizetype(qstrnlen(bytes.constData(), size_t(bytes.size()))));
}

} // namespace

// stsd: entry_count (4), then the sample entries, each a box: size (4), type (4), its fields.
int ContainerIso::parseBoxSTSD(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("entry_count"), number(claimed));
    const StreamRecord *stream = currentStream();
    const bool video = stream && stream->kind == StreamRecord::Video;
    int status = Status::Success;
    quint64 at = 4;
    quint32 shown = 0;
    while (shown < claimed && at < size) {
        if (size - at < 8) {
            addNote(QStringLiteral("%1 bytes after the last sample entry are too few for another one.").arg(size - at));
            break;
        }
        const quint64 entryClaim = reader.u32be(qsizetype(at));
        quint64 entrySize = entryClaim;
        bool lastEntry = false;
        if (entryClaim < 8) {
            addNote(QStringLiteral("Sample entry %1 claims %2 bytes; it is taken to end with the box.").arg(shown).arg(entryClaim));
            entrySize = size - at;
            lastEntry = true;
        } else if (entryClaim > size - at) {
            entrySize = size - at;
            lastEntry = true;
        }
        const int entryStatus = walkSampleEntry(payload, offset, at, entrySize, qMax(entryClaim, entrySize), shown, video);
        if (status == Status::Success)
            status = entryStatus;
        ++shown;
        // Only the first entry of a track that is not video is shown.
        if (!video || lastEntry)
            break;
        at += entrySize;
    }
    if (video && shown < claimed && at >= size)
        addNote(QStringLiteral("entry_count claims %1 entries; only %2 fit in the box.").arg(claimed).arg(shown));
    return status;
}

// Visual sample entry (ISO/IEC 14496-12, 12.1.3), from the start of the entry:
//   size (4) type (4) reserved (6) data_reference_index (2) pre_defined (2) reserved (2)
//   pre_defined (12) width (2) height (2) horizresolution (4) vertresolution (4) reserved (4)
//   frame_count (2) compressorname (32) depth (2) pre_defined (2), then boxes.
int ContainerIso::walkSampleEntry(const QByteArray &payload, quint64 payloadOffset, quint64 entryStart,
                                  quint64 entrySize, quint64 claimed, qint64 index, bool video)
{
    const quint64 e = payloadOffset + entryStart;
    const QByteArray entry = payload.mid(qsizetype(entryStart), qsizetype(entrySize));
    const ByteReader reader(entry);
    const QByteArray type = reader.bytes(4, 4);
    const QString typeText = QString::fromLatin1(type.constData(), qsizetype(qstrnlen(type.constData(), size_t(type.size()))));
    int status = Status::Success;
    const auto fail = [this, &status](int result) {
        keepFailure(result);
        if (status == Status::Success)
            status = result;
    };
    beginGroup(e, entrySize, QStringLiteral("sample_entry"), index);
    if (claimed > entrySize) {
        noteCut(e, claimed);
        fail(Status::UnexpectedEnd);
    }
    const Bound bound(*this, e + entrySize);
    addField(e, 4, QStringLiteral("size"), QString::number(reader.u32be(0), numberBase));
    addField(e + 4, 4, QStringLiteral("type"), typeText);
    // The first entry names the track's codec.
    StreamRecord *stream = index == 0 ? currentStream() : nullptr;
    if (stream && stream->codec.isEmpty())
        stream->codec = typeText;
    if (!video) {
        if (entrySize > 8)
            addField(e + 8, entrySize - 8, QStringLiteral("specific_config_data"), QString());
        endGroup();
        return status;
    }

    const int codec = codecOf(typeText);
    if (stream && codec >= 0)
        stream->codecId = codec;
    const auto raw = [&](quint64 at, quint64 bytes, const QString &name, const QString &description) {
        addField(e + at, bytes, name, QString::fromLatin1(reader.bytes(qsizetype(at), qsizetype(bytes)).toHex()),
                 QString(), description);
    };
    const QString defaultZero = QStringLiteral("default 0");
    const QString defaultResolution = QStringLiteral("default 0x00480000 (72 dpi)");
    raw(8, 6, QStringLiteral("reserved"), defaultZero);
    addField(e + 14, 2, QStringLiteral("data_reference_index"), number(reader.u16be(14)));
    addField(e + 16, 2, QStringLiteral("pre_defined"), number(reader.u16be(16)), QString(), defaultZero);
    addField(e + 18, 2, QStringLiteral("reserved"), number(reader.u16be(18)), QString(), defaultZero);
    raw(20, 12, QStringLiteral("pre_defined"), defaultZero);
    const quint16 width = reader.u16be(32);
    const quint16 height = reader.u16be(34);
    addField(e + 32, 2, QStringLiteral("width"), number(width));
    addField(e + 34, 2, QStringLiteral("height"), number(height));
    if (stream) {
        stream->width = width;
        stream->height = height;
    }
    raw(36, 4, QStringLiteral("horizresolution"), defaultResolution);
    raw(40, 4, QStringLiteral("vertresolution"), defaultResolution);
    addField(e + 44, 4, QStringLiteral("reserved"), number(reader.u32be(44)), QString(), defaultZero);
    addField(e + 48, 2, QStringLiteral("frame_count"), number(reader.u16be(48)), QString(), QStringLiteral("default 1"));
    addField(e + 50, 32, QStringLiteral("compressorname"), textUpToZero(reader.bytes(50, 32)));
    addField(e + 82, 2, QStringLiteral("depth"), number(reader.u16be(82)), QString(), QStringLiteral("default 24 (0x18)"));
    addField(e + 84, 2, QStringLiteral("pre_defined"), signedNumber(qint16(reader.u16be(84))), QString(), QStringLiteral("default -1"));
    noteMissingFields(bound, e);
    if (bound.missing() > 0)
        fail(Status::UnexpectedEnd);

    const quint64 fixedEnd = visualEntryFields;
    if (entrySize > fixedEnd) {
        const quint64 rest = entrySize - fixedEnd;
        if (rest < m_variant.nestedBoxesFrom) {
            addField(e + fixedEnd, rest, QStringLiteral("data"), QString());
        } else {
            beginGroup(e + fixedEnd, rest, QStringLiteral("specific_config_data"), -1);
            fail(walkBoxes(e + fixedEnd));
            endGroup();
        }
    }
    endGroup();
    return status;
}

int ContainerIso::parseBoxAVCC(quint64 offset, quint64 size)
{
    if (StreamRecord *stream = currentStream()) {
        stream->configOffset = offset;
        stream->configSize = size;
    }
    addField(offset, size, QStringLiteral("data"), QString());
    return Status::Success;
}

// d263: vendor (4), decoder_version (1), h263_Level (1), h263_profile (1), then optional boxes.
int ContainerIso::parseBoxD263(quint64 offset, quint64 size)
{
    if (StreamRecord *stream = currentStream()) {
        stream->configOffset = offset;
        stream->configSize = size;
    }
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 7));
    const ByteReader reader(payload);
    const QByteArray vendor = reader.bytes(0, 4);
    beginGroup(offset, qMin<quint64>(size, 7), QStringLiteral("h263_dec_spec_struc"), -1);
    addField(offset, 4, QStringLiteral("vendor"),
             QString::fromLatin1(vendor.constData(), qsizetype(qstrnlen(vendor.constData(), size_t(vendor.size())))));
    addField(offset + 4, 1, QStringLiteral("decoder_version"), number(reader.u8(4)));
    addField(offset + 5, 1, QStringLiteral("h263_Level"), number(reader.u8(5)));
    addField(offset + 6, 1, QStringLiteral("h263_profile"), number(reader.u8(6)));
    endGroup();
    int status = Status::Success;
    if (size >= 16)
        status = walkBoxes(offset + 7);
    else if (size > 7)
        addField(offset + 7, size - 7, QStringLiteral("unknown_data"), QString(), QString(),
                 QStringLiteral("These data would not be here!"));
    return status;
}

// bitr: avg_bitrate (4), max_bitrate (4).
int ContainerIso::parseBoxBITR(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 8));
    const ByteReader reader(payload);
    beginGroup(offset, qMin<quint64>(size, 8), QStringLiteral("dec_bitr_struc"), -1);
    addField(offset, 4, QStringLiteral("avg_bitrate"), number(reader.u32be(0)));
    addField(offset + 4, 4, QStringLiteral("max_bitrate"), number(reader.u32be(4)));
    endGroup();
    return Status::Success;
}
