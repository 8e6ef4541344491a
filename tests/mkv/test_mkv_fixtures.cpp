// Real files made by ffmpeg and mkvmerge (tests/fixtures/mkv/make_fixtures.sh), checked against
// what mkvinfo and ffprobe said about the same files.

#include "mkv_parse.h"
#include "status.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>
#include <QTest>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(KESTRUNE_FIXTURES "/mkv/") + name;
}

QStringList lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// mkvinfo's labels and the element names they stand for. A label used for two elements (the
// track UID of a track and of a tag target) lists both. An empty name: an element the
// dictionary does not hold; it is shown as unknown and its children are not walked.
const QHash<QString, QStringList> &elementNames()
{
    static const QHash<QString, QStringList> names = {
        {"EBML head", {"EBML"}},
        {"EBML version", {"EBMLVersion"}},
        {"EBML read version", {"EBMLReadVersion"}},
        {"Maximum EBML ID length", {"EBMLMaxIDLength"}},
        {"Maximum EBML size length", {"EBMLMaxSizeLength"}},
        {"Document type", {"DocType"}},
        {"Document type version", {"DocTypeVersion"}},
        {"Document type read version", {"DocTypeReadVersion"}},
        {"Segment", {"Segment"}},
        {"Seek head", {"SeekHead"}},
        {"Seek entry", {"Seek"}},
        {"Seek ID", {"SeekID"}},
        {"Seek position", {"SeekPosition"}},
        {"EBML void", {"Void"}},
        {"Segment information", {"SegmentInfo"}},
        {"Timestamp scale", {"TimecodeScale"}},
        {"Multiplexing application", {"MuxingApp"}},
        {"Writing application", {"WritingApp"}},
        {"Segment UID", {"SegmentUID"}},
        {"Duration", {"Duration"}},
        {"Title", {"Title"}},
        {"Tracks", {"Tracks"}},
        {"Track", {"TrackEntry"}},
        {"Track number", {"TrackNumber"}},
        {"Track UID", {"TrackUID", "TagTrackUID"}},
        {"Track type", {"TrackType"}},
        {"\"Lacing\" flag", {"FlagLacing"}},
        {"\"Default track\" flag", {"FlagDefault"}},
        {"Language", {"Language"}},
        {"Codec ID", {"CodecID"}},
        {"Codec's private data", {"CodecPrivate"}},
        {"Default duration", {"DefaultDuration"}},
        {"Name", {"Name", "TagName"}},
        {"Video track", {"Video"}},
        {"Pixel width", {"PixelWidth"}},
        {"Pixel height", {"PixelHeight"}},
        {"Display width", {"DisplayWidth"}},
        {"Display height", {"DisplayHeight"}},
        {"Interlaced", {"FlagInterlaced"}},
        {"Audio track", {"Audio"}},
        {"Channels", {"Channels"}},
        {"Sampling frequency", {"SamplingFrequency"}},
        {"Bit depth", {"BitDepth"}},
        {"Tags", {"Tags"}},
        {"Tag", {"Tag"}},
        {"Targets", {"Targets"}},
        {"Simple", {"SimpleTag"}},
        {"String", {"TagString"}},
        {"Tag language", {"TagLanguage"}},
        {"Cluster", {"Cluster"}},
        {"Cluster timestamp", {"Timecode"}},
        {"Simple block", {"SimpleBlock"}},
        {"Block group", {"BlockGroup"}},
        {"Block", {"Block"}},
        {"Block duration", {"BlockDuration"}},
        {"Reference block", {"ReferenceBlock"}},
        {"Cues", {"Cues"}},
        {"Cue point", {"CuePoint"}},
        {"Cue time", {"CueTime"}},
        {"Cue track positions", {"CueTrackPositions"}},
        {"Cue track", {"CueTrack"}},
        {"Cue cluster position", {"CueClusterPosition"}},
        {"Cue relative position", {"CueRelativePosition"}},
        {"Chapters", {"Chapters"}},
        {"Edition entry", {"EditionEntry"}},
        {"Edition UID", {"EditionUID"}},
        {"Edition flag default", {"EditionFlagDefault"}},
        {"Edition flag hidden", {"EditionFlagHidden"}},
        {"Edition flag ordered", {"EditionFlagOrdered"}},
        {"Chapter atom", {"ChapterAtom"}},
        {"Chapter UID", {"ChapterUID"}},
        {"Chapter time start", {"ChapterTimeStart"}},
        {"Chapter flag hidden", {"ChapterFlagHidden"}},
        {"Chapter flag enabled", {"ChapterFlagEnabled"}},
        {"Chapter display", {"ChapterDisplay"}},
        {"Chapter string", {"ChapString"}},
        {"Chapter language", {"ChapLanguage"}},
        {"Attachments", {"Attachments"}},
        {"Attached", {"AttachedFile"}},
        {"File description", {"FileDescription"}},
        {"File name", {"FileName"}},
        {"MIME type", {"FileMimeType"}},
        {"File data", {"FileData"}},
        {"File UID", {"FileUID"}},
        // Later additions to Matroska, not in the dictionary.
        {"Codec-inherent delay", {""}},
        {"Seek pre-roll", {""}},
        {"Discard padding", {""}},
        {"Language (IETF BCP 47)", {""}},
        {"Chapter language (IETF BCP 47)", {""}},
        {"Tag language (IETF BCP 47)", {""}},
        {"Video color information", {""}},
    };
    return names;
}

