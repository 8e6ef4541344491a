// Header texts (languages, fixed-point numbers, handler names) and the metadata boxes: user
// data text atoms, iTunes items, keyed QuickTime metadata, chapters, 3GPP asset boxes.

#include "iso_parsers.h"

#include <QTest>

using namespace IsoTest;

namespace {

using Body = ByteBuilder::Body;

// The elements inside the first element named box, header fields left out, as
// "name#index=value (readable)" joined by "; ".
QString shown(const RecordingSink &sink, const QString &box)
{
    const ElementRecord *group = sink.find(box);
    if (!group)
        return QStringLiteral("<no %1>").arg(box);
    QStringList list;
    for (auto it = sink.elements().begin() + group->id; it != sink.elements().end() && it->level > group->level; ++it) {
        if (it->name == QLatin1String("size") || it->name == QLatin1String("type"))
            continue;
        QString text = it->name + (it->index >= 0 ? QStringLiteral("#%1").arg(it->index) : QString());
        if (!it->value.isEmpty())
            text += QLatin1Char('=') + it->value;
        if (!it->readable.isEmpty() && it->readable != it->value)
            text += QStringLiteral(" (%1)").arg(it->readable);
        list << text.trimmed();
    }
    return list.join(QStringLiteral("; "));
}

QByteArray inUdta(const Body &body)
{
    return ByteBuilder().box("moov", [&](ByteBuilder &m) { m.box("udta", body); }).bytes();
}

// An iTunes item list: moov/udta/meta(hdlr "mdir")/ilst.
QByteArray inIlst(const Body &items)
{
    return inUdta([&](ByteBuilder &u) {
        u.fullBox("meta", 0, 0, [&](ByteBuilder &m) {
            m.fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.u32be(0).fourcc("mdir").fourcc("appl").zeros(9); });
            m.box("ilst", items);
        });
    });
}

QByteArray item(const char *type, quint32 dataType, const QByteArray &value)
{
    return inIlst([&](ByteBuilder &l) {
        l.box(type, [&](ByteBuilder &i) { i.box("data", [&](ByteBuilder &d) { d.u32be(dataType).u32be(0).raw(value); }); });
    });
}

// QuickTime metadata: moov/meta with an "mdta" handler, the keys given (claimed: their count,
// unless given) and an "ilst" of items.
QByteArray keyed(const QList<QByteArray> &keys, const Body &items, qint64 claimed = -1)
{
    return ByteBuilder().box("moov", [&](ByteBuilder &m) {
        m.fullBox("meta", 0, 0, [&](ByteBuilder &x) {
            x.fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.u32be(0).fourcc("mdta").zeros(13); });
            x.fullBox("keys", 0, 0, [&](ByteBuilder &k) {
                k.u32be(quint32(claimed < 0 ? keys.size() : claimed));
                for (const QByteArray &key : keys)
                    k.u32be(quint32(8 + key.size())).fourcc("mdta").raw(key);
            });
            x.box("ilst", items);
        });
    }).bytes();
}

void keyedItem(ByteBuilder &l, quint32 index, const char *text)
{
    l.box(QByteArray::fromHex(QByteArray::number(index, 16).rightJustified(8, '0')).constData(), [&](ByteBuilder &i) {
        i.box("data", [&](ByteBuilder &d) { d.u32be(1).u32be(0).text(text); });
    });
}

QByteArray full(const char *type, const Body &body, quint8 version = 0)
{
    return ByteBuilder().fullBox(type, version, 0, body).bytes();
}

QByteArray mdhd(quint16 language)
{
    return full("mdhd", [&](ByteBuilder &h) { h.zeros(8).u32be(1000).u32be(1).u16be(language).u16be(0); });
}

QByteArray hdlr(const char *componentType, const QByteArray &name)
{
    return full("hdlr", [&](ByteBuilder &h) { h.fourcc(componentType).fourcc("vide").zeros(12).raw(name); });
}

Result parsed(const QString &parser, const QByteArray &bytes)
{
    Result result;
    parse(&result, factory(parser), bytes);
    return result;
}

} // namespace

