// Where the AVI parser takes the frames from, on files built byte by byte: OpenDML super indexes
// that point anywhere, standard indexes that overrun their chunk, idx1 offsets of either form
// and files without an index.

#include "avi_parse.h"
#include "byte_builder.h"
#include "leftover_marker.h"

#include <QTest>

namespace {

// Stream 0: video at 25 frames/second. Stream 1: 16-bit PCM at 8000 samples/second.
void streamList(ByteBuilder &h, const char *type, quint32 rate, quint32 sampleSize, const ByteBuilder::Body &extra = {})
{
    h.riffList("LIST", "strl", [&](ByteBuilder &s) {
        s.riffChunk("strh", [&](ByteBuilder &c) {
            c.fourcc(type).fourcc("FMP4").zeros(12).u32le(1).u32le(rate).u32le(0).u32le(10).zeros(8).u32le(sampleSize).zeros(8);
        });
        s.riffChunk("strf", [](ByteBuilder &c) { c.zeros(40); });
        if (extra)
            extra(s);
    });
}

void mainHeader(ByteBuilder &h)
{
    h.riffChunk("avih", [](ByteBuilder &c) { c.u32le(40000).zeros(52); });
}

void dataChunk(ByteBuilder &m, const char *id, char marker, int size)
{
    m.riffChunk(id, [&](ByteBuilder &c) { c.raw(QByteArray(size, marker)); });
}

// Every frame as stream, the first byte of its data, key frame and time: "0a1@0".
QString frameList(AviParse &parse, const QByteArray &bytes)
{
    QStringList frames;
    for (const FrameRecord &frame : parse.sink.frames)
        frames << QStringLiteral("%1%2%3@%4")
                      .arg(frame.stream)
                      .arg(QLatin1Char(bytes.at(qsizetype(frame.offset))))
                      .arg(int(frame.keyFrame))
                      .arg(frame.time);
    return frames.join(QLatin1Char(' '));
}

QString allNotes(AviParse &parse)
{
    return QStringList(parse.sink.notes.values()).join(QLatin1Char('\n'));
}

// A video stream with a super index of two slots (entries of them in use, both pointing at
// target) and a movi list of two frames and their standard index; no idx1.
QByteArray superIndexFile(quint64 target, quint32 entries, quint32 standardEntries)
{
    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [&](ByteBuilder &r) {
        r.riffList("LIST", "hdrl", [&](ByteBuilder &h) {
            mainHeader(h);
            streamList(h, "vids", 25, 0, [&](ByteBuilder &s) {
                s.riffChunk("indx", [&](ByteBuilder &c) {
                    c.u16le(4).u8(0).u8(0).u32le(entries).fourcc("00dc").zeros(12);
                    c.u64le(target).u32le(48).u32le(2).u64le(target).u32le(48).u32le(2);
                });
            });
        });
        r.riffList("LIST", "movi", [&](ByteBuilder &m) {
            dataChunk(m, "00dc", 'a', 10);
            dataChunk(m, "00dc", 'c', 6);
            m.riffChunk("ix00", [&](ByteBuilder &c) {
                // Offsets count from the movi list's type field; bit 31 marks a frame that is no key frame.
                c.u16le(2).u8(0).u8(1).u32le(standardEntries).fourcc("00dc").u64le(0).u32le(0);
                c.u32le(0).u32le(10).u32le(0).u32le(0x80000006u);
            });
        });
    });
    QByteArray bytes = b.bytes();
    // The standard index's base is the movi type field, its entries the offsets of the data.
    const qsizetype movi = bytes.indexOf("movi");
    const qsizetype ix = bytes.indexOf("ix00");
    qToLittleEndian<quint64>(quint64(movi), bytes.data() + ix + 20);
    qToLittleEndian<quint32>(quint32(bytes.indexOf("aaaa") - movi), bytes.data() + ix + 32);
    qToLittleEndian<quint32>(quint32(bytes.indexOf("cccc") - movi), bytes.data() + ix + 40);
    return bytes;
}

