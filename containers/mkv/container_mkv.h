#pragma once

#include "container_abstract.h"
#include "dispatch_records.h"
#include "summary_text.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <vector>

/// Parser of Matroska and WebM files: a walk over EBML elements driven by a dictionary of
/// Matroska element definitions, with handlers for tracks, codecs and blocks.
///
/// Every element becomes a group with an "id" and a "size" field, followed by its value or its
/// children. Sizes read from the file are never trusted: an element ends at the latest where its
/// parent and the file end, and a damaged element is shown as far as it goes, with a note.
class ContainerMKV : public ContainerAbstract
{
public:
    using ElementMKV = EbmlRecord<ContainerMKV>;

    ContainerMKV();
    ~ContainerMKV() override;

    /// The element dictionary, keyed by EBML identifier (length-marker bits included).
    const DispatchTable<quint32, ElementMKV> &dictionary() const { return m_dictionary; }

protected:
    int verifyContainerFormat(const QString &fileName) override;
    int findBeginOfContainer(qint64 *begin) override;
    int parseElement(quint64 *consumed) override;
    void prepareParsing() override;
    void finalizeParsing() override;

    /// Reads the identifier at offset, of an element that ends at the latest at end. Returns 6
    /// for an identifier longer than 4 bytes (outputs untouched) and 5 for one cut by end
    /// (only *length is set, when its first byte exists); both outputs are set on success.
    int getID(quint64 offset, quint64 end, quint32 *id, uchar *length);
    /// Reads a variable-size integer at offset with its length marker removed, of an element
    /// that ends at the latest at end. Returns 5 when it is cut by end (the outputs then hold
    /// the bytes that exist, the missing ones taken as 0; untouched when not even the first
    /// byte exists) and 6 when its first byte is 0 (longer than 8 bytes; the outputs then hold
    /// the eight bytes read as if they had a marker).
    int getEBMLelement(quint64 offset, quint64 end, quint64 *value, uchar *length);
    /// Length (1..8) of a variable-size field beginning with this byte.
    static uchar getEBMLsize(uchar firstByte);
    int searchID(quint32 id, ElementMKV *out) const;
    int parseUnknownObject(quint64 offset, quint64 size);

    int parseJunk(ElementMKV *element);
    int parseData(ElementMKV *element);
    int reportValue(ElementMKV *element);
    int reportValueSInteger(ElementMKV *element);
    int reportValueUInteger(ElementMKV *element);
    int reportValueFloat(ElementMKV *element);
    int reportValueString(ElementMKV *element);
    int reportValueUTF8(ElementMKV *element);
    int reportValueBinary(ElementMKV *element);
    int reportValueDate(ElementMKV *element);

    int parseTrackEntry(ElementMKV *element);
    int parseTrackNumber(ElementMKV *element);
    int parseTrackType(ElementMKV *element);
    int parseDefaultDuration(ElementMKV *element);
    int parseTrackTimecodeScale(ElementMKV *element);
    // Codecs (container_mkv_codecs.cpp).
    int parseCodecID(ElementMKV *element);
    int parseCodecPrivate(ElementMKV *element);
    int parsePixelWidth(ElementMKV *element);
    int parsePixelHeight(ElementMKV *element);
    int parseDisplayUnit(ElementMKV *element);
    int parseSamplingFrequency(ElementMKV *element);
    int parseChannels(ElementMKV *element);
    int parseBlock(ElementMKV *element);
    /// "TimecodeScale": nanoseconds per tick of the segment's timestamps.
    int parseTimecodeScale(ElementMKV *element);

    // Blocks, lacing and frame times (container_mkv_tracks.cpp).
    int parseCluster(ElementMKV *element);
    /// "Timecode" of a Cluster: the timestamp its blocks count from, in segment ticks.
    int parseClusterTimestamp(ElementMKV *element);
    /// "BlockDuration" of a BlockGroup, in track ticks.
    int parseBlockDuration(ElementMKV *element);

    // Readable values (container_mkv_values.cpp).
    /// "Segment": positions in the segment count from its first data byte.
    int parseSegment(ElementMKV *element);
    int parseDate(ElementMKV *element);
    int parseNanoseconds(ElementMKV *element);
    int parseSignedNanoseconds(ElementMKV *element);
    /// An unsigned count of segment ticks.
    int parseTicks(ElementMKV *element);
    /// A signed count of segment ticks, relative to the block it belongs to.
    int parseSignedTicks(ElementMKV *element);
    /// "Duration" of the segment, a float in segment ticks.
    int parseSegmentDuration(ElementMKV *element);
    /// A position in the segment; its readable value is the absolute file offset.
    int parseSegmentPosition(ElementMKV *element);
    int parseCueRelativePosition(ElementMKV *element);
    int parseSeekID(ElementMKV *element);
    /// A 0-or-1 flag shown as "yes" or "no".
    int parseFlag(ElementMKV *element);
    int parseTagName(ElementMKV *element);
    int parseTagString(ElementMKV *element);

