// The CodecPrivate of real files (tests/fixtures/mkv/make_codec_fixtures.sh), decoded into fields
// and checked against what ffprobe and mkvinfo say of the same tracks; then the same bytes cut
// short, or with a count or a size made larger than the bytes.

#include "byte_builder.h"
#include "mkv_parse.h"
#include "status.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(KESTRUNE_FIXTURES "/mkv/") + name;
}

QStringList expectedLines(const QString &name, const char *kind)
{
    QFile file(fixture(QStringLiteral("expected/") + name + QLatin1Char('.') + QLatin1String(kind)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// ffprobe's "streams.stream.0.key=value" for the file's only stream, without quotes. ffprobe
// names numbered profiles "Profile N"; the number is what the file holds.
QString probed(const QString &name, const QString &key)
{
    const QString prefix = QStringLiteral("streams.stream.0.") + key + QLatin1Char('=');
    for (const QString &line : expectedLines(name, "ffprobe.txt"))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).remove(QLatin1Char('"')).remove(QStringLiteral("Profile "));
    return QString();
}

// mkvinfo's line for label: the value, then its position, size and data size.
QRegularExpressionMatch listed(const QString &name, const QString &label)
{
    const QRegularExpression line(QStringLiteral("\\+ ") + QRegularExpression::escape(label)
                                  + QStringLiteral(": (.*) at (\\d+) size (\\d+) data size (\\d+)$"));
    for (const QString &text : expectedLines(name, "mkvinfo.txt")) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            return match;
    }
    return {};
}

// The codec delay mkvinfo gives (h:mm:ss.nnnnnnnnn) in samples at 48 kHz, as Opus counts its
// pre-skip.
QString delaySamples(const QString &name)
{
    const QStringList parts =
        listed(name, QStringLiteral("Codec-inherent delay")).captured(1).split(QLatin1Char(':'));
    if (parts.size() != 3)
        return QString();
    const double seconds = parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + parts[2].toDouble();
    return QString::number(qRound64(seconds * 48000));
}

// The CodecPrivate data of the fixture, where mkvinfo lists it.
QByteArray privateData(const QString &name)
{
    const QRegularExpressionMatch entry = listed(name, QStringLiteral("Codec's private data"));
    QFile file(fixture(name));
    if (!entry.hasMatch() || !file.open(QIODevice::ReadOnly))
        return {};
    const qint64 dataSize = entry.captured(4).toLongLong();
    const qint64 end = entry.captured(2).toLongLong() + entry.captured(3).toLongLong();
    return file.readAll().mid(end - dataSize, dataSize);
}

// Elements below top: in pre-order, the run after it of those deeper than it.
std::vector<ElementRecord> below(const MkvParse &parse, const ElementRecord &top)
{
    const std::vector<ElementRecord> &all = parse.sink.elements();
    std::vector<ElementRecord> subtree;
    for (size_t i = size_t(top.id); i < all.size() && all[i].level > top.level; ++i)
        subtree.push_back(all[i]);
    return subtree;
}

const ElementRecord *named(const std::vector<ElementRecord> &records, const QString &name)
{
    for (const ElementRecord &record : records)
        if (record.name == name)
            return &record;
    return nullptr;
}

// One TrackEntry with codecId and a CodecPrivate of data; a TrackUID follows inside the entry,
// bytes no decoder may take. *dataStart receives where the data begins.
QByteArray trackFile(const QString &codecId, const QByteArray &data, qint64 *dataStart)
{
    constexpr qint64 trackUid = 4; // id (2), size (1) and value (1) of the TrackUID
    ByteBuilder b;
    b.ebml(0x1A45DFA3, [](ByteBuilder &header) { header.ebmlString(0x4282, "matroska"); });
    b.ebml(0x18538067, [&](ByteBuilder &segment) {
        segment.ebml(0x1654AE6B, [&](ByteBuilder &tracks) {
            tracks.ebml(0xAE, [&](ByteBuilder &entry) {
                entry.ebmlUInt(0xD7, 1).ebmlString(0x86, codecId.toLatin1()).ebmlString(0x63A2, data);
                entry.ebmlUInt(0x73C5, 7);
            });
        });
    });
    *dataStart = b.size() - trackUid - data.size();
    return b.bytes();
}

QString key(const ElementRecord &record, qint64 dataStart)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6").arg(record.level).arg(record.name).arg(record.offset - dataStart * 8)
        .arg(record.size).arg(record.value, record.readable);
}

