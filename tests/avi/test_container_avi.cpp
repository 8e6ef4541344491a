// The AVI parser on files built byte by byte: the format check, the chunk walker, the header
// and index chunks, and damaged input of every kind.

#include "avi_parse.h"
#include "byte_builder.h"
#include "codec_tags.h"
#include "leftover_marker.h"
#include "status.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QtEndian>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace {

const QString garbage = QString::fromLatin1(leftoverMarker);

QByteArray mainHeaderBody(quint32 microSeconds, quint32 flags)
{
    ByteBuilder b;
    b.u32le(microSeconds).u32le(0).u32le(0).u32le(flags).u32le(10).u32le(0).u32le(1).u32le(0);
    b.u32le(64).u32le(48).u32le(1).u32le(2).u32le(3).u32le(4);
    return b.bytes();
}

QByteArray streamHeader(const char *type, quint32 scale, quint32 rate, quint32 length,
                        quint32 quality = 0xFFFFFFFFu, quint32 start = 0, const char *handler = "FMP4")
{
    ByteBuilder b;
    b.fourcc(type).fourcc(handler).u32le(0).u16le(0).u16le(0).u32le(0);
    b.u32le(scale).u32le(rate).u32le(start).u32le(length).u32le(0).u32le(quality).u32le(0);
    b.u16le(0).u16le(0).u16le(64).u16le(48);
    return b.bytes();
}

QByteArray bitmapInfo(qint32 width, qint32 height, quint32 compression)
{
    ByteBuilder b;
    b.u32le(40).u32le(quint32(width)).u32le(quint32(height)).u16le(1).u16le(24).u32le(compression);
    b.u32le(0).u32le(0).u32le(0).u32le(0).u32le(0);
    return b.bytes();
}

quint32 fourccValue(const char *code)
{
    return qFromLittleEndian<quint32>(code);
}

ByteBuilder::Body chunk(const char *id, const QByteArray &data)
{
    return [id, data](ByteBuilder &b) { b.riffChunk(id, [&](ByteBuilder &c) { c.raw(data); }); };
}

// A "hdrl" list with one stream per type given: "vids" streams at 25 frames/second with a
// 40-byte format, "auds" streams with an 18-byte PCM format.
void headerList(ByteBuilder &b, const QList<const char *> &types)
{
    b.riffList("LIST", "hdrl", [&](ByteBuilder &h) {
        h.riffChunk("avih", [](ByteBuilder &c) { c.raw(mainHeaderBody(40000, 0x10)); });
        for (const char *type : types) {
            h.riffList("LIST", "strl", [&](ByteBuilder &s) {
                if (qstrcmp(type, "vids") == 0) {
                    chunk("strh", streamHeader("vids", 1, 25, 3))(s);
                    chunk("strf", bitmapInfo(64, 48, fourccValue("XVID")))(s);
                } else {
                    chunk("strh", streamHeader(type, 1, 8000, 8000))(s);
                    s.riffChunk("strf", [](ByteBuilder &c) {
                        c.u16le(1).u16le(1).u32le(8000).u32le(16000).u16le(2).u16le(16).u16le(0);
                    });
                }
            });
        }
    });
}

struct IndexEntry
{
    const char *id;
    quint32 flags;
    quint32 offset;
    quint32 size;
};

QByteArray idx1(const QList<IndexEntry> &entries)
{
    ByteBuilder b;
    for (const IndexEntry &e : entries)
        b.fourcc(e.id).u32le(e.flags).u32le(e.offset).u32le(e.size);
    return b.bytes();
}

// Every registered frame as "stream:number:key", in the order registered.
QString frameList(AviParse &parse)
{
    QStringList frames;
    for (const FrameRecord &frame : parse.sink.frames)
        frames << QStringLiteral("%1:%2:%3").arg(frame.stream).arg(frame.number).arg(int(frame.keyFrame));
    return frames.join(QLatin1Char(' '));
}

// Lines of the compact tree, without the values.
QStringList treeLines(AviParse &parse)
{
    return parse.sink.tree(false).split(QLatin1Char('\n'));
}

} // namespace

class TestContainerAvi : public QObject
{
    Q_OBJECT

private slots:
    void formatCheck_data();
    void formatCheck();
    void standardLayout();
    void walker_data();
    void walker();
    void clipping_data();
    void clipping();
    void mainHeader();
    void streamHeaderTimes_data();
    void streamHeaderTimes();
    void videoFormat_data();
    void videoFormat();
    void audioFormat_data();
    void audioFormat();
    void bitmapExtras_data();
    void bitmapExtras();
    void streamHeaderExtra();
    void textChunks_data();
    void textChunks();
    void headerFixtures_data();
    void headerFixtures();
    void unknownStreamType();
    void streamKinds_data();
    void streamKinds();
    void videoProperties();
    void idx1Entries();
    void idx1StreamNumbers();
    void idx1Frames_data();
    void idx1Frames();
    void idx1UnlistedStream();
    void indx_data();
    void indx();
    void extensionRiff();
    void deepNesting();
    void damageAmongSiblings_data();
    void damageAmongSiblings();
    void strayBytes();
    void codecTable();
    void codecLookup_data();
    void codecLookup();
};

void TestContainerAvi::formatCheck_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");

    const auto file = [](const char *riff, const char *form, qsizetype lead, qsizetype total) {
        ByteBuilder b;
        b.zeros(lead).fourcc(riff).u32le(quint32(total - lead - 8)).fourcc(form);
        b.zeros(total - b.size());
        return b.bytes();
    };
    QTest::newRow("AVI") << file("RIFF", "AVI ", 0, 400) << 0;
    // The walker takes a list only under an upper-case "RIFF" with the form as it is spelled.
    QTest::newRow("lower-case riff") << file("riff", "AVI ", 0, 400) << 3;
    QTest::newRow("lower-case form") << file("RIFF", "avi ", 0, 400) << 3;
    QTest::newRow("RF64") << file("RF64", "AVI ", 0, 400) << 3;
    QTest::newRow("WAVE") << file("RIFF", "WAVE", 0, 400) << 3;
    QTest::newRow("leading bytes") << file("RIFF", "AVI ", 300, 8000) << 0;
    // In a block of 6144 bytes only the first 500 positions are looked at.
    QTest::newRow("RIFF too far in") << file("RIFF", "AVI ", 600, 8000) << 3;
    QTest::newRow("RIFF in the second block") << file("RIFF", "AVI ", 6144 + 100, 13000) << 0;
    QTest::newRow("shorter than 156 bytes") << file("RIFF", "AVI ", 0, 150) << 3;
    QTest::newRow("shorter than 12 bytes") << QByteArray("RIFF\4\0\0\0AVI", 11) << 3;
    QTest::newRow("no RIFF") << QByteArray(7000, 'x') << 3;
}

void TestContainerAvi::formatCheck()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/kestrune-avi-XXXXXX.avi"));
    QVERIFY(file.open());
    file.write(bytes);
    file.close();
    ContainerAVI parser;
    QCOMPARE(ContainerDriver::verify(parser, file.fileName()), status);
}

