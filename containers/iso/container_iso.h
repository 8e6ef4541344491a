#pragma once

#include "container_abstract.h"
#include "dispatch_records.h"
#include "track_sample_tables.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <limits>
#include <vector>

class ByteReader;

/// The box walker and box handlers shared by the ISO base media parsers (MP4/F4V, QuickTime,
/// 3GPP). A parser derived from it fills the box table in its constructor and says, through
/// Variant and the virtual hooks, where its format differs.
///
/// Every box becomes a group holding its header fields and then its decoded payload, its child
/// boxes or a raw "data" element. A box is never read past the end of its parent or of the file:
/// a size that claims more is cut there and the cut is noted on the box.
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
    };

    explicit ContainerIso(const Variant &variant);
    ~ContainerIso() override;

protected:
    int findBeginOfContainer(qint64 *offset) override;
    int parseElement(quint64 *size) override;
    void prepareParsing() override;
    void finalizeParsing() override;

    /// Accepts the file (0) when the suffix of its name, lower-cased, is one of suffixes, and
    /// then writes "Container format:\t<label>\n" to standard error; otherwise returns 3.
    int verifySuffix(const QString &fileName, const QStringList &suffixes, const char *label);

    /// One row of the box table; a later row for the same type replaces the earlier one.
    void addBox(const char *type, int elementType, int kind, Box::Handler handler);

    int getID(QString *id);
    int getSize(quint64 *size, uchar bytes);
    int getUUID(QUuid *uuid);
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

    /// Called by the walker for every box before it is reported.
    virtual void boxStarting(const QString &type);
    /// Called by "hdlr" with its handler type: marks the current track as video or not.
    virtual void handlerFound(const QString &handlerType);
    /// Whether the sample walk registers the frames of this video track.
    virtual bool walksTrack(const TrackSampleTables &tables) const;

    /// The track whose "trak" box is being walked, or null outside every track.
    TrackSampleTables *currentTrack();
    /// The current track when it is a video track, else null: only video tracks keep tables.
    TrackSampleTables *currentVideoTrack();

    uint fullBoxVersion = 0;
    uint fullBoxFlags = 0;
    bool fullBox = false;

private:
    int walkBoxes(quint64 begin, quint64 end);
    /// "stco" and "co64": entry_count, then one chunk offset of entryBytes (4 or 8) per chunk.
    int parseChunkOffsets(quint64 offset, quint64 size, int entryBytes);
    int walkSampleEntry(const QByteArray &payload, quint64 payloadOffset, quint64 entryStart,
                        quint64 entrySize, qint64 index, bool video);
    void walkTrackSamples(uint stream, const TrackSampleTables &tables);
    quint64 fitEntries(quint64 claimed, quint64 bytes, quint64 entrySize);
    bool fits(quint64 offset, quint64 size);

    void field(quint64 offset, quint64 size, const QString &name, const QString &value,
               const QString &description = QString(), qint64 index = -1);
    void bitField(quint64 offset, uchar firstBit, quint64 bits, const QString &name,
                  const QString &value);
    QString number(quint64 value) const;
    QString signedNumber(qint64 value) const;
    QString fixed16(quint32 value, bool signedHalves) const;
    QString fixed8(quint16 value, bool signedHalves) const;
    QString wordList(const ByteReader &reader, qsizetype at, int count) const;

    Variant m_variant;
    DispatchTable<QString, Box> m_boxes;
    /// End of the box whose children are being walked; at top level, no limit but the file's.
    quint64 m_limit = std::numeric_limits<quint64>::max();
    /// End of the box whose fields a handler reports: fields past it are left out.
    quint64 m_fieldEnd = std::numeric_limits<quint64>::max();
    /// A field was left out since the handler began.
    bool m_fieldsCut = false;
    std::vector<TrackSampleTables> m_tracks;
    int m_openTracks = 0;
};
