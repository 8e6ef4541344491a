#pragma once

#include "bin_view_area.h"

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>

// Reads a painted hex view back into text: every cell of the viewport is matched against the
// glyph cells of the printable characters in both strips. A cell that matches nothing reads as
// '?', so stray pixels show up in the text.
class ScreenReader
{
public:
    explicit ScreenReader(BinViewArea &area) : m_area(area)
    {
        const QImage normal = area.normalGlyphs().convertToFormat(QImage::Format_RGB32);
        const QImage highlighted = area.highlightedGlyphs().convertToFormat(QImage::Format_RGB32);
        for (int code = 32; code <= 126; ++code) {
            m_cells.insert(cellKey(normal, code, 0), QChar(code));
            m_highlighted.insert(cellKey(highlighted, code, 0), QChar(code));
        }
        const QImage screen = area.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int cw = area.charWidth();
        const int lh = area.lineHeight();
        for (int y = 0; y + lh <= screen.height(); y += lh) {
            QString text;
            QString mask;
            for (int x = 0; x + cw <= screen.width(); x += cw) {
                const QByteArray key = cellKey(screen, x / cw, y);
                if (m_cells.contains(key)) {
                    text += m_cells.value(key);
                    mask += QLatin1Char(' ');
                } else if (m_highlighted.contains(key)) {
                    text += m_highlighted.value(key);
                    mask += QLatin1Char('#');
                } else {
                    text += QLatin1Char('?');
                    mask += QLatin1Char('?');
                }
            }
            m_text << rightTrimmed(text);
            m_masks << rightTrimmed(mask);
        }
    }

    // The characters of each whole line of the viewport, trailing blanks removed.
    QStringList text() const { return m_text; }
    // Columns first up to (not including) end of a line: '#' for a highlighted cell, else blank.
    QString mask(int line, int first, int end) const
    {
        return rightTrimmed(m_masks.value(line).leftJustified(end).mid(first, end - first));
    }
    QString text(int line, int first, int end) const
    {
        return rightTrimmed(m_text.value(line).leftJustified(end).mid(first, end - first));
    }

private:
    QByteArray cellKey(const QImage &image, int column, int y) const
    {
        const int cw = m_area.charWidth();
        QByteArray key;
        for (int row = 0; row < m_area.lineHeight(); ++row)
            key.append(reinterpret_cast<const char *>(image.constScanLine(y + row)) + column * cw * 4, cw * 4);
        return key;
    }
    static QString rightTrimmed(QString s)
    {
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        return s;
    }

    BinViewArea &m_area;
    QHash<QByteArray, QChar> m_cells;
    QHash<QByteArray, QChar> m_highlighted;
    QStringList m_text;
    QStringList m_masks;
};
