// The sample table boxes (ISO/IEC 14496-12, 8.6 and 8.7), the sample groups (8.9), the track
// references (8.3.3) and the sample walk that turns the tables of every track into frames once
// the whole file has been walked.

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"
#include "summary_text.h"

#include <QHash>

namespace {

// Four bytes as text up to the first zero byte, as a box type is read.
QString fourCharacters(const ByteReader &reader, qsizetype at)
{
    const QByteArray bytes = reader.bytes(at, 4);
    return QString::fromLatin1(bytes.constData(), qsizetype(qstrnlen(bytes.constData(), size_t(bytes.size()))));
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

// The reference types a "tref" holds, from the MP4 registration authority's lists (ISO and
// QuickTime) and the QuickTime File Format's. The registry's "iloc" is an item reference whose
// code the item location box has too: it is left out.
constexpr const char *trackReferenceTypes[] = {
    "adda", "adrc", "auxl", "avcp", "cdep", "cdsc", "cdtg", "chap", "clcp", "deps", "dpnd", "fall",
    "folw", "font", "forc", "hind", "hint", "ipir", "lyra", "mixn", "mpod", "oref", "recr", "sabt",
    "sbas", "scal", "scpt", "shsc", "ssrc", "subp", "subt", "swfr", "swto", "sync", "tbas", "thmb",
    "tmcd", "vdep", "vplx", "vref", "vvcN"};

// The four 2-bit fields of an "sdtp" entry, from the most significant, with the readable of
// each value.
struct DependencyField
{
    const char *name;
    const char *readables[4];
};

constexpr DependencyField dependencyFields[] = {
    {"is_leading", {"unknown", "leading, not decodable", "not leading", "leading, decodable"}},
    {"sample_depends_on", {"unknown", "depends on others", "does not depend on others (I-picture)", "reserved"}},
    {"sample_is_depended_on", {"unknown", "others depend on it", "no other depends on it (disposable)", "reserved"}},
    {"sample_has_redundancy", {"unknown", "redundant coding", "no redundant coding", "reserved"}}};

// Steps through a table of runs (count, value) one sample at a time.
template <typename Run>
class RunCursor
{
public:
    explicit RunCursor(const std::vector<Run> &runs) : m_runs(runs) {}

    /// The run the next sample belongs to, or null past the table; runs of no sample are skipped.
    const Run *next()
    {
        while (m_run < m_runs.size() && m_left == 0) {
            m_left = m_runs[m_run].count;
            if (m_left == 0)
                ++m_run;
        }
        if (m_run >= m_runs.size())
            return nullptr;
        const Run *run = &m_runs[m_run];
        if (--m_left == 0)
            ++m_run;
        return run;
    }

private:
    const std::vector<Run> &m_runs;
    size_t m_run = 0;
    quint64 m_left = 0;
};

// The length of an entry of a version 0 "sgpd", which gives none, for the grouping types whose
// entries tell it; 0 for the others.
quint64 versionZeroEntryLength(const QString &groupingType, const ByteReader &reader, qsizetype at)
{
    if (groupingType == QLatin1String("roll") || groupingType == QLatin1String("prol"))
        return 2;
    if (groupingType == QLatin1String("rap ") || groupingType == QLatin1String("sync")
        || groupingType == QLatin1String("tele"))
        return 1;
    if (groupingType == QLatin1String("alst"))
        return 4 + 4 * quint64(reader.u16be(at));
    if (groupingType == QLatin1String("seig")) {
        const bool constantIv = reader.u8(at + 2) == 1 && reader.u8(at + 3) == 0;
        return 20 + (constantIv ? 1 + quint64(reader.u8(at + 20)) : 0);
    }
    return 0;
}

// "3 samples" and the like, the start of the one line of a table entry.
SummaryText &samples(SummaryText &summary, quint32 count)
{
    return summary << count << (count == 1 ? " sample" : " samples");
}

// The readable of an "sbgp" group_description_index.
QString descriptionIndexReadable(quint32 index)
{
    if (index == 0)
        return QStringLiteral("in no group of this type");
    if (index > 0x10000)
        return QStringLiteral("description %1 of the fragment").arg(index - 0x10000);
    return QString();
}

} // namespace

// stts: entry_count (4), then per entry sample_count (4) and sample_delta (4).
int ContainerIso::parseBoxSTTS(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = addEntryCount(offset, reader);
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasDurations = true;
        track->durations.clear();
        track->durations.reserve(qMin<quint64>(claimed, size / 8));
    }
    forEachEntry(claimed, 4, size, 8, [&](quint64 i, quint64 at) {
        const qsizetype pos = qsizetype(at);
        const TrackSampleTables::DurationRun run{reader.u32be(pos), reader.u32be(pos + 4)};
        beginGroup(offset + at, 8, QStringLiteral("entry"), qint64(i));
        SummaryText summary;
        // "\xD7" is the multiplication sign in Latin-1.
        setGroupReadable((samples(summary, run.count) << " \xD7 " << run.delta).toString());
        addField(offset + at, 4, QStringLiteral("sample_count"), number(run.count));
        addField(offset + at + 4, 4, QStringLiteral("sample_delta"), number(run.delta));
        endGroup();
        if (track)
            track->durations.push_back(run);
    });
    return Status::Success;
}

