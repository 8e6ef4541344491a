#include "element_database_fixture.h"
#include "viewer_database.h"

#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>
#include <limits>
#include <memory>

using Element = ViewerDatabase::Element;

namespace {

// 1 a / 2 a1 / 3 a1x / 4 a1y / 5 a2 / 6 a2x / 7 b / 8 b1 / 9 c
const char *const sample = "a\n  a1\n    a1x\n    a1y\n  a2\n    a2x\nb\n  b1\nc";

QString ids(const QList<qint64> &list)
{
    QStringList parts;
    for (qint64 id : list)
        parts << QString::number(id);
    return parts.join(QLatin1Char(','));
}

QString rows(const ViewerDatabase &db)
{
    QList<qint64> list;
    for (int row = 0; row < db.rowCount(); ++row)
        list << db.idAt(row);
    return ids(list);
}

// A window as "id" per row, with "*" after the rows whose branch line ends there.
QString window(const QList<Element> &list)
{
    QStringList parts;
    for (const Element &element : list)
        parts << QString::number(element.id) + (element.is_last ? QStringLiteral("*") : QString());
    return parts.join(QLatin1Char(','));
}

QList<qint64> idList(const QString &text)
{
    QList<qint64> list;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        list << part.toLongLong();
    return list;
}

// What the tree should show, worked out from the records alone.
struct Reference
{
    std::vector<ElementRecord> records;
    QSet<qint64> open;

    bool exists(qint64 id) const { return id >= 1 && id <= qint64(records.size()); }
    const ElementRecord &at(qint64 id) const { return records[size_t(id - 1)]; }
    bool visible(qint64 id) const
    {
        const ElementRecord &record = at(id);
        return record.level == 0 || (open.contains(record.parentId) && visible(record.parentId));
    }
    QList<qint64> rows() const
    {
        QList<qint64> list;
        for (const ElementRecord &record : records)
            if (visible(record.id))
                list << record.id;
        return list;
    }
};

} // namespace

class TestViewerDatabase : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ViewerDatabase> attach(const std::vector<ElementRecord> &records,
                                           const QList<qint64> &opened = {})
    {
        QSqlDatabase *connection = ElementDatabaseFixture::create(ViewerDatabase::connectionName(), records);
        if (!connection)
            return nullptr;
        ElementDatabaseFixture::markOpen(*connection, opened);
        auto db = std::make_unique<ViewerDatabase>();
        db->setDatabase(connection);
        return db;
    }

