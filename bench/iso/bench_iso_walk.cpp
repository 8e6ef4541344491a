// Times the MP4 parser alone over a file, into a sink that only counts, so that the parser's
// share of a kestrune-dump run can be told from the database's.
//   bench_iso_walk FILE [RUNS]

#include "container_driver.h"
#include "container_mp4.h"
#include "element_sink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace {

class CountingSink : public ElementSink
{
public:
    void element(const ElementRecord &) override { ++elements; }
    void update(const ElementRecord &) override {}
    void description(qint64, const QString &) override {}
    void note(qint64, const QString &) override {}
    void frame(const FrameRecord &) override { ++frames; }
    void streams(const QList<StreamRecord> &records) override { streamCount = records.size(); }

    qint64 elements = 0;
    qint64 frames = 0;
    qsizetype streamCount = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: bench_iso_walk FILE [RUNS]\n");
        return 2;
    }
    const int runs = arguments.size() > 2 ? qMax(1, arguments.at(2).toInt()) : 3;
    qint64 best = -1;
    CountingSink last;
    for (int run = 0; run < runs; ++run) {
        CountingSink sink;
        ContainerMP4 parser;
        QElapsedTimer timer;
        timer.start();
        const ContainerDriver::Outcome outcome = ContainerDriver::run(parser, arguments.at(1), sink, ParseOptions());
        const qint64 elapsed = timer.nsecsElapsed();
        if (outcome.status != 0) {
            std::fprintf(stderr, "bench_iso_walk: cannot parse %s\n", qPrintable(arguments.at(1)));
            return 1;
        }
        if (best < 0 || elapsed < best)
            best = elapsed;
        last = sink;
    }
    std::printf("elements: %lld\nframes: %lld\nstreams: %lld\nparse into a counting sink: %.3f s (best of %d)\n",
                last.elements, last.frames, qint64(last.streamCount), double(best) / 1e9, runs);
    return 0;
}