// A video and a PCM stream; movi holds a, b, a "rec " list of c and d, a dropped frame, a chunk
// of a stream the file does not have, JUNK, f, and g: audio in a chunk named as video. idx1 lists the chunks of the entries
// "id:marker:form" (form r: relative to movi, a: absolute; marker - for the empty chunk), the
// first video frame a key frame; no idx1 when entries is empty.
QByteArray idx1File(const QString &entries)
{
    const auto build = [](const QByteArray &index) {
        ByteBuilder b;
        b.riffList("RIFF", "AVI ", [&](ByteBuilder &r) {
            r.riffList("LIST", "hdrl", [&](ByteBuilder &h) {
                mainHeader(h);
                streamList(h, "vids", 25, 0);
                streamList(h, "auds", 8000, 2);
            });
            r.riffList("LIST", "movi", [](ByteBuilder &m) {
                dataChunk(m, "00dc", 'a', 10);
                dataChunk(m, "01wb", 'b', 8);
                m.riffList("LIST", "rec ", [](ByteBuilder &rec) {
                    dataChunk(rec, "00dc", 'c', 6);
                    dataChunk(rec, "01wb", 'd', 6);
                });
                m.riffChunk("00dc");
                dataChunk(m, "05dc", 'e', 4);
                dataChunk(m, "JUNK", 'j', 4);
                dataChunk(m, "00dc", 'f', 4);
                dataChunk(m, "01dc", 'g', 4);
            });
            if (!index.isNull())
                r.riffChunk("idx1", [&](ByteBuilder &c) { c.raw(index); });
        });
        return b.bytes();
    };
    if (entries.isEmpty())
        return build(QByteArray());
    const QByteArray layout = build(QByteArray(""));
    const qsizetype movi = layout.indexOf("movi");
    const qsizetype dropped = layout.indexOf(QByteArray("00dc\0\0\0\0", 8));
    ByteBuilder index;
    bool first = true;
    for (const QString &entry : entries.split(QLatin1Char(' '))) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        const QByteArray id = parts[0].toLatin1();
        const QByteArray marker = parts[1] == QLatin1String("-") ? QByteArray() : QByteArray(4, parts[1].at(0).toLatin1());
        const qsizetype chunk = marker.isEmpty() ? dropped : layout.indexOf(marker) - 8;
        const quint32 size = qFromLittleEndian<quint32>(layout.constData() + chunk + 4);
        const quint32 flags = id.endsWith("wb") || first ? 0x10 : 0;
        first = first && !id.endsWith("dc");
        index.fourcc(id.constData()).u32le(flags).u32le(quint32(parts[2] == QLatin1String("a") ? chunk : chunk - movi)).u32le(size);
    }
    return build(index.bytes());
}

} // namespace

class TestAviIndexes : public QObject
{
    Q_OBJECT

private slots:
    void superIndex_data();
    void superIndex();
    void idx1_data();
    void idx1();
    void entrySummaries_data();
    void entrySummaries();
};

void TestAviIndexes::superIndex_data()
{
    QTest::addColumn<int>("target"); // 0: ix00, 1: past the file, 2: the indx chunk, 3: a data chunk
    QTest::addColumn<quint32>("entries");
    QTest::addColumn<quint32>("standardEntries");
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QString>("note");

    // Frames found in movi, without an index, are no key frames.
    QTest::newRow("standard index in movi") << 0 << 1u << 2u << "0a1@0 0c0@1" << "";
    QTest::newRow("past the end of the file") << 1 << 1u << 2u << "0a0@0 0c0@1" << "past the end of the file";
    QTest::newRow("at the super index itself") << 2 << 1u << 2u << "0a0@0 0c0@1" << "super index itself";
    QTest::newRow("at a frame") << 3 << 1u << 2u << "0a0@0 0c0@1" << "no standard index begins";
    QTest::newRow("standard index overrunning its chunk")
        << 0 << 1u << 3000000000u << "0a1@0 0c0@1" << "claims 3000000000 entries but holds 2";
    QTest::newRow("standard index listed twice") << 0 << 2u << 2u << "0a1@0 0c0@1" << "read once";
}

void TestAviIndexes::superIndex()
{
    QFETCH(int, target);
    QFETCH(quint32, entries);
    QFETCH(quint32, standardEntries);
    const QByteArray layout = superIndexFile(0, entries, standardEntries);
    const quint64 targets[] = {quint64(layout.indexOf("ix00")), quint64(1) << 40, quint64(layout.indexOf("indx")),
                               quint64(layout.indexOf("aaaa") - 8)};
    const QByteArray bytes = superIndexFile(targets[target], entries, standardEntries);

    AviParse parse;
    parseAviBytes(&parse, bytes);
    QCOMPARE(parse.outcome.firstFailure, 0);
    QTEST(frameList(parse, bytes), "frames");
    QFETCH(QString, note);
    QVERIFY2(note.isEmpty() ? allNotes(parse).isEmpty() : allNotes(parse).contains(note), qPrintable(allNotes(parse)));
    // The slot past the entries in use is reserved room, not garbage.
    QCOMPARE(parse.count(QString::fromLatin1(leftoverMarker)), 0);
    QCOMPARE(parse.count("unused"), entries == 1 ? 1 : 0);
    QCOMPARE(parse.shapeFault(bytes.size()), QString());
}

