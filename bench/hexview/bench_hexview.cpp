// Figures for the hex view: the time of a full repaint of a 1080-pixel-high view, and how often
// paging through a large file reads each byte from disk. With --screenshot PATH it also saves a
// picture of the view with a highlighted selection.

#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "cached_file.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

using Range = std::pair<qint64, qint64>;

QString writeSample(const QTemporaryDir &dir, qint64 size)
{
    const QString path = dir.filePath(QStringLiteral("sample.bin"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray block(65536, '\0');
    quint32 seed = 1;
    for (char &c : block) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 16);
    }
    for (qint64 written = 0; written < size; written += block.size())
        file.write(block.constData(), qMin<qint64>(block.size(), size - written));
    return path;
}

// Shows widget and waits until it is on screen, so that repaint() really paints.
void showExposed(QWidget &widget)
{
    widget.show();
    QElapsedTimer timer;
    timer.start();
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!widget.windowHandle() || !widget.windowHandle()->isExposed())
        qFatal("the view never came on screen");
}

// Largest number of cache fills that covered one byte.
int maxCoverage(std::vector<Range> fills)
{
    std::vector<std::pair<qint64, int>> edges;
    for (const Range &r : fills) {
        edges.emplace_back(r.first, 1);
        edges.emplace_back(r.second + 1, -1);
    }
    std::sort(edges.begin(), edges.end());
    int depth = 0;
    int most = 0;
    for (const auto &edge : edges) {
        depth += edge.second;
        most = std::max(most, depth);
    }
    return most;
}

// Records the window each fill brings in; at most one fill may happen between two calls.
class FillLog
{
public:
    explicit FillLog(const CachedFile &file) : m_file(file), m_reads(file.diskReads()) {}
    bool note()
    {
        const qint64 reads = m_file.diskReads();
        if (reads == m_reads)
            return true;
        const bool single = reads == m_reads + 1;
        m_reads = reads;
        if (m_file.cacheEnd() >= m_file.cacheStart())
            m_fills.emplace_back(m_file.cacheStart(), m_file.cacheEnd());
        return single;
    }
    const std::vector<Range> &fills() const { return m_fills; }

private:
    const CachedFile &m_file;
    qint64 m_reads;
    std::vector<Range> m_fills;
};

void benchRepaint(const QString &path)
{
    std::printf("full repaint, viewport 1080 px high:\n");
    for (const double font : {6.0, 10.0}) {
        for (const int bytesPerLine : {8, 16, 32}) {
            BinViewArea area;
            area.setFontSize(font);
            area.setBytesPerLine(bytesPerLine);
            area.resize(area.width(), 1080 + 2 * area.frameWidth());
            showExposed(area);
            area.openFile(path);
            area.setSelection(100, 20 * bytesPerLine, false);
            for (int i = 0; i < 20; ++i)
                area.viewport()->repaint();
            const int rounds = 300;
            std::vector<double> times;
            for (int i = 0; i < rounds; ++i) {
                area.verticalScrollBar()->setValue(i % 2 ? 0 : 4);
                QElapsedTimer timer;
                timer.start();
                area.viewport()->repaint();
                times.push_back(timer.nsecsElapsed() / 1e6);
            }
            std::sort(times.begin(), times.end());
            std::printf("  font %4.1f pt, %2d bytes/line, %3d lines of %d px: median %.3f ms, 95%% %.3f ms, "
                        "max %.3f ms\n",
                        font, bytesPerLine, area.viewLayout().visibleLines(), area.lineHeight(), times[rounds / 2],
                        times[rounds * 95 / 100], times.back());
        }
    }
}

void report(const char *what, qint64 shown, qint64 diskBytes, const std::vector<Range> &fills, bool single)
{
    std::printf("  %s: %lld bytes shown, %lld read from disk (%.3f x) in %zu reads, each byte read at most "
                "%d times%s\n",
                what, static_cast<long long>(shown), static_cast<long long>(diskBytes),
                double(diskBytes) / double(shown), fills.size(), maxCoverage(fills),
                single ? "" : " (more than one read per page!)");
}

