#include "parser.h"
#include "plugins.h"
#include "toy_file.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtConcurrent>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(bytes);
    return path;
}

QList<QVariantList> rows(const QSqlDatabase &db, const QString &sql)
{
    QList<QVariantList> result;
    QSqlQuery query(db);
    if (!query.exec(sql))
        return result;
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << query.value(i);
        result << row;
    }
    return result;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void init() { Plugins::setSearchPaths({QStringLiteral(KESTRUNE_TEST_BIN_DIR "/plugins")}); }
    void cleanup()
    {
        // Every test hands its connection back; a leftover one would break the next parse.
        const bool leftOver = QSqlDatabase::contains(Parser::connectionName());
        if (leftOver)
            QSqlDatabase::removeDatabase(Parser::connectionName());
        QVERIFY(!leftOver);
    }

    void theToyPluginIsFound()
    {
        bool found = false;
        for (const Plugins::Plugin &plugin : Plugins::collectPlugins(false)) {
            if (plugin.name == QLatin1String("TOY")) {
                found = true;
                QCOMPARE(plugin.extensions, QStringList{QStringLiteral("toy")});
                QVERIFY(plugin.library.endsWith(QLatin1String("libkestrune-container-toy.so")));
            }
        }
        QVERIFY(found);
    }

    void parsesOnAWorkerThreadAndHandsTheConnectionOver()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("sample.toy"), ToyFile::sample());
        Parser parser;
        QSignalSpy progress(&parser, &Parser::progress);
        QThread *workerThread = nullptr;
        QFuture<int> future = QtConcurrent::run([&] {
            workerThread = QThread::currentThread();
            return parser.parseFile(path, QStringLiteral(":memory:"), QString());
        });
        future.waitForFinished();
        QCOMPARE(future.result(), int(Parser::Parsed));
        QVERIFY(workerThread != QThread::currentThread());
        QCOMPARE(parser.containerName(), QStringLiteral("TOY"));

        QTRY_VERIFY(!progress.isEmpty());
        QCOMPARE(progress.first().first().toInt(), 0);
        QCOMPARE(progress.last().first().toInt(), 100);

        QSqlDatabase *db = parser.getConnection();
        QVERIFY(db);
        QVERIFY(!parser.getConnection());
        QCOMPARE(db->connectionName(), Parser::connectionName());
        QVERIFY(QSqlDatabase::database(Parser::connectionName()).isOpen());

        const auto elements = rows(*db, QStringLiteral(
            "SELECT e.id, e.level, e.parent_id, e.last_child_id, d.name, e.offset, e.size, e.raw_value, s.seq_num"
            " FROM elements e JOIN dictionary d ON e.name_id = d.id"
            " LEFT JOIN elements_seq_num s ON e.id = s.id ORDER BY e.id"));
        const QStringList expected{
            "1 0 0 0 magic 0 32 KTOY ",
            "2 0 0 8 group 32 232 24 ",
            "3 1 2 0 tag 32 8 G ",
            "4 1 2 0 leaf 72 80 hello ",
            "5 1 2 7 bits 152 48  ",
            "6 2 5 0 high 192 4 10 ",
            "7 2 5 0 low 196 4 5 ",
            "8 1 2 11 entries 200 64  ",
            "9 2 8 0 entry 240 8 1 0",
            "10 2 8 0 entry 248 8 2 1",
            "11 2 8 0 entry 256 8 3 2",
            "12 0 0 0 frame 264 64 3 ",
            "13 0 0 0 frame 328 56 2 ",
        };
        QStringList actual;
        for (const QVariantList &row : elements) {
            QStringList fields;
            for (const QVariant &v : row)
                fields << v.toString();
            actual << fields.join(QLatin1Char(' '));
        }
        QCOMPARE(actual, expected);
        QCOMPARE(rows(*db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'elements'")).value(0).value(0).toInt(), 13);
        QCOMPARE(rows(*db, QStringLiteral("SELECT description FROM descriptions WHERE id = 3")).value(0).value(0).toString(),
                 QStringLiteral("a group of records"));
        QCOMPARE(rows(*db, QStringLiteral("SELECT stream, frame, offset, size, keyframe FROM frames ORDER BY frame")),
                 (QList<QVariantList>{{0, 0, 38, 3, 1}, {0, 1, 46, 2, 0}}));
        QCOMPARE(rows(*db, QStringLiteral("SELECT id, kind, codec, timescale FROM streams")),
                 (QList<QVariantList>{{0, QStringLiteral("video"), QStringLiteral("ktoy"), 1000}}));
        QVERIFY(!rows(*db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'elements'")).isEmpty());

        db->close();
        delete db;
        QSqlDatabase::removeDatabase(Parser::connectionName());
    }

    void failuresLeaveNoConnection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("result");
        QTest::newRow("unknown format") << QByteArray("RIFX....") << "a.bin" << QString() << int(Parser::NoPluginAccepted);
        QTest::newRow("empty") << QByteArray() << "a.toy" << QString() << int(Parser::EmptyFile);
        QTest::newRow("missing") << QByteArray() << "" << QString() << int(Parser::CannotOpenFile);
        QTest::newRow("directory") << QByteArray() << "." << QString() << int(Parser::CannotOpenFile);
        QTest::newRow("bad option") << ToyFile::sample() << "a.toy" << "show_junk=2" << int(Parser::BadOption);
        QTest::newRow("option the format has no use for")
            << ToyFile::sample() << "a.toy" << "number_base=16" << int(Parser::BadOption);
        ByteBuilder outOfMemory;
        ToyFile::record(outOfMemory.text("KTOY"), 'M');
        QTest::newRow("out of memory") << outOfMemory.bytes() << "a.toy" << QString() << int(Parser::AnalysisFailed);
    }
    void failuresLeaveNoConnection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(QString, option);
        QFETCH(int, result);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("missing.toy"));
        if (name == QLatin1String("."))
            path = dir.path();
        else if (!name.isEmpty())
            path = writeFile(dir, name, bytes);
        Parser parser;
        QCOMPARE(parser.parseFile(path, QStringLiteral(":memory:"), option), result);
        QVERIFY(!parser.errorString().isEmpty());
        QVERIFY(!parser.getConnection());
    }

    void aStalledPluginStopsTheWalkAndKeepsWhatItFound()
    {
        ByteBuilder b;
        b.text("KTOY");
        ToyFile::record(b, 'L', [](ByteBuilder &l) { l.text("kept"); });
        ToyFile::record(b, 'S');
        ToyFile::record(b, 'L', [](ByteBuilder &l) { l.text("never"); });
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("stall.toy"), b.bytes());
        Parser parser;
        QCOMPARE(parser.parseFile(path, QStringLiteral(":memory:"), QString()), int(Parser::Parsed));
        QCOMPARE(parser.warnings().size(), 1);
        QVERIFY(parser.warnings().first().contains(QLatin1String("no progress")));
        QSqlDatabase *db = parser.getConnection();
        QCOMPARE(rows(*db, QStringLiteral("SELECT raw_value FROM elements ORDER BY id")),
                 (QList<QVariantList>{{"KTOY"}, {"kept"}}));
        delete db;
        QSqlDatabase::removeDatabase(Parser::connectionName());
    }

    void aFailingElementKeepsEverythingBeforeIt()
    {
        ByteBuilder b;
        b.text("KTOY");
        ToyFile::record(b, 'L', [](ByteBuilder &l) { l.text("before"); });
        ToyFile::record(b, 'X', [](ByteBuilder &x) { x.zeros(2); });
        ToyFile::record(b, 'L', [](ByteBuilder &l) { l.text("after"); });
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("broken.toy"), b.bytes());
        Parser parser;
        QCOMPARE(parser.parseFile(path, QStringLiteral(":memory:"), QString()), int(Parser::Parsed));
        QSqlDatabase *db = parser.getConnection();
        // The group the plug-in left open is closed, so "after" stays at the top level.
        QCOMPARE(rows(*db, QStringLiteral("SELECT d.name, e.level FROM elements e JOIN dictionary d ON e.name_id = d.id ORDER BY e.id")),
                 (QList<QVariantList>{{"magic", 0}, {"leaf", 0}, {"broken", 0}, {"leaf", 0}}));
        delete db;
        QSqlDatabase::removeDatabase(Parser::connectionName());
    }

    void brokenLibrariesAreSkippedAndTheOthersStillWork()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QStringLiteral(KESTRUNE_TOY_PLUGIN), dir.filePath(QStringLiteral("libkestrune-container-toy.so"))));
        QVERIFY(QFile::copy(QStringLiteral(KESTRUNE_LACKING_PLUGIN), dir.filePath(QStringLiteral("libkestrune-container-lacking.so"))));
        writeFile(dir, QStringLiteral("libkestrune-container-garbage.so"), "not a library");
        Plugins::setSearchPaths({dir.path()});

        const QList<Plugins::Plugin> plugins = Plugins::collectPlugins(false);
        QCOMPARE(plugins.size(), 1);
        QCOMPARE(plugins.first().name, QStringLiteral("TOY"));

        const QString path = writeFile(dir, QStringLiteral("sample.toy"), ToyFile::sample());
        Parser parser;
        QCOMPARE(parser.parseFile(path, QStringLiteral(":memory:"), QString()), int(Parser::Parsed));
        delete parser.getConnection();
        QSqlDatabase::removeDatabase(Parser::connectionName());
    }

    void aKeptDatabaseFileHoldsTheElements()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("sample.toy"), ToyFile::sample());
        const QString database = dir.filePath(QStringLiteral("elements.sqlite"));
        {
            Parser parser;
            QCOMPARE(parser.parseFile(path, database, QString()), int(Parser::Parsed));
        }
        QVERIFY(!QSqlDatabase::contains(Parser::connectionName()));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(database);
            QVERIFY(db.open());
            QCOMPARE(rows(db, QStringLiteral("SELECT COUNT(*) FROM elements")).value(0).value(0).toInt(), 13);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