void TestContainerAvi::standardLayout()
{
    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [](ByteBuilder &r) {
        headerList(r, {"vids"});
        r.riffList("LIST", "movi", [](ByteBuilder &m) {
            chunk("00dc", QByteArray(10, 'v'))(m);
            chunk("strn", QByteArray(13, 'n'))(m);
            chunk("00dc", QByteArray(6, 'w'))(m);
        });
        chunk("idx1", idx1({{"00dc", 0x10, 4, 10}, {"00dc", 0, 44, 6}}))(r);
    });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QCOMPARE(parse.outcome.firstFailure, 0);
    QVERIFY(!parse.outcome.stalled);

    const QStringList lines = treeLines(parse);
    QCOMPARE(lines.mid(0, 5), (QStringList{"RIFF(AVI )@0+" + QString::number(b.size()), "  id@0+4", "  size@4+4",
                                           "  type@8+4", "  LIST(hdrl)@12+200"}));
    const QStringList top = lines.filter(QRegularExpression(QStringLiteral("^  \\S")));
    QCOMPARE(top, (QStringList{"  id@0+4", "  size@4+4", "  type@8+4", "  LIST(hdrl)@12+200", "  LIST(movi)@212+66",
                               "  idx1@278+40"}));
    // The 13-byte "strn" is shown with its pad byte, and the next chunk follows it.
    QVERIFY(lines.contains(QStringLiteral("    strn@242+22")));
    QVERIFY(lines.contains(QStringLiteral("      value@250+13")));
    QVERIFY(lines.contains(QStringLiteral("      pad@263+1")));
    QVERIFY(lines.contains(QStringLiteral("    00dc@264+14")));
    QCOMPARE(parse.value(QStringLiteral("strn"), QStringLiteral("size")), QStringLiteral("14"));
    QCOMPARE(parse.value(QStringLiteral("strn"), QStringLiteral("value")), QStringLiteral("nnnnnnnnnnnnn"));
    QCOMPARE(parse.value(QStringLiteral("RIFF(AVI )"), QStringLiteral("type")), QStringLiteral("AVI "));

    // idx1 offsets count from the "movi" type field; a frame's data follows its 8-byte header.
    QCOMPARE(parse.sink.frames.size(), size_t(2));
    QCOMPARE(parse.sink.frames[0].offset, quint64(212 + 8 + 4 + 8));
    QCOMPARE(parse.sink.frames[0].size, quint64(10));
    QVERIFY(parse.sink.frames[0].keyFrame);
    QCOMPARE(parse.sink.frames[1].offset, quint64(212 + 8 + 44 + 8));
    QCOMPARE(parse.sink.frames[1].number, quint64(1));
    QVERIFY(!parse.sink.frames[1].keyFrame);

    QCOMPARE(parse.sink.streamRecords.size(), 1);
    QCOMPARE(parse.sink.streamRecords[0].width, 64);
    QCOMPARE(parse.sink.streamRecords[0].codecId, 13);
    QCOMPARE(parse.sink.streamRecords[0].frameRate, 25.0);
    QCOMPARE(parse.shapeFault(b.size()), QString());
}

void TestContainerAvi::walker_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("tree");

    const auto build = [](const ByteBuilder::Body &body) {
        ByteBuilder b;
        body(b);
        return b.bytes();
    };
    QTest::newRow("three stray bytes before a chunk")
        << build([](ByteBuilder &b) { b.raw("\x01\x02\x03").riffChunk("JUNK", [](ByteBuilder &c) { c.text("ab"); }); })
        << QStringLiteral("%1@0+3\nJUNK@3+10\n  id@3+4=JUNK\n  size@7+4=2\n  value@11+2=ab").arg(garbage);
    QTest::newRow("stream data and index chunks")
        << build([](ByteBuilder &b) {
               for (const char *id : {"00dc", "01wb", "ix00", "00ix"})
                   b.riffChunk(id, [](ByteBuilder &c) { c.text("xy"); });
           })
        << QStringLiteral("00dc@0+10\n  id@0+4=00dc\n  size@4+4=2\n  value@8+2\n"
                          "01wb@10+10\n  id@10+4=01wb\n  size@14+4=2\n  value@18+2\n"
                          "ix00@20+10\n  id@20+4=ix00\n  size@24+4=2\n  value@28+2\n"
                          "00ix@30+10\n  id@30+4=00ix\n  size@34+4=2\n  value@38+2");
    QTest::newRow("unknown chunk")
        << build([](ByteBuilder &b) { b.fourcc("zzzz").u32le(5).text("hello"); })
        << QStringLiteral("zzzz@0+13\n  id@0+4=zzzz\n  size@4+4=5\n  value@8+5=hello");
    QTest::newRow("known chunk inside an unknown one: the walk picks up there")
        << build([](ByteBuilder &b) {
               b.fourcc("zzzz").u32le(30).text("....");
               b.riffChunk("JUNK", [](ByteBuilder &c) { c.text("ab"); });
               b.zeros(16);
           })
        << QStringLiteral("%1@0+12\nJUNK@12+10\n  id@12+4=JUNK\n  size@16+4=2\n  value@20+2=ab\n%1@22+16").arg(garbage);
    QTest::newRow("unknown id with size 0 is garbage")
        << build([](ByteBuilder &b) { b.fourcc("zzzz").u32le(0).riffChunk("JUNK", [](ByteBuilder &c) { c.text("ab"); }); })
        << QStringLiteral("%1@0+8\nJUNK@8+10\n  id@8+4=JUNK\n  size@12+4=2\n  value@16+2=ab").arg(garbage);
    QTest::newRow("empty chunk at the end")
        << build([](ByteBuilder &b) { b.riffChunk("JUNK", [](ByteBuilder &c) { c.text("ab"); }).riffChunk("00dc"); })
        << QStringLiteral("JUNK@0+10\n  id@0+4=JUNK\n  size@4+4=2\n  value@8+2=ab\n"
                          "00dc@10+8\n  id@10+4=00dc\n  size@14+4=0\n  value@18+0");
    QTest::newRow("empty INFO chunk")
        << build([](ByteBuilder &b) { b.riffChunk("IART"); })
        << QStringLiteral("IART@0+8\n  id@0+4=IART\n  size@4+4=0\n  value@8+0");
    QTest::newRow("fewer than 8 bytes left in a list")
        << build([](ByteBuilder &b) {
               b.riffList("LIST", "INFO", [](ByteBuilder &l) { l.riffChunk("ISFT", [](ByteBuilder &c) { c.text("ab"); }).text("tail"); });
           })
        << QStringLiteral("LIST(INFO)@0+26\n  id@0+4=LIST\n  size@4+4=18\n  type@8+4=INFO\n"
                          "  ISFT@12+10\n    id@12+4=ISFT\n    size@16+4=2\n    value@20+2=ab\n  %1@22+4")
               .arg(garbage);
    QTest::newRow("list type only")
        << build([](ByteBuilder &b) { b.riffList("LIST", "odml"); })
        << QStringLiteral("LIST(odml)@0+12\n  id@0+4=LIST\n  size@4+4=4\n  type@8+4=odml");
    QTest::newRow("odd-sized chunk and its pad byte")
        << build([](ByteBuilder &b) {
               b.riffChunk("JUNK", [](ByteBuilder &c) { c.text("abc"); });
               b.riffChunk("JUNK", [](ByteBuilder &c) { c.text("xy"); });
           })
        << QStringLiteral("JUNK@0+12\n  id@0+4=JUNK\n  size@4+4=4\n  value@8+3=abc\n  pad@11+1=0\n"
                          "JUNK@12+10\n  id@12+4=JUNK\n  size@16+4=2\n  value@20+2=xy");
    QTest::newRow("odd-sized chunk without its pad byte at the end of the file")
        << build([](ByteBuilder &b) { b.fourcc("JUNK").u32le(3).text("abc"); })
        << QStringLiteral("JUNK@0+11\n  id@0+4=JUNK\n  size@4+4=4\n  value@8+3=abc");
    QTest::newRow("odd-sized unknown chunk")
        << build([](ByteBuilder &b) { b.riffChunk("zzzz", [](ByteBuilder &c) { c.text("abc"); }).riffChunk("JUNK"); })
        << QStringLiteral("zzzz@0+12\n  id@0+4=zzzz\n  size@4+4=3\n  value@8+3=abc\n  pad@11+1=0\n"
                          "JUNK@12+8\n  id@12+4=JUNK\n  size@16+4=0\n  value@20+0");
    QTest::newRow("odd-sized list: its last chunk's pad byte is missing, its own follows")
        << build([](ByteBuilder &b) { b.fourcc("LIST").u32le(13).fourcc("INFO").fourcc("ISFT").u32le(1).text("a").u8(0); })
        << QStringLiteral("LIST(INFO)@0+22\n  id@0+4=LIST\n  size@4+4=14\n  type@8+4=INFO\n"
                          "  ISFT@12+9\n    id@12+4=ISFT\n    size@16+4=2\n    value@20+1=a\n  pad@21+1=0");
    QTest::newRow("INFO tags without a name are text chunks")
        << build([](ByteBuilder &b) {
               b.riffList("LIST", "INFO", [](ByteBuilder &l) { chunk("ILNG", QByteArray("English\0", 8))(l); l.riffChunk("IXYZ"); });
           })
        << QStringLiteral("LIST(INFO)@0+36\n  id@0+4=LIST\n  size@4+4=28\n  type@8+4=INFO\n"
                          "  ILNG@12+16\n    id@12+4=ILNG\n    size@16+4=8\n    value@20+8=English\n"
                          "  IXYZ@28+8\n    id@28+4=IXYZ\n    size@32+4=0\n    value@36+0");
    QTest::newRow("list shorter than its type")
        << build([](ByteBuilder &b) { b.fourcc("LIST").u32le(2).text("od"); })
        << QStringLiteral("LIST(od)@0+10\n  id@0+4=LIST\n  size@4+4=2\n  type@8+2=6f64");
}

