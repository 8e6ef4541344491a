#include "fault_hook.h"
#include "parser.h"
#include "plugins.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <atomic>

namespace {

// The engine's fault points ask this program; calls of the site under test are counted, and
// the one numbered failAt fails.
std::atomic<int> site{0};
std::atomic<qint64> calls{0};
std::atomic<qint64> failAt{0};

qint64 elementCount(QSqlDatabase *db)
{
    QSqlQuery query(*db);
    return query.exec(QStringLiteral("SELECT COUNT(*) FROM elements")) && query.next() ? query.value(0).toLongLong() : -1;
}

struct Run
{
    int result;
    QString error;
    qint64 elements; ///< -1 without a database
};

Run parse(const QString &file)
{
    Parser parser;
    Run run{parser.parseFile(file, QStringLiteral(":memory:"), QString()), parser.errorString(), -1};
    if (QSqlDatabase *db = parser.getConnection()) {
        run.elements = elementCount(db);
        const QString name = db->connectionName();
        db->close();
        delete db;
        QSqlDatabase::removeDatabase(name);
    }
    return run;
}

// The points of a loop over N: every one of the first calls, then spread over the rest.
QList<qint64> failurePoints(qint64 total)
{
    QList<qint64> points;
    for (qint64 n = 1; n <= total; n = n < 64 ? n + 1 : n + n / 8)
        points << n;
    return points;
}

} // namespace

extern "C" bool kestruneFaultHook(int at)
{
    return at == site.load() && ++calls == failAt.load();
}

class TestEngineFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Plugins::setSearchPaths({QStringLiteral(KESTRUNE_BIN_DIR "/plugins")}); }

    // Each failure gives the documented status and message, never a success with rows missing,
    // and a parse after it works in full.
    void aFailureAtEveryPointIsReported_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("faultSite");
        QTest::addColumn<QString>("message");
        const struct
        {
            const char *name;
            const char *file;
        } files[] = {{"mkv", "/mkv/h264_vorbis.mkv"}, {"avi", "/avi/two_audio.avi"}, {"mp4", "/iso/tiny.mp4"}};
        for (const auto &file : files) {
            const QString path = QStringLiteral(KESTRUNE_FIXTURES) + QLatin1String(file.file);
            QTest::addRow("%s allocation", file.name) << path << int(FaultSite::Allocation) << "out of memory";
            QTest::addRow("%s SQLite call", file.name)
                << path << int(FaultSite::SqliteCall) << "element database: a call made to fail by a test";
        }
    }
    void aFailureAtEveryPointIsReported()
    {
        QFETCH(QString, file);
        QFETCH(int, faultSite);
        QFETCH(QString, message);
        QVERIFY(QFile::exists(file));
        site = faultSite;
        failAt = 0;
        calls = 0;
        const Run clean = parse(file);
        const qint64 total = calls;
        QCOMPARE(clean.result, int(Parser::Parsed));
        QVERIFY(total > 0);

        for (qint64 n : failurePoints(total)) {
            calls = 0;
            failAt = n;
            const Run faulty = parse(file);
            failAt = 0;
            if (faulty.result == Parser::Parsed) {
                // SQLite gets over some failed allocations by itself; nothing may be lost then.
                QCOMPARE(faulty.elements, clean.elements);
            } else {
                QCOMPARE(faulty.result, int(Parser::DatabaseFailed));
                QVERIFY2(faulty.error.contains(message), qPrintable(QStringLiteral("call %1: %2").arg(n).arg(faulty.error)));
                QCOMPARE(faulty.elements, qint64(-1));
            }
            QVERIFY(!QSqlDatabase::contains(Parser::connectionName()));
        }
        site = 0;
        QCOMPARE(parse(file).elements, clean.elements);
    }
};

QTEST_GUILESS_MAIN(TestEngineFaults)
#include "test_engine_faults.moc"
