#include "bin_view_layout.h"
#include "element_database_fixture.h"
#include "go_to_bar.h"
#include "navigation_history.h"
#include "viewer_database.h"

#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTest>

#include <limits>
#include <memory>

namespace {

// One element of a hand-made tree: its level and its bits.
struct Node
{
    int level;
    QString name;
    qint64 offset; ///< bits
    qint64 size;   ///< bits
    qint64 index = -1;
};

// Ids, parents and last children follow from the levels, in pre-order.
std::vector<ElementRecord> records(const QList<Node> &nodes)
{
    std::vector<ElementRecord> list;
    std::vector<size_t> open;
    for (const Node &node : nodes) {
        ElementRecord record;
        record.id = qint64(list.size()) + 1;
        record.level = node.level;
        record.name = node.name;
        record.offset = node.offset;
        record.size = node.size;
        record.index = node.index;
        open.resize(size_t(node.level));
        if (node.level > 0) {
            record.parentId = list[open.back()].id;
            list[open.back()].lastChildId = record.id;
        }
        open.push_back(list.size());
        list.push_back(record);
    }
    return list;
}

//  bytes  0 .. 15  a
//          0 .. 3    h
//          4 .. 11   b: f (one bit), z (no bits), g (to the end of byte 7), two four-bit fields in byte 8
//         12 .. 15   tail, then e of no bits at the same offset
//  bytes 20 .. 29  c
//  byte  40        n, from bit 4 on
const QList<Node> handMade = {
    {0, "a", 0, 128},
    {1, "h", 0, 32},
    {1, "b", 32, 64},
    {2, "f", 32, 1},
    {2, "z", 33, 0},
    {2, "g", 33, 31},
    {2, "high", 64, 4},
    {2, "low", 68, 4},
    {1, "tail", 96, 32},
    {1, "e", 96, 0},
    {0, "c", 160, 80},
    {0, "n", 324, 4},
};

// A three-level tree of many elements with gaps between siblings, sizes in whole bytes and in
// bits, and elements of no bits; the deepest element holding each byte is known by a scan.
QList<Node> generated(int tops)
{
    QRandomGenerator random(20261209);
    QList<Node> nodes;
    qint64 at = 0;
    for (int top = 0; top < tops; ++top) {
        at += 8 * random.bounded(3);
        const qint64 topStart = at;
        const int topIndex = int(nodes.size());
        nodes.append({0, QStringLiteral("top"), at, 0});
        for (int child = random.bounded(4); child > 0; --child) {
            at += 8 * random.bounded(2);
            const qint64 childStart = at;
            const int childIndex = int(nodes.size());
            nodes.append({1, QStringLiteral("child"), at, 0});
            for (int leaf = random.bounded(5); leaf > 0; --leaf) {
                const qint64 size = random.bounded(3) == 0 ? random.bounded(12) : 8 * random.bounded(1, 4);
                nodes.append({2, QStringLiteral("leaf"), at, size});
                at += size;
            }
            at = (at + 7) / 8 * 8 + 8 * random.bounded(2);
            nodes[childIndex].size = at - childStart;
        }
        at += 8 * random.bounded(2);
        nodes[topIndex].size = at - topStart;
    }
    return nodes;
}

qint64 scanDeepest(const std::vector<ElementRecord> &list, qint64 byte)
{
    qint64 found = -1;
    int level = -1;
    for (const ElementRecord &record : list) {
        const bool holds = record.size > 0 && record.offset < 8 * byte + 8 && record.offset + record.size > 8 * byte;
        if (holds && record.level > level) {
            found = record.id;
            level = record.level;
        }
    }
    return found;
}

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

    std::unique_ptr<ViewerDatabase> db;

    void attach(const std::vector<ElementRecord> &list)
    {
        db = std::make_unique<ViewerDatabase>();
        db->setDatabase(ElementDatabaseFixture::create(ViewerDatabase::connectionName(), list));
        QVERIFY(db->isAttached());
    }

private slots:
    void cleanup()
    {
        db.reset();
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
    }

    void deepestAt_data()
    {
        QTest::addColumn<qint64>("byte");
        QTest::addColumn<QString>("name");
        QTest::newRow("first byte") << qint64(0) << "h";
        QTest::newRow("inside a field") << qint64(3) << "h";
        QTest::newRow("one-bit field starts the byte") << qint64(4) << "f";
        QTest::newRow("bits of a later field") << qint64(7) << "g";
        QTest::newRow("first of two fields of a byte") << qint64(8) << "high";
        QTest::newRow("no child holds it") << qint64(9) << "b";
        QTest::newRow("behind an element of no bits") << qint64(13) << "tail";
        QTest::newRow("gap between tops") << qint64(17) << "";
        QTest::newRow("second top") << qint64(29) << "c";
        QTest::newRow("just past it") << qint64(30) << "";
        QTest::newRow("field from the middle of a byte") << qint64(40) << "n";
        QTest::newRow("past the end") << qint64(41) << "";
        QTest::newRow("negative") << qint64(-1) << "";
        QTest::newRow("no bit offset for it") << std::numeric_limits<qint64>::max() << "";
    }