void TestContainerAvi::walker()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, tree);
    AviParse parse;
    parseAviBytes(&parse, bytes);
    QCOMPARE(parse.sink.tree(), tree);
    QVERIFY(!parse.outcome.stalled);
    QCOMPARE(parse.outcome.stopOffset, quint64(bytes.size()));
}

void TestContainerAvi::clipping_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("range");
    QTest::addColumn<QString>("next");

    // A RIFF that claims more than the file holds: it ends with the file.
    ByteBuilder riff;
    riff.fourcc("RIFF").u32le(100000).fourcc("AVI ").riffChunk("JUNK", [](ByteBuilder &c) { c.zeros(4); });
    QTest::newRow("RIFF past the file") << riff.bytes() << "RIFF(AVI )" << "0+24" << "JUNK@12+12";

    // A chunk that claims more than its list: it ends with the list, the next list follows.
    ByteBuilder list;
    list.riffList("LIST", "INFO", [](ByteBuilder &l) { l.fourcc("ISFT").u32le(1000).text("abcd"); });
    list.riffList("LIST", "movi");
    QTest::newRow("chunk past its list") << list.bytes() << "ISFT" << "12+12" << "LIST(movi)@24+12";

    ByteBuilder unknown;
    unknown.riffList("LIST", "INFO", [](ByteBuilder &l) {
        l.riffChunk("JUNK", [](ByteBuilder &c) { c.zeros(40); }).fourcc("zzzz").u32le(40).text("abcdef");
    });
    unknown.riffChunk("JUNK", [](ByteBuilder &c) { c.text("........................................"); });
    QTest::newRow("unknown chunk past its list") << unknown.bytes() << "zzzz" << "60+14" << "JUNK@74+48";

    ByteBuilder file;
    file.riffChunk("JUNK", [](ByteBuilder &c) { c.text("ab"); }).fourcc("strn").u32le(0xFFFFFFFFu).text("abc");
    QTest::newRow("chunk past the file") << file.bytes() << "strn" << "10+11" << "";
}

void TestContainerAvi::clipping()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, range);
    QFETCH(QString, next);
    AviParse parse;
    parseAviBytes(&parse, bytes);
    QStringList lines;
    for (const QString &line : parse.sink.tree(false).split(QLatin1Char('\n')))
        lines << line.trimmed();
    QVERIFY2(lines.contains(name + QLatin1Char('@') + range), qPrintable(parse.sink.tree(false)));
    if (!next.isEmpty())
        QVERIFY2(lines.contains(next), qPrintable(parse.sink.tree(false)));
    const ElementRecord *chunk = parse.sink.find(name);
    QVERIFY(chunk);
    QVERIFY(parse.sink.notes.value(chunk->id).contains(QStringLiteral("claims")));
    QCOMPARE(parse.shapeFault(bytes.size()), QString());
    QVERIFY(!parse.outcome.stalled);
}

void TestContainerAvi::mainHeader()
{
    ByteBuilder b;
    b.riffChunk("avih", [](ByteBuilder &c) { c.raw(mainHeaderBody(40000, 0x910)).zeros(8); });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QCOMPARE(parse.readable("avih", "dwMicroSecPerFrame"), QStringLiteral("25 frames/second"));
    QCOMPARE(parse.readable("avih", "dwFlags"), QStringLiteral("AVIF_HASINDEX | AVIF_ISINTERLEAVED | AVIF_TRUSTCKTYPE"));
    QCOMPARE(parse.value("avih", "dwReserved"), QStringLiteral("1 2 3 4"));
    QVERIFY(parse.sink.tree().endsWith(QStringLiteral("\n  %1@64+8").arg(garbage)));

    // A header cut short: the fields past the chunk are left out, one partly inside shows its
    // bytes, the chunk says how many its fields lack, and the bytes after it stay its sibling's.
    ByteBuilder shortHeader;
    shortHeader.riffChunk("avih", [](ByteBuilder &c) { c.raw(mainHeaderBody(3, 0x20).left(22)); });
    shortHeader.riffChunk("JUNK", [](ByteBuilder &c) { c.u32le(0xFFFFFFFFu).zeros(60); });
    AviParse cut;
    parseAviBytes(&cut, shortHeader.bytes());
    QCOMPARE(cut.readable("avih", "dwMicroSecPerFrame"), QStringLiteral("333333 frames/second"));
    QCOMPARE(cut.readable("avih", "dwFlags"), QStringLiteral("AVIF_MUSTUSEINDEX"));
    QCOMPARE(cut.value("avih", "dwTotalFrames"), QStringLiteral("10"));
    QCOMPARE(cut.value("avih", "dwInitialFrames"), QStringLiteral("0000"));
    QVERIFY(cut.sink.notes.value(cut.field("avih", "dwInitialFrames")->id).startsWith(QStringLiteral("2 bytes are missing")));
    QCOMPARE(cut.value("avih", "dwStreams"), QStringLiteral("<missing>"));
    QCOMPARE(cut.sink.notes.value(cut.sink.find("avih")->id),
             QStringLiteral("34 bytes are missing: its fields need 56 bytes, but it holds 22."));
    QCOMPARE(cut.outcome.firstFailure, int(Status::UnexpectedEnd));
    QCOMPARE(cut.outcome.failureElement, QStringLiteral("avih"));
    QCOMPARE(cut.value("JUNK", "size"), QStringLiteral("64"));
    QCOMPARE(cut.shapeFault(shortHeader.size()), QString());

    ByteBuilder zero;
    zero.riffChunk("avih", [](ByteBuilder &c) { c.raw(mainHeaderBody(0, 0)); });
    AviParse none;
    parseAviBytes(&none, zero.bytes());
    QCOMPARE(none.readable("avih", "dwMicroSecPerFrame"), QString());
}

void TestContainerAvi::streamHeaderTimes_data()
{
    QTest::addColumn<quint32>("scale");
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<quint32>("start");
    QTest::addColumn<quint32>("length");
    QTest::addColumn<QString>("startText");
    QTest::addColumn<QString>("lengthText");

    QTest::newRow("one minute") << 1u << 25u << 0u << 1500u << "00:00:0.000" << "00:01:0.000";
    QTest::newRow("fractions") << 4u << 16u << 21u << 302u << "00:00:5.250" << "00:01:15.500";
    QTest::newRow("hours") << 1u << 1u << 0u << 3723u << "00:00:0.000" << "01:02:3.000";
    QTest::newRow("longest") << 1u << 1u << 0u << 0xFFFFFFFFu << "00:00:0.000" << "1193046:28:15.000";
    QTest::newRow("dwScale 0") << 0u << 25u << 10u << 1500u << "" << "";
    QTest::newRow("dwRate 0") << 1u << 0u << 0u << 1500u << "" << "";
}

