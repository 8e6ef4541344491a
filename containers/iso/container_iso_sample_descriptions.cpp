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
    field(offset, 4, QStringLiteral("entry_count"), number(claimed));
    const bool video = currentVideoTrack() != nullptr;
    int status = Status::Success;
    quint64 at = 4;
    quint32 shown = 0;
    while (shown < claimed && at < size) {
        if (size - at < 8) {
            addNote(QStringLiteral("%1 bytes after the last sample entry are too few for another one.").arg(size - at));
            break;
        }
        quint64 entrySize = reader.u32be(qsizetype(at));
        bool lastEntry = false;
        if (entrySize < 8 || entrySize > size - at) {
            addNote(QStringLiteral("Sample entry %1 claims %2 bytes; it is taken to end with the box.").arg(shown).arg(entrySize));
            entrySize = size - at;
            lastEntry = true;
        }
        status = walkSampleEntry(payload, offset, at, entrySize, shown, video);
        ++shown;
        // Only the first entry of a track that is not video is shown.
        if (!video || lastEntry)
            break;
        at += entrySize;
    }
    if (video && shown < claimed && at >= size)
        addNote(QStringLiteral("entry_count claims %1 entries; only %2 fit in the box.").arg(claimed).arg(shown));
    file.seek(qint64(offset));
    return status;
}

// Visual sample entry (ISO/IEC 14496-12, 12.1.3), from the start of the entry:
//   size (4) type (4) reserved (6) data_reference_index (2) pre_defined (2) reserved (2)
//   pre_defined (12) width (2) height (2) horizresolution (4) vertresolution (4) reserved (4)
//   frame_count (2) compressorname (32) depth (2) pre_defined (2), then boxes.
int ContainerIso::walkSampleEntry(const QByteArray &payload, quint64 payloadOffset,
                                  quint64 entryStart, quint64 entrySize, qint64 index, bool video)
{
    const quint64 e = payloadOffset + entryStart;
    QByteArray entry = payload.mid(qsizetype(entryStart), qsizetype(entrySize));
    const ByteReader header(entry);
    const QByteArray type = header.bytes(4, 4);
    const QString typeText = QString::fromLatin1(type.constData(), qsizetype(qstrnlen(type.constData(), size_t(type.size()))));
    beginGroup(e, entrySize, QStringLiteral("sample_entry"), index);
    field(e, 4, QStringLiteral("size"), QString::number(header.u32be(0), numberBase));
    field(e + 4, 4, QStringLiteral("type"), typeText);
    if (!video) {
        if (entrySize > 8)
            field(e + 8, entrySize - 8, QStringLiteral("specific_config_data"), QString());
        endGroup();
        return Status::Success;
    }

    StreamRecord *stream = index == 0 && !streams.isEmpty() ? &streams.last() : nullptr;
    const int codec = codecOf(typeText);
    if (stream && codec >= 0)
        stream->codecId = codec;
    // Fields past the end of a short entry are left out, as past the end of a box.
    const quint64 savedFieldEnd = m_fieldEnd;
    const bool savedFieldsCut = m_fieldsCut;
    m_fieldEnd = e + entrySize;
    m_fieldsCut = false;
    if (quint64(entry.size()) < visualEntryFields)
        entry.append(qsizetype(visualEntryFields) - entry.size(), '\0');
    const ByteReader reader(entry);
    const auto raw = [&](quint64 at, quint64 bytes, const QString &name, const QString &description) {
        if (fits(e + at, bytes))
            addDataElement(e + at, bytes, reinterpret_cast<const uchar *>(entry.constData() + at), name,
                           description);
    };
    const QString defaultZero = QStringLiteral("default 0");
    const QString defaultResolution = QStringLiteral("default 0x00480000 (72 dpi)");
    raw(8, 6, QStringLiteral("reserved"), defaultZero);
    field(e + 14, 2, QStringLiteral("data_reference_index"), number(reader.u16be(14)));
    field(e + 16, 2, QStringLiteral("pre_defined"), number(reader.u16be(16)), defaultZero);
    field(e + 18, 2, QStringLiteral("reserved"), number(reader.u16be(18)), defaultZero);
    raw(20, 12, QStringLiteral("pre_defined"), defaultZero);
    const quint16 width = reader.u16be(32);
    const quint16 height = reader.u16be(34);
    field(e + 32, 2, QStringLiteral("width"), number(width));
    field(e + 34, 2, QStringLiteral("height"), number(height));
    if (stream) {
        stream->width = width;
        stream->height = height;
    }
    raw(36, 4, QStringLiteral("horizresolution"), defaultResolution);
    raw(40, 4, QStringLiteral("vertresolution"), defaultResolution);
    field(e + 44, 4, QStringLiteral("reserved"), number(reader.u32be(44)), defaultZero);
    field(e + 48, 2, QStringLiteral("frame_count"), number(reader.u16be(48)), QStringLiteral("default 1"));
    field(e + 50, 32, QStringLiteral("compressorname"), textUpToZero(reader.bytes(50, 32)));
    field(e + 82, 2, QStringLiteral("depth"), number(reader.u16be(82)), QStringLiteral("default 24 (0x18)"));
    field(e + 84, 2, QStringLiteral("pre_defined"), signedNumber(qint16(reader.u16be(84))), QStringLiteral("default -1"));

    if (m_fieldsCut)
        addNote(QStringLiteral("The sample entry ends inside its fields; the fields past its end are not shown."));
    m_fieldEnd = savedFieldEnd;
    m_fieldsCut = savedFieldsCut;

    int status = Status::Success;
    const quint64 fixedEnd = visualEntryFields;
    if (entrySize > fixedEnd) {
        const quint64 rest = entrySize - fixedEnd;
        if (rest < m_variant.nestedBoxesFrom) {
            field(e + fixedEnd, rest, QStringLiteral("data"), QString());
        } else {
            beginGroup(e + fixedEnd, rest, QStringLiteral("specific_config_data"), -1);
            status = walkBoxes(e + fixedEnd, e + entrySize);
            endGroup();
        }
    }
    endGroup();
    return status;
}

