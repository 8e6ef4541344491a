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
    virtual void frame(const FrameRecord &record) = 0;
    /// Called once at the end of a parse with every stream the parser began.
    virtual void streams(const QList<StreamRecord> &records) = 0;
};