private slots:
    void cleanup()
    {
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
    }

    void elementTravelsInVariant()
    {
        ViewerDatabase db;
        QVERIFY(QMetaType::fromName("ViewerDatabase::Element").isValid());
        Element element;
        QCOMPARE(element.id, -1);
        QCOMPARE(element.parent_id, -1);
        QCOMPARE(element.offset, -1);
        QCOMPARE(element.size, -1);
        QVERIFY(!element.has_children && !element.is_open && !element.is_last);
        element.id = 42;
        element.name = QStringLiteral("moov");
        const QVariant variant = QVariant::fromValue(element);
        QCOMPARE(QString::fromLatin1(variant.typeName()), QStringLiteral("ViewerDatabase::Element"));
        QCOMPARE(variant.value<Element>().name, QStringLiteral("moov"));
    }

    void detachedGivesFailureValues()
    {
        ViewerDatabase db;
        QList<Element> list;
        QCOMPARE(db.close(), -1);
        QCOMPARE(db.elementCount(), 0);
        QCOMPARE(db.level(1), -1);
        QCOMPARE(db.parentId(1), -1);
        QCOMPARE(db.lastChildId(1), -1);
        QVERIFY(!db.isOpen(1));
        QVERIFY(!db.isVisible(1));
        QCOMPARE(db.rowCount(), 0);
        QCOMPARE(db.idAt(0), 0);
        QCOMPARE(db.fetchWindow(1, 10, list), -1);
        QVERIFY(list.isEmpty());
        QCOMPARE(db.stepRows(5, -2), -1);
        QCOMPARE(db.stepRows(5, 2), -1);
        QCOMPARE(db.openElement(1), -1);
        QCOMPARE(db.closeElement(1), -1);
        db.openPath(3);
    }

    void cleaning_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("seqNum");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("readable");
        QTest::addColumn<QString>("shownName");
        QTest::addColumn<QString>("shownRaw");
        QTest::addColumn<QString>("shownReadable");

        QTest::newRow("plain") << "ftyp" << qint64(-1) << "isom" << "ISO base media" << "ftyp" << "isom"
                               << "ISO base media";
        QTest::newRow("empty readable shows raw") << "size" << qint64(-1) << "1024" << "" << "size" << "1024"
                                                  << "1024";
        QTest::newRow("line break becomes one space") << "note" << qint64(-1) << "a\r\nb" << "x\ty"
                                                      << "note" << "a b" << "x y";
        QTest::newRow("runs and edges simplified") << "  two   words " << qint64(-1) << "" << "" << "two words"
                                                   << "" << "";
        QTest::newRow("empty name") << "" << qint64(-1) << "1" << "" << "(empty)" << "1" << "1";
        QTest::newRow("control characters only") << "\x01\x02\x1f" << qint64(-1) << "" << ""
                                                 << "(empty)" << "" << "";
        QTest::newRow("sequence number") << "Block" << qint64(3) << "" << "" << "Block-3" << "" << "";
        QTest::newRow("sequence number zero") << "entry" << qint64(0) << "" << "" << "entry-0" << "" << "";
        QTest::newRow("empty name with sequence number") << "\x7f" << qint64(12) << "" << ""
                                                         << "(empty)-12" << "" << "";
        QTest::newRow("non-ASCII becomes space") << QString::fromUtf8("caf\xc3\xa9 bar") << qint64(-1)
                                                 << QString::fromUtf8("\xe2\x82\xac" "5") << ""
                                                 << "caf bar" << "5" << "5";
    }

    void cleaning()
    {
        QFETCH(QString, name);
        QFETCH(qint64, seqNum);
        QFETCH(QString, raw);
        QFETCH(QString, readable);
        std::vector<ElementRecord> records = ElementDatabaseFixture::outline(QStringLiteral("x"));
        // The empty name goes into the dictionary directly, whatever the writer makes of one.
        records[0].name = name.isEmpty() ? QStringLiteral("placeholder") : name;
        records[0].index = seqNum;
        records[0].value = raw;
        records[0].readable = readable;
        auto db = attach(records);
        QVERIFY(db);
        if (name.isEmpty()) {
            QSqlQuery rename(*db->database());
            QVERIFY(rename.exec(QStringLiteral("UPDATE dictionary SET name = ''")));
        }
        QList<Element> list;
        QCOMPARE(db->fetchWindow(1, 0, list), 0);
        QCOMPARE(list.size(), 1);
        QTEST(list[0].name, "shownName");
        QTEST(list[0].raw_value, "shownRaw");
        QTEST(list[0].hrf_value, "shownReadable");
        QCOMPARE(list[0].seq_num, seqNum);
    }

    void attachBuildsVisibleRows_data()
    {
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("expected");

        QTest::newRow("nothing open") << "" << "1,7,9";
        QTest::newRow("top open") << "1" << "1,2,5,7,9";
        QTest::newRow("nested open") << "1,2" << "1,2,3,4,5,7,9";
        QTest::newRow("open under closed parent stays hidden") << "2,7" << "1,7,8,9";
        QTest::newRow("every element open") << "1,2,5,7" << "1,2,3,4,5,6,7,8,9";
    }

    void attachBuildsVisibleRows()
    {
        QFETCH(QString, opened);
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)), idList(opened));
        QVERIFY(db);
        QTEST(rows(*db), "expected");
        QCOMPARE(db->elementCount(), 9);
    }

    void rowLookups()
    {
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)), {1});
        QVERIFY(db);
        QCOMPARE(db->idAt(-1), 0);
        QCOMPARE(db->idAt(db->rowCount()), 0);
        QCOMPARE(db->idAt(1), 2);
        QCOMPARE(db->rowOf(5), 2);
        QCOMPARE(db->rowOf(3), -1); // hidden
        QCOMPARE(db->rowOf(42), -1);
        QCOMPARE(db->level(3), 2);
        QCOMPARE(db->parentId(3), 2);
        QCOMPARE(db->lastChildId(1), 5);
        QCOMPARE(db->lastChildId(3), 0);
        QCOMPARE(db->level(42), -1);
        QVERIFY(db->isVisible(5));
        QVERIFY(!db->isVisible(6));
        QVERIFY(!db->isVisible(42));
    }

    void openAndClose()
    {
        // a2 was left open by an earlier session; a is closed.
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)), {5});
        QVERIFY(db);
        QCOMPARE(rows(*db), QStringLiteral("1,7,9"));

        QCOMPARE(db->openElement(1), 0);
        QCOMPARE(rows(*db), QStringLiteral("1,2,5,6,7,9")); // a2's own child right after a2
        QCOMPARE(db->openElement(1), -1);                   // already open
        QCOMPARE(db->openElement(3), -1);                   // a leaf
        QCOMPARE(db->openElement(2), 0);
        QCOMPARE(rows(*db), QStringLiteral("1,2,3,4,5,6,7,9"));

        QCOMPARE(db->closeElement(1), 0);
        QCOMPARE(rows(*db), QStringLiteral("1,7,9"));
        QVERIFY(db->isOpen(2) && db->isOpen(5));
        QCOMPARE(db->closeElement(1), -1); // already closed
        QCOMPARE(db->closeElement(4), -1);

        QCOMPARE(db->openElement(1), 0);
        QCOMPARE(rows(*db), QStringLiteral("1,2,3,4,5,6,7,9"));

        // Opening a hidden element only records it; its rows appear when its parent opens.
        QCOMPARE(db->closeElement(1), 0);
        QCOMPARE(db->openElement(7), 0);
        QCOMPARE(db->closeElement(2), 0);
        QCOMPARE(rows(*db), QStringLiteral("1,7,8,9"));
        QCOMPARE(db->openElement(2), 0);
        QCOMPARE(rows(*db), QStringLiteral("1,7,8,9"));
        QCOMPARE(db->openElement(1), 0);
        QCOMPARE(rows(*db), QStringLiteral("1,2,3,4,5,6,7,8,9"));
    }

    void foreignKeyRefusal()
    {
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)));
        QVERIFY(db);
        // An id that names no element looks like it has children (-1), so only the database
        // stands between it and open_elements.
        QCOMPARE(db->openElement(99), -1);
        QCOMPARE(db->openElement(0), -1);
        QVERIFY(!db->isOpen(99));
        QSqlQuery query(*db->database());
        QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM open_elements")) && query.next());
        QCOMPARE(query.value(0).toInt(), 0);
        QCOMPARE(rows(*db), QStringLiteral("1,7,9"));
    }

    void fetchWindow_data()
    {
        QTest::addColumn<QString>("opened");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");

        QTest::newRow("closed tree") << "" << qint64(1) << 10 << "1,7,9";
        QTest::newRow("count plus one") << "1,2,5,7" << qint64(1) << 3 << "1,2,3,4*";
        QTest::newRow("last row of a window") << "1,2,5,7" << qint64(5) << 1 << "5*,6*";
        QTest::newRow("open element with later sibling") << "1,2" << qint64(1) << 10 << "1,2,3,4*,5*,7,9";
        QTest::newRow("start inside hidden subtree") << "1" << qint64(3) << 10 << "5*,7,9";
        QTest::newRow("start under closed top") << "" << qint64(2) << 10 << "7,9";
        QTest::newRow("hidden subtree in the middle") << "1,5" << qint64(1) << 10 << "1,2,5*,6*,7,9";
        QTest::newRow("start past the end") << "" << qint64(10) << 10 << "";
        QTest::newRow("zero count gives one row") << "" << qint64(7) << 0 << "7";
    }

    void fetchWindow()
    {
        QFETCH(QString, opened);
        QFETCH(qint64, start);
        QFETCH(int, count);
        QFETCH(QString, expected);
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)), idList(opened));
        QVERIFY(db);
        QList<Element> list;
        QCOMPARE(db->fetchWindow(start, count, list), expected.isEmpty() ? -1 : 0);
        QCOMPARE(window(list), expected);
    }

    void windowElementFields()
    {
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)), {1});
        QVERIFY(db);
        QList<Element> list;
        QCOMPARE(db->fetchWindow(1, 1, list), 0);
        QCOMPARE(list.size(), 2);
        const Element &a = list[0];
        QCOMPARE(a.id, 1);
        QCOMPARE(a.level, 0);
        QCOMPARE(a.parent_id, 0);
        QCOMPARE(a.last_child_id, 5);
        QCOMPARE(a.name, QStringLiteral("a"));
        QCOMPARE(a.offset, 8);
        QCOMPARE(a.size, 8);
        QVERIFY(a.has_children && a.is_open);
        const Element &a1 = list[1];
        QCOMPARE(a1.parent_id, 1);
        QVERIFY(a1.has_children && !a1.is_open);
    }

    void stepRows_data()
    {
        QTest::addColumn<QString>("opened");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("delta");
        QTest::addColumn<qint64>("expected");

        QTest::newRow("down one") << "1" << qint64(1) << qint64(1) << qint64(2);
        QTest::newRow("down over closed subtree") << "1" << qint64(2) << qint64(1) << qint64(5);
        QTest::newRow("down past the end stays on last") << "1" << qint64(5) << qint64(10) << qint64(9);
        QTest::newRow("down from hidden") << "1" << qint64(3) << qint64(1) << qint64(7);
        QTest::newRow("up one") << "1" << qint64(5) << qint64(-1) << qint64(2);
        QTest::newRow("up over closed subtree") << "1" << qint64(7) << qint64(-1) << qint64(5);
        QTest::newRow("up into open subtree") << "1,2,5" << qint64(7) << qint64(-1) << qint64(6);
        QTest::newRow("up several") << "1,2,5" << qint64(9) << qint64(-4) << qint64(4);
        QTest::newRow("never below one") << "1" << qint64(5) << qint64(-50) << qint64(1);
        QTest::newRow("zero on visible") << "1" << qint64(5) << qint64(0) << qint64(5);
        QTest::newRow("zero on hidden gives ancestor") << "1" << qint64(6) << qint64(0) << qint64(5);
        QTest::newRow("zero on deeply hidden") << "" << qint64(4) << qint64(0) << qint64(1);
        QTest::newRow("up from hidden") << "1" << qint64(6) << qint64(-2) << qint64(2);
        QTest::newRow("from past the end") << "" << qint64(30) << qint64(-1) << qint64(9);
        QTest::newRow("from one") << "" << qint64(1) << qint64(-1) << qint64(1);
        QTest::newRow("largest step down") << "1" << qint64(1) << std::numeric_limits<qint64>::max() << qint64(9);
        QTest::newRow("largest step up") << "1" << qint64(9) << std::numeric_limits<qint64>::min() << qint64(1);
    }

    void stepRows()
    {
        QFETCH(QString, opened);
        QFETCH(qint64, start);
        QFETCH(qint64, delta);
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)), idList(opened));
        QVERIFY(db);
        QTEST(db->stepRows(start, delta), "expected");
    }

    void openPath_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QString>("expected");

        QTest::newRow("leaf opens its ancestors") << qint64(4) << "1,2,3,4,5,7,9";
        QTest::newRow("element with children opens too") << qint64(5) << "1,2,5,6,7,9";
        QTest::newRow("top leaf") << qint64(9) << "1,7,9";
        QTest::newRow("id zero") << qint64(0) << "1,7,9";
        QTest::newRow("negative id") << qint64(-3) << "1,7,9";
        QTest::newRow("beyond the count") << qint64(50) << "1,7,9";
    }

    void openPath()
    {
        QFETCH(qint64, id);
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)));
        QVERIFY(db);
        db->openPath(id);
        QTEST(rows(*db), "expected");
        db->openPath(id); // everything on the path is open already
        QTEST(rows(*db), "expected");
    }

    void connectionOwnership()
    {
        const std::vector<ElementRecord> records = ElementDatabaseFixture::outline(QString::fromLatin1(sample));

        // The engine's connection is deleted and removed.
        auto db = attach(records);
        QVERIFY(db);
        QCOMPARE(db->close(), 0);
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
        QCOMPARE(db->close(), -1);
        QCOMPARE(db->rowCount(), 0);

        // Any other connection stays registered and usable.
        const QString other = QStringLiteral("someone-else");
        std::unique_ptr<QSqlDatabase> foreign(ElementDatabaseFixture::create(other, records));
        QVERIFY(foreign);
        db->setDatabase(foreign.get());
        QCOMPARE(db->rowCount(), 3);
        QCOMPARE(db->close(), 0);
        QVERIFY(QSqlDatabase::contains(other));
        QVERIFY(foreign->isOpen());
        QSqlQuery query(*foreign);
        QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM elements")) && query.next());
        QCOMPARE(query.value(0).toInt(), 9);
        query.finish();
        foreign.reset();
        QSqlDatabase::removeDatabase(other);
    }

    void reattachAndDetach()
    {
        auto db = attach(ElementDatabaseFixture::outline(QString::fromLatin1(sample)));
        QVERIFY(db);
        QSqlDatabase *connection = db->database();
        QCOMPARE(db->openElement(1), 0);
        // Handing over the attached connection again keeps it, with a fresh list.
        QCOMPARE(db->setDatabase(connection), 0);
        QCOMPARE(db->database(), connection);
        QCOMPARE(rows(*db), QStringLiteral("1,2,5,7,9"));
        QCOMPARE(db->closeElement(1), 0);
        // A null connection detaches and releases the engine's connection.
        QCOMPARE(db->setDatabase(nullptr), 0);
        QVERIFY(!db->isAttached());
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
    }

    void attachingAnotherReleasesTheFirst()
    {
        const std::vector<ElementRecord> records = ElementDatabaseFixture::outline(QString::fromLatin1(sample));
        auto db = attach(records);
        QVERIFY(db);
        const QString other = QStringLiteral("second");
        std::unique_ptr<QSqlDatabase> second(ElementDatabaseFixture::create(other, ElementDatabaseFixture::wide(2, 3)));
        QVERIFY(second);
        db->setDatabase(second.get());
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
        QCOMPARE(rows(*db), QStringLiteral("1,5"));
        db->close();
        second.reset();
        QSqlDatabase::removeDatabase(other);
    }

    void damagedDatabaseEnds()
    {
        // Links that no engine writes: a child whose parent is itself, a parent below its
        // child, a level without a parent and a last child pointing backwards.
        std::vector<ElementRecord> records = ElementDatabaseFixture::outline(QString::fromLatin1(sample));
        records[2].parentId = 3;      // a1x is its own parent
        records[2].lastChildId = 3;
        records[3].parentId = 6;      // a1y's parent lies after it
        records[4].parentId = 0;      // a2 at level 1 without a parent
        records[6].lastChildId = 2;   // b's last child before b
        auto db = attach(records, {1, 2, 3, 5, 6, 7});
        QVERIFY(db);
        const QString shown = rows(*db);
        QList<Element> list;
        for (qint64 start = -1; start <= 11; ++start) {
            list.clear();
            db->fetchWindow(start, 20, list);
            for (qsizetype i = 1; i < list.size(); ++i)
                QVERIFY(list[i - 1].id < list[i].id);
            for (qint64 delta : {-20, -1, 0, 1, 20})
                QVERIFY(db->stepRows(start, delta) >= 1);
            db->openPath(start);
            db->closeElement(start);
            db->openElement(start);
        }
        for (int row = 1; row < db->rowCount(); ++row)
            QVERIFY(db->idAt(row - 1) < db->idAt(row));
        QVERIFY(!shown.isEmpty());
    }

    void matchesReference()
    {
        QRandomGenerator random(20240611);
        for (int round = 0; round < 12; ++round) {
            QStringList lines;
            int level = 0;
            const int count = 30 + int(random.bounded(120));
            for (int i = 0; i < count; ++i) {
                lines << QString(level * 2, QLatin1Char(' ')) + QStringLiteral("e%1").arg(i);
                level = int(random.bounded(level + 2)); // deeper by one at most
                level = qMin(level, 6);
            }
            Reference reference;
            reference.records = ElementDatabaseFixture::outline(lines.join(QLatin1Char('\n')));
            for (const ElementRecord &record : reference.records)
                if (record.lastChildId != 0 && random.bounded(3) == 0)
                    reference.open.insert(record.id);
            auto db = attach(reference.records, reference.open.values());
            QVERIFY(db);

            for (int step = 0; step < 150; ++step) {
                const qint64 id = qint64(random.bounded(count + 6)) - 2;
                const bool canOpen = reference.exists(id) && reference.at(id).lastChildId != 0;
                switch (random.bounded(5)) {
                case 0: {
                    const bool expect = canOpen && !reference.open.contains(id);
                    QCOMPARE(db->openElement(id), expect ? 0 : -1);
                    if (expect)
                        reference.open.insert(id);
                    break;
                }
                case 1: {
                    const bool expect = canOpen && reference.open.contains(id);
                    QCOMPARE(db->closeElement(id), expect ? 0 : -1);
                    reference.open.remove(id);
                    break;
                }
                case 2:
                    if (random.bounded(4) == 0) {
                        db->openPath(id);
                        for (qint64 up = reference.exists(id) ? id : 0; up > 0; up = reference.at(up).parentId)
                            if (up != id || canOpen)
                                reference.open.insert(up);
                    }
                    break;
                default:
                    break;
                }
                const QList<qint64> expectedRows = reference.rows();
                QCOMPARE(rows(*db), ids(expectedRows));

                // A window from anywhere: the visible rows from there, each marked when it
                // is the last child of its parent.
                const int windowRows = int(random.bounded(12));
                const auto from = std::lower_bound(expectedRows.cbegin(), expectedRows.cend(), id);
                QStringList expectedWindow;
                for (auto it = from; it != expectedRows.cend() && expectedWindow.size() <= windowRows; ++it) {
                    const ElementRecord &record = reference.at(*it);
                    const bool last = record.level != 0 && reference.at(record.parentId).lastChildId == *it;
                    expectedWindow << QString::number(*it) + (last ? QStringLiteral("*") : QString());
                }
                QList<Element> list;
                db->fetchWindow(id, windowRows, list);
                QCOMPARE(window(list), expectedWindow.join(QLatin1Char(',')));

                // Stepping up lands delta rows above the row at or before the start.
                const qint64 delta = qint64(random.bounded(8));
                const qsizetype fromRow = from - expectedRows.cbegin();
                if (id > 1 && id <= count) {
                    const qint64 up = expectedRows.at(qMax<qsizetype>(fromRow - qMax<qint64>(delta, 1), 0));
                    const bool shown = reference.visible(id);
                    QCOMPARE(db->stepRows(id, -delta), delta == 0 && shown ? id : up);
                }
                if (fromRow < expectedRows.size() && delta > 0) {
                    const qint64 down = expectedRows.at(qMin<qsizetype>(fromRow + delta, expectedRows.size() - 1));
                    QCOMPARE(db->stepRows(id, delta), down);
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestViewerDatabase)
#include "test_viewer_database.moc"
