// Movie fragments, segment indexes and the boxes that travel with them (ISO/IEC 14496-12, 8.8
// and 8.16; the protection boxes of ISO/IEC 23001-7). The samples of every "trun" are kept in
// their track and become frames after the samples of the movie's own tables.

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"
#include "summary_text.h"

#include <QDateTime>

#include <limits>

namespace {

constexpr quint32 nonSyncSample = 0x10000;

// tf_flags of "tfhd".
constexpr uint baseDataOffsetPresent = 0x1;
constexpr uint sampleDescriptionIndexPresent = 0x2;
constexpr uint defaultDurationPresent = 0x8;
constexpr uint defaultSizePresent = 0x10;
constexpr uint defaultFlagsPresent = 0x20;
constexpr uint defaultBaseIsMoof = 0x20000;

// tr_flags of "trun".
constexpr uint dataOffsetPresent = 0x1;
constexpr uint firstSampleFlagsPresent = 0x4;
constexpr uint durationPresent = 0x100;
constexpr uint sizePresent = 0x200;
constexpr uint flagsPresent = 0x400;
constexpr uint compositionOffsetPresent = 0x800;

// Seconds from 1900-01-01 (the NTP epoch) to 1970-01-01.
constexpr quint64 ntpEpochOffset = 2208988800;

// A file position moved on by count bytes; one that would pass 2^64 stays past every file.
quint64 advance(quint64 position, quint64 count)
{
    return count > std::numeric_limits<quint64>::max() - position ? std::numeric_limits<quint64>::max()
                                                                    : position + count;
}

// A file position a signed distance from base; one before the file's start or past 2^64 stays
// past every file.
quint64 offsetBy(quint64 base, qint32 distance)
{
    if (distance >= 0)
        return advance(base, quint64(distance));
    const quint64 back = quint64(-qint64(distance));
    return back > base ? std::numeric_limits<quint64>::max() : base - back;
}

QString sampleFlagsSummary(quint32 flags)
{
    QStringList parts{flags & nonSyncSample ? QStringLiteral("non-sync sample") : QStringLiteral("sync sample")};
    const uint leading = (flags >> 26) & 3;
    const uint dependsOn = (flags >> 24) & 3;
    const uint dependedOn = (flags >> 22) & 3;
    if (leading == 1 || leading == 3)
        parts << QStringLiteral("leading");
    if (dependsOn == 1)
        parts << QStringLiteral("depends on others");
    else if (dependsOn == 2)
        parts << QStringLiteral("depends on no other");
    if (dependedOn == 2)
        parts << QStringLiteral("disposable");
    if (((flags >> 20) & 3) == 1)
        parts << QStringLiteral("redundant");
    return parts.join(QStringLiteral(", "));
}

// The names of the values 0 to 2 of a 2-bit sample flag; 3 is reserved.
QString twoBitText(uint value, const char *zero, const char *one, const char *two)
{
    switch (value) {
    case 0:
        return QLatin1String(zero);
    case 1:
        return QLatin1String(one);
    case 2:
        return QLatin1String(two);
    default:
        return QStringLiteral("reserved");
    }
}

// A big-endian unsigned number of 1 to 4 bytes.
quint32 unsignedOf(const ByteReader &reader, qsizetype at, int bytes)
{
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | reader.u8(at + i);
    return value;
}

QString protectionSystem(const QUuid &systemId)
{
    struct System
    {
        const char *id;
        const char *name;
    };
    for (const System &system : {System{"edef8ba9-79d6-4ace-a3c8-27dcd51d21ed", "Widevine"},
                                 System{"9a04f079-9840-4286-ab92-e65be0885f95", "PlayReady"},
                                 System{"94ce86fb-07ff-4f43-adb8-93d2fa968ca2", "FairPlay"},
                                 System{"1077efec-c0b2-4d02-ace3-3c1e52e2fb4b", "Common (ClearKey)"}})
        if (systemId == QUuid::fromString(QLatin1String(system.id)))
            return QLatin1String(system.name);
    return QString();
}

// Whether the "senc" samples fill its payload exactly with initialization vectors of ivSize
// bytes. Every sample takes at least two bytes when samples carry subsample counts, and ivSize
// bytes otherwise, so the walk ends within the payload.
bool sencFits(const ByteReader &reader, quint64 size, quint32 count, quint64 ivSize, bool subsamples)
{
    quint64 at = 4;
    for (quint32 i = 0; i < count && at <= size; ++i) {
        at += ivSize;
        if (subsamples)
            at += 2 + 6 * quint64(reader.u16be(qsizetype(at)));
    }
    return at == size;
}

} // namespace

