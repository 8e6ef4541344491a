#include "bin_view_layout.h"

#include <QTest>

#include <limits>

class TestBinViewLayout : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void clamping_data();
    void clamping();
    void selectionBounds_data();
    void selectionBounds();
    void selectionShown_data();
    void selectionShown();
    void sliderMapping_data();
    void sliderMapping();
};

void TestBinViewLayout::lines_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("bytesPerLine");
    QTest::addColumn<qint64>("lines");
    QTest::addColumn<int>("onLastLine");

    QTest::newRow("no file") << qint64(-1) << 16 << qint64(0) << 0;
    QTest::newRow("empty file") << qint64(0) << 16 << qint64(0) << 0;
    QTest::newRow("one byte") << qint64(1) << 16 << qint64(1) << 1;
    QTest::newRow("one full line") << qint64(16) << 16 << qint64(1) << 16;
    QTest::newRow("20 bytes at 16") << qint64(20) << 16 << qint64(2) << 4;
    QTest::newRow("past 32 bits") << (qint64(1) << 33) + 3 << 32 << (qint64(1) << 28) + 1 << 3;
    QTest::newRow("largest size") << std::numeric_limits<qint64>::max() << 4 << (qint64(1) << 61) << 3;
}

void TestBinViewLayout::lines()
{
    QFETCH(qint64, size);
    QFETCH(int, bytesPerLine);
    QFETCH(qint64, lines);
    QFETCH(int, onLastLine);

    BinViewLayout layout;
    layout.setBytesPerLine(bytesPerLine);
    layout.setFileSize(size);
    QCOMPARE(layout.lineCount(), lines);
    QCOMPARE(layout.bytesOnLine(lines - 1), onLastLine);
    QCOMPARE(layout.bytesOnLine(lines), 0);
}

void TestBinViewLayout::clamping_data()
{
    QTest::addColumn<int>("bytesPerLine");
    QTest::addColumn<int>("clampedBytes");
    QTest::addColumn<double>("fontSize");
    QTest::addColumn<double>("clampedFont");

    QTest::newRow("18 and 30") << 18 << 16 << 30.0 << 20.0;
    QTest::newRow("2 and 5.9") << 2 << 4 << 5.9 << 6.0;
    QTest::newRow("40 and 20") << 40 << 32 << 20.0 << 20.0;
    QTest::newRow("kept") << 12 << 12 << 10.5 << 10.5;
    QTest::newRow("zero") << 0 << 4 << 0.0 << 6.0;
    QTest::newRow("negative") << -13 << 4 << -3.0 << 6.0;
    QTest::newRow("35 and infinity") << 35 << 32 << std::numeric_limits<double>::infinity() << 9.0;
    QTest::newRow("int extremes and NaN")
        << std::numeric_limits<int>::min() << 4 << std::numeric_limits<double>::quiet_NaN() << 9.0;
}

void TestBinViewLayout::clamping()
{
    QFETCH(int, bytesPerLine);
    QFETCH(int, clampedBytes);
    QFETCH(double, fontSize);
    QFETCH(double, clampedFont);

    QCOMPARE(BinViewLayout::clampBytesPerLine(bytesPerLine), clampedBytes);
    QCOMPARE(BinViewLayout::clampFontSize(fontSize, 9.0), clampedFont);
    BinViewLayout layout;
    layout.setBytesPerLine(bytesPerLine);
    QCOMPARE(layout.bytesPerLine(), clampedBytes);
}

void TestBinViewLayout::selectionBounds_data()
{
    const qint64 top = std::numeric_limits<qint64>::max();
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<bool>("selected");

    QTest::newRow("first byte") << qint64(2) << qint64(4) << qint64(2) << true;
    QTest::newRow("last byte") << qint64(2) << qint64(4) << qint64(5) << true;
    QTest::newRow("after the end") << qint64(2) << qint64(4) << qint64(6) << false;
    QTest::newRow("before the start") << qint64(2) << qint64(4) << qint64(1) << false;
    QTest::newRow("empty") << qint64(2) << qint64(0) << qint64(2) << false;
    QTest::newRow("negative length") << qint64(2) << qint64(-4) << qint64(1) << false;
    QTest::newRow("starts before the file") << qint64(-5) << qint64(10) << qint64(4) << true;
    QTest::newRow("ends where it starts plus length") << qint64(-5) << qint64(10) << qint64(5) << false;
    QTest::newRow("end beyond the qint64 range") << top - 1 << top << top << true;
    QTest::newRow("widest") << std::numeric_limits<qint64>::min() << top << qint64(0) << false;
}

