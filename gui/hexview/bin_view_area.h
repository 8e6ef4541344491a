#pragma once

#include "bin_view_layout.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QImage>
#include <QString>

class CachedFile;
class QMouseEvent;
class QPainter;

/// Shows a file's bytes as lines of offset, hex digits and text, and highlights a byte range.
///
/// Every character is copied from one of two pre-rendered strips of 256 glyph cells (normal and
/// highlight colours); painting never lays out text. The file is read through a CachedFile, so
/// nothing is ever allocated by the size of the file. The top line is kept as a 64-bit line
/// number; the scroll bar stands for it in proportion when a file has more lines than an int
/// can count. Once the file changes on disk the view goes blank rather than show bytes that are
/// no longer there.
///
/// The width that shows a whole line with the scroll bar beside it is the view's size hint; a
/// layout or splitter may give it more or less. Standing alone, the view takes that width itself.
class BinViewArea : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit BinViewArea(QWidget *parent = nullptr);

    int bytesPerLine() const { return m_layout.bytesPerLine(); }
    /// Point size of the view's font.
    double fontSize() const { return m_font.pointSizeF(); }
    /// Number base of the offset column; 0 when the column is hidden.
    int offsetBase() const { return m_offsetBase; }
    qint64 selectionStart() const { return m_layout.selectionStart(); }
    qint64 selectionLength() const { return m_layout.selectionLength(); }

    /// The line shown at the top of the view.
    qint64 topLine() const { return m_topLine; }
    qint64 lineCount() const { return m_layout.lineCount(); }
    const BinViewLayout &viewLayout() const { return m_layout; }
    const CachedFile *file() const { return m_file; }

    /// The width of a whole line and the scroll bar, with the base class's height.
    QSize sizeHint() const override;

    int charWidth() const { return m_charWidth; }
    int lineHeight() const { return m_lineHeight; }
    /// The 256 glyph cells in normal colours; cell i starts at x = i * charWidth().
    const QImage &normalGlyphs() const { return m_normalGlyphs; }
    /// The 256 glyph cells in highlight colours.
    const QImage &highlightedGlyphs() const { return m_highlightedGlyphs; }

public slots:
    /// Closes a file that is open, then opens file_name; false when it cannot be opened.
    bool openFile(const QString &file_name);
    /// Closes the file if one is open; the view becomes empty.
    void closeFile();
    /// Shows no bytes of the open file, which changed on disk, until the next openFile(). The
    /// view also finds this out by itself before it paints.
    void fileChanged();
    /// Sets the bytes per line (rounded down to a multiple of 4, kept within 4 .. 32). A
    /// selection on screen stays on the row it was on when it can, else the byte at the top
    /// stays at the top.
    void setBytesPerLine(int bytes_per_line);
    /// Sets the font's point size (kept within 6 .. 20) and rebuilds the glyph strips.
    void setFontSize(double points);
    /// Sets the offset column's number base (2 .. 36), or hides the column with 0.
    void setOffsetBase(int base);
    /// Highlights bytes start .. start + length - 1; with scroll set, and when the first of them
    /// is not on screen, makes its line the top line.
    void setSelection(qint64 start, qint64 length, bool scroll);

signals:
    /// A left click on a byte's hex digits or text, with its file offset.
    void byteClicked(qint64 offset);
    /// The size hint's width changed with the bytes per line or the font.
    void preferredWidthChanged(int width);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildGlyphs();
    void fixWidth();
    void updateScrollRange();
    void scrollToLine(qint64 line);
    void sliderMoved(int value);
    void sliderAction(int action);
    void paintLine(QPainter &painter, int y, qint64 line_offset, const QByteArray &data);
    void blit(QPainter &painter, int column, int y, uchar code, bool highlighted);

    CachedFile *m_file = nullptr;
    BinViewLayout m_layout;
    int m_offsetBase = 16;
    QFont m_font;
    QImage m_normalGlyphs;
    QImage m_highlightedGlyphs;
    int m_lineHeight = 0;
    int m_charWidth = 0;
    int m_preferredWidth = 0;
    qint64 m_topLine = 0;
    bool m_syncingScrollBar = false;
};
