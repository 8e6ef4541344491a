// The elements table with its parent index, the sequence numbers and the frames are written as
// finished database pages. These tests read what was written back through SQLite itself: its
// integrity check, every row, and the children of every parent through the index, for tree
// shapes that fill several levels of pages, rows the pages cannot take, late updates, and a
// database file.

#include "element_database_writer.h"

#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <map>
#include <vector>

namespace {

struct Database
{
    sqlite3 *db = nullptr;
    explicit Database(const QByteArray &name = ":memory:") { sqlite3_open(name.constData(), &db); }
    ~Database() { sqlite3_close(db); }

    QStringList column(const char *sql) const
    {
        QStringList values;
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            return {QString::fromUtf8(sqlite3_errmsg(db))};
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList fields;
            for (int i = 0; i < sqlite3_column_count(statement); ++i)
                fields << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, i)));
            values << fields.join(QLatin1Char('|'));
        }
        sqlite3_finalize(statement);
        return values;
    }
};

// Builds a tree element by element in pre-order, as the base class reports it.
class TreeBuilder
{
public:
    ElementRecord &add(qint64 parent, const QString &value = {})
    {
        ElementRecord record;
        record.id = qint64(records.size()) + 1;
        record.parentId = parent;
        record.level = parent == 0 ? 0 : records[size_t(parent - 1)].level + 1;
        // Names alike in their first eight characters and their length share a lookup slot.
        record.name = QStringLiteral("samename%1").arg(record.id % 7);
        record.offset = record.id * 8;
        record.size = 8 + record.id % 300;
        record.value = value;
        record.readable = record.id % 3 ? QString() : QStringLiteral("r%1").arg(record.id);
        record.index = record.id % 5 ? -1 : record.id / 5;
        if (parent != 0)
            records[size_t(parent - 1)].lastChildId = record.id;
        records.push_back(record);
        return records.back();
    }

    // Sends the elements, the groups among them before their children are known when late is set.
    void send(ElementSink &sink, bool late = false) const
    {
        for (const ElementRecord &record : records) {
            ElementRecord sent = record;
            if (late)
                sent.lastChildId = 0;
            sink.element(sent);
        }
        if (late) {
            for (const ElementRecord &record : records) {
                if (record.lastChildId != 0)
                    sink.update(record);
            }
        }
    }

    QStringList expectedRows() const
    {
        QStringList rows;
        for (const ElementRecord &r : records)
            rows << QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
                        .arg(r.id).arg(r.level).arg(r.parentId).arg(r.lastChildId)
                        .arg(r.offset).arg(r.size).arg(r.value, r.readable);
        return rows;
    }

    std::map<qint64, QStringList> children() const
    {
        std::map<qint64, QStringList> result;
        for (const ElementRecord &record : records)
            result[record.parentId] << QString::number(record.id);
        return result;
    }

    std::vector<ElementRecord> records;
};

// A tree with every shape the pages must hold: deep nesting, a wide group, small groups
// interleaved with their parents' other children, and long values.
TreeBuilder mixedTree(int wide)
{
    TreeBuilder tree;
    qint64 parent = 0;
    for (int depth = 0; depth < 40; ++depth)
        parent = tree.add(parent).id;
    const qint64 table = tree.add(0).id;
    for (int i = 0; i < wide; ++i) {
        const qint64 entry = tree.add(table, QString::number(i * 7919)).id;
        if (i % 4 == 0) {
            tree.add(entry);
            tree.add(entry, QString(i % 300, QLatin1Char('v')));
        }
    }
    for (int i = 0; i < 50; ++i)
        tree.add(0, QString(100 + i * 20, QLatin1Char('x')));
    return tree;
}

// As many frames as elements, with values of every size.
FrameRecord frameOf(qint64 n)
{
    FrameRecord frame;
    frame.stream = uint(n % 3);
    frame.number = quint64(n);
    frame.offset = quint64(n) << (n % 40);
    frame.size = quint64(n % 1000);
    frame.time = quint32(n * 40);
    frame.keyFrame = n % 10 == 0;
    return frame;
}

// Every seventh element has a description; the first one gets a second, which replaces it.
QString descriptionOf(qint64 id, int round)
{
    return QStringLiteral("description %1 of %2").arg(round).arg(id);
}

void write(const Database &database, const TreeBuilder &tree, bool late = false, int notes = 0)
{
    QString error;
    QVERIFY(ElementDatabaseWriter::createSchema(database.db, &error));
    ElementDatabaseWriter writer(database.db);
    for (const ElementRecord &record : tree.records) {
        if (record.id % 7 == 0)
            writer.description(record.id, descriptionOf(record.id, 1));
    }
    tree.send(writer, late);
    if (tree.records.size() >= 7)
        writer.description(7, descriptionOf(7, 2));
    for (int n = 0; n < notes; ++n)
        writer.note(1 + n % qint64(tree.records.size()), QStringLiteral("note %1 with some words to fill pages").arg(n));
    for (size_t n = 1; n <= tree.records.size(); ++n)
        writer.frame(frameOf(qint64(n)));
    QVERIFY2(writer.finish(&error), qPrintable(error));
}

