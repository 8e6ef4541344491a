// The box handlers: header fields and their texts, the sample tables and the sample walk,
// and the sample descriptions.

#include "iso_parsers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using namespace IsoTest;

namespace {

const ElementRecord *nth(RecordingSink &sink, const QString &name, int n)
{
    for (const ElementRecord &record : sink.elements())
        if (record.name == name && n-- == 0)
            return &record;
    return nullptr;
}

// mvhd payload of version 0 or 1 after version and flags.
QByteArray mvhd(int version, quint64 creation, quint32 rate, quint16 volume)
{
    ByteBuilder b;
    b.fullBox("mvhd", quint8(version), 0, [&](ByteBuilder &h) {
        if (version == 1)
            h.u64be(creation).u64be(0).u32be(1000).u64be(quint64(1) << 32);
        else
            h.u32be(quint32(creation)).u32be(0).u32be(1000).u32be(7);
        h.u32be(rate).u16be(volume).zeros(10);
        for (quint32 word : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u})
            h.u32be(word);
        h.zeros(24).u32be(3);
    });
    return b.bytes();
}

QByteArray tkhd(quint16 layer, quint32 width)
{
    ByteBuilder b;
    b.fullBox("tkhd", 0, 3, [&](ByteBuilder &h) {
        h.u32be(1).u32be(2).u32be(9).u32be(0).u32be(500).zeros(8).u16be(layer).u16be(0).u16be(0x0100).u16be(0);
        h.zeros(36).u32be(width).u32be(0x00F00000);
    });
    return b.bytes();
}

QByteArray mdhd(quint16 language)
{
    ByteBuilder b;
    b.fullBox("mdhd", 0, 0, [&](ByteBuilder &h) { h.zeros(8).u32be(90000).u32be(1).u16be(language).u16be(0); });
    return b.bytes();
}

/// The children of the first element named parent, as "name+size" or "name=value".
QString childList(RecordingSink &sink, const QString &parent, bool values = false)
{
    const ElementRecord *group = sink.find(parent);
    QStringList list;
    for (const ElementRecord &record : sink.elements())
        if (group && record.parentId == group->id)
            list << (values ? record.name + QLatin1Char('=') + record.value
                            : QStringLiteral("%1+%2").arg(record.name).arg(record.size / 8));
    return list.join(QLatin1Char(' '));
}

QByteArray visualEntry(const char *type, quint16 width, quint16 height, const ByteBuilder::Body &boxes)
{
    ByteBuilder b;
    b.box(type, [&](ByteBuilder &e) {
        e.zeros(6).u16be(1).u16be(0).u16be(0).zeros(12).u16be(width).u16be(height);
        e.u32be(0x00480000).u32be(0x00480000).u32be(0).u16be(1);
        e.u8(4).text("Lavc").zeros(27).u16be(24).u16be(0xFFFF);
        if (boxes)
            boxes(e);
    });
    return b.bytes();
}

// A QuickTime track: a media handler in "mdia", a data handler in "minf", then the tables.
QByteArray quickTimeTrack(const char *handler, const ByteBuilder::Body &tables)
{
    const auto hdlr = [](ByteBuilder &b, const char *type) {
        b.fullBox("hdlr", 0, 0, [type](ByteBuilder &h) { h.fourcc(type == QByteArray("alis") ? "dhlr" : "mhlr").fourcc(type).zeros(13); });
    };
    ByteBuilder b;
    b.box("trak", [&](ByteBuilder &trak) {
        trak.box("mdia", [&](ByteBuilder &mdia) {
            hdlr(mdia, handler);
            mdia.box("minf", [&](ByteBuilder &minf) {
                hdlr(minf, "alis");
                minf.box("stbl", tables);
            });
        });
    });
    return b.bytes();
}

} // namespace

class TestIsoBoxes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fields_data();
    void fields();
    void valueBase();
    void editList();
    void fileType_data();
    void fileType();
    void sampleWalk_data();
    void sampleWalk();
    void sampleDescriptions();
    void soundSampleDescription();
    void variants_data();
    void variants();
    void streamRecord_data();
    void streamRecord();
    void sampleEntryTail_data();
    void sampleEntryTail();
    void h263Configuration();
    void formatCheck_data();
    void formatCheck();
};

void TestIsoBoxes::initTestCase()
{
    // The movie header shows its dates in local time.
    qputenv("TZ", "UTC");
    tzset();
}

