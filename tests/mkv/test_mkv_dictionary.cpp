#include "mkv_parse.h"

#include <QFile>
#include <QSet>
#include <QTest>

namespace {

/// Only enumLabel is reached through the probe; the dictionary is public.
struct Probe : ContainerMKV
{
    using ContainerMKV::enumLabel;
};

/// One element of the public element list.
struct Listed
{
    quint32 id = 0;
    QString name;
    QString type;
};

/// The element list transcribed from the public schema files, one "id,name,type,path" line per
/// element after a comment line.
QList<Listed> listedElements()
{
    QFile file(QStringLiteral(KESTRUNE_FIXTURES "/mkv/matroska_elements.csv"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QList<Listed> listed;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() != 4)
            return {};
        bool ok = false;
        listed.append({fields[0].toUInt(&ok, 16), fields[1], fields[2]});
        if (!ok)
            return {};
    }
    return listed;
}

/// Public name -> the name our dictionary has kept from before the public one changed.
const QHash<QString, QString> &keptNames()
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("Info"), QStringLiteral("SegmentInfo")},
        {QStringLiteral("SegmentUUID"), QStringLiteral("SegmentUID")},
        {QStringLiteral("PrevUUID"), QStringLiteral("PrevUID")},
        {QStringLiteral("NextUUID"), QStringLiteral("NextUID")},
        {QStringLiteral("TimestampScale"), QStringLiteral("TimecodeScale")},
        {QStringLiteral("Timestamp"), QStringLiteral("Timecode")},
        {QStringLiteral("ReferenceTimestamp"), QStringLiteral("ReferenceTimeCode")},
        {QStringLiteral("TrackTimestampScale"), QStringLiteral("iTrackTimecodeScale")},
        {QStringLiteral("UncompressedFourCC"), QStringLiteral("ColourSpace")},
        {QStringLiteral("FileMediaType"), QStringLiteral("FileMimeType")},
        {QStringLiteral("ChapterSegmentUUID"), QStringLiteral("ChapterSegmentUID")},
        {QStringLiteral("ChapterTrackUID"), QStringLiteral("ChapterTrackNumber")},
    };
    return names;
}

int elementType(const QString &schemaType)
{
    static const QHash<QString, int> types = {
        {QStringLiteral("master"), ContainerAbstract::Master},
        {QStringLiteral("uinteger"), ContainerAbstract::UInteger},
        {QStringLiteral("integer"), ContainerAbstract::SInteger},
        {QStringLiteral("float"), ContainerAbstract::Float},
        {QStringLiteral("string"), ContainerAbstract::String},
        {QStringLiteral("utf-8"), ContainerAbstract::UTF8},
        {QStringLiteral("date"), ContainerAbstract::Date},
        {QStringLiteral("binary"), ContainerAbstract::Binary},
    };
    return types.value(schemaType, -1);
}

} // namespace

class TestMkvDictionary : public QObject
{
    Q_OBJECT

private slots:
    void listedElementIsKnown_data();
    void listedElementIsKnown();
    void namesAreUnique();
    void unlistedRowsAreDeprecated();
    void deprecation_data();
    void deprecation();
    void oldRowsKeepWhatTheyWere_data();
    void oldRowsKeepWhatTheyWere();
    void enumLabel_data();
    void enumLabel();

private:
    ContainerMKV m_parser;
};

void TestMkvDictionary::listedElementIsKnown_data()
{
    QTest::addColumn<uint>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    const QList<Listed> listed = listedElements();
    QVERIFY2(listed.size() > 250, "the element list is missing or damaged");
    for (const Listed &element : listed)
        QTest::newRow(qPrintable(element.name)) << uint(element.id) << element.name << element.type;
}

void TestMkvDictionary::listedElementIsKnown()
{
    QFETCH(uint, id);
    QFETCH(QString, name);
    QFETCH(QString, type);
    const ContainerMKV::ElementMKV *element = m_parser.dictionary().find(id);
    QVERIFY2(element, qPrintable(QStringLiteral("no row for 0x%1").arg(id, 0, 16)));
    QCOMPARE(element->name, keptNames().value(name, name));
    QCOMPARE(element->type, elementType(type));
}

void TestMkvDictionary::namesAreUnique()
{
    QSet<QString> names;
    for (const ContainerMKV::ElementMKV *element : m_parser.dictionary().records()) {
        QVERIFY2(!names.contains(element->name), qPrintable(element->name));
        names.insert(element->name);
    }
}

// The rows the public list lacks: the signature elements and the denominator of older Matroska
// versions, all deprecated.
void TestMkvDictionary::unlistedRowsAreDeprecated()
{
    const QSet<QString> expected = {
        QStringLiteral("SignatureSlot"), QStringLiteral("SignatureAlgo"), QStringLiteral("SignatureHash"),
        QStringLiteral("SignaturePublicKey"), QStringLiteral("Signature"),
        QStringLiteral("SignatureElements"), QStringLiteral("SignatureElementList"),
        QStringLiteral("SignedElement"), QStringLiteral("TimecodeScaleDenominator"),
    };
    QSet<quint32> listedIds;
    for (const Listed &element : listedElements())
        listedIds.insert(element.id);
    QSet<QString> unlisted;
    const auto &records = m_parser.dictionary().records();
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        if (listedIds.contains(it.key()))
            continue;
        unlisted.insert(it.value()->name);
        QVERIFY2(it.value()->deprecated, qPrintable(it.value()->name));
    }
    QCOMPARE(unlisted, expected);
}

