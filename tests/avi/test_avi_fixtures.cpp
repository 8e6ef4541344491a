// Real files made by ffmpeg (tests/fixtures/avi/make_fixtures.sh), checked against the packets
// and streams ffprobe listed for the same files, and cut at every byte.

#include "avi_parse.h"
#include "leftover_marker.h"
#include "status.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <QtEndian>

#include <numeric>

namespace {

const QString garbage = QString::fromLatin1(leftoverMarker);

QString fixture(const QString &name)
{
    return QStringLiteral(KESTRUNE_FIXTURES "/avi/") + name;
}

QStringList lines(const QByteArray &text)
{
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The lines of an expected file without its header line.
QStringList expectedLines(const QString &name, const QString &kind)
{
    QFile file(fixture(name + kind));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return lines(file.readAll()).mid(1);
}

// "pos,size,keyframe" of each frame, by stream; rows are "stream,pos,size,keyframe...".
QMap<int, QStringList> framesByStream(const QStringList &rows)
{
    QMap<int, QStringList> streams;
    for (const QString &row : rows) {
        const QStringList columns = row.split(QLatin1Char(','));
        streams[columns[0].toInt()] << columns.mid(1, 3).join(QLatin1Char(','));
    }
    return streams;
}

// The codec text of a stream as ffprobe's codec_tag gives it: a video FourCC as its four
// characters (the bitmap codings 0 to 3 by name), an audio format tag as it is.
QString codecOfTag(const QString &kind, const QString &tag)
{
    if (kind != QLatin1String("video"))
        return tag;
    const quint32 value = tag.toUInt(nullptr, 16);
    static const char *const codings[] = {"BI_RGB", "BI_RLE8", "BI_RLE4", "BI_BITFIELDS"};
    if (value < 4)
        return QLatin1String(codings[value]);
    QByteArray code(4, '\0');
    qToLittleEndian(value, code.data());
    return QString::fromLatin1(code);
}

QStringList frameLines(const std::vector<FrameRecord> &frames)
{
    QStringList result{QStringLiteral("stream,pos,size,keyframe")};
    for (const FrameRecord &frame : frames)
        result << QStringLiteral("%1,%2,%3,%4").arg(frame.stream).arg(frame.offset).arg(frame.size).arg(int(frame.keyFrame));
    return result;
}

QString leafKey(const ElementRecord &record)
{
    return QStringLiteral("%1@%2+%3=%4").arg(record.name).arg(record.offset).arg(record.size).arg(record.value);
}

// The elements without children that lie wholly before the byte at end. A chunk's id counts only
// with the size field that completes its header, and an index entry's fields only with the whole
// entry: an entry cut short is not an entry.
QSet<QString> leavesBefore(RecordingSink &sink, qint64 end)
{
    QHash<qint64, const ElementRecord *> parents;
    for (const ElementRecord &record : sink.elements())
        parents.insert(record.id, &record);
    QSet<qint64> groups;
    for (const ElementRecord &record : sink.elements())
        groups.insert(record.parentId);
    QSet<QString> leaves;
    for (const ElementRecord &record : sink.elements()) {
        if (groups.contains(record.id))
            continue;
        qint64 needed = record.offset + record.size + (record.name == QLatin1String("id") ? 32 : 0);
        const ElementRecord *parent = parents.value(record.parentId, nullptr);
        if (parent && parent->name.endsWith(QLatin1String("_entry")))
            needed = parent->offset + parent->size;
        if (needed <= end * 8)
            leaves.insert(leafKey(record));
    }
    return leaves;
}

} // namespace

class TestAviFixtures : public QObject
{
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void streams_data() { frames_data(); }
    void streams();
    void openDml();
    void truncatedAtEveryByte_data();
    void truncatedAtEveryByte();
};

void TestAviFixtures::frames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("streams");
    QTest::addColumn<int>("garbageElements");

