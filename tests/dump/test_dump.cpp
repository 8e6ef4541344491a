#include "toy_file.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result dump(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(KESTRUNE_TEST_BIN_DIR "/kestrune-dump"), arguments);
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class TestDump : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_sample;

private slots:
    void initTestCase()
    {
        m_sample = m_dir.filePath(QStringLiteral("sample.toy"));
        QFile file(m_sample);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ToyFile::sample());
    }

    void printsTheTreeIndented()
    {
        const Result r = dump({m_sample});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 13);
        QCOMPARE(lines[0], QStringLiteral("magic @0 +4 = KTOY"));
        QCOMPARE(lines[2], QStringLiteral("  tag @4 +1 = G (group)  # a group of records"));
        QCOMPARE(lines[5], QStringLiteral("    high @24 +0:4 = 10"));
        QCOMPARE(lines[6], QStringLiteral("    low @24:4 +0:4 = 5"));
        QCOMPARE(lines[8], QStringLiteral("    entry[0] @30 +1 = 1"));
    }

    void json()
    {
        const Result r = dump({QStringLiteral("--json"), m_sample});
        QCOMPARE(r.exitCode, 0);
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(root.value(QStringLiteral("container")).toString(), QStringLiteral("TOY"));
        QCOMPARE(root.value(QStringLiteral("file")).toString(), m_sample);
        const QJsonArray top = root.value(QStringLiteral("elements")).toArray();
        QCOMPARE(top.size(), 4);
        const QJsonObject group = top[1].toObject();
        QCOMPARE(group.value(QStringLiteral("name")).toString(), QStringLiteral("group"));
        QCOMPARE(group.value(QStringLiteral("offset_bits")).toInteger(), 32);
        QCOMPARE(group.value(QStringLiteral("size_bits")).toInteger(), 232);
        QVERIFY(group.value(QStringLiteral("index")).isNull());
        const QJsonArray children = group.value(QStringLiteral("children")).toArray();
        QCOMPARE(children.size(), 4);
        QCOMPARE(children[0].toObject().value(QStringLiteral("description")).toString(), QStringLiteral("a group of records"));
        const QJsonObject entry = children[3].toObject().value(QStringLiteral("children")).toArray()[2].toObject();
        QCOMPARE(entry.value(QStringLiteral("index")).toInteger(), 2);
        QCOMPARE(entry.value(QStringLiteral("id")).toInteger(), 11);
    }

    void framesAndSummary()
    {
        Result r = dump({QStringLiteral("--frames"), m_sample});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("stream,frame,offset,size,keyframe,time,duration,time2\n0,0,38,3,1,0,40,0\n0,1,46,2,0,40,40,0\n"));
        r = dump({QStringLiteral("--streams"), m_sample});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("stream,kind,codec,timescale,width,height,frames\n0,video,ktoy,1000,0,0,2\n"));
        r = dump({QStringLiteral("--summary"), m_sample});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("container: TOY\nelements: 13\nframes: 2\nstreams: 1\n"));
    }

    // The first damaged element is named on standard error, whatever follows it; the parse
    // still succeeds.
    void namesTheFirstDamagedElement_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("warning");
        const auto file = [](const QList<char> &tags) {
            ByteBuilder b;
            b.text("KTOY");
            for (char tag : tags)
                ToyFile::record(b, tag, [](ByteBuilder &r) { r.text("ab"); });
            return b.bytes();
        };
        const QString broken = QStringLiteral("status 5 for a damaged element: broken at offset %1");
        QTest::newRow("first") << file({'X', 'L', 'L'}) << broken.arg(4);
        QTest::newRow("middle") << file({'L', 'X', 'L'}) << broken.arg(11);
        QTest::newRow("last, after another") << file({'L', 'L', 'X', 'X'}) << broken.arg(18);
    }
    void namesTheFirstDamagedElement()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, warning);
        const QString path = m_dir.filePath(QStringLiteral("damaged.toy"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        const Result r = dump({QStringLiteral("--summary"), path});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains(warning), qPrintable(r.err));
        QCOMPARE(r.err.count(QStringLiteral("damaged")), 1);
    }

    void keepsTheDatabaseOnRequestButNeverOverwrites()
    {
        const QString db = m_dir.filePath(QStringLiteral("kept.sqlite"));
        QCOMPARE(dump({QStringLiteral("--db"), db, QStringLiteral("--summary"), m_sample}).exitCode, 0);
        QVERIFY(QFile::exists(db));
        const Result again = dump({QStringLiteral("--db"), db, m_sample});
        QCOMPARE(again.exitCode, 2);
        QVERIFY(again.err.contains(QLatin1String("exists")));
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("unknown format") << QStringList{QStringLiteral(KESTRUNE_FIXTURES "/../CMakeLists.txt")} << 1;
        QTest::newRow("missing file") << QStringList{QStringLiteral("/nonexistent/file.mp4")} << 2;
        QTest::newRow("directory") << QStringList{QStringLiteral("/tmp")} << 2;
        QTest::newRow("no file") << QStringList{} << 2;
        QTest::newRow("two modes") << QStringList{QStringLiteral("--json"), QStringLiteral("--frames"), QStringLiteral("x")} << 2;
        QTest::newRow("streams and summary") << QStringList{QStringLiteral("--streams"), QStringLiteral("--summary"), QStringLiteral("x")} << 2;
        QTest::newRow("unknown flag") << QStringList{QStringLiteral("--colour"), QStringLiteral("x")} << 2;
    }
    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        const Result r = dump(arguments);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY(r.out.isEmpty());
        // One clear line on standard error.
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    }

    void badOptionIsAUsageError()
    {
        const Result r = dump({QStringLiteral("--option"), QStringLiteral("number_base=99"), m_sample});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(QLatin1String("number_base")));
    }
};

QTEST_GUILESS_MAIN(TestDump)
#include "test_dump.moc"