void TestIsoBoxes::fields_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("description");

    QTest::newRow("creation time after 1970") << mvhd(0, 0xC0000000, 0x10000, 0x100) << "creation_time" << 0
                                              << "1138380672" << "27-01-2006 16:51:12";
    QTest::newRow("creation time 0") << mvhd(0, 0, 0x10000, 0x100) << "creation_time" << 0 << "0"
                                     << "01-01-1970 00:00:00";
    QTest::newRow("64-bit creation time") << mvhd(1, 0xC0000000, 0x10000, 0x100) << "creation_time" << 0
                                          << "1138380672" << "27-01-2006 16:51:12";
    QTest::newRow("timescale") << mvhd(0, 0, 0x10000, 0x100) << "timescale" << 0 << "1000" << "in 1/1000 s";
    QTest::newRow("rate with signed halves") << mvhd(0, 0, 0x18000, 0x100) << "rate" << 0 << "1.-32768" << "";
    QTest::newRow("volume") << mvhd(0, 0, 0x10000, 0x100) << "volume" << 0 << "1.0" << "";
    QTest::newRow("track width unsigned halves") << tkhd(0, 0x01408000) << "width" << 0 << "320.32768" << "";
    QTest::newRow("language") << mdhd(0x15C7) << "language" << 0 << "eng" << "";
    {
        ByteBuilder b;
        b.fullBox("smhd", 0, 0, [](ByteBuilder &h) { h.u16be(0xFF80).u16be(0); });
        QTest::newRow("balance with signed bytes") << b.bytes() << "balance" << 0 << "-1.-128" << "";
    }
}

void TestIsoBoxes::fields()
{
    QFETCH(QByteArray, box);
    QFETCH(QString, name);
    QFETCH(int, occurrence);
    QFETCH(QString, value);
    QFETCH(QString, description);

    ByteBuilder b;
    b.box("moov", [&](ByteBuilder &m) { m.raw(box); });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), b.bytes());
    QCOMPARE(result.outcome.firstFailure, 0);
    QCOMPARE(notes(result.sink), QStringList());
    const ElementRecord *element = nth(result.sink, name, occurrence);
    QVERIFY(element);
    QCOMPARE(element->value, value);
    QCOMPARE(result.sink.descriptions.value(element->id), description);
}

void TestIsoBoxes::valueBase()
{
    ByteBuilder b;
    b.box("moov", [](ByteBuilder &m) { m.raw(mdhd(0x15C7)); });
    ParseOptions options;
    options.valueBase = 16;
    options.numberBase = 2;
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), b.bytes(), options);
    QCOMPARE(result.sink.find(QStringLiteral("timescale"))->value, QStringLiteral("15f90"));
    QCOMPARE(nth(result.sink, QStringLiteral("size"), 1)->value, QStringLiteral("100000"));

    // The language code lies in 15 bits after the pad bit.
    const ElementRecord *language = result.sink.find(QStringLiteral("language"));
    QCOMPARE(language->offset, qint64(8 + 12 + 16) * 8 + 1);
    QCOMPARE(language->size, qint64(15));
}

void TestIsoBoxes::editList()
{
    ByteBuilder b;
    b.box("edts", [](ByteBuilder &e) {
        e.fullBox("elst", 1, 0, [](ByteBuilder &x) {
            x.u32be(2).u64be(1000).u64be(quint64(-1)).u16be(1).u16be(0).u64be(2000).u64be(512).u16be(1).u16be(0);
        });
        e.fullBox("elst", 0, 0, [](ByteBuilder &x) { x.u32be(1).u32be(30).u32be(0xFFFFFFFE).u16be(0xFFFF).u16be(0); });
    });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), b.bytes());
    QStringList entries;
    for (const ElementRecord &record : result.sink.elements())
        if (record.name == QLatin1String("entry"))
            entries << QStringLiteral("%1@%2+%3").arg(record.index).arg(record.offset / 8).arg(record.size / 8);
    QCOMPARE(entries.join(QLatin1Char(' ')), QStringLiteral("0@24+20 1@44+20 0@80+12"));
    QCOMPARE(childList(result.sink, QStringLiteral("entry"), true),
             QStringLiteral("segment_duration=1000 media_time=-1 media_rate_integer=1 media_rate_fraction=0"));
    QCOMPARE(nth(result.sink, QStringLiteral("media_time"), 2)->value, QStringLiteral("-2"));
    QCOMPARE(nth(result.sink, QStringLiteral("media_rate_integer"), 2)->value, QStringLiteral("-1"));
}

