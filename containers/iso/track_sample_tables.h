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

    /// One sample of a movie fragment ("trun"), kept until the sample tables of the movie
    /// have been replayed, so that a stream's frames stay in decoding order.
    struct FragmentSample
    {
        quint64 offset = 0;
        quint32 size = 0;
        quint32 duration = 0;
        qint64 time = 0;              ///< decoding time
        qint64 compositionOffset = 0; ///< composition time minus decoding time
        bool key = false;
    };

    struct CompositionRun
    {
        quint32 count = 0;
        qint32 offset = 0; ///< version 0 offsets are unsigned; those past 2^31 are kept as read
    };

    int stream = -1;      ///< the track's row in the stream list
    quint32 trackId = 0;  ///< "tkhd" track_ID
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
    quint64 sampleCount = 0;               ///< "stsz" or "stz2" sample_count as stored
    std::vector<quint32> sampleSizes;      ///< "stsz" entries, when sizes vary
    bool compactSizes = false;             ///< the sizes came from "stz2"; a "stsz" beside it is not used
    std::vector<DurationRun> durations;    ///< "stts", kept as runs instead of one entry per sample
    std::vector<quint32> syncSamples;      ///< "stss", 1-based sample numbers
    std::vector<CompositionRun> compositionOffsets; ///< "ctts", as runs
    std::vector<quint32> chapterTracks;    ///< track_IDs of its "chap" references

    /// "trex" defaults of the track's fragments.
    quint32 defaultDescriptionIndex = 1;
    quint32 defaultDuration = 0;
    quint32 defaultSize = 0;
    quint32 defaultFlags = 0;
    /// Decoding time at the end of the last fragment sample, for a "traf" without "tfdt".
    quint64 fragmentTime = 0;
    /// fragmentTime holds a time: a "traf" of the track was seen. Before that, the fragments
    /// begin where the samples of the movie's tables end.
    bool fragmentTimeSet = false;
    std::vector<FragmentSample> fragmentSamples;
};
