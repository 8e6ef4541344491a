// The sample table, sample group and track reference boxes, and the frame times and sizes the
// sample walk takes from them.

#include "iso_parsers.h"

#include <QTest>

using namespace IsoTest;

namespace {

using Body = ByteBuilder::Body;

/// The fields under the first element named box, as "name=value" with " (readable)" when it
/// has one; box headers left out.
QString fields(const RecordingSink &sink, const QString &box)
{
    const ElementRecord *top = sink.find(box);
    QStringList list;
    if (!top)
        return QStringLiteral("no %1").arg(box);
    const QStringList headers{QStringLiteral("size"), QStringLiteral("type"), QStringLiteral("version"),
                              QStringLiteral("flags")};
    for (auto it = sink.elements().begin() + top->id; it != sink.elements().end() && it->level > top->level; ++it)
        if (it->lastChildId == 0 && !headers.contains(it->name))
            list << it->name + QLatin1Char('=') + it->value
                    + (it->readable.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(it->readable));
    return list.join(QLatin1Char(' '));
}

/// The frames as "size@time:time2" (decoding and composition time).
QString timedFrames(const RecordingSink &sink)
{
    QStringList list;
    for (const FrameRecord &frame : sink.frames)
        list << QStringLiteral("%1@%2:%3").arg(frame.size).arg(frame.time).arg(frame.time2);
    return list.join(QLatin1Char(' '));
}

QByteArray box(const Body &body)
{
    ByteBuilder b;
    body(b);
    return b.bytes();
}

/// A video track of four samples of 10 ticks in one chunk, with the tables given besides.
QByteArray fourSamples(const Body &tables)
{
    return movie("vide", [&](ByteBuilder &t) {
        words(t, "stts", {1, 4, 10});
        words(t, "stsc", {1, 1, 4, 1});
        words(t, "stsz", {1, 4});
        words(t, "stco", {1, 0});
        tables(t);
    });
}

} // namespace

class TestIsoTables : public QObject
{
    Q_OBJECT

private slots:
    void tables_data();
    void tables();
    void entrySummaries_data();
    void entrySummaries();
    void countsPastTheBox_data();
    void countsPastTheBox();
    void emptyTables_data();
    void emptyTables();
    void frames_data();
    void frames();
    void chapterTracks_data();
    void chapterTracks();
};

