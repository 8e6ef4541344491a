// The Matroska parser on byte-built EBML: values, block and track handling, damaged input.

#include "byte_builder.h"
#include "mkv_parse.h"
#include "status.h"

#include <QTest>

namespace {

constexpr quint32 ebmlHeaderId = 0x1A45DFA3;
constexpr quint32 segment = 0x18538067;
constexpr quint32 info = 0x1549A966;
constexpr quint32 tracks = 0x1654AE6B;
constexpr quint32 trackEntry = 0xAE;
constexpr quint32 trackNumber = 0xD7;
constexpr quint32 trackType = 0x83;
constexpr quint32 cluster = 0x1F43B675;
constexpr quint32 timecode = 0xE7;
constexpr quint32 simpleBlock = 0xA3;
constexpr quint32 blockGroup = 0xA0;
constexpr quint32 block = 0xA1;
constexpr quint32 referenceBlock = 0xFB;
constexpr quint32 voidId = 0xEC;
constexpr quint32 title = 0x7BA9;
constexpr quint32 video = 0xE0;

QByteArray element(quint32 id, const QByteArray &data)
{
    return ByteBuilder().ebml(id, [&data](ByteBuilder &b) { b.raw(data); }).bytes();
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int v : values)
        result.append(char(v));
    return result;
}

// A block of track `track` (below 127) with this flag byte and `payload` bytes of frame data.
QByteArray blockData(int track, int flags, int payload = 3, qint16 time = 0)
{
    QByteArray data = bytes({0x80 | track, (time >> 8) & 0xFF, time & 0xFF, flags});
    data.append(QByteArray(payload, '\x55'));
    return data;
}

QByteArray trackEntryBytes(std::initializer_list<std::pair<quint32, quint64>> fields)
{
    ByteBuilder entry;
    entry.ebml(trackEntry, [&fields](ByteBuilder &b) {
        for (const auto &field : fields)
            b.ebmlUInt(field.first, field.second);
    });
    return entry.bytes();
}

// The group of the first element called name, and a field of it.
const ElementRecord *group(const MkvParse &parse, const QString &name)
{
    const std::vector<ElementRecord> &all = parse.sink.elements();
    for (size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i].name == name && all[i + 1].parentId == all[i].id)
            return &all[i];
    return nullptr;
}

const ElementRecord *field(const MkvParse &parse, const ElementRecord *owner, const QString &name)
{
    if (!owner)
        return nullptr;
    for (const ElementRecord &record : parse.sink.elements())
        if (record.parentId == owner->id && record.name == name)
            return &record;
    return nullptr;
}

QString notesOf(const MkvParse &parse, const ElementRecord *record)
{
    return record ? parse.sink.notes.value(record->id) : QString();
}

} // namespace

class TestContainerMkv : public QObject
{
    Q_OBJECT

private slots:
    void acceptsBySuffix_data();
    void acceptsBySuffix();
    void ebmlHeader();
    void sizeFields_data();
    void sizeFields();
    void values_data();
    void values();
    void readableValues_data();
    void readableValues();
    void unknownSizeUnknownElement();
    void documentationIsADescription();
    void displayOptions_data();
    void displayOptions();
    void blockHeader_data();
    void blockHeader();
    void framesFollowTheTracks();
    void streamRecords_data();
    void streamRecords();
    void blockGroupKeyFrames_data();
    void blockGroupKeyFrames();
    void tracksAfterClusters();
    void shortBlock();
    void unknownSizes();
    void unknownSizeEndsWithParent();
    void identifierTooLong();
    void hugeSizes_data();
    void hugeSizes();
    void childLargerThanParent();
    void cutHeader_data();
    void cutHeader();
    void deepNesting();
    void damageAnywhereAmongSiblings_data();
    void damageAnywhereAmongSiblings();
};

void TestContainerMkv::acceptsBySuffix_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("status");
    QTest::newRow("mkv") << "/tmp/movie.mkv" << int(Status::Success);
    QTest::newRow("upper-case webm") << "/tmp/movie.WEBM" << int(Status::Success);
    QTest::newRow("other suffix") << "/tmp/movie.bin" << int(Status::NotThisFormat);
    QTest::newRow("no dot") << "/tmp/movie" << int(Status::NotThisFormat);
    QTest::newRow("dot in a folder only") << "/tmp/clip.mkv/movie" << int(Status::NotThisFormat);
}

void TestContainerMkv::acceptsBySuffix()
{
    QFETCH(QString, fileName);
    QFETCH(int, status);
    ContainerMKV parser;
    // The files do not exist: the name alone decides.
    QCOMPARE(ContainerDriver::verify(parser, fileName), status);
}