struct Listed
{
    int depth = 0;
    QString label;
    qint64 position = 0;
    qint64 size = 0;
};

// "|  + Label: value at 331 size 7 data size 3"; the depth is the column of the "+".
QList<Listed> readMkvinfo(const QString &path, QString *error)
{
    static const QRegularExpression line(QStringLiteral("^([| ]*)\\+ (.*) at (\\d+) size (\\d+)( data size \\d+)?$"));
    QList<Listed> listed;
    int skipBelow = -1; // depth of an element whose children are not walked
    for (const QString &text : lines(path)) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch()) {
            *error = QStringLiteral("unreadable line: ") + text;
            return {};
        }
        Listed entry;
        entry.depth = int(match.capturedLength(1));
        const QString head = match.captured(2);
        entry.label = head.section(QStringLiteral(": "), 0, 0);
        entry.position = match.captured(3).toLongLong();
        entry.size = match.captured(4).toLongLong();
        if (skipBelow >= 0 && entry.depth > skipBelow)
            continue;
        skipBelow = -1;
        // The frames of a block are its contents, not elements.
        if (entry.label == QLatin1String("Frame"))
            continue;
        if (elementNames().value(entry.label) == QStringList{QString()})
            skipBelow = entry.depth;
        listed << entry;
    }
    return listed;
}

struct Packet
{
    int stream = 0;
    qint64 size = 0;
    qint64 position = 0;
    bool key = false;
};

QList<Packet> readPackets(const QString &path)
{
    QList<Packet> packets;
    for (const QString &text : lines(path)) {
        const QStringList fields = text.split(QLatin1Char(','));
        if (fields.size() < 4)
            continue;
        packets << Packet{fields[0].toInt(), fields[1].toLongLong(), fields[2].toLongLong(),
                          fields[3].startsWith(QLatin1Char('K'))};
    }
    return packets;
}

// ffprobe's streams that are tracks, as "index,codec_type,time_base"; attachments are listed
// as streams too, but they are no track.
QList<QStringList> readTrackStreams(const QString &path)
{
    QList<QStringList> streams;
    for (const QString &text : lines(path)) {
        const QStringList fields = text.split(QLatin1Char(','));
        if (fields.size() == 3 && fields[1] != QLatin1String("attachment"))
            streams << fields;
    }
    return streams;
}

QString expected(const QString &name, const char *kind)
{
    return fixture(QStringLiteral("expected/") + name + QLatin1Char('.') + QLatin1String(kind));
}

} // namespace

class TestMkvFixtures : public QObject
{
    Q_OBJECT

private slots:
    void elementTreeAsMkvinfoLists_data();
    void elementTreeAsMkvinfoLists();
    void framesAsFfprobeLists_data();
    void framesAsFfprobeLists();
    void streamsAsFfprobeAndMkvinfoList_data() { elementTreeAsMkvinfoLists_data(); }
    void streamsAsFfprobeAndMkvinfoList();
    void truncatedAtEveryOffset();
};

