#include "element_dump.h"
#include "json_stream_writer.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <limits>
#include <vector>

namespace {

struct Element
{
    qint64 id;
    int level;
    QString name;
    qint64 offset;
    qint64 size;
    QString value;
    QString readable;
    QVariant index;
    QString description;
};

struct Note
{
    qint64 id;
    QString text;
};

} // namespace

Q_DECLARE_METATYPE(Element)
Q_DECLARE_METATYPE(Note)

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

// The document as kestrune-dump built it before it streamed: one QJsonObject tree, with the
// descriptions and notes loaded into maps first. The streamed output must match it byte for byte.
QByteArray referenceJson(const QSqlDatabase &db, const QString &fileName, const QString &containerName)
{
    QHash<qint64, QString> descriptions;
    QHash<qint64, QString> notes;
    QSqlQuery query(db);
    query.exec(QStringLiteral("SELECT id, description FROM descriptions"));
    while (query.next())
        descriptions.insert(query.value(0).toLongLong(), query.value(1).toString());
    query.exec(QStringLiteral("SELECT id, note FROM notes ORDER BY rowid"));
    while (query.next()) {
        QString &note = notes[query.value(0).toLongLong()];
        note += note.isEmpty() ? query.value(1).toString() : QLatin1Char('\n') + query.value(1).toString();
    }
    query.exec(QStringLiteral("SELECT elements.id, elements.level, dictionary.name, elements.offset, elements.size,"
                              " elements.raw_value, elements.hrf_value, elements_seq_num.seq_num FROM elements"
                              " LEFT JOIN dictionary ON elements.name_id = dictionary.id"
                              " LEFT JOIN elements_seq_num ON elements.id = elements_seq_num.id ORDER BY elements.id"));
    std::vector<std::pair<QJsonObject, QJsonArray>> path;
    QJsonArray top;
    const auto closeTo = [&](size_t depth) {
        while (path.size() > depth) {
            auto [object, children] = std::move(path.back());
            path.pop_back();
            object.insert(QStringLiteral("children"), children);
            (path.empty() ? top : path.back().second).append(object);
        }
    };
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        closeTo(size_t(qMax(query.value(1).toInt(), 0)));
        const QJsonObject object{
            {QStringLiteral("id"), id},
            {QStringLiteral("name"), query.value(2).toString()},
            {QStringLiteral("offset_bits"), query.value(3).toLongLong()},
            {QStringLiteral("size_bits"), query.value(4).toLongLong()},
            {QStringLiteral("value"), query.value(5).toString()},
            {QStringLiteral("readable"), query.value(6).toString()},
            {QStringLiteral("description"), descriptions.value(id)},
            {QStringLiteral("note"), notes.value(id)},
            {QStringLiteral("index"), query.value(7).isNull() ? QJsonValue() : QJsonValue(query.value(7).toLongLong())},
        };
        path.push_back({object, QJsonArray()});
    }
    closeTo(0);
    const QJsonObject document{
        {QStringLiteral("file"), fileName},
        {QStringLiteral("container"), containerName},
        {QStringLiteral("elements"), top},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QByteArray written(const std::function<void(QTextStream &)> &write)
{
    QByteArray bytes;
    QTextStream out(&bytes, QIODevice::WriteOnly);
    write(out);
    out.flush();
    return bytes;
}

void writeValue(JsonStreamWriter &json, const QJsonValue &value)
{
    if (value.isObject()) {
        json.beginObject();
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            json.key(it.key());
            writeValue(json, it.value());
        }
        json.endObject();
    } else if (value.isArray()) {
        json.beginArray();
        for (const QJsonValue &item : value.toArray())
            writeValue(json, item);
        json.endArray();
    } else if (value.isString()) {
        json.value(value.toString());
    } else if (value.isDouble()) {
        json.value(value.toInteger());
    } else {
        json.nullValue();
    }
}