class TestIsoMetadata : public QObject
{
    Q_OBJECT

private slots:
    void headerTexts_data();
    void headerTexts();
    void decoders_data();
    void decoders();
    void damaged_data();
    void damaged();
};

void TestIsoMetadata::headerTexts_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QString>("expected"); // fields in a row among the box's fields

    QTest::newRow("packed eng") << mdhd(0x15C7) << "language=eng";
    QTest::newRow("packed und") << mdhd(0x55C4) << "language=und";
    QTest::newRow("Macintosh English") << mdhd(0) << "language=0 (English)";
    QTest::newRow("Macintosh Basque") << mdhd(129) << "language=129 (Basque)";
    QTest::newRow("unspecified") << mdhd(0x7FFF) << "language=32767 (unspecified)";
    const auto mvhd = [](quint32 rate, quint16 volume) {
        return full("mvhd", [=](ByteBuilder &h) { h.zeros(12).u32be(0).u32be(rate).u16be(volume).zeros(70).u32be(2); });
    };
    QTest::newRow("rate 1.5") << mvhd(0x18000, 0x100) << "rate=1.-32768 (1.5)";
    QTest::newRow("rate -0.5") << mvhd(0xFFFF8000, 0x100) << "rate=-1.-32768 (-0.5)";
    QTest::newRow("rate 1") << mvhd(0x10000, 0x100) << "rate=1.0 (1)";
    QTest::newRow("volume 8.8") << mvhd(0x10000, 0x100) << "volume=1.0 (1)";
    QTest::newRow("width") << full("tkhd", [](ByteBuilder &h) { h.zeros(72).u32be(0x01408000).u32be(0); }) << "width=320.32768 (320.5)";
    QTest::newRow("balance") << full("smhd", [](ByteBuilder &h) { h.u16be(0x0080).u16be(0); }) << "balance=0.-128 (0.5)";
    QTest::newRow("QuickTime Pascal name") << hdlr("mhlr", "\x0cVideoHandler") << "version=0; flags=0; pre_defined=1835560050 (mhlr); handler_type=vide (Video); "
           "reserved=0 (component manufacturer: 0); reserved=0 (component flags: 0); "
           "reserved=0 (component flags mask: 0); name_length=12; name=VideoHandler";
    QTest::newRow("Pascal name padded") << hdlr("dhlr", QByteArray("\x02" "ab\0\0", 5)) << "name_length=2; name=ab; padding";
    QTest::newRow("Pascal name by its length") << hdlr("\0\0\0\0", "\x05Hello") << "name_length=5; name=Hello";
    QTest::newRow("zero-terminated name") << hdlr("\0\0\0\0", QByteArray("Sound\0", 6)) << "name=Sound";
    QTest::newRow("manufacturer") << full("hdlr", [](ByteBuilder &h) { h.u32be(0).fourcc("mdir").fourcc("appl").zeros(9); })
                                  << "reserved=1634758764 (component manufacturer: appl)";
}

void TestIsoMetadata::headerTexts()
{
    QFETCH(QByteArray, box);
    QFETCH(QString, expected);
    Result result = parsed(QStringLiteral("MOV"), ByteBuilder().box("moov", [&](ByteBuilder &m) { m.raw(box); }).bytes());
    QCOMPARE(notes(result.sink), QStringList());
    const QString text = shown(result.sink, QString::fromLatin1(box.mid(4, 4)));
    QVERIFY2(QStringLiteral("; %1; ").arg(text).contains(QStringLiteral("; %1; ").arg(expected)), qPrintable(text));
}