void TestIsoTables::tables_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("notes");

    const auto row = [](const char *name, const char *type, const QByteArray &file, const char *shown,
                        const QStringList &notes = {}) {
        QTest::newRow(name) << file << QString::fromLatin1(type) << QString::fromLatin1(shown) << notes;
    };
    const auto full = [](const char *type, quint8 version, quint32 flags, const Body &body) {
        return box([=](ByteBuilder &b) { b.fullBox(type, version, flags, body); });
    };
    const QByteArray kid = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10");

    row("ctts version 0", "ctts", full("ctts", 0, 0, [](ByteBuilder &t) { t.u32be(2).u32be(2).u32be(5).u32be(1).u32be(0xFFFFFFFE); }),
        "entry_count=2 sample_count=2 sample_offset=5 sample_count=1 sample_offset=4294967294 (-2)");
    row("ctts version 1", "ctts", full("ctts", 1, 0, [](ByteBuilder &t) { t.u32be(1).u32be(3).u32be(0xFFFFFFFF); }),
        "entry_count=1 sample_count=3 sample_offset=-1");
    row("cslg version 1", "cslg", full("cslg", 1, 0, [](ByteBuilder &t) { t.u64be(1).u64be(quint64(-2)).u64be(3).u64be(1ull << 32).u64be(5); }),
        "compositionToDTSShift=1 leastDecodeToDisplayDelta=-2 greatestDecodeToDisplayDelta=3 "
        "compositionStartTime=4294967296 compositionEndTime=5");
    row("stps", "stps", full("stps", 0, 0, [](ByteBuilder &t) { t.u32be(1).u32be(7); }), "entry_count=1 sample_number=7");
    row("stsh", "stsh", full("stsh", 0, 0, [](ByteBuilder &t) { t.u32be(1).u32be(4).u32be(1); }),
        "entry_count=1 shadowed_sample_number=4 sync_sample_number=1");
    row("sdtp", "sdtp", full("sdtp", 0, 0, [](ByteBuilder &t) { t.u8(0xD8); }),
        "is_leading=3 (leading, decodable) sample_depends_on=1 (depends on others) "
        "sample_is_depended_on=2 (no other depends on it (disposable)) sample_has_redundancy=0 (unknown)");
    row("stdp", "stdp", movie("vide", [](ByteBuilder &t) {
            words(t, "stsz", {0, 2, 5, 6});
            t.fullBox("stdp", 0, 0, [](ByteBuilder &s) { s.u16be(3).u16be(0xFFFF); });
        }), "priority=3 priority=65535");
    row("padb of an odd count", "padb", full("padb", 0, 0, [](ByteBuilder &t) { t.u32be(3).u8(0x71).u8(0x50); }),
        "sample_count=3 reserved=0 pad1=7 reserved=0 pad2=1 reserved=0 pad1=5");
    row("sbgp version 1", "sbgp", full("sbgp", 1, 0, [](ByteBuilder &t) {
            t.fourcc("sync").u32be(7).u32be(2).u32be(5).u32be(0).u32be(3).u32be(0x10002);
        }), "grouping_type=sync grouping_type_parameter=7 entry_count=2 sample_count=5 group_description_index=0 "
            "(in no group of this type) sample_count=3 group_description_index=65538 (description 2 of the fragment)");
    row("sgpd roll of the default length", "sgpd", full("sgpd", 1, 0, [](ByteBuilder &t) {
            t.fourcc("roll").u32be(2).u32be(2).u16be(0xFFFF).u16be(2);
        }), "grouping_type=roll default_length=2 entry_count=2 roll_distance=-1 roll_distance=2");
    row("sgpd sync with description lengths", "sgpd", full("sgpd", 2, 0, [](ByteBuilder &t) {
            t.fourcc("sync").u32be(0).u32be(1).u32be(2).u32be(1).u8(0x13).u32be(3).u8(0x05).u16be(0xAABB);
        }), "grouping_type=sync default_length=0 default_sample_description_index=1 entry_count=2 "
            "description_length=1 reserved=0 NAL_unit_type=19 description_length=3 reserved=0 NAL_unit_type=5 data=");
    row("sgpd version 0 rap", "sgpd", full("sgpd", 0, 0, [](ByteBuilder &t) { t.fourcc("rap ").u32be(2).u8(0x85).u8(0x01); }),
        "grouping_type=rap  entry_count=2 num_leading_samples_known=1 num_leading_samples=5 "
        "num_leading_samples_known=0 num_leading_samples=1");
    row("sgpd seig with a constant IV", "sgpd", full("sgpd", 1, 0, [&](ByteBuilder &t) {
            t.fourcc("seig").u32be(0).u32be(1).u32be(25).u8(0).u8(0x19).u8(1).u8(0).raw(kid).u8(4).u32be(0xA1A2A3A4);
        }), "grouping_type=seig default_length=0 entry_count=1 description_length=25 reserved=0 crypt_byte_block=1 "
            "skip_byte_block=9 isProtected=1 (protected) Per_Sample_IV_Size=0 KID=0102030405060708090a0b0c0d0e0f10 "
            "constant_IV_size=4 constant_IV=a1a2a3a4");
    row("sgpd alst", "sgpd", full("sgpd", 1, 0, [](ByteBuilder &t) {
            t.fourcc("alst").u32be(16).u32be(1).u16be(2).u16be(1).u32be(10).u32be(20).u16be(3).u16be(4);
        }), "grouping_type=alst default_length=16 entry_count=1 roll_count=2 first_output_sample=1 sample_offset=10 "
            "sample_offset=20 num_output_samples=3 num_total_samples=4");
    row("sgpd version 0 of an unknown type", "sgpd", full("sgpd", 0, 0, [](ByteBuilder &t) { t.fourcc("abcd").u32be(1).u24be(7); }),
        "grouping_type=abcd entry_count=1 data=",
        {"The entries of grouping type \"abcd\" give no length of their own; the rest of the box is shown as data."});
    row("subs version 0", "subs", full("subs", 0, 0, [](ByteBuilder &t) {
            t.u32be(1).u32be(1).u16be(2).u16be(10).u8(1).u8(0).u32be(0).u16be(32).u8(0).u8(1).u32be(7);
        }), "entry_count=1 sample_delta=1 subsample_count=2 subsample_size=10 subsample_priority=1 "
            "discardable=0 (needed to decode the sample) codec_specific_parameters=0 subsample_size=32 "
            "subsample_priority=0 discardable=1 (not needed to decode the sample) codec_specific_parameters=7");
    row("subs version 1", "subs", full("subs", 1, 0, [](ByteBuilder &t) { t.u32be(1).u32be(2).u16be(1).u32be(0x10000).zeros(6); }),
        "entry_count=1 sample_delta=2 subsample_count=1 subsample_size=65536 subsample_priority=0 "
        "discardable=0 (needed to decode the sample) codec_specific_parameters=0");
    row("saiz with sizes", "saiz", full("saiz", 0, 1, [](ByteBuilder &t) { t.fourcc("cenc").u32be(0).u8(0).u32be(2).u8(16).u8(24); }),
        "aux_info_type=cenc aux_info_type_parameter=0 default_sample_info_size=0 sample_count=2 sample_info_size=16 "
        "sample_info_size=24");
    row("saio version 1", "saio", full("saio", 1, 1, [](ByteBuilder &t) { t.fourcc("cbcs").u32be(1).u32be(1).u64be(1ull << 32); }),
        "aux_info_type=cbcs aux_info_type_parameter=1 entry_count=1 offset=4294967296");
    row("stz2 of an unknown field size", "stz2", full("stz2", 0, 0, [](ByteBuilder &t) { t.u24be(0).u8(3).u32be(2).u8(0x12); }),
        "reserved=0 field_size=3 sample_count=2", {"field_size 3 is none of 4, 8 and 16; the sizes are not read."});
    row("tref", "tref", box([](ByteBuilder &b) {
            b.box("tref", [](ByteBuilder &t) {
                t.box("cdsc", [](ByteBuilder &r) { r.u32be(1).u32be(3); });
                t.box("hint", [](ByteBuilder &r) { r.u32be(2); });
            });
        }), "track_ID=1 track_ID=3 track_ID=2");
    row("a QuickTime reference type outside tref", "folw", box([](ByteBuilder &b) { b.box("folw", [](ByteBuilder &r) { r.u32be(1); }); }),
        "data=....", {"Unknown element!"});
    // Damaged tables.
    row("sgpd description_length past the box", "sgpd", full("sgpd", 1, 0, [](ByteBuilder &t) {
            t.fourcc("roll").u32be(0).u32be(2).u32be(100).u16be(5);
        }), "grouping_type=roll default_length=0 entry_count=2 description_length=100 roll_distance=5",
        {"entry_count claims 2 entries; only 1 fit in the box.",
         "98 bytes are missing: it claims 104 bytes, but the file ends after 6."});
    row("subs subsample_count past the box", "subs", full("subs", 0, 0, [](ByteBuilder &t) {
            t.u32be(2).u32be(1).u16be(5).u16be(10).u8(0).u8(0).u32be(0).u16be(3);
        }), "entry_count=2 sample_delta=1 subsample_count=5 subsample_size=10 subsample_priority=0 "
            "discardable=0 (needed to decode the sample) codec_specific_parameters=0",
        {"entry_count claims 2 entries; only 1 fit in the box.", "subsample_count claims 5 subsamples; only 1 fit in the box."});
}