void TestContainerMkv::ebmlHeader()
{
    ByteBuilder file;
    file.ebml(ebmlHeaderId, [](ByteBuilder &b) {
        b.ebmlUInt(0x4286, 1).ebmlUInt(0x42F7, 1).ebmlString(0x4282, "webm");
    });
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.sink.tree(),
             QStringLiteral("EBML@0+20\n"
                            "  id@0+4=EBML\n"
                            "  size@4+1=15\n"
                            "  EBMLVersion@5+4\n"
                            "    id@5+2=EBMLVersion\n"
                            "    size@7+1=1\n"
                            "    value@8+1=1\n"
                            "  EBMLReadVersion@9+4\n"
                            "    id@9+2=EBMLReadVersion\n"
                            "    size@11+1=1\n"
                            "    value@12+1=1\n"
                            "  DocType@13+7\n"
                            "    id@13+2=DocType\n"
                            "    size@15+1=4\n"
                            "    value@16+4=webm"));
    QCOMPARE(parse.outcome.firstFailure, int(Status::Success));
}

void TestContainerMkv::sizeFields_data()
{
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("value");
    QTest::newRow("one byte") << bytes({0x81}) << 1 << "1";
    QTest::newRow("two bytes") << bytes({0x40, 0x02}) << 2 << "2";
    QTest::newRow("eight bytes") << bytes({0x01, 0, 0, 0, 0, 0, 0, 0x03}) << 8 << "3";
    QTest::newRow("longer than needed") << bytes({0x10, 0, 0, 0x02}) << 4 << "2";
}

void TestContainerMkv::sizeFields()
{
    QFETCH(QByteArray, size);
    QFETCH(int, length);
    QFETCH(QString, value);
    QByteArray file = bytes({0x44, 0x89}) + size; // Duration
    file.append(QByteArray(value.toInt(), '\0'));
    MkvParse parse;
    parseMkvBytes(&parse, file);
    const ElementRecord *duration = group(parse, QStringLiteral("Duration"));
    const ElementRecord *sizeField = field(parse, duration, QStringLiteral("size"));
    QVERIFY(sizeField);
    QCOMPARE(sizeField->value, value);
    QCOMPARE(sizeField->offset, 2 * 8);
    QCOMPARE(sizeField->size, length * 8);
    QCOMPARE(duration->size, (2 + length + value.toInt()) * 8);
}

void TestContainerMkv::values_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value"); // null: no value field
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("status");

    const QString none;
    QTest::newRow("double") << element(0x4489, bytes({0x40, 0xE5, 0x6C, 0xE0, 0, 0, 0, 0}))
                            << "Duration" << "43879" << "" << 0;
    QTest::newRow("float shown with six digits") << element(0x4489, bytes({0x49, 0x96, 0xB4, 0x38}))
                                                 << "Duration" << "1.23457e+06" << "" << 0;
    QTest::newRow("float of 3 bytes") << element(0x4489, bytes({1, 2, 3})) << "Duration" << none << "" << 6;
    QTest::newRow("signed one byte") << element(0x537F, bytes({0xFF})) << "TrackOffset" << "-1" << "" << 0;
    QTest::newRow("signed eight bytes") << element(0xFB, QByteArray(8, '\xFF')) << "ReferenceBlock" << "-1" << "" << 0;
    QTest::newRow("date is signed") << element(0x4461, bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}))
                                    << "DateUTC" << "-2" << "" << 0;
    QTest::newRow("unsigned") << element(0x2AD7B1, bytes({0x0F, 0x42, 0x40})) << "TimecodeScale" << "1000000" << "" << 0;
    QTest::newRow("unsigned of no bytes") << element(0x9C, QByteArray()) << "FlagLacing" << "0" << "" << 0;
    QTest::newRow("unsigned of 9 bytes") << element(0x73C5, QByteArray(9, '\x01')) << "TrackUID" << none << "" << 6;
    QTest::newRow("signed of 9 bytes") << element(0xFB, QByteArray(9, '\x01')) << "ReferenceBlock" << none << "" << 6;
    QTest::newRow("string cut at zero") << element(0x4282, QByteArrayLiteral("webm\0\0")) << "DocType" << "webm" << "" << 0;
    QTest::newRow("utf-8") << element(0x4D80, QByteArrayLiteral("Gr\xC3\xBC\xC3\x9F" "e")) << "MuxingApp"
                           << QString::fromUtf8("Grüße") << "" << 0;
    QTest::newRow("binary as hex") << element(0x73A4, bytes({0x1A, 0x45, 0xDF})) << "SegmentUID" << "1a45df" << "" << 0;
    QTest::newRow("codec id") << element(0x86, QByteArrayLiteral("V_VP9\0")) << "CodecID" << "V_VP9" << "" << 0;
    QTest::newRow("file data") << element(0x465C, QByteArray(40, 'x')) << "FileData" << "" << "" << 0;
    QTest::newRow("track type subtitle") << element(trackType, bytes({17})) << "TrackType" << "17" << "subtitle" << 0;
    QTest::newRow("track type unknown") << element(trackType, bytes({5})) << "TrackType" << "5" << "unknown" << 0;
    QTest::newRow("display unit") << element(0x54B2, bytes({1})) << "DisplayUnit" << "1" << "centimeters" << 0;
    QTest::newRow("display unit unknown") << element(0x54B2, bytes({3})) << "DisplayUnit" << "3" << "unknown" << 0;
    // Cut by the end of the file: the bytes that exist, not a number made of them.
    QTest::newRow("unsigned cut") << bytes({0x2A, 0xD7, 0xB1, 0x83, 0x0F, 0x42}) << "TimecodeScale" << "0f42" << "" << 5;
    QTest::newRow("float cut") << bytes({0x44, 0x89, 0x88, 0x40, 0xE5}) << "Duration" << "40e5" << "" << 5;
    QTest::newRow("track timecode scale of 2 bytes") << element(0x23314F, bytes({0x3F, 0x80}))
                                                     << "iTrackTimecodeScale" << none << "" << 6;
}

