// Real files made by ffmpeg (tests/fixtures/iso/make_fixtures.sh): the frames and the stream
// records of every track equal the packets and streams ffprobe reported for the same file, and
// damaged copies of a real file still give a sound tree.

#include "iso_parsers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLibrary>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace IsoTest;

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(KESTRUNE_FIXTURES "/iso/") + name;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The lines after the header of one of the expected files beside the fixture.
QList<QByteArray> expectedLines(const QString &name, const char *suffix)
{
    QList<QByteArray> lines = readFile(fixture(name + QLatin1String(suffix))).trimmed().split('\n');
    lines.removeFirst();
    return lines;
}

/// Per stream, the frames as "pos,size,keyframe" lines in frame order.
using FramesByStream = QMap<int, QStringList>;
/// Per stream, the (decoding, presentation) times of the frames in frame order.
using TimesByStream = QMap<int, QList<std::pair<qint64, qint64>>>;

/// ffprobe's packets: "stream,pos,size,keyframe,dts,pts" lines.
FramesByStream expectedFrames(const QString &name, TimesByStream *times = nullptr)
{
    FramesByStream frames;
    for (const QByteArray &line : expectedLines(name, ".frames.csv")) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        if (fields.size() != 6)
            continue;
        frames[fields.at(0).toInt()] << QString::fromLatin1(fields.mid(1, 3).join(','));
        if (times)
            (*times)[fields.at(0).toInt()] << std::pair(fields.at(4).toLongLong(), fields.at(5).toLongLong());
    }
    return frames;
}

/// Our frames in the same form. The samples of the stream joined that lie back to back are
/// joined into one frame first.
FramesByStream framesOf(const RecordingSink &sink, int joined = -1, TimesByStream *times = nullptr)
{
    QMap<int, std::vector<FrameRecord>> byStream;
    for (const FrameRecord &frame : sink.frames) {
        std::vector<FrameRecord> &list = byStream[int(frame.stream)];
        if (int(frame.stream) == joined && !list.empty() && list.back().offset + list.back().size == frame.offset)
            list.back().size += frame.size;
        else
            list.push_back(frame);
    }
    FramesByStream frames;
    for (auto it = byStream.cbegin(); it != byStream.cend(); ++it) {
        for (const FrameRecord &frame : *it) {
            frames[it.key()] << QStringLiteral("%1,%2,%3").arg(frame.offset).arg(frame.size).arg(frame.keyFrame ? 1 : 0);
            if (times)
                (*times)[it.key()] << std::pair(frame.time, frame.time2);
        }
    }
    return frames;
}

/// ffprobe shows the times an edit list, or a shift of negative composition offsets, maps the
/// media to: one constant per stream away from ours for the decoding times, one for the
/// presentation times. Ours are shifted onto ffprobe's first frame.
QString firstTimeDifference(const TimesByStream &actual, const TimesByStream &expected, int skipped)
{
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const auto &ours = actual.value(it.key());
        if (it.key() == skipped || ours.isEmpty() || it->isEmpty())
            continue;
        const qint64 dtsShift = ours.first().first - it->first().first;
        const qint64 ptsShift = ours.first().second - it->first().second;
        for (qsizetype i = 0; i < qMin(ours.size(), it->size()); ++i)
            if (ours[i].first - dtsShift != it->at(i).first || ours[i].second - ptsShift != it->at(i).second)
                return QStringLiteral("stream %1 frame %2: dts/pts %3/%4 instead of %5/%6")
                    .arg(it.key()).arg(i).arg(ours[i].first - dtsShift).arg(ours[i].second - ptsShift)
                    .arg(it->at(i).first).arg(it->at(i).second);
    }
    return QString();
}

QString firstDifference(const FramesByStream &actual, const FramesByStream &expected)
{
    if (actual.keys() != expected.keys())
        return QStringLiteral("streams differ");
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const QStringList &ours = actual.value(it.key());
        for (qsizetype i = 0; i < qMax(ours.size(), it->size()); ++i)
            if (ours.value(i) != it->value(i))
                return QStringLiteral("stream %1 frame %2: %3 instead of %4")
                    .arg(it.key()).arg(i).arg(ours.value(i), it->value(i));
    }
    return QString();
}

