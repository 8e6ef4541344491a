// The box handlers: header fields and their texts, the sample tables and the sample walk,
// and the sample descriptions.

#include "iso_parsers.h"

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
    QTest::newRow("64-bit duration") << mvhd(1, 0, 0x10000, 0x100) << "duration" << 0 << "4294967296" << "";
    QTest::newRow("timescale") << mvhd(0, 0, 0x10000, 0x100) << "timescale" << 0 << "1000" << "in 1/1000 s";
    QTest::newRow("rate 1.0") << mvhd(0, 0, 0x10000, 0x100) << "rate" << 0 << "1.0" << "";
    QTest::newRow("rate with signed halves") << mvhd(0, 0, 0x18000, 0x100) << "rate" << 0 << "1.-32768" << "";
    QTest::newRow("volume") << mvhd(0, 0, 0x10000, 0x100) << "volume" << 0 << "1.0" << "";
    QTest::newRow("matrix") << mvhd(0, 0, 0x10000, 0x100) << "transformation_matrix" << 0
                            << "65536, 0, 0, 0, 65536, 0, 0, 0, 1073741824" << "(u, v, w)";
    QTest::newRow("next track") << mvhd(1, 0, 0x10000, 0x100) << "next_track_ID" << 0 << "3" << "";
    QTest::newRow("track width unsigned halves") << tkhd(0, 0x01408000) << "width" << 0 << "320.32768" << "";
    QTest::newRow("track height") << tkhd(0, 0x01408000) << "height" << 0 << "240.0" << "";
    QTest::newRow("signed layer") << tkhd(0xFFFF, 0) << "layer" << 0 << "-1" << "";
    QTest::newRow("track duration") << tkhd(0, 0) << "duration" << 0 << "500" << "";
    QTest::newRow("language") << mdhd(0x15C7) << "language" << 0 << "eng" << "";
    QTest::newRow("pad bit") << mdhd(0x95C7) << "pad" << 0 << "32768" << "";
    {
        ByteBuilder b;
        b.fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.u32be(0).fourcc("soun").zeros(12).text("Sound").u8(0).text("junk"); });
        QTest::newRow("handler name up to the zero") << b.bytes() << "name" << 0 << "Sound" << "";
        QTest::newRow("handler type") << b.bytes() << "handler_type" << 0 << "soun" << "";
    }
    {
        ByteBuilder b;
        b.fullBox("vmhd", 0, 1, [](ByteBuilder &h) { h.u16be(0).u16be(1).u16be(2).u16be(300); });
        QTest::newRow("graphics mode") << b.bytes() << "graphicsmode" << 0 << "0" << "Copy over existing image.";
        QTest::newRow("opcolor") << b.bytes() << "opcolor" << 0 << "1, 2, 300" << "red, green, blue";
    }
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
            x.u32be(2);
            x.u64be(1000).u64be(quint64(-1)).u16be(1).u16be(0);
            x.u64be(2000).u64be(512).u16be(1).u16be(0);
        });
        e.fullBox("elst", 0, 0, [](ByteBuilder &x) { x.u32be(1).u32be(30).u32be(0xFFFFFFFE).u16be(0xFFFF).u16be(0); });
    });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), b.bytes());
    QCOMPARE(result.sink.tree(),
             QStringLiteral("edts@0+92\n  size@0+4=92\n  type@4+4=edts\n"
                            "  elst@8+56\n    size@8+4=56\n    type@12+4=elst\n    version@16+1=1\n    flags@17+3=0\n"
                            "    entry_count@20+4=2\n"
                            "    entry@24+20\n      segment_duration@24+8=1000\n      media_time@32+8=-1\n"
                            "      media_rate_integer@40+2=1\n      media_rate_fraction@42+2=0\n"
                            "    entry@44+20\n      segment_duration@44+8=2000\n      media_time@52+8=512\n"
                            "      media_rate_integer@60+2=1\n      media_rate_fraction@62+2=0\n"
                            "  elst@64+28\n    size@64+4=28\n    type@68+4=elst\n    version@72+1=0\n    flags@73+3=0\n"
                            "    entry_count@76+4=1\n"
                            "    entry@80+12\n      segment_duration@80+4=30\n      media_time@84+4=-2\n"
                            "      media_rate_integer@88+2=-1\n      media_rate_fraction@90+2=0"));
    QCOMPARE(nth(result.sink, QStringLiteral("entry"), 1)->index, qint64(1));
}

void TestIsoBoxes::fileType_data()
{
    QTest::addColumn<QByteArray>("brands");
    QTest::addColumn<QString>("tree");

    QTest::newRow("two brands") << QByteArray("isomavc1")
        << "ftyp@0+24\n  size@0+4=24\n  type@4+4=ftyp\n  major_brand@8+4=mp42\n  minor_version@12+4=0000.02.0a\n"
           "  compatible_brands@16+8\n    brand@16+4=isom\n    brand@20+4=avc1";
    QTest::newRow("a partial third brand") << QByteArray("isomavc1mp")
        << "ftyp@0+26\n  size@0+4=26\n  type@4+4=ftyp\n  major_brand@8+4=mp42\n  minor_version@12+4=0000.02.0a\n"
           "  compatible_brands@16+10\n    brand@16+4=isom\n    brand@20+4=avc1\n    brand@24+2=mp";
    QTest::newRow("no brands") << QByteArray()
        << "ftyp@0+16\n  size@0+4=16\n  type@4+4=ftyp\n  major_brand@8+4=mp42\n  minor_version@12+4=0000.02.0a";
}