void ContainerIso::addFragmentBoxes()
{
    // box       type    full  handler
    addBox("mvex", Master, 0, nullptr);
    addBox("mfra", Master, 0, nullptr);
    addBox("styp", String, 0, &ContainerIso::parseFileType);
    addBox("mehd", Binary, 1, &ContainerIso::parseBoxMEHD);
    addBox("trex", Binary, 1, &ContainerIso::parseBoxTREX);
    // "moof" and "traf" hold boxes; their handlers walk them, so that the walk knows where each
    // fragment begins and ends.
    addBox("moof", Binary, 0, &ContainerIso::parseBoxMOOF);
    addBox("mfhd", Binary, 1, &ContainerIso::parseBoxMFHD);
    addBox("traf", Binary, 0, &ContainerIso::parseBoxTRAF);
    addBox("tfhd", Binary, 1, &ContainerIso::parseBoxTFHD);
    addBox("tfdt", Binary, 1, &ContainerIso::parseBoxTFDT);
    addBox("trun", Binary, 1, &ContainerIso::parseBoxTRUN);
    addBox("sidx", Binary, 1, &ContainerIso::parseBoxSIDX);
    addBox("ssix", Binary, 1, &ContainerIso::parseBoxSSIX);
    addBox("emsg", Binary, 1, &ContainerIso::parseBoxEMSG);
    addBox("prft", Binary, 1, &ContainerIso::parseBoxPRFT);
    addBox("tfra", Binary, 1, &ContainerIso::parseBoxTFRA);
    addBox("mfro", Binary, 1, &ContainerIso::parseBoxMFRO);
    addBox("pssh", Binary, 1, &ContainerIso::parseBoxPSSH);
    addBox("senc", Binary, 1, &ContainerIso::parseBoxSENC);
}

void ContainerIso::registerFragmentSamples(const TrackSampleTables &tables)
{
    for (const TrackSampleTables::FragmentSample &sample : tables.fragmentSamples) {
        frameOffset = sample.offset;
        frameSize = sample.size;
        frameTime = sample.time;
        frameTime2 = qint64(quint64(sample.time) + quint64(sample.compositionOffset));
        frameDuration = sample.duration;
        keyFrame = sample.key ? 1 : 0;
        registerStreamFrame(tables.stream);
    }
}

// Sample flags (8.8.3.1): reserved (4) is_leading (2) sample_depends_on (2)
// sample_is_depended_on (2) sample_has_redundancy (2) sample_padding_value (3)
// sample_is_non_sync_sample (1) sample_degradation_priority (16).
void ContainerIso::addSampleFlags(quint64 offset, const QString &name, quint32 flags)
{
    beginGroup(offset, 4, name, -1);
    setGroupValue(number(flags));
    setGroupReadable(sampleFlagsSummary(flags));
    addBitField(offset, 0, 4, QStringLiteral("reserved"), number(flags >> 28));
    const uint leading = (flags >> 26) & 3;
    addBitField(offset, 4, 2, QStringLiteral("is_leading"), number(leading),
                leading == 3 ? QStringLiteral("leading, decodable")
                             : twoBitText(leading, "unknown", "leading, depends on an earlier sample", "not leading"));
    addBitField(offset, 6, 2, QStringLiteral("sample_depends_on"), number((flags >> 24) & 3),
                twoBitText((flags >> 24) & 3, "unknown", "depends on others", "depends on no other"));
    addBitField(offset + 1, 0, 2, QStringLiteral("sample_is_depended_on"), number((flags >> 22) & 3),
                twoBitText((flags >> 22) & 3, "unknown", "others depend on it", "disposable"));
    addBitField(offset + 1, 2, 2, QStringLiteral("sample_has_redundancy"), number((flags >> 20) & 3),
                twoBitText((flags >> 20) & 3, "unknown", "redundant coding", "no redundant coding"));
    addBitField(offset + 1, 4, 3, QStringLiteral("sample_padding_value"), number((flags >> 17) & 7));
    addBitField(offset + 1, 7, 1, QStringLiteral("sample_is_non_sync_sample"), number((flags >> 16) & 1),
                flags & nonSyncSample ? QStringLiteral("non-sync") : QStringLiteral("sync"));
    addBitField(offset + 2, 0, 16, QStringLiteral("sample_degradation_priority"), number(flags & 0xFFFF));
    endGroup();
}

// The 24 flag bits stand in the three bytes before the payload, the lowest bit last; the
// names come highest flag first, so the bit fields follow each other.
void ContainerIso::addBoxFlags(quint64 payload, uint flags, std::initializer_list<FlagName> names)
{
    for (const FlagName &flag : names) {
        int bit = 0;
        while (bit < 24 && (flag.bit >> bit) != 1)
            ++bit;
        const int fromTop = 23 - bit;
        addBitField(payload - 3 + quint64(fromTop / 8), uchar(fromTop % 8), 1, QLatin1String(flag.name),
                    number(flags & flag.bit ? 1 : 0));
    }
}

