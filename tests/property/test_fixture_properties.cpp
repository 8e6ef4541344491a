// Properties of the element tree that hold for every parser on every fixture file, whole and
// cut short at many points: each element lies inside its parent and the file, ids are the
// depth-first pre-order numbers, every group names its last child, and what a cut file shows
// before the cut is what the whole file shows there. Beside the fixtures, one built file per
// walker holds a group so large that the base class sends it before it closes and updates it
// later, which no fixture does.

#include "byte_builder.h"
#include "container_3gp.h"
#include "container_avi.h"
#include "container_mkv.h"
#include "container_mov.h"
#include "container_mp4.h"
#include "parse_run.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace {

using Factory = std::function<std::unique_ptr<ContainerAbstract>()>;

template <class Parser>
Factory factory()
{
    return [] { return std::make_unique<Parser>(); };
}

// The parser of each fixture suffix, as the plug-ins register their extensions.
const QHash<QString, Factory> &parsersBySuffix()
{
    static const QHash<QString, Factory> parsers{
        {QStringLiteral("mp4"), factory<ContainerMP4>()},  {QStringLiteral("f4v"), factory<ContainerMP4>()},
        {QStringLiteral("mov"), factory<ContainerMOV>()},  {QStringLiteral("qt"), factory<ContainerMOV>()},
        {QStringLiteral("3gp"), factory<Container3GP>()},  {QStringLiteral("3g2"), factory<Container3GP>()},
        {QStringLiteral("mkv"), factory<ContainerMKV>()},  {QStringLiteral("webm"), factory<ContainerMKV>()},
        {QStringLiteral("avi"), factory<ContainerAVI>()},
    };
    return parsers;
}

// Files up to this size (the "tiny" fixtures of each format) are cut at every byte; larger ones
// at a sample of points.
constexpr qint64 everyByteUpTo = 6000;
constexpr qint64 leadingCuts = 64;
constexpr qint64 spreadCuts = 300;

struct Place
{
    QString name;
    qint64 offset = 0;
    qint64 size = 0;

    bool operator==(const Place &other) const
    {
        return offset == other.offset && size == other.size && name == other.name;
    }
};

size_t qHash(const Place &place, size_t seed = 0)
{
    return qHashMulti(seed, place.name, place.offset, place.size);
}

void parseFile(ParseRun *parse, const Factory &create, const QString &fileName)
{
    std::unique_ptr<ContainerAbstract> parser = create();
    runParser(parse, *parser, fileName);
}

// Where a file of this size is cut: every byte of a small file; of a larger one the first
// bytes, points spread evenly, and both sides of the bounds of the top two levels of its tree,
// where headers and lists begin and end. Largest first, so one file can be cut in place.
std::vector<qint64> cutPoints(qint64 size, const std::vector<ElementRecord> &full)
{
    std::set<qint64> cuts;
    if (size <= everyByteUpTo) {
        for (qint64 cut = 1; cut < size; ++cut)
            cuts.insert(cut);
    } else {
        for (qint64 cut = 1; cut <= leadingCuts; ++cut)
            cuts.insert(cut);
        for (qint64 k = 1; k <= spreadCuts; ++k)
            cuts.insert(size * k / (spreadCuts + 1));
        for (const ElementRecord &e : full) {
            if (e.level > 1)
                continue;
            for (const qint64 bound : {e.offset / 8, (e.offset + e.size) / 8})
                for (qint64 cut = bound - 1; cut <= bound + 1; ++cut)
                    if (cut > 0 && cut < size)
                        cuts.insert(cut);
        }
    }
    return std::vector<qint64>(cuts.rbegin(), cuts.rend());
}

// A movie whose one video track has 5000 sample sizes: "stsz" and every box around it hold more
// elements than the base class keeps waiting.
QByteArray manySampleSizes()
{
    ByteBuilder b;
    b.box("ftyp", [](ByteBuilder &f) { f.fourcc("isom").u32be(0).fourcc("isom"); });
    b.box("moov", [](ByteBuilder &moov) {
        moov.box("trak", [](ByteBuilder &trak) {
            trak.box("mdia", [](ByteBuilder &mdia) {
                mdia.fullBox("hdlr", 0, 0, [](ByteBuilder &h) { h.u32be(0).fourcc("vide").zeros(12).text("v").u8(0); });
                mdia.box("minf", [](ByteBuilder &minf) {
                    minf.box("stbl", [](ByteBuilder &stbl) {
                        stbl.fullBox("stsz", 0, 0, [](ByteBuilder &t) {
                            t.u32be(0).u32be(5000);
                            for (quint32 i = 0; i < 5000; ++i)
                                t.u32be(100 + i);
                        });
                    });
                });
            });
        });
    });
    return b.bytes();
}