    /// The label the format gives value of the enumerated element id, or an empty string
    /// (container_mkv_dictionary.cpp).
    static QString enumLabel(quint32 id, quint64 value);
    /// Nanoseconds as h:mm:ss.nnnnnnnnn.
    static QString nanosecondsText(qint64 nanoseconds);
    /// Nanoseconds rounded to milliseconds, as h:mm:ss.mmm.
    static void appendMilliseconds(SummaryText &summary, qint64 nanoseconds);
    /// Segment ticks as h:mm:ss.nnnnnnnnn at the segment's scale.
    QString ticksText(double ticks) const;

private:
    /// The frames of one block, as they wait to be registered: a block met before its track
    /// was described, or the Block of a BlockGroup until the group ends.
    struct PendingFrame
    {
        quint64 offset = 0;   ///< first byte after the block header
        quint64 size = 0;     ///< bytes after the block header
        qint64 time = 0;      ///< the block's timestamp, in segment ticks
        quint64 duration = 0; ///< the block's BlockDuration, 0 for none
        uchar lacing = 0;     ///< 0 none, 1 Xiph, 2 fixed-size, 3 EBML
        bool key = false;
    };

    /// The Block of the BlockGroup being walked. Its key-frame flag and duration are known only
    /// at the end of the group: a Block is a key frame unless a ReferenceBlock accompanies it,
    /// and a BlockDuration may follow it.
    struct GroupBlock
    {
        bool open = false;
        bool hasBlock = false;
        bool referenced = false;
        uchar flags = 0;      ///< the Block's flag byte
        quint64 track = 0;
        quint64 duration = 0; ///< the group's BlockDuration, 0 for none
        PendingFrame block;
    };

    /// What the identifier and size fields of an element say.
    struct ElementHeader
    {
        quint32 id = 0;
        uchar idLength = 0;   ///< 0 when the identifier cannot be read
        uchar sizeLength = 0; ///< 0 when the size field cannot be read
        quint64 claimed = 0;  ///< the size field's value
        quint64 claimedTotal = 0;
        int idStatus = 0;
        int sizeStatus = 0;
        bool cut = false; ///< the header itself runs past the parent or the file
        bool unknownSize = false;
        bool known = false; ///< the dictionary holds the identifier
    };
    /// Reads the header at start and fills the element's row, offsets and sizes; records nothing.
    ElementHeader readElementHeader(quint64 start, quint64 end, ElementMKV *element);
    /// The id and size fields and what the header says about the element, in its open group.
    int reportElementHeader(const ElementMKV &element, const ElementHeader &header);
    /// The value or the children, by the element's dictionary row.
    int parsePayload(ElementMKV *element, const ElementHeader &header);
    /// "0x55B0": the name of an identifier the dictionary does not hold.
    static QString hexName(quint32 id);
    QString identifierBytes(quint64 start, quint64 end);

    /// The element a position points at: its identifier and header length, when readable.
    struct Target
    {
        quint64 offset = 0;
        quint32 id = 0;
        quint64 headerSize = 0;
        bool valid = false;
    };
    /// The SimpleTag being walked: its name and string, for its readable "NAME = value".
    struct Tag
    {
        QString name;
        QString value;
    };
    Target elementAt(quint64 offset);
    QString elementName(quint32 id) const;
    QString targetText(quint64 offset, const Target &target) const;
    /// Reads the element's value as a signed integer of its length.
    int readSigned(const ElementMKV *element, qint64 *value);
    int reportTagText(ElementMKV *element, QString *text);
    static QByteArray cutAtZero(const QByteArray &bytes);

    void buildDictionary();
    void add(quint32 id, int type, ElementMKV::Handler handler, const char *name,
             const char *description = nullptr);

    int walkChildren(ElementMKV *element, quint32 id, bool unknownSize);
    bool endsUnknownSize(quint32 parentId, quint64 offset, quint64 end);
    /// Whether the data of element run past its parent or the file.
    bool dataCut(const ElementMKV *element) const;
    void addValue(const ElementMKV *element, const QString &text,
                  const QString &description = QString());
    /// Reads the element's unsigned value into *value and reports it as its "value" field.
    int reportUnsigned(ElementMKV *element, quint64 *value);
    int readInteger(const ElementMKV *element, quint64 *value);
    int readFloat(const ElementMKV *element, double *value);
    int readText(const ElementMKV *element, quint64 limit, QByteArray *bytes);
    int reportCutNumber(const ElementMKV *element);

    void completeTrack(quint64 number);
    /// Registers the frames of a block of this track, or keeps them until the track is known.
    /// lacesRead: m_laces holds the block's laces already.
    void blockFrames(quint64 track, const PendingFrame &block, bool lacesRead);
    void registerBlockFrames(int stream, const PendingFrame &block, bool lacesRead);
    void finishGroupBlock();
    int currentStream() const;