void verify(const Database &database, const TreeBuilder &tree)
{
    QCOMPARE(database.column("PRAGMA integrity_check"), QStringList{QStringLiteral("ok")});
    QCOMPARE(database.column("SELECT id, level, parent_id, last_child_id, offset, size,"
                             " ifnull(raw_value, ''), ifnull(hrf_value, '') FROM elements ORDER BY id"),
             tree.expectedRows());
    QStringList names;
    for (const ElementRecord &record : tree.records)
        names << record.name;
    QCOMPARE(database.column("SELECT dictionary.name FROM elements JOIN dictionary ON name_id = dictionary.id"
                             " ORDER BY elements.id"),
             names);
    QCOMPARE(database.column("SELECT seq FROM sqlite_sequence WHERE name = 'elements'"),
             QStringList{QString::number(tree.records.size())});
    const auto children = tree.children();
    QStringList expectedCounts;
    for (const auto &[parent, ids] : children)
        expectedCounts << QStringLiteral("%1|%2").arg(parent).arg(ids.size());
    QCOMPARE(database.column("SELECT parent_id, count(*) FROM elements INDEXED BY elements_parent_id"
                             " GROUP BY parent_id ORDER BY parent_id"),
             expectedCounts);
    for (const auto &[parent, ids] : children) {
        const QByteArray sql = "SELECT id FROM elements WHERE parent_id = " + QByteArray::number(parent) + " ORDER BY id";
        QCOMPARE(database.column(sql.constData()), ids);
    }
    QStringList numbered;
    for (const ElementRecord &record : tree.records) {
        if (record.index != -1)
            numbered << QStringLiteral("%1|%2").arg(record.id).arg(record.index);
    }
    QCOMPARE(database.column("SELECT id, seq_num FROM elements_seq_num ORDER BY id"), numbered);
    QStringList frames;
    for (size_t n = 1; n <= tree.records.size(); ++n) {
        const FrameRecord frame = frameOf(qint64(n));
        frames << QStringLiteral("%1|%2|%3|%4|%5|%6").arg(frame.stream).arg(frame.number).arg(frame.offset)
                      .arg(frame.size).arg(frame.time).arg(frame.keyFrame ? 1 : 0);
    }
    QCOMPARE(database.column("SELECT stream, frame, offset, size, time, keyframe FROM frames ORDER BY rowid"), frames);
    QStringList descriptions;
    for (qint64 id = 7; id <= qint64(tree.records.size()); id += 7)
        descriptions << QStringLiteral("%1|%2").arg(id).arg(descriptionOf(id, id == 7 ? 2 : 1));
    QCOMPARE(database.column("SELECT id, description FROM descriptions ORDER BY id"), descriptions);
}

} // namespace

class TestElementPages : public QObject
{
    Q_OBJECT

private slots:
    void treesOfEverySize_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("wide");
        QTest::addColumn<bool>("late");
        QTest::newRow("no elements") << 4096 << -1 << false;
        QTest::newRow("one element") << 4096 << 0 << false;
        QTest::newRow("one page") << 4096 << 10 << false;
        QTest::newRow("two levels") << 4096 << 5000 << false;
        QTest::newRow("four levels of small pages") << 512 << 40000 << false;
        QTest::newRow("groups sent before they closed") << 512 << 40000 << true;
        QTest::newRow("big pages") << 65536 << 40000 << false;
    }
    void treesOfEverySize()
    {
        QFETCH(int, pageSize);
        QFETCH(int, wide);
        QFETCH(bool, late);
        Database database;
        const QByteArray pragma = "PRAGMA page_size = " + QByteArray::number(pageSize);
        sqlite3_exec(database.db, pragma.constData(), nullptr, nullptr, nullptr);
        TreeBuilder tree;
        if (wide == 0)
            tree.add(0);
        else if (wide > 0)
            tree = mixedTree(wide);
        write(database, tree, late);
        verify(database, tree);
    }

    // Values too long for a page go in through SQL, between rows that are on the pages.
    void valuesLongerThanAPage()
    {
        Database database;
        TreeBuilder tree;
        const qint64 group = tree.add(0).id;
        for (int i = 0; i < 3000; ++i)
            tree.add(group, i % 500 == 7 ? QString(5000 + i, QLatin1Char('L')) : QString::number(i));
        write(database, tree);
        verify(database, tree);
    }

    // Rows out of order are written too, and the rows after them still go onto the pages.
    void rowsOutOfOrder()
    {
        Database database;
        TreeBuilder tree = mixedTree(2000);
        std::swap(tree.records[100], tree.records[101]);
        write(database, tree);
        std::swap(tree.records[100], tree.records[101]);
        verify(database, tree);
    }

    // Many notes give SQLite more pages of its own than the room kept for them in front of the
    // element pages.
    void manyPagesOfSQLitesOwn()
    {
        Database database;
        const TreeBuilder tree = mixedTree(3000);
        write(database, tree, false, 40000);
        verify(database, tree);
        QCOMPARE(database.column("SELECT count(*) FROM notes"), QStringList{QStringLiteral("40000")});
    }

    // A database file gets the same content as an in-memory one.
    void databaseFile()
    {
        QTemporaryDir dir;
        const QByteArray path = dir.filePath(QStringLiteral("elements.sqlite")).toUtf8();
        const TreeBuilder tree = mixedTree(3000);
        {
            Database database(path);
            write(database, tree);
        }
        Database reopened(path);
        verify(reopened, tree);
    }

    // What the viewer writes after the parse still fits: the opened elements.
    void writableAfterwards()
    {
        Database database;
        const TreeBuilder tree = mixedTree(20000);
        write(database, tree);
        sqlite3_exec(database.db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
        for (size_t id = 1; id <= tree.records.size(); id += 3) {
            const QByteArray sql = "INSERT INTO open_elements VALUES (" + QByteArray::number(qint64(id)) + ")";
            QCOMPARE(sqlite3_exec(database.db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        QCOMPARE(sqlite3_exec(database.db, "INSERT INTO open_elements VALUES (999999999)", nullptr, nullptr, nullptr),
                 SQLITE_CONSTRAINT);
        QCOMPARE(database.column("PRAGMA integrity_check"), QStringList{QStringLiteral("ok")});
    }
};

QTEST_GUILESS_MAIN(TestElementPages)
#include "test_element_pages.moc"