// The fields decoded from the CodecPrivate data beginning at dataStart.
std::vector<ElementRecord> decoded(const MkvParse &parse, qint64 dataStart)
{
    const ElementRecord *codecPrivate = parse.sink.find(QStringLiteral("CodecPrivate"));
    std::vector<ElementRecord> fields;
    if (!codecPrivate)
        return fields;
    for (const ElementRecord &record : below(parse, *codecPrivate))
        if (record.offset >= dataStart * 8
            && !(record.parentId == codecPrivate->id && record.name == QLatin1String("value")))
            fields.push_back(record);
    return fields;
}

struct Layout
{
    qint64 dataStart = 0;
    qint64 held = 0;      ///< bytes of the data in the element and the file
    qint64 fileBytes = 0;
};

// A damaged CodecPrivate, whose first valid bytes are those of the whole one: the walk goes
// on, nothing it shows lies past the bytes the data holds, and what lies in the valid ones is
// shown as in the whole data.
void checkDamaged(const MkvParse &whole, qint64 wholeStart, const MkvParse &damaged, const Layout &layout, qint64 valid)
{
    QVERIFY(damaged.ran && damaged.outcome.status == Status::Success && !damaged.outcome.stalled);
    QCOMPARE(damaged.shapeFault(layout.fileBytes), QString());
    const ElementRecord *codecPrivate = damaged.sink.find(QStringLiteral("CodecPrivate"));
    QVERIFY(codecPrivate);
    for (const ElementRecord &record : below(damaged, *codecPrivate))
        QVERIFY2(record.offset + record.size <= (layout.dataStart + layout.held) * 8,
                 qPrintable(record.name + QStringLiteral(" reaches past the data")));
    QSet<QString> shown;
    for (const ElementRecord &record : decoded(damaged, layout.dataStart))
        shown.insert(key(record, layout.dataStart));
    for (const ElementRecord &record : decoded(whole, wholeStart))
        if (record.offset + record.size <= (wholeStart + valid) * 8)
            QVERIFY2(shown.contains(key(record, wholeStart)), qPrintable(record.name + QStringLiteral(" is lost")));
}

} // namespace

class TestMkvCodecs : public QObject
{
    Q_OBJECT

private slots:
    void decodedAsFfprobeSays_data();
    void decodedAsFfprobeSays();
    void cutAtEveryLength_data();
    void cutAtEveryLength();
    void damaged_data();
    void damaged();
};

void TestMkvCodecs::decodedAsFfprobeSays_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("readable"); // compared: the field's readable value, else its value
    QTest::addColumn<QString>("key");   // ffprobe's, or "delay" for mkvinfo's codec delay
    QTest::addColumn<QString>("pattern");

    QTest::newRow("h264 profile") << "codec_h264.mkv" << "AVCProfileIndication" << true << "profile" << "%1";
    QTest::newRow("h264 level") << "codec_h264.mkv" << "AVCLevelIndication" << false << "level" << "%1";
    QTest::newRow("hevc profile") << "codec_hevc.mkv" << "general_profile_idc" << true << "profile" << "%1";
    QTest::newRow("hevc level") << "codec_hevc.mkv" << "general_level_idc" << false << "level" << "%1";
    QTest::newRow("av1 profile") << "codec_av1.mkv" << "seq_profile" << true << "profile" << "%1";
    QTest::newRow("av1 level") << "codec_av1.mkv" << "seq_level_idx_0" << false << "level" << "%1";
    QTest::newRow("aac object type") << "codec_aac.mkv" << "audioObjectType" << true << "profile" << "AAC %1";
    QTest::newRow("aac sampling rate") << "codec_aac.mkv" << "samplingFrequencyIndex" << true << "sample_rate"
                                       << "%1 Hz";
    QTest::newRow("aac channels") << "codec_aac.mkv" << "channelConfiguration" << false << "channels" << "%1";
    QTest::newRow("opus channels") << "codec_opus.mkv" << "OutputChannelCount" << false << "channels" << "%1";
    QTest::newRow("opus pre-skip") << "codec_opus.mkv" << "PreSkip" << false << "delay" << "%1";
    QTest::newRow("vorbis channels") << "codec_vorbis.mkv" << "audio_channels" << false << "channels" << "%1";
    QTest::newRow("vorbis sample rate") << "codec_vorbis.mkv" << "audio_sample_rate" << false << "sample_rate"
                                        << "%1";
    QTest::newRow("flac sample rate") << "codec_flac.mkv" << "sample_rate" << false << "sample_rate" << "%1";
    QTest::newRow("flac channels") << "codec_flac.mkv" << "channels_minus_1" << true << "channels" << "%1 channels";
    QTest::newRow("flac bits") << "codec_flac.mkv" << "bits_per_sample_minus_1" << true << "bits_per_raw_sample"
                               << "%1 bits";
    QTest::newRow("vp9 profile") << "codec_vp9.mkv" << "profile" << false << "profile" << "%1";
}

