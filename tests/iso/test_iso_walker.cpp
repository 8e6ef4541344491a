// The box walker: header forms, unknown boxes, and damaged or hostile box structures, run
// against every ISO parser.

#include "iso_parsers.h"
#include "status.h"

#include <QTest>

using namespace IsoTest;

namespace {

QByteArray nested(int depth)
{
    // depth "moov" boxes, each holding the next, the innermost holding a "free" box.
    const quint32 total = quint32(depth) * 8 + 8;
    ByteBuilder b;
    for (int i = 0; i < depth; ++i)
        b.u32be(total - quint32(i) * 8).fourcc("moov");
    b.u32be(8).fourcc("free");
    return b.bytes();
}

QByteArray videoMovie(const ByteBuilder::Body &tables)
{
    return movie("vide", tables);
}

} // namespace

class TestIsoWalker : public QObject
{
    Q_OBJECT

private slots:
    void headerForms_data();
    void headerForms();
    void damaged_data();
    void damaged();
    void failurePlacement_data();
    void failurePlacement();
    void metaForms_data();
    void metaForms();
    void kindFromMediaHandler();
};

void TestIsoWalker::headerForms_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("displayLimit"); // 0: unknown boxes hidden
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("annotations");

    ByteBuilder sizeZero;
    sizeZero.box("free").u32be(0).fourcc("mdat").zeros(20);
    QTest::newRow("size 0 reaches the end of the file") << "MP4" << sizeZero.bytes() << 256
        << "free@0+8\n  size@0+4=8\n  type@4+4=free\n  data@8+0\n"
           "mdat@8+28\n  size@8+4=0\n  type@12+4=mdat\n  media_data@16+20"
        << "size#Element extends to end of file.";
    ByteBuilder big;
    big.u32be(1).fourcc("mdat").u64be(24).zeros(8).box("skip");
    QTest::newRow("size 1 with a 64-bit size") << "MP4" << big.bytes() << 256
        << "mdat@0+24\n  size@0+4=1\n  type@4+4=mdat\n  big_size@8+8=24\n  media_data@16+8\n"
           "skip@24+8\n  size@24+4=8\n  type@28+4=skip\n  data@32+0"
        << "size#big_size contains true size";
    ByteBuilder meta;
    meta.fullBox("meta", 0, 5, [](ByteBuilder &m) { m.box("trak", [](ByteBuilder &f) { f.box("udta"); }); });
    QTest::newRow("meta has version and flags before its children") << "MP4" << meta.bytes() << 256
        << "meta@0+28\n  size@0+4=28\n  type@4+4=meta\n  version@8+1=0\n  flags@9+3=5\n"
           "  trak@12+16\n    size@12+4=16\n    type@16+4=trak\n    udta@20+8\n      size@20+4=8\n"
           "      type@24+4=udta" << "";
    ByteBuilder uuid;
    uuid.u32be(29).fourcc("uuid").raw(QByteArray::fromHex("00112233445566778899aabbccddeeff")).text("ab");
    uuid.u8(0x01).u8(0x7F).u8(0x80);
    uuid.u32be(24).fourcc("UUID").raw(QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10"));
    uuid.u32be(12).fourcc("uuid").zeros(4);
    QTest::newRow("user types in any case") << "MP4" << uuid.bytes() << 256
        << "uuid@0+29\n  size@0+4=29\n  type@4+4=uuid\n"
           "  usertype@8+16={00112233-4455-6677-8899-aabbccddeeff}\n  data@24+5=ab...\n"
           "UUID@29+24\n  size@29+4=24\n  type@33+4=UUID\n  usertype@37+16={01020304-0506-0708-090a-0b0c0d0e0f10}\n"
           "uuid@53+12\n  size@53+4=12\n  type@57+4=uuid\n  usertype@61+4=00000000"
        << "uuid!Unknown element! UUID!Unknown element! uuid!12 bytes are missing: its fields need 24 bytes, but it holds 12. "
           "usertype!12 bytes are missing: it claims 16 bytes, but the file ends after 4.";
    for (const char *parser : {"MOV", "3GP"})
        QTest::addRow("%s: no user types", parser) << parser << uuid.bytes().left(29) << 256
            << "uuid@0+29\n  size@0+4=29\n  type@4+4=uuid\n  data@8+21=..\"3DUfw........ab..."
            << "uuid!Unknown element!";
    ByteBuilder plainMeta;
    plainMeta.box("meta", [](ByteBuilder &m) { m.box("udta"); });
    QTest::newRow("MOV: meta holds boxes only") << "MOV" << plainMeta.bytes() << 256
        << "meta@0+16\n  size@0+4=16\n  type@4+4=meta\n  udta@8+8\n    size@8+4=8\n    type@12+4=udta" << "";
    ByteBuilder fragment;
    fragment.box("moof", [](ByteBuilder &m) { m.box("traf"); });
    QTest::newRow("MOV: movie fragments") << "MOV" << fragment.bytes() << 256
        << "moof@0+16\n  size@0+4=16\n  type@4+4=moof\n  traf@8+8\n    size@8+4=8\n    type@12+4=traf" << "";
    ByteBuilder terminated;
    terminated.box("udta", [](ByteBuilder &u) { u.u32be(0); });
    for (const QString &parser : parserNames())
        QTest::addRow("%s: user data ends with a zero word", qPrintable(parser)) << parser << terminated.bytes() << 256
            << "udta@0+12\n  size@0+4=12\n  type@4+4=udta\n  terminator@8+4=0" << "";
    ByteBuilder dref;
    dref.fullBox("dref", 0, 0, [](ByteBuilder &d) {
        d.u32be(2).fullBox("url ", 0, 1).fullBox("urn ", 0, 0, [](ByteBuilder &u) { u.text("n").u8(0).text("l").u8(0); });
    });
    for (const QString &parser : parserNames())
        QTest::addRow("%s: data references", qPrintable(parser)) << parser << dref.bytes() << 256
            << "dref@0+44\n  size@0+4=44\n  type@4+4=dref\n  version@8+1=0\n  flags@9+3=0\n  entry_count@12+4=2\n"
               "  url @16+12=media data in this file\n    size@16+4=12\n    type@20+4=url \n    version@24+1=0\n"
               "    flags@25+3=1\n  urn @28+16\n    size@28+4=16\n    type@32+4=urn \n    version@36+1=0\n"
               "    flags@37+3=0\n    name@40+2=n\n    location@42+2=l" << "";
    ByteBuilder registered;
    registered.box("ainf", [](ByteBuilder &a) { a.text("abcd"); });
    for (const QString &parser : parserNames())
        QTest::addRow("%s: a registered code", qPrintable(parser)) << parser << registered.bytes() << 256
            << "ainf@0+12\n  size@0+4=12\n  type@4+4=ainf\n  data@8+4" << "";
    ByteBuilder unknown;
    unknown.box("wxyz", [](ByteBuilder &p) { p.text("abcdefgh"); });
    for (const QString &parser : parserNames()) {
        QTest::addRow("%s: display limit", qPrintable(parser)) << parser << unknown.bytes() << 3
            << "wxyz@0+16\n  size@0+4=16\n  type@4+4=wxyz\n  data@8+3=abc" << "wxyz!Unknown element!";
        QTest::addRow("%s: unknown boxes hidden", qPrintable(parser)) << parser << unknown.bytes() << 0
            << "wxyz@0+16\n  size@0+4=16\n  type@4+4=wxyz" << "wxyz!Unknown element!";
    }
}