void TestIsoTables::tables()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    QFETCH(QString, shown);
    QFETCH(QStringList, notes);
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QVERIFY(result.ran);
    QCOMPARE(fields(result.sink, box), shown);
    QCOMPARE(IsoTest::notes(result.sink), notes);
    QCOMPARE(result.shapeFault(file.size()), QString());
}

void TestIsoTables::entrySummaries_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("summaries"); // of its entries, joined by " | "

    const auto table = [](const char *type, quint8 version, const QList<quint32> &values) {
        return box([=](ByteBuilder &b) {
            b.fullBox(type, version, 0, [&](ByteBuilder &t) {
                for (quint32 value : values)
                    t.u32be(value);
            });
        });
    };
    QTest::newRow("stts") << table("stts", 0, {2, 3, 1001, 1, 500}) << "stts" << "3 samples × 1001 | 1 sample × 500";
    QTest::newRow("stsc") << table("stsc", 0, {2, 1, 2, 1, 5, 1, 2}) << "stsc"
                          << "chunks from 1: 2 samples, description 1 | chunks from 5: 1 sample, description 2";
    QTest::newRow("ctts version 0, a negative offset") << table("ctts", 0, {2, 2, 5, 1, 0xFFFFFFFE}) << "ctts"
                                                       << "2 samples, offset 5 | 1 sample, offset -2";
    QTest::newRow("ctts version 1") << table("ctts", 1, {1, 3, 0xFFFFFFFF}) << "ctts" << "3 samples, offset -1";
    QTest::newRow("elst version 0, an empty edit first")
        << table("elst", 0, {2, 1000, 0xFFFFFFFF, 0x10000, 5000, 2002, 0x10000}) << "elst"
        << "empty, duration 1000 | duration 5000 from media time 2002";
    QTest::newRow("elst version 1") << table("elst", 1, {1, 0, 7000, 0, 1024, 0x10000}) << "elst"
                                    << "duration 7000 from media time 1024";
    QTest::newRow("elst of an unknown version: rates alone") << table("elst", 2, {1, 0x10000}) << "elst" << "";
    QTest::newRow("entries past the box") << table("stts", 0, {3, 3, 1001, 7}) << "stts" << "3 samples × 1001";
}

