#pragma once

#include "viewer_database.h"

#include <QTreeWidget>

class QAction;
class QMenu;
class QScrollBar;

/// The element tree. It holds only the rows on screen, all as top-level items, and refills them
/// from the element database whenever the user scrolls, opens or closes an element or moves the
/// selection; indentation and branches are drawn from each row's ViewerDatabase::Element.
///
/// Its own vertical scroll bar is off: an external scroll bar, whose value is the row of the
/// first shown element in the visible-row list, drives the refills through the tree widget.
class SqlTree : public QTreeWidget
{
    Q_OBJECT

public:
    /// The name a container plug-in gives to bytes it could not assign to any structure.
    static QString garbageMarker();

    /// database and scroll_bar are not owned.
    SqlTree(ViewerDatabase *database, QScrollBar *scroll_bar, QWidget *parent = nullptr);

    /// Rebuilds the shown rows: count + 1 visible elements from start_id on, the last page kept
    /// full. Re-selects current_id when it is among them, emitting clicked.
    void fillRows(qint64 start_id, int count, bool update_hex_scroll_pos);
    /// Fits the external scroll bar's range and page step to the visible-row list.
    void updateScrollBar();

    /// A bit count as bytes, with ":" and the leftover bits when it is not whole bytes. Base 16
    /// writes the bytes as "0x" and upper-case hexadecimal digits ("0x1A:3"); any other base
    /// writes them in decimal.
    static QString bitsText(qint64 bits, int base = 10);

    /// The base of the offset and size columns, 10 or 16; also what the copy actions copy.
    int numberBase() const { return number_base; }
    /// Shows the offset and size columns in base (10 or 16; others are ignored) and rebuilds
    /// the shown rows at once.
    void setNumberBase(int base);

    /// The Element a shown row carries; a default Element for an invalid index.
    static ViewerDatabase::Element elementAt(const QModelIndex &index);

    /// What the copy actions put on the clipboard of the selected element.
    enum class CopyPart { Row, Name, Value, Offset, Path, SubtreeJson };
    /// The text for part of the selected element: Row is one tab-separated line of name,
    /// offset, size, value and readable value as the row shows them; SubtreeJson is the
    /// element with its descendants as kestrune-dump --json writes them. Empty for no element.
    QString copyText(CopyPart part);
    /// Ctrl+C in the tree: copies the selected row.
    QAction *copyRowAction() const { return copy_row_action; }
    /// The menu of a row, made at the first right click.
    QMenu *rowMenu() const { return row_menu; }

    int page_rows = 0;
    qint64 top_id = 1;
    int top_row = 0;
    qint64 current_id = 1;
    int indent_step = 20;

signals:
    void clicked(const QModelIndex &index, bool update_hex_scroll_pos = true);
    /// Ctrl+click or Enter on a row whose value points at a byte offset.
    void linkActivated(qint64 target_offset);
    /// "Show in frames view" on a row whose bytes hold a frame: the first such frame.
    void frameRequested(qint64 stream, qint64 frame);

public slots:
    /// Puts copyText(part) on the clipboard, when there is such text.
    void copyToClipboard(SqlTree::CopyPart part);
    /// Jumps to an element, opening its ancestors (and itself) when force_open is set. When a
    /// QLineEdit sends the signal, the id is the digits of its text.
    void goToId(qint64 id = -1, bool force_open = true, bool update_hex_scroll_pos = true);
    /// Selects id with its ancestors opened; id itself is neither opened nor closed.
    void revealId(qint64 id, bool update_hex_scroll_pos = true);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;

private:
    QTreeWidgetItem *makeItem(const ViewerDatabase::Element &element, qint64 link_target) const;
    void followLink(qint64 id);
    QMenu *makeRowMenu();
    void toggle(const ViewerDatabase::Element &element);
    void selectRow(int row);
    void moveScrollBar(int steps);
    bool currentOnPage() const;
    QString toolTipText(const ViewerDatabase::Element &element) const;

    QScrollBar *scroll_bar;
    ViewerDatabase *database;
    QAction *copy_row_action = nullptr;
    QMenu *row_menu = nullptr;
    QAction *follow_link_action = nullptr;
    QAction *show_frame_action = nullptr;
    std::pair<qint64, qint64> row_frame{-1, -1};
    int number_base = 10;
};