void TestIsoBoxes::fileType()
{
    QFETCH(QByteArray, brands);
    QFETCH(QString, tree);
    ByteBuilder b;
    b.box("ftyp", [&](ByteBuilder &f) { f.fourcc("mp42").u32be(0x20A).raw(brands); });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), b.bytes());
    QCOMPARE(result.sink.tree(), tree);
}

void TestIsoBoxes::sampleWalk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("frames");

    using Body = ByteBuilder::Body;
    const auto video = [](const Body &tables) { return movie("vide", tables); };
    const Body fourSamples = [](ByteBuilder &t) {
        stts(t, {{4, 5}});
        stsc(t, {{1, 2}});
        stsz(t, {10, 20, 30, 40});
    };

    QTest::newRow("two chunks of two samples") << video([&](ByteBuilder &t) {
        fourSamples(t);
        stco(t, {1000, 2000});
    }) << "1000+10*@0 1010+20*@5 2000+30*@10 2030+40*@15";
    QTest::newRow("64-bit chunk offsets walk alike") << video([&](ByteBuilder &t) {
        fourSamples(t);
        co64(t, {1000, 2000});
    }) << "1000+10*@0 1010+20*@5 2000+30*@10 2030+40*@15";
    QTest::newRow("offsets past 4 GiB") << video([&](ByteBuilder &t) {
        fourSamples(t);
        co64(t, {quint64(5) << 32, 7});
    }) << "21474836480+10*@0 21474836490+20*@5 7+30*@10 37+40*@15";
    QTest::newRow("sync samples are 1-based") << video([&](ByteBuilder &t) {
        fourSamples(t);
        stco(t, {1000, 2000});
        stss(t, {1, 3});
    }) << "1000+10*@0 1010+20@5 2000+30*@10 2030+40@15";
    QTest::newRow("an empty sync table marks no key frame") << video([&](ByteBuilder &t) {
        fourSamples(t);
        stco(t, {1000, 2000});
        stss(t, {});
    }) << "1000+10@0 1010+20@5 2000+30@10 2030+40@15";
    QTest::newRow("samples per chunk change at the chunk named") << video([](ByteBuilder &t) {
        stts(t, {{1, 1}, {4, 2}});
        stsc(t, {{1, 1}, {2, 3}, {3, 1}});
        stsz(t, {1, 2, 3, 4, 5});
        stco(t, {100, 200, 300});
    }) << "100+1*@0 200+2*@1 202+3*@3 205+4*@5 300+5*@7";
    QTest::newRow("one size for all samples") << video([](ByteBuilder &t) {
        stsc(t, {{1, 3}});
        t.fullBox("stsz", 0, 0, [](ByteBuilder &x) { x.u32be(7).u32be(3); });
        stco(t, {50});
    }) << "50+7*@0 57+7*@0 64+7*@0";
    QTest::newRow("the sample count ends a chunk early") << video([](ByteBuilder &t) {
        stsc(t, {{1, 10}});
        stsz(t, {4, 4, 4});
        stco(t, {0, 99});
    }) << "0+4*@0 4+4*@0 8+4*@0";
    QTest::newRow("the chunk table ends early") << video([&](ByteBuilder &t) {
        fourSamples(t);
        stco(t, {1000});
    }) << "1000+10*@0 1010+20*@5";
    QTest::newRow("the size table ends early") << video([](ByteBuilder &t) {
        stsc(t, {{1, 4}});
        t.fullBox("stsz", 0, 0, [](ByteBuilder &x) { x.u32be(0).u32be(4).u32be(9).u32be(8); });
        stco(t, {0});
    }) << "0+9*@0 9+8*@0";
    QTest::newRow("no sample-to-chunk table") << video([](ByteBuilder &t) {
        stsz(t, {4, 4});
        stco(t, {0});
    }) << "";
    QTest::newRow("a sound track registers nothing") << movie("soun", [&](ByteBuilder &t) {
        fourSamples(t);
        stco(t, {1000, 2000});
    }) << "";
    {
        // A video track, a sound track, a video track: frames keep their track's stream index,
        // and tables outside every track are shown only.
        ByteBuilder b;
        const QByteArray first = video([](ByteBuilder &t) { stsc(t, {{1, 1}}); stsz(t, {3}); stco(t, {10}); });
        const QByteArray second = movie("soun", [](ByteBuilder &t) { stsc(t, {{1, 1}}); stsz(t, {4}); stco(t, {20}); });
        const QByteArray third = video([](ByteBuilder &t) { stsc(t, {{1, 1}}); stsz(t, {5}); stco(t, {30}); });
        b.box("moov", [&](ByteBuilder &m) {
            m.raw(first.mid(8)).raw(second.mid(8)).raw(third.mid(8));
            m.box("udta", [](ByteBuilder &u) {
                u.fullBox("meta", 0, 0, [](ByteBuilder &x) {
                    x.fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.u32be(0).fourcc("mdir").zeros(13); });
                    stsz(x, {99});
                });
            });
        });
        QTest::newRow("tracks in turn") << b.bytes() << "s0:10+3*@0 s2:30+5*@0";
    }
}

