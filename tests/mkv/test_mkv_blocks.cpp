// Laced blocks built byte by byte: how their frames split, the times and durations the frames
// get, and damaged lace headers; the one-line summaries of block rows, also against ffprobe's
// packets of real files.

#include "byte_builder.h"
#include "mkv_parse.h"
#include "status.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QTest>

namespace {

constexpr quint32 tracks = 0x1654AE6B;
constexpr quint32 trackEntry = 0xAE;
constexpr quint32 trackNumber = 0xD7;
constexpr quint32 trackType = 0x83;
constexpr quint32 defaultDuration = 0x23E383;
constexpr quint32 cluster = 0x1F43B675;
constexpr quint32 timecode = 0xE7;
constexpr quint32 simpleBlock = 0xA3;
constexpr quint32 blockGroup = 0xA0;
constexpr quint32 block = 0xA1;
constexpr quint32 blockDuration = 0x9B;
constexpr quint32 referenceBlock = 0xFB;
constexpr quint32 info = 0x1549A966;
constexpr quint32 timecodeScale = 0x2AD7B1;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int v : values)
        result.append(char(v));
    return result;
}

// The data of a block of track 1 at relative time 5: header, then the lace header and frames.
QByteArray blockData(int flags, const QByteArray &laced)
{
    return bytes({0x81, 0x00, 0x05, flags}) + laced;
}

// An audio track 1; its DefaultDuration (0 for none) follows its type.
QByteArray trackBytes(quint64 nanoseconds)
{
    return ByteBuilder().ebml(tracks, [nanoseconds](ByteBuilder &t) {
        t.ebml(trackEntry, [nanoseconds](ByteBuilder &e) {
            e.ebmlUInt(trackNumber, 1).ebmlUInt(trackType, 2);
            if (nanoseconds)
                e.ebmlUInt(defaultDuration, nanoseconds);
        });
    }).bytes();
}

// A cluster at 1000 ticks holding one block: a SimpleBlock, or a Block in a BlockGroup with
// a BlockDuration (-1 for none) after it.
QByteArray clusterBytes(const QByteArray &data, bool grouped, int duration)
{
    return ByteBuilder().ebml(cluster, [&](ByteBuilder &c) {
        c.ebmlUInt(timecode, 1000);
        if (!grouped) {
            c.ebml(simpleBlock, [&data](ByteBuilder &b) { b.raw(data); });
            return;
        }
        c.ebml(blockGroup, [&](ByteBuilder &g) {
            g.ebml(block, [&data](ByteBuilder &b) { b.raw(data); });
            if (duration >= 0)
                g.ebmlUInt(blockDuration, quint64(duration));
        });
    }).bytes();
}

// The names of the children of the block's "data" group, as "LaceCount LaceSize frame".
QString dataFields(const MkvParse &parse)
{
    const ElementRecord *data = parse.sink.find(QStringLiteral("data"));
    QStringList names;
    for (const ElementRecord &record : parse.sink.elements())
        if (data && record.parentId == data->id)
            names << record.name;
    return names.join(QLatin1Char(' '));
}

// Every frame as "offset:size@time+duration", offsets counted from the block's data.
QString framesText(const MkvParse &parse, quint64 dataStart)
{
    QStringList frames;
    for (const FrameRecord &frame : parse.sink.frames)
        frames << QStringLiteral("%1:%2@%3+%4").arg(frame.offset - dataStart).arg(frame.size)
                      .arg(frame.time).arg(frame.duration);
    return frames.join(QLatin1Char(' '));
}

// The readable values of the rows named SimpleBlock, Block or BlockGroup, as "Name: summary".
QStringList blockSummaries(const MkvParse &parse)
{
    QStringList summaries;
    for (const ElementRecord &record : parse.elements())
        if (record.name == QLatin1String("SimpleBlock") || record.name == QLatin1String("Block")
            || record.name == QLatin1String("BlockGroup"))
            summaries << record.name + QStringLiteral(": ") + record.readable;
    return summaries;
}