void TestIsoBoxes::fileType_data()
{
    QTest::addColumn<QByteArray>("brands");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("notes");

    QTest::newRow("two brands") << QByteArray("isomavc1") << "brand+4 brand+4" << QStringList();
    QTest::newRow("a partial third brand") << QByteArray("isomavc1mp") << "brand+4 brand+4 brand+2"
        << QStringList{"2 bytes are missing: its fields need 28 bytes, but it holds 26.",
                       "2 bytes are missing: it claims 4 bytes, but the file ends after 2."};
    QTest::newRow("no brands") << QByteArray() << "" << QStringList();
}

void TestIsoBoxes::fileType()
{
    QFETCH(QByteArray, brands);
    QFETCH(QString, shown);
    QFETCH(QStringList, notes);
    ByteBuilder b;
    b.box("ftyp", [&](ByteBuilder &f) { f.fourcc("mp42").u32be(0x20A).raw(brands); });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), b.bytes());
    QCOMPARE(childList(result.sink, QStringLiteral("ftyp"), true).section(QLatin1Char(' '), 2, 3),
             QStringLiteral("major_brand=mp42 minor_version=0000.02.0a"));
    QCOMPARE(childList(result.sink, QStringLiteral("compatible_brands")), shown);
    QCOMPARE(IsoTest::notes(result.sink), notes);
}

void TestIsoBoxes::sampleWalk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("frames");

    using Body = ByteBuilder::Body;
    const auto video = [](const Body &tables) { return movie("vide", tables); };
    // Four samples of 10, 20, 30 and 40 bytes, two per chunk, each lasting 5.
    const auto four = [](ByteBuilder &t) {
        words(t, "stts", {1, 4, 5});
        words(t, "stsc", {1, 1, 2, 1});
        words(t, "stsz", {0, 4, 10, 20, 30, 40});
    };
    const auto withFour = [&](const QList<quint32> &stco) {
        return video([&, stco](ByteBuilder &t) { four(t); words(t, "stco", stco); });
    };

    QTest::newRow("two chunks of two samples") << withFour({2, 1000, 2000})
        << "1000+10*@0 1010+20*@5 2000+30*@10 2030+40*@15";
    QTest::newRow("offsets past 4 GiB") << video([&](ByteBuilder &t) {
        four(t);
        words(t, "co64", {2, 5, 0, 0, 7});
    }) << "21474836480+10*@0 21474836490+20*@5 7+30*@10 37+40*@15";
    QTest::newRow("sync samples are 1-based") << video([&](ByteBuilder &t) {
        four(t);
        words(t, "stco", {2, 1000, 2000});
        words(t, "stss", {2, 1, 3});
    }) << "1000+10*@0 1010+20@5 2000+30*@10 2030+40@15";
    QTest::newRow("samples per chunk change at the chunk named") << video([](ByteBuilder &t) {
        words(t, "stts", {2, 1, 1, 4, 2});
        words(t, "stsc", {3, 1, 1, 1, 2, 3, 1, 3, 1, 1});
        words(t, "stsz", {0, 5, 1, 2, 3, 4, 5});
        words(t, "stco", {3, 100, 200, 300});
    }) << "100+1*@0 200+2*@1 202+3*@3 205+4*@5 300+5*@7";
    QTest::newRow("one size for all samples") << video([](ByteBuilder &t) {
        words(t, "stsc", {1, 1, 3, 1});
        words(t, "stsz", {7, 3});
        words(t, "stco", {1, 50});
    }) << "50+7*@0 57+7*@0 64+7*@0";
    QTest::newRow("the sample count ends a chunk early") << video([](ByteBuilder &t) {
        words(t, "stsc", {1, 1, 10, 1});
        words(t, "stsz", {0, 3, 4, 4, 4, 4});
        words(t, "stco", {2, 0, 99});
    }) << "0+4*@0 4+4*@0 8+4*@0";
    QTest::newRow("the chunk table ends early") << withFour({1, 1000}) << "1000+10*@0 1010+20*@5";
    QTest::newRow("the size table ends early") << video([](ByteBuilder &t) {
        words(t, "stsc", {1, 1, 4, 1});
        words(t, "stsz", {0, 4, 9, 8});
        words(t, "stco", {1, 0});
    }) << "0+9*@0 9+8*@0";
    QTest::newRow("a sound track registers its samples too") << movie("soun", [&](ByteBuilder &t) {
        four(t);
        words(t, "stco", {2, 1000, 2000});
    }) << "1000+10*@0 1010+20*@5 2000+30*@10 2030+40*@15";
    QTest::newRow("times past 2^32") << video([](ByteBuilder &t) {
        words(t, "stts", {1, 3, 0xFFFFFFFF});
        words(t, "stsc", {1, 1, 3, 1});
        words(t, "stsz", {1, 3});
        words(t, "stco", {1, 0});
    }) << "0+1*@0 1+1*@4294967295 2+1*@8589934590";
    {
        // Video, sound, video: frames keep their track's stream row; a handler and a table
        // outside every track change nothing.
        const auto track = [](const char *handler, quint32 size, quint32 offset) {
            return movie(handler, [=](ByteBuilder &t) {
                words(t, "stsc", {1, 1, 1, 1});
                words(t, "stsz", {0, 1, size});
                words(t, "stco", {1, offset});
            }).mid(8);
        };
        ByteBuilder b;
        b.box("moov", [&](ByteBuilder &m) {
            m.raw(track("vide", 3, 10)).raw(track("soun", 4, 20)).raw(track("vide", 5, 30));
            m.fullBox("meta", 0, 0, [](ByteBuilder &x) {
                x.fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.u32be(0).fourcc("mdir").zeros(13); });
                words(x, "stsz", {0, 1, 99});
            });
        });
        QTest::newRow("tracks in turn") << b.bytes() << "s0:10+3*@0 s1:20+4*@0 s2:30+5*@0";
    }
}