// A database of its own, holding the tables and columns the dump reads.
class Database
{
public:
    explicit Database(const QString &path = QStringLiteral(":memory:"))
        : m_name(QStringLiteral("test_dump_json_%1").arg(++s_count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Database()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    bool fill(const QList<Element> &elements, const QList<Note> &notes)
    {
        QSqlQuery query(db());
        for (const char *sql : {"CREATE TABLE dictionary (id INTEGER PRIMARY KEY, name TEXT NOT NULL)",
                                "CREATE TABLE elements (id INTEGER PRIMARY KEY, level INTEGER NOT NULL, name_id INTEGER NOT NULL,"
                                " offset INTEGER NOT NULL, size INTEGER NOT NULL, raw_value TEXT, hrf_value TEXT)",
                                "CREATE TABLE elements_seq_num (id INTEGER PRIMARY KEY, seq_num INTEGER NOT NULL)",
                                "CREATE TABLE descriptions (id INTEGER PRIMARY KEY, description TEXT NOT NULL)",
                                "CREATE TABLE notes (id INTEGER NOT NULL, note TEXT NOT NULL)"}) {
            if (!query.exec(QLatin1String(sql)))
                return false;
        }
        for (const Element &e : elements) {
            if ((!e.name.isNull() && !insert("INSERT INTO dictionary VALUES (?, ?)", {e.id, e.name}))
                || !insert("INSERT INTO elements VALUES (?, ?, ?, ?, ?, ?, ?)",
                           {e.id, e.level, e.id, e.offset, e.size, e.value, e.readable})
                || (!e.index.isNull() && !insert("INSERT INTO elements_seq_num VALUES (?, ?)", {e.id, e.index}))
                || (!e.description.isNull() && !insert("INSERT INTO descriptions VALUES (?, ?)", {e.id, e.description})))
                return false;
        }
        for (const Note &note : notes) {
            if (!insert("INSERT INTO notes VALUES (?, ?)", {note.id, note.text}))
                return false;
        }
        return true;
    }

private:
    bool insert(const char *sql, const QVariantList &values)
    {
        QSqlQuery query(db());
        query.prepare(QLatin1String(sql));
        for (const QVariant &value : values)
            query.addBindValue(value);
        return query.exec();
    }

    static inline int s_count = 0;
    QString m_name;
};

Element leaf(qint64 id, int level)
{
    return {id, level, QStringLiteral("leaf"), 8 * id, 8, QString(), QString(), QVariant(), QString()};
}

} // namespace

class TestDumpJson : public QObject
{
    Q_OBJECT

private slots:
    void writerMatchesQJsonDocument_data()
    {
        QTest::addColumn<QJsonValue>("document");
        QTest::newRow("escapes") << QJsonValue(QJsonObject{
            {QStringLiteral("text"), QStringLiteral("\"quoted\" back\\slash/ \b\f\n\r\t \x01\x1f\x7f end")},
            {QStringLiteral("nul"), QString(QChar(0))},
            {QStringLiteral("key \"\n\\"), QString()}});
        QTest::newRow("non-ASCII") << QJsonValue(QJsonObject{
            {QString::fromUtf8("cl\xc3\xa9"), QString::fromUtf8("\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xef\xbf\xbf \xc2\x80")}});
        const QChar high(0xd83d);
        const QChar low(0xde00);
        QTest::newRow("unpaired surrogates") << QJsonValue(QJsonArray{
            QString(high), QString(low), QString(high) + QLatin1Char('x'), QString(low) + high,
            QStringLiteral("a") + high + high + low, QString(high) + low + low});
        QTest::newRow("integers") << QJsonValue(QJsonArray{0, -1, 255, qint64(1) << 53, (qint64(1) << 53) + 1,
                                                           int64Max, int64Min, int64Min + 1});
        QTest::newRow("null and strings") << QJsonValue(QJsonObject{{QStringLiteral("a"), QJsonValue()},
                                                                   {QStringLiteral("b"), QString()}});
        QTest::newRow("empty object") << QJsonValue(QJsonObject());
        QTest::newRow("empty array") << QJsonValue(QJsonArray());
        QTest::newRow("nested") << QJsonValue(QJsonArray{
            QJsonArray{QJsonArray{}}, QJsonObject{},
            QJsonObject{{QStringLiteral("x"), QJsonArray{1, QJsonObject{{QStringLiteral("y"), QJsonValue()}}}},
                        {QStringLiteral("z"), QJsonObject{{QStringLiteral("e"), QJsonArray{}}}}}});
    }
    void writerMatchesQJsonDocument()
    {
        QFETCH(QJsonValue, document);
        const QByteArray expected = document.isObject() ? QJsonDocument(document.toObject()).toJson(QJsonDocument::Indented)
                                                        : QJsonDocument(document.toArray()).toJson(QJsonDocument::Indented);
        QCOMPARE(written([&](QTextStream &out) {
                     JsonStreamWriter json(out);
                     writeValue(json, document);
                 }),
                 expected);
    }