/// The stream records as ffprobe names them: "stream,codec_type,codec_tag_string,time_base".
QStringList streamsOf(const RecordingSink &sink)
{
    QStringList streams;
    for (qsizetype i = 0; i < sink.streamRecords.size(); ++i) {
        const StreamRecord &stream = sink.streamRecords.at(i);
        const QString kind = stream.kind == StreamRecord::Other ? QStringLiteral("data") : StreamRecord::kindName(stream.kind);
        streams << QStringLiteral("%1,%2,%3,1/%4").arg(i).arg(kind, stream.codec).arg(stream.timescale);
    }
    return streams;
}

} // namespace

class TestIsoFiles : public QObject
{
    Q_OBJECT

private slots:
    void framesEqualProbe_data();
    void framesEqualProbe();
    void fragmented();
    void entryPoints_data();
    void entryPoints();
    void dumpPrintsFrames_data();
    void dumpPrintsFrames();
    void parsers_data();
    void truncatedAtEveryByte_data() { parsers_data(); }
    void truncatedAtEveryByte();
    void damagedBytes_data() { parsers_data(); }
    void damagedBytes();
};

void TestIsoFiles::framesEqualProbe_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("codec"); // codec identifier of the first video stream
    QTest::addColumn<int>("joined");
    QTest::addColumn<int>("extra");
    struct File
    {
        const char *parser;
        const char *name;
        int codec;
        int joined = -1;
        int extra = -1;
    };
    // ffprobe reads the 2-byte samples of raw PCM a chunk per packet, so the samples of the
    // PCM stream of h264_pcm.mov are joined before they are compared. "extra" names a stream
    // whose last frames ffprobe does not list: the last sample of a mov_text track, an empty
    // one ending the last subtitle, lies past the edit list's end; the samples of a chapter
    // track become chapters, not packets.
    for (const File &file : std::vector<File>{
             {"MP4", "h264_aac.mp4", 28}, {"MP4", "mpeg4_mp3.mp4", 13}, {"MP4", "two_video.mp4", 28},
             {"MP4", "edit_list.mp4", 28}, {"MP4", "h264_aac.f4v", 28}, {"MP4", "co64.mp4", 28},
             {"MP4", "tiny.mp4", 28}, {"MOV", "h264_pcm.mov", 28, 0}, {"MOV", "two_video.mov", 28},
             {"MOV", "mjpeg.qt", 0}, {"3GP", "h263.3gp", 5}, {"3GP", "h263_bitr.3gp", 5},
             {"3GP", "mpeg4_aac.3g2", 13}, {"MP4", "qt_layout.mp4", 28}, {"MP4", "hevc_opus.mp4", 0},
             {"MP4", "ac3_faststart.mp4", 28}, {"MP4", "mov_text.mp4", 28, -1, 2}, {"MP4", "chapters.mp4", 28, -1, 2},
             {"MP4", "metadata_tags.mp4", 28}, {"MOV", "qt_meta.mov", 28}, {"MP4", "fragmented.mp4", 28},
             {"MP4", "fragmented_base_offset.mp4", 28}, {"MP4", "fragmented_moov_samples.mp4", 28},
             {"MP4", "fragmented_smooth.mp4", 28}})
        QTest::newRow(file.name) << QString::fromLatin1(file.parser) << QString::fromLatin1(file.name) << file.codec
                                 << file.joined << file.extra;
}