void TestIsoTables::entrySummaries()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QVERIFY(result.ran);
    QTEST(readablesUnder(result.sink, box, QStringLiteral("entry")), "summaries");
    QCOMPARE(result.shapeFault(file.size()), QString());
}

void TestIsoTables::countsPastTheBox_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("note");

    const quint32 many = 0xFFFFFFFF;
    const auto row = [](const char *name, const Body &tables, int fit) {
        QTest::newRow(name) << movie("vide", tables)
                            << QStringLiteral("entry_count claims 4294967295 entries; only %1 fit in the box.").arg(fit);
    };
    row("ctts", [&](ByteBuilder &t) { words(t, "ctts", {many, 1, 2}); }, 1);
    row("stps", [&](ByteBuilder &t) { words(t, "stps", {many, 1}); }, 1);
    row("stsh", [&](ByteBuilder &t) { words(t, "stsh", {many, 1, 2}); }, 1);
    row("sbgp", [&](ByteBuilder &t) { words(t, "sbgp", {0x726F6C6C, many, 1, 1}); }, 1);
    row("saio", [&](ByteBuilder &t) { words(t, "saio", {many, 1}); }, 1);
    row("saiz", [](ByteBuilder &t) { t.fullBox("saiz", 0, 0, [](ByteBuilder &s) { s.u8(0).u32be(0xFFFFFFFF).u8(5); }); }, 1);
    row("stz2", [&](ByteBuilder &t) { words(t, "stz2", {8, many, 0x05060000}); }, 4);
    row("stz2 of 4 bits", [&](ByteBuilder &t) { words(t, "stz2", {4, many, 0x12345678}); }, 8);
    row("padb", [](ByteBuilder &t) { t.fullBox("padb", 0, 0, [](ByteBuilder &s) { s.u32be(0xFFFFFFFF).u8(0x11); }); }, 2);
    row("subs", [](ByteBuilder &t) { t.fullBox("subs", 0, 0, [](ByteBuilder &s) { s.u32be(0xFFFFFFFF).u32be(1).u16be(0); }); }, 1);
    row("sgpd", [&](ByteBuilder &t) { words(t, "sgpd", {0x726F6C6C, many, 0x00010000}); }, 2);
    row("sdtp of the samples of stsz", [&](ByteBuilder &t) {
        words(t, "stsz", {1, many});
        t.fullBox("sdtp", 0, 0, [](ByteBuilder &s) { s.u8(0); });
    }, 1);
    row("stdp of the samples of stsz", [&](ByteBuilder &t) {
        words(t, "stsz", {1, many});
        t.fullBox("stdp", 0, 0, [](ByteBuilder &s) { s.u16be(0).u16be(1).u8(2); });
    }, 2);
}

void TestIsoTables::countsPastTheBox()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, note);
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QVERIFY(result.ran);
    QCOMPARE(IsoTest::notes(result.sink), QStringList{note});
    QCOMPARE(result.shapeFault(file.size()), QString());
}

void TestIsoTables::emptyTables_data()
{
    QTest::addColumn<QByteArray>("file");
    for (const char *type : {"ctts", "cslg", "stps", "sdtp", "stdp", "stsh", "stz2", "padb", "sbgp", "sgpd", "subs",
                             "saiz", "saio", "tref", "cdsc"})
        for (quint8 version : {0, 1, 2})
            QTest::addRow("%s version %d", type, version) << movie("vide", [=](ByteBuilder &t) {
                t.fullBox(type, version, 1);
                words(t, "stsz", {0, 1, 4});
                t.box(type);
            });
}

// Boxes with no payload, or not even a version: fields and notes, nothing past the box.
void TestIsoTables::emptyTables()
{
    QFETCH(QByteArray, file);
    for (const QString &name : parserNames()) {
        Result result;
        parse(&result, factory(name), file);
        QVERIFY(result.ran);
        QCOMPARE(result.shapeFault(file.size()), QString());
    }
}

