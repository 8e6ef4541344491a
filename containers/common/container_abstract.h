#pragma once

#include "element_sink.h"
#include "file_window.h"
#include "parse_options.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <type_traits>
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

    /// The first failure a parse met: the status a handler or walker reported and the element
    /// it belongs to.
    struct Failure
    {
        int status = 0;
        quint64 offset = 0;
        QString name;
    };

    explicit ContainerAbstract(QObject *parent = nullptr);
    ~ContainerAbstract() override;

    /// The keys of the option string this format has no use for; the engine refuses a string
    /// that gives one of them.
    virtual QStringList unusedOptions() const { return {}; }

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
    /// The value of the element added last is the file offset of the byte at target.
    void linkLastElement(quint64 target);
    void setGroupValue(const QString &value);
    void setGroupReadable(const QString &readable);
    /// Documentation of the innermost open group: what such an element is, not what this file holds.
    void setGroupDescription(const QString &description);
    void swapByteOrder(void *data, uchar size);
    int registerFrame(uint stream, quint64 frameNumber);
    int openFile(const QString &fileName);
    void closeFile();
    /// Printable ASCII (0x20 to 0x7E) as it is, every other byte as ".".
    QString toPrintable(const QByteArray &bytes);
    /// Tells the walk's progress at offset, for a long stretch of the file that records nothing.
    void reportProgress(quint64 offset);

    /// The end of the structure being walked, for as long as the guard lives. Bounds nest: each
    /// ends at the latest where the one around it ends, and the outermost is the end of the file.
    class Bound
    {
    public:
        Bound(ContainerAbstract &parser, quint64 end);
        ~Bound();
        Bound(const Bound &) = delete;
        Bound &operator=(const Bound &) = delete;

        quint64 end() const;
        /// Bytes that fields reported inside this bound claimed past its end.
        quint64 missing() const;

    private:
        ContainerAbstract &m_parser;
        size_t m_level;
    };

    /// End of the innermost bound; the end of the file when none is set.
    quint64 boundEnd() const { return m_bounds.empty() ? window.size() : m_bounds.back().end; }
    /// How many of the size bytes at offset lie before the end of the innermost bound.
    quint64 fit(quint64 offset, quint64 size) const
    {
        const quint64 end = boundEnd();
        return offset >= end ? 0 : qMin(size, end - offset);
    }

    /// A leaf inside the innermost bound. One that runs past the bound keeps the bytes that
    /// exist, shown as hex digits, and a note says how many are missing; one with no byte
    /// inside is left out. Either way the bound counts the missing bytes.
    void addField(quint64 offset, quint64 size, const QString &name, const QString &value,
                  const QString &readable = QString(), const QString &description = QString(),
                  qint64 index = -1);
    /// A bit field inside the innermost bound; bits count from firstBit, 0 the most significant.
    /// One whose bytes run past the bound is left out and counted as missing.
    void addBitField(quint64 offset, uchar firstBit, quint64 bits, const QString &name,
                     const QString &value, const QString &readable = QString());
    /// For a structure at offset that claims size bytes, called right after its group begins:
    /// notes on the group how many of them lie past the innermost bound.
    void noteCut(quint64 offset, quint64 size);
    /// For a structure whose fields begin at offset, called before its group ends: notes on
    /// the group how many bytes its fields needed past the end of bound.
    void noteMissingFields(const Bound &bound, quint64 offset);

    /// Keeps status when it is the parse's first failure, with the element it belongs to: the
    /// innermost open group, or the element reported last. Returns status.
    int keepFailure(int status);
    const Failure &firstFailure() const { return m_failure; }

    /// Registers the frame record as the next frame of stream (a row of the stream list) and
    /// advances that stream's frame counter.
    void registerStreamFrame(int stream);

    /// Starts a new stream: appends a stream record and a frame counter, so the last entry of
    /// both lists belongs to the stream being parsed. Returns the new stream's index.
    int beginStream();

    /// Number of groups open now (0 at top level).
    int depth() const { return int(m_open.size()); }

    /// Bytes in the file from offset to its end (0 past the end).
    quint64 bytesLeft(quint64 offset) const;

    /// At most count bytes from offset, never more than the file holds there.
    QByteArray readAt(quint64 offset, quint64 count);

    QFile file;
    /// The reads of every parser go through this window over file.
    FileWindow window{file};
    quint64 currentOffset = 0;
    quint64 displayLimit = 256;
    bool showJunk = false;
    bool showUnknown = true;
    int numberBase = 10;
    int valueBase = 10;

    /// A field value in the value base; a size or an offset in the number base.
    template <class Integer>
    QString valueNumber(Integer value) const
    {
        static_assert(std::is_integral_v<Integer>);
        return QString::number(value, valueBase);
    }
    template <class Integer>
    QString offsetNumber(Integer value) const
    {
        static_assert(std::is_integral_v<Integer>);
        return QString::number(value, numberBase);
    }

    QList<StreamRecord> streams;
    QList<quint64> frameCounters;

    /// The frame record, set before each registerFrame.
    quint64 frameOffset = 0;
    quint64 frameSize = 0;
    qint64 frameTime = 0;
    qint64 frameTime2 = 0;
    quint64 frameDuration = 0;
    int keyFrame = 0;

private:
    friend class ContainerDriver;
    friend class CodecConfigFields;

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

    struct BoundState
    {
        quint64 end = 0;
        quint64 furthest = 0; ///< the furthest end a field inside claimed
    };

    ElementRecord newRecord(quint64 offset, quint64 size, const QString &name, qint64 index);
    /// "N bytes are missing: it claims S bytes, but its parent ends after K." and the like.
    QString missingText(quint64 missing, const QString &claim, quint64 kept, quint64 end) const;
    void claimPast(quint64 end);
    void closeAllGroups();
    void flushPending();

    ElementSink *m_sink = nullptr;
    std::vector<OpenGroup> m_open;
    std::vector<BoundState> m_bounds;
    Failure m_failure;
    quint64 m_lastOffset = 0;
    QString m_lastName;
    std::deque<Pending> m_pending;
    qint64 m_lastId = 0;
    qint64 m_lastTopLevelId = 0;
    quint64 m_progressStep = 0;
    quint64 m_nextProgressOffset = 0;
    std::function<void(quint64)> m_progress;
};