void TestContainerMkv::values()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, description);
    QFETCH(int, status);
    MkvParse parse;
    parseMkvBytes(&parse, file);
    QCOMPARE(parse.outcome.firstFailure, status);
    const ElementRecord *owner = group(parse, name);
    QVERIFY(owner);
    const ElementRecord *valueField = field(parse, owner, QStringLiteral("value"));
    if (value.isNull()) {
        QVERIFY(!valueField);
        return;
    }
    QVERIFY(valueField);
    QCOMPARE(valueField->value, value);
    QCOMPARE(parse.sink.descriptions.value(valueField->id), description);
    // The field covers the element's whole data.
    QCOMPARE(valueField->offset + valueField->size, owner->offset + owner->size);
}

// A segment whose seek head points at its Info element, with the identifier the entry names and
// the position given: `shift` moves the position off the Info.
QByteArray seekingSegment(quint32 named, int shift)
{
    const auto seekHead = [named](int position) {
        return ByteBuilder().ebml(0x114D9B74, [&](ByteBuilder &h) {
            h.ebml(0x4DBB, [&](ByteBuilder &s) {
                s.ebml(0x53AB, [named](ByteBuilder &b) { b.u32be(named); }).ebmlUInt(0x53AC, quint64(position));
            });
        }).bytes();
    };
    const QByteArray head = seekHead(int(seekHead(0).size()) + shift);
    return ByteBuilder().ebml(segment, [&head](ByteBuilder &b) {
        b.raw(head).ebml(info, [](ByteBuilder &i) { i.ebmlUInt(0x2AD7B1, 1000000); });
    }).bytes();
}

void TestContainerMkv::readableValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("name");     // the first element of that name
    QTest::addColumn<QString>("readable"); // of its value field; of the group itself for a SimpleTag
    QTest::addColumn<QString>("notes");

    QTest::newRow("date at the origin") << element(0x4461, QByteArray(8, '\0')) << "DateUTC"
                                        << "2001-01-01 00:00:00.000000000 UTC" << "";
    QTest::newRow("date before the origin") << element(0x4461, QByteArray(8, '\xFF')) << "DateUTC"
                                            << "2000-12-31 23:59:59.999999999 UTC" << "";
    QTest::newRow("nanoseconds") << ByteBuilder().ebmlUInt(0x91, 3723040000000).bytes() << "ChapterTimeStart"
                                 << "1:02:03.040000000" << "";
    QTest::newRow("ticks at the default scale") << ByteBuilder().ebmlUInt(0xB3, 1500).bytes() << "CueTime"
                                                << "0:00:01.500000000" << "";
    QTest::newRow("ticks at another scale")
        << ByteBuilder().ebmlUInt(0x2AD7B1, 100000).ebmlUInt(0xB3, 15).bytes() << "CueTime"
        << "0:00:00.001500000" << "";
    QTest::newRow("negative ticks") << element(referenceBlock, bytes({0xFF, 0x9C})) << "ReferenceBlock"
                                    << "-0:00:00.100000000" << "";
    QTest::newRow("flag") << ByteBuilder().ebmlUInt(0x88, 1).bytes() << "FlagDefault" << "yes" << "";
    QTest::newRow("seek id") << element(0x53AB, bytes({0x15, 0x49, 0xA9, 0x66})) << "SeekID" << "SegmentInfo" << "";
    QTest::newRow("seek position") << seekingSegment(info, 0) << "SeekPosition" << "SegmentInfo at byte 24" << "";
    QTest::newRow("seek position at another element")
        << seekingSegment(tracks, 0) << "SeekPosition" << "SegmentInfo at byte 24"
        << "The seek entry names Tracks, but the element at byte 24 is SegmentInfo.";
    QTest::newRow("seek position past the end")
        << seekingSegment(info, 100) << "SeekPosition" << "past the end of the file"
        << "It points past the end of the file.";
    const QByteArray tag = ByteBuilder().ebml(0x1254C367, [](ByteBuilder &t) {
        t.ebml(0x7373, [](ByteBuilder &g) {
            g.ebml(0x67C8, [](ByteBuilder &s) { s.ebmlString(0x45A3, "TITLE").ebmlString(0x4487, "Fixture"); });
        });
    }).bytes();
    QTest::newRow("simple tag") << tag << "SimpleTag" << "TITLE = Fixture" << "";
    QTest::newRow("deprecated") << element(0x537F, bytes({0xFF})) << "TrackOffset" << ""
                                << "This element is deprecated: it is no longer part of the format.";
}