void TestIsoBoxes::sampleWalk()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, frames);
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QVERIFY(result.ran);
    QCOMPARE(IsoTest::frames(result.sink, frames.startsWith(QLatin1Char('s'))), frames);
}

void TestIsoBoxes::sampleDescriptions()
{
    // High profile, level 1.0, one SPS and one PPS.
    const QByteArray avcC = QByteArray::fromHex("0164000affe10002676401000168");
    const QByteArray first = visualEntry("avc1", 320, 240, [&](ByteBuilder &e) {
        e.box("avcC", [&](ByteBuilder &c) { c.raw(avcC); });
        e.box("pasp", [](ByteBuilder &p) { p.u32be(1).u32be(1); });
    });
    const QByteArray file = movie("vide", [&](ByteBuilder &t) {
        t.fullBox("stsd", 0, 0, [&](ByteBuilder &s) { s.u32be(2).raw(first).raw(visualEntry("mp4v", 64, 48, {})); });
    });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QCOMPARE(notes(result.sink), QStringList());
    QCOMPARE(childList(result.sink, QStringLiteral("sample_entry"), true),
             QStringLiteral("size=124 type=avc1 reserved=000000000000 data_reference_index=1 pre_defined=0 reserved=0 "
                            "pre_defined=000000000000000000000000 width=320 height=240 horizresolution=00480000 "
                            "vertresolution=00480000 reserved=0 frame_count=1 compressorname=Lavc depth=24 "
                            "pre_defined=-1 specific_config_data="));
    QCOMPARE(childList(result.sink, QStringLiteral("specific_config_data")), QStringLiteral("avcC+22 pasp+16"));
    QVERIFY(childList(result.sink, QStringLiteral("avcC"), true)
                .startsWith(QStringLiteral("size=22 type=avcC configurationVersion=1 AVCProfileIndication=100 "
                                           "profile_compatibility=0 AVCLevelIndication=10 reserved=63 lengthSizeMinusOne=3 "
                                           "reserved=7 numOfSequenceParameterSets=1 sequenceParameterSet= "
                                           "numOfPictureParameterSets=1 pictureParameterSet=")));

    // The second entry is shown too; the first one describes the stream.
    const ElementRecord *entry = result.sink.find(QStringLiteral("sample_entry"));
    const ElementRecord *second = nth(result.sink, QStringLiteral("sample_entry"), 1);
    QVERIFY(second);
    QCOMPARE(second->offset, entry->offset + first.size() * 8);
    QCOMPARE(nth(result.sink, QStringLiteral("type"), 10)->value, QStringLiteral("mp4v"));
    QCOMPARE(result.sink.streamRecords.size(), 1);
    const StreamRecord &stream = result.sink.streamRecords.first();
    QCOMPARE(stream.codecId, 28);
    QCOMPARE(stream.codec, QStringLiteral("avc1"));
    QCOMPARE(stream.width, 320);
    QCOMPARE(stream.height, 240);
    QCOMPARE(qint64(stream.configOffset) * 8, entry->offset + (86 + 8) * 8);
    QCOMPARE(stream.configSize, quint64(avcC.size()));
}