void TestContainerAvi::streamHeaderTimes()
{
    QFETCH(quint32, scale);
    QFETCH(quint32, rate);
    QFETCH(quint32, start);
    QFETCH(quint32, length);
    ByteBuilder b;
    b.riffChunk("strh", [&](ByteBuilder &c) { c.raw(streamHeader("vids", scale, rate, length, 0, start)); });
    b.riffChunk("indx", [](ByteBuilder &c) { c.u16le(4).u8(0).u8(0).u32le(1).fourcc("00dc").zeros(12).u64le(0).u32le(0).u32le(50); });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QTEST(parse.readable("strh", "dwStart"), "startText");
    QTEST(parse.readable("strh", "dwLength"), "lengthText");
    QCOMPARE(parse.sink.streamRecords.size(), 1);
    const double frameRate = parse.sink.streamRecords[0].frameRate;
    QVERIFY(std::isfinite(frameRate));
    // The super index's durations are told in the same frame rate.
    if (scale == 0 || rate == 0) {
        QCOMPARE(frameRate, 0.0);
        QCOMPARE(parse.readable("index_entry", "dwDuration"), QString());
    } else {
        QCOMPARE(frameRate, double(rate) / scale);
        QVERIFY(!parse.readable("index_entry", "dwDuration").isEmpty());
    }
}

void TestContainerAvi::videoFormat_data()
{
    QTest::addColumn<quint32>("compression");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("codecId");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("codec");

    QTest::newRow("uncompressed") << 0u << "" << 14 << 3 << "BI_RGB";
    QTest::newRow("H264") << fourccValue("H264") << "H264" << 28 << 0 << "H264";
    QTest::newRow("bit fields") << 3u << "\x03" << 14 << 0 << "BI_BITFIELDS";
}

void TestContainerAvi::videoFormat()
{
    QFETCH(quint32, compression);
    ByteBuilder b;
    b.riffChunk("strh", [](ByteBuilder &c) { c.raw(streamHeader("vids", 1, 30, 0)); });
    b.riffChunk("strf", [&](ByteBuilder &c) { c.raw(bitmapInfo(320, -240, compression)); });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QTEST(parse.value("strf", "biCompression"), "text");
    QCOMPARE(parse.value("strf", "biHeight"), QStringLiteral("-240"));
    const ElementRecord *width = parse.field("strf", "biWidth");
    QVERIFY(width);
    QCOMPARE(parse.sink.descriptions.value(width->id), QStringLiteral("Width of image (in pixels)."));
    QCOMPARE(parse.sink.streamRecords.size(), 1);
    QCOMPARE(parse.sink.streamRecords[0].width, 320);
    QCOMPARE(parse.sink.streamRecords[0].height, -240);
    QTEST(parse.sink.streamRecords[0].codecId, "codecId");
    QTEST(parse.sink.streamRecords[0].format, "format");
    QTEST(parse.sink.streamRecords[0].codec, "codec");
    QCOMPARE(parse.sink.streamRecords[0].frameRate, 30.0);
    QCOMPARE(parse.count(garbage), 0);
}

void TestContainerAvi::audioFormat_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("codec");

    const QStringList always{"wFormatTag", "nChannels", "nSamplesPerSec", "nAvgBytesPerSec", "nBlockAlign"};
    ByteBuilder pcm;
    pcm.u16le(1).u16le(2).u32le(44100).u32le(176400).u16le(4).u16le(16);
    QTest::newRow("16 bytes") << pcm.bytes() << always + QStringList{"wBitsPerSample"} << "16" << "0x0001";
    QTest::newRow("18 bytes, no extra") << pcm.bytes() + QByteArray(2, '\0')
                                        << always + QStringList{"wBitsPerSample", "cbSize"} << "0" << "0x0001";
    // Shorter than a WAVEFORMAT: a member cut by the end of the chunk shows its bytes, the
    // members past it are left out.
    QTest::newRow("10 bytes") << pcm.bytes().left(10) << always.mid(0, 4) << "10b1" << "0x0001";

    ByteBuilder extensible;
    extensible.u16le(0xFFFE).u16le(2).u32le(48000).u32le(192000).u16le(4).u16le(16).u16le(22);
    extensible.u16le(16).u32le(3).u32le(1).u16le(0).u16le(0x10).raw(QByteArray::fromHex("800000aa00389b71"));
    QTest::newRow("extensible") << extensible.bytes()
                                << always + QStringList{"wBitsPerSample", "cbSize",
                                                        "wValidBitsPerSample,wSamplesPerBlock,wReserved",
                                                        "dwChannelMask", "SubFormat"}
                                << "{00000001-0000-0010-8000-00aa00389b71}" << "0xfffe";
    // cbSize claims more than the chunk holds: the extra field ends with the chunk.
    ByteBuilder claims;
    claims.u16le(0x2000).u16le(1).u32le(22050).u32le(4000).u16le(1).u16le(0).u16le(0xFFFF).text("abcd");
    QTest::newRow("cbSize past the chunk") << claims.bytes()
                                           << always + QStringList{"wBitsPerSample", "cbSize", "extradata"} << ""
                                           << "0x2000";
    // The codec's configuration: cbSize bytes after the format, or after the members of
    // WAVEFORMATEXTENSIBLE.
    ByteBuilder adpcm;
    adpcm.u16le(0x2).u16le(1).u32le(8000).u32le(4096).u16le(256).u16le(4).u16le(4).text("abcd");
    QTest::newRow("cbSize extradata") << adpcm.bytes() << always + QStringList{"wBitsPerSample", "cbSize", "extradata"}
                                      << "" << "0x0002";
    QTest::newRow("extensible with extradata")
        << extensible.bytes().left(16) + QByteArray("\x1a\0", 2) + extensible.bytes().mid(18) + "wxyz"
        << always + QStringList{"wBitsPerSample", "cbSize", "wValidBitsPerSample,wSamplesPerBlock,wReserved",
                                "dwChannelMask", "SubFormat", "extradata"}
        << "" << "0xfffe";
}

void TestContainerAvi::audioFormat()
{
    QFETCH(QByteArray, format);
    QFETCH(QStringList, fields);
    ByteBuilder b;
    b.riffChunk("strh", [](ByteBuilder &c) { c.raw(streamHeader("auds", 1, 1, 0)); });
    b.riffChunk("strf", [&](ByteBuilder &c) { c.raw(format); });
    b.riffChunk("JUNK", [](ByteBuilder &c) { c.zeros(40); });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    const ElementRecord *strf = parse.sink.find("strf");
    QVERIFY(strf);
    QStringList names;
    for (const ElementRecord &record : parse.sink.elements())
        if (record.parentId == strf->id)
            names << record.name;
    QCOMPARE(names, QStringList({"id", "size"}) + fields);
    QTEST(parse.value("strf", fields.last()), "last");
    QCOMPARE(parse.shapeFault(b.size()), QString());
    QCOMPARE(parse.sink.streamRecords.size(), 1);
    QCOMPARE(parse.sink.streamRecords[0].codecId, 0);
    QTEST(parse.sink.streamRecords[0].codec, "codec");
}

