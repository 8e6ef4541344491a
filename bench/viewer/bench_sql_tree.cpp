// Figures for the element tree on a database of about five million elements: the time of each
// refill after a key, a click, a wheel step or a scroll-bar move, going to the last row with
// Ctrl+End, and opening and closing an element with a million children. The widget is shown
// (offscreen unless a display is chosen), so every figure includes painting the rows.

#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "synthetic_database.h"
#include "viewer_database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

void measure(const char *what, int times, const std::function<void(int)> &action)
{
    std::vector<double> ms;
    for (int i = 0; i < times; ++i) {
        QElapsedTimer timer;
        timer.start();
        action(i);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double value : ms)
        sum += value;
    std::printf("%-40s n=%-4d mean %8.3f ms  p99 %8.3f ms  max %8.3f ms\n", what, times, sum / times,
                ms[size_t(times) * 99 / 100], ms.back());
}

void key(SqlTree *tree, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, code, modifiers);
    QApplication::sendEvent(tree, &press);
}

void press(SqlTree *tree, const QPoint &point)
{
    QMouseEvent event(QEvent::MouseButtonPress, point, tree->viewport()->mapToGlobal(point), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &event);
}

QPoint rowPoint(SqlTree *tree, int row, bool branch)
{
    const QModelIndex index = tree->model()->index(row, 0);
    const int y = tree->visualRect(index).center().y();
    const int level = SqlTree::elementAt(index).level;
    return branch ? QPoint(tree->indent_step * level + tree->indent_step / 2, y)
                  : QPoint(tree->columnViewportPosition(1) + 4, y);
}

// Ctrl+End from the first row; only the key is timed.
void ctrlEnd(SqlTree *tree, const char *what)
{
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        key(tree, Qt::Key_Home, Qt::ControlModifier);
        QElapsedTimer timer;
        timer.start();
        key(tree, Qt::Key_End, Qt::ControlModifier);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-40s n=%-4zu median %8.3f ms  max %8.3f ms\n", what, ms.size(), ms[ms.size() / 2], ms.back());
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
    {
        // The parts of one refill: keeping the last page full, reading the window, painting.
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 100; ++i)
            reader->stepRows(count, -50);
        std::printf("part: stepRows(count, -50)   %.3f ms\n", double(t.nsecsElapsed()) / 1e8);
        t.restart();
        for (int i = 0; i < 100; ++i) {
            QList<ViewerDatabase::Element> list;
            reader->fetchWindow(reader->idAt(int(random.bounded(quint32(reader->rowCount())))), 50, list);
        }
        std::printf("part: fetchWindow(random, 50) %.3f ms\n", double(t.nsecsElapsed()) / 1e8);
        t.restart();
        for (int i = 0; i < 100; ++i)
            tree->viewport()->repaint();
        std::printf("part: repaint of the same rows %.3f ms\n", double(t.nsecsElapsed()) / 1e8);
    }
    measure("scroll bar to a random row", 500, [&](int) {
        bar->setValue(int(random.bounded(bar->maximum() + 1)));
    });
    measure("wheel step down", 300, [&](int) {
        const QPoint at = rowPoint(tree, 2, false);
        QWheelEvent event(at, tree->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tree->viewport(), &event);
    });
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
        std::vector<double> opens, closes;
        for (int i = 0; i < 100; ++i) {
            const qint64 cluster = 7 + qint64(random.bounded(shape.clusters)) * clusterSpan;
            if (reader->isOpen(cluster))
                continue;
            tree->goToId(cluster, false);
            timer.restart();
            key(tree, Qt::Key_Right);
            opens.push_back(double(timer.nsecsElapsed()) / 1e6);
            timer.restart();
            key(tree, Qt::Key_Left);
            closes.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(opens.begin(), opens.end());
        std::sort(closes.begin(), closes.end());
        std::printf("%-40s n=%-4zu median %8.3f ms  max %8.3f ms\n", "Right on a closed cluster (opens)",
                    opens.size(), opens[opens.size() / 2], opens.back());
        std::printf("%-40s n=%-4zu median %8.3f ms  max %8.3f ms\n", "Left on the open cluster (closes)",
                    closes.size(), closes[closes.size() / 2], closes.back());
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
