// Movie fragments: where the samples of each run lie, which defaults they take, their times
// and key flags; the segment index, event and protection boxes; damaged fragments; real
// fragmented files against ffprobe.

#include "iso_parsers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTest>

using namespace IsoTest;

namespace {

constexpr quint32 syncFlags = 0x02000000;    // depends on no other
constexpr quint32 nonSyncFlags = 0x01010000; // depends on others, non-sync
constexpr quint32 baseIsMoof = 0x20000;

/// Track 1 video, track 2 sound; "trex": video samples of 100 bytes lasting 10, sound samples
/// of 50 bytes lasting 7, both non-sync. With durations, the video track's "stts" holds five
/// samples of duration 10 (and no table places them).
QByteArray movieBox(bool durations = false)
{
    const auto trak = [durations](ByteBuilder &moov, quint32 trackId, const char *handler) {
        moov.box("trak", [&](ByteBuilder &trak) {
            trak.fullBox("tkhd", 0, 3, [&](ByteBuilder &h) { h.zeros(8).u32be(trackId).zeros(68); });
            trak.box("mdia", [&](ByteBuilder &mdia) {
                mdia.fullBox("hdlr", 0, 0, [&](ByteBuilder &h) { h.u32be(0).fourcc(handler).zeros(13); });
                if (durations && trackId == 1)
                    mdia.box("minf", [](ByteBuilder &minf) { minf.box("stbl", [](ByteBuilder &s) { words(s, "stts", {1, 5, 10}); }); });
            });
        });
    };
    ByteBuilder b;
    b.box("moov", [&](ByteBuilder &moov) {
        trak(moov, 1, "vide");
        trak(moov, 2, "soun");
        moov.box("mvex", [](ByteBuilder &mvex) {
            words(mvex, "trex", {1, 1, 10, 100, nonSyncFlags});
            words(mvex, "trex", {2, 1, 7, 50, nonSyncFlags});
        });
    });
    return b.bytes();
}

struct Run
{
    quint32 flags;
    quint32 count;
    QList<quint32> words; ///< data_offset, first_sample_flags, then the fields of each sample
    quint8 version = 0;
};

struct Traf
{
    quint32 track;
    quint32 flags;
    QList<quint64> fields; ///< of "tfhd": base_data_offset (64-bit) first when flags & 1
    QList<Run> runs;
    qint64 decodeTime = -1; ///< a "tfdt" when not negative
    bool header = true;
};

/// The movie, one "moof" of these track fragments (or the "moof" first), then an "mdat" of
/// 4096 bytes.
QByteArray fragmentedFile(const QList<Traf> &trafs, bool durations = false, bool moofFirst = false)
{
    ByteBuilder b;
    if (!moofFirst)
        b.raw(movieBox(durations));
    b.box("moof", [&](ByteBuilder &moof) {
        words(moof, "mfhd", {1});
        for (const Traf &traf : trafs)
            moof.box("traf", [&](ByteBuilder &t) {
                if (traf.header)
                    t.fullBox("tfhd", 0, traf.flags, [&](ByteBuilder &h) {
                        h.u32be(traf.track);
                        for (qsizetype i = 0; i < traf.fields.size(); ++i) {
                            if (i == 0 && (traf.flags & 1))
                                h.u64be(traf.fields[i]);
                            else
                                h.u32be(quint32(traf.fields[i]));
                        }
                    });
                if (traf.decodeTime >= 0)
                    t.fullBox("tfdt", 1, 0, [&](ByteBuilder &d) { d.u64be(quint64(traf.decodeTime)); });
                for (const Run &run : traf.runs)
                    t.fullBox("trun", run.version, run.flags, [&run](ByteBuilder &r) {
                        for (quint32 word : QList<quint32>{run.count} + run.words)
                            r.u32be(word);
                    });
            });
    });
    if (moofFirst)
        b.raw(movieBox());
    b.box("mdat", [](ByteBuilder &m) { m.zeros(4088); });
    return b.bytes();
}

/// "s<stream>:<offset from the moof>+<size>", "*" for a key frame, "@<decoding time>" and
/// "/<composition time>" when it differs.
QString fragmentFrames(const RecordingSink &sink)
{
    const ElementRecord *moof = sink.find(QStringLiteral("moof"));
    QStringList list;
    for (const FrameRecord &frame : sink.frames)
        list << QStringLiteral("s%1:%2+%3%4@%5%6")
                    .arg(frame.stream)
                    .arg(qint64(frame.offset) - moof->offset / 8)
                    .arg(frame.size)
                    .arg(frame.keyFrame ? QStringLiteral("*") : QString())
                    .arg(frame.time)
                    .arg(frame.time2 != frame.time ? QStringLiteral("/%1").arg(frame.time2) : QString());
    return list.join(QLatin1Char(' '));
}

} // namespace