void TestContainerAvi::bitmapExtras_data()
{
    QTest::addColumn<quint16>("bitCount");
    QTest::addColumn<quint32>("headerSize");
    QTest::addColumn<quint32>("colorsUsed");
    QTest::addColumn<int>("extra");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("note");

    // The extra bytes follow the 40-byte structure; the layout lists what the format shows after
    // it, counted from the start of its data.
    QTest::newRow("biSize counts the configuration") << quint16(24) << 46u << 0u << 6 << "extradata@40+6" << "";
    QTest::newRow("configuration past biSize") << quint16(24) << 40u << 0u << 8 << "extradata@40+8" << "";
    QTest::newRow("odd-sized format") << quint16(32) << 41u << 0u << 1 << "extradata@40+1 pad@41+1" << "";
    QTest::newRow("no extra bytes") << quint16(8) << 40u << 0u << 0 << "" << "";
    QTest::newRow("biClrUsed colors") << quint16(8) << 40u << 4u << 16 << "palette@40+16" << "";
    QTest::newRow("2^biBitCount colors") << quint16(2) << 40u << 0u << 16 << "palette@40+16" << "";
    QTest::newRow("configuration before the palette") << quint16(1) << 44u << 0u << 12 << "extradata@40+4 palette@44+8" << "";
    QTest::newRow("palette larger than the chunk")
        << quint16(8) << 40u << 0u << 14 << "palette@40+14" << "256 colors (1024 bytes), but only 14";
    QTest::newRow("biClrUsed beyond biBitCount")
        << quint16(1) << 40u << 5u << 20 << "palette@40+8 GARBAGE@48+12" << "biClrUsed is 5";
    QTest::newRow("biSize past the chunk") << quint16(4) << 0xFFFFFFFFu << 0u << 8 << "extradata@40+8" << "biSize is 4294967295";
}

void TestContainerAvi::bitmapExtras()
{
    QFETCH(quint16, bitCount);
    QFETCH(quint32, headerSize);
    QFETCH(quint32, colorsUsed);
    QFETCH(int, extra);
    ByteBuilder b;
    b.riffChunk("strh", [](ByteBuilder &c) { c.raw(streamHeader("vids", 1, 25, 0)); });
    b.riffChunk("strf", [&](ByteBuilder &c) {
        c.u32le(headerSize).u32le(4).u32le(4).u16le(1).u16le(bitCount).u32le(0).u32le(0).u32le(0).u32le(0);
        c.u32le(colorsUsed).u32le(0);
        for (int i = 0; i < extra; ++i)
            c.u8(quint8(0x11 * i));
    });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    const ElementRecord *strf = parse.sink.find("strf");
    QVERIFY(strf);
    QStringList layout;
    bool after = false;
    for (const ElementRecord &record : parse.sink.elements()) {
        if (record.parentId == strf->id && after)
            layout << QStringLiteral("%1@%2+%3")
                          .arg(record.name == garbage ? QStringLiteral("GARBAGE") : record.name)
                          .arg(record.offset / 8 - 72)
                          .arg(record.size / 8);
        after = after || record.name == QLatin1String("biClrImportant");
    }
    QTEST(layout.join(QLatin1Char(' ')), "layout");
    QFETCH(QString, note);
    const QString notes = parse.sink.notes.value(strf->id);
    QVERIFY2(note.isEmpty() ? notes.isEmpty() : notes.contains(note), qPrintable(notes));
    // An RGBQUAD holds blue, green, red and a reserved byte.
    const ElementRecord *palette = parse.sink.find("palette");
    qint64 entries = 0;
    for (const ElementRecord &record : parse.sink.elements()) {
        // An entry cut by the end of the chunk shows the bytes it has.
        if (record.name != QLatin1String("RGBQUAD") || record.size < 32)
            continue;
        QVERIFY(palette);
        QCOMPARE(record.parentId, palette->id);
        QCOMPARE(record.index, entries++);
        QByteArray rgb = b.bytes().mid(record.offset / 8, 3);
        std::reverse(rgb.begin(), rgb.end());
        QCOMPARE(record.readable, QStringLiteral("#") + QString::fromLatin1(rgb.toHex()));
    }
    QCOMPARE(entries, palette ? palette->size / 32 : 0);
    QCOMPARE(parse.outcome.firstFailure, note.contains(QLatin1String("only")) ? int(Status::UnexpectedEnd) : 0);
    QCOMPARE(parse.shapeFault(b.size()), QString());
}

void TestContainerAvi::streamHeaderExtra()
{
    ByteBuilder b;
    b.riffChunk("strh", [](ByteBuilder &c) { c.raw(streamHeader("vids", 1, 25, 0)).zeros(8); });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QVERIFY(parse.sink.tree(false).endsWith(QStringLiteral("\n    bottom@62+2\n  extra@64+8")));
    QCOMPARE(parse.count(garbage), 0);
}

void TestContainerAvi::textChunks_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("readable");

    QTest::newRow("artist") << QByteArray("INFO") << QByteArray("IART") << QByteArray("Some Artist", 12) << "Some Artist" << "Artists";
    QTest::newRow("text ends at its zero byte")
        << QByteArray("INFO") << QByteArray("ISFT") << QByteArray("Lavf\0junk", 9) << "Lavf" << "Creating software";
    QTest::newRow("tag without a name") << QByteArray("INFO") << QByteArray("ILNG") << QByteArray("English") << "English" << "";
    QTest::newRow("not an I tag") << QByteArray("INFO") << QByteArray("abcd") << QByteArray("text") << "text" << "";
    QTest::newRow("Latin-1") << QByteArray("INFO") << QByteArray("ICMT") << QByteArray("caf\xe9") << "caf\u00e9" << "Comments";
    QTest::newRow("UTF-8") << QByteArray("INFO") << QByteArray("INAM") << QByteArray("caf\xc3\xa9") << "caf\u00e9" << "Title";
    QTest::newRow("long text: its beginning") << QByteArray("INFO") << QByteArray("ICMT") << QByteArray(1000, 'a')
                                              << QString(256, QLatin1Char('a')) << "Comments";
    QTest::newRow("stream name") << QByteArray("strl") << QByteArray("strn") << QByteArray("Video name", 11) << "Video name"
                                 << "Name of stream";
}

void TestContainerAvi::textChunks()
{
    QFETCH(QByteArray, list);
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, data);
    ByteBuilder b;
    b.riffList("LIST", list.constData(), [&](ByteBuilder &l) {
        chunk(id.constData(), data)(l);
        chunk("JUNK", "after")(l);
    });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    const QString name = QString::fromLatin1(id);
    QTEST(parse.value(name, "value"), "value");
    QTEST(parse.sink.find(name)->readable, "readable");
    QCOMPARE(parse.value("JUNK", "value"), QStringLiteral("after"));
    QCOMPARE(parse.count(garbage), 0);
    QCOMPARE(parse.shapeFault(b.size()), QString());
}

void TestContainerAvi::headerFixtures_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("HuffYUV") << "hdr_huffyuv.avi";
    QTest::newRow("8-bit palette") << "hdr_pal8.avi";
    QTest::newRow("INFO tags, stream name, cbSize") << "hdr_info.avi";
}

void TestContainerAvi::headerFixtures()
{
    // What ffprobe read of the same files: each stream's codec configuration, the tags.
    QFETCH(QString, name);
    const QString path = QStringLiteral(KESTRUNE_FIXTURES "/avi/") + name;
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QFile probe(path + QStringLiteral(".probe.csv"));
    QVERIFY(probe.open(QIODevice::ReadOnly));
    QStringList expected = QString::fromUtf8(probe.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1);

    ContainerAVI parser;
    QCOMPARE(ContainerDriver::verify(parser, path), 0);
    AviParse parse;
    parseAviBytes(&parse, bytes);
    QCOMPARE(parse.outcome.firstFailure, 0);
    QCOMPARE(parse.count(garbage), 0);
    QCOMPARE(parse.shapeFault(bytes.size()), QString());

    // The configuration is what a format shows after its structure: extra bytes or a palette.
    const std::vector<ElementRecord> &all = parse.sink.elements();
    const auto parentOf = [&](const ElementRecord &record) -> const ElementRecord & { return all[size_t(record.parentId - 1)]; };
    QMap<int, QByteArray> configurations;
    QStringList seen;
    int stream = -1;
    for (const ElementRecord &record : all) {
        stream += record.name == QLatin1String("strh");
        if (record.parentId == 0)
            continue;
        const ElementRecord &parent = parentOf(record);
        if (parent.name == QLatin1String("strf")
            && (record.name == QLatin1String("extradata") || record.name == QLatin1String("palette")))
            configurations[stream] += bytes.mid(record.offset / 8, record.size / 8).toHex();
        if (record.name == QLatin1String("value") && parent.name == QLatin1String("strn"))
            seen << QStringLiteral("tag,%1,%2").arg(stream).arg(record.value);
        if (record.name == QLatin1String("value") && parent.parentId != 0
            && parentOf(parent).name == QLatin1String("LIST(INFO)"))
            seen << QStringLiteral("tag,format,") + record.value;
    }
    for (auto it = configurations.cbegin(); it != configurations.cend(); ++it)
        seen << QStringLiteral("extradata,%1,%2").arg(it.key()).arg(QString::fromLatin1(it.value()));
    seen.sort();
    expected.sort();
    QCOMPARE(seen, expected);
}