TrackSampleTables *ContainerIso::fragmentTrack()
{
    return m_fragment.track >= 0 ? &m_tracks[size_t(m_fragment.track)] : nullptr;
}

// mehd: fragment_duration (8 in version 1, else 4).
int ContainerIso::parseBoxMEHD(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 8));
    const ByteReader reader(payload);
    const bool wide = fullBoxVersion == 1;
    addField(offset, wide ? 8 : 4, QStringLiteral("fragment_duration"), number(wide ? reader.u64be(0) : reader.u32be(0)));
    return Status::Success;
}

// trex: track_ID, default_sample_description_index, default_sample_duration,
// default_sample_size, default_sample_flags (4 each).
int ContainerIso::parseBoxTREX(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 20));
    const ByteReader reader(payload);
    const quint32 trackId = reader.u32be(0);
    addField(offset, 4, QStringLiteral("track_ID"), number(trackId));
    addField(offset + 4, 4, QStringLiteral("default_sample_description_index"), number(reader.u32be(4)));
    addField(offset + 8, 4, QStringLiteral("default_sample_duration"), number(reader.u32be(8)));
    addField(offset + 12, 4, QStringLiteral("default_sample_size"), number(reader.u32be(12)));
    if (fit(offset + 16, 4) == 4)
        addSampleFlags(offset + 16, QStringLiteral("default_sample_flags"), reader.u32be(16));
    else
        addField(offset + 16, 4, QStringLiteral("default_sample_flags"), number(reader.u32be(16)));
    TrackSampleTables *track = trackById(trackId);
    if (!track) {
        addNote(QStringLiteral("No track has track_ID %1; these defaults apply to none.").arg(trackId));
        return Status::Success;
    }
    track->defaultDescriptionIndex = reader.u32be(4);
    track->defaultDuration = reader.u32be(8);
    track->defaultSize = reader.u32be(12);
    track->defaultFlags = reader.u32be(16);
    return Status::Success;
}

// moof: boxes. The walker keeps currentOffset at the first byte of the box whose handler runs,
// the base of the data offsets of its fragments.
int ContainerIso::parseBoxMOOF(quint64 offset, quint64)
{
    const FragmentCursor outer = m_fragment;
    m_fragment = FragmentCursor();
    m_fragment.moofStart = currentOffset;
    m_fragment.previousTrafEnd = currentOffset;
    const int status = walkBoxes(offset);
    m_fragment = outer;
    return status;
}

// mfhd: sequence_number (4).
int ContainerIso::parseBoxMFHD(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 4));
    addField(offset, 4, QStringLiteral("sequence_number"), number(ByteReader(payload).u32be(0)));
    return Status::Success;
}

// traf: boxes. Without a base offset of its own, the next "traf" of the "moof" begins where
// the data of this one ends.
int ContainerIso::parseBoxTRAF(quint64 offset, quint64)
{
    const FragmentCursor outer = m_fragment;
    m_fragment.track = -1;
    m_fragment.hasHeader = false;
    m_fragment.base = m_fragment.previousTrafEnd;
    m_fragment.dataEnd = m_fragment.base;
    m_fragment.firstRun = true;
    m_fragment.defaultDuration = 0;
    m_fragment.defaultSize = 0;
    m_fragment.defaultFlags = 0;
    const int status = walkBoxes(offset);
    const FragmentCursor inner = m_fragment;
    m_fragment = outer;
    if (!inner.firstRun)
        m_fragment.previousTrafEnd = inner.dataEnd;
    return status;
}