    QTest::newRow("MPEG-4 Part 2 + MP3") << "mpeg4_mp3.avi" << 2 << 0;
    QTest::newRow("MJPEG + PCM") << "mjpeg_pcm.avi" << 2 << 0;
    QTest::newRow("H.264") << "h264.avi" << 1 << 0;
    QTest::newRow("two video streams") << "two_video.avi" << 3 << 0;
    QTest::newRow("audio first") << "audio_first.avi" << 2 << 0;
    QTest::newRow("dropped frames") << "dropped.avi" << 1 << 0;
    QTest::newRow("tiny") << "tiny.avi" << 1 << 0;
    // The unused entries of each super index.
    QTest::newRow("OpenDML") << "opendml.avi" << 2 << 2;
}

void TestAviFixtures::frames()
{
    QFETCH(QString, name);
    ContainerAVI parser;
    QCOMPARE(ContainerDriver::verify(parser, fixture(name)), 0);

    AviParse parse;
    parseAviFile(&parse, fixture(name));
    QCOMPARE(parse.outcome.status, 0);
    QCOMPARE(parse.outcome.firstFailure, 0);
    QVERIFY(!parse.outcome.stalled);
    // Frames come from idx1 alone. The OpenDML file is one RIFF whose idx1 lists every chunk;
    // chunks of a RIFF(AVIX) part, listed only by its ix## indexes, are not frames yet.
    const QMap<int, QStringList> expected = framesByStream(expectedLines(name, QStringLiteral(".frames.csv")));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(framesByStream(frameLines(parse.sink.frames).mid(1)), expected);

    QTEST(int(parse.sink.streamRecords.size()), "streams");
    QTEST(parse.count(garbage), "garbageElements");
    QCOMPARE(parse.shapeFault(QFileInfo(fixture(name)).size()), QString());
    QCOMPARE(parse.sink.elements().front().name, QStringLiteral("RIFF(AVI )"));
    QCOMPARE(parse.count("LIST(hdrl)"), 1);
    QCOMPARE(parse.count("LIST(movi)"), 1);
    QCOMPARE(parse.count("idx1"), 1);
    for (const StreamRecord &stream : std::as_const(parse.sink.streamRecords)) {
        if (stream.width != 0) {
            QVERIFY(stream.codecId != 0);
            QVERIFY(stream.frameRate > 0);
        }
    }

    // The same list as kestrune-dump prints it through the engine and the plug-in.
    QProcess dump;
    dump.start(QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-dump"), {QStringLiteral("--frames"), fixture(name)});
    QVERIFY(dump.waitForFinished(30000));
    QCOMPARE(dump.exitCode(), 0);
    QStringList printed;
    QMap<int, int> numbers;
    for (const QString &line : lines(dump.readAllStandardOutput())) {
        const QStringList columns = line.split(QLatin1Char(','));
        QCOMPARE(columns.size(), 8);
        if (!printed.isEmpty())
            QCOMPARE(columns[1].toInt(), numbers[columns[0].toInt()]++);
        printed << QStringList{columns[0], columns[2], columns[3], columns[4]}.join(QLatin1Char(','));
    }
    QCOMPARE(printed.value(0), QStringLiteral("stream,offset,size,keyframe"));
    QCOMPARE(framesByStream(printed.mid(1)), expected);
}

void TestAviFixtures::streams()
{
    QFETCH(QString, name);
    AviParse parse;
    parseAviFile(&parse, fixture(name));
    // ffprobe's time base is dwScale / dwRate in lowest terms; the stream's timescale is dwRate.
    QStringList scales;
    for (const ElementRecord &record : parse.sink.elements())
        if (record.name == QLatin1String("dwScale"))
            scales << record.value;
    QStringList seen;
    for (qsizetype i = 0; i < parse.sink.streamRecords.size(); ++i) {
        const StreamRecord &stream = parse.sink.streamRecords[i];
        const quint64 scale = scales.value(i).toULongLong();
        const quint64 common = std::gcd(scale, stream.timescale);
        const QString kind = StreamRecord::kindName(stream.kind);
        seen << QStringLiteral("%1,%2,%3,%4/%5").arg(i).arg(kind, stream.codec).arg(scale / common).arg(stream.timescale / common);
    }
    QStringList expected;
    for (const QString &row : expectedLines(name, QStringLiteral(".streams.csv"))) {
        const QStringList columns = row.split(QLatin1Char(','));
        QCOMPARE(columns.size(), 4);
        expected << QStringList{columns[0], columns[1], codecOfTag(columns[1], columns[2]), columns[3]}.join(QLatin1Char(','));
    }
    QVERIFY(!expected.isEmpty());
    QCOMPARE(seen, expected);
}

void TestAviFixtures::openDml()
{
    AviParse parse;
    parseAviFile(&parse, fixture(QStringLiteral("opendml.avi")));
    QCOMPARE(parse.count("indx"), 2);
    QCOMPARE(parse.count("index_entry"), 2);
    QCOMPARE(parse.value("indx", "dwChunkId"), QStringLiteral("00dc"));
    QCOMPARE(parse.value("indx", "bIndexType"), QStringLiteral("0"));
    QCOMPARE(parse.value("LIST(odml)", "type"), QStringLiteral("odml"));
    QCOMPARE(parse.value("dmlh", "dwTotalFrames"), QStringLiteral("52"));
    QCOMPARE(parse.readable("index_entry", "dwDuration"), QStringLiteral("00:00:2.080"));

    // The super index entry points at the ix00 chunk at the end of movi.
    const ElementRecord *ix00 = parse.sink.find("ix00");
    QVERIFY(ix00);
    QCOMPARE(parse.value("index_entry", "qwOffset"), QString::number(ix00->offset / 8));
    QCOMPARE(parse.value("index_entry", "dwSize"), QString::number(ix00->size / 8));
    const ElementRecord *movi = parse.sink.find("LIST(movi)");
    QCOMPARE(parse.sink.elements()[size_t(movi->lastChildId - 1)].name, QStringLiteral("ix01"));
}

void TestAviFixtures::truncatedAtEveryByte_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("step");
    QTest::newRow("tiny, every byte") << "tiny.avi" << 1;
    // The OpenDML file holds every kind of index; every 19th byte keeps the run short.
    QTest::newRow("OpenDML, every 19th byte") << "opendml.avi" << 19;
}