void TestContainerMkv::readableValues()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, name);
    QFETCH(QString, readable);
    QFETCH(QString, notes);
    MkvParse parse;
    parseMkvBytes(&parse, file);
    const ElementRecord *owner = group(parse, name);
    QVERIFY(owner);
    const ElementRecord *valueField = field(parse, owner, QStringLiteral("value"));
    QCOMPARE(valueField ? valueField->readable : owner->readable, readable);
    QCOMPARE(notesOf(parse, valueField ? valueField : owner) + notesOf(parse, owner), notes);
}

// What an element is, as the dictionary documents it, is its description; notes are for what the
// parser found in this file.
void TestContainerMkv::documentationIsADescription()
{
    MkvParse parse;
    parseMkvBytes(&parse, element(title, "A title"));
    const ElementRecord *owner = group(parse, QStringLiteral("Title"));
    QVERIFY(owner);
    QCOMPARE(parse.sink.descriptions.value(owner->id), QStringLiteral("Title of segment"));
    QVERIFY(parse.sink.notes.isEmpty());
}

// Only a master may have an unknown size: an unknown element with one is walked, and the next
// element of the segment's level ends it.
void TestContainerMkv::unknownSizeUnknownElement()
{
    ByteBuilder file;
    file.ebmlId(segment).raw(bytes({0xFF}));
    file.ebmlId(0x4DBC).raw(bytes({0xFF}));
    file.raw(element(voidId, "xy"));
    file.ebml(cluster, [](ByteBuilder &c) { c.ebmlUInt(timecode, 7); });
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    const ElementRecord *unknown = group(parse, QStringLiteral("0x4DBC"));
    QVERIFY(unknown);
    QCOMPARE(field(parse, unknown, QStringLiteral("id"))->value, QStringLiteral("0x4DBC"));
    QVERIFY(notesOf(parse, unknown).contains(QStringLiteral("Unknown element!")));
    QVERIFY(group(parse, QStringLiteral("Void")));
    const ElementRecord *clusterGroup = group(parse, QStringLiteral("Cluster"));
    QVERIFY(clusterGroup);
    QCOMPARE(clusterGroup->level, 1);
    QCOMPARE(parse.outcome.stopOffset, quint64(file.size()));
}

void TestContainerMkv::displayOptions_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("value"); // null: no value field
    QTest::addColumn<int>("valueBytes");
    QTest::addColumn<QString>("notes");

    const QByteArray junk = element(voidId, QByteArrayLiteral("pad\0\0\0"));
    const QByteArray unknown = element(0x4DBC, QByteArrayLiteral("ab\x01\x7F\x80z"));
    const QString none;
    QTest::newRow("void hidden") << junk << "" << none << 0 << "";
    QTest::newRow("void shown") << junk << "show_junk=1" << "pad" << 6 << "";
    QTest::newRow("unknown shown") << unknown << "" << "ab...z" << 6 << "Unknown element!";
    QTest::newRow("unknown clipped") << unknown << "display_limit=2" << "ab" << 2 << "Unknown element!";
    QTest::newRow("unknown hidden") << unknown << "show_unknown=0" << none << 0 << "Unknown element!";
    QTest::newRow("utf-8 clipped, field whole") << element(title, "Long title") << "display_limit=4" << "Long" << 10
                                                << "";
    QTest::newRow("binary clipped, field whole") << element(0x73A4, bytes({1, 2, 3, 4})) << "display_limit=2"
                                                 << "0102" << 4 << "";
}

void TestContainerMkv::displayOptions()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, options);
    QFETCH(QString, value);
    QFETCH(int, valueBytes);
    QFETCH(QString, notes);
    ParseOptions parsed;
    QString error;
    QVERIFY2(ParseOptions::fromString(options, &parsed, &error), qPrintable(error));
    MkvParse parse;
    parseMkvBytes(&parse, file, parsed);
    const ElementRecord *owner = &parse.sink.elements().front();
    QCOMPARE(notesOf(parse, owner), notes);
    const ElementRecord *valueField = field(parse, owner, QStringLiteral("value"));
    if (value.isNull()) {
        QVERIFY(!valueField);
        return;
    }
    QVERIFY(valueField);
    QCOMPARE(valueField->value, value);
    QCOMPARE(valueField->size, valueBytes * 8);
}