// tfhd: track_ID (4), then as tf_flags select: base_data_offset (8), sample_description_index,
// default_sample_duration, default_sample_size, default_sample_flags (4 each).
int ContainerIso::parseBoxTFHD(quint64 offset, quint64 size)
{
    const uint flags = fullBoxFlags;
    addBoxFlags(offset, flags,
                {{defaultBaseIsMoof, "default_base_is_moof"},
                 {0x10000, "duration_is_empty"},
                 {defaultFlagsPresent, "default_sample_flags_present"},
                 {defaultSizePresent, "default_sample_size_present"},
                 {defaultDurationPresent, "default_sample_duration_present"},
                 {sampleDescriptionIndexPresent, "sample_description_index_present"},
                 {baseDataOffsetPresent, "base_data_offset_present"}});
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 32));
    const ByteReader reader(payload);
    const quint32 trackId = reader.u32be(0);
    addField(offset, 4, QStringLiteral("track_ID"), number(trackId));
    TrackSampleTables *track = trackById(trackId);
    m_fragment.hasHeader = true;
    m_fragment.track = track ? int(track - m_tracks.data()) : -1;
    if (track) {
        m_fragment.defaultDuration = track->defaultDuration;
        m_fragment.defaultSize = track->defaultSize;
        m_fragment.defaultFlags = track->defaultFlags;
    } else if (m_tracks.empty()) {
        addNote(QStringLiteral("No movie box came before this fragment: its samples give no frames."));
    } else {
        addNote(QStringLiteral("No track has track_ID %1: the samples of this track fragment give no frames.").arg(trackId));
    }

    qsizetype at = 4;
    if (flags & baseDataOffsetPresent) {
        m_fragment.base = reader.u64be(at);
        addField(offset + 4, 8, QStringLiteral("base_data_offset"), number(m_fragment.base));
        linkLastElement(m_fragment.base);
        at += 8;
    } else if (flags & defaultBaseIsMoof) {
        m_fragment.base = m_fragment.moofStart;
    }
    m_fragment.dataEnd = m_fragment.base;
    const auto word = [&](uint flag, const char *name, quint32 *value) {
        if (!(flags & flag))
            return;
        const quint32 read = reader.u32be(at);
        if (flag == defaultFlagsPresent && fit(offset + quint64(at), 4) == 4)
            addSampleFlags(offset + quint64(at), QLatin1String(name), read);
        else
            addField(offset + quint64(at), 4, QLatin1String(name), number(read));
        if (value)
            *value = read;
        at += 4;
    };
    word(sampleDescriptionIndexPresent, "sample_description_index", nullptr);
    word(defaultDurationPresent, "default_sample_duration", &m_fragment.defaultDuration);
    word(defaultSizePresent, "default_sample_size", &m_fragment.defaultSize);
    word(defaultFlagsPresent, "default_sample_flags", &m_fragment.defaultFlags);

    if (track && !track->fragmentTimeSet) {
        quint64 end = 0;
        for (const TrackSampleTables::DurationRun &run : track->durations)
            end += quint64(run.count) * run.delta;
        track->fragmentTime = end;
        track->fragmentTimeSet = true;
    }
    return Status::Success;
}

// tfdt: baseMediaDecodeTime (8 in version 1, else 4).
int ContainerIso::parseBoxTFDT(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 8));
    const ByteReader reader(payload);
    const bool wide = fullBoxVersion == 1;
    const quint64 time = wide ? reader.u64be(0) : reader.u32be(0);
    QString seconds;
    TrackSampleTables *track = fragmentTrack();
    if (track && streams[track->stream].timescale > 0)
        seconds = QStringLiteral("%1 s").arg(double(time) / streams[track->stream].timescale, 0, 'f', 3);
    addField(offset, wide ? 8 : 4, QStringLiteral("baseMediaDecodeTime"), number(time), seconds);
    if (track && fit(offset, wide ? 8 : 4) == (wide ? 8u : 4u)) {
        track->fragmentTime = time;
        track->fragmentTimeSet = true;
    }
    return Status::Success;
}

