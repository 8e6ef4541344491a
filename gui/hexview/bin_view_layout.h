#pragma once

#include <QtGlobal>

/// The arithmetic of the hex view, kept apart from any widget: which bytes a line holds, where
/// each byte's cells sit, which bytes are highlighted, and how the top line maps onto the int
/// range of a scroll bar.
///
/// A line shows, in character cells from the left edge: one blank cell, the offset column
/// (offsetDigits cells), three blank cells, the hex column (three cells per byte with one more
/// blank cell after every group of four bytes), one blank cell and the text column (one cell per
/// byte).
class BinViewLayout
{
public:
    /// Width of the offset column in digits.
    static constexpr int offsetDigits = 10;
    /// Cell of the offset column's first digit.
    static constexpr int offsetColumn = 1;
    static constexpr int minBytesPerLine = 4;
    static constexpr int maxBytesPerLine = 32;
    static constexpr double minFontSize = 6.0;
    static constexpr double maxFontSize = 20.0;

    /// A bytes-per-line value rounded towards zero to a multiple of 4, then clamped to 4 .. 32.
    static int clampBytesPerLine(int value);
    /// A font size clamped to 6.0 .. 20.0; a value that is not a finite number gives fallback.
    static double clampFontSize(double points, double fallback);

    int bytesPerLine() const { return m_bytesPerLine; }
    void setBytesPerLine(int bytes_per_line) { m_bytesPerLine = clampBytesPerLine(bytes_per_line); }

    /// Size of the shown file in bytes; negative when no file is open.
    qint64 fileSize() const { return m_fileSize; }
    void setFileSize(qint64 size) { m_fileSize = size; }

    int lineHeight() const { return m_lineHeight; }
    void setLineHeight(int height) { m_lineHeight = qMax(height, 0); }
    int viewportHeight() const { return m_viewportHeight; }
    void setViewportHeight(int height) { m_viewportHeight = qMax(height, 0); }

    /// ceil(file size / bytes per line); 0 without a file.
    qint64 lineCount() const;
    /// Whole lines that fit into the viewport; 0 while the line height is 0.
    int visibleLines() const;
    /// The largest top line: the one that shows the last line at the bottom of the view.
    qint64 maxTopLine() const;
    /// The line after the last one shown when the view starts at top_line.
    qint64 endLine(qint64 top_line) const;

    qint64 lineOffset(qint64 line) const { return line * m_bytesPerLine; }
    /// Bytes that line holds: bytes per line, fewer on the last line, 0 past the end.
    int bytesOnLine(qint64 line) const;
    /// The line that holds byte offset.
    qint64 lineOfOffset(qint64 offset) const { return offset / m_bytesPerLine; }

    /// First cell of byte i's two hex digits.
    int hexColumn(int i) const { return 3 * i + i / 4 + offsetDigits + 4; }
    /// Cell of byte i in the text column.
    int textColumn(int i) const { return 3 * m_bytesPerLine + m_bytesPerLine / 4 + offsetDigits + 5 + i; }
    /// The byte of a line shown at a cell: its two hex digits and the blanks after them up to
    /// the next byte's, or its text cell; -1 for a cell of no byte.
    int byteAtColumn(int column) const;
    /// The file offset of the byte shown at a cell of the view's row-th line from top_line;
    /// -1 for a cell of no byte, past the end of the file or below the last whole line shown.
    qint64 offsetAt(qint64 top_line, int row, int column) const;
    /// Width of a line in cells, the right margin included.
    int widthInColumns() const { return m_bytesPerLine / 4 + offsetDigits + 4 * m_bytesPerLine + 6; }

    qint64 selectionStart() const { return m_selectionStart; }
    qint64 selectionLength() const { return m_selectionLength; }
    void setSelection(qint64 start, qint64 length);
    bool isSelected(qint64 offset) const;
    /// Whether the space after byte i of a line holding count bytes starting at line_offset is
    /// highlighted: only when the next byte is on the same line, in the same group of four, and
    /// both are selected, so a highlight runs unbroken only inside a group of four.
    bool isSpaceSelected(qint64 line_offset, int i, int count) const;
    /// Whether the first selected byte lies on one of the lines shown from top_line.
    bool isSelectionShown(qint64 top_line) const;

    /// Scroll bar maximum: the largest top line, or the int maximum when there are more lines;
    /// the scroll bar then stands for the lines in proportion.
    int sliderMaximum() const;
    /// The top line for a scroll bar value; slider maximum gives the largest top line.
    qint64 topLineForSlider(int value) const;
    /// The scroll bar value for a top line: the largest value whose top line is not below it.
    int sliderForTopLine(qint64 top_line) const;

private:
    int m_bytesPerLine = 8;
    qint64 m_fileSize = -1;
    int m_lineHeight = 0;
    int m_viewportHeight = 0;
    qint64 m_selectionStart = 0;
    qint64 m_selectionLength = 0;
};