    quint64 m_segmentData = 0;  ///< first data byte of the segment being walked
    quint32 m_seekId = 0;       ///< identifier the seek entry being walked names, or 0
    quint64 m_cueCluster = 0;   ///< first data byte of the cue's cluster, or 0 when not known
    Target m_lastTarget;
    Tag m_tag;

    // Blocks, lacing and frame times.
    /// What is wrong with a block's laces. Cut: the block itself is cut short by its parent or
    /// the file, which the walker notes; the others are damage of the lace header.
    enum class LaceFault { None, Cut, NoCount, SizeCut, SizeTooLong, NegativeSize, SizesTooLarge,
                           TooManyFrames, Uneven };
    /// A stored lace size: where it lies, the number it stores (a signed difference for all
    /// but the first EBML size) and the size of the frame it gives.
    struct LaceSize
    {
        quint64 offset = 0;
        quint64 length = 0;
        qint64 stored = 0;
        quint64 size = 0;
    };
    struct LaceFrame
    {
        quint64 offset = 0;
        quint64 size = 0;
    };
    /// The laces of the last block split; a lace count of one byte bounds them to 256 frames.
    struct Laces
    {
        int frames = 0; ///< frames the block claims, 0 when not even its lace count exists
        int sizes = 0;  ///< stored sizes read
        int whole = 0;  ///< frames known to lie wholly inside the block
        LaceFault fault = LaceFault::None;
        int faultFrame = 0;   ///< the frame the fault concerns
        quint64 claimed = 0;  ///< bytes the stored sizes claim, when they are too large
        quint64 held = 0;     ///< bytes that follow the lace header
        qint64 negative = 0;  ///< the negative size an EBML difference gives
        LaceSize size[255];
        LaceFrame frame[256];
    };

    /// Splits the size bytes of block data at begin, of which held exist, into m_laces;
    /// lacing 0 is one frame.
    void splitLaces(quint64 begin, quint64 size, quint64 held, uchar lacing);
    LaceFault readXiphSizes(quint64 *pos, quint64 end);
    LaceFault readEbmlSizes(quint64 *pos, quint64 end);
    /// The frames after the lace header at dataStart, of a block whose data end at end.
    void placeLaces(quint64 dataStart, quint64 end, uchar lacing);
    /// The "data" group of a laced block: lace count, sizes and frames, and a note on damage.
    int reportLaces(quint64 begin, quint64 size, uchar lacing);
    QString laceFaultText() const;
    /// "track 1, 0:00:01.040, key, Xiph lacing": the one line of a block's row, of a block at
    /// time segment ticks with this flag byte.
    QString blockSummary(quint64 track, qint64 time, uchar flags) const;
    /// The duration of the whole block in ticks: its BlockDuration, or the track's
    /// DefaultDuration for each of its frames.
    quint64 blockTicks(int stream, const PendingFrame &block, int frames) const;
    /// The DefaultDuration of the TrackEntry being walked, read ahead of the walk.
    quint64 entryDefaultDuration();
    void setDefaultDuration(int stream, quint64 nanoseconds);

    Laces m_laces;
    quint64 m_clusterTime = 0;              ///< timestamp of the cluster being walked, in ticks
    quint64 m_entryStart = 0;               ///< first data byte of the TrackEntry being walked
    std::vector<quint64> m_defaultDurations; ///< stream -> DefaultDuration in nanoseconds, 0 for none

    // Codec handlers.
    /// Decodes the CodecPrivate element's data by the CodecID of its TrackEntry; returns
    /// Status::UnexpectedEnd when the decoded fields need bytes past the element.
    int decodeCodecPrivate(const ElementMKV *element, const QString &codec);
    /// The CodecID of the TrackEntry being walked, with the stream that entry began: a CodecID
    /// of another entry says nothing about this one's CodecPrivate.
    int m_codecStream = -1;
    QString m_codecId;

    DispatchTable<quint32, ElementMKV> m_dictionary;

    quint32 m_currentId = 0;    ///< identifier of the element whose handler runs
    QVector<QString> m_flagTexts;

    QHash<quint64, int> m_trackStreams;     ///< track number -> stream its first entry began
    quint64 m_trackNumber = 0;
    quint64 m_trackType = 0;
    int m_entryStream = -1;                 ///< stream of the TrackEntry being walked, or -1
    quint64 m_timecodeScale = 1000000;      ///< nanoseconds per tick of the segment's timestamps
    /// Blocks of tracks not described yet, held back until their TrackEntry comes.
    QHash<quint64, std::vector<PendingFrame>> m_pending;
    static constexpr size_t pendingBlockLimit = 1 << 20;
    size_t m_pendingBlocks = 0;
    bool m_pendingLimitNoted = false;
    GroupBlock m_groupBlock;
};
