// Times the AVI parser alone on a file: the walk into a sink that only counts, without
// the element database. Prints elements, frames and seconds.

#include "container_driver.h"
#include "container_avi.h"
#include "element_sink.h"

#include <QCoreApplication>
#include <QElapsedTimer>

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
    void streams(const QList<StreamRecord> &) override {}

    quint64 elements = 0;
    quint64 frames = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrune-bench-avi FILE.avi\n");
        return 2;
    }
    const QString fileName = QString::fromLocal8Bit(argv[1]);
    double best = 0;
    CountingSink sink;
    for (int run = 0; run < 3; ++run) {
        sink = CountingSink();
        ContainerAVI parser;
        QElapsedTimer timer;
        timer.start();
        const ContainerDriver::Outcome outcome = ContainerDriver::run(parser, fileName, sink, ParseOptions());
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (outcome.status != 0) {
            std::fprintf(stderr, "kestrune-bench-avi: status %d\n", outcome.status);
            return 1;
        }
        best = run == 0 ? seconds : qMin(best, seconds);
    }
    std::printf("parser alone: %llu elements, %llu frames, best of 3: %.3f s (%.2f M elements/s)\n",
                static_cast<unsigned long long>(sink.elements), static_cast<unsigned long long>(sink.frames),
                best, double(sink.elements) / best / 1e6);
    return 0;
}