// ctts: entry_count (4), then per entry sample_count (4) and sample_offset (4), unsigned in
// version 0 and signed from version 1 on. The walk reads every offset as signed, as writers
// that put negative offsets in a version 0 box mean them; the readable of such an offset says so.
int ContainerIso::parseBoxCTTS(quint64 offset, quint64 size)
{
    const bool signedOffsets = fullBoxVersion >= 1;
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = addEntryCount(offset, reader);
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->compositionOffsets.clear();
        track->compositionOffsets.reserve(qMin<quint64>(claimed, size / 8));
    }
    forEachEntry(claimed, 4, size, 8, [&](quint64 i, quint64 at) {
        const qsizetype pos = qsizetype(at);
        const quint32 bits = reader.u32be(pos + 4);
        const TrackSampleTables::CompositionRun run{reader.u32be(pos), qint32(bits)};
        beginGroup(offset + at, 8, QStringLiteral("entry"), qint64(i));
        SummaryText summary;
        samples(summary, run.count) << ", offset ";
        if (signedOffsets || run.offset < 0)
            summary << run.offset;
        else
            summary << bits;
        setGroupReadable(summary.toString());
        addField(offset + at, 4, QStringLiteral("sample_count"), number(run.count));
        if (signedOffsets) {
            addField(offset + at + 4, 4, QStringLiteral("sample_offset"), signedNumber(run.offset));
        } else {
            addField(offset + at + 4, 4, QStringLiteral("sample_offset"), number(bits),
                     run.offset < 0 ? signedNumber(run.offset) : QString());
        }
        endGroup();
        if (track)
            track->compositionOffsets.push_back(run);
    });
    return Status::Success;
}

// cslg: five signed fields, 32 bits wide in version 0 and 64 from version 1 on.
int ContainerIso::parseBoxCSLG(quint64 offset, quint64 size)
{
    const quint64 w = fullBoxVersion >= 1 ? 8 : 4;
    const QByteArray payload = readAt(offset, qMin(size, 5 * w));
    const ByteReader reader(payload);
    quint64 at = 0;
    for (const char *name : {"compositionToDTSShift", "leastDecodeToDisplayDelta", "greatestDecodeToDisplayDelta",
                             "compositionStartTime", "compositionEndTime"}) {
        const qsizetype pos = qsizetype(at);
        const qint64 value = w == 8 ? qint64(reader.u64be(pos)) : qint64(qint32(reader.u32be(pos)));
        addField(offset + at, w, QString::fromLatin1(name), signedNumber(value));
        at += w;
    }
    return Status::Success;
}

// stsc: entry_count (4), then per entry first_chunk, samples_per_chunk and
// sample_description_index (4 each).
int ContainerIso::parseBoxSTSC(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = addEntryCount(offset, reader);
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasSampleToChunk = true;
        track->sampleToChunk.clear();
        track->sampleToChunk.reserve(qMin<quint64>(claimed, size / 12));
    }
    forEachEntry(claimed, 4, size, 12, [&](quint64 i, quint64 at) {
        const qsizetype pos = qsizetype(at);
        const TrackSampleTables::ChunkRun run{reader.u32be(pos), reader.u32be(pos + 4), reader.u32be(pos + 8)};
        beginGroup(offset + at, 12, QStringLiteral("entry"), qint64(i));
        SummaryText summary;
        samples(summary << "chunks from " << run.firstChunk << ": ", run.samplesPerChunk)
            << ", description " << run.descriptionIndex;
        setGroupReadable(summary.toString());
        addField(offset + at, 4, QStringLiteral("first_chunk"), number(run.firstChunk));
        addField(offset + at + 4, 4, QStringLiteral("samples_per_chunk"), number(run.samplesPerChunk));
        addField(offset + at + 8, 4, QStringLiteral("sample_description_index"), number(run.descriptionIndex));
        endGroup();
        if (track)
            track->sampleToChunk.push_back(run);
    });
    return Status::Success;
}