// trun: sample_count (4), data_offset (4, signed) and first_sample_flags (4) as tr_flags select,
// then per sample the fields they select: sample_duration, sample_size, sample_flags,
// sample_composition_time_offset (4 each; the offset signed in version 1).
int ContainerIso::parseBoxTRUN(quint64 offset, quint64 size)
{
    const uint flags = fullBoxFlags;
    const uint version = fullBoxVersion;
    addBoxFlags(offset, flags,
                {{compositionOffsetPresent, "sample_composition_time_offsets_present"},
                 {flagsPresent, "sample_flags_present"},
                 {sizePresent, "sample_size_present"},
                 {durationPresent, "sample_duration_present"},
                 {firstSampleFlagsPresent, "first_sample_flags_present"},
                 {dataOffsetPresent, "data_offset_present"}});
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("sample_count"), number(claimed));

    TrackSampleTables *track = fragmentTrack();
    if (!m_fragment.hasHeader && claimed > 0)
        addNote(QStringLiteral("No track fragment header comes before this run: its samples give no frames."));
    quint64 position = m_fragment.firstRun ? m_fragment.base : m_fragment.dataEnd;
    quint64 at = 4;
    if (flags & dataOffsetPresent) {
        const qint32 dataOffset = qint32(reader.u32be(4));
        position = offsetBy(m_fragment.base, dataOffset);
        addField(offset + 4, 4, QStringLiteral("data_offset"), signedNumber(dataOffset),
                 QStringLiteral("samples from byte %1").arg(position));
        linkLastElement(position);
        at += 4;
    }
    quint32 firstFlags = m_fragment.defaultFlags;
    if (flags & firstSampleFlagsPresent) {
        firstFlags = reader.u32be(qsizetype(at));
        if (fit(offset + at, 4) == 4)
            addSampleFlags(offset + at, QStringLiteral("first_sample_flags"), firstFlags);
        else
            addField(offset + at, 4, QStringLiteral("first_sample_flags"), number(firstFlags));
        at += 4;
    }

    const quint64 recordSize = 4 * quint64((flags & durationPresent ? 1 : 0) + (flags & sizePresent ? 1 : 0)
                                           + (flags & flagsPresent ? 1 : 0) + (flags & compositionOffsetPresent ? 1 : 0));
    // Samples without a field of their own have nothing in the box to bound their count: only
    // those whose bytes lie in the file are taken, and all runs together take no more of them
    // than the file has bytes.
    quint64 count = claimed;
    quint64 overBudget = 0;
    if (recordSize == 0) {
        const quint64 room = bytesLeft(position);
        count = qMin(count, m_fragment.defaultSize > 0 ? room / m_fragment.defaultSize : room);
        const quint64 budget = window.size() - qMin(window.size(), m_samplesWithoutFields);
        overBudget = count > budget ? count - budget : 0;
        count -= overBudget;
        m_samplesWithoutFields += count;
    }
    const bool audio = track && streams[track->stream].kind == StreamRecord::Audio;
    quint64 time = track ? track->fragmentTime : 0;
    quint64 pastFile = 0;
    QString lastFlagsText;
    quint32 lastFlags = 0;
    const auto sample = [&](quint64 i, quint64 entry) {
        quint32 duration = m_fragment.defaultDuration;
        quint32 sampleSize = m_fragment.defaultSize;
        quint32 sampleFlags = i == 0 ? firstFlags : m_fragment.defaultFlags;
        bool ownFlags = i == 0 && (flags & firstSampleFlagsPresent);
        qint64 compositionOffset = 0;
        const auto isKey = [&] { return (audio && !ownFlags) || !(sampleFlags & nonSyncSample); };
        if (recordSize > 0) {
            beginGroup(offset + entry, recordSize, QStringLiteral("sample"), qint64(i));
            quint64 field = entry;
            const auto next = [&](const QString &name, const QString &value, const QString &readable = QString()) {
                addField(offset + field, 4, name, value, readable);
                field += 4;
            };
            if (flags & durationPresent) {
                duration = reader.u32be(qsizetype(field));
                next(QStringLiteral("sample_duration"), number(duration));
            }
            if (flags & sizePresent) {
                sampleSize = reader.u32be(qsizetype(field));
                next(QStringLiteral("sample_size"), number(sampleSize));
            }
            if (flags & flagsPresent) {
                sampleFlags = reader.u32be(qsizetype(field));
                ownFlags = true;
                if (lastFlagsText.isEmpty() || sampleFlags != lastFlags) {
                    lastFlags = sampleFlags;
                    lastFlagsText = sampleFlagsSummary(sampleFlags);
                }
                next(QStringLiteral("sample_flags"), number(sampleFlags), lastFlagsText);
            }
            if (flags & compositionOffsetPresent) {
                const quint32 word = reader.u32be(qsizetype(field));
                compositionOffset = version == 0 ? qint64(word) : qint64(qint32(word));
                next(QStringLiteral("sample_composition_time_offset"), signedNumber(compositionOffset));
            }
            SummaryText summary;
            summary << "size " << sampleSize << ", duration " << duration << (isKey() ? ", key" : "");
            setGroupReadable(summary.toString());
            endGroup();
        }
        if (track) {
            if (position <= window.size() && sampleSize <= window.size() - position) {
                track->fragmentSamples.push_back({position, sampleSize, duration, qint64(time), compositionOffset, isKey()});
            } else {
                ++pastFile;
            }
        }
        time += duration;
        position = advance(position, sampleSize);
    };
    if (recordSize > 0) {
        forEachEntry(claimed, at, size, recordSize, sample);
    } else {
        for (quint64 i = 0; i < count; ++i)
            sample(i, at);
        if (overBudget > 0)
            addNote(QStringLiteral("%1 samples are left out: the runs without sample fields claim more samples than the file has bytes.")
                        .arg(overBudget));
        if (track && count + overBudget < claimed)
            pastFile += claimed - count - overBudget;
    }
    if (pastFile > 0)
        addNote(QStringLiteral("%1 samples lie past the end of the file: they give no frames.").arg(pastFile));
    m_fragment.dataEnd = position;
    m_fragment.firstRun = false;
    if (track)
        track->fragmentTime = time;
    return Status::Success;
}