// Pages through the first span bytes with the real view, forwards and then backwards.
void benchViewPaging(const QString &path, qint64 span)
{
    BinViewArea area;
    area.setFontSize(6.0);
    area.setBytesPerLine(32);
    area.resize(area.width(), 1080 + 2 * area.frameWidth());
    showExposed(area);
    area.openFile(path);
    const CachedFile &file = *area.file();
    FillLog log(file);
    bool single = true;
    const qint64 pageBytes = area.viewLayout().visibleLines() * qint64(area.bytesPerLine());
    QScrollBar *bar = area.verticalScrollBar();
    area.viewport()->repaint();
    while (area.viewLayout().lineOffset(area.topLine()) + pageBytes < span) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        area.viewport()->repaint();
        single = log.note() && single;
    }
    report("view, forwards", area.viewLayout().lineOffset(area.topLine()) + pageBytes, file.diskBytesRead(),
           log.fills(), single);
    const qint64 before = file.diskBytesRead();
    FillLog back(file);
    const qint64 from = area.viewLayout().lineOffset(area.topLine()) + pageBytes;
    while (area.topLine() > 0) {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        area.viewport()->repaint();
        single = back.note() && single;
    }
    report("view, backwards", from, file.diskBytesRead() - before, back.fills(), single);
}

// Pages through a whole file with the view's own read pattern: one read per line, top to bottom.
void benchFilePaging(const QString &path, qint64 size)
{
    const int bytesPerLine = 16;
    const qint64 pageLines = 63;
    const qint64 lines = (size + bytesPerLine - 1) / bytesPerLine;
    CachedFile file;
    if (!file.openFile(path))
        qFatal("cannot open %s", qPrintable(path));
    QElapsedTimer timer;
    timer.start();
    FillLog forwards(file);
    bool single = true;
    for (qint64 top = 0; top < lines; top += pageLines) {
        for (qint64 line = top; line < qMin(lines, top + pageLines); ++line)
            file.readAt(line * bytesPerLine, bytesPerLine);
        single = forwards.note() && single;
    }
    report("file, forwards", size, file.diskBytesRead(), forwards.fills(), single);
    const qint64 before = file.diskBytesRead();
    FillLog backwards(file);
    for (qint64 top = (lines - 1) / pageLines * pageLines; top >= 0; top -= pageLines) {
        for (qint64 line = top; line < qMin(lines, top + pageLines); ++line)
            file.readAt(line * bytesPerLine, bytesPerLine);
        single = backwards.note() && single;
    }
    report("file, backwards", size, file.diskBytesRead() - before, backwards.fills(), single);
    std::printf("  both passes took %.1f s\n", timer.nsecsElapsed() / 1e9);
}

int screenshot(const QString &path, const QString &output)
{
    QFile file(path);
    const QByteArray text("The selected element's bytes run unbroken inside groups of four.");
    if (!file.open(QIODevice::ReadWrite) || !file.seek(0x1234) || file.write(text) != text.size())
        return 1;
    file.close();
    BinViewWidget widget;
    BinViewArea *area = widget.binViewArea();
    area->setBytesPerLine(16);
    area->setFontSize(10.0);
    widget.resize(widget.sizeHint().width(), 400);
    showExposed(widget);
    area->openFile(path);
    area->setSelection(0x1236, 0x3B, true);
    QApplication::processEvents();
    if (!widget.grab().save(output))
        return 1;
    std::printf("screenshot with bytes 0x1236 .. 0x1270 selected saved to %s\n", qPrintable(output));
    return 0;
}

}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption shotOption(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the view to <file> and stop."),
                                        QStringLiteral("file"));
    parser.addOption(shotOption);
    parser.process(app);

    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    const QString sample = writeSample(dir, 1 << 20);
    if (parser.isSet(shotOption))
        return screenshot(sample, parser.value(shotOption));

    benchRepaint(sample);

    // Sparse: the size costs no disk space.
    const qint64 big = qint64(1) << 30;
    const QString bigPath = dir.filePath(QStringLiteral("big.bin"));
    QFile bigFile(bigPath);
    if (!bigFile.open(QIODevice::WriteOnly) || !bigFile.resize(big))
        qFatal("cannot make %s", qPrintable(bigPath));
    bigFile.close();
    std::printf("paging page by page:\n");
    benchViewPaging(bigPath, qint64(16) << 20);
    benchFilePaging(bigPath, big);
    return 0;
}