// Taken from the schema: minver="0" maxver="0", or a maxver below the current version 4.
void TestMkvDictionary::deprecation_data()
{
    QTest::addColumn<uint>("id");
    QTest::addColumn<bool>("deprecated");
    QTest::newRow("BlockVirtual") << 0xA2u << true;
    QTest::newRow("ReferenceTimestamp") << 0xCAu << true;
    QTest::newRow("MinCache") << 0x6DE7u << true;
    QTest::newRow("TrackTimestampScale, maxver 3") << 0x23314Fu << true;
    QTest::newRow("TrackOverlay, maxver 0") << 0x6FABu << true;
    QTest::newRow("TagDefaultBogus") << 0x44B4u << true;
    QTest::newRow("Position, maxver 4") << 0xA7u << false;
    QTest::newRow("SimpleBlock") << 0xA3u << false;
    QTest::newRow("TagDefault") << 0x4484u << false;
}

void TestMkvDictionary::deprecation()
{
    QFETCH(uint, id);
    QFETCH(bool, deprecated);
    const ContainerMKV::ElementMKV *element = m_parser.dictionary().find(id);
    QVERIFY(element);
    QCOMPARE(element->deprecated, deprecated);
}

// Stored files and the views rely on these names and descriptions.
void TestMkvDictionary::oldRowsKeepWhatTheyWere_data()
{
    QTest::addColumn<uint>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    const auto row = [](uint id, const char *name, const char *description) {
        QTest::newRow(name) << id << QString::fromLatin1(name) << QString::fromLatin1(description);
    };
    row(0x23314F, "iTrackTimecodeScale", "Deprecated.");
    row(0xBF, "CRC-32", "");
    row(0x1549A966, "SegmentInfo", "");
    row(0xE7, "Timecode", "");
    row(0x53AC, "SeekPosition", "Position relatively to segment of data origin.");
    row(0x2AD7B1, "TimecodeScale", "To scale of other time values (in nanoseconds).");
    row(0x4489, "Duration", "Duration of segment (in nanoseconds).");
    row(0x4461, "DateUTC",
        "Date of production (in nanoseconds) relatively to January 01, 2001, 0:00:00 GMT.");
    row(0x7BA9, "Title", "Title of segment");
    row(0x4D80, "MuxingApp", "Name of library that has been used to create the file.");
    row(0x5741, "WritingApp", "Name of application used to create the file.");
    row(0xB9, "FlagEnabled", "When it is 1, track is used.");
    row(0x23E383, "DefaultDuration",
        "In nanoseconds. When it is 0, duration of frames of the track is not necessarily constant.");
    row(0x536E, "Name", "Name of track.");
}

void TestMkvDictionary::oldRowsKeepWhatTheyWere()
{
    QFETCH(uint, id);
    QFETCH(QString, name);
    QFETCH(QString, description);
    const ContainerMKV::ElementMKV *element = m_parser.dictionary().find(id);
    QVERIFY(element);
    QCOMPARE(element->name, name);
    QCOMPARE(element->description, description);
}

void TestMkvDictionary::enumLabel_data()
{
    QTest::addColumn<uint>("id");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<QString>("label");
    QTest::newRow("ContentCompAlgo 3") << 0x4254u << quint64(3) << QStringLiteral("Header Stripping");
    QTest::newRow("ContentCompAlgo 4") << 0x4254u << quint64(4) << QString();
    QTest::newRow("TrackType 17") << 0x83u << quint64(17) << QStringLiteral("subtitle");
    QTest::newRow("TrackType 17 in the high bits") << 0x83u << (quint64(1) << 40 | 17) << QString();
    QTest::newRow("TargetTypeValue 50") << 0x68CAu << quint64(50)
                                        << QStringLiteral("ALBUM / OPERA / CONCERT / MOVIE / EPISODE");
    QTest::newRow("FieldOrder 9") << 0x9Du << quint64(9) << QStringLiteral("tff (interleaved)");
    QTest::newRow("TrackTranslateCodec 1") << 0x66BFu << quint64(1) << QStringLiteral("DVD-menu");
    QTest::newRow("ContentEncodingScope 1") << 0x5032u << quint64(1) << QStringLiteral("Block");
    QTest::newRow("ContentEncodingScope 3") << 0x5032u << quint64(3) << QStringLiteral("Block, Private");
    QTest::newRow("ContentEncodingScope 7") << 0x5032u << quint64(7)
                                            << QStringLiteral("Block, Private, Next");
    QTest::newRow("ContentEncodingScope 0") << 0x5032u << quint64(0) << QString();
    QTest::newRow("ContentEncodingScope 9, a bit without a label") << 0x5032u << quint64(9) << QString();
    QTest::newRow("ContentEncodingScope top bit") << 0x5032u << (quint64(1) << 63) << QString();
    QTest::newRow("not enumerated: TrackNumber") << 0xD7u << quint64(1) << QString();
}

void TestMkvDictionary::enumLabel()
{
    QFETCH(uint, id);
    QFETCH(quint64, value);
    QFETCH(QString, label);
    QCOMPARE(Probe::enumLabel(id, value), label);
}

QTEST_GUILESS_MAIN(TestMkvDictionary)
#include "test_mkv_dictionary.moc"