void TestMkvCodecs::decodedAsFfprobeSays()
{
    QFETCH(QString, name);
    QFETCH(QString, field);
    QFETCH(bool, readable);
    QFETCH(QString, key);
    QFETCH(QString, pattern);
    MkvParse parse;
    parseMkvFile(&parse, fixture(name));
    QCOMPARE(parse.outcome.firstFailure, int(Status::Success));

    // The element where mkvinfo lists it, its data decoded without a note.
    const ElementRecord *codecPrivate = parse.sink.find(QStringLiteral("CodecPrivate"));
    const QRegularExpressionMatch listing = listed(name, QStringLiteral("Codec's private data"));
    QVERIFY(codecPrivate && listing.hasMatch());
    QCOMPARE(codecPrivate->offset / 8, listing.captured(2).toLongLong());
    QCOMPARE(codecPrivate->size / 8, listing.captured(3).toLongLong());
    const qint64 dataSize = listing.captured(4).toLongLong();
    QCOMPARE(parse.sink.streamRecords.size(), 1);
    const StreamRecord &stream = parse.sink.streamRecords[0];
    QCOMPARE(qint64(stream.configOffset), (codecPrivate->offset + codecPrivate->size) / 8 - dataSize);
    QCOMPARE(qint64(stream.configSize), dataSize);
    const std::vector<ElementRecord> fields = below(parse, *codecPrivate);
    QVERIFY(!parse.sink.notes.contains(codecPrivate->id));
    for (const ElementRecord &record : fields)
        QVERIFY2(!parse.sink.notes.contains(record.id), qPrintable(parse.sink.notes.value(record.id)));

    const ElementRecord *ours = named(fields, field);
    QVERIFY2(ours, qPrintable(field));
    const QString theirs = key == QLatin1String("delay") ? delaySamples(name) : probed(name, key);
    QVERIFY(!theirs.isEmpty());
    QCOMPARE(readable ? ours->readable : ours->value, pattern.arg(theirs));

    // The codec is named beside its identifier.
    const std::vector<ElementRecord> codecIdFields = below(parse, *parse.sink.find(QStringLiteral("CodecID")));
    const ElementRecord *codecId = named(codecIdFields, QStringLiteral("value"));
    QVERIFY(codecId);
    QCOMPARE(codecId->value, listed(name, QStringLiteral("Codec ID")).captured(1));
    QVERIFY(!codecId->readable.isEmpty());
}

void TestMkvCodecs::cutAtEveryLength_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"codec_h264.mkv", "codec_hevc.mkv", "codec_av1.mkv", "codec_aac.mkv",
                             "codec_opus.mkv", "codec_flac.mkv", "codec_vorbis.mkv", "codec_vp9.mkv"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// The data cut by the element's size and by the end of the file, at every length where the
