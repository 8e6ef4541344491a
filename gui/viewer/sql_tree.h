#pragma once

#include "viewer_database.h"

#include <QTreeWidget>

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

    /// A bit count as bytes, with ":" and the leftover bits when it is not whole bytes.
    static QString bitsText(qint64 bits);

    /// The Element a shown row carries; a default Element for an invalid index.
    static ViewerDatabase::Element elementAt(const QModelIndex &index);

    int page_rows = 0;
    qint64 top_id = 1;
    int top_row = 0;
    qint64 current_id = 1;
    int indent_step = 20;

signals:
    void clicked(const QModelIndex &index, bool update_hex_scroll_pos = true);

public slots:
    /// Jumps to an element, opening its ancestors (and itself) when force_open is set. When a
    /// QLineEdit sends the signal, the id is the digits of its text.
    void goToId(qint64 id = -1, bool force_open = true, bool update_hex_scroll_pos = true);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;

private:
    QTreeWidgetItem *makeItem(const ViewerDatabase::Element &element) const;
    void toggle(const ViewerDatabase::Element &element);
    void selectRow(int row);
    void moveScrollBar(int steps);
    bool currentOnPage() const;
    QString toolTipText(const ViewerDatabase::Element &element) const;

    QScrollBar *scroll_bar;
    ViewerDatabase *database;
};
