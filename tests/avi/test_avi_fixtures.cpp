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

// "pos,size,keyframe,pts,duration" of each frame, by stream; rows are
// "stream,pos,size,keyframe,pts,duration". Without keys the key-frame column is left out.
QMap<int, QStringList> framesByStream(const QStringList &rows, bool keys = true)
{
    QMap<int, QStringList> streams;
    for (const QString &row : rows) {
        QStringList columns = row.split(QLatin1Char(','));
        if (!keys)
            columns[3] = QStringLiteral("-");
        streams[columns[0].toInt()] << columns.mid(1).join(QLatin1Char(','));
    }
    return streams;
}

// The frames of the parser with the times ffprobe does not know ("N/A": the pts of H.264 with
// B-frames) made "N/A" likewise.
QMap<int, QStringList> knownTimes(QMap<int, QStringList> frames, const QMap<int, QStringList> &expected)
{
    for (auto it = frames.begin(); it != frames.end(); ++it) {
        const QStringList reference = expected.value(it.key());
        for (qsizetype i = 0; i < qMin(it->size(), reference.size()); ++i) {
            const QStringList known = reference[i].split(QLatin1Char(','));
            QStringList columns = (*it)[i].split(QLatin1Char(','));
            for (qsizetype c = 3; c < qMin(columns.size(), known.size()); ++c)
                if (known[c] == QLatin1String("N/A"))
                    columns[c] = known[c];
            (*it)[i] = columns.join(QLatin1Char(','));
        }
    }
    return frames;
}

// The time base "num/den" of every stream ffprobe lists.
QStringList timeBases(const QString &name)
{
    QStringList bases;
    for (const QString &row : expectedLines(name, QStringLiteral(".streams.csv")))
        bases << row.section(QLatin1Char(','), 3, 3);
    return bases;
}

// Ticks of a timescale in units of the time base "num/den"; "ticks/timescale" when they make
// no whole number of them.
QString inTimeBase(quint64 ticks, quint64 timescale, const QString &timeBase)
{
    const quint64 num = timeBase.section(QLatin1Char('/'), 0, 0).toULongLong();
    const quint64 den = timeBase.section(QLatin1Char('/'), 1, 1).toULongLong();
    if (num * timescale == 0 || ticks * den % (num * timescale) != 0)
        return QStringLiteral("%1/%2").arg(ticks).arg(timescale);
    return QString::number(ticks * den / (num * timescale));
}

// A frame of the parser as a row of the expected list, its times in ffprobe's time base.
QString frameRow(uint stream, quint64 offset, quint64 size, bool key, quint64 time, quint64 duration,
                 const QList<StreamRecord> &streams, const QStringList &bases)
{
    const quint64 timescale = qsizetype(stream) < streams.size() ? streams[stream].timescale : 0;
    const QString base = bases.value(qsizetype(stream));
    return QStringLiteral("%1,%2,%3,%4,%5,%6")
        .arg(stream)
        .arg(offset)
        .arg(size)
        .arg(int(key))
        .arg(inTimeBase(time, timescale, base), inTimeBase(duration, timescale, base));
}

QStringList frameRows(AviParse &parse, const QStringList &bases)
{
    QStringList rows;
    for (const FrameRecord &f : parse.sink.frames)
        rows << frameRow(f.stream, f.offset, f.size, f.keyFrame, quint64(f.time), f.duration, parse.sink.streamRecords, bases);
    return rows;
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
    QTest::addColumn<int>("movis");
    QTest::addColumn<int>("indexes");
    // Only an index tells the key frames; ffprobe finds them in the video itself.
    QTest::addColumn<bool>("keys");

    QTest::newRow("MPEG-4 Part 2 + MP3") << "mpeg4_mp3.avi" << 2 << 1 << 1 << true;
    QTest::newRow("MJPEG + PCM") << "mjpeg_pcm.avi" << 2 << 1 << 1 << true;
    QTest::newRow("H.264") << "h264.avi" << 1 << 1 << 1 << true;
    QTest::newRow("two video streams") << "two_video.avi" << 3 << 1 << 1 << true;
    QTest::newRow("audio first") << "audio_first.avi" << 2 << 1 << 1 << true;
    QTest::newRow("dropped frames") << "dropped.avi" << 1 << 1 << 1 << true;
    QTest::newRow("tiny") << "tiny.avi" << 1 << 1 << 1 << true;
    QTest::newRow("two audio streams, PCM and MP3") << "two_audio.avi" << 3 << 1 << 1 << true;
    QTest::newRow("idx1 offsets from the file start") << "absolute.avi" << 3 << 1 << 1 << true;
    QTest::newRow("no index") << "noindex.avi" << 2 << 1 << 0 << false;
    // One RIFF: the OpenDML index lists the same chunks as idx1.
    QTest::newRow("OpenDML") << "opendml.avi" << 2 << 1 << 1 << true;
    // Three RIFFs: only the OpenDML index lists the chunks of the AVIX parts.
    QTest::newRow("OpenDML, AVIX parts") << "avix.avi" << 2 << 3 << 1 << true;
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
    QFETCH(bool, keys);
    const QStringList bases = timeBases(name);
    const QMap<int, QStringList> expected = framesByStream(expectedLines(name, QStringLiteral(".frames.csv")), keys);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(knownTimes(framesByStream(frameRows(parse, bases), keys), expected), expected);

    QTEST(int(parse.sink.streamRecords.size()), "streams");
    QCOMPARE(parse.count(garbage), 0);
    QCOMPARE(parse.shapeFault(QFileInfo(fixture(name)).size()), QString());
    QCOMPARE(parse.sink.elements().front().name, QStringLiteral("RIFF(AVI )"));
    QCOMPARE(parse.count("LIST(hdrl)"), 1);
    QTEST(parse.count("LIST(movi)"), "movis");
    QTEST(parse.count("idx1"), "indexes");
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
        if (printed.isEmpty()) {
            printed << line;
            continue;
        }
        printed << frameRow(columns[0].toUInt(), columns[2].toULongLong(), columns[3].toULongLong(), columns[4] == QLatin1String("1"),
                            columns[5].toULongLong(), columns[6].toULongLong(), parse.sink.streamRecords, bases);
    }
    QCOMPARE(printed.value(0), QStringLiteral("stream,frame,offset,size,keyframe,time,duration,time2"));
    QCOMPARE(knownTimes(framesByStream(printed.mid(1), keys), expected), expected);
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
    // The slots each super index reserves past its one entry.
    QCOMPARE(parse.count("unused"), 2);
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
    QTest::newRow("OpenDML with AVIX parts, every 23rd byte") << "avix.avi" << 23;
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
    const QStringList bases = timeBases(name);
    const QMap<int, QStringList> allFrames = framesByStream(frameRows(full, bases), false);

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
        // Frames come from the indexes that survive, else from the chunks of movi: of every
        // stream the first of its frames, as far as the key frames go without an index.
        const QMap<int, QStringList> frames = framesByStream(frameRows(parse, bases), false);
        for (auto it = frames.cbegin(); it != frames.cend(); ++it)
            QVERIFY2(allFrames.value(it.key()).mid(0, it.value().size()) == it.value(), at);
    }
}

QTEST_GUILESS_MAIN(TestAviFixtures)
#include "test_avi_fixtures.moc"
