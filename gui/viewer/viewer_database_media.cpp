#include "viewer_database.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <limits>

namespace {

// The engine writes the frames table unindexed, in the order the frames were found, streams
// interleaved. The viewer seeks it by stream and number (the frames view) and by offset (the
// tree's "Show in frames view"); each index is built at its first need, about 0.1 s of work for
// half a million frames, and never for a file whose frames nobody looks at.
const char *const frameIndexSql[] = {
    "CREATE INDEX IF NOT EXISTS frames_stream_frame ON frames (stream, frame)",
    "CREATE INDEX IF NOT EXISTS frames_offset ON frames (offset)",
};

// Duration is the span from the earliest frame to the end of the latest: streams need not start
// at time 0, and with reordered frames the last one in number order is not the last to end. A
// format with one time per frame leaves the second 0; where it has two they differ somewhere.
// Databases written before the sound columns existed lack them; %1 is either the columns or
// zeros in their place.
const char *const streamsSql =
    "SELECT streams.id, kind, codec, timescale, width, height, frame_rate,"
    " figures.count, figures.bytes, figures.first_time, figures.end_time, figures.has_time2, %1 FROM streams"
    " LEFT JOIN (SELECT stream, COUNT(*) AS count, TOTAL(size) AS bytes, MIN(time) AS first_time,"
    "  MAX(time + duration) AS end_time, MAX(time2 <> time) AND MAX(time2 <> 0) AS has_time2"
    "  FROM frames GROUP BY stream) AS figures"
    " ON figures.stream = streams.id ORDER BY streams.id";
// One walk of the stream's entries in the (stream, frame) index, which reads no rows of the table;
// counting distinct numbers as well would cost three times as much.
const char *const numberingSql = "SELECT COUNT(*), MIN(frame), MAX(frame) FROM frames WHERE stream = ?";
// Rows are reached by number when the numbers are the rows, else by their place in number order.
const char *const framesByNumberSql =
    "SELECT frame, offset, size, time, time2, duration, keyframe FROM frames"
    " WHERE stream = ? AND frame >= ? ORDER BY frame LIMIT ?";
const char *const framesByPlaceSql =
    "SELECT frame, offset, size, time, time2, duration, keyframe FROM frames"
    " WHERE stream = ? ORDER BY frame, rowid LIMIT ? OFFSET ?";
const char *const framesBeforeSql = "SELECT COUNT(*) FROM frames WHERE stream = ? AND frame < ?";
const char *const frameExistsSql = "SELECT EXISTS (SELECT 1 FROM frames WHERE stream = ? AND frame = ?)";
const char *const frameWithinSql =
    "SELECT stream, frame FROM frames WHERE offset >= ? AND offset < ? AND offset + size <= ?"
    " ORDER BY offset, rowid LIMIT 1";

const char *const streamColumnsSql = "SELECT name FROM pragma_table_info('streams')";

QSqlQuery prepared(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(sql);
    return query;
}

QSqlQuery prepared(const QSqlDatabase &db, const char *sql)
{
    return prepared(db, QLatin1String(sql));
}

bool hasSoundColumns(const QSqlDatabase &db)
{
    QSqlQuery query = prepared(db, streamColumnsSql);
    if (!query.exec())
        return false;
    QStringList columns;
    while (query.next())
        columns << query.value(0).toString();
    return columns.contains(QLatin1String("channels")) && columns.contains(QLatin1String("sample_rate"));
}

} // namespace

QList<ViewerDatabase::Stream> ViewerDatabase::streams()
{
    QList<Stream> list;
    if (!isAttached())
        return list;
    const QLatin1String soundColumns(hasSoundColumns(*m_db) ? "channels, sample_rate" : "0, 0");
    QSqlQuery query = prepared(*m_db, QLatin1String(streamsSql).arg(soundColumns));
    if (!query.exec())
        return list;
    while (query.next()) {
        Stream stream;
        stream.id = query.value(0).toLongLong();
        stream.kind = query.value(1).toString();
        stream.codec = query.value(2).toString();
        stream.timescale = query.value(3).toLongLong();
        stream.width = query.value(4).toInt();
        stream.height = query.value(5).toInt();
        stream.frame_rate = query.value(6).toDouble();
        stream.frame_count = query.value(7).toLongLong();
        stream.total_bytes = qint64(query.value(8).toDouble());
        stream.first_time = query.value(9).toLongLong();
        stream.end_time = query.value(10).toLongLong();
        stream.has_time2 = query.value(11).toBool();
        stream.channels = query.value(12).toInt();
        stream.sample_rate = query.value(13).toDouble();
        list << stream;
    }
    return list;
}

