#pragma once

#include "container_abstract.h"
#include "dispatch_records.h"

#include <QString>

#include <vector>

class ByteReader;

/// Parser of AVI files (RIFF form "AVI ") with the OpenDML extensions: "AVIX" extension RIFFs,
/// the "indx" super and standard indexes and the "dmlh" extended header.
///
/// The walker reports every chunk with its id and size fields; lists ("RIFF", "LIST") carry
/// their type and children. Bytes that belong to no chunk are counted until the next chunk
/// starts and reported once under the leftover marker name. A chunk never reaches past its
/// enclosing list or the end of the file: a larger claimed size is clipped there and noted.
///
/// Every stream header begins a stream. A stream's frames come from its OpenDML standard
/// indexes when the super index lists any (they cover the "AVIX" parts), else from the "idx1"
/// entries (offsets relative to the "movi" list or absolute, as the first entries show), else
/// from the chunks of the "movi" lists; they are timed by the stream header's dwScale / dwRate.
class ContainerAVI : public ContainerAbstract
{
public:
    using ElementAVI = ChunkRecord<ContainerAVI>;

    ContainerAVI();
    ~ContainerAVI() override;
    /// Filler and unknown chunks always show their first 127 bytes.
    QStringList unusedOptions() const override;

    /// Codec id of the first record of table (an array of CodecTag ended by codec id 0) whose
    /// FourCC is fourcc; 0 when no record has it.
    static int getCodecID(const void *table, uint fourcc);

protected:
    int verifyContainerFormat(const QString &fileName) override;
    int findBeginOfContainer(qint64 *offset) override;
    int parseElement(quint64 *consumed) override;
    void prepareParsing() override;
    void finalizeParsing() override;

    int searchID(const QString &fourcc, ElementAVI *out) const;
    /// The FourCC of the chunk at the current offset.
    int getID(QString *fourcc);
    /// The size field of the chunk at the current offset.
    int getSize(uint *size);

    int parseUnknownObject(quint64 offset, uint size);
    /// A text chunk: the sub-chunks of an INFO list and "strn".
    int parseChunkText(quint64 offset, uint size);

    int parseChunkAVIH(quint64 offset, uint size);
    int parseChunkSTRH(quint64 offset, uint size);
    int parseChunkSTRF(quint64 offset, uint size);
    int parseChunkSTRF_video(quint64 offset, uint size);
    int parseChunkSTRF_audio(quint64 offset, uint size);
    /// The palette of a bitmap format: colors RGBQUAD entries, as far as the chunk holds them.
    /// Returns the bytes they claim.
    quint64 addPalette(quint64 offset, quint64 colors);
    int parseChunkVPRP(quint64 offset, uint size);
    int parseChunkDMLH(quint64 offset, uint size);

    int parseChunkIDX1(quint64 offset, uint size);
    /// A super index (in a "strl") is followed to the standard indexes it lists, which give the
    /// stream's frames.
    int parseChunkINDX(quint64 offset, uint size);
    /// An OpenDML standard index chunk ("ix00", "00ix", ...) met in the walk: decoded like
    /// "indx", but its entries are frames only as a super index lists them.
    int parseChunkIX(quint64 offset, uint size);

private:
    enum StreamType { NoStream = 0, VideoStream = 1, AudioStream = 2, MidiStream = 3, TextStream = 4 };

    void buildDictionary();
    bool isKnownChunk(const char *id) const;

    int parseKnownChunk(quint64 start, quint64 pos, quint64 garbage, quint64 end,
                        const QString &fourcc, const ElementAVI &record, quint64 *consumed);
    int parseUnknownChunk(quint64 start, quint64 pos, quint64 garbage, quint64 end,
                          const QString &fourcc, quint32 size, quint64 *consumed);
    /// Walks the children of a list from first to the end of the innermost bound; returns the
    /// first failure among them.
    int parseListChildren(quint64 first);
    /// Walks the children of a list of type listType, unless lists are nested too deep.
    int parseListContent(quint64 first, const QString &listType);
    /// Reports the pad byte at offset after odd chunk data when size (0 or 1) is 1.
    void addPad(quint64 offset, quint64 size);
    int parseLeftover(quint64 start, quint64 end, quint64 *consumed);
    /// Reports how a chunk's fields fared inside its data (bound): the bytes they needed past
    /// its end are noted and make the result UnexpectedEnd; a failure is kept with the chunk.
    int finishChunk(const Bound &bound, quint64 data, int result);