// stsz: sample_size (4), sample_count (4), then one entry_size (4) per sample when
// sample_size is 0. A track whose sizes came from "stz2" keeps them.
int ContainerIso::parseBoxSTSZ(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 sampleSize = reader.u32be(0);
    const quint32 sampleCount = reader.u32be(4);
    addField(offset, 4, QStringLiteral("sample_size"), number(sampleSize));
    addField(offset + 4, 4, QStringLiteral("sample_count"), number(sampleCount));
    TrackSampleTables *track = currentTrack();
    if (track && track->compactSizes)
        track = nullptr;
    if (track) {
        track->hasSampleSizes = true;
        track->constantSize = sampleSize != 0;
        track->sampleSize = sampleSize;
        track->sampleCount = sampleCount;
        track->sampleSizes.clear();
    }
    if (sampleSize != 0)
        return Status::Success;
    if (track)
        track->sampleSizes.reserve(qMin<quint64>(sampleCount, size / 4));
    forEachEntry(sampleCount, 8, size, 4, [&](quint64 i, quint64 at) {
        const quint32 entry = reader.u32be(qsizetype(at));
        addField(offset + at, 4, QStringLiteral("entry_size"), number(entry), QString(), QString(), qint64(i));
        if (track)
            track->sampleSizes.push_back(entry);
    });
    return Status::Success;
}

// stz2: reserved (3), field_size (1), sample_count (4), then one entry_size of field_size bits
// (4, 8 or 16) per sample; 4-bit sizes two to a byte, the first in the high half.
int ContainerIso::parseBoxSTZ2(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint8 fieldSize = reader.u8(3);
    const quint32 sampleCount = reader.u32be(4);
    addField(offset, 3, QStringLiteral("reserved"), number(reader.u24be(0)));
    addField(offset + 3, 1, QStringLiteral("field_size"), number(fieldSize));
    addField(offset + 4, 4, QStringLiteral("sample_count"), number(sampleCount));
    if (fieldSize != 4 && fieldSize != 8 && fieldSize != 16) {
        addNote(QStringLiteral("field_size %1 is none of 4, 8 and 16; the sizes are not read.").arg(fieldSize));
        return Status::Success;
    }
    // Counted in bits, the entries fit as bytes do.
    const quint64 count = fitEntries(sampleCount, size > 8 ? (size - 8) * 8 : 0, fieldSize);
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasSampleSizes = true;
        track->compactSizes = true;
        track->constantSize = false;
        track->sampleSize = 0;
        track->sampleCount = sampleCount;
        track->sampleSizes.clear();
        track->sampleSizes.reserve(count);
    }
    const QString name = QStringLiteral("entry_size");
    for (quint64 i = 0; i < count; ++i) {
        const quint64 bit = i * fieldSize;
        const quint64 at = 8 + bit / 8;
        const qsizetype pos = qsizetype(at);
        quint32 entry = 0;
        if (fieldSize == 4) {
            const quint8 byte = reader.u8(pos);
            entry = bit % 8 == 0 ? byte >> 4 : byte & 0x0F;
            // addBitField takes no index; the entry lies in the payload, so nothing is cut.
            addElement(true, offset + at, uchar(bit % 8), 4, name, number(entry), QString(), QString(), qint64(i));
        } else {
            entry = fieldSize == 8 ? reader.u8(pos) : reader.u16be(pos);
            addField(offset + at, fieldSize / 8, name, number(entry), QString(), QString(), qint64(i));
        }
        if (track)
            track->sampleSizes.push_back(entry);
    }
    return Status::Success;
}

// stco: entry_count (4), then one 32-bit chunk_offset per chunk.
int ContainerIso::parseBoxSTCO(quint64 offset, quint64 size)
{
    return parseChunkOffsets(offset, size, 4);
}

// co64: entry_count (4), then one 64-bit chunk_offset per chunk.
int ContainerIso::parseBoxCO64(quint64 offset, quint64 size)
{
    return parseChunkOffsets(offset, size, 8);
}

int ContainerIso::parseChunkOffsets(quint64 offset, quint64 size, int entryBytes)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = addEntryCount(offset, reader);
    const quint64 w = quint64(entryBytes);
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasChunkOffsets = true;
        track->chunkOffsets.clear();
        track->chunkOffsets.reserve(qMin<quint64>(claimed, size / w));
    }
    forEachEntry(claimed, 4, size, w, [&](quint64 i, quint64 at) {
        const qsizetype pos = qsizetype(at);
        const quint64 chunk = w == 8 ? reader.u64be(pos) : reader.u32be(pos);
        addField(offset + at, w, QStringLiteral("chunk_offset"), number(chunk), QString(), QString(), qint64(i));
        linkLastElement(chunk);
        if (track)
            track->chunkOffsets.push_back(chunk);
    });
    return Status::Success;
}

// stss: entry_count (4), then one 1-based sample_number (4) per sync sample.
int ContainerIso::parseBoxSTSS(quint64 offset, quint64 size)
{
    TrackSampleTables *track = currentTrack();
    if (track)
        track->hasSyncSamples = true;
    addSampleNumbers(offset, size, track ? &track->syncSamples : nullptr);
    return Status::Success;
}

// stps (QuickTime partial sync samples): the layout of "stss".
int ContainerIso::parseBoxSTPS(quint64 offset, quint64 size)
{
    addSampleNumbers(offset, size, nullptr);
    return Status::Success;
}

