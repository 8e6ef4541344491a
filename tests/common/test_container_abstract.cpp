#include "container_abstract.h"
#include "container_driver.h"
#include "recording_sink.h"
#include "status.h"

#include <QTemporaryFile>
#include <QTest>

#include <functional>

namespace {

/// A parser whose walk is a test-supplied function, called once per top-level element.
class ScriptedParser : public ContainerAbstract
{
public:
    using Step = std::function<int(ScriptedParser &, quint64 *size)>;
    explicit ScriptedParser(Step step) : m_step(std::move(step)) {}

    using ContainerAbstract::addBitField;
    using ContainerAbstract::addDataElement;
    using ContainerAbstract::addField;
    using ContainerAbstract::Bound;
    using ContainerAbstract::fit;
    using ContainerAbstract::keepFailure;
    using ContainerAbstract::noteCut;
    using ContainerAbstract::noteMissingFields;
    using ContainerAbstract::registerStreamFrame;
    using ContainerAbstract::addElement;
    using ContainerAbstract::addNote;
    using ContainerAbstract::beginEntry;
    using ContainerAbstract::beginGroup;
    using ContainerAbstract::beginStream;
    using ContainerAbstract::currentOffset;
    using ContainerAbstract::endGroup;
    using ContainerAbstract::frameOffset;
    using ContainerAbstract::frameSize;
    using ContainerAbstract::keyFrame;
    using ContainerAbstract::registerFrame;
    using ContainerAbstract::setEntryOffset;
    using ContainerAbstract::setEntrySize;
    using ContainerAbstract::setGroupValue;
    using ContainerAbstract::streams;
    using ContainerAbstract::swapByteOrder;
    using ContainerAbstract::toPrintable;

    void leaf(quint64 offset, quint64 size, const QString &name, const QString &value = QString())
    {
        addElement(false, offset, 0, size, name, value, QString(), QString(), -1);
    }

protected:
    int verifyContainerFormat(const QString &) override { return Status::Success; }
    int findBeginOfContainer(qint64 *offset) override
    {
        *offset = 0;
        return Status::Success;
    }
    int parseElement(quint64 *size) override { return m_step(*this, size); }
    void prepareParsing() override {}
    void finalizeParsing() override {}

private:
    Step m_step;
};

struct Run
{
    RecordingSink sink;
    ContainerDriver::Outcome outcome;
    QList<int> progress;
};

void run(Run *result, qint64 fileSize, const ScriptedParser::Step &step)
{
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(QByteArray(fileSize, 'x'));
    file.close();
    ScriptedParser parser(step);
    result->outcome = ContainerDriver::run(parser, file.fileName(), result->sink, ParseOptions(),
                                           [result](int percent) { result->progress << percent; });
}

// Every element with a note as "name: note", one per line, in element order.
QString notesOf(const RecordingSink &sink)
{
    QStringList lines;
    for (const ElementRecord &e : sink.elements())
        if (sink.notes.contains(e.id))
            lines << e.name + QStringLiteral(": ") + sink.notes.value(e.id);
    return lines.join(QLatin1Char('\n'));
}

using Script = std::function<void(ScriptedParser &)>;

} // namespace

Q_DECLARE_METATYPE(Script)

class TestContainerAbstract : public QObject
{
    Q_OBJECT

private slots:
    void idsLevelsAndLastChildrenFollowPreOrder()
    {
        Run r;
        run(&r, 30, [](ScriptedParser &p, quint64 *size) {
            if (p.currentOffset == 0) {
                p.beginGroup(0, 20, QStringLiteral("outer"), -1);
                p.leaf(0, 4, QStringLiteral("a"));
                p.beginGroup(4, 16, QStringLiteral("inner"), -1);
                p.leaf(4, 8, QStringLiteral("b"));
                p.leaf(12, 8, QStringLiteral("c"));
                p.endGroup();
                p.endGroup();
                *size = 20;
            } else {
                p.leaf(20, 10, QStringLiteral("tail"));
                *size = 10;
            }
            return Status::Success;
        });
        QCOMPARE(r.sink.tree(), QStringLiteral("outer@0+20\n  a@0+4\n  inner@4+16\n    b@4+8\n    c@12+8\ntail@20+10"));
        const auto &e = r.sink.elements();
        QCOMPARE(int(e.size()), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(e[i].id, qint64(i + 1));
        const QList<qint64> parents{0, 1, 1, 3, 3, 0};
        const QList<qint64> lastChildren{3, 0, 5, 0, 0, 0};
        const QList<int> levels{0, 1, 1, 2, 2, 0};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(e[i].parentId, parents[i]);
            QCOMPARE(e[i].lastChildId, lastChildren[i]);
            QCOMPARE(e[i].level, levels[i]);
        }
        QCOMPARE(e[1].offset, qint64(0));
        QCOMPARE(e[2].size, qint64(16 * 8));
    }