void TestAviIndexes::idx1_data()
{
    QTest::addColumn<QString>("entries");
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QString>("note");

    // PCM times count samples of 2 bytes; the dropped frame takes its time.
    const QString all = QStringLiteral("0a1@0 1b1@0 0c0@1 1d1@4 0f0@3");
    QTest::newRow("relative offsets") << "00dc:a:r 01wb:b:r 00dc:c:r 01wb:d:r 00dc:-:r 00dc:f:r" << all
                                      << "relative to the movi list";
    QTest::newRow("absolute offsets") << "00dc:a:a 01wb:b:a 00dc:c:a 01wb:d:a 00dc:-:a 00dc:f:a" << all
                                      << "absolute: counted from the start of the file";
    QTest::newRow("both forms: the first entries decide")
        << "00dc:a:r 01wb:b:r 00dc:c:r 01wb:d:r 00dc:-:r 00dc:f:a" << "0a1@0 1b1@0 0c0@1 1d1@4"
        << "Entry 5 points at no 00dc chunk";
    QTest::newRow("no index: the chunks of movi") << "" << "0a0@0 1b1@0 0c0@1 1d1@4 0f0@3 1g1@7" << "";
    QTest::newRow("a stream idx1 does not list: from movi")
        << "00dc:a:r 00dc:c:r 00dc:-:r 00dc:f:r" << "0a1@0 0c0@1 0f0@3 1b1@0 1d1@4 1g1@7" << "relative";
    // A chunk is a frame of the stream its number names, a key frame unless that is video.
    QTest::newRow("a video chunk id naming the audio stream") << "00dc:a:r 01dc:g:r" << "0a1@0 1g1@0" << "relative";
}

void TestAviIndexes::idx1()
{
    QFETCH(QString, entries);
    const QByteArray bytes = idx1File(entries);
    AviParse parse;
    parseAviBytes(&parse, bytes);
    QCOMPARE(parse.outcome.firstFailure, 0);
    QTEST(frameList(parse, bytes), "frames");
    QFETCH(QString, note);
    QVERIFY2(note.isEmpty() ? allNotes(parse).isEmpty() : allNotes(parse).contains(note), qPrintable(allNotes(parse)));
    QCOMPARE(parse.shapeFault(bytes.size()), QString());
}

void TestAviIndexes::entrySummaries_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("entry");     // the name of the index's entry rows
    QTest::addColumn<QString>("summaries"); // joined by " | "

    const auto at = [](const QByteArray &file, const QByteArray &bytes, int back = 0) {
        return QString::number(file.indexOf(bytes) - back);
    };
    // The first video entry alone has AVIIF_KEYFRAME; the audio entries have it too, but it
    // names key frames of video only. The offsets are those of the chunks.
    const QByteArray idx1 = idx1File("00dc:a:r 01wb:b:r 00dc:-:r");
    QTest::newRow("idx1") << idx1 << "idx1_entry"
                          << QStringLiteral("00dc, key, 10 bytes at %1 | 01wb, 8 bytes at %2 | 00dc, 0 bytes at %3")
                                 .arg(at(idx1, "aaaa", 8), at(idx1, "bbbb", 8), at(idx1, QByteArray("00dc\0\0\0\0", 8)));
    // The super index's entry gives the standard index's chunk; the standard index's entries
    // the frames' data.
    const QByteArray layout = superIndexFile(0, 1, 2);
    const QByteArray opendml = superIndexFile(quint64(layout.indexOf("ix00")), 1, 2);
    QTest::newRow("super and standard index") << opendml << "index_entry"
        << QStringLiteral("48 bytes at %1, duration 2 | 00dc, key, 10 bytes at %2 | 00dc, 6 bytes at %3")
               .arg(at(opendml, "ix00"), at(opendml, "aaaa"), at(opendml, "cccc"));
}

void TestAviIndexes::entrySummaries()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, entry);
    AviParse parse;
    parseAviBytes(&parse, file);
    QStringList shown;
    for (const ElementRecord &record : parse.sink.elements())
        if (record.name == entry)
            shown << record.readable;
    QTEST(shown.join(QStringLiteral(" | ")), "summaries");
}

QTEST_GUILESS_MAIN(TestAviIndexes)
#include "test_avi_indexes.moc"
