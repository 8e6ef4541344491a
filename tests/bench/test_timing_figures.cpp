#include "timing_figures.h"

#include <QTest>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

class TestTimingFigures : public QObject
{
    Q_OBJECT

private slots:
    void figures_data();
    void figures();
    void addingAfterReading();
    void verdict();
};

void TestTimingFigures::figures_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("p99");
    QTest::addColumn<double>("max");
    // The series is 1..count in a shuffled order; the nearest rank of 99% of n is ceil(0.99 n).
    QTest::newRow("empty") << 0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("one") << 1 << 1.0 << 1.0 << 1.0;
    QTest::newRow("two") << 2 << 1.0 << 2.0 << 2.0;
    QTest::newRow("100") << 100 << 50.0 << 99.0 << 100.0;
    QTest::newRow("101") << 101 << 51.0 << 100.0 << 101.0;
    QTest::newRow("300") << 300 << 150.0 << 297.0 << 300.0;
    QTest::newRow("1000") << 1000 << 500.0 << 990.0 << 1000.0;
}

void TestTimingFigures::figures()
{
    QFETCH(int, count);
    std::vector<double> values(static_cast<size_t>(count));
    std::iota(values.begin(), values.end(), 1.0);
    std::shuffle(values.begin(), values.end(), std::mt19937(5));
    TimingFigures figures;
    for (double value : values)
        figures.add(value);
    QCOMPARE(figures.count(), count);
    QTEST(figures.median(), "median");
    QTEST(figures.p99(), "p99");
    QTEST(figures.max(), "max");
    QCOMPARE(figures.mean(), count == 0 ? 0.0 : (count + 1) / 2.0);
    QCOMPARE(figures.line("x").contains(QLatin1String("no figures")), count == 0);
}

void TestTimingFigures::addingAfterReading()
{
    TimingFigures figures;
    figures.add(3);
    figures.add(1);
    QCOMPARE(figures.max(), 3.0);
    figures.add(7);
    figures.add(0.5);
    QCOMPARE(figures.max(), 7.0);
    QCOMPARE(figures.median(), 1.0);
    figures.clear();
    QCOMPARE(figures.count(), 0);
    QCOMPARE(figures.max(), 0.0);
}

void TestTimingFigures::verdict()
{
    TimingFigures figures;
    for (int i = 0; i < 100; ++i)
        figures.add(i < 99 ? 2.0 : 50.0);
    // One slow refill in a hundred is the 1% the 99th percentile leaves out.
    QVERIFY(figures.line("x", 10).endsWith(QLatin1String("PASS")));
    figures.add(50.0);
    QVERIFY(figures.line("x", 10).endsWith(QLatin1String("FAIL")));
    QVERIFY(!figures.line("x").contains(QLatin1String("PASS")));
}

QTEST_APPLESS_MAIN(TestTimingFigures)
#include "test_timing_figures.moc"