void TestIsoFiles::framesEqualProbe()
{
    QFETCH(QString, parser);
    QFETCH(QString, name);
    QFETCH(int, codec);
    QFETCH(int, joined);
    QFETCH(int, extra);
    TimesByStream expectedTimes;
    const FramesByStream expected = expectedFrames(name, &expectedTimes);
    QVERIFY(!expected.isEmpty());

    RecordingSink sink;
    const std::unique_ptr<ContainerAbstract> container = factory(parser)();
    QCOMPARE(ContainerDriver::verify(*container, fixture(name)), 0);
    const ContainerDriver::Outcome outcome = ContainerDriver::run(*container, fixture(name), sink, ParseOptions());
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.firstFailure, 0);
    QCOMPARE(outcome.stopOffset, quint64(QFileInfo(fixture(name)).size()));
    QCOMPARE(notes(sink).filter(QStringLiteral("missing")), QStringList());
    TimesByStream times;
    FramesByStream frames = framesOf(sink, joined, &times);
    if (extra >= 0) {
        frames[extra] = frames[extra].mid(0, expected.value(extra).size());
        if (frames[extra].isEmpty())
            frames.remove(extra);
    }
    QCOMPARE(firstDifference(frames, expected), QString());
    QCOMPARE(firstTimeDifference(times, expectedTimes, joined), QString());
    QStringList probed;
    for (const QByteArray &line : expectedLines(name, ".streams.csv"))
        probed << QString::fromLatin1(line.trimmed());
    QCOMPARE(streamsOf(sink), probed);

    const auto video = std::find_if(sink.streamRecords.cbegin(), sink.streamRecords.cend(),
                                    [](const StreamRecord &stream) { return stream.kind == StreamRecord::Video; });
    QVERIFY(video != sink.streamRecords.cend());
    QCOMPARE(video->codecId, codec);
    if (codec == 28 || codec == 5)
        QVERIFY(video->configSize > 0);
}

void TestIsoFiles::fragmented()
{
    RecordingSink sink;
    ContainerMP4 parser;
    const QString path = fixture(QStringLiteral("fragmented.mp4"));
    const ContainerDriver::Outcome outcome = ContainerDriver::run(parser, path, sink, ParseOptions());
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.firstFailure, 0);
    QCOMPARE(outcome.stopOffset, quint64(QFileInfo(path).size()));
    QCOMPARE(sink.streamRecords.size(), 2);

    QMap<QString, int> counts;
    qint64 topLevelEnd = 0;
    for (const ElementRecord &record : sink.elements()) {
        ++counts[record.name];
        if (record.level == 0) {
            QCOMPARE(record.offset, topLevelEnd);
            topLevelEnd = record.offset + record.size;
        }
    }
    QCOMPARE(topLevelEnd, QFileInfo(path).size() * 8);
    QVERIFY(counts.value(QStringLiteral("moof")) > 1);
    QCOMPARE(counts.value(QStringLiteral("traf")), 2 * counts.value(QStringLiteral("moof")));
    QCOMPARE(counts.value(QStringLiteral("trun")), counts.value(QStringLiteral("traf")));
    QCOMPARE(counts.value(QStringLiteral("mdat")), counts.value(QStringLiteral("moof")));
    QCOMPARE(counts.value(QStringLiteral("trex")), 2);
    QCOMPARE(TreeShape::fault(sink.elements(), QFileInfo(path).size() * 8), QString());
}

void TestIsoFiles::entryPoints_data()
{
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("extensions");
    QTest::newRow("MP4") << "mp4" << "MP4" << QStringList{"mp4", "f4v"};
    QTest::newRow("MOV") << "mov" << "MOV" << QStringList{"mov", "qt"};
    QTest::newRow("3GP") << "3gp" << "3GP" << QStringList{"3gp", "3g2"};
}

void TestIsoFiles::entryPoints()
{
    QFETCH(QString, plugin);
    QFETCH(QString, name);
    QFETCH(QStringList, extensions);
    QLibrary library(QStringLiteral(KESTRUNE_BIN_DIR "/plugins/libkestrune-container-%1.so").arg(plugin));
    if (!library.load())
        QSKIP("the plug-in is not built");
    using Text = QString (*)();
    using List = QStringList (*)();
    using Create = ContainerAbstract *(*)();
    const auto containerName = reinterpret_cast<Text>(library.resolve("containerName"));
    const auto supportedExtensions = reinterpret_cast<List>(library.resolve("supportedExtensions"));
    const auto createParser = reinterpret_cast<Create>(library.resolve("createParser"));
    QVERIFY(containerName && supportedExtensions && createParser);
    QCOMPARE(containerName(), name);
    QCOMPARE(supportedExtensions(), extensions);
    const std::unique_ptr<ContainerAbstract> parser(createParser());
    QVERIFY(parser);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clip.") + extensions.last().toUpper());
    QVERIFY(QFile::copy(fixture(QStringLiteral("tiny.mp4")), path));
    QCOMPARE(ContainerDriver::verify(*parser, path), 0);
}