void TestIsoBoxes::soundSampleDescription()
{
    const QByteArray entry = visualEntry("mp4a", 0, 0, {});
    const QByteArray file = movie("soun", [&](ByteBuilder &t) {
        t.fullBox("stsd", 0, 0, [&](ByteBuilder &s) { s.u32be(2).raw(entry).raw(entry); });
    });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QCOMPARE(childList(result.sink, QStringLiteral("sample_entry")),
             QStringLiteral("size+4 type+4 specific_config_data+%1").arg(entry.size() - 8));
    QVERIFY(nth(result.sink, QStringLiteral("sample_entry"), 1));
    QCOMPARE(result.sink.streamRecords.first().codecId, 0);
}

void TestIsoBoxes::variants_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QString>("kinds");

    const auto tables = [](bool durations, bool sync) {
        return [=](ByteBuilder &t) {
            if (durations)
                words(t, "stts", {1, 2, 5});
            if (sync)
                words(t, "stss", {1, 2});
            words(t, "stsc", {1, 1, 2, 1});
            words(t, "stsz", {0, 2, 10, 20});
            words(t, "stco", {1, 100});
        };
    };
    const auto movieOf = [](const QList<QByteArray> &tracks) {
        ByteBuilder b;
        b.box("moov", [&](ByteBuilder &m) {
            for (const QByteArray &track : tracks)
                m.raw(track);
        });
        return b.bytes();
    };
    const QByteArray video = quickTimeTrack("vide", tables(true, true));
    const QByteArray sound = quickTimeTrack("soun", tables(true, true));
    const QString both = QStringLiteral("s%1:100+10@0 s%1:110+20*@5");

    // The layout QuickTime writes, also found in MP4 files: the first handler decides.
    for (const QString &parser : parserNames())
        QTest::addRow("%s: a data handler in minf leaves the track video", qPrintable(parser))
            << parser << movieOf({video}) << both.arg(0) << "video";
    QTest::newRow("MOV: sound and video tracks in turn") << "MOV" << movieOf({sound, video, sound, video})
        << QStringList{both.arg(0), both.arg(1), both.arg(2), both.arg(3)}.join(QLatin1Char(' '))
        << "audio video audio video";
    const QByteArray unhandled = ByteBuilder().box("trak", [](ByteBuilder &t) { t.box("mdia"); }).bytes();
    QTest::newRow("MOV: a track without a handler before a video track") << "MOV" << movieOf({unhandled, video})
        << both.arg(1) << "other video";
    QTest::newRow("MOV: without a sync table every sample is key")
        << "MOV" << movieOf({quickTimeTrack("vide", tables(true, false))}) << "s0:100+10*@0 s0:110+20*@5" << "video";
    QTest::newRow("MOV: without a time-to-sample table no frames")
        << "MOV" << movieOf({quickTimeTrack("vide", tables(false, true))}) << "" << "video";
    QTest::newRow("MP4: without a time-to-sample table times stay 0")
        << "MP4" << movie("vide", tables(false, true)) << "s0:100+10@0 s0:110+20*@0" << "video";
}

void TestIsoBoxes::variants()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, file);
    QFETCH(QString, frames);
    QFETCH(QString, kinds);
    Result result;
    parse(&result, factory(parser), file);
    QCOMPARE(IsoTest::frames(result.sink, true), frames);
    QStringList shown;
    for (const StreamRecord &stream : result.sink.streamRecords)
        shown << StreamRecord::kindName(stream.kind);
    QCOMPARE(shown.join(QLatin1Char(' ')), kinds);
}