void ContainerIso::addSampleNumbers(quint64 offset, quint64 size, std::vector<quint32> *samples)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = addEntryCount(offset, reader);
    if (samples) {
        samples->clear();
        samples->reserve(qMin<quint64>(claimed, size / 4));
    }
    forEachEntry(claimed, 4, size, 4, [&](quint64 i, quint64 at) {
        const quint32 sample = reader.u32be(qsizetype(at));
        addField(offset + at, 4, QStringLiteral("sample_number"), number(sample), QString(), QString(), qint64(i));
        if (samples)
            samples->push_back(sample);
    });
}

// stsh: entry_count (4), then per entry shadowed_sample_number (4) and sync_sample_number (4).
int ContainerIso::parseBoxSTSH(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = addEntryCount(offset, reader);
    forEachEntry(claimed, 4, size, 8, [&](quint64 i, quint64 at) {
        const qsizetype pos = qsizetype(at);
        beginGroup(offset + at, 8, QStringLiteral("entry"), qint64(i));
        addField(offset + at, 4, QStringLiteral("shadowed_sample_number"), number(reader.u32be(pos)));
        addField(offset + at + 4, 4, QStringLiteral("sync_sample_number"), number(reader.u32be(pos + 4)));
        endGroup();
    });
    return Status::Success;
}

quint64 ContainerIso::perSampleEntries(quint64 bytes, quint64 entrySize)
{
    const TrackSampleTables *track = currentTrack();
    if (track && track->hasSampleSizes)
        return fitEntries(track->sampleCount, bytes, entrySize);
    return bytes / entrySize;
}

// sdtp: one byte per sample: is_leading, sample_depends_on, sample_is_depended_on and
// sample_has_redundancy, two bits each.
int ContainerIso::parseBoxSDTP(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint64 count = perSampleEntries(size, 1);
    for (quint64 i = 0; i < count; ++i) {
        const quint8 byte = reader.u8(qsizetype(i));
        beginGroup(offset + i, 1, QStringLiteral("entry"), qint64(i));
        for (int field = 0; field < 4; ++field) {
            const uint value = (byte >> (6 - 2 * field)) & 3;
            const DependencyField &meaning = dependencyFields[field];
            addBitField(offset + i, uchar(2 * field), 2, QString::fromLatin1(meaning.name), number(value),
                        QString::fromLatin1(meaning.readables[value]));
        }
        endGroup();
    }
    return Status::Success;
}

// stdp: one 16-bit priority per sample.
int ContainerIso::parseBoxSTDP(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint64 count = perSampleEntries(size, 2);
    for (quint64 i = 0; i < count; ++i)
        addField(offset + 2 * i, 2, QStringLiteral("priority"), number(reader.u16be(qsizetype(2 * i))), QString(),
                 QString(), qint64(i));
    return Status::Success;
}

// padb: sample_count (4), then per two samples one byte: reserved (1 bit), pad1 (3), reserved (1),
// pad2 (3); the second half of the last byte of an odd count is unused.
int ContainerIso::parseBoxPADB(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("sample_count"), number(claimed));
    const quint64 samples = fitEntries(claimed, size > 4 ? (size - 4) * 2 : 0, 1);
    for (quint64 i = 0; 2 * i < samples; ++i) {
        const quint64 at = offset + 4 + i;
        const quint8 byte = reader.u8(qsizetype(4 + i));
        beginGroup(at, 1, QStringLiteral("entry"), qint64(i));
        addBitField(at, 0, 1, QStringLiteral("reserved"), number(byte >> 7));
        addBitField(at, 1, 3, QStringLiteral("pad1"), number((byte >> 4) & 7));
        if (2 * i + 1 < samples) {
            addBitField(at, 4, 1, QStringLiteral("reserved"), number((byte >> 3) & 1));
            addBitField(at, 5, 3, QStringLiteral("pad2"), number(byte & 7));
        }
        endGroup();
    }
    return Status::Success;
}

// sbgp: grouping_type (4), grouping_type_parameter (4) in version 1, entry_count (4), then per
// entry sample_count (4) and group_description_index (4).
int ContainerIso::parseBoxSBGP(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addField(offset, 4, QStringLiteral("grouping_type"), fourCharacters(reader, 0));
    quint64 at = 4;
    if (fullBoxVersion == 1) {
        addField(offset + 4, 4, QStringLiteral("grouping_type_parameter"), number(reader.u32be(4)));
        at = 8;
    }
    const quint32 claimed = addEntryCount(offset, reader, qsizetype(at));
    forEachEntry(claimed, at + 4, size, 8, [&](quint64 i, quint64 entry) {
        const qsizetype pos = qsizetype(entry);
        const quint32 index = reader.u32be(pos + 4);
        beginGroup(offset + entry, 8, QStringLiteral("entry"), qint64(i));
        addField(offset + entry, 4, QStringLiteral("sample_count"), number(reader.u32be(pos)));
        addField(offset + entry + 4, 4, QStringLiteral("group_description_index"), number(index),
                 descriptionIndexReadable(index));
        endGroup();
    });
    return Status::Success;
}