void TestAviFixtures::truncatedAtEveryByte()
{
    QFETCH(QString, name);
    QFETCH(int, step);
    QFile file(fixture(name));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    QVERIFY(whole.size() > 1000);

    AviParse full;
    parseAviBytes(&full, whole);
    QVERIFY(!full.sink.frames.empty());
    const QStringList allFrames = frameLines(full.sink.frames);

    // The file is cut shorter and shorter in place: rewriting it from nothing each time would
    // make the file system flush it each time.
    QTemporaryFile cut(QDir::tempPath() + QStringLiteral("/kestrune-avi-XXXXXX.avi"));
    QVERIFY(cut.open());
    QCOMPARE(cut.write(whole), qint64(whole.size()));
    QVERIFY(cut.flush());
    for (qsizetype length = whole.size() - 1; length > 0; length -= step) {
        QVERIFY(cut.resize(length));
        AviParse parse;
        parseAviFile(&parse, cut.fileName());
        const QByteArray at = QByteArray::number(length);
        QVERIFY2(!parse.outcome.stalled, at);
        QVERIFY2(parse.outcome.stopOffset == quint64(length), at);
        QVERIFY2(parse.shapeFault(length).isEmpty(), at);
        // What lies wholly before the cut is reported as in the whole file.
        const QSet<QString> before = leavesBefore(full.sink, length);
        const QSet<QString> seen = leavesBefore(parse.sink, length);
        QVERIFY2(seen.contains(before), at);
        // Frames come from the index at the end: those of the entries that survive, in order.
        const QStringList frames = frameLines(parse.sink.frames);
        QVERIFY2(allFrames.mid(0, frames.size()) == frames, at);
    }
}

QTEST_GUILESS_MAIN(TestAviFixtures)
#include "test_avi_fixtures.moc"