void TestContainerAvi::unknownStreamType()
{
    // A stream of a kind without a decoded format: its "strf" is not read as the previous
    // stream's video format.
    ByteBuilder b;
    b.riffChunk("strh", [](ByteBuilder &c) { c.raw(streamHeader("vids", 1, 25, 0)); });
    b.riffChunk("strf", [](ByteBuilder &c) { c.raw(bitmapInfo(64, 48, 0)); });
    b.riffChunk("strh", [](ByteBuilder &c) { c.raw(streamHeader("iavs", 1, 25, 0)); });
    b.riffChunk("strf", [](ByteBuilder &c) { c.zeros(32); });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QCOMPARE(parse.count("biSize"), 1);
    QVERIFY(parse.sink.tree(false).endsWith(QStringLiteral("strf@176+40\n  id@176+4\n  size@180+4\n  value@184+32")));
    QCOMPARE(parse.sink.streamRecords.size(), 2);
    QCOMPARE(parse.sink.streamRecords[1].width, 0);
}

void TestContainerAvi::streamKinds_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("codec");

    // The handler is "DXSB"; the format names the codec of video and audio streams.
    QTest::newRow("video") << QByteArray("vids") << int(StreamRecord::Video) << "XVID";
    QTest::newRow("audio") << QByteArray("auds") << int(StreamRecord::Audio) << "0x0001";
    QTest::newRow("subtitles") << QByteArray("txts") << int(StreamRecord::Subtitle) << "DXSB";
    QTest::newRow("MIDI") << QByteArray("mids") << int(StreamRecord::Other) << "DXSB";
    QTest::newRow("unknown type") << QByteArray("iavs") << int(StreamRecord::Other) << "DXSB";
}

void TestContainerAvi::streamKinds()
{
    QFETCH(QByteArray, type);
    ByteBuilder b;
    b.riffChunk("strh", [&](ByteBuilder &c) { c.raw(streamHeader(type.constData(), 2, 48000, 0, 0, 0, "DXSB")); });
    if (type == "vids")
        chunk("strf", bitmapInfo(64, 48, fourccValue("XVID")))(b);
    else if (type == "auds")
        b.riffChunk("strf", [](ByteBuilder &c) { c.u16le(1).u16le(1).u32le(8000).u32le(16000).u16le(2).u16le(16); });
    else
        chunk("strf", QByteArray(8, 'f'))(b);
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QCOMPARE(parse.sink.streamRecords.size(), 1);
    const StreamRecord &stream = parse.sink.streamRecords[0];
    QTEST(int(stream.kind), "kind");
    QTEST(stream.codec, "codec");
    // Frame times count dwScale ticks of 1 / dwRate seconds.
    QCOMPARE(stream.timescale, quint64(48000));
}

void TestContainerAvi::videoProperties()
{
    ByteBuilder b;
    b.riffChunk("vprp", [](ByteBuilder &c) {
        c.u32le(0).u32le(0).u32le(25).u32le(64).u32le(48).u32le(0x00100009).u32le(64).u32le(48);
        c.u32le(0xFFFFFFFFu); // nbFieldsPerFrame: far more than the chunk holds
        for (int i = 0; i < 8; ++i)
            c.u32le(quint32(i));
        c.zeros(20);
    });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QCOMPARE(parse.readable("vprp", "dwFrameAspectRatio"), QStringLiteral("16:9"));
    // One whole field description and one cut short by the end of the chunk.
    QCOMPARE(parse.count("FieldFrameInfo"), 2);
    QCOMPARE(parse.value("FieldFrameInfo", "VideoYValidStartLine"), QStringLiteral("7"));
    QVERIFY(parse.sink.notes.value(parse.sink.find("vprp")->id).contains(QStringLiteral("4294967295")));
    QVERIFY(parse.sink.tree(false).contains(QStringLiteral("\n  FieldFrameInfo@76+20\n")));
    QCOMPARE(parse.count(garbage), 0);
    QCOMPARE(parse.shapeFault(b.size()), QString());
}

void TestContainerAvi::idx1Entries()
{
    ByteBuilder b;
    b.riffChunk("idx1", [](ByteBuilder &c) {
        c.raw(idx1({{"00db", 0x110, 4, 0}, {"01wb", 0x10, 20, 0}})).text("xyz");
    });
    b.riffChunk("idx1", [](ByteBuilder &c) { c.raw(idx1({{"02pc", 0x0FFF0001, 0, 0}})); });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QCOMPARE(parse.sink.tree(false).split(QLatin1Char('\n')).mid(0, 16),
             (QStringList{"idx1@0+44", "  id@0+4", "  size@4+4", "  idx1_entry@8+16", "    chunk_id@8+4", "    Flags@12+4",
                          "    Offset@16+4", "    Size@20+4", "  idx1_entry@24+16", "    chunk_id@24+4",
                          "    Flags@28+4", "    Offset@32+4", "    Size@36+4", "  " + garbage + "@40+3",
                          "  pad@43+1", "idx1@44+24"}));
    QCOMPARE(parse.sink.find("idx1_entry")->index, qint64(0));
    const std::vector<ElementRecord> &all = parse.sink.elements();
    QStringList flags;
    for (const ElementRecord &record : all)
        if (record.name == QLatin1String("Flags"))
            flags << record.readable;
    QCOMPARE(flags, (QStringList{"AVIIF_KEYFRAMEAVIIF_NOTIME", "", "AVIIF_LISTAVIIF_COMPUSE"}));
    // The size field shows the padded size; the garbage covers the 3 stray bytes, the pad byte
    // follows them.
    QCOMPARE(parse.value("idx1", "size"), QStringLiteral("36"));
    QCOMPARE(parse.outcome.firstFailure, 0);
}

void TestContainerAvi::idx1StreamNumbers()
{
    // Index entries name streams by their position among all streams, so the video stream of a
    // file whose audio comes first is stream 01, and a second video stream is 02.
    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [](ByteBuilder &r) {
        headerList(r, {"auds", "vids", "vids"});
        r.riffList("LIST", "movi");
        chunk("idx1", idx1({{"00wb", 0x10, 4, 10}, {"01dc", 0x10, 22, 10}, {"02dc", 0x10, 40, 10}, {"01dc", 0, 58, 10}}))(r);
    });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QCOMPARE(parse.outcome.firstFailure, 0);
    QCOMPARE(frameList(parse), QStringLiteral("0:0:1 1:0:1 2:0:1 1:1:0"));
    QCOMPARE(parse.sink.streamRecords.size(), 3);
    QCOMPARE(parse.sink.streamRecords[0].width, 0);
    QCOMPARE(parse.sink.streamRecords[1].width, 64);
    QCOMPARE(parse.sink.streamRecords[2].codecId, 13);
}