void TestContainerMkv::blockHeader_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("text");
    QTest::newRow("key frame") << 0x80 << "Keyframe. ";
    QTest::newRow("EBML lacing") << 0x06 << "EBML lacing. ";
    QTest::newRow("discardable") << 0x01 << "Discardable.";
    QTest::newRow("all") << 0x8F << "Keyframe. Invisible. EBML lacing. Discardable.";
    QTest::newRow("none") << 0x00 << "";
}

void TestContainerMkv::blockHeader()
{
    QFETCH(int, flags);
    QFETCH(QString, text);
    MkvParse parse;
    parseMkvBytes(&parse, element(simpleBlock, blockData(2, flags, 5, -2)));
    // The data of a laced block begin with its lace header, which the lacing tests cover.
    QVERIFY2(parse.sink.tree().startsWith(QStringLiteral("SimpleBlock@0+11\n"
                                                         "  id@0+1=SimpleBlock\n"
                                                         "  size@1+1=9\n"
                                                         "  TrackNumber@2+1=2\n"
                                                         "  Timecode@3+2=-2\n"
                                                         "  Flags@5+1=%1\n"
                                                         "  data@6+5").arg(flags)),
             qPrintable(parse.sink.tree()));
    const ElementRecord *flagField = parse.sink.find(QStringLiteral("Flags"));
    QCOMPARE(parse.sink.descriptions.value(flagField->id), text);
}

void TestContainerMkv::framesFollowTheTracks()
{
    ByteBuilder file;
    file.ebml(segment, [](ByteBuilder &s) {
        s.ebml(tracks, [](ByteBuilder &t) {
            // Type before number for the video track, the other order for the audio track.
            t.raw(trackEntryBytes({{trackType, 1}, {trackNumber, 1}}));
            t.raw(trackEntryBytes({{trackNumber, 2}, {trackType, 2}}));
        });
        s.ebml(cluster, [](ByteBuilder &c) {
            c.ebmlUInt(timecode, 0);
            c.raw(element(simpleBlock, blockData(1, 0x80, 7)));
            c.raw(element(simpleBlock, blockData(2, 0x80, 4)));
            c.raw(element(simpleBlock, blockData(1, 0x00, 5)));
            c.raw(element(simpleBlock, blockData(1, 0x00, 6)));
        });
    });
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.sink.streamRecords.size(), 2); // one per track entry
    QString frames;
    for (const FrameRecord &frame : parse.sink.frames)
        frames += QStringLiteral("%1.%2:%3%4 ").arg(frame.stream).arg(frame.number).arg(frame.size)
                      .arg(frame.keyFrame ? "K" : "");
    QCOMPARE(frames.trimmed(), QStringLiteral("0.0:7K 1.0:4K 0.1:5 0.2:6"));
    // The first frame's data follow its block header inside the cluster.
    const ElementRecord *firstBlock = group(parse, QStringLiteral("SimpleBlock"));
    QCOMPARE(parse.sink.frames[0].offset, quint64(firstBlock->offset / 8 + 2 + 4));
}

void TestContainerMkv::streamRecords_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("scale"); // TimecodeScale of the SegmentInfo, 0 for none
    QTest::addColumn<bool>("infoLast");
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint64>("timescale");
    QTest::newRow("video, default scale") << 1 << 0 << false << int(StreamRecord::Video) << quint64(1000);
    QTest::newRow("audio, scale first") << 2 << 100000 << false << int(StreamRecord::Audio) << quint64(10000);
    QTest::newRow("subtitle, scale after the tracks") << 17 << 1 << true << int(StreamRecord::Subtitle)
                                                      << quint64(1000000000);
    QTest::newRow("complex is other, rounded") << 3 << 3 << false << int(StreamRecord::Other) << quint64(333333333);
}

void TestContainerMkv::streamRecords()
{
    QFETCH(int, type);
    QFETCH(int, scale);
    QFETCH(bool, infoLast);
    QFETCH(int, kind);
    QFETCH(quint64, timescale);
    ByteBuilder infoBytes;
    if (scale != 0)
        infoBytes.ebml(info, [scale](ByteBuilder &i) { i.ebmlUInt(0x2AD7B1, quint64(scale)); });
    ByteBuilder file;
    file.ebml(segment, [&](ByteBuilder &s) {
        if (!infoLast)
            s.raw(infoBytes.bytes());
        s.ebml(tracks, [type](ByteBuilder &t) {
            t.ebml(trackEntry, [type](ByteBuilder &e) {
                e.ebmlUInt(trackNumber, 1).ebmlUInt(trackType, quint64(type)).ebmlString(0x86, "S_TEXT/UTF8");
            });
        });
        if (infoLast)
            s.raw(infoBytes.bytes());
    });
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.sink.streamRecords.size(), 1);
    const StreamRecord &stream = parse.sink.streamRecords.front();
    QCOMPARE(int(stream.kind), kind);
    QCOMPARE(stream.codec, QStringLiteral("S_TEXT/UTF8"));
    QCOMPARE(stream.timescale, timescale);
}

