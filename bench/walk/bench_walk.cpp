// Times one parser alone over a file, into a sink that only counts, so that the parser's share
// of a kestrune-dump run can be told from the database's. The parser is chosen by the file's
// suffix, as the plug-ins choose (AVI by content is not needed here).
//   kestrune-bench-walk FILE [RUNS]

#include "container_3gp.h"
#include "container_avi.h"
#include "container_driver.h"
#include "container_mkv.h"
#include "container_mov.h"
#include "container_mp4.h"
#include "element_sink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace {

class CountingSink : public ElementSink
{
public:
    void element(const ElementRecord &) override { ++elements; }
    void update(const ElementRecord &) override {}
    void description(qint64, const QString &) override {}
    void note(qint64, const QString &) override {}
    void link(qint64, quint64) override {}
    void frame(const FrameRecord &) override { ++frames; }
    void streams(const QList<StreamRecord> &) override {}

    quint64 elements = 0;
    quint64 frames = 0;
};

std::unique_ptr<ContainerAbstract> parserFor(const QString &suffix)
{
    if (suffix == QLatin1String("mp4") || suffix == QLatin1String("f4v"))
        return std::make_unique<ContainerMP4>();
    if (suffix == QLatin1String("mov") || suffix == QLatin1String("qt"))
        return std::make_unique<ContainerMOV>();
    if (suffix == QLatin1String("3gp") || suffix == QLatin1String("3g2"))
        return std::make_unique<Container3GP>();
    if (suffix == QLatin1String("mkv") || suffix == QLatin1String("webm"))
        return std::make_unique<ContainerMKV>();
    if (suffix == QLatin1String("avi"))
        return std::make_unique<ContainerAVI>();
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kestrune-bench-walk FILE [RUNS]\n");
        return 2;
    }
    const QString fileName = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? qMax(1, atoi(argv[2])) : 3;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    double best = 0;
    CountingSink sink;
    for (int run = 0; run < runs; ++run) {
        std::unique_ptr<ContainerAbstract> parser = parserFor(suffix);
        if (!parser) {
            std::fprintf(stderr, "kestrune-bench-walk: no parser reads .%s files\n", qPrintable(suffix));
            return 2;
        }
        sink = CountingSink();
        QElapsedTimer timer;
        timer.start();
        const ContainerDriver::Outcome outcome = ContainerDriver::run(*parser, fileName, sink, ParseOptions());
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (outcome.status != 0) {
            std::fprintf(stderr, "kestrune-bench-walk: status %d\n", outcome.status);
            return 1;
        }
        best = run == 0 ? seconds : qMin(best, seconds);
    }
    std::printf("parser alone: %llu elements, %llu frames, best of %d: %.3f s (%.2f M elements/s)\n",
                static_cast<unsigned long long>(sink.elements), static_cast<unsigned long long>(sink.frames),
                runs, best, double(sink.elements) / best / 1e6);
    return 0;
}