void TestContainerAvi::idx1Frames_data()
{
    QTest::addColumn<QByteArray>("entries");
    QTest::addColumn<QString>("frames");
    QTest::addColumn<int>("notes");

    // Stream 00 is video, stream 01 audio.
    QTest::newRow("audio chunks are key frames whatever their flags")
        << idx1({{"00dc", 0x10, 4, 10}, {"01wb", 0, 22, 10}, {"01wb", 0x10, 40, 10}, {"00dc", 0, 58, 10}})
        << "0:0:1 1:0:1 1:1:1 0:1:0" << 0;
    QTest::newRow("empty chunks are no frames")
        << idx1({{"01wb", 0x10, 4, 0}, {"00dc", 0x10, 12, 0}, {"01wb", 0x10, 20, 10}}) << "1:0:1" << 0;
    QTest::newRow("palette changes and lists are no frames")
        << idx1({{"00pc", 0, 4, 10}, {"rec ", 0x1, 22, 30}, {"00dc", 0x10, 30, 10}}) << "0:0:1" << 0;
    // The index goes on after them, and says so once.
    QTest::newRow("streams the file does not have")
        << idx1({{"05wb", 0x10, 4, 10}, {"zzwb", 0x10, 22, 10}, {"01wb", 0x10, 40, 10}, {"07pc", 0, 58, 4}})
        << "1:0:1" << 1;
}

void TestContainerAvi::idx1Frames()
{
    QFETCH(QByteArray, entries);
    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [&](ByteBuilder &r) {
        headerList(r, {"vids", "auds"});
        r.riffList("LIST", "movi");
        chunk("idx1", entries)(r);
    });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QCOMPARE(parse.outcome.firstFailure, 0);
    QTEST(frameList(parse), "frames");
    const QString notes = parse.sink.notes.value(parse.sink.find("idx1")->id);
    QTEST(int(notes.count(QStringLiteral("does not have"))), "notes");
    QVERIFY(notes.isEmpty() || notes.contains(QStringLiteral("Entry 0 names stream 05")));
}

void TestContainerAvi::idx1UnlistedStream()
{
    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [](ByteBuilder &r) {
        headerList(r, {"vids"});
        r.riffList("LIST", "movi");
        chunk("idx1", idx1({{"00dc", 0x10, 4, 10}, {"05dc", 0x10, 22, 10}, {"00dc", 0, 40, 10}}))(r);
        r.riffChunk("JUNK");
    });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    // The walk of the index stops at the stream it does not know; the rest is garbage, and the
    // chunks after the index are still shown.
    QCOMPARE(parse.sink.frames.size(), size_t(1));
    QCOMPARE(parse.count("idx1_entry"), 2);
    QVERIFY(parse.sink.tree(false).contains(QStringLiteral("  %1@").arg(garbage)));
    const ElementRecord *index = parse.sink.find("idx1");
    QVERIFY(parse.sink.notes.value(index->id).contains(QStringLiteral("05")));
    QCOMPARE(parse.count("JUNK"), 1);
    QCOMPARE(parse.shapeFault(b.size()), QString());

    // Without stream headers no video stream is listed at all.
    ByteBuilder bare;
    chunk("idx1", idx1({{"00dc", 0x10, 4, 10}}))(bare);
    AviParse none;
    parseAviBytes(&none, bare.bytes());
    QCOMPARE(none.outcome.firstFailure, int(Status::NotVideoStream));
    QVERIFY(none.sink.frames.empty());
}

void TestContainerAvi::indx_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QString>("garbageRange");
    QTest::addColumn<QString>("readable");

    const auto header = [](quint16 longs, quint8 type, quint32 count, ByteBuilder &b) {
        b.u16le(longs).u8(0).u8(type).u32le(count).fourcc("00dc");
    };
    ByteBuilder super;
    header(4, 0, 2, super);
    super.zeros(12).u64le(5000).u32le(300).u32le(50).u64le(9000).u32le(300).u32le(25).zeros(32);
    // The slots it reserves past nEntriesInUse are unused, not garbage.
    QTest::newRow("super index") << super.bytes() << 2 << "" << "00:00:2.000";

    ByteBuilder standard;
    header(2, 1, 2, standard);
    standard.u64le(100000).u32le(0).u32le(8).u32le(0x80001000u).u32le(16).u32le(0x00001000u);
    QTest::newRow("standard index") << standard.bytes() << 2 << "" << "4096";

    ByteBuilder zeroLongs;
    header(0, 1, 0xFFFFFFFFu, zeroLongs);
    zeroLongs.zeros(12).zeros(64);
    QTest::newRow("wLongsPerEntry 0") << zeroLongs.bytes() << 0 << "24+64" << "<missing>";

    ByteBuilder billions;
    header(2, 1, 3000000000u, billions);
    billions.u64le(0).u32le(0).u32le(8).u32le(0x10).u32le(16).u32le(0x20).text("abcd");
    QTest::newRow("nEntriesInUse in the billions") << billions.bytes() << 2 << "40+4" << "16 (Key frame)";

    ByteBuilder unknownType;
    header(2, 0x80, 2, unknownType);
    unknownType.zeros(12).zeros(16);
    QTest::newRow("unknown index type") << unknownType.bytes() << 0 << "24+16" << "<missing>";

    ByteBuilder headerOnly;
    headerOnly.u16le(4).u8(0);
    QTest::newRow("shorter than its header") << headerOnly.bytes() << 0 << "" << "<missing>";
}

void TestContainerAvi::indx()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, garbageRange);
    ByteBuilder b;
    b.riffChunk("strh", [](ByteBuilder &c) { c.raw(streamHeader("vids", 1, 25, 0)); });
    b.riffChunk("indx", [&](ByteBuilder &c) { c.raw(data); });
    b.riffChunk("JUNK", [](ByteBuilder &c) { c.text("after"); });
    QElapsedTimer timer;
    timer.start();
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QVERIFY(timer.elapsed() < 2000);
    QTEST(parse.count("index_entry"), "entries");
    QString tail;
    const ElementRecord *index = parse.sink.find("indx");
    QVERIFY(index);
    for (const ElementRecord &record : parse.sink.elements())
        if (record.parentId == index->id && record.name == garbage)
            tail = QStringLiteral("%1+%2").arg(record.offset / 8 - index->offset / 8 - 8).arg(record.size / 8);
    QCOMPARE(tail, garbageRange);
    QString readable = parse.readable("index_entry", "dwDuration");
    if (readable == QLatin1String("<missing>"))
        readable = parse.readable("index_entry", "dwSize");
    QTEST(readable, "readable");
    QCOMPARE(parse.count("JUNK"), 1);
    QCOMPARE(parse.shapeFault(b.size()), QString());
}

void TestContainerAvi::extensionRiff()
{
    // An OpenDML file continues after its first RIFF with RIFF(AVIX) parts, each with a movi
    // list of its own and standard index chunks in it.
    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [](ByteBuilder &r) {
        headerList(r, {"vids"});
        r.riffList("LIST", "movi", [](ByteBuilder &m) { chunk("00dc", QByteArray(10, 'a'))(m); });
        chunk("idx1", idx1({{"00dc", 0x10, 4, 10}}))(r);
    });
    const qsizetype second = b.size();
    b.riffList("RIFF", "AVIX", [](ByteBuilder &r) {
        r.riffList("LIST", "movi", [](ByteBuilder &m) {
            chunk("00dc", QByteArray(7, 'b'))(m);
            m.riffChunk("ix00", [](ByteBuilder &c) {
                c.u16le(2).u8(0).u8(1).u32le(1).fourcc("00dc").u64le(0).u32le(0).u32le(8).u32le(7);
            });
        });
    });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    const QStringList top = parse.sink.tree(false).split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^\\S")));
    QCOMPARE(top, (QStringList{QStringLiteral("RIFF(AVI )@0+%1").arg(second),
                               QStringLiteral("RIFF(AVIX)@%1+%2").arg(second).arg(b.size() - second)}));
    QVERIFY(parse.sink.tree(false).contains(QStringLiteral("\n    ix00@%1+40\n").arg(second + 12 + 12 + 16)));
    QCOMPARE(parse.count("LIST(movi)"), 2);
    QCOMPARE(parse.sink.frames.size(), size_t(1));
    QCOMPARE(parse.outcome.stopOffset, quint64(b.size()));
    QCOMPARE(parse.shapeFault(b.size()), QString());

    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/kestrune-avi-XXXXXX.avi"));
    QVERIFY(file.open());
    file.write(b.bytes().mid(second) + QByteArray(200, '\0'));
    file.close();
    ContainerAVI parser;
    QCOMPARE(ContainerDriver::verify(parser, file.fileName()), 0);
}