void TestContainerMkv::blockGroupKeyFrames_data()
{
    QTest::addColumn<bool>("referenced");
    QTest::newRow("alone: key frame") << false;
    QTest::newRow("with a reference") << true;
}

void TestContainerMkv::blockGroupKeyFrames()
{
    QFETCH(bool, referenced);
    ByteBuilder file;
    file.raw(element(tracks, trackEntryBytes({{trackNumber, 1}, {trackType, 1}})));
    file.ebml(cluster, [referenced](ByteBuilder &c) {
        c.ebml(blockGroup, [referenced](ByteBuilder &g) {
            // A Block has no key-frame bit of its own; what follows it decides.
            g.raw(element(block, blockData(1, 0x00, 9)));
            g.ebmlUInt(0x9B, 40); // BlockDuration
            if (referenced)
                g.raw(element(referenceBlock, bytes({0xFF})));
        });
    });
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.sink.frames.size(), size_t(1));
    QCOMPARE(parse.sink.frames[0].size, quint64(9));
    QCOMPARE(parse.sink.frames[0].keyFrame, !referenced);
}

void TestContainerMkv::tracksAfterClusters()
{
    ByteBuilder file;
    file.ebml(cluster, [](ByteBuilder &c) {
        c.raw(element(simpleBlock, blockData(1, 0x80, 3)));
        c.raw(element(simpleBlock, blockData(2, 0x80, 8)));
        c.raw(element(simpleBlock, blockData(1, 0x00, 4)));
    });
    file.ebml(tracks, [](ByteBuilder &t) {
        t.raw(trackEntryBytes({{trackNumber, 2}, {trackType, 2}}));
        t.raw(trackEntryBytes({{trackNumber, 1}, {trackType, 1}}));
    });
    file.ebml(cluster, [](ByteBuilder &c) { c.raw(element(simpleBlock, blockData(1, 0x00, 5))); });
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    // Each waits for its track's entry, which began the stream its frames belong to.
    QString frames;
    for (const FrameRecord &frame : parse.sink.frames)
        frames += QStringLiteral("%1.%2:%3 ").arg(frame.stream).arg(frame.number).arg(frame.size);
    QCOMPARE(frames.trimmed(), QStringLiteral("0.0:8 1.0:3 1.1:4 1.2:5"));
}

void TestContainerMkv::shortBlock()
{
    ByteBuilder file;
    file.raw(element(tracks, trackEntryBytes({{trackNumber, 1}, {trackType, 1}})));
    file.raw(element(simpleBlock, bytes({0x81, 0x00})));
    file.raw(element(simpleBlock, blockData(1, 0x80, 0)));
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.outcome.firstFailure, int(Status::UnexpectedEnd));
    const ElementRecord *cut = group(parse, QStringLiteral("SimpleBlock"));
    QCOMPARE(notesOf(parse, cut), QStringLiteral("2 bytes are missing: its fields need 4 bytes, but it holds 2."));
    QVERIFY(field(parse, cut, QStringLiteral("TrackNumber")));
    // The Timecode keeps the one byte the block holds; the Flags have none.
    QCOMPARE(field(parse, cut, QStringLiteral("Timecode"))->size, 8);
    QVERIFY(!field(parse, cut, QStringLiteral("Flags")));
    // The block after it, with a header and no data, is an empty frame.
    QCOMPARE(parse.sink.frames.size(), size_t(1));
    QCOMPARE(parse.sink.frames[0].size, quint64(0));
}

void TestContainerMkv::unknownSizes()
{
    // A live stream: Segment and Clusters of unknown size (all ones), one after the other.
    ByteBuilder file;
    file.ebmlId(segment).u8(0xFF);
    for (int i = 0; i < 3; ++i) {
        file.ebmlId(cluster).u8(0x01).u32be(0xFFFFFFFF).u16be(0xFFFF).u8(0xFF);
        file.ebmlUInt(timecode, quint64(i));
        file.raw(element(voidId, QByteArray(2, '\0')));
    }
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.outcome.stopOffset, quint64(file.size()));
    QString layout;
    for (const ElementRecord &record : parse.elements())
        layout += QStringLiteral("%1%2@%3+%4 ").arg(QString(record.level, QLatin1Char('.')), record.name)
                      .arg(record.offset / 8).arg(record.size / 8);
    QCOMPARE(layout.trimmed(), QStringLiteral("Segment@0+62 .Cluster@5+19 ..Timecode@17+3 ..Void@20+4 "
                                              ".Cluster@24+19 ..Timecode@36+3 ..Void@39+4 "
                                              ".Cluster@43+19 ..Timecode@55+3 ..Void@58+4"));
    QVERIFY(notesOf(parse, group(parse, QStringLiteral("Cluster"))).startsWith(QStringLiteral("The size is unknown")));
    // The size field shows what the file says.
    QCOMPARE(field(parse, group(parse, QStringLiteral("Segment")), QStringLiteral("size"))->value, QStringLiteral("127"));
}

