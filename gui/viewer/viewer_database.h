#pragma once

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <utility>

class QSqlDatabase;
class QSqlQuery;

/// The viewer's gateway to the element database that the engine leaves behind.
///
/// It keeps the visible-row list: the ascending ids of every row the tree would show if it were
/// infinitely tall (top-level elements, and the children of open elements whose parents are
/// visible). Because element ids are a depth-first pre-order, ascending id order is display
/// order and row numbers are indices into that list. Elements are read afresh for every window;
/// the only table written is open_elements.
class ViewerDatabase
{
public:
    /// One element as the viewer holds it; rides in a QVariant as "ViewerDatabase::Element".
    struct Element
    {
        qint64 id = -1;
        int level = 0;
        qint64 parent_id = -1;
        qint64 last_child_id = 0;
        QString name;
        qint64 offset = -1; ///< bits
        qint64 size = -1;   ///< bits
        QString raw_value;
        QString hrf_value;
        qint64 seq_num = -1; ///< -1 when the element has no sequence number
        bool has_children = false;
        bool is_open = false;
        bool is_last = false; ///< the branch line ends at this row; set by fetchWindow only
        bool has_note = false; ///< the engine left a note on the element
    };

    /// An element with a note, or a run of bytes no structure took.
    struct Problem
    {
        qint64 id = -1;
        qint64 offset = -1; ///< bits
        QString name;
        QString note; ///< the element's notes, one a line; empty for leftover bytes without one
    };

    /// What the find bar looks for: plain text, without regard to case.
    struct FindQuery
    {
        QString text;
        bool wholeWord = false;
        bool nameOnly = false; ///< names only, not values and readable values
    };

    /// The name of the engine's connection, which the reader owns and removes on close().
    static QString connectionName();
    /// Registers Element with the meta-type system; the constructor calls it too.
    static void registerMetaType();
    /// Replaces control characters and everything from code 127 on by spaces, then simplifies.
    static QString cleanText(const QString &text);

    ViewerDatabase();
    ~ViewerDatabase();

    ViewerDatabase(const ViewerDatabase &) = delete;
    ViewerDatabase &operator=(const ViewerDatabase &) = delete;

    /// Attaches db (closing the current connection first) and builds the visible-row list.
    /// A null db detaches. Always returns 0.
    int setDatabase(QSqlDatabase *db);
    /// Detaches; deletes and removes the connection when it is the engine's connection, leaves
    /// any other connection registered. -1 when nothing was attached.
    int close();
    /// True when a connection is attached and open.
    bool isAttached() const;
    /// The attached connection, or null.
    QSqlDatabase *database() const { return m_db; }

    /// The number of elements (the highest id); 0 when detached or unknown.
    qint64 elementCount();
    bool isOpen(qint64 id);
    /// -1 when detached or the id does not exist.
    int level(qint64 id);
    qint64 parentId(qint64 id);
    /// -1 when detached or the id does not exist; 0 when the element has no children.
    qint64 lastChildId(qint64 id);
    /// Whether the element is a row of the visible-row list, decided from the database.
    bool isVisible(qint64 id);

    int rowCount() const { return int(m_rows.size()); }
    /// 0 when row is outside the list.
    qint64 idAt(int row) const;
    /// -1 when the id is not a visible row.
    int rowOf(qint64 id) const;

    /// Appends up to count + 1 visible Elements from start_id on, in display order, with is_last
    /// set. -1 when detached, when the query fails or when nothing was found.
    int fetchWindow(qint64 start_id, int count, QList<Element> &list);
    /// The id delta visible rows after (delta > 0) or before (delta < 0) start_id; for delta 0
    /// start_id itself when visible, else the nearest visible row above it. Never below 1.
    /// -1 when detached.
    qint64 stepRows(qint64 start_id, qint64 delta);

    /// Marks the element open and inserts its visible descendants after it. -1 when it has no
    /// children, is open already or the database refuses the id.
    int openElement(qint64 id);
    /// Removes the element's visible descendants and marks it closed. -1 when it is not open.
    int closeElement(qint64 id);
    /// Opens every ancestor of id, outermost first, and id itself when it has children.
    void openPath(qint64 id);

    /// What the parser said about the element, beside its value; empty when the engine keeps
    /// no such text.
    QString description(qint64 id);
    /// The element's first notes (at most limit), in the order they were made; empty when the
    /// engine keeps none.
    QStringList notes(qint64 id, int limit);