void TestContainerAvi::deepNesting()
{
    // RIFF in RIFF 10,000 deep: the walk stops descending at the depth limit and ends.
    const int levels = 10000;
    QByteArray bytes;
    bytes.reserve(levels * 12 + 10);
    for (int i = 0; i < levels; ++i) {
        ByteBuilder header;
        header.fourcc(i % 2 ? "LIST" : "RIFF").u32le(quint32((levels - i) * 12 - 8 + 10)).fourcc("AVI ");
        bytes += header.bytes();
    }
    ByteBuilder inner;
    inner.riffChunk("JUNK", [](ByteBuilder &c) { c.text("ab"); });
    bytes += inner.bytes();
    QElapsedTimer timer;
    timer.start();
    AviParse parse;
    parseAviBytes(&parse, bytes);
    QVERIFY(timer.elapsed() < 5000);
    int deepest = 0;
    for (const ElementRecord &record : parse.sink.elements())
        deepest = qMax(deepest, record.level);
    QVERIFY(deepest <= ContainerAbstract::maxDepth + 2);
    QVERIFY(deepest >= ContainerAbstract::maxDepth);
    QVERIFY(!parse.outcome.stalled);
    QCOMPARE(parse.outcome.stopOffset, quint64(bytes.size()));
    bool noted = false;
    for (const QString &note : std::as_const(parse.sink.notes))
        noted = noted || note.contains(QStringLiteral("too deep"));
    QVERIFY(noted);
}

void TestContainerAvi::damageAmongSiblings_data()
{
    QTest::addColumn<QByteArray>("damaged");
    QTest::addColumn<int>("place");
    QTest::addColumn<QString>("element");
    QTest::addColumn<int>("status");

    const auto bytes = [](const ByteBuilder::Body &body) {
        ByteBuilder b;
        body(b);
        return b.bytes();
    };
    const QList<std::tuple<const char *, QByteArray, QString, int>> damages{
        {"truncated strh", bytes(chunk("strh", streamHeader("vids", 1, 25, 3).left(30))), "strh", Status::UnexpectedEnd},
        {"list shorter than its type", bytes([](ByteBuilder &b) { b.fourcc("LIST").u32le(2).text("od"); }), "LIST(od)",
         Status::UnexpectedEnd},
        {"chunk past its list", bytes([](ByteBuilder &b) { b.fourcc("ISFT").u32le(1000).text("abcd"); }), "ISFT",
         Status::UnexpectedEnd},
        {"index of an unlisted video stream", bytes(chunk("idx1", idx1({{"07dc", 0x10, 4, 10}}))), "idx1",
         Status::NotVideoStream},
    };
    const QList<std::pair<const char *, int>> places{{"first", 0}, {"middle", 1}, {"last", 3}};
    for (const auto &[name, damaged, element, status] : damages)
        for (const auto &[where, place] : places)
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(name), QLatin1String(where))))
                << damaged << place << element << status;
}

void TestContainerAvi::damageAmongSiblings()
{
    // The damaged chunk among three sound siblings of a list, then a chunk damaged in another
    // way: the outcome names the damaged chunk wherever it stands.
    QFETCH(QByteArray, damaged);
    QFETCH(int, place);
    ByteBuilder b;
    b.riffList("LIST", "strl", [&](ByteBuilder &l) {
        for (int i = 0; i <= 3; ++i) {
            if (i == place)
                l.raw(damaged);
            if (i < 3)
                chunk("JUNK", "abcd")(l);
        }
    });
    b.riffChunk("avih", [](ByteBuilder &c) { c.zeros(10); });
    AviParse parse;
    parseAviBytes(&parse, b.bytes());
    QTEST(parse.outcome.firstFailure, "status");
    QCOMPARE(parse.outcome.failureOffset, quint64(12 + 12 * place));
    QTEST(parse.outcome.failureElement, "element");
    QVERIFY(!parse.outcome.stalled);
    QCOMPARE(parse.outcome.stopOffset, quint64(b.size()));
    QCOMPARE(parse.shapeFault(b.size()), QString());
}

void TestContainerAvi::strayBytes()
{
    // Random bytes around and between real chunks, and a large file of nothing but bytes that
    // look like chunk headers: the walk ends, every element stays inside its parent, and the
    // top level covers the file without gaps.
    QRandomGenerator random(20261208);
    QList<QByteArray> files;
    for (int round = 0; round < 40; ++round) {
        ByteBuilder b;
        b.riffList("RIFF", "AVI ", [&](ByteBuilder &r) {
            headerList(r, {"vids"});
            QByteArray noise(int(random.bounded(1, 64)), '\0');
            for (char &c : noise)
                c = char(random.bounded(256));
            r.raw(noise);
            r.riffList("LIST", "movi", [&](ByteBuilder &m) {
                for (int i = 0; i < 5; ++i) {
                    chunk("00dc", QByteArray(int(random.bounded(1, 30)), 'v'))(m);
                    m.raw(noise.left(int(random.bounded(noise.size()))));
                }
            });
            chunk("idx1", idx1({{"00dc", 0x10, 4, 3}}))(r);
        });
        QByteArray bytes = b.bytes();
        for (int flips = 0; flips < 4; ++flips)
            bytes[int(random.bounded(bytes.size()))] = char(random.bounded(256));
        files << bytes;
    }
    QByteArray lookalike;
    for (int i = 0; i < 100000; ++i)
        lookalike += i % 3 ? QByteArray("abcd\x10\x00\x00\x00", 8) : QByteArray("wxyz\xF0\xFF\x00\x00", 8);
    files << lookalike;

    for (const QByteArray &bytes : std::as_const(files)) {
        QElapsedTimer timer;
        timer.start();
        AviParse parse;
        parseAviBytes(&parse, bytes);
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(!parse.outcome.stalled);
        QCOMPARE(parse.outcome.stopOffset, quint64(bytes.size()));
        QCOMPARE(parse.shapeFault(bytes.size()), QString());
        qint64 covered = 0;
        for (const ElementRecord &record : parse.sink.elements()) {
            if (record.parentId != 0)
                continue;
            QCOMPARE(record.offset, covered);
            covered += record.size;
        }
        QCOMPARE(covered, qint64(bytes.size()) * 8);
    }
}

void TestContainerAvi::codecTable()
{
    int records = 0;
    while (codecTagTable[records].codecId != 0)
        ++records;
    QCOMPARE(records, 295);
    QCOMPARE(ContainerAVI::getCodecID(nullptr, fourccValue("H264")), 0);
    const CodecTag empty[] = {{0, 0}};
    QCOMPARE(ContainerAVI::getCodecID(empty, 0), 0);
}

void TestContainerAvi::codecLookup_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<int>("codecId");

    QTest::newRow("XVID") << fourccValue("XVID") << 13;
    QTest::newRow("avc1") << fourccValue("avc1") << 28;
    QTest::newRow("AVRn") << fourccValue("AVRn") << 1096176238;
    QTest::newRow("none") << fourccValue("none") << 0;
    QTest::newRow("0x10000004") << 0x10000004u << 13;
    QTest::newRow("3") << 3u << 14;
    QTest::newRow("H263 first under 5") << fourccValue("H263") << 5;
    QTest::newRow("LJPG first under 8") << fourccValue("LJPG") << 8;
    QTest::newRow("MJPG first under 8") << fourccValue("MJPG") << 8;
    QTest::newRow("MJLS first under 12") << fourccValue("MJLS") << 12;
    QTest::newRow("last record") << fourccValue("a12v") << 808530518;
    QTest::newRow("case matters") << fourccValue("xvid") << 0;
}

void TestContainerAvi::codecLookup()
{
    QFETCH(quint32, fourcc);
    QTEST(ContainerAVI::getCodecID(codecTagTable, fourcc), "codecId");
}

QTEST_GUILESS_MAIN(TestContainerAvi)
#include "test_container_avi.moc"
