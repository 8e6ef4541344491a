// Figures for the element tree on a database of about five million elements: the time of each
// refill after a key, a click, a wheel step or a scroll-bar move, going to the last row with
// Ctrl+End, and opening and closing an element with a million children. The widget is shown
// (offscreen unless a display is chosen), so every figure includes painting the rows.

#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "synthetic_database.h"
#include "timing_figures.h"
#include "tree_driver.h"
#include "viewer_database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScrollBar>

#include <cstdio>
#include <functional>

using TreeDriver::key;
using TreeDriver::press;
using TreeDriver::rowPoint;

namespace {

// Ctrl+End from the first row; only the key is timed.
void ctrlEnd(SqlTree *tree, const char *what)
{
    TimingFigures figures;
    TreeDriver::measure(
        figures, 20, [&](int) { key(tree, Qt::Key_End, Qt::ControlModifier); },
        [&](int) { key(tree, Qt::Key_Home, Qt::ControlModifier); });
    figures.print(what);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    SyntheticShape shape;
    QString error;
    QSqlDatabase *db = SyntheticDatabase::create(ViewerDatabase::connectionName(), shape, &error);
    if (!db) {
        std::fprintf(stderr, "cannot build the database: %s\n", qPrintable(error));
        return 1;
    }
    SqlTreeWidget widget;
    widget.resize(900, 1000);
    widget.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    widget.setDatabase(db);
    std::printf("attach and first page: %.1f ms\n", double(timer.nsecsElapsed()) / 1e6);

    SqlTree *tree = widget.sqlTree();
    ViewerDatabase *reader = widget.viewerDatabase();
    QScrollBar *bar = widget.rowScrollBar();
    const qint64 count = reader->elementCount();
    const qint64 cues = SyntheticDatabase::cueTableId(shape);
    std::printf("elements: %lld, page rows: %d\n", count, tree->page_rows);

    // The segment and every tenth cluster open: a long list of mixed levels.
    reader->openElement(SyntheticDatabase::segmentId());
    for (qint64 cluster = 7; cluster < cues; cluster += 10 * (cues - 7) / shape.clusters)
        reader->openElement(cluster);
    tree->updateScrollBar();
    std::printf("visible rows: %d\n", reader->rowCount());

    QRandomGenerator random(3);
    TreeDriver::printRefillParts(tree, reader, random);
    TimingFigures figures;
    const auto measure = [&figures](const char *what, int times, const std::function<void(int)> &action) {
        TreeDriver::measure(figures, times, action);
        figures.print(what);
    };
    measure("scroll bar to a random row", 500, [&](int) {
        bar->setValue(int(random.bounded(bar->maximum() + 1)));
    });
    measure("wheel step down", 300, [&](int) { TreeDriver::wheel(tree, -120); });
    press(tree, rowPoint(tree, tree->topLevelItemCount() - 1, false));
    measure("Down on the last row (scrolls)", 300, [&](int) { key(tree, Qt::Key_Down); });
    measure("Up on a row inside the page", 300, [&](int i) {
        if (i % 8 == 0)
            press(tree, rowPoint(tree, tree->topLevelItemCount() / 2, false));
        key(tree, Qt::Key_Up);
    });
    measure("Page Down", 200, [&](int) { key(tree, Qt::Key_PageDown); });
    measure("Page Up", 200, [&](int) { key(tree, Qt::Key_PageUp); });
    measure("click on a row", 300, [&](int) {
        press(tree, rowPoint(tree, int(random.bounded(tree->topLevelItemCount())), false));
    });
    {
        // Right opens a closed cluster, Left closes it again; the cluster is brought to the top first.
        const qint64 clusterSpan = (cues - 7) / shape.clusters;
        TimingFigures opens, closes;
        for (int i = 0; i < 100; ++i) {
            const qint64 cluster = 7 + qint64(random.bounded(shape.clusters)) * clusterSpan;
            if (reader->isOpen(cluster))
                continue;
            tree->goToId(cluster, false);
            timer.restart();
            key(tree, Qt::Key_Right);
            opens.add(double(timer.nsecsElapsed()) / 1e6);
            timer.restart();
            key(tree, Qt::Key_Left);
            closes.add(double(timer.nsecsElapsed()) / 1e6);
        }
        opens.print("Right on a closed cluster (opens)");
        closes.print("Left on the open cluster (closes)");
    }
    ctrlEnd(tree, "Ctrl+End from the top");
    tree->goToId(cues, false);
    for (int i = 0; i < 3; ++i) {
        timer.restart();
        key(tree, Qt::Key_Right);
        const double opened = double(timer.nsecsElapsed()) / 1e6;
        const int rows = reader->rowCount();
        timer.restart();
        key(tree, Qt::Key_Left);
        std::printf("Right on a 1M-child element %8.1f ms (rows %d), Left %8.1f ms\n", opened, rows,
                    double(timer.nsecsElapsed()) / 1e6);
    }
    key(tree, Qt::Key_Right);
    measure("scroll bar to a random row, 1M more", 300, [&](int) {
        bar->setValue(int(random.bounded(bar->maximum() + 1)));
    });
    ctrlEnd(tree, "Ctrl+End from the top, cue table open");
    measure("go to a random element (opening its path)", 200, [&](int) {
        tree->goToId(1 + qint64(random.bounded(quint64(count))));
    });
    std::printf("rows held by the view: %d items, visible-row list: %d ids\n", tree->topLevelItemCount(),
                reader->rowCount());
    return 0;
}
