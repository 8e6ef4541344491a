// What the user waits for when a large file goes away: closing it (File -> Close), opening
// another file over it, and quitting (the window's close and its destruction). Each is timed
// RUNS times (default 3), the large file freshly opened before with its longest list of
// children open; the medians are printed, with the resident memory before and after, so that
// a close that only hides its cost shows.
//
//   bench_close LARGE [OTHER [RUNS]]
//
// OTHER (default LARGE) is the file opened over LARGE; the time until the old database is gone
// is printed apart from the whole open. The MediaInfo run is left out (a program that ends at
// once stands in for the analyser).

#include "main_window.h"
#include "sql_tree_widget.h"
#include "timing_figures.h"
#include "viewer_database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

namespace {

// The resident set of this process in MiB, from /proc.
double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return -1;
}

// Opens the element with the most children, and its ancestors, as a user looking through a
// long list would: the visible rows and the open elements are part of what a close frees.
void openLongestList(MainWindow &window)
{
    ViewerDatabase *reader = window.treeView()->viewerDatabase();
    QSqlQuery query(*reader->database());
    query.exec(QStringLiteral("SELECT parent_id FROM elements GROUP BY parent_id ORDER BY count(*) DESC LIMIT 1"));
    if (query.next())
        reader->openPath(query.value(0).toLongLong());
    window.treeView()->resetView();
}

void openLarge(MainWindow &window, const QString &file)
{
    window.openFile(file);
    if (window.treeView()->viewerDatabase()->isAttached())
        openLongestList(window);
}

std::unique_ptr<MainWindow> openWindow(const QString &file, double *openMs)
{
    auto window = std::make_unique<MainWindow>();
    window->setMediaInfoProgram(QStringLiteral("/bin/true"));
    window->show();
    QApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    openLarge(*window, file);
    *openMs = elapsedMs(clock);
    return window;
}

} // namespace

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_close LARGE [OTHER [RUNS]]\n");
        return 2;
    }
    const QString large = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString other = argc > 2 ? QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath() : large;
    const int runs = argc > 3 ? qMax(1, QString::fromLocal8Bit(argv[3]).toInt()) : 3;

    TimingFigures open, close, reopenClose, reopen, quit;
    for (int run = 0; run < runs; ++run) {
        double openMs = 0;
        std::unique_ptr<MainWindow> window = openWindow(large, &openMs);
        ViewerDatabase *reader = window->treeView()->viewerDatabase();
        if (!reader->isAttached()) {
            std::fprintf(stderr, "%s: not opened\n", qPrintable(large));
            return 1;
        }
        open.add(openMs);
        const qint64 elements = reader->elementCount();
        const int rows = reader->rowCount();
        const double openRss = residentMiB();
        QElapsedTimer clock;
        clock.start();
        window->closeFile();
        const double closeMs = elapsedMs(clock);
        close.add(closeMs);
        std::printf("run %d: %lld elements, %d rows open; open %.0f ms, %.0f MiB; close %.1f ms, %.0f MiB after\n",
                    run + 1, elements, rows, openMs, openRss, closeMs, residentMiB());

        openLarge(*window, large);
        // The first change of the tree's database in openFile is the old one going away.
        double goneMs = -1;
        const auto gone = QObject::connect(window->treeView(), &SqlTreeWidget::databaseChanged, [&] {
            if (goneMs < 0)
                goneMs = elapsedMs(clock);
        });
        clock.start();
        window->openFile(other);
        const double reopenMs = elapsedMs(clock);
        reopen.add(reopenMs);
        reopenClose.add(goneMs);
        QObject::disconnect(gone);
        std::printf("run %d: open another: old database gone after %.1f ms, other open after %.0f ms, %.0f MiB\n",
                    run + 1, goneMs, reopenMs, residentMiB());

        openLarge(*window, large);
        clock.start();
        window->close();
        window.reset();
        const double quitMs = elapsedMs(clock);
        quit.add(quitMs);
        std::printf("run %d: close and destroy the window %.1f ms, %.0f MiB after\n", run + 1, quitMs, residentMiB());
    }
    std::printf("median of %d runs: open %.0f ms; close %.1f ms; open another: close part %.1f ms, all %.0f ms; "
                "quit %.1f ms\n",
                runs, open.median(), close.median(), reopenClose.median(), reopen.median(), quit.median());
    return 0;
}