// sgpd: grouping_type (4), default_length (4) from version 1 on, default_sample_description_index
// (4) from version 2 on, entry_count (4), then the entries: from version 1 on each of
// default_length bytes, or of the description_length (4) before it when default_length is 0;
// in version 0 of the length its grouping type gives.
int ContainerIso::parseBoxSGPD(quint64 offset, quint64 size)
{
    const uint version = fullBoxVersion;
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const QString groupingType = fourCharacters(reader, 0);
    addField(offset, 4, QStringLiteral("grouping_type"), groupingType);
    quint64 at = 4;
    quint32 defaultLength = 0;
    if (version >= 1) {
        defaultLength = reader.u32be(4);
        addField(offset + 4, 4, QStringLiteral("default_length"), number(defaultLength));
        at = 8;
    }
    if (version >= 2) {
        addField(offset + 8, 4, QStringLiteral("default_sample_description_index"), number(reader.u32be(8)));
        at = 12;
    }
    const quint32 claimed = addEntryCount(offset, reader, qsizetype(at));
    at += 4;
    const bool lengthFields = version >= 1 && defaultLength == 0;
    // An entry is shown when its description_length, or its first byte, lies in the box.
    const quint64 smallest = lengthFields ? 4 : 1;
    quint32 shown = 0;
    for (; shown < claimed && at + smallest <= size; ++shown) {
        const qsizetype pos = qsizetype(at);
        quint64 length = defaultLength;
        if (lengthFields)
            length = reader.u32be(pos);
        else if (version == 0)
            length = versionZeroEntryLength(groupingType, reader, pos);
        if (length == 0 && !lengthFields) {
            addField(offset + at, size - at, QStringLiteral("data"), QString());
            addNote(QStringLiteral("The entries of grouping type \"%1\" give no length of their own; "
                                   "the rest of the box is shown as data.")
                        .arg(groupingType));
            return Status::Success;
        }
        const quint64 entry = at + (lengthFields ? 4 : 0);
        const quint64 total = entry - at + length;
        beginGroup(offset + at, fit(offset + at, total), QStringLiteral("entry"), qint64(shown));
        noteCut(offset + at, total);
        if (lengthFields)
            addField(offset + at, 4, QStringLiteral("description_length"), number(length));
        addSampleGroupEntry(groupingType, offset + entry, reader, qsizetype(entry), length);
        endGroup();
        at += total;
    }
    if (shown < claimed)
        addNote(QStringLiteral("entry_count claims %1 entries; only %2 fit in the box.").arg(claimed).arg(shown));
    return Status::Success;
}

