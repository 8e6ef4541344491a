#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

/// One element as the base class hands it to a sink. Offsets and sizes are in bits.
struct ElementRecord
{
    qint64 id = 0;
    qint64 parentId = 0;
    qint64 lastChildId = 0;
    int level = 0;
    QString name;
    qint64 offset = 0;
    qint64 size = 0;
    QString value;
    QString readable;
    qint64 index = -1; ///< sequence number, -1 for none
};

/// One registered frame. Offset and size are in bytes; the time values and the duration count
/// ticks of the stream's timescale.
struct FrameRecord
{
    uint stream = 0; ///< the stream's row: its index in the parser's stream list
    quint64 number = 0;
    quint64 offset = 0;
    quint64 size = 0;
    qint64 time = 0;
    qint64 time2 = 0;
    quint64 duration = 0;
    bool keyFrame = false;
};

/// What the parsers learn about one stream.
struct StreamRecord
{
    enum Kind { Other, Video, Audio, Subtitle };

    /// "video", "audio", "subtitle" or "other".
    static QString kindName(Kind kind);

    Kind kind = Other;
    QString codec;         ///< FourCC, codec id or sample-entry type, as the file writes it
    quint64 timescale = 0; ///< ticks per second of the frame time values; 0 when not known
    int width = 0;
    int height = 0;
    int codecId = 0;
    int format = 0;
    double frameRate = 0;
    int channels = 0;      ///< audio channels; 0 when not known
    double sampleRate = 0; ///< audio samples per second; 0 when not known
    quint64 configOffset = 0;
    quint64 configSize = 0;
};

inline QString StreamRecord::kindName(Kind kind)
{
    switch (kind) {
    case Video: return QStringLiteral("video");
    case Audio: return QStringLiteral("audio");
    case Subtitle: return QStringLiteral("subtitle");
    default: return QStringLiteral("other");
    }
}

/// Receives what a container parser reports, through ContainerAbstract.
///
/// Elements arrive in id order, the depth-first pre-order numbers 1..N. A group's last child,
/// size and value are known only when it closes, so elements wait behind an open group; a
/// group with very many elements is sent before it closes and sent again through update()
/// when it does.
class ElementSink
{
public:
    virtual ~ElementSink() = default;

    virtual void element(const ElementRecord &record) = 0;
    /// The final form of a group that element() received before the group closed.
    virtual void update(const ElementRecord &record) = 0;
    virtual void description(qint64 id, const QString &text) = 0;
    virtual void note(qint64 id, const QString &text) = 0;
    /// The element's value is the file offset of other bytes: the byte at target.
    virtual void link(qint64 id, quint64 target) = 0;
    virtual void frame(const FrameRecord &record) = 0;
    /// Called once at the end of a parse with every stream the parser began.
    virtual void streams(const QList<StreamRecord> &records) = 0;
};