void TestIsoWalker::headerForms()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, bytes);
    QFETCH(int, displayLimit);
    QFETCH(QString, tree);
    QFETCH(QString, annotations);
    ParseOptions options;
    options.displayLimit = quint64(qMax(displayLimit, 1));
    options.showUnknown = displayLimit > 0;
    Result result;
    parse(&result, factory(parser), bytes, options);
    QVERIFY(result.ran);
    QCOMPARE(result.sink.tree(), tree);
    QStringList texts;
    for (const ElementRecord &record : result.sink.elements()) {
        if (result.sink.descriptions.contains(record.id))
            texts << record.name + QLatin1Char('#') + result.sink.descriptions.value(record.id);
        if (result.sink.notes.contains(record.id))
            texts << record.name + QLatin1Char('!') + result.sink.notes.value(record.id);
    }
    QCOMPARE(texts.join(QLatin1Char(' ')), annotations);
}

void TestIsoWalker::damaged_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("failure");   // the first failure the parse reports
    QTest::addColumn<bool>("sentinel"); // the walk goes on to the top-level "skip" box at the end

    struct Case
    {
        QByteArray name;
        QByteArray bytes;
        const char *note;
        int failure;
        bool sentinel;
    };
    std::vector<Case> cases;
    const auto withSentinel = [](ByteBuilder b) { return b.box("skip").bytes(); };
    const int cut = Status::UnexpectedEnd;

    {
        ByteBuilder b;
        b.u32be(4000).fourcc("moov").box("free");
        cases.push_back({"box past the end of the file", b.bytes(),
                         "3984 bytes are missing: it claims 4000 bytes, but the file ends after 16.", cut, false});
    }
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) { m.u32be(400).fourcc("free").zeros(4); });
        cases.push_back({"box past the end of its parent", withSentinel(b),
                         "388 bytes are missing: it claims 400 bytes, but its parent ends after 12.", cut, true});
    }
    for (quint32 size = 2; size <= 7; ++size) {
        ByteBuilder b;
        b.box("moov", [size](ByteBuilder &m) { m.u32be(size).fourcc("trak").box("free").box("udta"); });
        cases.push_back({"size field " + QByteArray::number(size), withSentinel(b), "smaller than its header", 0, true});
    }
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) { m.box("free").u32be(0).fourcc("udta").box("free"); });
        cases.push_back({"size 0 inside a parent", withSentinel(b),
                         "8 bytes are missing: it claims 24 bytes, but its parent ends after 16.", cut, true});
    }
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) { m.u32be(1).fourcc("free").u64be(3).zeros(8); });
        cases.push_back({"64-bit size smaller than the header", withSentinel(b), "smaller than its header", 0, true});
    }
    {
        ByteBuilder b;
        b.u32be(1).fourcc("mdat").u32be(0);
        cases.push_back({"file ends inside a 64-bit size", b.bytes(), "smaller than its header", cut, false});
    }
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) { m.box("free").zeros(5); });
        cases.push_back({"too few bytes for a header in the parent", withSentinel(b), "too few for a box header", 0, true});
    }
    {
        ByteBuilder b;
        b.box("moov").zeros(3);
        cases.push_back({"too few bytes for a header at the end", b.bytes(), "too few for a box header", cut, false});
    }
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) { m.box("mvhd", [](ByteBuilder &h) { h.u8(0).u8(0); }); });
        cases.push_back({"full box ends inside version and flags", withSentinel(b),
                         "2 bytes are missing: its fields need 12 bytes, but it holds 10.", cut, true});
    }
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) { m.fullBox("mvhd", 0, 0, [](ByteBuilder &h) { h.zeros(40); }); });
        cases.push_back({"movie header too short", withSentinel(b), "ends before its fixed fields", cut, true});
    }
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) { m.fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.zeros(6); }); });
        cases.push_back({"handler box too short", withSentinel(b),
                         "14 bytes are missing: its fields need 32 bytes, but it holds 18.", cut, true});
    }
    {
        ByteBuilder b;
        b.raw(nested(10000)).box("skip");
        cases.push_back({"nesting 10000 deep", b.bytes(), "nested too deeply", 0, true});
    }
    // Tables whose entry_count claims billions of entries in a few bytes.
    const auto claim = [](const char *type, int entryBytes) {
        return [type, entryBytes](ByteBuilder &t) {
            t.fullBox(type, 0, 0, [entryBytes](ByteBuilder &x) {
                x.u32be(0xFFFFFFFF);
                for (int i = 0; i < entryBytes; ++i)
                    x.u8(quint8(i + 1));
            });
        };
    };
    for (const auto &[type, bytes] : std::vector<std::pair<const char *, int>>{
             {"stco", 8}, {"co64", 16}, {"stts", 16}, {"stsc", 24}, {"stss", 8}}) {
        cases.push_back({QByteArray(type) + " claims billions",
                         withSentinel(ByteBuilder().raw(videoMovie(claim(type, bytes)))),
                         "entry_count claims 4294967295 entries; only 2 fit", 0, true});
    }
    {
        ByteBuilder table;
        words(table, "stsz", {0, 0xFFFFFFFF, 5, 6});
        words(table, "stsc", {1, 1, 0xFFFFFFFF, 1});
        words(table, "stco", {1, 0});
        cases.push_back({"stsz claims billions", withSentinel(ByteBuilder().raw(videoMovie([&](ByteBuilder &t) { t.raw(table.bytes()); }))),
                         "entry_count claims 4294967295 entries; only 2 fit", 0, true});
    }
    {
        ByteBuilder table;
        words(table, "stsz", {1, 0xFFFFFFFF});
        words(table, "stsc", {1, 1, 0xFFFFFFFF, 1});
        words(table, "stco", {3, 0, 0, 0});
        cases.push_back({"one sample size for billions of samples",
                         withSentinel(ByteBuilder().raw(videoMovie([&](ByteBuilder &t) { t.raw(table.bytes()); }))),
                         "", 0, true});
    }
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) {
            m.box("edts", [](ByteBuilder &e) { e.fullBox("elst", 1, 0, [](ByteBuilder &x) { x.u32be(0xFFFFFFFF).zeros(40); }); });
        });
        cases.push_back({"elst claims billions", withSentinel(b), "entry_count claims 4294967295 entries; only 2 fit", 0, true});
    }
    {
        const QByteArray bytes = videoMovie([](ByteBuilder &t) {
            t.fullBox("stsd", 0, 0, [](ByteBuilder &x) {
                x.u32be(0xFFFFFFFF);
                x.box("avc1", [](ByteBuilder &e) { e.zeros(78); });
            });
        });
        cases.push_back({"stsd claims billions", withSentinel(ByteBuilder().raw(bytes)),
                         "entry_count claims 4294967295 entries; only 1 fit", 0, true});
    }
    {
        const QByteArray bytes = videoMovie([](ByteBuilder &t) {
            t.fullBox("stsd", 0, 0, [](ByteBuilder &x) { x.u32be(1).u32be(3).fourcc("avc1").zeros(20); });
        });
        cases.push_back({"sample entry size smaller than its header", withSentinel(ByteBuilder().raw(bytes)),
                         "it is taken to end with the box", cut, true});
    }
    {
        const QByteArray bytes = videoMovie([](ByteBuilder &t) {
            t.fullBox("stsd", 0, 0, [](ByteBuilder &x) { x.u32be(1).u32be(200).fourcc("avc1").zeros(90); });
        });
        cases.push_back({"sample entry past the end of its box", withSentinel(ByteBuilder().raw(bytes)),
                         "102 bytes are missing: it claims 200 bytes, but its parent ends after 98.", cut, true});
    }
    {
        const QByteArray bytes = videoMovie([](ByteBuilder &t) {
            t.fullBox("stsd", 0, 0, [](ByteBuilder &x) { x.u32be(1).box("avc1", [](ByteBuilder &e) { e.zeros(30); }); });
        });
        cases.push_back({"visual sample entry too short", withSentinel(ByteBuilder().raw(bytes)),
                         "48 bytes are missing: its fields need 86 bytes, but it holds 38.", cut, true});
    }

    for (const QString &parser : parserNames())
        for (const Case &c : cases)
            QTest::addRow("%s: %s", qPrintable(parser), c.name.constData())
                << parser << c.bytes << QString::fromLatin1(c.note) << c.failure << c.sentinel;
}

