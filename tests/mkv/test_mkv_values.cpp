// Readable values of real files against what mkvinfo says of the same elements: times, and the
// elements that seek and cue positions point at.

#include "mkv_parse.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(KESTRUNE_FIXTURES "/mkv/") + name;
}

struct Listed
{
    QString label;
    QString value;
    qint64 position = 0;
    qint64 dataStart = 0;
};

// "|  + Label: value at 331 size 7 data size 3", as make_fixtures.sh stores mkvinfo's list.
QList<Listed> readMkvinfo(const QString &name)
{
    static const QRegularExpression line(
        QStringLiteral("^[| ]*\\+ ([^:]+)(?:: (.*?))? at (\\d+) size (\\d+)(?: data size (\\d+))?$"));
    QFile file(fixture(QStringLiteral("expected/") + name + QStringLiteral(".mkvinfo.txt")));
    QList<Listed> listed;
    if (!file.open(QIODevice::ReadOnly))
        return listed;
    for (const QString &text : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            continue;
        const qint64 position = match.captured(3).toLongLong();
        const qint64 size = match.captured(4).toLongLong();
        const qint64 dataSize = match.captured(5).isEmpty() ? 0 : match.captured(5).toLongLong();
        listed << Listed{match.captured(1), match.captured(2), position, position + size - dataSize};
    }
    return listed;
}

// "00:00:01.040000000" and "0:00:01.040000000" alike, in nanoseconds; -1 when it is no time.
qint64 nanoseconds(const QString &text)
{
    static const QRegularExpression time(QStringLiteral("^(\\d+):(\\d\\d):(\\d\\d)\\.(\\d{9})"));
    const QRegularExpressionMatch match = time.match(text);
    if (!match.hasMatch())
        return -1;
    return ((match.captured(1).toLongLong() * 60 + match.captured(2).toLongLong()) * 60
            + match.captured(3).toLongLong()) * 1000000000 + match.captured(4).toLongLong();
}

// mkvinfo's labels of the elements positions point at, and our names for them.
QString ourName(const QString &label)
{
    static const QHash<QString, QString> names = {
        {"Segment information", "SegmentInfo"}, {"Tracks", "Tracks"}, {"Cues", "Cues"},
        {"Tags", "Tags"}, {"Chapters", "Chapters"}, {"Attachments", "Attachments"},
        {"Cluster", "Cluster"}, {"Simple block", "SimpleBlock"}, {"Block group", "BlockGroup"},
    };
    return names.value(label);
}

} // namespace

class TestMkvValues : public QObject
{
    Q_OBJECT

private slots:
    void asMkvinfoShowsThem_data();
    void asMkvinfoShowsThem();
};

void TestMkvValues::asMkvinfoShowsThem_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"h264_vorbis.mkv", "h264_vorbis_laced.mkv", "blockgroups.mkv", "vp9_opus.webm",
                             "vp8_opus.webm", "extras.mkv", "tracks_after_clusters.mkv"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestMkvValues::asMkvinfoShowsThem()
{
    QFETCH(QString, name);
    const QList<Listed> listed = readMkvinfo(name);
    QVERIFY(!listed.isEmpty());
    QHash<qint64, const Listed *> byPosition;
    qint64 segmentData = 0;
    for (const Listed &entry : listed) {
        byPosition.insert(entry.position, &entry);
        if (entry.label == QLatin1String("Segment"))
            segmentData = entry.dataStart;
    }

    MkvParse parse;
    parseMkvFile(&parse, fixture(name));
    QHash<qint64, QString> readables; // of the value fields, by the offset of their element
    const std::vector<ElementRecord> &all = parse.sink.elements();
    QHash<qint64, qint64> offsetOf;
    for (const ElementRecord &record : all)
        offsetOf.insert(record.id, record.offset / 8);
    for (const ElementRecord &record : all)
        if (record.name == QLatin1String("value"))
            readables.insert(offsetOf.value(record.parentId), record.readable);

    static const QStringList times = {"Duration", "Default duration", "Chapter time start", "Cue time",
                                      "Codec-inherent delay", "Seek pre-roll"};
    int compared = 0;
    qint64 cueCluster = -1;
    for (const Listed &entry : listed) {
        const QString where = QStringLiteral("%1 at %2").arg(entry.label).arg(entry.position);
        const QString ours = readables.value(entry.position);
        qint64 target = -1;
        if (times.contains(entry.label)) {
            QVERIFY2(nanoseconds(ours) == nanoseconds(entry.value) && nanoseconds(ours) >= 0,
                     qPrintable(where + QStringLiteral(": we show ") + ours));
        } else if (entry.label == QLatin1String("Seek position") || entry.label == QLatin1String("Cue cluster position")) {
            target = segmentData + entry.value.toLongLong();
            if (entry.label.startsWith(QLatin1String("Cue")) && byPosition.contains(target))
                cueCluster = byPosition.value(target)->dataStart;
        } else if (entry.label == QLatin1String("Cue relative position")) {
            target = cueCluster + entry.value.toLongLong();
        } else {
            continue;
        }
        if (target >= 0) {
            const Listed *pointed = byPosition.value(target);
            QVERIFY2(pointed, qPrintable(where + QStringLiteral(": mkvinfo lists nothing at the target")));
            QCOMPARE(ours, QStringLiteral("%1 at byte %2").arg(ourName(pointed->label)).arg(target));
        }
        ++compared;
    }
    QVERIFY(compared >= 3);
}

QTEST_GUILESS_MAIN(TestMkvValues)
#include "test_mkv_values.moc"