bool ViewerDatabase::ensureFrameIndex(FrameIndex which)
{
    if (!isAttached())
        return false;
    QSqlQuery query(*m_db);
    return query.exec(QLatin1String(frameIndexSql[which == FrameIndex::ByNumber ? 0 : 1]));
}

ViewerDatabase::FrameNumbering ViewerDatabase::frameNumbering(qint64 stream)
{
    FrameNumbering numbering;
    if (!isAttached())
        return numbering;
    QSqlQuery query = prepared(*m_db, numberingSql);
    query.addBindValue(stream);
    if (!query.exec() || !query.next())
        return numbering;
    // Numbers from 0 to count - 1 are each used once unless one repeats and another is missing,
    // which the engine's per-stream counters never make: a repeated number alone makes the count
    // exceed the span.
    numbering.count = query.value(0).toLongLong();
    numbering.contiguous = numbering.count == 0
        || (query.value(1).toLongLong() == 0 && query.value(2).toLongLong() == numbering.count - 1);
    return numbering;
}

int ViewerDatabase::fetchFrames(qint64 stream, const FrameNumbering &numbering, qint64 first, int count,
                                QList<Frame> &frames)
{
    if (!isAttached() || first < 0 || count <= 0)
        return -1;
    QSqlQuery query = prepared(*m_db, numbering.contiguous ? framesByNumberSql : framesByPlaceSql);
    query.addBindValue(stream);
    if (numbering.contiguous) {
        query.addBindValue(first);
        query.addBindValue(count);
    } else {
        query.addBindValue(count);
        query.addBindValue(first);
    }
    if (!query.exec())
        return -1;
    int appended = 0;
    while (query.next()) {
        Frame frame;
        frame.number = query.value(0).toLongLong();
        frame.offset = query.value(1).toLongLong();
        frame.size = query.value(2).toLongLong();
        frame.time = query.value(3).toLongLong();
        frame.time2 = query.value(4).toLongLong();
        frame.duration = query.value(5).toLongLong();
        frame.keyframe = query.value(6).toBool();
        frames << frame;
        ++appended;
    }
    return appended;
}

qint64 ViewerDatabase::frameRow(qint64 stream, const FrameNumbering &numbering, qint64 number)
{
    if (!isAttached() || number < 0)
        return -1;
    if (numbering.contiguous)
        return number < numbering.count ? number : -1;
    QSqlQuery exists = prepared(*m_db, frameExistsSql);
    exists.addBindValue(stream);
    exists.addBindValue(number);
    if (!exists.exec() || !exists.next() || !exists.value(0).toBool())
        return -1;
    QSqlQuery before = prepared(*m_db, framesBeforeSql);
    before.addBindValue(stream);
    before.addBindValue(number);
    return before.exec() && before.next() ? before.value(0).toLongLong() : -1;
}

std::pair<qint64, qint64> ViewerDatabase::frameWithin(qint64 offset, qint64 size)
{
    const std::pair<qint64, qint64> none(-1, -1);
    if (!isAttached() || offset < 0 || size <= 0 || size > std::numeric_limits<qint64>::max() - offset)
        return none;
    // Bits to bytes: the frames whose bytes all lie in bytes the element covers, at least in part.
    const qint64 first = offset / 8 + (offset % 8 ? 1 : 0);
    const qint64 end = (offset + size) / 8 + ((offset + size) % 8 ? 1 : 0);
    if (first >= end)
        return none;
    ensureFrameIndex(FrameIndex::ByOffset);
    QSqlQuery query = prepared(*m_db, frameWithinSql);
    query.addBindValue(first);
    query.addBindValue(end);
    query.addBindValue(end);
    if (!query.exec() || !query.next())
        return none;
    return {query.value(0).toLongLong(), query.value(1).toLongLong()};
}