void TestBinViewLayout::selectionBounds()
{
    QFETCH(qint64, start);
    QFETCH(qint64, length);
    QFETCH(qint64, offset);
    QFETCH(bool, selected);

    BinViewLayout layout;
    layout.setSelection(start, length);
    QCOMPARE(layout.isSelected(offset), selected);
}

void TestBinViewLayout::selectionShown_data()
{
    QTest::addColumn<qint64>("topLine");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<bool>("shown");

    // 8 bytes per line, 10 lines on screen.
    QTest::newRow("first shown byte") << qint64(5) << qint64(40) << true;
    QTest::newRow("last shown byte") << qint64(5) << qint64(119) << true;
    QTest::newRow("first byte of the line below") << qint64(5) << qint64(120) << false;
    QTest::newRow("line above") << qint64(5) << qint64(39) << false;
    QTest::newRow("past the end of the file") << qint64(990) << qint64(8000) << false;
}

void TestBinViewLayout::selectionShown()
{
    QFETCH(qint64, topLine);
    QFETCH(qint64, start);
    QFETCH(bool, shown);

    BinViewLayout layout;
    layout.setBytesPerLine(8);
    layout.setFileSize(8000);
    layout.setLineHeight(15);
    layout.setViewportHeight(150 + 14);
    QCOMPARE(layout.visibleLines(), 10);
    layout.setSelection(start, 1);
    QCOMPARE(layout.isSelectionShown(topLine), shown);
}

void TestBinViewLayout::sliderMapping_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("bytesPerLine");

    QTest::newRow("small file") << qint64(100000) << 16;
    QTest::newRow("just fits an int") << (qint64(std::numeric_limits<int>::max()) + 10) * 4 << 4;
    QTest::newRow("one more line than an int") << (qint64(std::numeric_limits<int>::max()) + 11) * 4 << 4;
    QTest::newRow("16 GiB at 4") << (qint64(1) << 34) + 20 << 4;
    QTest::newRow("largest size") << std::numeric_limits<qint64>::max() << 4;
}

void TestBinViewLayout::sliderMapping()
{
    QFETCH(qint64, size);
    QFETCH(int, bytesPerLine);

    BinViewLayout layout;
    layout.setBytesPerLine(bytesPerLine);
    layout.setFileSize(size);
    layout.setLineHeight(10);
    layout.setViewportHeight(100);
    const qint64 maxTop = layout.lineCount() - 10;
    const int range = layout.sliderMaximum();
    QCOMPARE(layout.maxTopLine(), maxTop);
    QCOMPARE(qint64(range), qMin<qint64>(maxTop, std::numeric_limits<int>::max()));

    QCOMPARE(layout.topLineForSlider(0), qint64(0));
    QCOMPARE(layout.topLineForSlider(range), maxTop);
    QCOMPARE(layout.sliderForTopLine(0), 0);
    QCOMPARE(layout.sliderForTopLine(maxTop), range);

    // Any line can be reached: the slider value found for it stands for that line or the last
    // one before it, and the next value for a line after it.
    for (const qint64 line : {qint64(1), maxTop / 3, maxTop / 2 + 1, maxTop - 1}) {
        const int value = layout.sliderForTopLine(line);
        QVERIFY(layout.topLineForSlider(value) <= line);
        if (value < range)
            QVERIFY(layout.topLineForSlider(value + 1) > line);
    }
    // The mapping keeps the proportion and never runs backwards.
    const qint64 middle = layout.topLineForSlider(range / 2);
    QVERIFY(qAbs(middle - maxTop / 2) <= maxTop / range + 1);
    qint64 previous = -1;
    for (qint64 value = 0; value <= range; value += qMax(1, range / 1000)) {
        const qint64 line = layout.topLineForSlider(int(value));
        QVERIFY(line >= previous);
        QVERIFY(line <= maxTop);
        previous = line;
    }
}

QTEST_APPLESS_MAIN(TestBinViewLayout)
#include "test_bin_view_layout.moc"