void TestIsoMetadata::decoders_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Nero chapters") << "MP4" << inUdta([](ByteBuilder &u) {
        u.fullBox("chpl", 1, 0, [](ByteBuilder &c) { c.u32be(0).u8(2).u64be(0).u8(2).text("Op").u64be(12345670000).u8(1).text("Z"); });
    }) << "chpl" << "version=1; flags=0; reserved=0; chapter_count=2; chapter#0; start_time=0 (0:00:00.000); title_length=2; "
                    "title=Op; chapter#1; start_time=12345670000 (0:20:34.567); title_length=1; title=Z";
    QTest::newRow("QuickTime text atom") << "MOV" << inUdta([](ByteBuilder &u) {
        u.box("\xA9nam", [](ByteBuilder &t) { t.u16be(5).u16be(0x55C4).text("Title").u16be(4).u16be(0).text("Caf\x8E"); });
    }) << "\u00A9nam" << "item#0; text_size=5; language=und; text=Title; item#1; text_size=4; language=0 (English); text=Caf\u00E9";
    QTest::newRow("user data name") << "MP4" << inUdta([](ByteBuilder &u) { u.box("name", [](ByteBuilder &n) { n.text("Track one"); }); })
                                    << "name" << "name=Track one";
    const QString head = QStringLiteral("type_set=0; well_known_type=%1; locale=0; ");
    QTest::newRow("UTF-8 item") << "MP4" << item("\xA9nam", 1, "Song") << "data" << head.arg("1 (UTF-8)") + "value=Song";
    QTest::newRow("UTF-16 item") << "MP4" << item("\xA9" "ART", 2, QByteArray("\0H\0i", 4)) << "data"
                                 << head.arg("2 (UTF-16)") + "value=Hi";
    QTest::newRow("signed byte") << "MP4" << item("cpil", 21, "\xFF") << "data" << head.arg("21 (signed integer)") + "value=-1";
    QTest::newRow("unsigned 32 bits") << "MP4" << item("tves", 22, QByteArray("\0\x01\x11\x70", 4)) << "data"
                                      << head.arg("22 (unsigned integer)") + "value=70000";
    QTest::newRow("float") << "MOV" << item("akID", 23, QByteArray("\x3F\xC0\0\0", 4)) << "data"
                           << head.arg("23 (32-bit float)") + "value=1.5";
    QTest::newRow("track number") << "MP4" << item("trkn", 0, QByteArray("\0\0\0\x03\0\x0C\0\0", 8)) << "data"
                                  << head.arg("0 (implicit)") + "reserved=0; track_number=3; track_total=12; reserved";
    QTest::newRow("genre") << "MP4" << item("gnre", 0, QByteArray("\0\x12", 2)) << "data"
                           << head.arg("0 (implicit)") + "value=18 (ID3 genre 17)";
    QTest::newRow("cover art") << "MP4" << item("covr", 13, "\xFF\xD8\xFF\xE0") << "data" << head.arg("13 (JPEG)") + "value (JPEG)";
    QTest::newRow("freeform item") << "MP4" << inIlst([](ByteBuilder &l) {
        l.box("----", [](ByteBuilder &i) {
            i.fullBox("mean", 0, 0, [](ByteBuilder &m) { m.text("com.apple.iTunes"); });
            i.fullBox("name", 0, 0, [](ByteBuilder &n) { n.text("iTunSMPB"); });
        });
    }) << "----" << "mean; version=0; flags=0; mean=com.apple.iTunes; name; version=0; flags=0; name=iTunSMPB";
    QTest::newRow("keyed items") << "MOV" << keyed({"title", "comment"}, [](ByteBuilder &l) {
        keyedItem(l, 2, "C");
        keyedItem(l, 1, "T");
    }) << "ilst" << "(comment); data; " + head.arg("1 (UTF-8)") + "value=C; (title); data; " + head.arg("1 (UTF-8)") + "value=T";
    QTest::newRow("keys") << "MOV" << keyed({"title"}, {}) << "keys"
                          << "version=0; flags=0; entry_count=1; key#1; key_size=13; key_namespace=mdta; key_value=title";
    QTest::newRow("ID3 tag") << "MP4" << inUdta([](ByteBuilder &u) {
        u.fullBox("ID32", 0, 0, [](ByteBuilder &i) { i.u16be(0x15C7).raw(QByteArray("ID3\x04\0\0", 6)); });
    }) << "ID32" << "version=0; flags=0; pad=0; language=eng; id3v2_data (ID3v2.4.0)";
    QTest::newRow("XMP") << "MOV" << inUdta([](ByteBuilder &u) { u.box("XMP_", [](ByteBuilder &x) { x.text("<x:xmpmeta/>"); }); })
                         << "XMP_" << "xmp=<x:xmpmeta/>";
    const auto asset = [](const char *type, const QByteArray &body) {
        return inUdta([&](ByteBuilder &u) { u.fullBox(type, 0, 0, [&](ByteBuilder &a) { a.raw(body); }); });
    };
    const QString eng = QStringLiteral("version=0; flags=0; pad=0; language=eng; ");
    QTest::newRow("title") << "3GP" << asset("titl", QByteArray("\x15\xC7Hello\0", 8)) << "titl" << eng + "title=Hello";
    QTest::newRow("UTF-16 description") << "3GP" << asset("dscp", QByteArray("\x15\xC7\xFE\xFF\0H\0i\0\0", 10)) << "dscp"
                                        << eng + "description=Hi";
    QTest::newRow("copyright") << "MP4" << asset("cprt", QByteArray("\x15\xC7(c) me\0", 9)) << "cprt" << eng + "notice=(c) me";
    QTest::newRow("album") << "3GP" << asset("albm", QByteArray("\x15\xC7" "Alb\0\x07", 7)) << "albm"
                           << eng + "album_title=Alb; track_number=7";
    QTest::newRow("year") << "3GP" << asset("yrrc", QByteArray("\x07\xE5", 2)) << "yrrc" << "version=0; flags=0; recording_year=2021";
    QTest::newRow("rating") << "3GP" << asset("rtng", QByteArray("MPAAPG13\x15\xC7" "info\0", 15)) << "rtng"
                            << "version=0; flags=0; rating_entity=MPAA; rating_criteria=PG13; pad=0; language=eng; rating_info=info";
    QTest::newRow("classification") << "3GP" << asset("clsf", QByteArray("ABCD\0\x03\x15\xC7x\0", 10)) << "clsf"
        << "version=0; flags=0; classification_entity=ABCD; classification_table=3; pad=0; language=eng; classification_info=x";
    QTest::newRow("keywords") << "3GP" << asset("kywd", QByteArray("\x15\xC7\x02\x02" "ab\x03" "cde", 10)) << "kywd"
        << eng + "keyword_count=2; keyword#0; keyword_size=2; keyword_info=ab; keyword#1; keyword_size=3; keyword_info=cde";
    QTest::newRow("location") << "3GP" << asset("loci", ByteBuilder().u16be(0x15C7).text("Home").u8(0).u8(1).u32be(quint32(-8028160))
                                                  .u32be(2441216).u32be(0).text("earth").u8(0).u8(0).bytes())
        << "loci" << eng + "name=Home; role=1 (real location); longitude=-8028160 (-122.5); latitude=2441216 (37.25); "
                           "altitude=0; astronomical_body=earth; additional_notes";
    QTest::newRow("clean aperture") << "MOV" << ByteBuilder().box("moov", [](ByteBuilder &m) {
        m.box("trak", [](ByteBuilder &t) { t.box("tapt", [](ByteBuilder &a) { a.fullBox("clef", 0, 0, [](ByteBuilder &c) { c.u32be(0x01408000).u32be(0x00F00000); }); }); });
    }).bytes() << "clef" << "version=0; flags=0; width=21004288 (320.5); height=15728640 (240)";
    QTest::newRow("track load settings") << "MOV" << ByteBuilder().box("moov", [](ByteBuilder &m) {
        m.box("trak", [](ByteBuilder &t) { t.box("load", [](ByteBuilder &l) { l.u32be(0).u32be(0xFFFFFFFF).u32be(2).u32be(0x104); }); });
    }).bytes() << "load" << "preload_start_time=0; preload_duration=-1 (the whole track); preload_flags=2 (preload only if enabled); "
                            "default_hints=260 (double buffer, high quality)";
}