    /// The element with its value and flags as fetchWindow gives it; a default Element (id -1)
    /// when there is none.
    Element element(qint64 id);

    /// The deepest element whose bytes contain the byte at offset (bytes); -1 for none.
    qint64 deepestAt(qint64 offset);
    /// "moov / trak[1] / mdia / minf / stbl / stsz / entry_size[229677]": the names from the top
    /// down to id, an entry's sequence number in brackets; empty for no such element.
    QString path(qint64 id);
    /// The byte offset the element's value points at (the links table), or -1 for no link.
    qint64 linkTarget(qint64 id);
    /// The link targets of those of ids that have one, in one query: for the rows of a window.
    QHash<qint64, qint64> linkTargets(const QList<qint64> &ids);

    /// The first element among ids first to last that matches query, the lowest id first (the
    /// highest when backwards); -1 when none matches. The find bar searches a slice at a time.
    qint64 firstMatch(const FindQuery &query, qint64 first, qint64 last, bool backwards);
    /// The matches among ids first to last; the find bar counts a large file a slice at a time.
    qint64 countMatches(const FindQuery &query, qint64 first, qint64 last);
    /// Every element with a note, and every leftover run, in file order; at most limit.
    QList<Problem> problems(int limit);
    qint64 problemCount();

    /// One row of the streams table with what its frames add up to.
    struct Stream
    {
        qint64 id = -1;
        QString kind;
        QString codec;
        qint64 timescale = 0; ///< ticks a second
        int width = 0;        ///< 0 when the table has none
        int height = 0;
        double frame_rate = 0; ///< 0 when the table has none
        qint64 frame_count = 0;
        qint64 total_bytes = 0;
        qint64 first_time = 0; ///< the earliest frame time, in ticks
        qint64 end_time = 0;   ///< the latest frame time plus its duration, in ticks
        bool has_time2 = false; ///< the frames have a second time, and it is not always the first
        int channels = 0;        ///< audio channels; 0 when not known or the table has none
        double sample_rate = 0;  ///< audio samples a second; 0 when not known or the table has none
    };

    /// One registered frame; offset and size are bytes, times ticks of the stream's timescale.
    struct Frame
    {
        qint64 number = -1;
        qint64 offset = -1;
        qint64 size = 0;
        qint64 time = 0;
        qint64 time2 = 0;
        qint64 duration = 0;
        bool keyframe = false;
    };

    /// How the rows of one stream's frames are reached: row r is the r-th frame in number
    /// order, which is frame number r when the numbers run 0, 1, 2 ... without gaps.
    struct FrameNumbering
    {
        qint64 count = 0;
        bool contiguous = true;
    };

    /// Every stream in id order, with its frame figures; empty when detached.
    QList<Stream> streams();
    /// The frame indexes: by stream and number for the frames view, by offset for finding the
    /// frames of an element.
    enum class FrameIndex { ByNumber, ByOffset };
    /// Builds the frame index the queries of which seek in, unless it exists; false when the
    /// database refuses (the queries still work, by scanning).
    bool ensureFrameIndex(FrameIndex which);
    /// The frame count of stream and whether row numbers are frame numbers.
    FrameNumbering frameNumbering(qint64 stream);
    /// Appends up to count frames of stream from row first on, in number order. -1 when
    /// detached or the query fails, else the number appended.
    int fetchFrames(qint64 stream, const FrameNumbering &numbering, qint64 first, int count, QList<Frame> &frames);
    /// The row of frame number in stream; -1 when there is no such frame.
    qint64 frameRow(qint64 stream, const FrameNumbering &numbering, qint64 number);
    /// The first frame in file order whose bytes lie within the bits offset .. offset + size;
    /// {stream, frame number}, or {-1, -1} for none.
    std::pair<qint64, qint64> frameWithin(qint64 offset, qint64 size);

private:
    enum Lookup { IsOpenLookup, LevelLookup, ParentLookup, LastChildLookup, OpenStatement,
                  CloseStatement, ElementStatement, LookupCount };

    QVariant lookup(Lookup which, qint64 id);
    void rebuildRows();
    /// The visible descendants of id, in display order; with ids null only counted.
    qint64 visibleDescendants(qint64 id, QList<qint64> *ids);
    Element readElement(const QSqlQuery &query);
    int lowerBound(qint64 id) const;

    QSqlDatabase *m_db = nullptr;
    QList<std::pair<QSqlQuery *, QString>> m_lookups;
    QList<qint64> m_rows;
};

Q_DECLARE_METATYPE(ViewerDatabase::Element)