    void elementsReachTheSinkInIdOrderEvenBehindAHugeGroup()
    {
        Run r;
        run(&r, 8, [](ScriptedParser &p, quint64 *size) {
            p.beginGroup(0, 8, QStringLiteral("huge"), -1);
            p.beginGroup(0, 8, QStringLiteral("small"), -1);
            p.leaf(0, 1, QStringLiteral("first"));
            p.endGroup();
            for (int i = 0; i < 10000; ++i)
                p.leaf(1, 1, QStringLiteral("entry"));
            p.setGroupValue(QStringLiteral("done"));
            p.endGroup();
            *size = 8;
            return Status::Success;
        });
        QVERIFY(r.sink.inOrder);
        // The outer group went out unfinished and was completed once it closed.
        QCOMPARE(r.sink.updates, 1);
        const auto &e = r.sink.elements();
        QCOMPARE(int(e.size()), 10003);
        QCOMPARE(e[0].lastChildId, qint64(10003));
        QCOMPARE(e[0].value, QStringLiteral("done"));
        QCOMPARE(e[1].lastChildId, qint64(3));
        QCOMPARE(e[10002].parentId, qint64(1));
    }

    void bitFieldsAndEntriesAndTexts()
    {
        Run r;
        run(&r, 16, [](ScriptedParser &p, quint64 *size) {
            p.beginEntry(QStringLiteral("entry"), 7);
            p.setEntryOffset(2);
            p.setEntrySize(6);
            p.addElement(true, 3, 5, 11, QStringLiteral("bits"), QStringLiteral("1"), QStringLiteral("one"),
                         QStringLiteral("eleven bits"), -1);
            const uchar raw[] = {0x1a, 0x45};
            p.addDataElement(4, 2, raw, QStringLiteral("raw"), QString());
            p.setGroupValue(QStringLiteral("grouped"));
            p.addNote(QStringLiteral("first"));
            p.addNote(QStringLiteral("second"));
            p.endGroup();
            *size = 16;
            return Status::Success;
        });
        const auto &e = r.sink.elements();
        QCOMPARE(int(e.size()), 3);
        QCOMPARE(e[0].offset, qint64(16));
        QCOMPARE(e[0].size, qint64(48));
        QCOMPARE(e[0].index, qint64(7));
        QCOMPARE(e[0].value, QStringLiteral("grouped"));
        // A bit field starts firstBit bits into its byte and its size is a bit count.
        QCOMPARE(e[1].offset, qint64(3 * 8 + 5));
        QCOMPARE(e[1].size, qint64(11));
        QCOMPARE(e[1].readable, QStringLiteral("one"));
        QCOMPARE(r.sink.descriptions.value(2), QStringLiteral("eleven bits"));
        QCOMPARE(e[2].value, QStringLiteral("1a45"));
        QCOMPARE(r.sink.notes.value(1), QStringLiteral("first\nsecond"));
    }

    void hostileSizesSaturateInsteadOfWrapping()
    {
        Run r;
        run(&r, 4, [](ScriptedParser &p, quint64 *size) {
            p.leaf(quint64(1) << 62, ~quint64(0), QStringLiteral("huge"));
            *size = 4;
            return Status::Success;
        });
        const auto &e = r.sink.elements();
        QVERIFY(e[0].offset > 0);
        QCOMPARE(e[0].size, std::numeric_limits<qint64>::max());
    }

