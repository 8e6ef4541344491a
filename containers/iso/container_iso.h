#pragma once

#include "container_abstract.h"
#include "dispatch_records.h"
#include "track_sample_tables.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <vector>

class ByteReader;

/// The box walker and box handlers shared by the ISO base media parsers (MP4/F4V, QuickTime,
/// 3GPP). A parser derived from it fills the box table in its constructor and says, through
/// Variant and the virtual hooks, where its format differs.
///
/// Every box becomes a group holding its header fields and then its decoded payload, its child
/// boxes or a raw "data" element. A box is never read past the end of its parent or of the file:
/// a size that claims more is cut there, the cut is noted on the box and reported as its failure.
class ContainerIso : public ContainerAbstract
{
public:
    using Box = BoxRecord<ContainerIso>;

    /// What the walker does differently from one ISO format to the next.
    struct Variant
    {
        /// A box whose type is "uuid" (in any case) carries a 16-byte user type after its size.
        bool userTypes = true;
        /// Bytes left after the fixed fields of a visual sample entry are walked as boxes from
        /// this many on; fewer are shown as one "data" element.
        quint64 nestedBoxesFrom = 9;
        /// QuickTime layouts first where a box has two: "meta" without version and flags
        /// unless its content says otherwise, text atoms in "udta".
        bool quickTime = false;
    };

    explicit ContainerIso(const Variant &variant);
    ~ContainerIso() override;

protected:
    int findBeginOfContainer(qint64 *offset) override;
    int parseElement(quint64 *size) override;
    void prepareParsing() override;
    void finalizeParsing() override;

    /// Accepts the file (0) when the suffix of its name, lower-cased, is one of suffixes and the
    /// file starts with a plausible box header, and then writes "Container format:\t<label>\n"
    /// to standard error; otherwise returns 3.
    int verifySuffix(const QString &fileName, const QStringList &suffixes, const char *label);

    /// One row of the box table; a later row for the same type replaces the earlier one.
    void addBox(const char *type, int elementType, int kind, Box::Handler handler);

    /// The box type: four bytes at offset as text, up to the first zero byte.
    int getID(quint64 offset, QString *id);
    /// A big-endian number of bytes bytes (at most 8) at offset.
    int getSize(quint64 offset, quint64 *size, uchar bytes);
    int getUUID(quint64 offset, QUuid *uuid);
    int searchID(const QString &type, Box *out);

    int parseJunk(quint64 offset, quint64 size);
    int parseUnknownObject(quint64 offset, quint64 size);

    int parseFileType(quint64 offset, quint64 size);
    int parseBoxMDAT(quint64 offset, quint64 size);
    int parseBoxMVHD(quint64 offset, quint64 size);
    int parseBoxTKHD(quint64 offset, quint64 size);
    int parseBoxMDHD(quint64 offset, quint64 size);
    int parseBoxHDLR(quint64 offset, quint64 size);
    int parseBoxVMHD(quint64 offset, quint64 size);
    int parseBoxSMHD(quint64 offset, quint64 size);
    int parseBoxELST(quint64 offset, quint64 size);

    int parseBoxSTTS(quint64 offset, quint64 size);
    int parseBoxSTSC(quint64 offset, quint64 size);
    int parseBoxSTSZ(quint64 offset, quint64 size);
    int parseBoxSTCO(quint64 offset, quint64 size);
    int parseBoxCO64(quint64 offset, quint64 size);
    int parseBoxSTSS(quint64 offset, quint64 size);

    int parseBoxSTSD(quint64 offset, quint64 size);
    int parseBoxAVCC(quint64 offset, quint64 size);
    int parseBoxD263(quint64 offset, quint64 size);
    int parseBoxBITR(quint64 offset, quint64 size);

    /// Rows of the box table for the boxes decoded in each of the files named; every parser
    /// adds all of them after its own rows.
    void addCodecConfigurationBoxes(); // container_iso_codec_config.cpp
    void addMetadataBoxes();           // container_iso_metadata.cpp
    void addSampleTableBoxes();        // container_iso_sample_tables.cpp
    void addFragmentBoxes();           // container_iso_fragments.cpp
    /// All four.
    void addDecodedBoxes();

    // Codec configuration boxes and sample entries (container_iso_codec_config.cpp).
    // -- end of codec configuration boxes --

    // Metadata boxes (container_iso_metadata.cpp).
    // -- end of metadata boxes --

    // Sample table boxes (container_iso_sample_tables.cpp).
    // -- end of sample table boxes --

    // Movie fragments and segment indexes (container_iso_fragments.cpp).
    /// Registers the samples the movie fragments gave the track, after those of its tables.
    void registerFragmentSamples(const TrackSampleTables &tables);
    int parseBoxMEHD(quint64 offset, quint64 size);
    int parseBoxTREX(quint64 offset, quint64 size);
    int parseBoxMOOF(quint64 offset, quint64 size);
    int parseBoxMFHD(quint64 offset, quint64 size);
    int parseBoxTRAF(quint64 offset, quint64 size);
    int parseBoxTFHD(quint64 offset, quint64 size);
    int parseBoxTFDT(quint64 offset, quint64 size);
    int parseBoxTRUN(quint64 offset, quint64 size);
    int parseBoxSIDX(quint64 offset, quint64 size);
    int parseBoxSSIX(quint64 offset, quint64 size);
    int parseBoxEMSG(quint64 offset, quint64 size);
    int parseBoxPRFT(quint64 offset, quint64 size);
    int parseBoxTFRA(quint64 offset, quint64 size);
    int parseBoxMFRO(quint64 offset, quint64 size);
    int parseBoxPSSH(quint64 offset, quint64 size);
    int parseBoxSENC(quint64 offset, quint64 size);
    /// A 32-bit sample flags word at offset as a group of its bit fields.
    void addSampleFlags(quint64 offset, const QString &name, quint32 flags);
    struct FlagName
    {
        uint bit;
        const char *name;
    };
    /// The flags of the full box whose payload begins at payload, one bit field per flag named.
    void addBoxFlags(quint64 payload, uint flags, std::initializer_list<FlagName> names);
    /// The fragment track of the "traf" being walked, or null.
    TrackSampleTables *fragmentTrack();