void TestMkvFixtures::elementTreeAsMkvinfoLists_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"h264_vorbis.mkv", "h264_vorbis_laced.mkv", "blockgroups.mkv",
                             "vp9_opus.webm", "vp8_opus.webm", "extras.mkv",
                             "tracks_after_clusters.mkv", "tiny.mkv"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestMkvFixtures::elementTreeAsMkvinfoLists()
{
    QFETCH(QString, name);
    QString error;
    const QList<Listed> listed = readMkvinfo(expected(name, "mkvinfo.txt"), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!listed.isEmpty());

    MkvParse parse;
    parseMkvFile(&parse, fixture(name));
    QCOMPARE(parse.outcome.status, int(Status::Success));
    QCOMPARE(parse.outcome.firstFailure, int(Status::Success));
    QCOMPARE(parse.outcome.stopOffset, quint64(QFile(fixture(name)).size()));

    // mkvinfo does not list CRC-32 elements.
    std::vector<ElementRecord> ours;
    for (const ElementRecord &record : parse.elements())
        if (record.name != QLatin1String("CRC-32"))
            ours.push_back(record);

    QCOMPARE(qsizetype(ours.size()), listed.size());
    for (qsizetype i = 0; i < listed.size(); ++i) {
        const Listed &want = listed[i];
        const ElementRecord &got = ours[size_t(i)];
        const QStringList names = elementNames().value(want.label);
        const QString where = QStringLiteral("element %1: mkvinfo lists \"%2\" at %3 size %4 depth %5; "
                                             "we have \"%6\" at %7 size %8 depth %9")
                                  .arg(i).arg(want.label).arg(want.position).arg(want.size).arg(want.depth)
                                  .arg(got.name).arg(got.offset / 8).arg(got.size / 8).arg(got.level);
        QVERIFY2(!names.isEmpty(), qPrintable(QStringLiteral("no name known for mkvinfo's label ") + want.label));
        QVERIFY2(names.contains(got.name), qPrintable(where));
        QVERIFY2(got.offset == want.position * 8 && got.size == want.size * 8 && got.level == want.depth,
                 qPrintable(where));
    }
}

void TestMkvFixtures::framesAsFfprobeLists_data()
{
    // mkvmerge laces the audio packets, several to a block; ffprobe lists each packet and we
    // list each block, so those streams are left out.
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("laced"); // stream left out, -1 for none
    QTest::newRow("h264_vorbis.mkv") << "h264_vorbis.mkv" << -1;
    QTest::newRow("h264_vorbis_laced.mkv") << "h264_vorbis_laced.mkv" << 1;
    QTest::newRow("blockgroups.mkv") << "blockgroups.mkv" << 1;
    QTest::newRow("vp9_opus.webm") << "vp9_opus.webm" << -1;
    QTest::newRow("vp8_opus.webm") << "vp8_opus.webm" << 1;
    QTest::newRow("extras.mkv") << "extras.mkv" << 1;
    QTest::newRow("tracks_after_clusters.mkv") << "tracks_after_clusters.mkv" << 1;
    QTest::newRow("tiny.mkv") << "tiny.mkv" << -1;
}

void TestMkvFixtures::framesAsFfprobeLists()
{
    QFETCH(QString, name);
    QFETCH(int, laced);
    const QList<Packet> packets = readPackets(expected(name, "packets.csv"));
    const qsizetype streamCount = readTrackStreams(expected(name, "streams.csv")).size();
    QVERIFY(!packets.isEmpty() && streamCount > 0);

    MkvParse parse;
    parseMkvFile(&parse, fixture(name));
    QCOMPARE(parse.sink.streamRecords.size(), streamCount);
    QList<QList<FrameRecord>> ours(streamCount);
    for (const FrameRecord &frame : parse.sink.frames) {
        QVERIFY(frame.stream < uint(streamCount));
        ours[frame.stream] << frame;
    }
    for (int stream = 0; stream < streamCount; ++stream) {
        if (stream == laced)
            continue;
        QList<Packet> theirs;
        for (const Packet &packet : packets)
            if (packet.stream == stream)
                theirs << packet;
        QVERIFY(!theirs.isEmpty());
        QCOMPARE(ours[stream].size(), theirs.size());
        for (qsizetype i = 0; i < theirs.size(); ++i) {
            const FrameRecord &frame = ours[stream][i];
            const QString where = QStringLiteral("stream %1 frame %2").arg(stream).arg(i);
            QVERIFY2(frame.number == quint64(i) && qint64(frame.size) == theirs[i].size
                         && frame.keyFrame == theirs[i].key,
                     qPrintable(where));
            // ffprobe gives the start of the block's data; the frame follows the track number
            // (one byte here), the timecode and the flags.
            QVERIFY2(qint64(frame.offset) == theirs[i].position + 4, qPrintable(where));
        }
    }
}