    void theWalkGoesOnAfterAFailureAndStopsWhenNothingIsConsumed()
    {
        Run r;
        run(&r, 100, [](ScriptedParser &p, quint64 *size) {
            const quint64 at = p.currentOffset;
            if (at == 0) {
                // Leaves its group open and fails: the driver closes it, so the next top-level
                // element does not become its child.
                p.beginGroup(0, 10, QStringLiteral("broken"), -1);
                *size = 10;
                return int(Status::UnexpectedEnd);
            }
            p.leaf(at, 10, QStringLiteral("ok"));
            *size = at == 20 ? 0 : 10;
            return int(Status::Success);
        });
        QCOMPARE(r.sink.tree(), QStringLiteral("broken@0+10\nok@10+10\nok@20+10"));
        QCOMPARE(r.outcome.firstFailure, int(Status::UnexpectedEnd));
        QVERIFY(r.outcome.stalled);
        QCOMPARE(r.outcome.stopOffset, quint64(20));
    }

    void progressRisesOnceThroughEachPercentage()
    {
        Run r;
        run(&r, 1000, [](ScriptedParser &p, quint64 *size) {
            p.leaf(p.currentOffset, 1, QStringLiteral("byte"));
            *size = 1;
            return Status::Success;
        });
        QCOMPARE(r.progress.first(), 0);
        QCOMPARE(r.progress.last(), 100);
        QCOMPARE(r.progress.size(), 101);
        for (int i = 1; i < r.progress.size(); ++i)
            QVERIFY(r.progress[i] > r.progress[i - 1]);
    }

    void framesAndStreams()
    {
        Run r;
        run(&r, 8, [](ScriptedParser &p, quint64 *size) {
            p.beginStream();
            p.streams.last().width = 320;
            p.frameOffset = 4;
            p.frameSize = 3;
            p.keyFrame = 16;
            p.registerFrame(0, 0);
            *size = 8;
            return Status::Success;
        });
        QCOMPARE(int(r.sink.frames.size()), 1);
        QCOMPARE(r.sink.frames[0].offset, quint64(4));
        QCOMPARE(r.sink.frames[0].size, quint64(3));
        QVERIFY(r.sink.frames[0].keyFrame);
        QCOMPARE(r.sink.streamRecords.size(), 1);
        QCOMPARE(r.sink.streamRecords[0].width, 320);

        // Each stream counts its own frames.
        Run two;
        run(&two, 8, [](ScriptedParser &p, quint64 *size) {
            p.beginStream();
            p.beginStream();
            for (int stream : {1, 0, 1})
                p.registerStreamFrame(stream);
            *size = 8;
            return Status::Success;
        });
        QCOMPARE(two.sink.frames.size(), size_t(3));
        QCOMPARE(two.sink.frames[2].stream, 1u);
        QCOMPARE(two.sink.frames[2].number, quint64(1));
        QCOMPARE(two.sink.frames[1].number, quint64(0));
    }