// sidx: reference_ID (4), timescale (4), earliest_presentation_time and first_offset (8 each in
// version 1, else 4), reserved (2), reference_count (2), then per reference: reference_type (1
// bit) referenced_size (31), subsegment_duration (32), starts_with_SAP (1) SAP_type (3)
// SAP_delta_time (28). The first subsegment begins first_offset bytes after the box.
int ContainerIso::parseBoxSIDX(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const bool wide = fullBoxVersion == 1;
    const quint64 w = wide ? 8 : 4;
    const auto value = [&](quint64 at) { return wide ? reader.u64be(qsizetype(at)) : reader.u32be(qsizetype(at)); };
    addField(offset, 4, QStringLiteral("reference_ID"), number(reader.u32be(0)));
    const quint32 timescale = reader.u32be(4);
    addField(offset + 4, 4, QStringLiteral("timescale"), number(timescale));
    addField(offset + 8, w, QStringLiteral("earliest_presentation_time"), number(value(8)));
    const quint64 firstOffset = value(8 + w);
    quint64 position = advance(offset + size, firstOffset);
    addField(offset + 8 + w, w, QStringLiteral("first_offset"), number(firstOffset),
             QStringLiteral("first subsegment at byte %1").arg(position));
    linkLastElement(position);
    const quint64 at = 8 + 2 * w;
    addField(offset + at, 2, QStringLiteral("reserved"), number(reader.u16be(qsizetype(at))));
    const quint16 claimed = reader.u16be(qsizetype(at + 2));
    addField(offset + at + 2, 2, QStringLiteral("reference_count"), number(claimed));
    forEachEntry(claimed, at + 4, size, 12, [&](quint64 i, quint64 entry) {
        const quint64 where = offset + entry;
        const quint32 first = reader.u32be(qsizetype(entry));
        const quint32 third = reader.u32be(qsizetype(entry + 8));
        beginGroup(where, 12, QStringLiteral("reference"), qint64(i));
        setGroupReadable(QStringLiteral("at byte %1").arg(position));
        linkLastElement(position);
        addBitField(where, 0, 1, QStringLiteral("reference_type"), number(first >> 31),
                    first >> 31 ? QStringLiteral("segment index") : QStringLiteral("media"));
        addBitField(where, 1, 31, QStringLiteral("referenced_size"), number(first & 0x7FFFFFFF));
        addField(where + 4, 4, QStringLiteral("subsegment_duration"), number(reader.u32be(qsizetype(entry + 4))));
        addBitField(where + 8, 0, 1, QStringLiteral("starts_with_SAP"), number(third >> 31));
        addBitField(where + 8, 1, 3, QStringLiteral("SAP_type"), number((third >> 28) & 7));
        addBitField(where + 8, 4, 28, QStringLiteral("SAP_delta_time"), number(third & 0x0FFFFFFF));
        endGroup();
        position = advance(position, first & 0x7FFFFFFF);
    });
    return Status::Success;
}

// ssix: subsegment_count (4), then per subsegment range_count (4) and per range level (1)
// range_size (3).
int ContainerIso::parseBoxSSIX(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("subsegment_count"), number(claimed));
    quint64 at = 4;
    quint32 shown = 0;
    for (; shown < claimed && at + 4 <= size; ++shown) {
        const quint32 ranges = reader.u32be(qsizetype(at));
        const quint64 fitting = qMin<quint64>(ranges, (size - at - 4) / 4);
        beginGroup(offset + at, 4 + 4 * fitting, QStringLiteral("subsegment"), shown);
        addField(offset + at, 4, QStringLiteral("range_count"), number(ranges));
        forEachEntry(ranges, at + 4, size, 4, [&](quint64 i, quint64 range) {
            addField(offset + range, 1, QStringLiteral("level"), number(reader.u8(qsizetype(range))), QString(), QString(), qint64(i));
            addField(offset + range + 1, 3, QStringLiteral("range_size"), number(reader.u24be(qsizetype(range + 1))), QString(), QString(), qint64(i));
        });
        endGroup();
        at += 4 + 4 * fitting;
    }
    if (shown < claimed)
        addNote(QStringLiteral("subsegment_count claims %1 subsegments; only %2 fit in the box.").arg(claimed).arg(shown));
    return Status::Success;
}