void TestIsoMetadata::decoders()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    QFETCH(QString, expected);
    Result result = parsed(parser, file);
    QCOMPARE(result.outcome.firstFailure, 0);
    QCOMPARE(notes(result.sink), QStringList());
    QCOMPARE(shown(result.sink, box), expected);
}

void TestIsoMetadata::damaged_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("kept"); // an element parsed before the damage, as name=value

    QTest::newRow("text size past the atom") << "MOV" << inUdta([](ByteBuilder &u) {
        u.box("\xA9nam", [](ByteBuilder &t) { t.u16be(100).u16be(0x55C4).text("abc"); });
    }) << "97 bytes are missing" << "text_size=100";
    QTest::newRow("chapter count past the box") << "MP4" << inUdta([](ByteBuilder &u) {
        u.fullBox("chpl", 0, 0, [](ByteBuilder &c) { c.u8(5).u64be(0).u8(1).text("A"); });
    }) << "chapter_count claims 5 chapters; only 1 fit" << "title=A";
    QTest::newRow("chapter title past the box") << "MP4" << inUdta([](ByteBuilder &u) {
        u.fullBox("chpl", 0, 0, [](ByteBuilder &c) { c.u8(1).u64be(0).u8(200).text("A"); });
    }) << "199 bytes are missing" << "title_length=200";
    QTest::newRow("key count past the box") << "MOV" << keyed({"title"}, {}, 1000)
                                            << "entry_count claims 1000 keys; only 1 fit" << "key_value=title";
    ByteBuilder tinyKey;
    tinyKey.box("moov", [](ByteBuilder &m) { m.fullBox("keys", 0, 0, [](ByteBuilder &k) { k.u32be(2).u32be(3).fourcc("mdta"); }); });
    QTest::newRow("key smaller than its header") << "MOV" << tinyKey.bytes() << "smaller than its 8-byte header" << "key_size=3";
    QTest::newRow("keyword count past the box") << "3GP" << inUdta([](ByteBuilder &u) {
        u.fullBox("kywd", 0, 0, [](ByteBuilder &k) { k.u16be(0x15C7).u8(9).u8(1).text("a"); });
    }) << "keyword_count claims 9 keywords; only 1 fit" << "keyword_info=a";
    QTest::newRow("data atom of 0 bytes") << "MP4" << inIlst([](ByteBuilder &l) { l.box("\xA9nam", [](ByteBuilder &i) { i.box("data"); }); })
                                          << "8 bytes are missing" << "handler_type=mdir";
    QTest::newRow("key index 0") << "MOV" << keyed({"title"}, [](ByteBuilder &l) { keyedItem(l, 0, "x"); })
                                 << "names key 0, but the \"keys\" box before it holds 1 keys" << "value=x";
    QTest::newRow("key index past the keys") << "MOV" << keyed({"title"}, [](ByteBuilder &l) { keyedItem(l, 5, "x"); })
                                             << "names key 5" << "value=x";
    QTest::newRow("string without terminator") << "3GP" << inUdta([](ByteBuilder &u) {
        u.fullBox("titl", 0, 0, [](ByteBuilder &t) { t.u16be(0x15C7).text("abc"); });
    }) << "without a terminating zero" << "title=abc";
    QTest::newRow("location cut after its name") << "3GP" << inUdta([](ByteBuilder &u) {
        u.fullBox("loci", 0, 0, [](ByteBuilder &t) { t.u16be(0x15C7).text("Home").u8(0).u8(1); });
    }) << "12 bytes are missing" << "name=Home";
}

void TestIsoMetadata::damaged()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, file);
    QFETCH(QString, note);
    QFETCH(QString, kept);
    Result result = parsed(parser, file);
    QVERIFY(result.ran);
    QCOMPARE(result.shapeFault(file.size()), QString());
    QVERIFY2(notes(result.sink).join(QLatin1Char('\n')).contains(note), qPrintable(notes(result.sink).join(QLatin1Char('\n'))));
    const ElementRecord *element = result.sink.find(kept.section(QLatin1Char('='), 0, 0));
    QVERIFY(element);
    QCOMPARE(element->value, kept.section(QLatin1Char('='), 1));
}

QTEST_GUILESS_MAIN(TestIsoMetadata)
#include "test_iso_metadata.moc"
