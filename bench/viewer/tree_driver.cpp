#include "tree_driver.h"

#include "sql_tree.h"
#include "timing_figures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QWheelEvent>

#include <cstdio>

namespace TreeDriver {

void key(SqlTree *tree, int code, Qt::KeyboardModifiers modifiers)
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

void wheel(SqlTree *tree, int delta)
{
    const QPoint at = rowPoint(tree, 2, false);
    QWheelEvent event(at, tree->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
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

void flush()
{
    QApplication::sendPostedEvents();
    QApplication::processEvents();
}

void measure(TimingFigures &figures, int times, const std::function<void(int)> &action,
             const std::function<void(int)> &prepare)
{
    for (int i = 0; i < times; ++i) {
        if (prepare) {
            prepare(i);
            flush();
        }
        QElapsedTimer timer;
        timer.start();
        action(i);
        flush();
        figures.add(double(timer.nsecsElapsed()) / 1e6);
    }
}

void printRefillParts(SqlTree *tree, ViewerDatabase *reader, QRandomGenerator &random)
{
    const int page = tree->page_rows;
    const qint64 count = reader->elementCount();
    const auto randomId = [&] { return reader->idAt(int(random.bounded(quint32(qMax(reader->rowCount(), 1))))); };
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 100; ++i)
        reader->stepRows(count, -page);
    std::printf("part: stepRows(count, -%d)   %.3f ms\n", page, double(t.nsecsElapsed()) / 1e8);
    t.restart();
    for (int i = 0; i < 100; ++i) {
        QList<ViewerDatabase::Element> list;
        reader->fetchWindow(randomId(), page, list);
    }
    std::printf("part: fetchWindow(random, %d) %.3f ms\n", page, double(t.nsecsElapsed()) / 1e8);
    t.restart();
    for (int i = 0; i < 100; ++i)
        tree->viewport()->repaint();
    std::printf("part: repaint of the same rows %.3f ms\n", double(t.nsecsElapsed()) / 1e8);
    t.restart();
    for (int i = 0; i < 100; ++i)
        tree->fillRows(randomId(), page, true);
    std::printf("part: fillRows(random, %d)    %.3f ms\n", page, double(t.nsecsElapsed()) / 1e8);
}

} // namespace TreeDriver
