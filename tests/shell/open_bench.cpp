// Measures the wait from choosing a file in the open dialog to its filled tree, against the
// engine's own parse time for the same file:
//
//   kestrune-open-bench FILE [RUNS]
//
// Both are run RUNS times (default 5), alternately; the medians are printed. The MediaInfo run
// that follows the tree is left out (a program that ends at once stands in for the analyser).

#include "engine_timing.h"
#include "main_window.h"
#include "modal_answerer.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "timing_figures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

namespace {

// The open dialog answered, up to the tree showing the file's first rows.
double openMilliseconds(MainWindow &window, ModalAnswerer &answerer, const QString &file)
{
    QElapsedTimer clock;
    double elapsed = -1;
    const auto started = QObject::connect(&answerer, &ModalAnswerer::fileChosen, [&clock] { clock.start(); });
    // The title names the file right after the tree and the hex view have it.
    const auto filled = QObject::connect(&window, &QWidget::windowTitleChanged, [&](const QString &title) {
        if (title.contains(QLatin1Char('[')) && window.treeView()->sqlTree()->topLevelItemCount() > 0)
            elapsed = clock.nsecsElapsed() / 1e6;
    });
    answerer.chooseFile(file);
    window.openContainer();
    QObject::disconnect(started);
    QObject::disconnect(filled);
    window.closeFile();
    return elapsed;
}

} // namespace

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kestrune-open-bench FILE [RUNS]\n");
        return 2;
    }
    const QString file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int runs = argc > 2 ? qMax(1, QString::fromLocal8Bit(argv[2]).toInt()) : 5;

    MainWindow window;
    window.setMediaInfoProgram(QStringLiteral("/bin/true"));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    ModalAnswerer answerer;

    TimingFigures engine, open;
    for (int run = 0; run < runs; ++run) {
        const double parsed = engineParseMilliseconds(file);
        const double opened = openMilliseconds(window, answerer, file);
        engine.add(parsed);
        open.add(opened);
        std::printf("run %d: engine %.1f ms, dialog to tree %.1f ms\n", run + 1, parsed, opened);
    }
    const double e = engine.median(), o = open.median();
    std::printf("median: engine %.1f ms, dialog to tree %.1f ms, difference %.1f ms\n", e, o, o - e);
    return 0;
}
