// Figures for the find bar and the problems panel on a large file: the time from the end of the
// typing pause to the first match selected in the tree, the time to the full count, the longest
// slice of the count (the longest the window waits for events), and the problem queries.

#include "find_bar.h"
#include "problems_panel.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "timing_figures.h"
#include "viewer_database.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace {

// The longest time between two turns of the event loop while the count runs.
class GapWatch : public QObject
{
public:
    GapWatch()
    {
        m_tick.setInterval(0);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            if (m_clock.isValid())
                m_longest = qMax(m_longest, elapsedMs(m_clock));
            m_clock.start();
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.invalidate();
        m_tick.start();
    }
    double stop()
    {
        m_tick.stop();
        return m_longest;
    }

private:
    QTimer m_tick;
    QElapsedTimer m_clock;
    double m_longest = 0;
};

struct Case
{
    const char *what;
    const char *text;
    bool wholeWord;
    bool nameOnly;
};

void measure(SqlTreeWidget &widget, const Case &run)
{
    FindBar *bar = widget.findBar();
    SqlTree *tree = widget.sqlTree();
    tree->goToId(1, false, true);
    widget.showFindBar();
    bar->wholeWordBox()->setChecked(run.wholeWord);
    bar->namesOnlyBox()->setChecked(run.nameOnly);
    QElapsedTimer clock;
    double firstMs = -1;
    const auto connection = QObject::connect(bar, &FindBar::matchSelected, tree, [&](qint64 id) {
        tree->revealId(id, true);
        firstMs = elapsedMs(clock);
    });
    bar->textEdit()->setText(QString::fromUtf8(run.text));
    GapWatch gaps;
    gaps.start();
    clock.start();
    // What the typing pause would run, without the pause itself.
    QMetaObject::invokeMethod(bar, "findNext");
    while (bar->isSearching())
        QCoreApplication::processEvents();
    const double countMs = elapsedMs(clock);
    const double gapMs = gaps.stop();
    QObject::disconnect(connection);
    std::printf("%-28s first match %8.1f ms   count %8.1f ms   longest wait for events %6.1f ms   %s\n",
                run.what, firstMs, countMs, gapMs, qPrintable(bar->countText()));
    bar->reset();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: bench_find FILE [COMMON_NAME [RARE_TEXT]]\n");
        return 2;
    }
    SqlTreeWidget widget;
    widget.resize(900, 1000);
    widget.show();
    QElapsedTimer clock;
    clock.start();
    if (widget.analyzeFile(QFileInfo(arguments.at(0)).absoluteFilePath(), QString()) != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(arguments.at(0)), qPrintable(widget.analysisError()));
        return 1;
    }
    ViewerDatabase *database = widget.viewerDatabase();
    std::printf("file: %s, %lld elements, parsed in %.0f ms\n", qPrintable(arguments.at(0)),
                database->elementCount(), elapsedMs(clock));

    const QByteArray common = arguments.size() > 1 ? arguments.at(1).toUtf8() : QByteArray("00dc");
    const QByteArray rare = arguments.size() > 2 ? arguments.at(2).toUtf8() : QByteArray("idx1");
    const Case cases[] = {
        {"common name", common.constData(), false, false},
        {"common name, names only", common.constData(), false, true},
        {"common name, whole word", common.constData(), true, false},
        {"rare text", rare.constData(), false, false},
        {"text beyond ASCII", "\xc3\xa4pfel", false, false},
        {"no match", "zzzzq", false, false},
    };
    for (const Case &run : cases)
        measure(widget, run);

    ProblemsPanel panel;
    clock.start();
    panel.load(database);
    std::printf("problems panel filled in %.1f ms: %s\n", elapsedMs(clock), qPrintable(panel.summary()));
    return 0;
}
