#pragma once

#include <QtGlobal>

#include <vector>

/// The sample tables of one track, copied out of its "stbl" boxes in host byte order, so that
/// the sample walk after the box walk can replay them. Only the entries that really lie in the
/// file are kept; the claimed counts are kept beside them.
struct TrackSampleTables
{
    struct ChunkRun
    {
        quint32 firstChunk = 0; ///< 1-based
        quint32 samplesPerChunk = 0;
        quint32 descriptionIndex = 0;
    };

    struct DurationRun
    {
        quint32 count = 0;
        quint32 delta = 0;
    };

    int stream = -1;      ///< the track's row in the stream list
    bool handled = false; ///< its first handler box, which says what it holds, was seen

    bool hasChunkOffsets = false;
    bool hasSampleToChunk = false;
    bool hasSampleSizes = false;
    bool hasDurations = false;
    bool hasSyncSamples = false;

    std::vector<quint64> chunkOffsets;     ///< "stco" / "co64", 32-bit offsets widened
    std::vector<ChunkRun> sampleToChunk;   ///< "stsc"
    bool constantSize = false;             ///< "stsz" gave one size for every sample
    quint32 sampleSize = 0;                ///< that size
    quint64 sampleCount = 0;               ///< "stsz" sample_count as stored
    std::vector<quint32> sampleSizes;      ///< "stsz" entries, when sizes vary
    std::vector<DurationRun> durations;    ///< "stts", kept as runs instead of one entry per sample
    std::vector<quint32> syncSamples;      ///< "stss", 1-based sample numbers
};