void TestIsoWalker::damaged()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, note);
    QFETCH(int, failure);
    QFETCH(bool, sentinel);

    Result result;
    parse(&result, factory(parser), bytes);
    QVERIFY(result.ran);
    QCOMPARE(result.outcome.status, 0);
    QCOMPARE(result.outcome.firstFailure, failure);
    QVERIFY(!result.outcome.stalled);
    QCOMPARE(result.shapeFault(bytes.size()), QString());
    // Work and output stay in proportion to the bytes that exist.
    QVERIFY(qint64(result.sink.elements().size()) <= bytes.size());
    QVERIFY(qint64(result.sink.frames.size()) <= bytes.size());
    QVERIFY(deepest(result.sink) <= ContainerAbstract::maxDepth + 8);
    if (!note.isEmpty())
        QVERIFY2(notes(result.sink).join(QLatin1Char('\n')).contains(note),
                 qPrintable(notes(result.sink).join(QLatin1String(" | "))));
    if (sentinel) {
        const ElementRecord *top = result.sink.find(QStringLiteral("skip"));
        QVERIFY(top);
        QCOMPARE(top->level, 0);
        QCOMPARE(top->offset, qint64(bytes.size() - 8) * 8);
    }
}

// The failure a damaged box reports is its own wherever it stands among its siblings: a later
// failure, inside the same parent or after it, does not replace it.
void TestIsoWalker::failurePlacement_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<QString>("element");

    const QByteArray sound = ByteBuilder().box("free", [](ByteBuilder &f) { f.zeros(4); }).bytes();
    // A track header too short for its fixed fields: a failure of its own.
    const QByteArray failing = ByteBuilder().fullBox("tkhd", 0, 0, [](ByteBuilder &h) { h.zeros(8); }).bytes();
    struct Damage
    {
        const char *name;
        const char *element;
        QByteArray bytes;
    };
    const std::vector<Damage> damages{
        {"truncated movie header", "mvhd", ByteBuilder().fullBox("mvhd", 0, 0, [](ByteBuilder &h) { h.zeros(40); }).bytes()},
        {"handler box without its last fields", "hdlr", ByteBuilder().fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.zeros(10); }).bytes()},
        {"box past the end of its parent", "udta", ByteBuilder().u32be(300).fourcc("udta").zeros(8).bytes()},
    };
    const std::vector<std::pair<const char *, QList<QByteArray>>> placements{
        {"first", {QByteArray(), failing, sound}},
        {"middle", {sound, QByteArray(), failing}},
        {"last", {sound, sound, QByteArray()}},
    };
    for (const QString &parser : parserNames()) {
        for (const Damage &damage : damages) {
            for (const auto &[where, siblings] : placements) {
                quint64 offset = 0;
                ByteBuilder b;
                b.box("moov", [&](ByteBuilder &m) {
                    for (const QByteArray &sibling : siblings) {
                        if (sibling.isEmpty())
                            offset = quint64(m.bytes().size());
                        m.raw(sibling.isEmpty() ? damage.bytes : sibling);
                    }
                });
                // A box cut by the end of the file follows the movie.
                b.u32be(100).fourcc("mdat").zeros(4);
                QTest::addRow("%s: %s %s", qPrintable(parser), damage.name, where)
                    << parser << b.bytes() << offset << QString::fromLatin1(damage.element);
            }
        }
    }
}

