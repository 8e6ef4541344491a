#include "bin_view_area.h"

#include "cached_file.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>

namespace {

const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

int defaultBytesPerLine()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen && screen->availableGeometry().width() > 1500 ? 16 : 8;
}

}

BinViewArea::BinViewArea(QWidget *parent)
    : QAbstractScrollArea(parent), m_file(new CachedFile(this)), m_font(QStringLiteral("Monospace"))
{
    m_layout.setBytesPerLine(defaultBytesPerLine());
    m_font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    m_font.setPointSizeF(10.0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &BinViewArea::sliderMoved);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &BinViewArea::sliderAction);
    buildGlyphs();
    fixWidth();
    updateScrollRange();
}

bool BinViewArea::openFile(const QString &file_name)
{
    closeFile();
    if (!m_file->openFile(file_name))
        return false;
    m_layout.setFileSize(m_file->fileSize());
    updateScrollRange();
    return true;
}

void BinViewArea::closeFile()
{
    m_file->closeFile();
    m_layout.setFileSize(-1);
    updateScrollRange();
}

void BinViewArea::fileChanged()
{
    m_file->markChanged();
    viewport()->update();
}

void BinViewArea::setBytesPerLine(int bytes_per_line)
{
    const bool selectionShown = m_layout.isSelectionShown(m_topLine);
    const qint64 anchor = selectionShown ? m_layout.selectionStart() : m_layout.lineOffset(m_topLine);
    const qint64 row = selectionShown ? m_layout.lineOfOffset(anchor) - m_topLine : 0;
    m_layout.setBytesPerLine(bytes_per_line);
    // Clamped by the scroll range below; a row kept near the end may move down, never out.
    m_topLine = qMax<qint64>(m_layout.lineOfOffset(anchor) - row, 0);
    fixWidth();
    updateScrollRange();
}

void BinViewArea::setFontSize(double points)
{
    m_font.setPointSizeF(BinViewLayout::clampFontSize(points, m_font.pointSizeF()));
    buildGlyphs();
    fixWidth();
    updateScrollRange();
}

void BinViewArea::setOffsetBase(int base)
{
    if (base != 0 && (base < 2 || base > 36))
        return;
    m_offsetBase = base;
    viewport()->update();
}

void BinViewArea::setSelection(qint64 start, qint64 length, bool scroll)
{
    m_layout.setSelection(start, length);
    viewport()->update();
    if (m_layout.isSelectionShown(m_topLine))
        return;
    if (scroll)
        scrollToLine(m_layout.lineOfOffset(start));
}

void BinViewArea::mousePressEvent(QMouseEvent *event)
{
    // Other buttons go on to the window, which may step through its history with them.
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    event->accept();
    // A blank view (no file, or one changed on disk) shows no byte to click.
    if (!m_file->isFileOpen() || m_file->checkForChange() || m_lineHeight == 0 || m_charWidth == 0)
        return;
    const QPoint point = event->position().toPoint();
    if (point.x() < 0 || point.y() < 0)
        return;
    const qint64 offset = m_layout.offsetAt(m_topLine, point.y() / m_lineHeight, point.x() / m_charWidth);
    if (offset >= 0)
        emit byteClicked(offset);
}

void BinViewArea::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void BinViewArea::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().brush(QPalette::Base));
    if (!m_file->isFileOpen() || m_lineHeight == 0 || m_file->checkForChange())
        return;
    const qint64 first = m_topLine;
    const qint64 last = m_layout.endLine(first);
    for (qint64 line = first; line < last; ++line) {
        const qint64 offset = m_layout.lineOffset(line);
        const QByteArray data = m_file->readAt(offset, m_layout.bytesOnLine(line));
        paintLine(painter, int(line - first) * m_lineHeight, offset, data);
    }
}

void BinViewArea::buildGlyphs()
{
    const QFontMetrics metrics(m_font);
    m_charWidth = 0;
    for (int code = 33; code <= 126; ++code) {
        const QRect box = metrics.boundingRect(QRect(0, 0, 99, 99), Qt::AlignCenter | Qt::TextSingleLine,
                                               QString(QChar(code)));
        m_charWidth = qMax(m_charWidth, box.right() - box.left() + 1);
    }
    m_lineHeight = metrics.height();
    m_layout.setLineHeight(m_lineHeight);

    const auto build = [this](QImage &strip, QPalette::ColorRole background, QPalette::ColorRole text) {
        strip = QImage(256 * m_charWidth, m_lineHeight, QImage::Format_RGB32);
        QPainter painter(&strip);
        painter.fillRect(strip.rect(), palette().brush(background));
        painter.setPen(palette().color(text));
        painter.setFont(m_font);
        for (int code = 0; code < 256; ++code)
            painter.drawText(QRect(code * m_charWidth, 0, m_charWidth, m_lineHeight),
                             Qt::AlignCenter | Qt::TextSingleLine, QString(QChar(code)));
    };
    build(m_normalGlyphs, QPalette::Base, QPalette::Text);
    build(m_highlightedGlyphs, QPalette::Highlight, QPalette::HighlightedText);
}