// Sample group description entries (ISO/IEC 14496-12, 10; ISO/IEC 23001-7 "seig"):
//   "roll", "prol": roll_distance (signed 16)
//   "rap ": num_leading_samples_known (1 bit), num_leading_samples (7)
//   "sync": reserved (2 bits), NAL_unit_type (6)
//   "tele": level_independently_decodable (1 bit), reserved (7)
//   "alst": roll_count (2), first_output_sample (2), sample_offset (4) x roll_count, then pairs
//           of num_output_samples (2) and num_total_samples (2) to the end of the entry
//   "seig": reserved (1), crypt_byte_block (4 bits), skip_byte_block (4), isProtected (1),
//           Per_Sample_IV_Size (1), KID (16), and when protected with no IV per sample
//           constant_IV_size (1) and constant_IV
void ContainerIso::addSampleGroupEntry(const QString &groupingType, quint64 offset, const ByteReader &reader,
                                       qsizetype at, quint64 length)
{
    if (length == 0)
        return;
    const Bound bound(*this, offset + length);
    // The bytes of the entry that lie in the payload.
    const quint64 held = qMin<quint64>(length, quint64(qMax<qsizetype>(reader.size() - at, 0)));
    quint64 used = 0;
    if (groupingType == QLatin1String("roll") || groupingType == QLatin1String("prol")) {
        addField(offset, 2, QStringLiteral("roll_distance"), signedNumber(qint16(reader.u16be(at))));
        used = 2;
    } else if (groupingType == QLatin1String("rap ")) {
        const quint8 byte = reader.u8(at);
        addBitField(offset, 0, 1, QStringLiteral("num_leading_samples_known"), number(byte >> 7));
        addBitField(offset, 1, 7, QStringLiteral("num_leading_samples"), number(byte & 0x7F));
        used = 1;
    } else if (groupingType == QLatin1String("sync")) {
        const quint8 byte = reader.u8(at);
        addBitField(offset, 0, 2, QStringLiteral("reserved"), number(byte >> 6));
        addBitField(offset, 2, 6, QStringLiteral("NAL_unit_type"), number(byte & 0x3F));
        used = 1;
    } else if (groupingType == QLatin1String("tele")) {
        const quint8 byte = reader.u8(at);
        addBitField(offset, 0, 1, QStringLiteral("level_independently_decodable"), number(byte >> 7));
        addBitField(offset, 1, 7, QStringLiteral("reserved"), number(byte & 0x7F));
        used = 1;
    } else if (groupingType == QLatin1String("alst")) {
        const quint16 rollCount = reader.u16be(at);
        addField(offset, 2, QStringLiteral("roll_count"), number(rollCount));
        addField(offset + 2, 2, QStringLiteral("first_output_sample"), number(reader.u16be(at + 2)));
        const quint64 offsets = qMin<quint64>(rollCount, held > 4 ? (held - 4) / 4 : 0);
        if (offsets < rollCount)
            addNote(QStringLiteral("roll_count claims %1 sample offsets; only %2 fit in the entry.").arg(rollCount).arg(offsets));
        for (quint64 i = 0; i < offsets; ++i)
            addField(offset + 4 + 4 * i, 4, QStringLiteral("sample_offset"),
                     number(reader.u32be(at + qsizetype(4 + 4 * i))), QString(), QString(), qint64(i));
        used = 4 + 4 * offsets;
        for (qint64 j = 0; offsets == rollCount && used + 4 <= held; ++j, used += 4) {
            const qsizetype pos = at + qsizetype(used);
            addField(offset + used, 2, QStringLiteral("num_output_samples"), number(reader.u16be(pos)), QString(),
                     QString(), j);
            addField(offset + used + 2, 2, QStringLiteral("num_total_samples"), number(reader.u16be(pos + 2)), QString(),
                     QString(), j);
        }
    } else if (groupingType == QLatin1String("seig")) {
        const quint8 blocks = reader.u8(at + 1);
        const quint8 isProtected = reader.u8(at + 2);
        const quint8 ivSize = reader.u8(at + 3);
        addField(offset, 1, QStringLiteral("reserved"), number(reader.u8(at)));
        addBitField(offset + 1, 0, 4, QStringLiteral("crypt_byte_block"), number(blocks >> 4));
        addBitField(offset + 1, 4, 4, QStringLiteral("skip_byte_block"), number(blocks & 0x0F));
        const QString protection = isProtected == 1   ? QStringLiteral("protected")
                                   : isProtected == 0 ? QStringLiteral("not protected")
                                                      : QString();
        addField(offset + 2, 1, QStringLiteral("isProtected"), number(isProtected), protection);
        addField(offset + 3, 1, QStringLiteral("Per_Sample_IV_Size"), number(ivSize));
        addField(offset + 4, 16, QStringLiteral("KID"), hex(reader.bytes(at + 4, 16)));
        used = 20;
        if (isProtected == 1 && ivSize == 0) {
            const quint8 constantSize = reader.u8(at + 20);
            addField(offset + 20, 1, QStringLiteral("constant_IV_size"), number(constantSize));
            if (constantSize > 0)
                addField(offset + 21, constantSize, QStringLiteral("constant_IV"), hex(reader.bytes(at + 21, constantSize)));
            used = 21 + quint64(constantSize);
        }
    }
    // Bytes the fields leave over, of those that exist: the cut of the entry is noted on it.
    if (used < length) {
        const quint64 rest = fit(offset + used, length - used);
        if (rest > 0)
            addField(offset + used, rest, QStringLiteral("data"), QString());
    }
    noteMissingFields(bound, offset);
}

// subs: entry_count (4), then per entry sample_delta (4), subsample_count (2) and per subsample
// subsample_size (2; 4 from version 1 on), subsample_priority (1), discardable (1) and
// codec_specific_parameters (4).
int ContainerIso::parseBoxSUBS(quint64 offset, quint64 size)
{
    const quint64 sizeBytes = fullBoxVersion >= 1 ? 4 : 2;
    const quint64 subsampleBytes = sizeBytes + 6;
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = addEntryCount(offset, reader);
    quint64 at = 4;
    quint32 shown = 0;
    for (; shown < claimed && at + 6 <= size; ++shown) {
        const qsizetype pos = qsizetype(at);
        const quint16 subsamples = reader.u16be(pos + 4);
        const quint64 fitting = qMin<quint64>(subsamples, (size - at - 6) / subsampleBytes);
        const quint64 entryBytes = 6 + fitting * subsampleBytes;
        beginGroup(offset + at, entryBytes, QStringLiteral("entry"), qint64(shown));
        addField(offset + at, 4, QStringLiteral("sample_delta"), number(reader.u32be(pos)));
        addField(offset + at + 4, 2, QStringLiteral("subsample_count"), number(subsamples));
        if (fitting < subsamples)
            addNote(QStringLiteral("subsample_count claims %1 subsamples; only %2 fit in the box.").arg(subsamples).arg(fitting));
        for (quint64 j = 0; j < fitting; ++j) {
            const quint64 s = at + 6 + j * subsampleBytes;
            const qsizetype p = qsizetype(s);
            const quint8 discardable = reader.u8(p + qsizetype(sizeBytes) + 1);
            beginGroup(offset + s, subsampleBytes, QStringLiteral("subsample"), qint64(j));
            addField(offset + s, sizeBytes, QStringLiteral("subsample_size"),
                     number(sizeBytes == 4 ? reader.u32be(p) : reader.u16be(p)));
            addField(offset + s + sizeBytes, 1, QStringLiteral("subsample_priority"),
                     number(reader.u8(p + qsizetype(sizeBytes))));
            addField(offset + s + sizeBytes + 1, 1, QStringLiteral("discardable"), number(discardable),
                     discardable == 0 ? QStringLiteral("needed to decode the sample")
                                      : QStringLiteral("not needed to decode the sample"));
            addField(offset + s + sizeBytes + 2, 4, QStringLiteral("codec_specific_parameters"),
                     number(reader.u32be(p + qsizetype(sizeBytes) + 2)));
            endGroup();
        }
        endGroup();
        at += entryBytes;
    }
    if (shown < claimed)
        addNote(QStringLiteral("entry_count claims %1 entries; only %2 fit in the box.").arg(claimed).arg(shown));
    return Status::Success;
}