void TestIsoWalker::failurePlacement()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, bytes);
    QFETCH(quint64, offset);
    QFETCH(QString, element);
    Result result;
    parse(&result, factory(parser), bytes);
    QVERIFY(result.ran);
    QCOMPARE(result.outcome.firstFailure, int(Status::UnexpectedEnd));
    QCOMPARE(result.outcome.failureOffset, offset);
    QCOMPARE(result.outcome.failureElement, element);
}

void TestIsoWalker::metaForms_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("full");
    const auto handler = [](ByteBuilder &m) {
        m.fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.u32be(0).fourcc("mdir").zeros(12).u8(0); });
    };
    ByteBuilder iso;
    iso.fullBox("meta", 0, 0, handler);
    ByteBuilder quickTime;
    quickTime.box("meta", handler);
    for (const QString &parser : parserNames()) {
        QTest::addRow("%s: ISO form", qPrintable(parser)) << parser << iso.bytes() << true;
        QTest::addRow("%s: QuickTime form", qPrintable(parser)) << parser << quickTime.bytes() << false;
    }
}

// The form follows the handler's position; cut at any byte, what is there stays and nothing
// is read past the end.
void TestIsoWalker::metaForms()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, full);
    Result result;
    parse(&result, factory(parser), bytes);
    const ElementRecord *meta = result.sink.find(QStringLiteral("meta"));
    QVERIFY(meta);
    const ElementRecord *version = result.sink.find(QStringLiteral("version"));
    QCOMPARE(version && version->parentId == meta->id, full);
    const ElementRecord *hdlr = result.sink.find(QStringLiteral("hdlr"));
    QVERIFY(hdlr);
    QCOMPARE(hdlr->offset, (full ? 12 : 8) * 8);
    QCOMPARE(notes(result.sink), QStringList());
    for (qsizetype cut = 8; cut < bytes.size(); ++cut) {
        Result part;
        parse(&part, factory(parser), bytes.left(cut));
        QVERIFY(part.ran);
        QCOMPARE(part.sink.find(QStringLiteral("meta"))->size, cut * 8);
    }
}

