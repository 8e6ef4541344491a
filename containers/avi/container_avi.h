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
/// Every stream header begins a stream; the "idx1" entries register the frames of every stream
/// as frames of the stream row its header began.
class ContainerAVI : public ContainerAbstract
{
public:
    using ElementAVI = ChunkRecord<ContainerAVI>;

    ContainerAVI();
    ~ContainerAVI() override;

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
    int parseListINFO(quint64 offset, uint size);

    int parseChunkAVIH(quint64 offset, uint size);
    int parseChunkSTRH(quint64 offset, uint size);
    int parseChunkSTRF(quint64 offset, uint size);
    int parseChunkSTRF_video(quint64 offset, uint size);
    int parseChunkSTRF_audio(quint64 offset, uint size);
    int parseChunkVPRP(quint64 offset, uint size);
    int parseChunkDMLH(quint64 offset, uint size);

    int parseChunkIDX1(quint64 offset, uint size);
    int parseChunkINDX(quint64 offset, uint size);
    /// An OpenDML standard index chunk ("ix00", "00ix", ...) met in the walk.
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
    /// Registers the frame of one "idx1" entry; returns false when the entry ends the index.
    bool registerIndexEntry(const char *id, quint32 flags, quint32 chunkOffset, quint32 chunkSize,
                            quint64 entry, bool *missingNoted);

    void addGarbage(quint64 offset, quint64 size);
    QString number(qint64 value) const;
    QString unsignedNumber(quint64 value) const;
    QString timeAt(double units) const;

    /// Time text "hh:mm:s.sss" of a count of seconds; empty when it is not a finite time.
    static QString timeText(double seconds);
    /// The four characters of a FourCC field, up to its first zero byte.
    static QString fourccText(const char *code);

    // HELPER-REGION indexes: state of the indexes and frames.
    /// The data of a "movi" list: from its type field to its end.
    struct MoviList
    {
        quint64 begin = 0;
        quint64 end = 0;
    };
    std::vector<MoviList> m_moviLists;
    // END-REGION indexes

    // HELPER-REGION headers: state of the walker and header handlers.
    // END-REGION headers

    DispatchTable<QString, ElementAVI> m_dictionary;
    std::vector<quint32> m_knownCodes; ///< FourCCs of the dictionary as little-endian numbers
    quint64 m_moviOffset = 0;          ///< offset of the type field of the last "movi" list

    int m_streamType = NoStream;
    /// Position among all stream headers of each video stream, in the order of their headers.
    std::vector<uint> m_videoStreams;
    /// dwRate / dwScale of the last stream header; 0 when either is 0.
    double m_frameRate = 1.0;
};
