#include "element_dump.h"

#include "element_cursor.h"
#include "json_stream_writer.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <vector>

namespace {

// Bytes, or bytes, ":" and the leftover bits.
QString bitText(qint64 bits)
{
    return bits % 8 == 0 ? QString::number(bits / 8) : QStringLiteral("%1:%2").arg(bits / 8).arg(bits % 8);
}

// A text field quoted as CSV wants it when it holds a comma, a quote or a line break.
QString csvField(QString text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// Finishes the open elements below depth, the innermost first: the end of its children, then
// its fields.
void closeElements(JsonStreamWriter &json, std::vector<ElementCursor::Row> &path, size_t depth)
{
    while (path.size() > depth) {
        const ElementCursor::Row &row = path.back();
        json.endArray();
        json.key(u"description");
        json.value(row.description);
        json.key(u"id");
        json.value(row.id);
        json.key(u"index");
        if (row.index.isNull())
            json.nullValue();
        else
            json.value(row.index.toLongLong());
        json.key(u"name");
        json.value(row.name);
        json.key(u"note");
        json.value(row.note);
        json.key(u"offset_bits");
        json.value(row.offset);
        json.key(u"readable");
        json.value(row.readable);
        json.key(u"size_bits");
        json.value(row.size);
        json.key(u"value");
        json.value(row.value);
        json.endObject();
        path.pop_back();
    }
}

} // namespace

ElementDump::ElementDump(const QSqlDatabase &db, const QString &fileName, const QString &containerName)
    : m_db(db), m_fileName(fileName), m_containerName(containerName)
{
}

qint64 ElementDump::count(const QString &sql)
{
    QSqlQuery query(m_db);
    if (!query.exec(sql) || !query.next()) {
        m_error = query.lastError().text();
        return -1;
    }
    return query.value(0).toLongLong();
}

bool ElementDump::writeTree(QTextStream &out)
{
    ElementCursor elements(m_db);
    if (!elements.exec())
        return failed(elements);
    while (out.status() == QTextStream::Ok && elements.next()) {
        const ElementCursor::Row &row = elements.row();
        out << QString(row.level * 2, QLatin1Char(' ')) << row.name;
        if (!row.index.isNull())
            out << '[' << row.index.toLongLong() << ']';
        out << " @" << bitText(row.offset) << " +" << bitText(row.size);
        if (!row.value.isEmpty())
            out << " = " << oneLine(row.value);
        if (!row.readable.isEmpty() && row.readable != row.value)
            out << " (" << oneLine(row.readable) << ')';
        if (!row.description.isEmpty())
            out << "  # " << oneLine(row.description);
        if (!row.note.isEmpty())
            out << "  ! " << oneLine(row.note);
        out << '\n';
    }
    return elements.failed() ? failed(elements) : true;
}

// The document as QJsonDocument(...).toJson(Indented) would print it, written as the rows come:
// the keys in QJsonObject's sorted order. An element's children come before its own fields,
// so the elements on the path to the current one wait until their children are written.
bool ElementDump::writeJson(QTextStream &out)
{
    ElementCursor elements(m_db);
    if (!elements.exec())
        return failed(elements);
    JsonStreamWriter json(out);
    json.beginObject();
    json.key(u"container");
    json.value(m_containerName);
    json.key(u"elements");
    json.beginArray();
    std::vector<ElementCursor::Row> path;
    while (out.status() == QTextStream::Ok && elements.next()) {
        closeElements(json, path, size_t(qMax(elements.row().level, 0)));
        json.beginObject();
        json.key(u"children");
        json.beginArray();
        path.push_back(elements.row());
    }
    if (elements.failed())
        return failed(elements);
    if (out.status() != QTextStream::Ok)
        return true;
    closeElements(json, path, 0);
    json.endArray();
    json.key(u"file");
    json.value(m_fileName);
    json.endObject();
    return true;
}

// The last child's last child and so on: ids grow down the chain, so it ends on any database.
qint64 ElementDump::lastDescendant(qint64 id)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT last_child_id FROM elements WHERE id = ?"))) {
        m_error = query.lastError().text();
        return -1;
    }
    qint64 last = -1;
    for (qint64 current = id; current > last;) {
        query.addBindValue(current);
        if (!query.exec() || !query.next()) {
            m_error = query.lastError().isValid() ? query.lastError().text()
                                                  : QStringLiteral("no element %1").arg(current);
            return -1;
        }
        last = current;
        current = query.value(0).toLongLong();
        query.finish();
    }
    return last;
}

bool ElementDump::writeJsonSubtree(QTextStream &out, qint64 id)
{
    const qint64 last = lastDescendant(id);
    if (last < 0)
        return false;
    ElementCursor elements(m_db);
    elements.setRange(id, last);
    if (!elements.exec())
        return failed(elements);
    if (!elements.next()) {
        if (elements.failed())
            return failed(elements);
        m_error = QStringLiteral("no element %1").arg(id);
        return false;
    }
    JsonStreamWriter json(out);
    // Depths count from the subtree's root; a row that claims to lie beside or above it stays
    // inside, so that the document keeps one root.
    const int rootLevel = elements.row().level;
    std::vector<ElementCursor::Row> path;
    do {
        const size_t depth = path.empty() ? 0 : size_t(qMax(elements.row().level - rootLevel, 1));
        closeElements(json, path, depth);
        json.beginObject();
        json.key(u"children");
        json.beginArray();
        path.push_back(elements.row());
    } while (out.status() == QTextStream::Ok && elements.next());
    if (elements.failed())
        return failed(elements);
    if (out.status() == QTextStream::Ok)
        closeElements(json, path, 0);
    return true;
}

bool ElementDump::failed(const ElementCursor &elements)
{
    m_error = elements.errorString();
    return false;
}

bool ElementDump::writeCsv(QTextStream &out, const char *header, const char *sql)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QLatin1String(sql))) {
        m_error = query.lastError().text();
        return false;
    }
    out << header << '\n';
    const int columns = query.record().count();
    while (out.status() == QTextStream::Ok && query.next()) {
        for (int column = 0; column < columns; ++column)
            out << (column ? "," : "") << csvField(query.value(column).toString());
        out << '\n';
    }
    return true;
}

bool ElementDump::writeFrames(QTextStream &out)
{
    return writeCsv(out, "stream,frame,offset,size,keyframe,time,duration,time2",
                    "SELECT stream, frame, offset, size, keyframe, time, duration, time2 FROM frames ORDER BY rowid");
}

bool ElementDump::writeStreams(QTextStream &out)
{
    return writeCsv(out, "stream,kind,codec,timescale,width,height,frames",
                    "SELECT streams.id, kind, codec, timescale, width, height,"
                    " (SELECT COUNT(*) FROM frames WHERE frames.stream = streams.id)"
                    " FROM streams ORDER BY streams.id");
}

bool ElementDump::writeSummary(QTextStream &out)
{
    const qint64 elements = count(QStringLiteral("SELECT COUNT(*) FROM elements"));
    const qint64 frames = count(QStringLiteral("SELECT COUNT(*) FROM frames"));
    const qint64 streams = count(QStringLiteral("SELECT COUNT(*) FROM streams"));
    if (elements < 0 || frames < 0 || streams < 0)
        return false;
    out << "container: " << m_containerName << '\n'
        << "elements: " << elements << '\n'
        << "frames: " << frames << '\n'
        << "streams: " << streams << '\n';
    return true;
}