class TestIsoFragments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }
    void samples_data();
    void samples();
    void fields_data();
    void fields();
    void summaries_data();
    void summaries();
    void claimedSamplesBounded();
};

void TestIsoFragments::samples_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("note"); // the only note the parse gives; empty: none at all

    const quint64 moofStart = quint64(movieBox().size());
    struct Row
    {
        const char *name;
        QByteArray file;
        const char *expected;
        const char *note = "";
    };
    const std::vector<Row> rows{
        {"trex defaults", fragmentedFile({{1, baseIsMoof, {}, {{0x1, 3, {200}}}}}), "s0:200+100@0 s0:300+100@10 s0:400+100@20"},
        {"tfhd defaults over trex", fragmentedFile({{1, baseIsMoof | 0x38, {20, 60, syncFlags}, {{0x1, 2, {200}}}}}),
         "s0:200+60*@0 s0:260+60*@20"},
        {"trun fields over tfhd, first sample flags",
         fragmentedFile({{1, baseIsMoof | 0x38, {20, 60, nonSyncFlags}, {{0x305, 2, {200, syncFlags, 5, 30, 6, 40}}}}}),
         "s0:200+30*@0 s0:230+40@5"},
        {"per-sample flags", fragmentedFile({{1, baseIsMoof, {}, {{0x601, 2, {200, 30, nonSyncFlags, 40, syncFlags}}}}}),
         "s0:200+30@0 s0:230+40*@10"},
        {"explicit base, negative data offset", fragmentedFile({{1, 0x1, {moofStart + 500}, {{0x1, 1, {quint32(-100)}}}}}),
         "s0:400+100@0"},
        {"no base: the next traf follows the data of the one before",
         fragmentedFile({{1, 0, {}, {{0x1, 2, {200}}}}, {2, 0, {}, {{0, 2, {}}}}}),
         "s0:200+100@0 s0:300+100@10 s1:400+50*@0 s1:450+50*@7"},
        {"runs of a traf follow each other", fragmentedFile({{1, baseIsMoof, {}, {{0x1, 1, {200}}, {0x200, 2, {30, 40}}}}}),
         "s0:200+100@0 s0:300+30@10 s0:330+40@20"},
        {"tfdt, then the running time",
         fragmentedFile({{1, baseIsMoof, {}, {{0x1, 1, {200}}}, 1000}, {1, baseIsMoof, {}, {{0x1, 1, {300}}}}}),
         "s0:200+100@1000 s0:300+100@1010"},
        {"fragments begin after the movie's samples", fragmentedFile({{1, baseIsMoof, {}, {{0x1, 1, {200}}}}}, true),
         "s0:200+100@50"},
        {"unsigned composition offsets", fragmentedFile({{1, baseIsMoof, {}, {{0x801, 2, {200, 20, 0xFFFFFFF6}}}}}),
         "s0:200+100@0/20 s0:300+100@10/4294967296"},
        {"signed composition offsets", fragmentedFile({{1, baseIsMoof, {}, {{0x801, 2, {200, 20, 0xFFFFFFF6}, 1}}}}),
         "s0:200+100@0/20 s0:300+100@10/0"},
        {"sound samples without flags are key", fragmentedFile({{2, baseIsMoof, {}, {{0x1, 2, {200}}}}}),
         "s1:200+50*@0 s1:250+50*@7"},
        {"sound samples with flags of their own", fragmentedFile({{2, baseIsMoof, {}, {{0x401, 2, {200, nonSyncFlags, syncFlags}}}}}),
         "s1:200+50@0 s1:250+50*@7"},
        {"sample_count past the box", fragmentedFile({{1, baseIsMoof, {}, {{0x201, 1000, {200, 30, 40}}}}}),
         "s0:200+30@0 s0:230+40@10", "entry_count claims 1000 entries; only 2 fit in the box."},
        {"data past the file", fragmentedFile({{1, baseIsMoof, {}, {{0x201, 3, {4100, 30, 100, 40}}}}}),
         "s0:4100+30@0", "2 samples lie past the end of the file: they give no frames."},
        {"unknown track", fragmentedFile({{9, baseIsMoof, {}, {{0x1, 2, {200}}}}}), "",
         "No track has track_ID 9: the samples of this track fragment give no frames."},
        {"run before the header", fragmentedFile({{1, 0, {}, {{0x201, 1, {200, 30}}}, -1, false}}), "",
         "No track fragment header comes before this run: its samples give no frames."},
        {"fragment before the movie", fragmentedFile({{1, baseIsMoof, {}, {{0x201, 1, {200, 30}}}}}, false, true), "",
         "No movie box came before this fragment: its samples give no frames."},
    };
    for (const QString &parser : parserNames())
        for (const Row &row : rows)
            QTest::newRow(qPrintable(parser + QLatin1String(": ") + QLatin1String(row.name)))
                << parser << row.file << QString::fromLatin1(row.expected) << QString::fromLatin1(row.note);
}