void TestContainerMkv::unknownSizeEndsWithParent()
{
    ByteBuilder file;
    file.ebml(segment, [](ByteBuilder &s) {
        s.ebmlId(cluster).u8(0xFF);
        s.raw(element(voidId, QByteArray(3, '\0')));
    });
    file.raw(element(title, "after"));
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    const ElementRecord *clusterGroup = group(parse, QStringLiteral("Cluster"));
    const ElementRecord *segmentGroup = group(parse, QStringLiteral("Segment"));
    QCOMPARE(clusterGroup->offset + clusterGroup->size, segmentGroup->offset + segmentGroup->size);
    const ElementRecord *after = group(parse, QStringLiteral("Title"));
    QVERIFY(after);
    QCOMPARE(after->level, 0);
    QCOMPARE(parse.outcome.firstFailure, int(Status::Success));
}

void TestContainerMkv::identifierTooLong()
{
    // 0x08 announces a 5-byte identifier. It counts as none; the size is read in its place.
    ByteBuilder file;
    file.u8(0x08).u32be(0x00000002).text("ab");
    file.raw(element(title, "next"));
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.outcome.firstFailure, int(Status::TooLong));
    const ElementRecord &first = parse.sink.elements().front();
    // Named by the bytes its length marker claims.
    QCOMPARE(first.name, QStringLiteral("0x0800000002"));
    QCOMPARE(first.size, 7 * 8);
    QCOMPARE(notesOf(parse, &first), QStringLiteral("The identifier is longer than 4 bytes.\nUnknown element!"));
    QVERIFY(group(parse, QStringLiteral("Title")));
    QCOMPARE(parse.outcome.stopOffset, quint64(file.size()));
}

void TestContainerMkv::hugeSizes_data()
{
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<int>("status");
    QTest::newRow("eight bytes, 2^56 - 2") << bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE})
                                           << int(Status::UnexpectedEnd);
    QTest::newRow("first byte zero") << bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})
                                     << int(Status::TooLong);
}

void TestContainerMkv::hugeSizes()
{
    QFETCH(QByteArray, size);
    QFETCH(int, status);
    ByteBuilder file;
    file.ebmlId(segment).raw(size);
    file.raw(element(title, "inside"));
    file.raw(element(0x73A4, QByteArray(8, 'x')));
    // A binary element that claims far more than the file holds: nothing is allocated for it.
    file.ebmlId(0x73A4).raw(size).text("tail");
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.outcome.status, int(Status::Success));
    QCOMPARE(parse.outcome.firstFailure, status);
    QCOMPARE(parse.outcome.stopOffset, quint64(file.size()));
    const ElementRecord *segmentGroup = group(parse, QStringLiteral("Segment"));
    QCOMPARE(segmentGroup->size, file.size() * 8);
    QVERIFY(group(parse, QStringLiteral("Title")));
    const std::vector<ElementRecord> elements = parse.elements();
    const ElementRecord &last = elements.back();
    QCOMPARE(last.name, QStringLiteral("SegmentUID"));
    QCOMPARE(last.size, qint64(2 + 8 + 4) * 8);
    QCOMPARE(field(parse, &last, QStringLiteral("value"))->value, QStringLiteral("7461696c"));
}

void TestContainerMkv::childLargerThanParent()
{
    ByteBuilder file;
    file.ebml(segment, [](ByteBuilder &s) {
        s.ebmlId(info).ebmlSize(100); // claims 100 bytes; 5 are left in the Segment
        s.raw(element(title, "ab"));
    });
    file.raw(element(title, "after"));
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.outcome.firstFailure, int(Status::UnexpectedEnd));
    QCOMPARE(parse.outcome.failureElement, QStringLiteral("SegmentInfo"));
    const ElementRecord *segmentGroup = group(parse, QStringLiteral("Segment"));
    const ElementRecord *infoGroup = group(parse, QStringLiteral("SegmentInfo"));
    QCOMPARE(parse.outcome.failureOffset, quint64(infoGroup->offset / 8));
    QCOMPARE(infoGroup->offset + infoGroup->size, segmentGroup->offset + segmentGroup->size);
    QCOMPARE(notesOf(parse, infoGroup),
             QStringLiteral("95 bytes are missing: it claims 105 bytes, but its parent ends after 10."));
    // The Title inside the damaged SegmentInfo is still shown, and the one after the Segment.
    const std::vector<ElementRecord> elements = parse.elements();
    QCOMPARE(elements.size(), size_t(4));
    QCOMPARE(elements[2].name, QStringLiteral("Title"));
    QCOMPARE(elements[2].level, 2);
    QCOMPARE(elements[3].name, QStringLiteral("Title"));
    QCOMPARE(elements[3].level, 0);
}

