// The AVI parser on large files: the format check reads only the start of the file, and the walk
// crosses long runs of bytes that start no chunk quickly, reporting each run as one element.

#include "avi_parse.h"
#include "byte_builder.h"
#include "leftover_marker.h"
#include "status.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

namespace {

constexpr qint64 gib = qint64(1) << 30;
const QString garbage = QString::fromLatin1(leftoverMarker);

// Writes head and extends the file to size bytes with a hole, which reads as zeros and takes no
// room on the disk.
bool writeSparse(const QString &path, const QByteArray &head, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(head) == head.size() && file.resize(size);
}

ByteBuilder::Body chunk(const char *id, const QByteArray &data)
{
    return [id, data](ByteBuilder &b) { b.riffChunk(id, [&](ByteBuilder &c) { c.raw(data); }); };
}

// The processor time this program has spent outside the system.
qint64 userMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec) * 1000 + usage.ru_utime.tv_usec / 1000;
}

// "name offset size" of every element, offsets and sizes in bytes.
QStringList layout(const std::vector<ElementRecord> &elements)
{
    QStringList lines;
    for (const ElementRecord &e : elements)
        lines << QStringLiteral("%1 %2 %3").arg(e.name).arg(e.offset / 8).arg(e.size / 8);
    return lines;
}

} // namespace

class TestAviProbe : public QObject
{
    Q_OBJECT

private slots:
    void formatCheckOnLargeFiles_data();
    void formatCheckOnLargeFiles();
    void skippedRuns_data();
    void skippedRuns();
    void zeroTail();
};

void TestAviProbe::formatCheckOnLargeFiles_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("status");

    const auto riff = [](qsizetype lead, const char *form) {
        return ByteBuilder().zeros(lead).fourcc("RIFF").u32le(0xFFFFFFF0u).fourcc(form).bytes();
    };
    QTest::newRow("AVI") << riff(0, "AVI ") << int(Status::Success);
    QTest::newRow("AVIX") << riff(0, "AVIX") << int(Status::Success);
    QTest::newRow("WAVE") << riff(0, "WAVE") << int(Status::NotThisFormat);
    QTest::newRow("leading bytes") << riff(200, "AVI ") << int(Status::Success);
    QTest::newRow("Matroska") << QByteArray::fromHex("1a45dfa3a34286810142f7810142f2810442f38108"
                                                     "4282886d6174726f736b61428781044285810218538067")
                              << int(Status::NotThisFormat);
    QTest::newRow("nothing but zeros") << QByteArray() << int(Status::NotThisFormat);
}

void TestAviProbe::formatCheckOnLargeFiles()
{
    QFETCH(QByteArray, head);
    QFETCH(int, status);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.avi"));
    QVERIFY(writeSparse(path, head, 4 * gib));

    QElapsedTimer timer;
    timer.start();
    ContainerAVI parser;
    QCOMPARE(ContainerDriver::verify(parser, path), status);
    // Reading the whole file would take seconds.
    QVERIFY2(timer.elapsed() < 250, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
}

void TestAviProbe::skippedRuns_data()
{
    QTest::addColumn<QByteArray>("run");
    QTest::addColumn<bool>("chunkAfter");
    QTest::addColumn<qint64>("garbageSize");

    // The runs cross the 256 KiB blocks the file is read in.
    const qsizetype longRun = 300000;
    QTest::newRow("one zero") << QByteArray(1, '\0') << true << qint64(1);
    QTest::newRow("zeros") << QByteArray(longRun, '\0') << true << qint64(longRun);
    QTest::newRow("0xFF filler") << QByteArray(longRun, '\xFF') << true << qint64(longRun);
    // Text filler ends in a zero here: its last spaces would make an id with the next chunk's.
    QTest::newRow("spaces") << QByteArray(longRun - 1, ' ').append('\0') << true << qint64(longRun);
    QTest::newRow("text") << QByteArray("lorem ipsum dolor sit amet 0123456789\0", 38).repeated(longRun / 38) << true
                          << qint64(longRun / 38 * 38);
    QTest::newRow("zeros to the end of the list") << QByteArray(longRun, '\0') << false << qint64(longRun);
    // An unknown chunk whose claim, inside the list, covers the next known one: the walk picks
    // up at the known chunk, and what lies before it belongs to nothing.
    const QByteArray unknown = ByteBuilder().fourcc("zzzz").u32le(longRun + 40).zeros(longRun).bytes();
    QTest::newRow("known chunk inside an unknown claim") << unknown << true << qint64(unknown.size());
}

void TestAviProbe::skippedRuns()
{
    QFETCH(QByteArray, run);
    QFETCH(bool, chunkAfter);
    QFETCH(qint64, garbageSize);

    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [&](ByteBuilder &r) {
        r.riffList("LIST", "movi", [&](ByteBuilder &m) {
            chunk("00dc", "vvvvvvvv")(m);
            m.raw(run);
            if (chunkAfter)
                chunk("01wb", "ww")(m);
        });
        chunk("JUNK", QByteArray(700000, 'j'))(r);
    });
    const QByteArray bytes = b.bytes();
    const qint64 runOffset = bytes.indexOf("00dc") + 16;

    AviParse parse;
    parseAviBytes(&parse, bytes);
    QVERIFY(parse.ran);
    QCOMPARE(parse.count(garbage), 1);
    const std::vector<ElementRecord> &all = parse.sink.elements();
    const auto it = std::find_if(all.begin(), all.end(), [](const ElementRecord &e) { return e.name == garbage; });
    QCOMPARE(layout({*it}).first(), QStringLiteral("%1 %2 %3").arg(garbage).arg(runOffset).arg(garbageSize));
    const auto after = std::find_if(it + 1, all.end(), [&](const ElementRecord &e) { return e.level <= it->level; });
    QVERIFY(after != all.end());
    QCOMPARE(after->name, chunkAfter ? QStringLiteral("01wb") : QStringLiteral("JUNK"));
    QCOMPARE(after->offset / 8, runOffset + garbageSize);
    QCOMPARE(parse.shapeFault(bytes.size()), QString());
}

void TestAviProbe::zeroTail()
{
    // A real file followed by a 1 GiB hole: the tree is the file's own and one element covering
    // the hole, the walk's own work takes well under a second, and the progress moves across the
    // hole.
    const QString tiny = QStringLiteral(KESTRUNE_FIXTURES "/avi/tiny.avi");
    QFile source(tiny);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray head = source.readAll();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tail.avi"));
    QVERIFY(writeSparse(path, head, head.size() + gib));

    AviParse plain;
    parseAviFile(&plain, tiny);
    QStringList expected = layout(plain.sink.elements());
    expected << QStringLiteral("%1 %2 %3").arg(garbage).arg(head.size()).arg(gib);

    // The system's first read of a hole costs seconds of its own, so the walk's own time is
    // what is measured.
    const qint64 before = userMilliseconds();
    AviParse parse;
    ContainerAVI parser;
    QList<int> percents;
    parse.outcome = ContainerDriver::run(parser, path, parse.sink, ParseOptions(),
                                         [&percents](int percent) { percents << percent; });
    const qint64 spent = userMilliseconds() - before;
    QVERIFY2(spent < 3000, qPrintable(QStringLiteral("%1 ms").arg(spent)));
    QCOMPARE(layout(parse.sink.elements()), expected);
    QCOMPARE(parse.outcome.stopOffset, quint64(head.size() + gib));
    QVERIFY(percents.contains(50));
}

QTEST_GUILESS_MAIN(TestAviProbe)
#include "test_avi_probe.moc"