// structure is dense and at a sample of lengths in the long opaque tails (SEI, Vorbis setup).
void TestMkvCodecs::cutAtEveryLength()
{
    QFETCH(QString, name);
    const QString codecId = listed(name, QStringLiteral("Codec ID")).captured(1);
    const QByteArray data = privateData(name);
    QVERIFY(!codecId.isEmpty() && !data.isEmpty());
    qint64 dataStart = 0;
    const QByteArray file = trackFile(codecId, data, &dataStart);
    MkvParse whole;
    parseMkvBytes(&whole, file);
    QCOMPARE(whole.outcome.firstFailure, int(Status::Success));

    for (qint64 keep = 0; keep < data.size(); keep += keep < 128 ? 1 : 37) {
        Layout bySize;
        const QByteArray shortened = trackFile(codecId, data.left(keep), &bySize.dataStart);
        bySize.held = keep;
        bySize.fileBytes = shortened.size();
        MkvParse cutBySize;
        parseMkvBytes(&cutBySize, shortened);
        checkDamaged(whole, dataStart, cutBySize, bySize, keep);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("element of %1 bytes").arg(keep)));

        const Layout byFileEnd{dataStart, keep, dataStart + keep};
        MkvParse cutByFileEnd;
        parseMkvBytes(&cutByFileEnd, file.left(byFileEnd.fileBytes));
        checkDamaged(whole, dataStart, cutByFileEnd, byFileEnd, keep);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("file cut after %1 bytes of the data").arg(keep)));
    }
}

void TestMkvCodecs::damaged_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("keep");    // bytes of the data kept, -1 all
    QTest::addColumn<int>("patchAt"); // byte of the data replaced, -1 none
    QTest::addColumn<int>("patch");
    QTest::addColumn<int>("failure"); // a count that only runs out of records is noted, no more

    QTest::newRow("h264 SPS count beyond the bytes") << "codec_h264.mkv" << -1 << 5 << 0xFF << 5;
    QTest::newRow("h264 SPS longer than the data") << "codec_h264.mkv" << -1 << 6 << 0x7F << 5;
    QTest::newRow("h264 cut in the SPS") << "codec_h264.mkv" << 12 << -1 << 0 << 5;
    QTest::newRow("hevc arrays beyond the bytes") << "codec_hevc.mkv" << -1 << 22 << 0xFF << 0;
    QTest::newRow("av1 cut in the header") << "codec_av1.mkv" << 2 << -1 << 0 << 5;
    QTest::newRow("aac cut in the first byte") << "codec_aac.mkv" << 1 << -1 << 0 << 5;
    QTest::newRow("opus channel mapping beyond the bytes") << "codec_opus.mkv" << -1 << 18 << 1 << 5;
    QTest::newRow("flac block longer than the data") << "codec_flac.mkv" << -1 << 5 << 0x10 << 5;
    QTest::newRow("vorbis packet count beyond the bytes") << "codec_vorbis.mkv" << -1 << 0 << 0xFF << 5;
    QTest::newRow("vorbis packet sizes beyond the bytes") << "codec_vorbis.mkv" << 40 << -1 << 0 << 5;
    QTest::newRow("vp9 feature longer than the data") << "codec_vp9.mkv" << -1 << 7 << 0x32 << 5;
}

// Damage the decoders must see: the walk shows what it can, reports the failure and notes it.
void TestMkvCodecs::damaged()
{
    QFETCH(QString, name);
    QFETCH(int, keep);
    QFETCH(int, patchAt);
    QFETCH(int, patch);
    QFETCH(int, failure);
    const QString codecId = listed(name, QStringLiteral("Codec ID")).captured(1);
    const QByteArray data = privateData(name);
    QVERIFY(!data.isEmpty() && keep < data.size() && patchAt < data.size());
    qint64 wholeStart = 0;
    MkvParse whole;
    parseMkvBytes(&whole, trackFile(codecId, data, &wholeStart));

    QByteArray bytes = data.left(keep < 0 ? data.size() : keep);
    if (patchAt >= 0)
        bytes[patchAt] = char(patch);
    Layout layout;
    const QByteArray file = trackFile(codecId, bytes, &layout.dataStart);
    layout.held = bytes.size();
    layout.fileBytes = file.size();
    MkvParse parse;
    parseMkvBytes(&parse, file);
    checkDamaged(whole, wholeStart, parse, layout, patchAt >= 0 ? patchAt : bytes.size());
    QCOMPARE(parse.outcome.firstFailure, failure);
    const ElementRecord *codecPrivate = parse.sink.find(QStringLiteral("CodecPrivate"));
    bool noted = parse.sink.notes.contains(codecPrivate->id);
    for (const ElementRecord &record : below(parse, *codecPrivate))
        noted = noted || parse.sink.notes.contains(record.id);
    QVERIFY2(noted, qPrintable(parse.sink.tree()));
}

QTEST_GUILESS_MAIN(TestMkvCodecs)
#include "test_mkv_codecs.moc"