void TestIsoFragments::samples()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    QFETCH(QString, note);

    Result result;
    parse(&result, factory(parser), file);
    QCOMPARE(result.shapeFault(file.size()), QString());
    QCOMPARE(fragmentFrames(result.sink), expected);
    QCOMPARE(notes(result.sink), note.isEmpty() ? QStringList() : QStringList{note});
}

void TestIsoFragments::fields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("readable");
    QTest::addColumn<QString>("note"); // all notes, one a line

    const auto box = [](const char *type, quint8 version, quint32 flags, const ByteBuilder::Body &body) {
        ByteBuilder b;
        b.fullBox(type, version, flags, body);
        return b.bytes();
    };
    const auto sidx = [&](quint16 references) {
        return box("sidx", 0, 0, [references](ByteBuilder &s) {
            s.u32be(1).u32be(1000).u32be(0).u32be(100).u16be(0).u16be(references).u32be(0x80000400).u32be(2000).u32be(0x9000000A);
        });
    };
    const auto emsg = [&](quint8 version) {
        return box("emsg", version, 0, [version](ByteBuilder &e) {
            if (version == 0)
                e.text("urn:a").u8(0).text("7").u8(0).u32be(90000).u32be(10).u32be(20).u32be(3).text("ID3");
            else
                e.u32be(90000).u64be(quint64(1) << 33).u32be(20).u32be(3).text("urn:b").u8(0).text("8").u8(0).text("ID3");
        });
    };
    const auto mfra = [](quint32 entries) {
        ByteBuilder b;
        b.box("mfra", [entries](ByteBuilder &m) {
            m.fullBox("tfra", 1, 0, [entries](ByteBuilder &t) {
                t.u32be(1).u32be(0x06).u32be(entries).u64be(512).u64be(4096).u8(1).u16be(2).u24be(3);
            });
            words(m, "mfro", {70});
        });
        return b.bytes();
    };
    const auto pssh = [&](quint32 kids) {
        return box("pssh", 1, 0, [kids](ByteBuilder &p) {
            p.raw(QByteArray::fromHex("edef8ba979d64acea3c827dcd51d21ed")).u32be(kids);
            p.raw(QByteArray::fromHex("00112233445566778899aabbccddeeff")).u32be(2).u16be(0xABCD);
        });
    };
    const QString kid = QStringLiteral("00112233-4455-6677-8899-aabbccddeeff");
    QTest::newRow("trex flags") << movieBox() << "default_sample_flags" << "16842752" << "non-sync sample, depends on others" << "";
    QTest::newRow("tfhd flag bits") << fragmentedFile({{1, baseIsMoof, {}, {}}}) << "default_base_is_moof" << "1" << "" << "";
    QTest::newRow("sidx first offset") << sidx(1) << "first_offset" << "100" << "first subsegment at byte 144" << "";
    QTest::newRow("sidx references past the box") << sidx(3) << "SAP_delta_time" << "10" << ""
                                                  << "entry_count claims 3 entries; only 1 fit in the box.";
    QTest::newRow("ssix ranges past the box")
        << box("ssix", 0, 0, [](ByteBuilder &s) { s.u32be(2).u32be(5).u32be(0x02000300); }) << "range_size" << "768" << ""
        << "subsegment_count claims 2 subsegments; only 1 fit in the box.\nentry_count claims 5 entries; only 1 fit in the box.";
    QTest::newRow("emsg version 0 value") << emsg(0) << "value" << "7" << "" << "";
    QTest::newRow("emsg version 1 time") << emsg(1) << "presentation_time" << "8589934592" << "" << "";
    QTest::newRow("emsg version 1 data") << emsg(1) << "message_data" << "ID3" << "" << "";
    QTest::newRow("emsg without terminator") << box("emsg", 0, 0, [](ByteBuilder &e) { e.text("urn:c"); }) << "scheme_id_uri"
                                             << "urn:c" << ""
                                             << "scheme_id_uri has no terminating zero byte before the end of the box.\n"
                                                "17 bytes are missing: its fields need 34 bytes, but it holds 17.";
    QTest::newRow("prft NTP time") << box("prft", 0, 0, [](ByteBuilder &p) { p.u32be(1).u32be(2208988801u).u32be(0x80000000).u32be(5); })
                                   << "ntp_timestamp" << QString::number((quint64(2208988801u) << 32) | 0x80000000)
                                   << "1970-01-01 00:00:01.500 UTC" << "";
    QTest::newRow("tfra 3-byte sample number") << mfra(1) << "sample_number" << "3" << "" << "";
    QTest::newRow("tfra entries past the box") << mfra(4) << "moof_offset" << "4096" << ""
                                               << "entry_count claims 4 entries; only 1 fit in the box.";
    QTest::newRow("mfro parent size") << mfra(1) << "parent_size" << "70" << "mfra at byte 0" << "";
    QTest::newRow("pssh system") << pssh(1) << "SystemID" << "edef8ba9-79d6-4ace-a3c8-27dcd51d21ed" << "Widevine" << "";
    QTest::newRow("pssh KIDs past the box") << pssh(9) << "KID" << kid << "" << "entry_count claims 9 entries; only 1 fit in the box.";
    QTest::newRow("senc IVs of 16 bytes")
        << box("senc", 0, 0, [](ByteBuilder &s) { s.u32be(2).raw(QByteArray(16, '\x11')).raw(QByteArray(16, '\x22')); })
        << "InitializationVector" << QString(32, QLatin1Char('1')) << "" << "";
    QTest::newRow("senc subsamples")
        << box("senc", 0, 2, [](ByteBuilder &s) { s.u32be(1).raw(QByteArray(8, '\x33')).u16be(2).u16be(5).u32be(100).u16be(6).u32be(200); })
        << "BytesOfProtectedData" << "100" << "" << "";
    QTest::newRow("senc of no known IV size") << box("senc", 0, 0, [](ByteBuilder &s) { s.u32be(2).raw(QByteArray(12, '\x44')); })
                                              << "InitializationVector" << QString(16, QLatin1Char('4')) << ""
                                              << "No IV size of 8 or 16 bytes fills the box; 8 is assumed.\n"
                                                 "sample_count claims 2 samples; only 1 fit in the box.";
}