    /// Where the walk stands in the movie fragment and the track fragment being read.
    struct FragmentCursor
    {
        quint64 moofStart = 0;       ///< first byte of the enclosing "moof"
        quint64 previousTrafEnd = 0; ///< end of the data of the preceding "traf" of that "moof"
        int track = -1;              ///< the "traf"'s track in m_tracks, -1 for none
        quint64 base = 0;            ///< base data offset of the "traf"
        quint64 dataEnd = 0;         ///< end of the data of its last "trun"
        bool firstRun = true;        ///< no "trun" of the "traf" seen yet
        quint32 defaultDuration = 0; ///< "tfhd" defaults, else "trex"
        quint32 defaultSize = 0;
        quint32 defaultFlags = 0;
    };
    FragmentCursor m_fragment;
    // -- end of movie fragment boxes --

    /// Walks the boxes from begin to the end of the innermost bound; returns the first failure.
    int walkBoxes(quint64 begin);

    /// The type of the box up levels above the one being parsed: 0 is the box itself, 1 its
    /// parent; empty above the top level.
    QString enclosingBox(int up = 1) const;

    /// Shows the 32-bit "entry_count" at offset and returns the count claimed there.
    quint32 addEntryCount(quint64 offset, const ByteReader &reader, qsizetype at = 0);
    /// The entries of a table: of claimed entries of entrySize bytes from first (relative to the
    /// payload, payloadSize bytes), those that lie in the payload; a note says when fewer than
    /// claimed do. Calls each(i, at) with at relative to the payload. Returns how many it walked.
    template <typename Each>
    quint64 forEachEntry(quint64 claimed, quint64 first, quint64 payloadSize, quint64 entrySize, Each each)
    {
        const quint64 count = fitEntries(claimed, payloadSize > first ? payloadSize - first : 0, entrySize);
        for (quint64 i = 0; i < count; ++i)
            each(i, first + i * entrySize);
        return count;
    }

    /// The track whose "trak" box has the track_ID given, or null.
    TrackSampleTables *trackById(quint32 trackId);

    /// Whether the sample walk registers the frames of this track.
    virtual bool walksTrack(const TrackSampleTables &tables) const;

    /// The track whose "trak" box is being walked, or null outside every track.
    TrackSampleTables *currentTrack();
    /// The stream record of the current track, or null outside every track.
    StreamRecord *currentStream();

    uint fullBoxVersion = 0;
    uint fullBoxFlags = 0;
    bool fullBox = false;

    QString number(quint64 value) const;
    QString signedNumber(qint64 value) const;
    QString fixed16(quint32 value, bool signedHalves) const;
    QString fixed8(quint16 value, bool signedHalves) const;
    QString wordList(const ByteReader &reader, qsizetype at, int count) const;
    quint64 fitEntries(quint64 claimed, quint64 bytes, quint64 entrySize);

    Variant m_variant;
    std::vector<TrackSampleTables> m_tracks;

private:
    /// What the header of the box at start says, read without reporting anything.
    struct BoxHeader
    {
        quint64 start = 0;
        quint64 sizeField = 0;    ///< the 32-bit size as stored
        quint64 declaredSize = 0; ///< the size it gives: big_size, or up to the end of the file
        quint64 size = 0;         ///< the bytes of it inside its parent
        quint64 length = 0;       ///< header bytes up to the payload (version and flags once reported)
        QString type;
        QString sizeNote;
        QUuid uuid;
        bool big = false;
        bool userType = false;
        bool walkable = false; ///< the size covers at least the header
    };
    bool startsWithBox(const QString &fileName);
    BoxHeader readBoxHeader(quint64 start);
    bool metaIsFullBox(quint64 payload);
    /// Shows the header fields; for a full box reads version and flags and counts them in.
    void reportBoxHeader(BoxHeader *header, bool full);
    /// The payload by the box's table row (null for a type the table does not hold).
    int parsePayload(const BoxHeader &header, const Box *record);
    /// Fewer bytes than a box header left in the parent, at start.
    int parseTail(quint64 start, quint64 room);
    /// Whether a list of boxes of this type may end with a zero word.
    static bool endsWithTerminator(const QString &parent);

    /// The media handler, the first "hdlr" in the track's "mdia", says what the track holds; a
    /// data handler in "minf" or a metadata handler in "udta/meta" changes nothing.
    void handlerFound(const QString &handlerType);
    /// "stco" and "co64": entry_count, then one chunk offset of entryBytes (4 or 8) per chunk.
    int parseChunkOffsets(quint64 offset, quint64 size, int entryBytes);
    /// The sample entry at entryStart in the "stsd" payload: entrySize bytes of it lie in the
    /// box, claimed bytes its size field gives (more when it runs past the box).
    int walkSampleEntry(const QByteArray &payload, quint64 payloadOffset, quint64 entryStart,
                        quint64 entrySize, quint64 claimed, qint64 index, bool video);
    void walkTrackSamples(const TrackSampleTables &tables);

    DispatchTable<QString, Box> m_boxes;
    std::vector<QString> m_boxPath; ///< types of the boxes being parsed, outermost first
    int m_openTracks = 0;
};
