#include "bin_view_layout.h"

#include <cmath>
#include <limits>

int BinViewLayout::clampBytesPerLine(int value)
{
    return qBound(minBytesPerLine, value / 4 * 4, maxBytesPerLine);
}

double BinViewLayout::clampFontSize(double points, double fallback)
{
    if (!std::isfinite(points))
        return fallback;
    return qBound(minFontSize, points, maxFontSize);
}

qint64 BinViewLayout::lineCount() const
{
    if (m_fileSize <= 0)
        return 0;
    return (m_fileSize - 1) / m_bytesPerLine + 1;
}

int BinViewLayout::visibleLines() const
{
    return m_lineHeight > 0 ? m_viewportHeight / m_lineHeight : 0;
}

qint64 BinViewLayout::maxTopLine() const
{
    return qMax<qint64>(lineCount() - visibleLines(), 0);
}

qint64 BinViewLayout::endLine(qint64 top_line) const
{
    return qMin(lineCount(), top_line + visibleLines());
}

int BinViewLayout::bytesOnLine(qint64 line) const
{
    if (line < 0 || line >= lineCount())
        return 0;
    return int(qMin<qint64>(m_bytesPerLine, m_fileSize - lineOffset(line)));
}

int BinViewLayout::byteAtColumn(int column) const
{
    // A group of four bytes takes thirteen cells: three for each byte and one more blank.
    constexpr int groupCells = 13;
    const int hex = column - hexColumn(0);
    if (hex >= 0 && hex < groupCells * (m_bytesPerLine / 4))
        return hex / groupCells * 4 + qMin(hex % groupCells / 3, 3);
    const int text = column - textColumn(0);
    return text >= 0 && text < m_bytesPerLine ? text : -1;
}

qint64 BinViewLayout::offsetAt(qint64 top_line, int row, int column) const
{
    const int byte = byteAtColumn(column);
    if (byte < 0 || row < 0 || row >= visibleLines() || top_line < 0 || top_line > lineCount())
        return -1;
    const qint64 line = top_line + row;
    return byte < bytesOnLine(line) ? lineOffset(line) + byte : -1;
}

void BinViewLayout::setSelection(qint64 start, qint64 length)
{
    m_selectionStart = start;
    m_selectionLength = length;
}

bool BinViewLayout::isSelected(qint64 offset) const
{
    // Unsigned distance: a selection near either end of the qint64 range must not overflow.
    return m_selectionLength > 0 && offset >= m_selectionStart
        && quint64(offset) - quint64(m_selectionStart) < quint64(m_selectionLength);
}

bool BinViewLayout::isSpaceSelected(qint64 line_offset, int i, int count) const
{
    return i + 1 < count && i / 4 == (i + 1) / 4 && isSelected(line_offset + i)
        && isSelected(line_offset + i + 1);
}

bool BinViewLayout::isSelectionShown(qint64 top_line) const
{
    // Compared in lines, not bytes: the byte after the last line may lie beyond the qint64 range.
    if (m_selectionStart < 0)
        return false;
    const qint64 line = lineOfOffset(m_selectionStart);
    return top_line <= line && line < endLine(top_line);
}

int BinViewLayout::sliderMaximum() const
{
    return int(qMin<qint64>(maxTopLine(), std::numeric_limits<int>::max()));
}

qint64 BinViewLayout::topLineForSlider(int value) const
{
    const qint64 maxTop = maxTopLine();
    const qint64 range = sliderMaximum();
    const qint64 v = qBound(qint64(0), qint64(value), range);
    if (maxTop == range)
        return v;
    // v * maxTop / range without overflow: maxTop = whole * range + part, and both v * whole
    // and v * part stay below 2^63 because v and part are below 2^31 and whole below 2^32.
    const qint64 whole = maxTop / range;
    const qint64 part = maxTop % range;
    return v * whole + v * part / range;
}

int BinViewLayout::sliderForTopLine(qint64 top_line) const
{
    const qint64 maxTop = maxTopLine();
    const int range = sliderMaximum();
    if (maxTop == range)
        return int(qBound<qint64>(0, top_line, maxTop));
    // Counted in qint64: the midpoint of 0 .. int maximum must not overflow.
    qint64 low = 0;
    qint64 high = range;
    while (low < high) {
        const qint64 mid = low + (high - low + 1) / 2;
        if (topLineForSlider(int(mid)) <= top_line)
            low = mid;
        else
            high = mid - 1;
    }
    return int(low);
}