void TestIsoFragments::fields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, readable);
    QFETCH(QString, note);

    Result result;
    parse(&result, factory(QStringLiteral("MP4")), bytes);
    QCOMPARE(result.shapeFault(bytes.size()), QString());
    const ElementRecord *element = result.sink.find(name);
    QVERIFY(element);
    QCOMPARE(element->value, value);
    QCOMPARE(element->readable, readable);
    QCOMPARE(notes(result.sink).join(QLatin1Char('\n')), note);
}

void TestIsoFragments::summaries_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("summaries"); // joined by " | "

    QTest::newRow("tkhd flags") << movieBox() << "tkhd" << "flags" << "enabled, in movie | enabled, in movie";
    QTest::newRow("tfhd flags") << fragmentedFile({{1, baseIsMoof | 0x38, {1, 1, syncFlags}, {}}}) << "tfhd" << "flags"
                                << "default duration, default size, default flags, default base is moof";
    const QByteArray ownFields = fragmentedFile({{1, baseIsMoof, {}, {{0x701, 2, {200, 30, 40, nonSyncFlags, 50, 60, syncFlags}}}}});
    QTest::newRow("trun flags") << ownFields << "trun" << "flags" << "data offset, durations, sizes, sample flags";
    QTest::newRow("samples with their own fields") << ownFields << "trun" << "sample"
                                                   << "size 40, duration 30 | size 60, duration 50, key";
    QTest::newRow("sizes alone, the first sample's flags")
        << fragmentedFile({{1, baseIsMoof, {}, {{0x205, 2, {200, syncFlags, 40, 60}}}}}) << "trun" << "sample"
        << "size 40, duration 10, key | size 60, duration 10";
    QTest::newRow("sound samples without flags are key")
        << fragmentedFile({{2, baseIsMoof, {}, {{0x201, 1, {200, 40}}}}}) << "trun" << "sample" << "size 40, duration 7, key";
    QTest::newRow("samples past the box") << fragmentedFile({{1, baseIsMoof, {}, {{0x200, 3, {40}}}}}) << "trun" << "sample"
                                          << "size 40, duration 10";
}

void TestIsoFragments::summaries()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, parent);
    QFETCH(QString, name);
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QVERIFY(result.ran);
    QTEST(readablesUnder(result.sink, parent, name), "summaries");
    QCOMPARE(result.shapeFault(file.size()), QString());
}

// Runs without sample fields claim samples that nothing in their box bounds: 2,000 of them
// claiming 2^32 - 1 samples each give no more samples than the file has bytes, quickly.
void TestIsoFragments::claimedSamplesBounded()
{
    Traf traf{1, baseIsMoof | 0x38, {1, 1, syncFlags}, {}};
    for (int i = 0; i < 2000; ++i)
        traf.runs << Run{0x1, 0xFFFFFFFF, {0}};
    const QByteArray file = fragmentedFile({traf});
    QElapsedTimer timer;
    timer.start();
    Result result;
    parse(&result, factory(QStringLiteral("MP4")), file);
    QVERIFY(result.ran);
    QVERIFY(result.sink.frames.size() > 4096 && qint64(result.sink.frames.size()) <= file.size());
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(result.shapeFault(file.size()), QString());
}

QTEST_GUILESS_MAIN(TestIsoFragments)
#include "test_iso_fragments.moc"
