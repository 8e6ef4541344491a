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
// track UID of a track and of a tag target) lists both.
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
        {"Target type value", {"TargetTypeValue"}},
        {"Target type", {"TargetType"}},
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
        {"Cue duration", {"CueDuration"}},
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
        {"Codec-inherent delay", {"CodecDelay"}},
        {"Seek pre-roll", {"SeekPreRoll"}},
        {"Discard padding", {"DiscardPadding"}},
        {"Language (IETF BCP 47)", {"LanguageBCP47"}},
        {"Chapter language (IETF BCP 47)", {"ChapLanguageBCP47"}},
        {"Tag language (IETF BCP 47)", {"TagLanguageBCP47"}},
        {"Video color information", {"Colour"}},
        {"Color matrix coefficients", {"MatrixCoefficients"}},
        {"Color range", {"Range"}},
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
        // The frames of a block are its contents, not elements.
        if (entry.label == QLatin1String("Frame"))
            continue;
        listed << entry;
    }
    return listed;
}

struct Packet
{
    int stream = 0;
    qint64 pts = 0;
    bool hasPts = false;
    qint64 duration = 0;
    bool hasDuration = false;
    qint64 size = 0;
    bool key = false;
};

// "stream_index,pts,duration,size,pos,flags"; ffprobe writes N/A for a value it does not know.
QList<Packet> readPackets(const QString &path)
{
    QList<Packet> packets;
    for (const QString &text : lines(path)) {
        const QStringList fields = text.split(QLatin1Char(','));
        if (fields.size() < 6)
            continue;
        Packet packet;
        packet.stream = fields[0].toInt();
        packet.pts = fields[1].toLongLong(&packet.hasPts);
        packet.duration = fields[2].toLongLong(&packet.hasDuration);
        packet.size = fields[3].toLongLong();
        packet.key = fields[5].startsWith(QLatin1Char('K'));
        packets << packet;
    }
    return packets;
}

// What mkvinfo says of the blocks of every track: their timestamps and frames.
struct ListedBlock
{
    qint64 time = 0;      // ticks
    QList<QPair<qint64, qint64>> frames; // position, size
};

struct ListedTrack
{
    quint64 number = 0;
    qint64 delay = 0; // ticks of its codec delay, which ffmpeg takes from the timestamps
    QList<ListedBlock> blocks;
};

qint64 nanoseconds(const QString &time)
{
    const QStringList parts = time.split(QRegularExpression(QStringLiteral("[:.]")));
    return ((parts[0].toLongLong() * 60 + parts[1].toLongLong()) * 60 + parts[2].toLongLong()) * 1000000000
        + parts[3].toLongLong();
}

QList<ListedTrack> readBlocks(const QString &path)
{
    static const QString time = QStringLiteral("(\\d+:\\d\\d:\\d\\d\\.\\d{9})");
    static const QRegularExpression scaleLine(QStringLiteral("\\+ Timestamp scale: (\\d+) at "));
    static const QRegularExpression trackLine(QStringLiteral("\\+ Track number: (\\d+) "));
    static const QRegularExpression delayLine(QStringLiteral("\\+ Codec-inherent delay: ") + time);
    static const QRegularExpression blockLine(QStringLiteral("\\+ (?:Simple block|Block): .*track number (\\d+), "
                                                             "\\d+ frame\\(s\\), timestamp ") + time);
    static const QRegularExpression frameLine(QStringLiteral("\\+ Frame at (\\d+) size (\\d+)$"));
    qint64 scale = 1000000;
    QList<ListedTrack> tracks;
    QHash<quint64, QList<ListedBlock>> blocks; // by track number; the tracks may come last
    ListedBlock *block = nullptr;
    for (const QString &text : lines(path)) {
        QRegularExpressionMatch match;
        if ((match = scaleLine.match(text)).hasMatch()) {
            scale = match.captured(1).toLongLong();
        } else if ((match = trackLine.match(text)).hasMatch()) {
            tracks.append(ListedTrack());
            tracks.last().number = match.captured(1).toULongLong();
        } else if ((match = delayLine.match(text)).hasMatch() && !tracks.isEmpty()) {
            tracks.last().delay = qRound64(double(nanoseconds(match.captured(1))) / double(scale));
        } else if ((match = blockLine.match(text)).hasMatch()) {
            QList<ListedBlock> &listed = blocks[match.captured(1).toULongLong()];
            listed.append(ListedBlock());
            block = &listed.last();
            block->time = nanoseconds(match.captured(2)) / scale;
        } else if ((match = frameLine.match(text)).hasMatch() && block) {
            block->frames.append({match.captured(1).toLongLong(), match.captured(2).toLongLong()});
        }
    }
    for (ListedTrack &track : tracks)
        track.blocks = blocks.value(track.number);
    return tracks;
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
    void framesAsFfprobeLists_data() { elementTreeAsMkvinfoLists_data(); }
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
                             "tracks_after_clusters.mkv", "tiny.mkv", "audio_lacing.mkv",
                             "audio_unlaced.mkv", "xiph_lacing.mkv", "ebml_lacing.mkv", "durations.mkv",
                             "ffmpeg_audio.mkv"})
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