quint64 ContainerIso::addAuxInfoType(quint64 offset, const ByteReader &reader)
{
    if ((fullBoxFlags & 1) == 0)
        return 0;
    addField(offset, 4, QStringLiteral("aux_info_type"), fourCharacters(reader, 0));
    addField(offset + 4, 4, QStringLiteral("aux_info_type_parameter"), number(reader.u32be(4)));
    return 8;
}

// saiz: [aux_info_type (4), aux_info_type_parameter (4) when flags & 1], default_sample_info_size
// (1), sample_count (4), then one sample_info_size (1) per sample when the default is 0.
int ContainerIso::parseBoxSAIZ(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint64 at = addAuxInfoType(offset, reader);
    const qsizetype pos = qsizetype(at);
    const quint8 defaultSize = reader.u8(pos);
    const quint32 sampleCount = reader.u32be(pos + 1);
    addField(offset + at, 1, QStringLiteral("default_sample_info_size"), number(defaultSize));
    addField(offset + at + 1, 4, QStringLiteral("sample_count"), number(sampleCount));
    if (defaultSize != 0)
        return Status::Success;
    forEachEntry(sampleCount, at + 5, size, 1, [&](quint64 i, quint64 entry) {
        addField(offset + entry, 1, QStringLiteral("sample_info_size"), number(reader.u8(qsizetype(entry))), QString(),
                 QString(), qint64(i));
    });
    return Status::Success;
}

// saio: [aux_info_type (4), aux_info_type_parameter (4) when flags & 1], entry_count (4), then
// one offset per entry: 32 bits in version 0, 64 from version 1 on.
int ContainerIso::parseBoxSAIO(quint64 offset, quint64 size)
{
    const quint64 w = fullBoxVersion == 0 ? 4 : 8;
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint64 at = addAuxInfoType(offset, reader);
    const quint32 claimed = addEntryCount(offset, reader, qsizetype(at));
    forEachEntry(claimed, at + 4, size, w, [&](quint64 i, quint64 entry) {
        const qsizetype pos = qsizetype(entry);
        addField(offset + entry, w, QStringLiteral("offset"), number(w == 8 ? reader.u64be(pos) : reader.u32be(pos)),
                 QString(), QString(), qint64(i));
    });
    return Status::Success;
}

// A track reference type box: track_IDs (4 each) to the end of the box.
int ContainerIso::parseTrackReference(quint64 offset, quint64 size)
{
    if (enclosingBox(1) != QLatin1String("tref"))
        return parseUnrecordedPayload(enclosingBox(0), offset, size);
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    TrackSampleTables *track = enclosingBox(0) == QLatin1String("chap") ? currentTrack() : nullptr;
    // Every started group of four bytes is a track_ID; one the box cuts is noted.
    for (quint64 at = 0; at < size; at += 4) {
        const quint32 trackId = reader.u32be(qsizetype(at));
        addField(offset + at, 4, QStringLiteral("track_ID"), number(trackId), QString(), QString(), qint64(at / 4));
        if (track && at + 4 <= size)
            track->chapterTracks.push_back(trackId);
    }
    return Status::Success;
}

// A track that a "chap" reference names holds the chapters of the movie, not a stream to play
// (a video one holds their pictures and stays video).
void ContainerIso::markChapterTracks()
{
    // The stream of each track_ID, the first track's when several share one; looked up once per
    // reference, so that many references to many tracks take no more than linear time.
    QHash<quint32, int> streamOf;
    for (const TrackSampleTables &tables : m_tracks)
        if (!streamOf.contains(tables.trackId))
            streamOf.insert(tables.trackId, tables.stream);
    for (const TrackSampleTables &tables : m_tracks)
        for (quint32 trackId : tables.chapterTracks) {
            const auto chapters = streamOf.constFind(trackId);
            if (chapters != streamOf.constEnd() && streams[*chapters].kind != StreamRecord::Video)
                streams[*chapters].kind = StreamRecord::Other;
        }
}

