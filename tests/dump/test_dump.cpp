#include "toy_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

const QString dumpProgram = QStringLiteral(KESTRUNE_TEST_BIN_DIR "/kestrune-dump");

Result run(const QString &program, const QStringList &arguments, const QString &outputFile = {})
{
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(program, arguments);
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

Result dump(const QStringList &arguments, const QString &outputFile = {})
{
    return run(dumpProgram, arguments, outputFile);
}

// QProcess hands arguments over as UTF-8; a name in another encoding reaches the program
// through the shell, spelt as printf escapes.
Result dumpRawName(const QByteArray &name)
{
    QString escaped;
    for (const char c : name)
        escaped += QLatin1Char('\\') + QString::number(uchar(c), 8).rightJustified(3, QLatin1Char('0'));
    return run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --summary \"$(printf \"$1\")\""),
                                           dumpProgram, escaped});
}

bool writeRaw(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
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

    // A full disk is a failure of its own, whatever is being printed.
    void failedOutputIsAnError_data()
    {
        QTest::addColumn<QString>("mode");
        for (const char *mode : {"", "--json", "--frames", "--streams", "--summary", "--help", "--version"})
            QTest::newRow(*mode ? mode : "tree") << QString::fromLatin1(mode);
    }
    void failedOutputIsAnError()
    {
        QFETCH(QString, mode);
        QStringList arguments{m_sample};
        if (!mode.isEmpty())
            arguments.prepend(mode);
        const Result r = dump(arguments, QStringLiteral("/dev/full"));
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains(QLatin1String("cannot write to the standard output: No space left on device")), qPrintable(r.err));
    }

    // The database takes its name only when it is complete; nothing is left behind otherwise.
    void databaseAppearsOnlyWhenComplete_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("left");
        const QString unknown = QStringLiteral(KESTRUNE_FIXTURES "/../CMakeLists.txt");
        QTest::newRow("parsed") << m_sample << QString() << 0 << QStringList{QStringLiteral("kept.sqlite")};
        QTest::newRow("no plug-in reads it") << unknown << QString() << 1 << QStringList{};
        QTest::newRow("output failed") << m_sample << QStringLiteral("/dev/full") << 3 << QStringList{};
    }
    void databaseAppearsOnlyWhenComplete()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QFETCH(QStringList, left);
        const QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("kept.sqlite"));
        QCOMPARE(dump({QStringLiteral("--db"), db, QStringLiteral("--summary"), input}, output).exitCode, exitCode);
        QCOMPARE(entries(dir.path()), left);
        if (left.isEmpty())
            return;
        QFile file(db);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(16), QByteArray("SQLite format 3", 16));
    }

    void refusesDatabasePaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QString() << QStringLiteral("wants a file path");
        QTest::newRow("in memory") << QStringLiteral(":memory:") << QStringLiteral("not the SQLite name");
        QTest::newRow("URI") << QStringLiteral("file:kept.sqlite") << QStringLiteral("not the SQLite name");
        QTest::newRow("existing file") << QStringLiteral("existing") << QStringLiteral("exists");
        QTest::newRow("link to a file") << QStringLiteral("link") << QStringLiteral("symbolic link");
        QTest::newRow("dangling link") << QStringLiteral("dangling") << QStringLiteral("symbolic link");
        QTest::newRow("missing directory") << QStringLiteral("missing/kept.sqlite") << QStringLiteral("cannot create");
    }
    void refusesDatabasePaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        const QTemporaryDir dir;
        QFile existing(dir.filePath(QStringLiteral("existing")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        QVERIFY(QFile::link(existing.fileName(), dir.filePath(QStringLiteral("link"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(QStringLiteral("dangling"))));
        const QStringList before = entries(dir.path());
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(dumpProgram, {QStringLiteral("--db"), path, m_sample});
        QVERIFY(process.waitForFinished(30000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 2);
        QVERIFY2(err.contains(reason), qPrintable(err));
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QCOMPARE(entries(dir.path()), before);
        QCOMPARE(QFileInfo(existing).size(), 0);
    }

    // Names as the system gives them, byte for byte, and files that cannot be read, each
    // with its own reason.
    void fileNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QByteArray sample = ToyFile::sample();
        QTest::newRow("Latin-1 name") << QByteArray("caf\xe9.toy") << sample << 0 << QString();
        QTest::newRow("UTF-8 name") << QByteArray("caf\xc3\xa9.toy") << sample << 0 << QString();
        QTest::newRow("missing, Latin-1 name") << QByteArray("caf\xe9.mkv") << QByteArray() << 2 << QStringLiteral("no such file");
        QTest::newRow("empty file") << QByteArray("empty.toy") << QByteArray("") << 2 << QStringLiteral("the file is empty");
        QTest::newRow("symbolic link loop") << QByteArray("loop") << QByteArray() << 2
                                            << QStringLiteral("too many levels of symbolic links");
    }
    void fileNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, content);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
        if (name == "loop") {
            QVERIFY(::symlink("loop.2", path.constData()) == 0);
            QVERIFY(::symlink("loop", (path + ".2").constData()) == 0);
        } else if (!content.isNull()) {
            QVERIFY(writeRaw(path, content));
        }
        const Result r = dumpRawName(path);
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode == 0) {
            QVERIFY2(r.out.contains(QLatin1String("elements: 13")), qPrintable(r.err));
        } else {
            QVERIFY2(r.err.contains(message), qPrintable(r.err));
            QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        }
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
