#pragma once

#include "element_sink.h"
#include "parse_options.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

class ContainerDriver;

/// Base of every container parser: owns the open file and records what the parser reports.
///
/// Reported elements form a tree: beginGroup/beginEntry open a compound element, endGroup
/// closes it, and every other report becomes a leaf of the innermost open group. Ids are given
/// in report order (depth-first pre-order, 1..N) and the sink receives the elements in that
/// order. Offsets and sizes are passed in bytes and handed to the sink in bits.
class ContainerAbstract : public QObject
{
    Q_OBJECT

public:
    /// Base of every dispatch record: the element type and the element name.
    struct CommonElement
    {
        CommonElement() = default;
        CommonElement(int type, const QString &name) : type(type), name(name) {}
        CommonElement(const CommonElement &other) = default;
        CommonElement &operator=(const CommonElement &other) = default;

        int type = 0;
        QString name;
    };

    /// Values of CommonElement::type.
    enum ElementType {
        SInteger = 1,
        UInteger = 2,
        Float = 3,
        String = 4,
        UTF8 = 5,
        Date = 6,
        Master = 7,
        Binary = 8,
    };

    /// Deepest nesting of groups a parser may open; parsers stop descending there.
    static constexpr int maxDepth = 200;

    explicit ContainerAbstract(QObject *parent = nullptr);
    ~ContainerAbstract() override;

protected:
    virtual int verifyContainerFormat(const QString &fileName) = 0;
    virtual int findBeginOfContainer(qint64 *offset) = 0;
    virtual int parseElement(quint64 *size) = 0;
    virtual void prepareParsing() = 0;
    virtual void finalizeParsing() = 0;

    void addElement(bool bitField, quint64 offset, uchar firstBit, quint64 size, const QString &name,
                    const QString &value, const QString &readable, const QString &description,
                    qint64 index);
    void beginGroup(quint64 offset, quint64 size, const QString &name, qint64 index);
    void endGroup();
    void beginEntry(const QString &name, qint64 index);
    void setEntryOffset(quint64 offset);
    void setEntrySize(quint64 size);
    void addDataElement(quint64 offset, quint64 size, const uchar *data, const QString &name,
                        const QString &description);
    void addNote(const QString &note);
    void setGroupValue(const QString &value);
    void swapByteOrder(void *data, uchar size);
    int registerFrame(uint stream, quint64 frameNumber);
    int openFile(const QString &fileName);
    void closeFile();
    QString toPrintable(const QByteArray &bytes);

    /// Starts a new stream: appends a stream record and a frame counter, so the last entry of
    /// both lists belongs to the stream being parsed. Returns the new stream's index.
    int beginStream();

    /// Number of groups open now (0 at top level).
    int depth() const { return int(m_open.size()); }

    /// Bytes in the file from offset to its end (0 past the end).
    quint64 bytesLeft(quint64 offset) const;

    /// Seeks to offset and reads at most count bytes, never more than the file holds there.
    QByteArray readAt(quint64 offset, quint64 count);

    QFile file;
    quint64 currentOffset = 0;
    quint64 displayLimit = 256;
    bool showJunk = false;
    bool showUnknown = true;
    int numberBase = 10;
    int valueBase = 10;

    QList<StreamRecord> streams;
    QList<quint64> frameCounters;

    /// The frame record, set before each registerFrame.
    quint64 frameOffset = 0;
    quint64 frameSize = 0;
    quint32 frameTime = 0;
    quint32 frameTime2 = 0;
    uint frameDuration = 0;
    int keyFrame = 0;

private:
    friend class ContainerDriver;

    struct OpenGroup
    {
        ElementRecord record;
        bool emitted = false; ///< handed to the sink before it closed; it gets an update
    };
    /// A reported element waiting for every element before it; an open group's slot stays
    /// incomplete until the group closes.
    struct Pending
    {
        ElementRecord record;
        bool complete = false;
    };
    /// Elements held back at most; beyond that the oldest open group goes out unfinished.
    static constexpr size_t pendingLimit = 4096;

    ElementRecord newRecord(quint64 offset, quint64 size, const QString &name, qint64 index);
    void closeAllGroups();
    void flushPending();

    ElementSink *m_sink = nullptr;
    std::vector<OpenGroup> m_open;
    std::deque<Pending> m_pending;
    qint64 m_lastId = 0;
    qint64 m_lastTopLevelId = 0;
    quint64 m_progressStep = 0;
    quint64 m_nextProgressOffset = 0;
    std::function<void(quint64)> m_progress;
};