    /// Reads the fixed structure of a chunk into buffer (structureSize bytes): at most the chunk's
    /// own data, the rest zero. Only the decoding reads the zeros; the fields reported follow
    /// the chunk's bound.
    void readStructure(quint64 offset, uint size, char *buffer, uint structureSize);
    /// Reports the chunk data after the structure (when there is any) as garbage.
    void addLeftover(quint64 offset, uint size, quint64 structureSize);
    /// Registers the frame of one "idx1" entry at the absolute chunk offset; returns false when
    /// the entry ends the index.
    bool registerIndexEntry(const char *id, quint32 flags, quint64 chunkOffset, quint32 chunkSize,
                            quint64 entry, bool *missingNoted);

    void addGarbage(quint64 offset, quint64 size);
    QString number(qint64 value) const;
    QString unsignedNumber(quint64 value) const;
    QString timeAt(double units) const;

    /// Time text "hh:mm:s.sss" of a count of seconds; empty when it is not a finite time.
    static QString timeText(double seconds);
    /// The four characters of a FourCC field, up to its first zero byte.
    static QString fourccText(const char *code);
    /// "00dc, key, 4096 bytes at 1234": an index entry's chunk in one line.
    static QString chunkSummary(const char *chunkId, bool key, quint32 size, quint64 offset);

    // Indexes and frames.
    /// The data of a "movi" list: from its type field to its end.
    struct MoviList
    {
        quint64 begin = 0;
        quint64 end = 0;
    };
    std::vector<MoviList> m_moviLists;

    /// Where the frames of a stream come from: its OpenDML standard indexes when it has any,
    /// else the first "idx1" that lists it (CurrentIdx1Source while that one is read), else the
    /// chunks of the movi lists.
    enum FrameSource { NoSource, OpenDmlSource, Idx1Source, CurrentIdx1Source };
    /// The timing fields of a stream's header and the time its frames reached so far.
    struct StreamClock
    {
        bool audio = false;     ///< an "auds" stream: dwSampleSize counts bytes per time unit
        quint32 scale = 1;      ///< dwScale: ticks of 1 / dwRate seconds per time unit
        quint32 start = 0;      ///< dwStart, in time units
        quint32 sampleSize = 0; ///< dwSampleSize
        quint64 units = 0;      ///< chunks so far, or bytes when the sample size applies
        FrameSource source = NoSource;
    };
    std::vector<StreamClock> m_clocks;
    /// Reads the chunk headers the "idx1" entries point at, which follow each other through the
    /// movi lists while the walk reads the index itself.
    FileWindow m_chunkWindow{file};
    /// Standard index entries followed so far: no more than the file has room for chunks.
    quint64 m_followedEntries = 0;

    /// Reads the timing fields of every "strh" in the header list of the first RIFF, in order,
    /// before the walk: the indexes need them to time the frames they list.
    void readStreamClocks();
    StreamClock &clockOf(int stream);
    /// Registers the chunk with data at offset as the next frame of stream, timed by its clock;
    /// an empty chunk (a dropped frame) only advances the clock.
    void registerChunk(int stream, quint64 offset, quint32 size, bool key);
    /// Decodes an "indx" or standard index chunk; follow makes the entries of a super index
    /// register the frames of the standard indexes they point at.
    int parseIndex(quint64 offset, uint size, bool follow);
    /// Registers the frames of the standard index chunk at offset (its header), bounded by
    /// limit bytes, for stream; returns whether the chunk was a readable standard index. An
    /// offset inside the super index's own chunk (superBegin to superEnd) is not followed.
    bool followStandardIndex(int stream, quint64 offset, quint64 limit, quint64 superBegin, quint64 superEnd);
    /// Decides from the first entries of an "idx1" whether its offsets count from the start
    /// of the file; checked says whether any entry confirmed the decision.
    bool idx1IsAbsolute(quint64 offset, quint64 entries, bool *checked);
    bool isVideoStream(int stream) const;
    /// Whether an "idx1" gives the frames of stream: no other source gave them before.
    bool takesIdx1(int stream);
    /// Whether a chunk with the id starts at offset.
    bool chunkAt(quint64 offset, const char *id);
    /// Registers the chunks found in the movi lists for the streams no index lists.
    void scanMoviLists();
    void scanChunks(quint64 begin, quint64 end, int depth);

    // Walker and header handlers.
    bool m_infoList = false; ///< the list being walked is an INFO list

    DispatchTable<QString, ElementAVI> m_dictionary;
    std::vector<quint32> m_knownCodes; ///< FourCCs of the dictionary as little-endian numbers
    quint64 m_moviOffset = 0;          ///< offset of the type field of the last "movi" list

    int m_streamType = NoStream;
    /// Position among all stream headers of each video stream, in the order of their headers.
    std::vector<uint> m_videoStreams;
    /// dwRate / dwScale of the last stream header; 0 when either is 0.
    double m_frameRate = 1.0;
};