// Only the handler of "mdia" says what a track holds: a metadata handler before it and a data
// handler after it leave the track a video track whose samples are frames.
void TestIsoWalker::kindFromMediaHandler()
{
    const auto handler = [](const char *type) {
        return [type](ByteBuilder &b) {
            b.fullBox("hdlr", 0, 0, [type](ByteBuilder &h) { h.u32be(0).fourcc(type).zeros(12).u8(0); });
        };
    };
    ByteBuilder b;
    b.box("moov", [&](ByteBuilder &moov) {
        moov.box("trak", [&](ByteBuilder &trak) {
            trak.box("udta", [&](ByteBuilder &u) { u.fullBox("meta", 0, 0, handler("mdta")); });
            trak.box("mdia", [&](ByteBuilder &mdia) {
                handler("vide")(mdia);
                mdia.box("minf", [&](ByteBuilder &minf) {
                    minf.box("dinf", handler("alis"));
                    minf.box("stbl", [](ByteBuilder &stbl) {
                        words(stbl, "stts", {1, 2, 10});
                        words(stbl, "stsc", {1, 1, 2, 1});
                        words(stbl, "stsz", {0, 2, 3, 4});
                        words(stbl, "stco", {1, 0});
                    });
                });
            });
        });
    });
    for (const QString &parser : parserNames()) {
        Result result;
        parse(&result, factory(parser), b.bytes());
        QCOMPARE(result.sink.streamRecords.size(), 1);
        QCOMPARE(result.sink.streamRecords.first().kind, StreamRecord::Video);
        QCOMPARE(frames(result.sink), QStringLiteral("0+3*@0 3+4*@10"));
    }
}

QTEST_GUILESS_MAIN(TestIsoWalker)
#include "test_iso_walker.moc"
