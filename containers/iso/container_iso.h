#pragma once

#include "codec_config.h"
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
    int parseBoxGMIN(quint64 offset, quint64 size);
    int parseBoxDREF(quint64 offset, quint64 size);
    int parseBoxDataEntry(quint64 offset, quint64 size);
    int parseBoxGmhdText(quint64 offset, quint64 size);
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
    // Sample entries (container_iso_sample_descriptions.cpp).
    /// The fields after the box header of the sample entry at e, entrySize bytes of which lie in
    /// the "stsd" box and are read by reader, by the kind of entry.
    int walkVisualEntry(quint64 e, const ByteReader &reader, quint64 entrySize);
    /// descriptionVersion is the version of "stsd": 0 leaves the sound description version to
    /// QuickTime's layouts, 1 is the ISO/IEC 14496-12 AudioSampleEntryV1.
    int walkSoundEntry(quint64 e, const ByteReader &reader, quint64 entrySize, uint descriptionVersion);
    int walkOtherEntry(quint64 e, const ByteReader &reader, quint64 entrySize, const QString &type);
    /// The bytes of the entry from from on: child boxes in a "specific_config_data" group, or
    /// one "data" element when they are too few for a box.
    int walkEntryBoxes(quint64 e, quint64 from, quint64 entrySize);
    /// The 3GPP timed text and QuickTime text fields after data_reference_index; return the
    /// position after them.
    qsizetype addTimedTextFields(quint64 e, const ByteReader &reader);
    qsizetype addQuickTimeTextFields(quint64 e, const ByteReader &reader, quint64 entrySize);
    int parseBoxFTAB(quint64 offset, quint64 size);

    // Codec configuration boxes (container_iso_codec_config.cpp); the records that Matroska
    // carries too are decoded by CodecConfigFields.
    int parseBoxHVCC(quint64 offset, quint64 size);
    int parseBoxAV1C(quint64 offset, quint64 size);
    int parseBoxVPCC(quint64 offset, quint64 size);
    int parseBoxDOPS(quint64 offset, quint64 size);
    int parseBoxDFLA(quint64 offset, quint64 size);
    int parseBoxDAC3(quint64 offset, quint64 size);
    int parseBoxDEC3(quint64 offset, quint64 size);
    int parseBoxESDS(quint64 offset, quint64 size);
    int parseBoxIODS(quint64 offset, quint64 size);
    int parseBoxBTRT(quint64 offset, quint64 size);
    int parseBoxPASP(quint64 offset, quint64 size);
    int parseBoxCLAP(quint64 offset, quint64 size);
    int parseBoxCOLR(quint64 offset, quint64 size);
    int parseBoxFIEL(quint64 offset, quint64 size);
    int parseBoxGAMA(quint64 offset, quint64 size);
    int parseBoxCHAN(quint64 offset, quint64 size);
    int parseBoxWAVE(quint64 offset, quint64 size);
    int parseBoxFRMA(quint64 offset, quint64 size);
    int parseBoxENDA(quint64 offset, quint64 size);
    int parseBoxMDCV(quint64 offset, quint64 size);
    int parseBoxCLLI(quint64 offset, quint64 size);
    int parseBoxSMDM(quint64 offset, quint64 size);
    int parseBoxSCHM(quint64 offset, quint64 size);
    int parseBoxTENC(quint64 offset, quint64 size);
    /// "vttC", "vlab", "txtC": one string, the rest of the box.
    int parseTextConfiguration(quint64 offset, quint64 size);

    /// Shows the big-endian number of bytes bytes (at most 8) at at in the payload reader reads,
    /// which begins at offset; readable, when given, names its value. Returns the value.
    quint64 addNumber(quint64 offset, const ByteReader &reader, qsizetype at, int bytes, const QString &name,
                      QString (*readable)(quint64) = nullptr);
    /// The same for the next count bits of bits, over a payload that begins at offset.
    quint64 addBits(quint64 offset, BitCursor &bits, int count, const QString &name,
                    QString (*readable)(quint64) = nullptr);
    /// A zero-terminated UTF-8 string from at, ending at end at the latest; returns the
    /// position after its zero byte.
    qsizetype addCString(quint64 offset, const ByteReader &reader, qsizetype at, qsizetype end, const QString &name);
    /// The MPEG-4 descriptors (ISO/IEC 14496-1, 7.2.6) from at to end in the payload reader
    /// reads; objectType is the objectTypeIndication of the enclosing decoder configuration,
    /// which says what a DecoderSpecificInfo holds. whole becomes false when a descriptor or
    /// its fields claim more bytes than there are.
    void walkDescriptors(quint64 offset, const ByteReader &reader, qsizetype at, qsizetype end, quint8 objectType,
                         bool *whole);
    qsizetype walkDescriptor(quint64 offset, const ByteReader &reader, qsizetype at, qsizetype end, quint8 objectType,
                             bool *whole);
    void addDescriptorFields(quint64 offset, const ByteReader &reader, quint8 tag, qsizetype at, qsizetype end,
                             quint8 objectType, bool *whole);

    /// A group named name of size bytes at offset, cut where the innermost bound ends (with a
    /// note), left out when none of its bytes is there; fields() reports its fields, bounded by
    /// the group's end, and a note says what they needed past it. Returns false when the group
    /// or its fields claimed bytes that are not there.
    template <typename Fields>
    bool addGroup(quint64 offset, quint64 size, const QString &name, qint64 index, Fields fields)
    {
        return CodecConfigFields::addGroup(*this, offset, size, name, index, fields);
    }
    // -- end of codec configuration boxes --

    // Metadata boxes (container_iso_metadata.cpp).
    /// The readable form of a 16-bit language code: the ISO 639-2/T code of a packed one (three
    /// 5-bit letters, each 0x60 less), the name of a Macintosh language code (below 0x400),
    /// "unspecified" for 0x7FFF; empty for a code that is none of these.
    static QString languageName(quint16 code);
    /// The value column of a language code: the letters of a packed ISO code, else the number.
    QString languageValue(quint16 code) const;
    /// The 16-bit word at offset as pad(1) and a packed ISO language(15), two bit fields.
    void addPackedLanguage(quint64 offset, quint16 word);
    /// The exact decimal of a fixed-point number with fractionBits fraction bits: 0x18000 with
    /// 16 bits is "1.5", -0x8000 is "-0.5", 0x100 with 8 bits is "1".
    static QString fixedPointText(qint64 raw, int fractionBits);
    /// The payload of a "uuid" box whose user type is decoded here (XMP metadata); returns
    /// Status::NotThisFormat, having reported nothing, for any other user type.
    int parseUserTypeBox(const QUuid &userType, quint64 offset, quint64 size);

    int parseBoxCHPL(quint64 offset, quint64 size);
    int parseTextAtom(quint64 offset, quint64 size);
    int parseBoxNAME(quint64 offset, quint64 size);
    int parseBoxMEAN(quint64 offset, quint64 size);
    int parseBoxDATA(quint64 offset, quint64 size);
    int parseBoxKEYS(quint64 offset, quint64 size);
    int parseKeyedItem(quint64 offset, quint64 size);
    int parseBoxID32(quint64 offset, quint64 size);
    int parseBoxXMP(quint64 offset, quint64 size);
    int parseAssetText(quint64 offset, quint64 size);
    int parseAssetOrItem(quint64 offset, quint64 size);
    int parseBoxALBM(quint64 offset, quint64 size);
    int parseBoxYRRC(quint64 offset, quint64 size);
    int parseBoxRTNG(quint64 offset, quint64 size);
    int parseBoxCLSF(quint64 offset, quint64 size);
    int parseBoxKYWD(quint64 offset, quint64 size);
    int parseBoxLOCI(quint64 offset, quint64 size);
    int parseApertureDimensions(quint64 offset, quint64 size);
    int parseBoxLOAD(quint64 offset, quint64 size);
    int parseBoxPTV(quint64 offset, quint64 size);
    int parsePlaybackFlag(quint64 offset, quint64 size);
    /// Up to displayLimit of the size bytes at offset as text: UTF-16 after the byte order mark
    /// 0xFEFF, else Mac Roman when macEncoding, else UTF-8.
    QString textAt(quint64 offset, quint64 size, bool macEncoding = false);
    /// Shows the zero-terminated string at from that ends by end as the field name (the
    /// terminator included); returns the offset after it.
    quint64 addString(quint64 from, quint64 end, const QString &name);
    /// Shows version and flags at offset for a box that is a full box in one place only.
    void addVersionAndFlags(quint64 offset);
    /// Four bytes as characters when all are printable, else empty.
    static QString printableCode(quint32 code);
    /// The name at the end of a "hdlr" (container_iso_headers.cpp): a Pascal string for a
    /// QuickTime component, else zero-terminated.
    void addHandlerName(const ByteReader &reader, quint64 offset, quint64 size, bool component);
    /// The key names of the last "keys" box: the items of an "ilst" after it name them by index.
    QStringList m_metadataKeys;
    // -- end of metadata boxes --

    // Sample table boxes (container_iso_sample_tables.cpp).
    int parseBoxCTTS(quint64 offset, quint64 size);
    int parseBoxCSLG(quint64 offset, quint64 size);
    int parseBoxSTPS(quint64 offset, quint64 size);
    int parseBoxSDTP(quint64 offset, quint64 size);
    int parseBoxSTDP(quint64 offset, quint64 size);
    int parseBoxSTSH(quint64 offset, quint64 size);
    int parseBoxSTZ2(quint64 offset, quint64 size);
    int parseBoxPADB(quint64 offset, quint64 size);
    int parseBoxSBGP(quint64 offset, quint64 size);
    int parseBoxSGPD(quint64 offset, quint64 size);
    int parseBoxSUBS(quint64 offset, quint64 size);
    int parseBoxSAIZ(quint64 offset, quint64 size);
    int parseBoxSAIO(quint64 offset, quint64 size);
    /// A box of a reference type inside "tref": the track_IDs it refers to. Elsewhere it is
    /// shown as the walker shows a box it does not know.
    int parseTrackReference(quint64 offset, quint64 size);
    /// "stss" and "stps": entry_count, then one 1-based sample_number per entry; kept in
    /// samples when given.
    void addSampleNumbers(quint64 offset, quint64 size, std::vector<quint32> *samples);
    /// How many of the per-sample entries of entrySize bytes in bytes bytes to show: the track's
    /// sample count when its sample size table has been seen (cut to the bytes, with a note),
    /// else as many as the bytes hold.
    quint64 perSampleEntries(quint64 bytes, quint64 entrySize);
    /// "saiz" and "saio" with flags & 1: aux_info_type and aux_info_type_parameter. Returns the
    /// bytes they take.
    quint64 addAuxInfoType(quint64 offset, const ByteReader &reader);
    /// One sample group description entry of groupingType, length bytes at offset (at in
    /// reader); the fields it does not decode are shown as "data".
    void addSampleGroupEntry(const QString &groupingType, quint64 offset, const ByteReader &reader,
                             qsizetype at, quint64 length);
    /// Makes the tracks that "chap" references name data streams, as chapter lists are.
    void markChapterTracks();
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
        bool hasHeader = false;      ///< the "traf" has had its "tfhd"
        int track = -1;              ///< the "traf"'s track in m_tracks, -1 for none
        quint64 base = 0;            ///< base data offset of the "traf"
        quint64 dataEnd = 0;         ///< end of the data of its last "trun"
        bool firstRun = true;        ///< no "trun" of the "traf" seen yet
        quint32 defaultDuration = 0; ///< "tfhd" defaults, else "trex"
        quint32 defaultSize = 0;
        quint32 defaultFlags = 0;
    };
    FragmentCursor m_fragment;
    /// Samples the runs without per-sample fields gave so far.
    quint64 m_samplesWithoutFields = 0;
    // -- end of movie fragment boxes --

    /// Walks the boxes from begin to the end of the innermost bound; returns the first failure.
    int walkBoxes(quint64 begin);

    /// The payload of a box of a type the table does not hold: a registered type's bytes as data,
    /// any other's as "Unknown element!".
    int parseUnrecordedPayload(const QString &type, quint64 offset, quint64 size);

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
    /// The name of a "uuid" box's user type that is known without being decoded; empty if none.
    static QString userTypeName(const QUuid &userType);
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
    /// box, claimed bytes its size field gives (more when it runs past the box); its fields
    /// follow the kind of the track, or for a track neither video nor sound, its type.
    int walkSampleEntry(const QByteArray &payload, quint64 payloadOffset, quint64 entryStart,
                        quint64 entrySize, quint64 claimed, qint64 index, uint descriptionVersion);
    void walkTrackSamples(const TrackSampleTables &tables);

    DispatchTable<QString, Box> m_boxes;
    std::vector<QString> m_boxPath; ///< types of the boxes being parsed, outermost first
    int m_openTracks = 0;
};