void TestIsoFiles::dumpPrintsFrames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("MP4") << "two_video.mp4";
    QTest::newRow("MOV") << "mjpeg.qt";
    QTest::newRow("3GP") << "h263_bitr.3gp";
}

void TestIsoFiles::dumpPrintsFrames()
{
    QFETCH(QString, name);
    const QString dump = QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-dump");
    if (!QFileInfo::exists(dump))
        QSKIP("kestrune-dump is not built");
    QProcess process;
    process.start(dump, {QStringLiteral("--frames"), fixture(name)});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    const QList<QByteArray> lines = process.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.first(), QByteArray("stream,frame,offset,size,keyframe,time,duration,time2"));
    FramesByStream frames;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(',');
        QCOMPARE(fields.size(), 8);
        QCOMPARE(fields.at(1).toInt(), frames.value(fields.at(0).toInt()).size());
        frames[fields.at(0).toInt()] << QString::fromLatin1(fields.at(2) + ',' + fields.at(3) + ',' + fields.at(4));
    }
    QCOMPARE(firstDifference(frames, expectedFrames(name)), QString());
}

void TestIsoFiles::parsers_data()
{
    QTest::addColumn<QString>("parser");
    for (const QString &name : parserNames())
        QTest::newRow(qPrintable(name)) << name;
}

void TestIsoFiles::truncatedAtEveryByte()
{
    QFETCH(QString, parser);
    const QByteArray whole = readFile(fixture(QStringLiteral("tiny.mp4")));
    QVERIFY(whole.size() > 1000);
    Result full;
    parse(&full, factory(parser), whole);
    const qsizetype fullCount = qsizetype(full.sink.elements().size());

    QElapsedTimer timer;
    timer.start();
    qsizetype previous = 0;
    for (qsizetype cut = 1; cut < whole.size(); ++cut) {
        Result result;
        parse(&result, factory(parser), whole.left(cut));
        QVERIFY(result.ran);
        QCOMPARE(result.outcome.status, 0);
        QVERIFY2(!result.outcome.stalled, qPrintable(QString::number(cut)));
        const QString fault = result.shapeFault(cut);
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(fault)));
        // What lies before the cut stays: the element count never falls by more than the
        // handful a box's own fields make, and a cut file never shows more than the whole.
        const qsizetype count = qsizetype(result.sink.elements().size());
        QVERIFY2(count + 40 >= previous, qPrintable(QStringLiteral("cut at %1: %2 after %3").arg(cut).arg(count).arg(previous)));
        QVERIFY(count <= fullCount + 4);
        QVERIFY(result.sink.frames.size() <= full.sink.frames.size());
        previous = count;
    }
    qInfo("%lld cuts in %lld ms", qint64(whole.size()), qint64(timer.elapsed()));
}

void TestIsoFiles::damagedBytes()
{
    QFETCH(QString, parser);
    // Every 4-byte word of the movie box of a real file set to 0, 1, 7 and 0xFFFFFFFF in turn:
    // sizes, counts and offsets all get hostile values somewhere.
    const QByteArray whole = readFile(fixture(QStringLiteral("tiny.mp4")));
    const qsizetype moov = whole.indexOf("moov") - 4;
    const qsizetype moovEnd = moov + qsizetype(qFromBigEndian<quint32>(whole.constData() + moov));
    QVERIFY(moov > 0 && moovEnd <= whole.size());
    for (qsizetype at = moov; at + 4 <= moovEnd; at += 4) {
        for (quint32 value : {0u, 1u, 7u, 0xFFFFFFFFu}) {
            QByteArray bytes = whole;
            qToBigEndian(value, bytes.data() + at);
            Result result;
            parse(&result, factory(parser), bytes);
            QVERIFY(result.ran);
            QVERIFY(!result.outcome.stalled);
            const QString fault = result.shapeFault(bytes.size());
            QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("%1 at %2: %3").arg(value).arg(at).arg(fault)));
            QVERIFY(qint64(result.sink.frames.size()) <= bytes.size());
        }
    }
}

QTEST_GUILESS_MAIN(TestIsoFiles)
#include "test_iso_files.moc"