// The stream record of a track: its kind from the media handler, its codec from the first
// sample entry, its timescale from the media header.
void TestIsoBoxes::streamRecord_data()
{
    QTest::addColumn<QByteArray>("handler");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("entry");
    const QList<std::tuple<const char *, StreamRecord::Kind, const char *>> rows{
        {"vide", StreamRecord::Video, "avc1"}, {"soun", StreamRecord::Audio, "mp4a"},
        {"sbtl", StreamRecord::Subtitle, "tx3g"}, {"subt", StreamRecord::Subtitle, "stpp"},
        {"text", StreamRecord::Subtitle, "text"}, {"clcp", StreamRecord::Subtitle, "c608"},
        {"hint", StreamRecord::Other, "rtp "}, {"meta", StreamRecord::Other, "mett"}};
    for (const auto &[handler, kind, entry] : rows)
        QTest::newRow(handler) << QByteArray(handler) << int(kind) << QByteArray(entry);
}

void TestIsoBoxes::streamRecord()
{
    QFETCH(QByteArray, handler);
    QFETCH(int, kind);
    QFETCH(QByteArray, entry);
    ByteBuilder b;
    b.box("moov", [&](ByteBuilder &m) {
        m.box("trak", [&](ByteBuilder &t) {
            t.box("mdia", [&](ByteBuilder &mdia) {
                mdia.raw(mdhd(0x15C7));
                mdia.fullBox("hdlr", 0, 0, [&](ByteBuilder &h) { h.u32be(0).fourcc(handler.constData()).zeros(13); });
                mdia.box("minf", [&](ByteBuilder &minf) {
                    minf.box("stbl", [&](ByteBuilder &stbl) {
                        stbl.fullBox("stsd", 0, 0, [&](ByteBuilder &s) {
                            s.u32be(2).raw(visualEntry(entry.constData(), 8, 8, {})).raw(visualEntry("xxxx", 8, 8, {}));
                        });
                    });
                });
            });
        });
    });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), b.bytes());
    QCOMPARE(result.sink.streamRecords.size(), 1);
    const StreamRecord &stream = result.sink.streamRecords.first();
    QCOMPARE(int(stream.kind), kind);
    QCOMPARE(stream.codec, QString::fromLatin1(entry));
    QCOMPARE(stream.timescale, quint64(90000));
}

void TestIsoBoxes::sampleEntryTail_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<int>("tail");
    QTest::addColumn<QString>("shown");
    for (const QString &parser : parserNames()) {
        const bool quickTime = parser == QLatin1String("MOV");
        QTest::addRow("%s: 7 bytes", qPrintable(parser)) << parser << 7 << "data+7";
        QTest::addRow("%s: 8 bytes", qPrintable(parser)) << parser << 8 << (quickTime ? "specific_config_data+8" : "data+8");
        QTest::addRow("%s: 9 bytes", qPrintable(parser)) << parser << 9 << "specific_config_data+9";
    }
}

void TestIsoBoxes::sampleEntryTail()
{
    QFETCH(QString, parser);
    QFETCH(int, tail);
    QFETCH(QString, shown);
    const QByteArray entry = visualEntry("avc1", 16, 16, [tail](ByteBuilder &e) {
        if (tail < 8)
            e.zeros(tail);
        else
            e.u32be(quint32(tail)).fourcc("wide").zeros(tail - 8);
    });
    Result result;
    parse(&result, factory(parser), movie("vide", [&](ByteBuilder &t) {
        t.fullBox("stsd", 0, 0, [&](ByteBuilder &s) { s.u32be(1).raw(entry); });
    }));
    QCOMPARE(childList(result.sink, QStringLiteral("sample_entry")).section(QLatin1Char(' '), -1), shown);
}