void TestContainerMkv::cutHeader_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("note"); // of the cut field
    QTest::newRow("in the identifier") << bytes({0x2A, 0xD7}) << "0x2AD7@0+2\n  id@0+2=2ad7"
                                       << "1 bytes are missing: it claims 3 bytes, but the file ends after 2.";
    QTest::newRow("in the size") << bytes({0x2A, 0xD7, 0xB1, 0x40}) << "TimecodeScale@0+4\n  id@0+3=TimecodeScale\n  size@3+1=40"
                                 << "1 bytes are missing: it claims 2 bytes, but the file ends after 1.";
}

void TestContainerMkv::cutHeader()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, tree);
    QFETCH(QString, note);
    MkvParse parse;
    parseMkvBytes(&parse, file);
    QCOMPARE(parse.sink.tree(), tree);
    QCOMPARE(parse.sink.notes.value(parse.sink.elements().back().id), note);
    QCOMPARE(parse.outcome.firstFailure, int(Status::UnexpectedEnd));
    QCOMPARE(parse.outcome.stopOffset, quint64(file.size()));
}

void TestContainerMkv::deepNesting()
{
    // 10,000 Video elements, each inside the one before, with eight-byte sizes.
    constexpr int levels = 10000;
    const QByteArray innermost = element(title, "deep");
    ByteBuilder file;
    for (int i = 0; i < levels; ++i)
        file.ebmlId(video).ebmlSize(quint64(levels - 1 - i) * 9 + quint64(innermost.size()), 8);
    file.raw(innermost);
    file.raw(element(title, "after"));
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.outcome.status, int(Status::Success));
    QCOMPARE(parse.outcome.stopOffset, quint64(file.size()));
    int deepest = 0;
    for (const ElementRecord &record : parse.sink.elements())
        deepest = qMax(deepest, record.level);
    QVERIFY(deepest <= ContainerAbstract::maxDepth);
    bool noted = false;
    for (const QString &note : parse.sink.notes)
        noted = noted || note.contains(QStringLiteral("Nested too deeply"));
    QVERIFY(noted);
    const std::vector<ElementRecord> elements = parse.elements();
    const ElementRecord &last = elements.back();
    QCOMPARE(last.name, QStringLiteral("Title"));
    QCOMPARE(last.level, 0);
}

void TestContainerMkv::damageAnywhereAmongSiblings_data()
{
    QTest::addColumn<QByteArray>("damaged");
    QTest::addColumn<int>("position"); // among three siblings
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("name");

    // 0x08 announces a 5-byte identifier; the size is read in its place.
    const QByteArray longId = bytes({0x08, 0, 0, 0, 2}) + "ab";
    const QByteArray pastParent = ByteBuilder().ebmlId(title).ebmlSize(100).text("ab").bytes();
    const QByteArray shortFloat = element(0x4489, bytes({1, 2, 3}));
    for (int position = 0; position < 3; ++position) {
        const QByteArray at = QByteArray::number(position);
        QTest::newRow("identifier too long, " + at) << longId << position << int(Status::TooLong) << "0x0800000002";
        QTest::newRow("past its parent, " + at) << pastParent << position << int(Status::UnexpectedEnd) << "Title";
        QTest::newRow("float of 3 bytes, " + at) << shortFloat << position << int(Status::TooLong) << "Duration";
    }
}

void TestContainerMkv::damageAnywhereAmongSiblings()
{
    QFETCH(QByteArray, damaged);
    QFETCH(int, position);
    QFETCH(int, status);
    QFETCH(QString, name);
    // Good siblings before it, damaged ones after it: the first failure stays its own.
    QByteArray before;
    for (int i = 0; i < position; ++i)
        before += element(title, "fine");
    QByteArray after;
    for (int i = position + 1; i < 3; ++i)
        after += element(0x4489, bytes({1, 2}));
    ByteBuilder file;
    file.ebml(info, [&](ByteBuilder &i) { i.raw(before).raw(damaged).raw(after); });
    MkvParse parse;
    parseMkvBytes(&parse, file.bytes());
    QCOMPARE(parse.outcome.firstFailure, status);
    QCOMPARE(parse.outcome.failureElement, name);
    QCOMPARE(parse.outcome.failureOffset, quint64(file.size() - damaged.size() - after.size()));
    // All stays visible: the parent and every sibling, except those that an element running
    // past its parent swallows.
    const bool swallows = status == Status::UnexpectedEnd;
    QCOMPARE(qsizetype(parse.elements().size()), 1 + position + 1 + (swallows ? 0 : 2 - position));
}

QTEST_GUILESS_MAIN(TestContainerMkv)
#include "test_container_mkv.moc"