// Composition times from "ctts", sizes from "stz2".
void TestIsoTables::frames_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("frames");

    QTest::newRow("no ctts") << fourSamples([](ByteBuilder &) {}) << "1@0:0 1@10:10 1@20:20 1@30:30";
    QTest::newRow("ctts version 0") << fourSamples([](ByteBuilder &t) { words(t, "ctts", {3, 1, 10, 1, 30, 2, 0}); })
                                    << "1@0:10 1@10:40 1@20:20 1@30:30";
    QTest::newRow("ctts version 1 with negative offsets") << fourSamples([](ByteBuilder &t) {
        t.fullBox("ctts", 1, 0, [](ByteBuilder &c) { c.u32be(2).u32be(2).u32be(0).u32be(2).u32be(quint32(-10)); });
    }) << "1@0:0 1@10:10 1@20:10 1@30:20";
    QTest::newRow("ctts version 0 with negative offsets") << fourSamples([](ByteBuilder &t) { words(t, "ctts", {1, 4, 0xFFFFFFFE}); })
                                                          << "1@0:-2 1@10:8 1@20:18 1@30:28";
    QTest::newRow("ctts shorter than the track") << fourSamples([](ByteBuilder &t) { words(t, "ctts", {2, 0, 7, 1, 5}); })
                                                 << "1@0:5 1@10:10 1@20:20 1@30:30";
    const auto sizes = [](const Body &tables) {
        return movie("vide", [&](ByteBuilder &t) {
            words(t, "stsc", {1, 1, 3, 1});
            words(t, "stco", {1, 100});
            tables(t);
        });
    };
    QTest::newRow("stz2 of 4 bits") << sizes([](ByteBuilder &t) { words(t, "stz2", {4, 3, 0x12300000}); }) << "1@0:0 2@0:0 3@0:0";
    QTest::newRow("stz2 of 8 bits") << sizes([](ByteBuilder &t) { words(t, "stz2", {8, 2, 0xC8070000}); }) << "200@0:0 7@0:0";
    QTest::newRow("stz2 of 16 bits") << sizes([](ByteBuilder &t) { words(t, "stz2", {16, 2, 0x12340001}); }) << "4660@0:0 1@0:0";
    QTest::newRow("stz2 before stsz") << sizes([](ByteBuilder &t) {
        words(t, "stz2", {8, 2, 0x05060000});
        words(t, "stsz", {0, 2, 50, 60});
    }) << "5@0:0 6@0:0";
    QTest::newRow("stz2 after stsz") << sizes([](ByteBuilder &t) {
        words(t, "stsz", {0, 2, 50, 60});
        words(t, "stz2", {8, 2, 0x05060000});
    }) << "5@0:0 6@0:0";
}

void TestIsoTables::frames()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, frames);
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QVERIFY(result.ran);
    QCOMPARE(timedFrames(result.sink), frames);
}

void TestIsoTables::chapterTracks_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("kinds");

    // Track 1, video, refers to track 2 with a reference of the type given.
    const auto movie = [](const char *reference, const char *handler) {
        const auto track = [](quint32 id, const char *handler, const Body &more) {
            return [=](ByteBuilder &trak) {
                trak.fullBox("tkhd", 0, 0, [&](ByteBuilder &h) { h.zeros(8).u32be(id).zeros(68); });
                more(trak);
                trak.box("mdia", [&](ByteBuilder &m) {
                    m.fullBox("hdlr", 0, 0, [&](ByteBuilder &h) { h.u32be(0).fourcc(handler).zeros(13); });
                });
            };
        };
        return box([&](ByteBuilder &b) {
            b.box("moov", [&](ByteBuilder &moov) {
                moov.box("trak", track(1, "vide", [&](ByteBuilder &t) {
                    t.box("tref", [&](ByteBuilder &r) { r.box(reference, [](ByteBuilder &c) { c.u32be(2); }); });
                }));
                moov.box("trak", track(2, handler, [](ByteBuilder &) {}));
            });
        });
    };
    QTest::newRow("a chapter text track") << movie("chap", "text") << "video data";
    QTest::newRow("chapter pictures") << movie("chap", "vide") << "video video";
    QTest::newRow("another reference") << movie("subt", "text") << "video subtitle";
}

void TestIsoTables::chapterTracks()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, kinds);
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QStringList shown;
    for (const StreamRecord &stream : result.sink.streamRecords)
        shown << (stream.kind == StreamRecord::Other ? QStringLiteral("data") : StreamRecord::kindName(stream.kind));
    QCOMPARE(shown.join(QLatin1Char(' ')), kinds);
}

QTEST_GUILESS_MAIN(TestIsoTables)
#include "test_iso_tables.moc"
