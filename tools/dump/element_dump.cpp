#include "element_dump.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <vector>

namespace {

const char elementsSql[] =
    "SELECT elements.id, elements.level, dictionary.name, elements.offset, elements.size,"
    " elements.raw_value, elements.hrf_value, elements_seq_num.seq_num FROM elements"
    " LEFT JOIN dictionary ON elements.name_id = dictionary.id"
    " LEFT JOIN elements_seq_num ON elements.id = elements_seq_num.id ORDER BY elements.id";

struct Row
{
    qint64 id;
    int level;
    QString name;
    qint64 offset;
    qint64 size;
    QString value;
    QString readable;
    QVariant index;
};

Row readRow(const QSqlQuery &query)
{
    return {query.value(0).toLongLong(), query.value(1).toInt(), query.value(2).toString(),
            query.value(3).toLongLong(), query.value(4).toLongLong(), query.value(5).toString(),
            query.value(6).toString(), query.value(7)};
}

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

} // namespace

ElementDump::ElementDump(const QSqlDatabase &db, const QString &fileName, const QString &containerName)
    : m_db(db), m_fileName(fileName), m_containerName(containerName)
{
}

bool ElementDump::loadTexts()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT id, description FROM descriptions"))) {
        m_error = query.lastError().text();
        return false;
    }
    while (query.next())
        m_descriptions.insert(query.value(0).toLongLong(), query.value(1).toString());
    if (!query.exec(QStringLiteral("SELECT id, note FROM notes ORDER BY rowid"))) {
        m_error = query.lastError().text();
        return false;
    }
    while (query.next()) {
        QString &note = m_notes[query.value(0).toLongLong()];
        note += note.isEmpty() ? query.value(1).toString() : QLatin1Char('\n') + query.value(1).toString();
    }
    return true;
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
    if (!loadTexts())
        return false;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QLatin1String(elementsSql))) {
        m_error = query.lastError().text();
        return false;
    }
    while (out.status() == QTextStream::Ok && query.next()) {
        const Row row = readRow(query);
        out << QString(row.level * 2, QLatin1Char(' ')) << row.name;
        if (!row.index.isNull())
            out << '[' << row.index.toLongLong() << ']';
        out << " @" << bitText(row.offset) << " +" << bitText(row.size);
        if (!row.value.isEmpty())
            out << " = " << oneLine(row.value);
        if (!row.readable.isEmpty() && row.readable != row.value)
            out << " (" << oneLine(row.readable) << ')';
        const QString description = m_descriptions.value(row.id);
        if (!description.isEmpty())
            out << "  # " << oneLine(description);
        const QString note = m_notes.value(row.id);
        if (!note.isEmpty())
            out << "  ! " << oneLine(note);
        out << '\n';
    }
    return true;
}

bool ElementDump::writeJson(QTextStream &out)
{
    if (!loadTexts())
        return false;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QLatin1String(elementsSql))) {
        m_error = query.lastError().text();
        return false;
    }
    // One open object per level of the path to the current element; an object is finished
    // and appended to its parent's children when a row at its level or above arrives.
    struct Open
    {
        QJsonObject object;
        QJsonArray children;
    };
    std::vector<Open> path;
    QJsonArray top;
    auto closeTo = [&](size_t depth) {
        while (path.size() > depth) {
            Open open = std::move(path.back());
            path.pop_back();
            open.object.insert(QStringLiteral("children"), open.children);
            (path.empty() ? top : path.back().children).append(open.object);
        }
    };
    while (query.next()) {
        const Row row = readRow(query);
        closeTo(size_t(qMax(row.level, 0)));
        QJsonObject object{
            {QStringLiteral("id"), row.id},
            {QStringLiteral("name"), row.name},
            {QStringLiteral("offset_bits"), row.offset},
            {QStringLiteral("size_bits"), row.size},
            {QStringLiteral("value"), row.value},
            {QStringLiteral("readable"), row.readable},
            {QStringLiteral("description"), m_descriptions.value(row.id)},
            {QStringLiteral("note"), m_notes.value(row.id)},
            {QStringLiteral("index"), row.index.isNull() ? QJsonValue() : QJsonValue(row.index.toLongLong())},
        };
        path.push_back({object, QJsonArray()});
    }
    closeTo(0);
    const QJsonObject document{
        {QStringLiteral("file"), m_fileName},
        {QStringLiteral("container"), m_containerName},
        {QStringLiteral("elements"), top},
    };
    out << QJsonDocument(document).toJson(QJsonDocument::Indented);
    return true;
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