    // Whole databases: the tree of levels, the joined descriptions and the merged notes.
    void databaseMatchesQJsonDocument_data()
    {
        QTest::addColumn<QList<Element>>("elements");
        QTest::addColumn<QList<Note>>("notes");
        QTest::newRow("no elements") << QList<Element>{} << QList<Note>{{3, QStringLiteral("orphan")}};
        QTest::newRow("texts") << QList<Element>{
            {1, 0, QStringLiteral("na\"me\\"), -8, 16, QStringLiteral("\x01\t\n\x1f\x7f"),
             QString::fromUtf8("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), 0, QStringLiteral("quote \" and\nline")},
            {2, 1, QString(), 0, 0, QString(), QString(), QVariant(), QString()},
        } << QList<Note>{{1, QStringLiteral("tab\there")}};
        QTest::newRow("integers and indexes") << QList<Element>{
            {7, 0, QStringLiteral("a"), int64Max, int64Min, QString(), QString(), -1, QString()},
            {qint64(1) << 40, 1, QStringLiteral("b"), -1, (qint64(1) << 53) + 1, QString(), QString(), int64Max, QString()},
            {int64Max, 1, QStringLiteral("c"), 0, 0, QString(), QString(), int64Min, QString()},
        } << QList<Note>{};
        QTest::newRow("levels") << QList<Element>{leaf(1, 0), leaf(2, 1), leaf(3, 2), leaf(4, 2), leaf(5, 1), leaf(6, 0),
                                                  leaf(7, 3), leaf(8, -2), leaf(9, 1), leaf(10, 5)}
                                << QList<Note>{};
        QTest::newRow("notes") << QList<Element>{leaf(2, 0), leaf(4, 1), leaf(6, 0), leaf(8, 0)}
                               << QList<Note>{{8, QStringLiteral("last")},    {4, QStringLiteral("")},
                                              {4, QStringLiteral("second")},  {1, QStringLiteral("before all")},
                                              {2, QStringLiteral("a")},       {5, QStringLiteral("between")},
                                              {2, QStringLiteral("")},                 {2, QStringLiteral("c")},
                                              {9, QStringLiteral("after all")}, {8, QStringLiteral("and more")}};
    }
    void databaseMatchesQJsonDocument()
    {
        QFETCH(QList<Element>, elements);
        QFETCH(QList<Note>, notes);
        Database database;
        QVERIFY(database.fill(elements, notes));
        ElementDump dump(database.db(), QStringLiteral("/a/file \"name\".mp4"), QStringLiteral("MP4"));
        bool ok = false;
        const QByteArray json = written([&](QTextStream &out) { ok = dump.writeJson(out); });
        QVERIFY2(ok, qPrintable(dump.errorString()));
        QCOMPARE(json.split('\n'), referenceJson(database.db(), QStringLiteral("/a/file \"name\".mp4"),
                                                 QStringLiteral("MP4")).split('\n'));
    }

    // kestrune-dump itself, on a real file of each family, against the tree built from the
    // database it keeps.
    void fixturesMatchQJsonDocument_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("container");
        QTest::newRow("AVI") << QStringLiteral(KESTRUNE_FIXTURES "/avi/mpeg4_mp3.avi") << QStringLiteral("AVI");
        QTest::newRow("MKV") << QStringLiteral(KESTRUNE_FIXTURES "/mkv/h264_vorbis.mkv") << QStringLiteral("MKV");
        QTest::newRow("MP4") << QStringLiteral(KESTRUNE_FIXTURES "/iso/fragmented.mp4") << QStringLiteral("MP4");
    }
    void fixturesMatchQJsonDocument()
    {
        QFETCH(QString, file);
        QFETCH(QString, container);
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kept.sqlite"));
        QProcess process;
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-dump"), {QStringLiteral("--db"), path, QStringLiteral("--json"), file});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QByteArray json = process.readAllStandardOutput();
        Database database(path);
        QCOMPARE(json.split('\n'), referenceJson(database.db(), file, container).split('\n'));
    }
};

QTEST_GUILESS_MAIN(TestDumpJson)
#include "test_dump_json.moc"