int ContainerIso::parseBoxAVCC(quint64 offset, quint64 size)
{
    if (currentTrack() && !streams.isEmpty()) {
        streams.last().configOffset = offset;
        streams.last().configSize = size;
    }
    field(offset, size, QStringLiteral("data"), QString());
    return Status::Success;
}

// d263: vendor (4), decoder_version (1), h263_Level (1), h263_profile (1), then optional boxes.
int ContainerIso::parseBoxD263(quint64 offset, quint64 size)
{
    if (currentTrack() && !streams.isEmpty()) {
        streams.last().configOffset = offset;
        streams.last().configSize = size;
    }
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 7));
    const ByteReader reader(payload);
    const QByteArray vendor = reader.bytes(0, 4);
    beginGroup(offset, qMin<quint64>(size, 7), QStringLiteral("h263_dec_spec_struc"), -1);
    field(offset, 4, QStringLiteral("vendor"),
          QString::fromLatin1(vendor.constData(), qsizetype(qstrnlen(vendor.constData(), size_t(vendor.size())))));
    field(offset + 4, 1, QStringLiteral("decoder_version"), number(reader.u8(4)));
    field(offset + 5, 1, QStringLiteral("h263_Level"), number(reader.u8(5)));
    field(offset + 6, 1, QStringLiteral("h263_profile"), number(reader.u8(6)));
    endGroup();
    int status = Status::Success;
    if (size >= 16)
        status = walkBoxes(offset + 7, offset + size);
    else if (size > 7)
        field(offset + 7, size - 7, QStringLiteral("unknown_data"), QString(),
              QStringLiteral("These data would not be here!"));
    file.seek(qint64(offset));
    return status;
}

// bitr: avg_bitrate (4), max_bitrate (4).
int ContainerIso::parseBoxBITR(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 8));
    const ByteReader reader(payload);
    beginGroup(offset, qMin<quint64>(size, 8), QStringLiteral("dec_bitr_struc"), -1);
    field(offset, 4, QStringLiteral("avg_bitrate"), number(reader.u32be(0)));
    field(offset + 4, 4, QStringLiteral("max_bitrate"), number(reader.u32be(4)));
    endGroup();
    file.seek(qint64(offset));
    return Status::Success;
}