void TestMkvFixtures::streamsAsFfprobeAndMkvinfoList()
{
    QFETCH(QString, name);
    const QList<QStringList> theirs = readTrackStreams(expected(name, "streams.csv"));
    QStringList codecs;
    static const QRegularExpression codecLine(QStringLiteral("\\+ Codec ID: (\\S+) at "));
    for (const QString &text : lines(expected(name, "mkvinfo.txt"))) {
        const QRegularExpressionMatch match = codecLine.match(text);
        if (match.hasMatch())
            codecs << match.captured(1);
    }
    QCOMPARE(codecs.size(), theirs.size());

    MkvParse parse;
    parseMkvFile(&parse, fixture(name));
    const QList<StreamRecord> &ours = parse.sink.streamRecords;
    QCOMPARE(ours.size(), theirs.size());
    for (qsizetype i = 0; i < ours.size(); ++i) {
        QCOMPARE(StreamRecord::kindName(ours[i].kind), theirs[i][1]);
        QCOMPARE(ours[i].codec, codecs[i]);
        QCOMPARE(QStringLiteral("1/%1").arg(ours[i].timescale), theirs[i][2]);
    }
}

void TestMkvFixtures::truncatedAtEveryOffset()
{
    QFile source(fixture(QStringLiteral("tiny.mkv")));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    QVERIFY(bytes.size() > 1000);

    MkvParse whole;
    parseMkvFile(&whole, source.fileName());
    const std::vector<ElementRecord> full = whole.sink.elements();

    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/kestrune-mkv-cut-XXXXXX.mkv"));
    QVERIFY(file.open());
    file.write(bytes);
    file.flush();
    for (qint64 length = bytes.size() - 1; length > 0; --length) {
        QVERIFY(file.resize(length));
        MkvParse parse;
        parseMkvFile(&parse, file.fileName());
        const QString at = QStringLiteral("cut at %1").arg(length);
        QVERIFY2(parse.outcome.status == Status::Success && !parse.outcome.stalled, qPrintable(at));
        QVERIFY2(parse.outcome.stopOffset == quint64(length), qPrintable(at));
        QVERIFY2(parse.sink.inOrder, qPrintable(at));

        QSet<QString> seen;
        for (const ElementRecord &record : parse.sink.elements()) {
            QVERIFY2(record.offset + record.size <= length * 8,
                     qPrintable(at + QStringLiteral(": %1 reaches past the end").arg(record.name)));
            seen.insert(QStringLiteral("%1|%2|%3|%4|%5").arg(record.level).arg(record.name)
                            .arg(record.offset).arg(record.size).arg(record.value));
        }
        // Whatever lies wholly before the cut is reported as in the whole file.
        for (const ElementRecord &record : full)
            if (record.offset + record.size <= length * 8)
                QVERIFY2(seen.contains(QStringLiteral("%1|%2|%3|%4|%5").arg(record.level).arg(record.name)
                                           .arg(record.offset).arg(record.size).arg(record.value)),
                         qPrintable(at + QStringLiteral(": %1 at %2 is lost").arg(record.name).arg(record.offset / 8)));
        for (const FrameRecord &frame : parse.sink.frames)
            QVERIFY2(frame.offset + frame.size <= quint64(length), qPrintable(at));
    }
}

QTEST_GUILESS_MAIN(TestMkvFixtures)
#include "test_mkv_fixtures.moc"