// emsg, version 0: scheme_id_uri, value (zero-terminated), timescale, presentation_time_delta,
// event_duration, id (4 each); version 1: timescale (4), presentation_time (8),
// event_duration, id (4 each), scheme_id_uri, value. Then message_data to the end.
int ContainerIso::parseBoxEMSG(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    qsizetype at = 0;
    // Text up to its zero byte, or to the end of the box when none ends it.
    const auto text = [&](const char *name) {
        if (at >= payload.size())
            return;
        const qsizetype zero = payload.indexOf('\0', at);
        const qsizetype end = zero < 0 ? payload.size() : zero;
        if (zero < 0)
            addNote(QStringLiteral("%1 has no terminating zero byte before the end of the box.").arg(QLatin1String(name)));
        addField(offset + quint64(at), quint64(end - at + (zero < 0 ? 0 : 1)), QLatin1String(name),
                 QString::fromUtf8(payload.constData() + at, end - at));
        at = end + 1;
    };
    const auto word = [&](const char *name, int bytes) {
        addField(offset + quint64(at), quint64(bytes), QLatin1String(name),
                 number(bytes == 8 ? reader.u64be(at) : reader.u32be(at)));
        at += bytes;
    };
    if (fullBoxVersion == 0) {
        text("scheme_id_uri");
        text("value");
        word("timescale", 4);
        word("presentation_time_delta", 4);
    } else {
        word("timescale", 4);
        word("presentation_time", 8);
    }
    word("event_duration", 4);
    word("id", 4);
    if (fullBoxVersion != 0) {
        text("scheme_id_uri");
        text("value");
    }
    if (quint64(at) < size)
        addField(offset + quint64(at), size - quint64(at), QStringLiteral("message_data"),
                 toPrintable(reader.bytes(at, qsizetype(qMin(displayLimit, size - quint64(at))))));
    return Status::Success;
}

// prft: reference_track_ID (4), ntp_timestamp (8), media_time (8 in version 1, else 4).
int ContainerIso::parseBoxPRFT(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 20));
    const ByteReader reader(payload);
    addField(offset, 4, QStringLiteral("reference_track_ID"), number(reader.u32be(0)));
    const quint64 ntp = reader.u64be(4);
    const quint64 seconds = ntp >> 32;
    const qint64 milliseconds = qint64(((ntp & 0xFFFFFFFF) * 1000) >> 32);
    const QDateTime instant = QDateTime::fromMSecsSinceEpoch((qint64(seconds) - qint64(ntpEpochOffset)) * 1000 + milliseconds, Qt::UTC);
    addField(offset + 4, 8, QStringLiteral("ntp_timestamp"), number(ntp),
             instant.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz 'UTC'")));
    const bool wide = fullBoxVersion == 1;
    addField(offset + 12, wide ? 8 : 4, QStringLiteral("media_time"), number(wide ? reader.u64be(12) : reader.u32be(12)));
    return Status::Success;
}

// tfra: track_ID (4), reserved (26 bits) length_size_of_traf_num, length_size_of_trun_num,
// length_size_of_sample_num (2 bits each), number_of_entry (4), then per entry time and
// moof_offset (8 each in version 1, else 4), traf_number, trun_number and sample_number of
// (length size + 1) bytes each.
int ContainerIso::parseBoxTFRA(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addField(offset, 4, QStringLiteral("track_ID"), number(reader.u32be(0)));
    const quint32 lengths = reader.u32be(4);
    const int trafBytes = int((lengths >> 4) & 3) + 1;
    const int trunBytes = int((lengths >> 2) & 3) + 1;
    const int sampleBytes = int(lengths & 3) + 1;
    addBitField(offset + 4, 0, 26, QStringLiteral("reserved"), number(lengths >> 6));
    addBitField(offset + 7, 2, 2, QStringLiteral("length_size_of_traf_num"), number(trafBytes - 1));
    addBitField(offset + 7, 4, 2, QStringLiteral("length_size_of_trun_num"), number(trunBytes - 1));
    addBitField(offset + 7, 6, 2, QStringLiteral("length_size_of_sample_num"), number(sampleBytes - 1));
    const quint32 claimed = reader.u32be(8);
    addField(offset + 8, 4, QStringLiteral("number_of_entry"), number(claimed));
    const bool wide = fullBoxVersion == 1;
    const quint64 w = wide ? 8 : 4;
    const quint64 entrySize = 2 * w + quint64(trafBytes + trunBytes + sampleBytes);
    forEachEntry(claimed, 12, size, entrySize, [&](quint64 i, quint64 entry) {
        const auto value = [&](quint64 at) { return wide ? reader.u64be(qsizetype(at)) : reader.u32be(qsizetype(at)); };
        beginGroup(offset + entry, entrySize, QStringLiteral("entry"), qint64(i));
        addField(offset + entry, w, QStringLiteral("time"), number(value(entry)));
        addField(offset + entry + w, w, QStringLiteral("moof_offset"), number(value(entry + w)));
        linkLastElement(value(entry + w));
        quint64 at = entry + 2 * w;
        const auto numberField = [&](const char *name, int bytes) {
            addField(offset + at, quint64(bytes), QLatin1String(name), number(unsignedOf(reader, qsizetype(at), bytes)));
            at += quint64(bytes);
        };
        numberField("traf_number", trafBytes);
        numberField("trun_number", trunBytes);
        numberField("sample_number", sampleBytes);
        endGroup();
    });
    return Status::Success;
}