void ContainerIso::finalizeParsing()
{
    markChapterTracks();
    for (const TrackSampleTables &tables : m_tracks) {
        if (walksTrack(tables))
            walkTrackSamples(tables);
        registerFragmentSamples(tables);
    }
}

// Replays one track's tables: chunk by chunk, the samples of each chunk lie back to back from
// the chunk's offset; "stsc" runs say how many samples each chunk holds, from the chunk its
// entry names onwards. The walk ends at the track's sample count or where a table ends. Times
// are in the track's timescale: the decoding time is the sum of the "stts" deltas before the
// sample, the composition time adds the sample's "ctts" offset to it (none past the table).
void ContainerIso::walkTrackSamples(const TrackSampleTables &tables)
{
    if (tables.chunkOffsets.empty() || tables.sampleToChunk.empty())
        return;
    quint64 count = tables.sampleCount;
    if (tables.constantSize) {
        // Nothing but the claimed count limits samples of one size; no more of them fit in the
        // file than its size allows.
        count = qMin(count, window.size() / tables.sampleSize);
    } else {
        count = qMin<quint64>(count, tables.sampleSizes.size());
    }

    RunCursor<TrackSampleTables::DurationRun> durations(tables.durations);
    RunCursor<TrackSampleTables::CompositionRun> compositionOffsets(tables.compositionOffsets);

    const bool allKey = !tables.hasSyncSamples;
    size_t syncIndex = 0;
    // The 0-based number of the next sync sample; past the table, a number no sample has.
    const auto nextSync = [&]() -> quint64 {
        if (syncIndex >= tables.syncSamples.size())
            return ~quint64(0);
        return quint64(tables.syncSamples[syncIndex++]) - 1;
    };
    quint64 sync = allKey ? 0 : nextSync();

    size_t nextRun = 1;
    quint64 samplesPerChunk = tables.sampleToChunk.front().samplesPerChunk;
    frameTime = 0;
    quint64 sample = 0;
    for (size_t chunk = 0; chunk < tables.chunkOffsets.size() && sample < count; ++chunk) {
        const quint64 chunkNumber = chunk + 1;
        if (chunk > 0 && nextRun < tables.sampleToChunk.size()
            && tables.sampleToChunk[nextRun].firstChunk == chunkNumber)
            samplesPerChunk = tables.sampleToChunk[nextRun++].samplesPerChunk;
        frameOffset = tables.chunkOffsets[chunk];
        const quint64 last = qMin(count, sample + samplesPerChunk);
        for (; sample < last; ++sample) {
            const TrackSampleTables::DurationRun *duration = durations.next();
            const TrackSampleTables::CompositionRun *composition = compositionOffsets.next();
            frameDuration = duration ? duration->delta : 0;
            frameTime2 = frameTime + (composition ? composition->offset : 0);
            frameSize = tables.constantSize ? tables.sampleSize : tables.sampleSizes[sample];
            keyFrame = allKey || sample == sync ? 1 : 0;
            if (!allKey && sample == sync)
                sync = nextSync();
            registerStreamFrame(tables.stream);
            frameOffset += frameSize;
            frameTime += qint64(frameDuration);
        }
    }
}

void ContainerIso::addSampleTableBoxes()
{
    // box       type    full  handler
    addBox("ctts", Binary, 1, &ContainerIso::parseBoxCTTS);
    addBox("cslg", Binary, 1, &ContainerIso::parseBoxCSLG);
    addBox("stps", Binary, 1, &ContainerIso::parseBoxSTPS);
    addBox("sdtp", Binary, 1, &ContainerIso::parseBoxSDTP);
    addBox("stdp", Binary, 1, &ContainerIso::parseBoxSTDP);
    addBox("stsh", Binary, 1, &ContainerIso::parseBoxSTSH);
    addBox("stz2", Binary, 1, &ContainerIso::parseBoxSTZ2);
    addBox("padb", Binary, 1, &ContainerIso::parseBoxPADB);
    addBox("sbgp", Binary, 1, &ContainerIso::parseBoxSBGP);
    addBox("sgpd", Binary, 1, &ContainerIso::parseBoxSGPD);
    addBox("subs", Binary, 1, &ContainerIso::parseBoxSUBS);
    addBox("saiz", Binary, 1, &ContainerIso::parseBoxSAIZ);
    addBox("saio", Binary, 1, &ContainerIso::parseBoxSAIO);
    addBox("tref", Master, 0, nullptr);
    // A reference type that is also the type of another box ("thmb" in 3GPP user data, "tmcd" in
    // QuickTime) keeps that box's row; the walker then gives its reference boxes that row too.
    for (const char *type : trackReferenceTypes)
        if (!m_boxes.find(QString::fromLatin1(type)))
            addBox(type, Binary, 0, &ContainerIso::parseTrackReference);
}