void TestIsoBoxes::sampleWalk()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, frames);
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QVERIFY(result.ran);
    QString text = IsoTest::frames(result.sink);
    if (frames.startsWith(QLatin1String("s"))) {
        QStringList withStreams;
        for (const FrameRecord &frame : result.sink.frames)
            withStreams << QStringLiteral("s%1:%2+%3%4@%5").arg(frame.stream).arg(frame.offset).arg(frame.size)
                               .arg(frame.keyFrame ? QStringLiteral("*") : QString()).arg(frame.time);
        text = withStreams.join(QLatin1Char(' '));
    }
    QCOMPARE(text, frames);
    for (size_t i = 0; i < result.sink.frames.size(); ++i)
        if (!frames.startsWith(QLatin1String("s")))
            QCOMPARE(result.sink.frames[i].number, quint64(i));
}

void TestIsoBoxes::sampleDescriptions()
{
    const QByteArray avcC = QByteArray::fromHex("0164000affe1");
    const QByteArray first = visualEntry("avc1", 320, 240, [&](ByteBuilder &e) {
        e.box("avcC", [&](ByteBuilder &c) { c.raw(avcC); });
        e.box("pasp", [](ByteBuilder &p) { p.u32be(1).u32be(1); });
    });
    const QByteArray second = visualEntry("mp4v", 64, 48, {});
    const QByteArray file = movie("vide", [&](ByteBuilder &t) {
        t.fullBox("stsd", 0, 0, [&](ByteBuilder &s) { s.u32be(2).raw(first).raw(second); });
    });
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QCOMPARE(notes(result.sink), QStringList());

    // Both entries are shown; the first one describes the stream.
    const ElementRecord *entry = nth(result.sink, QStringLiteral("sample_entry"), 0);
    QVERIFY(entry);
    const qint64 e = entry->offset / 8;
    QCOMPARE(entry->size, qint64(first.size()) * 8);
    QStringList names;
    for (const ElementRecord &record : result.sink.elements())
        if (record.parentId == entry->id)
            names << record.name;
    QCOMPARE(names.join(QLatin1Char(' ')),
             QStringLiteral("size type reserved data_reference_index pre_defined reserved pre_defined width height "
                            "horizresolution vertresolution reserved frame_count compressorname depth pre_defined "
                            "specific_config_data"));
    QCOMPARE(nth(result.sink, QStringLiteral("compressorname"), 0)->value, QStringLiteral("\x04Lavc"));
    QCOMPARE(nth(result.sink, QStringLiteral("horizresolution"), 0)->value, QStringLiteral("00480000"));
    QCOMPARE(nth(result.sink, QStringLiteral("pre_defined"), 3)->value, QStringLiteral("-1"));
    const ElementRecord *config = result.sink.find(QStringLiteral("specific_config_data"));
    QCOMPARE(config->offset / 8, e + 86);
    const ElementRecord *avcData = nullptr;
    for (const ElementRecord &record : result.sink.elements())
        if (record.name == QLatin1String("avcC"))
            avcData = &record;
    QVERIFY(avcData);
    QCOMPARE(avcData->parentId, config->id);
    QCOMPARE(nth(result.sink, QStringLiteral("type"), 9)->value, QStringLiteral("pasp"));

    const ElementRecord *secondEntry = nth(result.sink, QStringLiteral("sample_entry"), 1);
    QVERIFY(secondEntry);
    QCOMPARE(secondEntry->index, qint64(1));
    QCOMPARE(secondEntry->offset / 8, e + first.size());

    QCOMPARE(result.sink.streamRecords.size(), 1);
    const StreamRecord &stream = result.sink.streamRecords.first();
    QCOMPARE(stream.codecId, 28);
    QCOMPARE(stream.width, 320);
    QCOMPARE(stream.height, 240);
    QCOMPARE(qint64(stream.configOffset), e + 86 + 8);
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
    const ElementRecord *sampleEntry = result.sink.find(QStringLiteral("sample_entry"));
    QVERIFY(sampleEntry);
    QStringList children;
    for (const ElementRecord &record : result.sink.elements())
        if (record.parentId == sampleEntry->id)
            children << QStringLiteral("%1+%2").arg(record.name).arg(record.size / 8);
    QCOMPARE(children.join(QLatin1Char(' ')),
             QStringLiteral("size+4 type+4 specific_config_data+%1").arg(entry.size() - 8));
    QVERIFY(!nth(result.sink, QStringLiteral("sample_entry"), 1));
    QCOMPARE(result.sink.streamRecords.first().codecId, 0);
}

QTEST_GUILESS_MAIN(TestIsoBoxes)
#include "test_iso_boxes.moc"