// Every frame against mkvinfo's frame list (position and size) and the packets of ffmpeg's
// demuxer (size, key flag, pts and duration). ffmpeg gives the laces of a block the times and
// durations that the block's duration gives them, its BlockDuration or the track's
// DefaultDuration for each lace; without one it gives the laces after the first no pts, and we
// give them the block's time. It marks the first lace only as a key frame, we every lace of a
// key block: the block holds key frames only.
void TestMkvFixtures::framesAsFfprobeLists()
{
    QFETCH(QString, name);
    const QList<Packet> packets = readPackets(expected(name, "packets.csv"));
    const QList<ListedTrack> tracks = readBlocks(expected(name, "mkvinfo.txt"));
    QVERIFY(!packets.isEmpty() && !tracks.isEmpty());

    MkvParse parse;
    parseMkvFile(&parse, fixture(name));
    QCOMPARE(parse.sink.streamRecords.size(), tracks.size());
    QList<QList<FrameRecord>> ours(tracks.size());
    for (const FrameRecord &frame : parse.sink.frames) {
        QVERIFY(frame.stream < uint(tracks.size()));
        ours[frame.stream] << frame;
    }
    qsizetype compared = 0;
    for (int stream = 0; stream < tracks.size(); ++stream) {
        QList<Packet> theirs;
        for (const Packet &packet : packets)
            if (packet.stream == stream)
                theirs << packet;
        QVERIFY(!theirs.isEmpty());
        QCOMPARE(ours[stream].size(), theirs.size());
        const ListedTrack &track = tracks[stream];
        qsizetype i = 0;
        for (const ListedBlock &block : track.blocks) {
            for (qsizetype lace = 0; lace < block.frames.size(); ++lace, ++i) {
                QVERIFY(i < theirs.size());
                const FrameRecord &frame = ours[stream][i];
                const Packet &packet = theirs[i];
                const QString where = QStringLiteral("stream %1 frame %2 (lace %3 of %4): ours at %5 size %6 "
                                                     "time %7 duration %8; ffprobe pts %9 duration %10")
                                          .arg(stream).arg(i).arg(lace).arg(block.frames.size()).arg(frame.offset)
                                          .arg(frame.size).arg(frame.time).arg(frame.duration)
                                          .arg(packet.hasPts ? QString::number(packet.pts) : QStringLiteral("N/A"))
                                          .arg(packet.hasDuration ? QString::number(packet.duration) : QStringLiteral("N/A"));
                QVERIFY2(frame.number == quint64(i) && qint64(frame.offset) == block.frames[lace].first
                             && qint64(frame.size) == block.frames[lace].second,
                         qPrintable(where + QStringLiteral("; mkvinfo at %1 size %2")
                                                .arg(block.frames[lace].first).arg(block.frames[lace].second)));
                QVERIFY2(qint64(frame.size) == packet.size, qPrintable(where));
                QVERIFY2(lace > 0 || (packet.hasPts && frame.keyFrame == packet.key), qPrintable(where));
                QVERIFY2(packet.hasPts ? frame.time == packet.pts + track.delay : frame.time == block.time,
                         qPrintable(where));
                QVERIFY2(qint64(frame.duration) == (packet.hasDuration ? packet.duration : 0), qPrintable(where));
                ++compared;
            }
        }
        QCOMPARE(i, theirs.size());
    }
    qInfo("%s: %lld frames compared", qPrintable(name), qlonglong(compared));
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
        // A timestamp scale that does not divide a second (mkvmerge's 20832 ns for audio at
        // 48 kHz) has no whole number of ticks per second; the nearest one stands for it.
        const QStringList timeBase = theirs[i][2].split(QLatin1Char('/'));
        QCOMPARE(ours[i].timescale, quint64(qRound64(timeBase[1].toDouble() / timeBase[0].toDouble())));
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