void TestIsoBoxes::h263Configuration()
{
    const auto file = [](const ByteBuilder::Body &d263) {
        const QByteArray entry = visualEntry("s263", 176, 144, [&](ByteBuilder &e) { e.box("d263", d263); });
        return movie("vide", [&](ByteBuilder &t) { t.fullBox("stsd", 0, 0, [&](ByteBuilder &s) { s.u32be(1).raw(entry); }); });
    };
    Result result;
    parse(&result, factory(QStringLiteral("3GP")), file([](ByteBuilder &d) {
        d.fourcc("FFMP").u8(0).u8(10).u8(0).box("bitr", [](ByteBuilder &b) { b.u32be(12000).u32be(16000); });
    }));
    QCOMPARE(childList(result.sink, QStringLiteral("h263_dec_spec_struc"), true),
             QStringLiteral("vendor=FFMP decoder_version=0 h263_Level=10 h263_profile=0"));
    QCOMPARE(childList(result.sink, QStringLiteral("dec_bitr_struc"), true), QStringLiteral("avg_bitrate=12000 max_bitrate=16000"));
    const StreamRecord &stream = result.sink.streamRecords.first();
    QCOMPARE(stream.codecId, 5);
    QCOMPARE(qint64(stream.configOffset) * 8, result.sink.find(QStringLiteral("h263_dec_spec_struc"))->offset);
    QCOMPARE(stream.configSize, quint64(7 + 16));

    Result odd;
    parse(&odd, factory(QStringLiteral("3GP")), file([](ByteBuilder &d) { d.fourcc("FFMP").zeros(3).zeros(8); }));
    const ElementRecord *unknown = odd.sink.find(QStringLiteral("unknown_data"));
    QVERIFY(unknown);
    QCOMPARE(unknown->size, qint64(8 * 8));
    QCOMPARE(odd.sink.descriptions.value(unknown->id), QStringLiteral("These data would not be here!"));

    // The MP4 table has no "d263".
    Result mp4;
    parse(&mp4, factory(QStringLiteral("MP4")), file([](ByteBuilder &d) { d.fourcc("FFMP").zeros(3); }));
    QVERIFY(!mp4.sink.find(QStringLiteral("h263_dec_spec_struc")));
    QCOMPARE(mp4.sink.streamRecords.first().codecId, 5);
}

void TestIsoBoxes::formatCheck_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    ByteBuilder ftyp;
    ftyp.box("ftyp", [](ByteBuilder &f) { f.fourcc("isom").u32be(0x200); });
    const QList<std::pair<QString, QStringList>> suffixes{
        {QStringLiteral("MP4"), {QStringLiteral("mp4"), QStringLiteral("f4v"), QStringLiteral("mp4v")}},
        {QStringLiteral("MOV"), {QStringLiteral("mov"), QStringLiteral("qt")}},
        {QStringLiteral("3GP"), {QStringLiteral("3gp"), QStringLiteral("3g2")}}};
    for (const auto &[parser, accepted] : suffixes) {
        for (const char *suffix : {"mp4", "MP4", "f4v", "mp4v", "mov", "QT", "3gp", "3G2", "mkv"})
            QTest::addRow("%s: .%s", qPrintable(parser), suffix)
                << parser << QStringLiteral("clip.") + QLatin1String(suffix) << ftyp.bytes()
                << (accepted.contains(QString::fromLatin1(suffix).toLower()) ? 0 : 3);
        QTest::addRow("%s: no dot", qPrintable(parser)) << parser << QStringLiteral("mp4") << ftyp.bytes() << 3;
        QTest::addRow("%s: dot in the folder", qPrintable(parser))
            << parser << QStringLiteral("x.%1/clip").arg(accepted.first()) << ftyp.bytes() << 3;
    }
    // What follows the suffix: the first box header must be plausible.
    ByteBuilder big;
    big.u32be(1).fourcc("mdat").u64be(24).zeros(8);
    ByteBuilder cut; // a known box cut short keeps its size
    cut.u32be(100000).fourcc("mdat").zeros(8);
    ByteBuilder copyright;
    copyright.u32be(12).raw("\xA9nam").zeros(4);
    const QList<std::tuple<const char *, QByteArray, int>> contents{
        {"box to the end of the file", QByteArray::fromHex("000000006d646174"), 0},
        {"big size", big.bytes(), 0},
        {"known box cut short", cut.bytes(), 0},
        {"copyright sign in the type", copyright.bytes(), 0},
        {"text", "hello world, this is text\n", 3},
        {"empty", QByteArray(), 3},
        {"shorter than a header", QByteArray::fromHex("0000000866"), 3},
        {"size below the header", QByteArray::fromHex("0000000466747970"), 3},
        {"big size below the header", QByteArray::fromHex("000000016d6461740000000000000008"), 3},
        {"type with a control byte", QByteArray::fromHex("0000000866740970"), 3},
        {"unknown box past the end", QByteArray::fromHex("0001000077787966"), 3}};
    for (const auto &[name, content, status] : contents)
        QTest::addRow("MP4: %s", name) << QStringLiteral("MP4") << QStringLiteral("clip.mp4") << content << status;
}

void TestIsoBoxes::formatCheck()
{
    QFETCH(QString, parser);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    const std::unique_ptr<ContainerAbstract> container = factory(parser)();
    QCOMPARE(ContainerDriver::verify(*container, path), status);
}

QTEST_GUILESS_MAIN(TestIsoBoxes)
#include "test_iso_boxes.moc"