// mfro: parent_size (4), the size of the enclosing "mfra", which ends with this box.
int ContainerIso::parseBoxMFRO(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 4));
    const quint32 parentSize = ByteReader(payload).u32be(0);
    const quint64 end = offset + size;
    addField(offset, 4, QStringLiteral("parent_size"), number(parentSize),
             parentSize <= end ? QStringLiteral("mfra at byte %1").arg(end - parentSize) : QString());
    return Status::Success;
}

// pssh: SystemID (16), in version 1 KID_count (4) and KID_count KIDs (16 each), then DataSize
// (4) and DataSize bytes of Data.
int ContainerIso::parseBoxPSSH(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const QUuid systemId = QUuid::fromRfc4122(reader.bytes(0, 16).leftJustified(16, '\0'));
    addField(offset, 16, QStringLiteral("SystemID"), systemId.toString(QUuid::WithoutBraces), protectionSystem(systemId));
    quint64 at = 16;
    if (fullBoxVersion > 0) {
        const quint32 claimed = reader.u32be(16);
        addField(offset + 16, 4, QStringLiteral("KID_count"), number(claimed));
        const quint64 kids = forEachEntry(claimed, 20, size, 16, [&](quint64 i, quint64 entry) {
            const QUuid kid = QUuid::fromRfc4122(reader.bytes(qsizetype(entry), 16));
            addField(offset + entry, 16, QStringLiteral("KID"), kid.toString(QUuid::WithoutBraces), QString(), QString(), qint64(i));
        });
        at = 20 + 16 * kids;
        if (kids < claimed)
            return Status::Success;
    }
    const quint32 dataSize = reader.u32be(qsizetype(at));
    addField(offset + at, 4, QStringLiteral("DataSize"), number(dataSize));
    if (dataSize > 0)
        addField(offset + at + 4, dataSize, QStringLiteral("Data"), QString());
    return Status::Success;
}

// senc: sample_count (4), then per sample an InitializationVector and, when flags & 2,
// subsample_count (2) and per subsample BytesOfClearData (2) BytesOfProtectedData (4). The IV
// size is the track's default in its "tenc"; the box does not say it, so it is told by the
// size that fills the box exactly.
int ContainerIso::parseBoxSENC(quint64 offset, quint64 size)
{
    const bool subsamples = fullBoxFlags & 2;
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("sample_count"), number(claimed));
    quint64 ivSize = 8;
    if (sencFits(reader, size, claimed, 16, subsamples) && !sencFits(reader, size, claimed, 8, subsamples))
        ivSize = 16;
    else if (subsamples && sencFits(reader, size, claimed, 0, true) && !sencFits(reader, size, claimed, 8, true))
        ivSize = 0;
    else if (!sencFits(reader, size, claimed, 8, subsamples))
        addNote(QStringLiteral("No IV size of 8 or 16 bytes fills the box; 8 is assumed."));

    quint64 at = 4;
    quint32 shown = 0;
    for (; shown < claimed && at + ivSize + (subsamples ? 2 : 0) <= size && (ivSize > 0 || subsamples); ++shown) {
        const quint64 start = at;
        beginEntry(QStringLiteral("sample"), shown);
        setEntryOffset(offset + start);
        if (ivSize > 0)
            addField(offset + at, ivSize, QStringLiteral("InitializationVector"),
                     QString::fromLatin1(reader.bytes(qsizetype(at), qsizetype(ivSize)).toHex()));
        at += ivSize;
        if (subsamples) {
            const quint16 count = reader.u16be(qsizetype(at));
            addField(offset + at, 2, QStringLiteral("subsample_count"), number(count));
            at += 2;
            at += 6 * forEachEntry(count, at, size, 6, [&](quint64 i, quint64 entry) {
                beginGroup(offset + entry, 6, QStringLiteral("subsample"), qint64(i));
                addField(offset + entry, 2, QStringLiteral("BytesOfClearData"), number(reader.u16be(qsizetype(entry))));
                addField(offset + entry + 2, 4, QStringLiteral("BytesOfProtectedData"), number(reader.u32be(qsizetype(entry + 2))));
                endGroup();
            });
        }
        setEntrySize(at - start);
        endGroup();
    }
    if (shown < claimed && (ivSize > 0 || subsamples))
        addNote(QStringLiteral("sample_count claims %1 samples; only %2 fit in the box.").arg(claimed).arg(shown));
    return Status::Success;
}