// A video track and a cluster of unknown size with 1500 blocks: the cluster goes out before
// its size is known, and its update carries the size.
QByteArray manyBlocks()
{
    ByteBuilder b;
    b.ebml(0x1A45DFA3, [](ByteBuilder &h) { h.ebmlString(0x4282, "matroska"); });
    b.ebml(0x18538067, [](ByteBuilder &segment) {
        segment.ebml(0x1654AE6B, [](ByteBuilder &tracks) {
            tracks.ebml(0xAE, [](ByteBuilder &entry) { entry.ebmlUInt(0xD7, 1).ebmlUInt(0x83, 1); });
        });
        segment.ebmlId(0x1F43B675).u8(0xFF);
        segment.ebmlUInt(0xE7, 0);
        for (int i = 0; i < 1500; ++i)
            segment.ebml(0xA3, [i](ByteBuilder &block) { block.u8(0x81).u16be(quint16(i)).u8(0x80).u8(0); });
    });
    return b.bytes();
}

// One video stream whose "idx1" lists 1000 entries, five elements each.
QByteArray manyIndexEntries()
{
    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [](ByteBuilder &riff) {
        riff.riffList("LIST", "hdrl", [](ByteBuilder &hdrl) {
            hdrl.riffChunk("avih", [](ByteBuilder &h) { h.zeros(56); });
            hdrl.riffList("LIST", "strl", [](ByteBuilder &strl) {
                strl.riffChunk("strh", [](ByteBuilder &h) { h.fourcc("vids").zeros(52); });
                strl.riffChunk("strf", [](ByteBuilder &f) { f.zeros(40); });
            });
        });
        riff.riffList("LIST", "movi", [](ByteBuilder &movi) { movi.riffChunk("00dc", [](ByteBuilder &c) { c.u32le(0); }); });
        riff.riffChunk("idx1", [](ByteBuilder &idx1) {
            for (int i = 0; i < 1000; ++i)
                idx1.fourcc("00dc").u32le(0x10).u32le(4).u32le(4);
        });
    });
    return b.bytes();
}

} // namespace

Q_DECLARE_METATYPE(Factory)

class TestFixtureProperties : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wholeFile_data() { fixtures(); }
    void wholeFile();
    void cutFile_data() { fixtures(); }
    void cutFile();

private:
    void fixtures();

    QTemporaryDir m_built;
};

void TestFixtureProperties::initTestCase()
{
    QVERIFY(m_built.isValid());
    const QList<std::pair<QString, QByteArray>> files{
        {QStringLiteral("many_sample_sizes.mp4"), manySampleSizes()},
        {QStringLiteral("many_blocks.mkv"), manyBlocks()},
        {QStringLiteral("many_index_entries.avi"), manyIndexEntries()},
    };
    for (const auto &[name, bytes] : files) {
        QFile file(m_built.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }
}

void TestFixtureProperties::fixtures()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Factory>("create");
    QTest::addColumn<bool>("built");
    const QList<std::pair<QString, QString>> folders{
        {QStringLiteral("iso"), QStringLiteral(KESTRUNE_FIXTURES "/iso")},
        {QStringLiteral("mkv"), QStringLiteral(KESTRUNE_FIXTURES "/mkv")},
        {QStringLiteral("avi"), QStringLiteral(KESTRUNE_FIXTURES "/avi")},
        {QStringLiteral("built"), m_built.path()},
    };
    for (const auto &[tag, folder] : folders) {
        for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
            const auto parser = parsersBySuffix().constFind(info.suffix().toLower());
            if (parser != parsersBySuffix().constEnd())
                QTest::newRow(qPrintable(tag + QLatin1Char('/') + info.fileName()))
                    << info.filePath() << *parser << (tag == QLatin1String("built"));
        }
    }
}

