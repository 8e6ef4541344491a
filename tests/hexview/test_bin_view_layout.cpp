#include "bin_view_layout.h"

#include <QTest>

#include <limits>

namespace {

const qint64 qint64Max = std::numeric_limits<qint64>::max();
const int intMax = std::numeric_limits<int>::max();

}

class TestBinViewLayout : public QObject
{
    Q_OBJECT

private slots:
    void selectionBounds_data();
    void selectionBounds();
    void hugeFiles_data();
    void hugeFiles();
};

void TestBinViewLayout::selectionBounds_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<bool>("selected");

    QTest::newRow("last byte") << qint64(2) << qint64(4) << qint64(5) << true;
    QTest::newRow("after the end") << qint64(2) << qint64(4) << qint64(6) << false;
    QTest::newRow("negative length") << qint64(2) << qint64(-4) << qint64(1) << false;
    QTest::newRow("starts before the file") << qint64(-5) << qint64(10) << qint64(4) << true;
    QTest::newRow("end beyond the qint64 range") << qint64Max - 1 << qint64Max << qint64Max << true;
    QTest::newRow("widest") << std::numeric_limits<qint64>::min() << qint64Max << qint64(0) << false;
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

void TestBinViewLayout::hugeFiles_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("bytesPerLine");
    QTest::addColumn<qint64>("lines");
    QTest::addColumn<int>("onLastLine");

    QTest::newRow("small file") << qint64(100000) << 16 << qint64(6250) << 16;
    QTest::newRow("just fits an int") << (qint64(intMax) + 10) * 4 << 4 << qint64(intMax) + 10 << 4;
    QTest::newRow("one line more") << (qint64(intMax) + 10) * 4 + 1 << 4 << qint64(intMax) + 11 << 1;
    QTest::newRow("16 GiB at 4") << (qint64(1) << 34) + 20 << 4 << (qint64(1) << 32) + 5 << 4;
    QTest::newRow("largest size") << qint64Max << 4 << (qint64(1) << 61) << 3;
}

void TestBinViewLayout::hugeFiles()
{
    QFETCH(qint64, size);
    QFETCH(int, bytesPerLine);
    QFETCH(qint64, lines);
    QFETCH(int, onLastLine);

    BinViewLayout layout;
    layout.setBytesPerLine(bytesPerLine);
    layout.setFileSize(size);
    layout.setLineHeight(10);
    layout.setViewportHeight(100);
    QCOMPARE(layout.lineCount(), lines);
    QCOMPARE(layout.bytesOnLine(lines - 1), onLastLine);
    QCOMPARE(layout.bytesOnLine(lines), 0);

    // The scroll bar spans every top line, in proportion once there are more than an int holds.
    const qint64 maxTop = lines - 10;
    const int range = layout.sliderMaximum();
    QCOMPARE(qint64(range), qMin<qint64>(maxTop, intMax));
    QCOMPARE(layout.topLineForSlider(range), maxTop);
    QCOMPARE(layout.sliderForTopLine(maxTop), range);
    QVERIFY(qAbs(layout.topLineForSlider(range / 2) - maxTop / 2) <= maxTop / range + 1);
    // Every line has the slider value that stands for it or for the last line before it.
    for (const qint64 line : {qint64(1), maxTop / 3, maxTop - 1}) {
        const int value = layout.sliderForTopLine(line);
        QVERIFY(layout.topLineForSlider(value) <= line);
        QVERIFY(layout.topLineForSlider(value + 1) > line);
    }
    qint64 previous = -1;
    for (qint64 value = 0; value <= range; value += qMax(1, range / 1000)) {
        const qint64 line = layout.topLineForSlider(int(value));
        QVERIFY(line >= previous && line <= maxTop);
        previous = line;
    }
}

QTEST_APPLESS_MAIN(TestBinViewLayout)
#include "test_bin_view_layout.moc"