QSize BinViewArea::sizeHint() const
{
    return QSize(m_preferredWidth, QAbstractScrollArea::sizeHint().height());
}

void BinViewArea::fixWidth()
{
    const int width = m_charWidth * m_layout.widthInColumns() + verticalScrollBar()->sizeHint().width();
    viewport()->update();
    if (width == m_preferredWidth)
        return;
    m_preferredWidth = width;
    updateGeometry();
    if (isWindow())
        resize(width, height());
    emit preferredWidthChanged(width);
}

void BinViewArea::updateScrollRange()
{
    m_layout.setViewportHeight(viewport()->height());
    m_topLine = qBound<qint64>(0, m_topLine, m_layout.maxTopLine());
    {
        const QScopedValueRollback<bool> syncing(m_syncingScrollBar, true);
        QScrollBar *bar = verticalScrollBar();
        bar->setRange(0, m_layout.sliderMaximum());
        bar->setPageStep(m_layout.visibleLines());
        bar->setValue(m_layout.sliderForTopLine(m_topLine));
    }
    viewport()->update();
}

void BinViewArea::scrollToLine(qint64 line)
{
    m_topLine = qBound<qint64>(0, line, m_layout.maxTopLine());
    {
        const QScopedValueRollback<bool> syncing(m_syncingScrollBar, true);
        verticalScrollBar()->setValue(m_layout.sliderForTopLine(m_topLine));
    }
    viewport()->update();
}

void BinViewArea::sliderMoved(int value)
{
    if (m_syncingScrollBar)
        return;
    // A value the top line already stands for keeps the exact top line; any other value comes
    // from the user and picks the line it stands for.
    if (m_layout.sliderForTopLine(m_topLine) != value)
        m_topLine = m_layout.topLineForSlider(value);
    viewport()->update();
}

void BinViewArea::sliderAction(int action)
{
    // While the scroll bar stands for more than one line per step, steps and pages are counted
    // in lines here, so paging neither skips nor repeats a line.
    if (m_layout.sliderMaximum() == m_layout.maxTopLine())
        return;
    const QScrollBar *bar = verticalScrollBar();
    qint64 line = m_topLine;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        line += bar->singleStep();
        break;
    case QAbstractSlider::SliderSingleStepSub:
        line -= bar->singleStep();
        break;
    case QAbstractSlider::SliderPageStepAdd:
        line += bar->pageStep();
        break;
    case QAbstractSlider::SliderPageStepSub:
        line -= bar->pageStep();
        break;
    default:
        return;
    }
    m_topLine = qBound<qint64>(0, line, m_layout.maxTopLine());
    verticalScrollBar()->setSliderPosition(m_layout.sliderForTopLine(m_topLine));
    viewport()->update();
}

void BinViewArea::paintLine(QPainter &painter, int y, qint64 line_offset, const QByteArray &data)
{
    if (m_offsetBase != 0) {
        char text[64];
        int length = 0;
        for (quint64 rest = quint64(line_offset); rest != 0 || length < BinViewLayout::offsetDigits;
             rest /= quint64(m_offsetBase))
            text[length++] = digits[rest % quint64(m_offsetBase)];
        for (int k = 0; k < length; ++k)
            blit(painter, BinViewLayout::offsetColumn + k, y, uchar(text[length - 1 - k]), false);
    }
    const int count = int(data.size());
    for (int i = 0; i < count; ++i) {
        const uchar byte = uchar(data[i]);
        const bool selected = m_layout.isSelected(line_offset + i);
        const int column = m_layout.hexColumn(i);
        blit(painter, column, y, uchar(digits[byte >> 4]), selected);
        blit(painter, column + 1, y, uchar(digits[byte & 15]), selected);
        if (m_layout.isSpaceSelected(line_offset, i, count))
            blit(painter, column + 2, y, ' ', true);
        blit(painter, m_layout.textColumn(i), y, byte >= 32 && byte <= 126 ? byte : uchar('.'), selected);
    }
}

void BinViewArea::blit(QPainter &painter, int column, int y, uchar code, bool highlighted)
{
    painter.drawImage(QPoint(column * m_charWidth, y), highlighted ? m_highlightedGlyphs : m_normalGlyphs,
                      QRect(code * m_charWidth, 0, m_charWidth, m_lineHeight));
}