void TestFixtureProperties::wholeFile()
{
    QFETCH(QString, path);
    QFETCH(Factory, create);
    QFETCH(bool, built);
    std::unique_ptr<ContainerAbstract> parser = create();
    QCOMPARE(ContainerDriver::verify(*parser, path), 0);

    ParseRun parse;
    parseFile(&parse, create, path);
    const qint64 size = QFileInfo(path).size();
    QCOMPARE(parse.outcome.status, 0);
    QVERIFY(!parse.outcome.stalled);
    QCOMPARE(parse.outcome.stopOffset, quint64(size));
    QVERIFY(parse.sink.elements().size() > 10);
    QVERIFY2(parse.sink.inOrder, "elements arrived out of id order");
    QVERIFY2(parse.sink.updateFault.isEmpty(), qPrintable(parse.sink.updateFault));
    if (built)
        QVERIFY2(parse.sink.updates > 0, "no group was sent before it closed");
    const QString fault = TreeShape::fault(parse.sink.elements(), size * 8);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

// An element of a cut file that ends before the cut lies wholly inside it and is the element of
// the whole file at the same place: same name, offset and size. One that ends at the cut may
// have been clipped there, its declared size running past the cut; and what a parser makes of
// the few bytes it is left (leftover bytes too few for a header, raw data in place of boxes that
// no longer fit, a list named by the part of its type that remains) depends on how many there
// are. Such an element only has to begin where an element of the whole file begins, and reach
// no further than it. One that begins at the cut holds none of its bytes and is not compared.
void TestFixtureProperties::cutFile()
{
    QFETCH(QString, path);
    QFETCH(Factory, create);
    QFile source(path);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray whole = source.readAll();

    ParseRun full;
    parseFile(&full, create, path);
    QSet<Place> places;
    QHash<qint64, qint64> widest; // offset -> size of the largest element beginning there
    for (const ElementRecord &e : full.sink.elements()) {
        places.insert({e.name, e.offset, e.size});
        qint64 &size = widest[e.offset];
        size = qMax(size, e.size);
    }

    // Cut in place, shorter and shorter: writing a new file for every cut would cost a flush each.
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/kestrune-cut-XXXXXX.") + QFileInfo(path).suffix());
    QVERIFY(file.open());
    QCOMPARE(file.write(whole), qint64(whole.size()));
    QVERIFY(file.flush());
    const std::vector<qint64> cuts = cutPoints(whole.size(), full.sink.elements());
    QElapsedTimer timer;
    timer.start();
    qint64 compared = 0;
    qint64 clipped = 0;
    for (const qint64 cut : cuts) {
        QVERIFY(file.resize(cut));
        ParseRun parse;
        parseFile(&parse, create, file.fileName());
        const QString at = QStringLiteral("cut at %1: ").arg(cut);
        QVERIFY2(parse.outcome.status == 0 && !parse.outcome.stalled, qPrintable(at + QStringLiteral("the walk stopped early")));
        QVERIFY2(parse.outcome.stopOffset == quint64(cut), qPrintable(at + QStringLiteral("the walk ended at %1").arg(parse.outcome.stopOffset)));
        QVERIFY2(parse.sink.inOrder, qPrintable(at + QStringLiteral("elements arrived out of id order")));
        QVERIFY2(parse.sink.updateFault.isEmpty(), qPrintable(at + parse.sink.updateFault));
        const QString fault = TreeShape::fault(parse.sink.elements(), cut * 8);
        QVERIFY2(fault.isEmpty(), qPrintable(at + fault));
        for (const ElementRecord &e : parse.sink.elements()) {
            if (e.offset + e.size < cut * 8) {
                ++compared;
                QVERIFY2(places.contains({e.name, e.offset, e.size}),
                         qPrintable(at + TreeShape::describe(e) + QStringLiteral(" is not in the whole file's tree")));
            } else if (e.offset < cut * 8) {
                ++clipped;
                const auto whole = widest.constFind(e.offset);
                QVERIFY2(whole != widest.constEnd() && *whole >= e.size,
                         qPrintable(at + TreeShape::describe(e) + QStringLiteral(" begins where no element of the whole file "
                                                                     "begins, or reaches further")));
            }
        }
    }
    qInfo("%zu cuts, %lld elements compared, %lld at the cut, %lld ms", cuts.size(), compared, clipped,
          qint64(timer.elapsed()));
}

QTEST_GUILESS_MAIN(TestFixtureProperties)
#include "test_fixture_properties.moc"
