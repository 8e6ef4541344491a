#include "bin_view_area.h"
#include "cached_file.h"
#include "screen_reader.h"

#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <memory>

namespace {

// 16 GiB and 20 bytes: at 4 bytes per line more lines than an int can count.
const qint64 fileSize = (qint64(1) << 34) + 20;
const qint64 markerOffset = 0x123456780;
const int visible = 10;

}

class TestBinViewLargeFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scrollBarReachesTheEnd();
    void selectionScrollsToItsLine_data();
    void selectionScrollsToItsLine();

private:
    std::unique_ptr<BinViewArea> showArea(int bytesPerLine);

    QTemporaryDir m_dir;
    QString m_path;
};

void TestBinViewLargeFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("sparse.bin"));
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // Only the written bytes take disk space; the rest of the file is a hole.
    if (!file.resize(fileSize) || !file.seek(markerOffset) || file.write("KESTRUNE") != 8
        || !file.seek(fileSize - 4) || file.write("TAIL") != 4)
        QSKIP("the temporary folder cannot hold a sparse 16 GiB file");
}

std::unique_ptr<BinViewArea> TestBinViewLargeFile::showArea(int bytesPerLine)
{
    auto area = std::make_unique<BinViewArea>();
    area->setBytesPerLine(bytesPerLine);
    area->resize(area->width(), visible * area->lineHeight() + 2 * area->frameWidth());
    area->show();
    if (!QTest::qWaitForWindowExposed(area.get()) || !area->openFile(m_path))
        return nullptr;
    return area;
}

void TestBinViewLargeFile::scrollBarReachesTheEnd()
{
    auto area = showArea(4);
    QVERIFY(area);
    const qint64 lines = (qint64(1) << 32) + 5;
    QCOMPARE(area->lineCount(), lines);
    QScrollBar *bar = area->verticalScrollBar();
    QCOMPARE(bar->maximum(), std::numeric_limits<int>::max());

    bar->setValue(bar->maximum());
    QCOMPARE(area->topLine(), lines - visible);
    {
        const ScreenReader screen(*area);
        QCOMPARE(screen.text().at(visible - 1), QStringLiteral(" 0400000010   54 41 49 4C   TAIL"));
        QCOMPARE(screen.text().at(visible - 2), QStringLiteral(" 040000000C   00 00 00 00   ...."));
    }

    // Halfway along the bar is halfway through the file.
    bar->setValue(bar->maximum() / 2);
    QVERIFY(qAbs(area->topLine() - (lines - visible) / 2) <= 2);
    bar->setValue(0);
    QCOMPARE(area->topLine(), qint64(0));

    // Steps and pages count lines, not scroll bar units.
    area->setSelection(markerOffset, 8, true);
    const qint64 top = markerOffset / 4;
    QCOMPARE(area->topLine(), top);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(area->topLine(), top + visible);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(area->topLine(), top + visible - 1);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(area->topLine(), top);
    QCOMPARE(ScreenReader(*area).text().at(1), QStringLiteral(" 0123456784   52 55 4E 45   RUNE"));
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(area->topLine(), lines - visible);

    // Never more than the window in memory, wherever the view went.
    const CachedFile *file = area->file();
    QCOMPARE(file->cacheCapacity(), CachedFile::maxCacheCapacity);
    QVERIFY(file->cacheEnd() - file->cacheStart() < CachedFile::maxCacheCapacity);
}

void TestBinViewLargeFile::selectionScrollsToItsLine_data()
{
    QTest::addColumn<int>("bytesPerLine");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("topLine");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("marker at 4 per line")
        << 4 << markerOffset << markerOffset / 4 << " 0123456780   4B 45 53 54   KEST";
    QTest::newRow("marker, mid-line, at 4 per line")
        << 4 << markerOffset + 5 << markerOffset / 4 + 1 << " 0123456784   52 55 4E 45   RUNE";
    QTest::newRow("marker at 32 per line")
        << 32 << markerOffset << markerOffset / 32
        << " 0123456780   4B 45 53 54  52 55 4E 45  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  "
           "00 00 00 00  00 00 00 00   KESTRUNE........................";
    QTest::newRow("last byte at 4 per line")
        << 4 << fileSize - 1 << (qint64(1) << 32) + 5 - visible << " 03FFFFFFEC   00 00 00 00   ....";
    QTest::newRow("one line past the 2^31st at 4 per line")
        << 4 << (qint64(1) << 33) + 4 << (qint64(1) << 31) + 1 << " 0200000004   00 00 00 00   ....";
}

void TestBinViewLargeFile::selectionScrollsToItsLine()
{
    QFETCH(int, bytesPerLine);
    QFETCH(qint64, start);
    QFETCH(qint64, topLine);
    QFETCH(QString, firstLine);

    auto area = showArea(bytesPerLine);
    QVERIFY(area);
    area->setSelection(start, 3, true);
    QCOMPARE(area->topLine(), topLine);
    const ScreenReader screen(*area);
    QCOMPARE(screen.text().at(0), firstLine);
    const int line = int(start / bytesPerLine - topLine);
    QCOMPARE(screen.mask(line, 0, 14), QString());
    QVERIFY(screen.mask(line, 14, 1000).contains(QLatin1Char('#')));

    // Selecting again without scrolling keeps the line, wherever the view is.
    area->verticalScrollBar()->setValue(0);
    area->setSelection(start, 3, false);
    QCOMPARE(area->topLine(), qint64(0));
}

QTEST_MAIN(TestBinViewLargeFile)
#include "test_bin_view_large_file.moc"