    void deepestAt()
    {
        QFETCH(qint64, byte);
        QFETCH(QString, name);
        attach(records(handMade));
        const qint64 id = db->deepestAt(byte);
        QCOMPARE(id < 0 ? QString() : db->element(id).name, name);
    }

    void deepestAtMatchesScan()
    {
        const std::vector<ElementRecord> list = records(generated(3000));
        attach(list);
        const qint64 end = list.back().offset / 8 + 16;
        for (qint64 byte = 0; byte < end; byte += 1 + byte % 7) {
            if (db->deepestAt(byte) != scanDeepest(list, byte))
                QFAIL(qPrintable(QStringLiteral("byte %1: %2, the scan says %3")
                                     .arg(byte).arg(db->deepestAt(byte)).arg(scanDeepest(list, byte))));
        }
    }

    void detached()
    {
        ViewerDatabase none;
        QCOMPARE(none.deepestAt(0), qint64(-1));
        QCOMPARE(none.path(1), QString());
        QCOMPARE(none.linkTarget(1), qint64(-1));
        QVERIFY(none.linkTargets({1, 2}).isEmpty());
    }

    void path_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QString>("path");
        QTest::newRow("top") << qint64(1) << "moov";
        QTest::newRow("one of a kind") << qint64(2) << "moov / mvhd";
        QTest::newRow("first of two") << qint64(3) << "moov / trak[0]";
        QTest::newRow("entry") << qint64(6) << "moov / trak[0] / stsz / entry_size[229677]";
        QTest::newRow("second of two") << qint64(7) << "moov / trak[1]";
        QTest::newRow("top of a kind, later") << qint64(9) << "mdat";
        QTest::newRow("no element") << qint64(99) << "";
    }

    void path()
    {
        QFETCH(qint64, id);
        attach(records({
            {0, "moov", 0, 800},
            {1, "mvhd", 0, 8},
            {1, "trak", 8, 80},
            {2, "stsz", 8, 80},
            {3, "entry_size", 8, 32, 229676},
            {3, "entry_size", 40, 32, 229677},
            {1, "trak", 88, 80},
            {2, "stsz", 88, 80},
            {0, "mdat", 800, 80},
        }));
        QTEST(db->path(id), "path");
    }

    void links()
    {
        attach(records(handMade));
        QSqlQuery insert(*db->database());
        QVERIFY(insert.exec(QStringLiteral("INSERT INTO links VALUES (2, 20), (6, 0), (11, 40)")));
        QCOMPARE(db->linkTarget(2), qint64(20));
        QCOMPARE(db->linkTarget(6), qint64(0));
        QCOMPARE(db->linkTarget(3), qint64(-1));
        QList<qint64> ids;
        for (qint64 id = 1; id <= 1200; ++id)
            ids << id % 12 + 1;
        const QHash<qint64, qint64> targets = db->linkTargets(ids);
        QCOMPARE(targets, (QHash<qint64, qint64>{{2, 20}, {6, 0}, {11, 40}}));
    }

    void history_data()
    {
        // "a>b" records a jump, "<n" and ">n" step back and forward from n; steps give what
        // they return.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<qint64>>("returned");
        QTest::newRow("nothing") << QStringList{"<5", ">5"} << QList<qint64>{-1, -1};
        QTest::newRow("back and forward")
            << QStringList{"1>2", "2>3", "<3", "<2", "<1", ">1", ">2", ">3"} << QList<qint64>{2, 1, -1, 2, 3, -1};
        QTest::newRow("a jump forgets forward") << QStringList{"1>2", "2>3", "<3", "2>9", ">9", "<9"}
                                                << QList<qint64>{2, -1, 2};
        QTest::newRow("no jump in place") << QStringList{"4>4", "<4"} << QList<qint64>{-1};
        QTest::newRow("walked back by hand") << QStringList{"1>2", "2>3", "<2"} << QList<qint64>{1};
        QTest::newRow("bounded, oldest first") << QStringList{"1>2", "2>3", "3>4", "4>5", "<5", "<4", "<3", "<2"}
                                               << QList<qint64>{4, 3, 2, -1};
    }

    void history()
    {
        QFETCH(QStringList, steps);
        NavigationHistory list(nullptr, 3);
        QList<qint64> returned;
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1Char('<')))
                returned << list.back(step.mid(1).toLongLong());
            else if (step.startsWith(QLatin1Char('>')))
                returned << list.forward(step.mid(1).toLongLong());
            else
                list.record(step.section(QLatin1Char('>'), 0, 0).toLongLong(), step.section(QLatin1Char('>'), 1).toLongLong());
        }
        QTEST(returned, "returned");
        QVERIFY(list.backCount() <= 3 && list.forwardCount() <= 3);
    }

    void goToEntry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("value");
        const int offset = GoToBar::Request::Offset;
        const int id = GoToBar::Request::Id;
        const int invalid = GoToBar::Request::Invalid;
        QTest::newRow("decimal") << "4096" << offset << qint64(4096);
        QTest::newRow("spaces around") << "  12 " << offset << qint64(12);
        QTest::newRow("zero") << "0" << offset << qint64(0);
        QTest::newRow("hex") << "0x1F" << offset << qint64(31);
        QTest::newRow("hex capital") << "0XfF" << offset << qint64(255);
        QTest::newRow("largest") << "0x7fffffffffffffff" << offset << std::numeric_limits<qint64>::max();
        QTest::newRow("id") << "#123" << id << qint64(123);
        QTest::newRow("empty") << "" << invalid << qint64(-1);
        QTest::newRow("hex without digits") << "0x" << invalid << qint64(-1);
        QTest::newRow("hex digit in decimal") << "12ab" << invalid << qint64(-1);
        QTest::newRow("negative") << "-5" << invalid << qint64(-1);
        QTest::newRow("plus sign") << "+5" << invalid << qint64(-1);
        QTest::newRow("space inside") << "1 2" << invalid << qint64(-1);
        QTest::newRow("too large") << "9223372036854775808" << invalid << qint64(-1);
        QTest::newRow("id zero") << "#0" << invalid << qint64(-1);
        QTest::newRow("id in hex") << "#0x10" << invalid << qint64(-1);
        QTest::newRow("id without digits") << "#" << invalid << qint64(-1);
        QTest::newRow("other digits") << QString::fromUtf8("\u0661\u0662") << invalid << qint64(-1);
    }

    void goToEntry()
    {
        QFETCH(QString, text);
        const GoToBar::Request request = GoToBar::parse(text);
        QTEST(int(request.kind), "kind");
        QTEST(request.value, "value");
    }

    void hexOffsetAt_data()
    {
        // 8 bytes a line: hex digits from cell 14, three cells a byte and one more after four;
        // the text from cell 41.
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<qint64>("topLine");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<qint64>("offset");
        QTest::newRow("offset column") << qint64(100) << qint64(0) << 0 << 5 << qint64(-1);
        QTest::newRow("first digit") << qint64(100) << qint64(0) << 0 << 14 << qint64(0);
        QTest::newRow("second digit") << qint64(100) << qint64(0) << 0 << 15 << qint64(0);
        QTest::newRow("blank after a byte") << qint64(100) << qint64(0) << 0 << 16 << qint64(0);
        QTest::newRow("second byte") << qint64(100) << qint64(0) << 0 << 17 << qint64(1);
        QTest::newRow("blank after a group") << qint64(100) << qint64(0) << 0 << 26 << qint64(3);
        QTest::newRow("fifth byte") << qint64(100) << qint64(0) << 0 << 27 << qint64(4);
        QTest::newRow("last byte") << qint64(100) << qint64(0) << 0 << 36 << qint64(7);
        QTest::newRow("after the hex") << qint64(100) << qint64(0) << 0 << 40 << qint64(-1);
        QTest::newRow("text") << qint64(100) << qint64(0) << 0 << 41 << qint64(0);
        QTest::newRow("last text cell") << qint64(100) << qint64(0) << 0 << 48 << qint64(7);
        QTest::newRow("right margin") << qint64(100) << qint64(0) << 0 << 49 << qint64(-1);
        QTest::newRow("lower row, scrolled") << qint64(100) << qint64(3) << 2 << 17 << qint64(41);
        QTest::newRow("past the last byte") << qint64(100) << qint64(12) << 0 << 27 << qint64(-1);
        QTest::newRow("last line") << qint64(100) << qint64(12) << 0 << 23 << qint64(99);
        QTest::newRow("below the lines") << qint64(100) << qint64(12) << 1 << 14 << qint64(-1);
        QTest::newRow("below the view") << qint64(1000) << qint64(0) << 10 << 14 << qint64(-1);
        QTest::newRow("no file") << qint64(-1) << qint64(0) << 0 << 14 << qint64(-1);
    }

    void hexOffsetAt()
    {
        QFETCH(qint64, fileSize);
        QFETCH(qint64, topLine);
        QFETCH(int, row);
        QFETCH(int, column);
        BinViewLayout layout;
        layout.setBytesPerLine(8);
        layout.setFileSize(fileSize);
        layout.setLineHeight(10);
        layout.setViewportHeight(100);
        QCOMPARE(layout.hexColumn(0), 14);
        QCOMPARE(layout.textColumn(0), 41);
        QTEST(layout.offsetAt(topLine, row, column), "offset");
    }
};

QTEST_MAIN(TestNavigation)
#include "test_navigation.moc"
