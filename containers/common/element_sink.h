#pragma once

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

/// One registered frame. Offset and size are in bytes.
struct FrameRecord
{
    uint stream = 0;
    quint64 number = 0;
    quint64 offset = 0;
    quint64 size = 0;
    quint32 time = 0;
    quint32 time2 = 0;
    uint duration = 0;
    bool keyFrame = false;
};

/// What the parsers learn about one stream.
struct StreamRecord
{
    int width = 0;
    int height = 0;
    int codecId = 0;
    int format = 0;
    double frameRate = 0;
    quint64 configOffset = 0;
    quint64 configSize = 0;
};

/// Receives what a container parser reports, through ContainerAbstract.
///
/// Leaves arrive as soon as they are reported; a group arrives when it is closed, after its
/// children, because only then are its last child, size and value known. Ids are the
/// depth-first pre-order numbers 1..N, so a sink that needs tree order sorts by id.
class ElementSink
{
public:
    virtual ~ElementSink() = default;

    virtual void element(const ElementRecord &record) = 0;
    virtual void description(qint64 id, const QString &text) = 0;
    virtual void note(qint64 id, const QString &text) = 0;
    virtual void frame(const FrameRecord &record) = 0;
    /// Called once at the end of a parse with every stream the parser began.
    virtual void streams(const QList<StreamRecord> &records) = 0;
};
