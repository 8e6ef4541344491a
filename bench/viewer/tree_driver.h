#pragma once

#include <QPoint>
#include <Qt>

#include <functional>

class QRandomGenerator;
class SqlTree;
class TimingFigures;
class ViewerDatabase;

/// Input to the element tree as the user gives it, and the time the tree takes to answer it,
/// painting included.
namespace TreeDriver {

void key(SqlTree *tree, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void press(SqlTree *tree, const QPoint &point);
/// One wheel notch at the third row; delta < 0 turns it towards the user (down).
void wheel(SqlTree *tree, int delta);
/// A point on a shown row: on its branch arrow, or in its offset column.
QPoint rowPoint(SqlTree *tree, int row, bool branch);
/// Delivers what an action left pending (updates posted rather than painted at once), so
/// that a figure holds the painting too.
void flush();
/// Runs prepare(i), untimed, then action(i) and the painting it caused, timed, for i from 0 to
/// times - 1, into figures.
void measure(TimingFigures &figures, int times, const std::function<void(int)> &action,
             const std::function<void(int)> &prepare = {});
/// Prints the mean time of the parts of one refill, 100 times each: keeping the last page full
/// (stepping back a page from the end), reading a page of rows at a random row, repainting the
/// same rows, and the whole refill at a random row, which also rebuilds the items.
void printRefillParts(SqlTree *tree, ViewerDatabase *reader, QRandomGenerator &random);

} // namespace TreeDriver