    // One clip policy for every parser, in a file of 20 bytes "x": a field or child that runs past
    // the innermost bound keeps the bytes that exist and says how many are missing.
    void clipPolicy_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("notes");
        using P = ScriptedParser;
        // A 12-byte structure at 0 whose fields the script reports.
        const auto structure = [](const Script &fields) {
            return Script([fields](P &p) {
                p.beginGroup(0, 12, QStringLiteral("s"), -1);
                P::Bound bound(p, 12);
                fields(p);
                p.noteMissingFields(bound, 0);
                p.endGroup();
            });
        };
        QTest::newRow("inside") << structure([](P &p) { p.addField(8, 4, QStringLiteral("f"), QStringLiteral("1")); })
                                << "s@0+12\n  f@8+4=1" << "";
        QTest::newRow("partly past its parent")
            << structure([](P &p) { p.addField(10, 4, QStringLiteral("f"), QStringLiteral("1")); })
            << "s@0+12\n  f@10+2=7878"
            << "s: 2 bytes are missing: its fields need 14 bytes, but it holds 12.\n"
               "f: 2 bytes are missing: it claims 4 bytes, but its parent ends after 2.";
        QTest::newRow("wholly past its parent")
            << structure([](P &p) {
                   p.addField(12, 4, QStringLiteral("f"), QStringLiteral("1"));
                   p.addBitField(11, 4, 8, QStringLiteral("b"), QStringLiteral("1"));
               })
            << "s@0+12" << "s: 4 bytes are missing: its fields need 16 bytes, but it holds 12.";
        QTest::newRow("empty at the end, and past it")
            << structure([](P &p) {
                   p.addField(12, 0, QStringLiteral("e"), QString());
                   p.addField(13, 0, QStringLiteral("p"), QString());
               })
            << "s@0+12\n  e@12+0" << "";
        QTest::newRow("an inner bound ends with the outer one")
            << structure([](P &p) {
                   P::Bound inner(p, 100);
                   p.addField(0, 14, QStringLiteral("f"), QString());
               })
            << "s@0+12\n  f@0+12" << "f: 2 bytes are missing: it claims 14 bytes, but its parent ends after 12.";
        QTest::newRow("past the file") << Script([](P &p) { p.addField(18, 4, QStringLiteral("f"), QStringLiteral("1")); })
                                       << "f@18+2=7878"
                                       << "f: 2 bytes are missing: it claims 4 bytes, but the file ends after 2.";
        QTest::newRow("child past its parent")
            << structure([](P &p) {
                   p.beginGroup(4, p.fit(4, 20), QStringLiteral("c"), -1);
                   p.noteCut(4, 20);
                   p.endGroup();
               })
            << "s@0+12\n  c@4+8" << "c: 12 bytes are missing: it claims 20 bytes, but its parent ends after 8.";
    }
    void clipPolicy()
    {
        QFETCH(Script, script);
        QFETCH(QString, tree);
        QFETCH(QString, notes);
        Run r;
        run(&r, 20, [&script](ScriptedParser &p, quint64 *size) {
            script(p);
            *size = 20;
            return Status::Success;
        });
        QCOMPARE(r.sink.tree(), tree);
        QCOMPARE(notesOf(r.sink), notes);
    }

    // The first failure is kept with the group open when it was reported, whatever comes after.
    void firstFailureKeepsItsElement()
    {
        Run r;
        run(&r, 30, [](ScriptedParser &p, quint64 *size) {
            const quint64 at = p.currentOffset;
            p.beginGroup(at, 10, QStringLiteral("e%1").arg(at), -1);
            p.beginGroup(at + 2, 4, QStringLiteral("inner%1").arg(at), -1);
            if (at > 0)
                p.keepFailure(at == 10 ? int(Status::UnexpectedEnd) : int(Status::TooLong));
            p.endGroup();
            p.endGroup();
            *size = 10;
            return at == 20 ? int(Status::NotInTable) : int(Status::Success);
        });
        QCOMPARE(r.outcome.firstFailure, int(Status::UnexpectedEnd));
        QCOMPARE(r.outcome.failureOffset, quint64(12));
        QCOMPARE(r.outcome.failureElement, QStringLiteral("inner10"));
    }

    void missingFileCannotBeOpened()
    {
        RecordingSink sink;
        ScriptedParser parser([](ScriptedParser &, quint64 *) { return 0; });
        const auto outcome = ContainerDriver::run(parser, QStringLiteral("/nonexistent/file"), sink, ParseOptions());
        QCOMPARE(outcome.status, int(Status::CannotOpen));
        QVERIFY(sink.elements().empty());
    }

    void helpers()
    {
        ScriptedParser parser([](ScriptedParser &, quint64 *) { return 0; });
        QCOMPARE(parser.toPrintable(QByteArray("ab\x01\x7f\xff z", 7)), QStringLiteral("ab... z"));
        quint32 value = 0x01020304;
        parser.swapByteOrder(&value, 4);
        QCOMPARE(value, quint32(0x04030201));
    }
};

QTEST_GUILESS_MAIN(TestContainerAbstract)
#include "test_container_abstract.moc"
