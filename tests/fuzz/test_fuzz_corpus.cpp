// Replays the fuzzers' regression corpus (fuzz/corpus/<parser>/*): inputs that once broke a
// parser, or that reach deep into it, must parse to a well-formed tree: pre-order ids, every
// element inside its parent and the file, every group's last child right.

#include "container_3gp.h"
#include "container_avi.h"
#include "container_mkv.h"
#include "container_mov.h"
#include "container_mp4.h"
#include "parse_run.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

using Factory = std::function<std::unique_ptr<ContainerAbstract>()>;

template <class Parser>
Factory factory()
{
    return [] { return std::make_unique<Parser>(); };
}

struct Folder
{
    QString name;   // fuzz/corpus/<name>
    QString suffix; // the file suffix the parser accepts
    Factory create;
};

QList<Folder> folders()
{
    return {
        {QStringLiteral("mp4"), QStringLiteral("mp4"), factory<ContainerMP4>()},
        {QStringLiteral("mov"), QStringLiteral("mov"), factory<ContainerMOV>()},
        {QStringLiteral("3gp"), QStringLiteral("3gp"), factory<Container3GP>()},
        {QStringLiteral("mkv"), QStringLiteral("mkv"), factory<ContainerMKV>()},
        {QStringLiteral("avi"), QStringLiteral("avi"), factory<ContainerAVI>()},
    };
}

QDir corpus(const Folder &folder)
{
    return QDir(QStringLiteral(KESTRUNE_CORPUS "/") + folder.name);
}

} // namespace

Q_DECLARE_METATYPE(Factory)

class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    // A folder that went missing or empty would drop out of the replay without a word.
    void everyParserHasInputs()
    {
        for (const Folder &folder : folders())
            QVERIFY2(!corpus(folder).entryList(QDir::Files).isEmpty(), qPrintable(folder.name));
    }

    void replay_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<Factory>("create");
        int inputs = 0;
        for (const Folder &folder : folders()) {
            const QDir dir = corpus(folder);
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                QTest::addRow("%s/%s", qPrintable(folder.name), qPrintable(name))
                    << dir.filePath(name) << folder.suffix << folder.create;
                ++inputs;
            }
        }
        if (inputs == 0)
            QSKIP("the corpus is empty");
    }

    void replay()
    {
        QFETCH(QString, input);
        QFETCH(QString, suffix);
        QFETCH(Factory, create);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("input.") + suffix);
        QVERIFY(QFile::copy(input, path));
        const qint64 fileBytes = QFileInfo(path).size();

        std::unique_ptr<ContainerAbstract> parser = create();
        if (ContainerDriver::verify(*parser, path) != 0)
            return;
        ParseRun run;
        QElapsedTimer timer;
        timer.start();
        runParser(&run, *parser, path);
        QVERIFY2(timer.elapsed() < 5000, "the parse of a small input took too long");
        QVERIFY(run.sink.inOrder);
        const QString fault = run.shapeFault(fileBytes);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "test_fuzz_corpus.moc"
