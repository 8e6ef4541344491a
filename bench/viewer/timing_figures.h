#pragma once

#include <QString>

class QElapsedTimer;

/// The time on timer since it started, in milliseconds.
double elapsedMs(const QElapsedTimer &timer);

#include <vector>

/// A series of times in milliseconds and its figures: mean, median, 99th percentile (nearest
/// rank: the smallest time that at least 99% of the series do not exceed) and maximum.
class TimingFigures
{
public:
    void add(double ms);
    void clear() { m_ms.clear(); m_sorted = true; }

    int count() const { return int(m_ms.size()); }
    /// Each figure is 0 for an empty series.
    double mean() const;
    double median();
    double p99();
    double max();

    /// One line: what, n, mean, p99 and max; with a target above 0, also whether p99 stays
    /// below it ("PASS"/"FAIL"). An empty series says so instead of figures.
    QString line(const char *what, double targetMs = 0);
    /// Prints line() to standard output and clears the series.
    void print(const char *what, double targetMs = 0);

private:
    double rank(int percent);

    std::vector<double> m_ms;
    bool m_sorted = true;
};
