#include "timing_figures.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <numeric>

void TimingFigures::add(double ms)
{
    m_ms.push_back(ms);
    m_sorted = false;
}

double TimingFigures::mean() const
{
    return m_ms.empty() ? 0 : std::accumulate(m_ms.cbegin(), m_ms.cend(), 0.0) / double(m_ms.size());
}

double TimingFigures::rank(int percent)
{
    if (m_ms.empty())
        return 0;
    if (!m_sorted) {
        std::sort(m_ms.begin(), m_ms.end());
        m_sorted = true;
    }
    // The nearest rank, ceil(percent * n / 100), in whole numbers.
    const size_t rank = (size_t(percent) * m_ms.size() + 99) / 100;
    return m_ms[std::max<size_t>(rank, 1) - 1];
}

double TimingFigures::median()
{
    return rank(50);
}

double TimingFigures::p99()
{
    return rank(99);
}

double TimingFigures::max()
{
    return rank(100);
}

QString TimingFigures::line(const char *what, double targetMs)
{
    QString text = QString::asprintf("%-46s n=%-5d", what, count());
    if (m_ms.empty())
        return text + QStringLiteral(" no figures");
    text += QString::asprintf(" mean %8.3f ms  p99 %8.3f ms  max %8.3f ms", mean(), p99(), max());
    if (targetMs > 0)
        text += QString::asprintf("  p99 < %g ms %s", targetMs, p99() < targetMs ? "PASS" : "FAIL");
    return text;
}

void TimingFigures::print(const char *what, double targetMs)
{
    std::printf("%s\n", qPrintable(line(what, targetMs)));
    std::fflush(stdout);
    clear();
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}
