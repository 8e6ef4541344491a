// The sample table boxes (ISO/IEC 14496-12, 8.6 and 8.7) and the sample walk that turns the
// tables of every track into frames once the whole file has been walked.

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

#include <algorithm>

// stts: entry_count (4), then per entry sample_count (4) and sample_delta (4).
int ContainerIso::parseBoxSTTS(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("entry_count"), number(claimed));
    const quint64 count = fitEntries(claimed, size > 4 ? size - 4 : 0, 8);
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasDurations = true;
        track->durations.clear();
        track->durations.reserve(count);
    }
    for (quint64 i = 0; i < count; ++i) {
        const quint64 at = 4 + 8 * i;
        const quint32 samples = reader.u32be(qsizetype(at));
        const quint32 delta = reader.u32be(qsizetype(at + 4));
        beginGroup(offset + at, 8, QStringLiteral("entry"), qint64(i));
        addField(offset + at, 4, QStringLiteral("sample_count"), number(samples));
        addField(offset + at + 4, 4, QStringLiteral("sample_delta"), number(delta));
        endGroup();
        if (track)
            track->durations.push_back({samples, delta});
    }
    return Status::Success;
}

// stsc: entry_count (4), then per entry first_chunk, samples_per_chunk and
// sample_description_index (4 each).
int ContainerIso::parseBoxSTSC(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("entry_count"), number(claimed));
    const quint64 count = fitEntries(claimed, size > 4 ? size - 4 : 0, 12);
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasSampleToChunk = true;
        track->sampleToChunk.clear();
        track->sampleToChunk.reserve(count);
    }
    for (quint64 i = 0; i < count; ++i) {
        const quint64 at = 4 + 12 * i;
        const qsizetype pos = qsizetype(at);
        const TrackSampleTables::ChunkRun run{reader.u32be(pos), reader.u32be(pos + 4), reader.u32be(pos + 8)};
        beginGroup(offset + at, 12, QStringLiteral("entry"), qint64(i));
        addField(offset + at, 4, QStringLiteral("first_chunk"), number(run.firstChunk));
        addField(offset + at + 4, 4, QStringLiteral("samples_per_chunk"), number(run.samplesPerChunk));
        addField(offset + at + 8, 4, QStringLiteral("sample_description_index"), number(run.descriptionIndex));
        endGroup();
        if (track)
            track->sampleToChunk.push_back(run);
    }
    return Status::Success;
}

// stsz: sample_size (4), sample_count (4), then one entry_size (4) per sample when
// sample_size is 0.
int ContainerIso::parseBoxSTSZ(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 sampleSize = reader.u32be(0);
    const quint32 sampleCount = reader.u32be(4);
    addField(offset, 4, QStringLiteral("sample_size"), number(sampleSize));
    addField(offset + 4, 4, QStringLiteral("sample_count"), number(sampleCount));
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasSampleSizes = true;
        track->constantSize = sampleSize != 0;
        track->sampleSize = sampleSize;
        track->sampleCount = sampleCount;
        track->sampleSizes.clear();
    }
    if (sampleSize == 0) {
        const quint64 count = fitEntries(sampleCount, size > 8 ? size - 8 : 0, 4);
        if (track)
            track->sampleSizes.reserve(count);
        for (quint64 i = 0; i < count; ++i) {
            const quint32 entry = reader.u32be(qsizetype(8 + 4 * i));
            addField(offset + 8 + 4 * i, 4, QStringLiteral("entry_size"), number(entry), QString(), QString(), qint64(i));
            if (track)
                track->sampleSizes.push_back(entry);
        }
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
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("entry_count"), number(claimed));
    const quint64 count = fitEntries(claimed, size > 4 ? size - 4 : 0, quint64(entryBytes));
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasChunkOffsets = true;
        track->chunkOffsets.clear();
        track->chunkOffsets.reserve(count);
    }
    for (quint64 i = 0; i < count; ++i) {
        const qsizetype at = qsizetype(4 + quint64(entryBytes) * i);
        const quint64 chunk = entryBytes == 8 ? reader.u64be(at) : reader.u32be(at);
        addField(offset + quint64(at), quint64(entryBytes), QStringLiteral("chunk_offset"), number(chunk), QString(), QString(), qint64(i));
        if (track)
            track->chunkOffsets.push_back(chunk);
    }
    return Status::Success;
}

// stss: entry_count (4), then one 1-based sample_number (4) per sync sample.
int ContainerIso::parseBoxSTSS(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("entry_count"), number(claimed));
    const quint64 count = fitEntries(claimed, size > 4 ? size - 4 : 0, 4);
    TrackSampleTables *track = currentTrack();
    if (track) {
        track->hasSyncSamples = true;
        track->syncSamples.clear();
        track->syncSamples.reserve(count);
    }
    for (quint64 i = 0; i < count; ++i) {
        const quint32 sample = reader.u32be(qsizetype(4 + 4 * i));
        addField(offset + 4 + 4 * i, 4, QStringLiteral("sample_number"), number(sample), QString(), QString(), qint64(i));
        if (track)
            track->syncSamples.push_back(sample);
    }
    return Status::Success;
}

void ContainerIso::finalizeParsing()
{
    for (const TrackSampleTables &tables : m_tracks) {
        if (walksTrack(tables))
            walkTrackSamples(tables);
        registerFragmentSamples(tables);
    }
}

// Replays one track's tables: chunk by chunk, the samples of each chunk lie back to back from
// the chunk's offset; "stsc" runs say how many samples each chunk holds, from the chunk its
// entry names onwards. The walk ends at the track's sample count or where a table ends. Times
// are decode times in the track's timescale: the sum of the "stts" deltas before the sample.
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

    size_t durationRun = 0;
    quint64 durationLeft = 0;
    const auto nextDuration = [&]() -> quint32 {
        while (durationRun < tables.durations.size() && durationLeft == 0) {
            durationLeft = tables.durations[durationRun].count;
            if (durationLeft == 0)
                ++durationRun;
        }
        if (durationRun >= tables.durations.size())
            return 0;
        const quint32 delta = tables.durations[durationRun].delta;
        if (--durationLeft == 0)
            ++durationRun;
        return delta;
    };

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
    frameTime2 = 0;
    frameDuration = nextDuration();
    quint64 sample = 0;
    for (size_t chunk = 0; chunk < tables.chunkOffsets.size() && sample < count; ++chunk) {
        const quint64 chunkNumber = chunk + 1;
        if (chunk > 0 && nextRun < tables.sampleToChunk.size()
            && tables.sampleToChunk[nextRun].firstChunk == chunkNumber)
            samplesPerChunk = tables.sampleToChunk[nextRun++].samplesPerChunk;
        frameOffset = tables.chunkOffsets[chunk];
        const quint64 last = qMin(count, sample + samplesPerChunk);
        for (; sample < last; ++sample) {
            frameSize = tables.constantSize ? tables.sampleSize : tables.sampleSizes[sample];
            keyFrame = allKey || sample == sync ? 1 : 0;
            if (!allKey && sample == sync)
                sync = nextSync();
            registerStreamFrame(tables.stream);
            frameOffset += frameSize;
            frameTime += qint64(frameDuration);
            frameTime2 += qint64(frameDuration);
            frameDuration = nextDuration();
        }
    }
}

void ContainerIso::addSampleTableBoxes()
{
}
