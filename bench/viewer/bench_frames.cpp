// Figures for the frames view on a file with many frames: the cost of the frame indexes, the
// streams query, the first window of the table, the refills while the table scrolls through a
// stream in page steps and by random jumps, the "Show in frames view" lookup, and what the model
// keeps in memory.

#include "engine_timing.h"
#include "frames_model.h"
#include "frames_panel.h"
#include "sql_tree_widget.h"
#include "timing_figures.h"
#include "viewer_database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTableView>

#include <cstdio>
#include <ctime>

namespace {

// With a target above 0, also whether p99 stays below it.
void printFigures(const char *what, TimingFigures &figures, double targetMs = 0)
{
    std::printf("%-44s n=%-6d p50 %7.3f ms  p99 %7.3f ms  max %7.3f ms", what, figures.count(), figures.median(),
                figures.p99(), figures.max());
    if (targetMs > 0)
        std::printf("  p99 < %g ms %s", targetMs, figures.p99() < targetMs ? "PASS" : "FAIL");
    std::printf("\n");
    figures.clear();
}

// One scroll step in two parts: the refill, the model reading the windows of the rows the page
// shows that it does not hold, and the step the view makes, moving and painting from the cache.
void measureScroll(QTableView *table, const FramesModel *model, const QList<int> &values, const char *what)
{
    TimingFigures refills;
    TimingFigures steps;
    const int page = table->verticalScrollBar()->pageStep();
    QElapsedTimer clock;
    for (const int value : values) {
        const qint64 reads = model->windowReads();
        clock.start();
        model->frameAt(value);
        model->frameAt(qMin(value + page, model->rowCount() - 1));
        if (model->windowReads() > reads)
            refills.add(elapsedMs(clock));
        clock.start();
        table->verticalScrollBar()->setValue(value);
        table->viewport()->repaint();
        steps.add(elapsedMs(clock));
    }
    printFigures(qPrintable(QStringLiteral("%1, refills").arg(QLatin1String(what))), refills, 10);
    printFigures(qPrintable(QStringLiteral("%1, view steps").arg(QLatin1String(what))), steps);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: bench_frames FILE\n");
        return 2;
    }
    const QString file = QFileInfo(arguments.at(0)).absoluteFilePath();
    QString error;
    const double parseMs = engineParseMilliseconds(file, &error);
    if (parseMs < 0) {
        std::fprintf(stderr, "cannot parse %s: %s\n", qPrintable(file), qPrintable(error));
        return 1;
    }

    SqlTreeWidget widget;
    if (widget.analyzeFile(file, QString()) != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(file), qPrintable(widget.analysisError()));
        return 1;
    }
    ViewerDatabase *database = widget.viewerDatabase();
    QSqlQuery count(*database->database());
    const qint64 frames = count.exec(QStringLiteral("SELECT COUNT(*) FROM frames")) && count.next()
        ? count.value(0).toLongLong()
        : -1;
    std::printf("file: %s, %lld elements, %lld frames, engine parse %.0f ms\n", qPrintable(file),
                database->elementCount(), frames, parseMs);

    QElapsedTimer clock;
    const struct
    {
        const char *what;
        ViewerDatabase::FrameIndex index;
    } indexes[] = {{"(stream, frame)", ViewerDatabase::FrameIndex::ByNumber},
                   {"(offset)", ViewerDatabase::FrameIndex::ByOffset}};
    // Processor time beside the wall clock: on a busy machine the two differ widely.
    for (const auto &index : indexes) {
        const std::clock_t processor = std::clock();
        clock.start();
        database->ensureFrameIndex(index.index);
        const double ms = elapsedMs(clock);
        std::printf("frame index %-16s built in %6.1f ms, processor %6.1f ms (%4.1f%% of the parse)\n", index.what,
                    ms, double(std::clock() - processor) * 1000 / CLOCKS_PER_SEC, ms * 100 / parseMs);
    }
    clock.start();
    const QList<ViewerDatabase::Stream> streams = database->streams();
    std::printf("streams query: %lld streams in %.1f ms\n", qint64(streams.size()), elapsedMs(clock));
    if (streams.isEmpty())
        return 1;
    ViewerDatabase::Stream largest = streams.first();
    for (const ViewerDatabase::Stream &stream : streams) {
        if (stream.frame_count > largest.frame_count)
            largest = stream;
    }

    clock.start();
    database->frameNumbering(largest.id);
    std::printf("frame count and numbering of stream %lld in %.1f ms\n", largest.id, elapsedMs(clock));

    FramesPanel panel;
    panel.resize(900, 800);
    panel.show();
    QTableView *table = panel.table();
    QCoreApplication::processEvents();
    clock.start();
    panel.showStream(database, largest);
    const double setMs = elapsedMs(clock);
    // The view lays itself out for the new row count on the next turn of the event loop.
    QCoreApplication::processEvents();
    table->viewport()->repaint();
    std::printf("stream %lld: %lld frames; stream set in %.1f ms, first window shown %.1f ms after\n", largest.id,
                largest.frame_count, setMs, elapsedMs(clock) - setMs);

    const int maximum = table->verticalScrollBar()->maximum();
    const int page = qMax(1, table->verticalScrollBar()->pageStep());
    QList<int> values;
    for (int value = 0; value <= maximum; value += page)
        values << value;
    measureScroll(table, panel.model(), values, "page steps through the stream");
    values.clear();
    QRandomGenerator random(20260101);
    for (int i = 0; i < 2000; ++i)
        values << random.bounded(maximum + 1);
    measureScroll(table, panel.model(), values, "random jumps");

    const qint64 held = panel.model()->cachedFrames();
    std::printf("model holds %lld frames, %.0f KB (at most %d windows of %d)\n", held,
                double(held * qint64(sizeof(ViewerDatabase::Frame))) / 1024, FramesModel::cachedWindows,
                FramesModel::windowRows);

    TimingFigures holders;
    TimingFigures lookups;
    for (int i = 0; i < 2000; ++i) {
        const ViewerDatabase::Frame frame = panel.model()->frameAt(random.bounded(panel.model()->rowCount()));
        clock.start();
        const ViewerDatabase::Element element = database->element(database->deepestAt(frame.offset));
        holders.add(elapsedMs(clock));
        clock.start();
        database->frameWithin(element.offset, element.size);
        lookups.add(elapsedMs(clock));
    }
    printFigures("element holding a chosen frame", holders, 10);
    printFigures("frame within an element (row menu)", lookups, 10);
    return 0;
}
