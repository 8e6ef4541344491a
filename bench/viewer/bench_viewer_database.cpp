// Figures for the element database reader on a database of about five million elements:
// attaching (building the visible-row list), fetching windows of rows from anywhere, stepping
// up by a page, and opening and closing an element with a million children.

#include "synthetic_database.h"
#include "timing_figures.h"
#include "viewer_database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>

#include <cstdio>

namespace {

double attachMs(ViewerDatabase &reader, QSqlDatabase *db)
{
    reader.close();
    QElapsedTimer timer;
    timer.start();
    reader.setDatabase(db);
    return elapsedMs(timer);
}

void windows(ViewerDatabase &reader, qint64 count, const char *what)
{
    QRandomGenerator random(7);
    TimingFigures figures;
    for (int i = 0; i < 2000; ++i) {
        const qint64 start = 1 + qint64(random.bounded(quint64(count)));
        QList<ViewerDatabase::Element> list;
        QElapsedTimer timer;
        timer.start();
        reader.fetchWindow(start, 60, list);
        figures.add(elapsedMs(timer));
    }
    figures.print(what);
}

void stepsUp(ViewerDatabase &reader, qint64 count, const char *what)
{
    QRandomGenerator random(11);
    TimingFigures figures;
    for (int i = 0; i < 2000; ++i) {
        const qint64 start = 1 + qint64(random.bounded(quint64(count)));
        QElapsedTimer timer;
        timer.start();
        reader.stepRows(start, -60);
        figures.add(elapsedMs(timer));
    }
    figures.print(what);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SyntheticShape shape;
    QString error;
    QElapsedTimer timer;
    timer.start();
    // A name of its own, so that close() leaves the connection for the next attach.
    QSqlDatabase *db = SyntheticDatabase::create(QStringLiteral("kestrune-bench"), shape, &error);
    if (!db) {
        std::fprintf(stderr, "cannot build the database: %s\n", qPrintable(error));
        return 1;
    }
    ViewerDatabase reader;
    reader.setDatabase(db);
    const qint64 count = reader.elementCount();
    std::printf("elements: %lld (built in %.0f ms)\n", count, elapsedMs(timer));

    const qint64 segment = SyntheticDatabase::segmentId();
    const qint64 cues = SyntheticDatabase::cueTableId(shape);
    TimingFigures figures;
    for (int i = 0; i < 5; ++i)
        figures.add(attachMs(reader, db));
    figures.print("attach, nothing open");
    std::printf("  rows: %d\n", reader.rowCount());

    reader.openElement(segment);
    for (int i = 0; i < 5; ++i)
        figures.add(attachMs(reader, db));
    figures.print("attach, segment open");
    std::printf("  rows: %d\n", reader.rowCount());

    windows(reader, count, "fetchWindow(random, 60), segment open");
    stepsUp(reader, count, "stepRows(random, -60), segment open");

    // Every tenth cluster open as well.
    for (qint64 cluster = 7; cluster < cues; cluster += 10 * (cues - 7) / shape.clusters)
        reader.openElement(cluster);
    std::printf("rows with every tenth cluster open: %d\n", reader.rowCount());
    windows(reader, count, "fetchWindow(random, 60), clusters open");
    stepsUp(reader, count, "stepRows(random, -60), clusters open");

    for (int i = 0; i < 3; ++i) {
        timer.restart();
        reader.openElement(cues);
        const double opened = elapsedMs(timer);
        const int rows = reader.rowCount();
        timer.restart();
        reader.closeElement(cues);
        std::printf("open 1M-child element %8.1f ms (rows %d), close %8.1f ms\n", opened, rows,
                    elapsedMs(timer));
    }

    reader.openElement(cues);
    windows(reader, count, "fetchWindow(random, 60), cue table open");
    for (int i = 0; i < 3; ++i)
        figures.add(attachMs(reader, db));
    figures.print("attach, cue table open (1M rows)");

    reader.close();
    delete db;
    QSqlDatabase::removeDatabase(QStringLiteral("kestrune-bench"));
    return 0;
}