// Milliseconds as h:mm:ss.mmm, as the summaries write a time.
QString clock(qint64 milliseconds)
{
    const qint64 m = qAbs(milliseconds);
    return QStringLiteral("%1%2:%3:%4.%5")
        .arg(milliseconds < 0 ? QStringLiteral("-") : QString())
        .arg(m / 3600000)
        .arg(m / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(m / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(m % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace

class TestMkvBlocks : public QObject
{
    Q_OBJECT

private slots:
    void framesAndTimes_data();
    void framesAndTimes();
    void damagedLaces_data();
    void damagedLaces();
    void summaries_data();
    void summaries();
    void summariesMatchFfprobe_data();
    void summariesMatchFfprobe();
};

void TestMkvBlocks::framesAndTimes_data()
{
    QTest::addColumn<QByteArray>("laced");   // the block's data after its flags
    QTest::addColumn<int>("flags");
    QTest::addColumn<quint64>("nanoseconds"); // the track's DefaultDuration, 0 for none
    QTest::addColumn<bool>("grouped");
    QTest::addColumn<int>("duration");       // BlockDuration, -1 for none
    QTest::addColumn<bool>("tracksLast");
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QString>("fields");

    const QByteArray sixBytes("abcdef");
    // Three frames of 1, 2 and 3 bytes: Xiph sizes 1 and 2; EBML size 1, then +1.
    QTest::newRow("Xiph, default duration for each frame")
        << bytes({0x02, 0x01, 0x02}) + sixBytes << 0x82 << quint64(10000000) << false << -1 << false
        << "3:1@1005+10 4:2@1015+10 6:3@1025+10" << "LaceCount LaceSize LaceSize frame frame frame";
    QTest::newRow("EBML, block duration shared")
        << bytes({0x02, 0x81, 0xC0}) + sixBytes << 0x06 << quint64(10000000) << true << 10 << false
        << "3:1@1005+3 4:2@1008+3 6:3@1011+4" << "LaceCount LaceSize LaceSize frame frame frame";
    QTest::newRow("fixed-size, no duration: every frame at the block's time")
        << bytes({0x02}) + sixBytes << 0x84 << quint64(0) << false << -1 << false
        << "1:2@1005+0 3:2@1005+0 5:2@1005+0" << "LaceCount frame frame frame";
    QTest::newRow("no lacing, block duration 0 leaves the default")
        << sixBytes << 0x80 << quint64(4000000) << true << 0 << false << "0:6@1005+4" << "";
    QTest::newRow("before its track, default after the track type")
        << bytes({0x02}) + sixBytes << 0x84 << quint64(3000000) << false << -1 << true
        << "1:2@1005+3 3:2@1008+3 5:2@1011+3" << "LaceCount frame frame frame";
}

void TestMkvBlocks::framesAndTimes()
{
    QFETCH(QByteArray, laced);
    QFETCH(int, flags);
    QFETCH(quint64, nanoseconds);
    QFETCH(bool, grouped);
    QFETCH(int, duration);
    QFETCH(bool, tracksLast);
    QFETCH(QString, frames);
    QFETCH(QString, fields);
    const QByteArray clusters = clusterBytes(blockData(flags, laced), grouped, duration);
    const QByteArray file = tracksLast ? clusters + trackBytes(nanoseconds) : trackBytes(nanoseconds) + clusters;
    MkvParse parse;
    parseMkvBytes(&parse, file);
    QCOMPARE(parse.outcome.firstFailure, int(Status::Success));
    const ElementRecord *flagsField = parse.sink.find(QStringLiteral("Flags"));
    QVERIFY(flagsField);
    QCOMPARE(framesText(parse, quint64(flagsField->offset / 8 + 1)), frames);
    QCOMPARE(dataFields(parse), fields);
}

void TestMkvBlocks::damagedLaces_data()
{
    QTest::addColumn<QByteArray>("data");    // the block's data, header included
    QTest::addColumn<int>("cutBy");          // bytes the file lacks of the block
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("status");

    QTest::newRow("no lace count") << blockData(0x82, {}) << 0 << "" << "The block ends before its lace count."
                                   << 0 << int(Status::UnexpectedEnd);
    QTest::newRow("lace count larger than the bytes")
        << blockData(0x84, bytes({0x09, 1, 2, 3})) << 0 << "LaceCount"
        << "The lace count claims 10 frames, but only 3 bytes follow it." << 0 << int(Status::UnexpectedEnd);
    QTest::newRow("Xiph sizes past the end")
        << blockData(0x82, bytes({0x02, 0x01, 0xFF, 0xFF})) << 0 << "LaceCount LaceSize"
        << "The lace sizes run past the end of the block: the size of frame 1 of 3 is cut off." << 0
        << int(Status::UnexpectedEnd);
    QTest::newRow("Xiph sizes larger than the block")
        << blockData(0x82, bytes({0x02, 0x01, 0x05, 'a', 'b', 'c'})) << 0 << "LaceCount LaceSize LaceSize frame"
        << "The lace sizes claim 6 bytes, but only 3 follow the lace header." << 1 << int(Status::UnexpectedEnd);
    QTest::newRow("EBML difference below zero")
        << blockData(0x86, bytes({0x02, 0x82, 0x9E, 'a', 'b', 'c'})) << 0 << "LaceCount LaceSize"
        << "The lace size difference of frame 1 makes its size negative (-31)." << 0 << int(Status::UnexpectedEnd);
    QTest::newRow("EBML size longer than 8 bytes")
        << blockData(0x86, bytes({0x01, 0x00, 0, 0, 0, 0, 0, 0, 0x81, 'a'})) << 0 << "LaceCount"
        << "The lace size of frame 0 is longer than 8 bytes." << 0 << int(Status::TooLong);
    QTest::newRow("fixed-size not divisible")
        << blockData(0x84, bytes({0x02, 'a', 'b', 'c', 'd'})) << 0 << "LaceCount"
        << "The 4 bytes after the lace count do not split into 3 frames of the same size." << 0
        << int(Status::UnexpectedEnd);
    // The file ends inside the lace sizes: the walker's note says what is missing.
    QTest::newRow("cut inside the lace header")
        << blockData(0x82, bytes({0x02, 0x01, 0xFF, 0xFF, 0x03, 'a', 'b', 'c'})) << 5 << "LaceCount LaceSize"
        << "5 bytes are missing" << 0 << int(Status::UnexpectedEnd);
}

void TestMkvBlocks::damagedLaces()
{
    QFETCH(QByteArray, data);
    QFETCH(int, cutBy);
    QFETCH(QString, fields);
    QFETCH(QString, note);
    QFETCH(int, frames);
    QFETCH(int, status);
    QByteArray file = trackBytes(0) + ByteBuilder().ebml(simpleBlock, [&data](ByteBuilder &b) { b.raw(data); }).bytes();
    file.chop(cutBy);
    MkvParse parse;
    parseMkvBytes(&parse, file);
    QCOMPARE(parse.outcome.status, int(Status::Success));
    QCOMPARE(parse.outcome.stopOffset, quint64(file.size()));
    QCOMPARE(parse.outcome.firstFailure, status);
    QCOMPARE(dataFields(parse), fields);
    const ElementRecord *owner = parse.sink.find(QStringLiteral("SimpleBlock"));
    QVERIFY(owner);
    QVERIFY2(parse.sink.notes.value(owner->id).contains(note), qPrintable(parse.sink.notes.value(owner->id)));
    QCOMPARE(int(parse.sink.frames.size()), frames);
    for (const FrameRecord &frame : parse.sink.frames)
        QVERIFY(qint64(frame.offset + frame.size) * 8 <= owner->offset + owner->size);
    QVERIFY(parse.shapeFault(file.size()).isEmpty());
}

void TestMkvBlocks::summaries_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("summaries");

    const QByteArray unlaced("abc");
    const auto simple = [](const QByteArray &data) {
        return ByteBuilder().ebml(simpleBlock, [&data](ByteBuilder &b) { b.raw(data); }).bytes();
    };
    // A cluster with a timestamp (-1 for none) and the blocks given.
    const auto clusterOf = [](int timestamp, const QByteArray &blocks) {
        return ByteBuilder().ebml(cluster, [&](ByteBuilder &c) {
            if (timestamp >= 0)
                c.ebmlUInt(timecode, quint64(timestamp));
            c.raw(blocks);
        }).bytes();
    };
    // A BlockGroup whose Block has the flags given, with a ReferenceBlock or without.
    const auto group = [&](int flags, bool referenced) {
        return ByteBuilder().ebml(blockGroup, [&](ByteBuilder &g) {
            g.ebml(block, [&](ByteBuilder &b) { b.raw(blockData(flags, unlaced)); });
            if (referenced)
                g.ebml(referenceBlock, [](ByteBuilder &r) { r.u8(0xF6); });
        }).bytes();
    };

    QTest::newRow("key, no lacing") << clusterBytes(blockData(0x80, unlaced), false, -1)
                                    << QStringList{"SimpleBlock: track 1, 0:00:01.005, key"};
    QTest::newRow("non-key, EBML laced")
        << clusterBytes(blockData(0x06, bytes({0x00}) + unlaced), false, -1)
        << QStringList{"SimpleBlock: track 1, 0:00:01.005, EBML lacing"};
    QTest::newRow("every flag, Xiph laced")
        << clusterBytes(blockData(0x8B, bytes({0x01, 0x01}) + unlaced), false, -1)
        << QStringList{"SimpleBlock: track 1, 0:00:01.005, key, invisible, Xiph lacing, discardable"};
    QTest::newRow("fixed-size laced") << clusterBytes(blockData(0x04, bytes({0x00}) + unlaced), false, -1)
                                      << QStringList{"SimpleBlock: track 1, 0:00:01.005, fixed-size lacing"};
    QTest::newRow("negative timecode")
        << clusterOf(0, simple(bytes({0x82, 0xFF, 0xD8, 0x80}) + unlaced))
        << QStringList{"SimpleBlock: track 2, -0:00:00.040, key"};
    QTest::newRow("cluster without a timestamp") << clusterOf(-1, simple(blockData(0x00, unlaced)))
                                                 << QStringList{"SimpleBlock: track 1, 0:00:00.005"};
    QTest::newRow("block before any cluster") << simple(blockData(0x80, unlaced))
                                              << QStringList{"SimpleBlock: track 1, 0:00:00.005, key"};
    QTest::newRow("time past an hour, at a scale of 10 ms")
        << ByteBuilder().ebml(info, [](ByteBuilder &i) { i.ebmlUInt(timecodeScale, 10000000); }).bytes()
               + clusterOf(360000, simple(blockData(0x80, unlaced)))
        << QStringList{"SimpleBlock: track 1, 1:00:00.050, key"};
    QTest::newRow("scale rounds to milliseconds")
        << ByteBuilder().ebml(info, [](ByteBuilder &i) { i.ebmlUInt(timecodeScale, 100000); }).bytes()
               + clusterOf(1000, simple(blockData(0x80, unlaced)))
        << QStringList{"SimpleBlock: track 1, 0:00:00.101, key"};
    // Bit 7 of a Block is reserved; its group tells a key frame by the absence of references.
    QTest::newRow("BlockGroup without references")
        << clusterOf(1000, group(0x00, false))
        << QStringList{"BlockGroup: track 1, 0:00:01.005, key", "Block: track 1, 0:00:01.005"};
    QTest::newRow("BlockGroup with a reference, laced")
        << clusterOf(1000, group(0x82, true))
        << QStringList{"BlockGroup: track 1, 0:00:01.005, Xiph lacing", "Block: track 1, 0:00:01.005, Xiph lacing"};
    // A header cut short gives no summary; a block whose frame is cut keeps its header's.
    QTest::newRow("header cut") << simple(bytes({0x81, 0x00})) << QStringList{"SimpleBlock: "};
    QByteArray cutFrame = simple(blockData(0x80, QByteArray(20, 'x')));
    cutFrame.chop(10);
    QTest::newRow("frame cut") << cutFrame << QStringList{"SimpleBlock: track 1, 0:00:00.005, key"};
    QByteArray cutGroup = clusterOf(1000, group(0x80, false));
    cutGroup.chop(2);
    QTest::newRow("BlockGroup cut in its Block") << cutGroup
                                                 << QStringList{"BlockGroup: ", "Block: track 1, 0:00:01.005"};
}

void TestMkvBlocks::summaries()
{
    QFETCH(QByteArray, file);
    MkvParse parse;
    parseMkvBytes(&parse, trackBytes(0) + file);
    QTEST(blockSummaries(parse), "summaries");
    // The flag byte itself keeps its number and an empty readable value.
    const ElementRecord *flags = parse.sink.find(QStringLiteral("Flags"));
    QVERIFY(!flags || flags->readable.isEmpty());
    QVERIFY(parse.shapeFault(file.size() + trackBytes(0).size()).isEmpty());
}

void TestMkvBlocks::summariesMatchFfprobe_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("SimpleBlocks (ffmpeg)") << "h264_vorbis.mkv";
    QTest::newRow("BlockGroups (mkvmerge)") << "blockgroups.mkv";
}

// ffprobe's packets give the position of each block's data, its time in milliseconds and
// whether it is a key frame; the laces after the first of a block share its position.
void TestMkvBlocks::summariesMatchFfprobe()
{
    QFETCH(QString, name);
    const QString fixtures = QStringLiteral(KESTRUNE_FIXTURES "/mkv/");
    QFile packets(fixtures + QStringLiteral("expected/") + name + QStringLiteral(".packets.csv"));
    QVERIFY(packets.open(QIODevice::ReadOnly | QIODevice::Text));
    MkvParse parse;
    parseMkvFile(&parse, fixtures + name);
    const std::vector<ElementRecord> &all = parse.sink.elements();
    QHash<qint64, const ElementRecord *> trackNumbers; // by the offset of their block's data
    for (const ElementRecord &record : all)
        if (record.name == QLatin1String("TrackNumber"))
            trackNumbers.insert(record.offset / 8, &record);
    int checked = 0;
    QSet<qint64> seen;
    while (!packets.atEnd()) {
        const QStringList fields = QString::fromLatin1(packets.readLine()).trimmed().split(QLatin1Char(','));
        QCOMPARE(fields.size(), 6);
        const qint64 position = fields[4].toLongLong();
        if (fields[1] == QLatin1String("N/A") || seen.contains(position))
            continue;
        seen.insert(position);
        const ElementRecord *track = trackNumbers.value(position);
        QVERIFY2(track, qPrintable(QStringLiteral("no block at %1").arg(position)));
        const ElementRecord *owner = &all[size_t(track->parentId - 1)];
        if (owner->name == QLatin1String("Block"))
            owner = &all[size_t(owner->parentId - 1)];
        const QStringList parts = owner->readable.split(QStringLiteral(", "));
        QVERIFY2(parts.size() >= 2, qPrintable(owner->readable));
        QCOMPARE(parts[0], QStringLiteral("track ") + track->value);
        QCOMPARE(parts[1], clock(fields[1].toLongLong()));
        QCOMPARE(parts.contains(QStringLiteral("key")), fields[5].startsWith(QLatin1Char('K')));
        ++checked;
    }
    QVERIFY(checked > 20);
}

QTEST_GUILESS_MAIN(TestMkvBlocks)
#include "test_mkv_blocks.moc"
