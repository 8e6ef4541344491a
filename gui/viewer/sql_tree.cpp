#include "sql_tree.h"

#include "sql_tree_header.h"

#include "element_dump.h"
#include "leftover_marker.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextStream>
#include <QToolTip>
#include <QWheelEvent>

using Element = ViewerDatabase::Element;

namespace {

constexpr int toolTipTextLimit = 1000;
constexpr int toolTipNotes = 8;
constexpr int valueColumn = 3;

QString toolTipLine(const QString &label, const QString &text)
{
    QString shown = text.size() > toolTipTextLimit ? text.left(toolTipTextLimit) + QStringLiteral("...") : text;
    return QStringLiteral("<b>%1</b> %2").arg(label.toHtmlEscaped(),
                                              shown.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
}

QString shownName(const Element &element)
{
    return element.name == SqlTree::garbageMarker() ? SqlTree::tr("GARBAGE") : element.name;
}

} // namespace

QString SqlTree::garbageMarker()
{
    return QString::fromLatin1(leftoverMarker);
}

QString SqlTree::bitsText(qint64 bits, int base)
{
    // Only the bytes follow the base: the leftover bits are a count of 0 to 7 either way.
    const QString bytes = base == 16 ? QStringLiteral("0x") + QString::number(bits / 8, 16).toUpper()
                                     : QString::number(bits / 8);
    if (bits % 8 == 0)
        return bytes;
    return QStringLiteral("%1:%2").arg(bytes).arg(bits % 8);
}

void SqlTree::setNumberBase(int base)
{
    if ((base != 10 && base != 16) || base == number_base)
        return;
    number_base = base;
    // The rows on screen are rebuilt from the database; the hex view keeps where it stands.
    if (topLevelItemCount() > 0)
        fillRows(top_id, page_rows, false);
}

Element SqlTree::elementAt(const QModelIndex &index)
{
    if (!index.isValid())
        return {};
    return index.sibling(index.row(), 0).data(Qt::UserRole).value<Element>();
}

SqlTree::SqlTree(ViewerDatabase *database, QScrollBar *scroll_bar, QWidget *parent)
    : QTreeWidget(parent), scroll_bar(scroll_bar), database(database)
{
    setHeader(new SqlTreeHeader(this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAlternatingRowColors(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    QFont monospace(QStringLiteral("Monospace"));
    monospace.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    monospace.setPointSize(10);
    setFont(monospace);
    indent_step = 20;
    setIndentation(indent_step);
    // The rows are one window of a much longer list: the view itself must never scroll them.
    setAutoScroll(false);
    setUniformRowHeights(true);

    // Only while the tree has the focus: elsewhere Ctrl+C belongs to the widget that has it.
    copy_row_action = new QAction(tr("Copy"), this);
    copy_row_action->setShortcut(QKeySequence::Copy);
    copy_row_action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(copy_row_action);
    connect(copy_row_action, &QAction::triggered, this, [this] { copyToClipboard(CopyPart::Row); });
}

QTreeWidgetItem *SqlTree::makeItem(const Element &element, qint64 link_target) const
{
    const int height = fontMetrics().height() + 4;
    auto *item = new QTreeWidgetItem;
    item->setText(0, shownName(element));
    item->setText(1, bitsText(element.offset, number_base));
    item->setText(2, bitsText(element.size, number_base));
    item->setText(3, element.raw_value);
    item->setSizeHint(0, QSize(height, height));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (element.name == garbageMarker()) {
        QFont bold = font();
        bold.setWeight(QFont::Bold);
        item->setFont(0, bold);
        item->setForeground(0, QColor(Qt::darkRed));
    }
    // Damage shows without hovering: a mark on rows with a note and on leftover bytes.
    if (element.has_note || element.name == garbageMarker())
        item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
    if (link_target >= 0) {
        // A value that points elsewhere looks like a link: Ctrl+click or Enter follows it.
        QFont underlined = font();
        underlined.setUnderline(true);
        item->setFont(valueColumn, underlined);
        item->setForeground(valueColumn, palette().brush(QPalette::Link));
    }
    item->setData(0, Qt::UserRole, QVariant::fromValue(element));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

void SqlTree::fillRows(qint64 start_id, int count, bool update_hex_scroll_pos)
{
    const int horizontal = horizontalScrollBar()->value();
    clear();

    // The last page is always full: never start below the row count rows above the end.
    const qint64 start = qMin(database->stepRows(database->elementCount(), -count), start_id);
    QList<Element> list;
    database->fetchWindow(start, count, list);

    QList<qint64> ids;
    ids.reserve(list.size());
    for (const Element &element : list)
        ids << element.id;
    const QHash<qint64, qint64> links = database->linkTargets(ids);
    QList<QTreeWidgetItem *> items;
    items.reserve(list.size());
    for (const Element &element : list)
        items << makeItem(element, links.value(element.id, -1));
    addTopLevelItems(items);
    QModelIndex selected;
    for (int row = 0; row < list.size(); ++row) {
        const QModelIndex index = indexFromItem(items.at(row));
        if (list.at(row).is_open)
            expand(index);
        if (list.at(row).id == current_id) {
            setCurrentItem(items.at(row));
            selected = index;
        }
    }

    page_rows = count;
    top_id = start;
    // The stripes follow the first row actually shown, also when start itself is hidden.
    top_row = list.isEmpty() ? qMax(database->rowOf(start), 0) : database->rowOf(list.constFirst().id);
    {
        const QSignalBlocker blocker(scroll_bar);
        scroll_bar->setValue(top_row);
    }
    verticalScrollBar()->setValue(0);
    if (!horizontalScrollBar()->isHidden())
        horizontalScrollBar()->setValue(horizontal);
    // Lay the new items out now: a layout left to its timer would paint every row a second time.
    executeDelayedItemsLayout();
    viewport()->repaint();
    // Only now: the repaint paints the whole window, so what the signal changes elsewhere (the hex
    // view's selection) is painted once, with whatever follows in the same event.
    if (selected.isValid())
        emit clicked(selected, update_hex_scroll_pos);
}

void SqlTree::updateScrollBar()
{
    const QSignalBlocker blocker(scroll_bar);
    scroll_bar->setRange(0, qMax(database->rowCount() - page_rows - 1, 0));
    scroll_bar->setPageStep(page_rows);
    scroll_bar->setEnabled(scroll_bar->minimum() != scroll_bar->maximum());
    scroll_bar->setValue(top_row);
}

void SqlTree::goToId(qint64 id, bool force_open, bool update_hex_scroll_pos)
{
    const qint64 count = database->elementCount();
    if (auto *edit = qobject_cast<QLineEdit *>(sender())) {
        const QString digits = edit->text().remove(QRegularExpression(QStringLiteral("[^0-9]")));
        edit->setText(digits);
        bool ok = false;
        id = digits.toLongLong(&ok);
        // More digits than an id can hold still name an element past the last one.
        if (!ok && !digits.isEmpty())
            id = count;
    }
    if (id > count)
        id = count;
    if (force_open)
        database->openPath(id);
    updateScrollBar();
    current_id = top_id = id;
    {
        const QSignalBlocker blocker(scroll_bar);
        scroll_bar->setValue(database->rowOf(top_id));
    }
    fillRows(top_id, page_rows, update_hex_scroll_pos);
}

void SqlTree::revealId(qint64 id, bool update_hex_scroll_pos)
{
    // The element itself stays as it was: opening an index of half a million entries to show
    // one of them would cost a second.
    const qint64 parent = database->parentId(id);
    if (parent > 0)
        database->openPath(parent);
    goToId(id, false, update_hex_scroll_pos);
}

void SqlTree::toggle(const Element &element)
{
    if (element.is_open)
        database->closeElement(element.id);
    else
        database->openElement(element.id);
    updateScrollBar();
    fillRows(top_id, page_rows, true);
}

void SqlTree::selectRow(int row)
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return;
    const int horizontal = horizontalScrollBar()->value();
    setCurrentItem(item);
    horizontalScrollBar()->setValue(horizontal);
}

void SqlTree::moveScrollBar(int steps)
{
    scroll_bar->setValue(scroll_bar->value() + steps * scroll_bar->singleStep());
}

bool SqlTree::currentOnPage() const
{
    const int rows = topLevelItemCount();
    if (rows == 0)
        return false;
    const qint64 first = elementAt(indexFromItem(topLevelItem(0))).id;
    const qint64 last = elementAt(indexFromItem(topLevelItem(rows - 1))).id;
    return current_id >= first && current_id <= last;
}

void SqlTree::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        emit clicked(index, true);
        return;
    }
    const Element element = elementAt(index);
    // The element's own branch cell, as drawBranches paints it.
    const int cell = columnViewportPosition(0) + indent_step * element.level;
    const qreal x = event->position().x();
    const int row = index.row();

    selectRow(row);
    current_id = element.id;
    bool toggled = false;
    if (event->type() == QEvent::MouseButtonDblClick && element.has_children) {
        toggle(element);
        toggled = true;
    }
    const bool follow = event->type() == QEvent::MouseButtonPress && event->button() == Qt::LeftButton
        && (event->modifiers() & Qt::ControlModifier);
    if (x > cell && x < cell + indent_step) {
        if (!element.has_children) {
            if (follow)
                followLink(element.id);
            return;
        }
        // Judged by the state read before the press: a double click here toggles once.
        if (!toggled)
            toggle(element);
    }
    // A toggle refilled the rows; the index of the pressed row is the new one.
    emit clicked(model()->index(row, index.column()), true);
    if (follow)
        followLink(element.id);
}

void SqlTree::mouseMoveEvent(QMouseEvent *event)
{
    QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        const QModelIndexList selected = selectionModel()->selectedRows();
        if (selected.isEmpty())
            return;
        index = selected.constFirst();
    }
    const Element element = elementAt(index);
    if (element.id == current_id)
        return;
    current_id = element.id;
    const int row = index.row();
    const int column = index.column();
    const int last = topLevelItemCount() - 1;
    // At the edges the drag scrolls, one row per move; the scroll bar refills the rows.
    if (row == 0) {
        top_id = element.id;
        moveScrollBar(-1);
    }
    if (row == last && last >= 1) {
        top_id = elementAt(model()->index(1, 0)).id;
        moveScrollBar(1);
    }
    selectRow(row);
    emit clicked(model()->index(row, column), true);
}

void SqlTree::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    // A purely sideways wheel says nothing about rows.
    if (delta == 0) {
        event->ignore();
        return;
    }
    const QSignalBlocker blocker(this);
    moveScrollBar(delta < 0 ? 3 : -3);
    event->accept();
}

void SqlTree::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        followLink(current_id);
        return;
    }
    switch (key) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
        break;
    default:
        return;
    }
    if (topLevelItemCount() == 0)
        return;
    if (!currentOnPage()) {
        // Bring the selected element to the top; when it is hidden inside a closed element,
        // bring that element instead.
        int row = database->rowOf(current_id);
        if (row < 0)
            row = database->rowOf(database->stepRows(current_id, 0));
        scroll_bar->setValue(qMax(row, 0));
        return;
    }

    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const auto selectAndEmit = [this](int row) {
        selectRow(row);
        const QModelIndex index = currentIndex();
        if (!index.isValid())
            return;
        current_id = elementAt(index).id;
        emit clicked(index, true);
    };

    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const bool down = key == Qt::Key_Down;
        int row = currentIndex().row();
        if (down && row == topLevelItemCount() - 1) {
            moveScrollBar(1);
            row = currentIndex().row();
        } else if (!down && row == 0) {
            moveScrollBar(-1);
            row = currentIndex().row();
        }
        const int target = down ? row + 1 : row - 1;
        if (target < 0 || target >= topLevelItemCount())
            return;
        selectAndEmit(target);
        break;
    }
    case Qt::Key_Left:
    case Qt::Key_Right: {
        if (!currentItem()) {
            fillRows(top_id, page_rows, true);
            selectRow(0);
            if (!currentItem())
                return;
            current_id = elementAt(currentIndex()).id;
        }
        const Element element = elementAt(currentIndex());
        if (key == Qt::Key_Left) {
            if (!element.is_open || !element.has_children) {
                if (element.parent_id != 0)
                    current_id = element.parent_id;
                fillRows(top_id, page_rows, true);
            } else {
                toggle(element);
            }
        } else if (element.has_children) {
            if (!element.is_open) {
                toggle(element);
            } else {
                // The first child follows its parent in id order.
                current_id = element.id + 1;
                fillRows(top_id, page_rows, true);
            }
        }
        break;
    }
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const bool down = key == Qt::Key_PageDown;
        scroll_bar->triggerAction(down ? QAbstractSlider::SliderPageStepAdd : QAbstractSlider::SliderPageStepSub);
        selectAndEmit(down ? topLevelItemCount() - 1 : 0);
        break;
    }
    case Qt::Key_Home:
    case Qt::Key_End: {
        const bool end = key == Qt::Key_End;
        if (ctrl)
            scroll_bar->setValue(end ? scroll_bar->maximum() : scroll_bar->minimum());
        selectAndEmit(end ? topLevelItemCount() - 1 : 0);
        break;
    }
    default:
        break;
    }
}

void SqlTree::followLink(qint64 id)
{
    const qint64 target = database->linkTarget(id);
    if (target >= 0)
        emit linkActivated(target);
}

QString SqlTree::copyText(CopyPart part)
{
    const Element element = database->element(current_id);
    if (element.id < 0)
        return {};
    switch (part) {
    case CopyPart::Row:
        return QStringList({shownName(element), bitsText(element.offset, number_base),
                            bitsText(element.size, number_base), element.raw_value, element.hrf_value})
            .join(QLatin1Char('\t'));
    case CopyPart::Name:
        return shownName(element);
    case CopyPart::Value:
        return element.raw_value;
    case CopyPart::Offset:
        return bitsText(element.offset, number_base);
    case CopyPart::Path:
        return database->path(element.id);
    case CopyPart::SubtreeJson: {
        QString json;
        QTextStream out(&json);
        ElementDump dump(*database->database(), QString(), QString());
        if (!dump.writeJsonSubtree(out, element.id))
            return {};
        out.flush();
        return json;
    }
    }
    return {};
}

void SqlTree::copyToClipboard(CopyPart part)
{
    const QString text = copyText(part);
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

QMenu *SqlTree::makeRowMenu()
{
    auto *menu = new QMenu(this);
    menu->addAction(copy_row_action);
    const struct
    {
        const char *text;
        CopyPart part;
    } copies[] = {
        {QT_TR_NOOP("Copy name"), CopyPart::Name},
        {QT_TR_NOOP("Copy value"), CopyPart::Value},
        {QT_TR_NOOP("Copy offset"), CopyPart::Offset},
        {QT_TR_NOOP("Copy path"), CopyPart::Path},
        {QT_TR_NOOP("Copy subtree as JSON"), CopyPart::SubtreeJson},
    };
    for (const auto &copy : copies) {
        const CopyPart part = copy.part;
        connect(menu->addAction(tr(copy.text)), &QAction::triggered, this, [this, part] { copyToClipboard(part); });
    }
    menu->addSeparator();
    follow_link_action = menu->addAction(QString());
    connect(follow_link_action, &QAction::triggered, this, [this] { followLink(current_id); });
    show_frame_action = menu->addAction(tr("Show in frames view"));
    connect(show_frame_action, &QAction::triggered, this,
            [this] { emit frameRequested(row_frame.first, row_frame.second); });
    return menu;
}

void SqlTree::contextMenuEvent(QContextMenuEvent *event)
{
    // The keyboard's menu key asks about the selected row, the mouse about the row under it.
    if (event->reason() == QContextMenuEvent::Mouse) {
        const QModelIndex index = indexAt(event->pos());
        if (!index.isValid())
            return;
        if (elementAt(index).id != current_id) {
            selectRow(index.row());
            current_id = elementAt(index).id;
            emit clicked(index, true);
        }
    }
    if (!row_menu)
        row_menu = makeRowMenu();
    const qint64 target = database->linkTarget(current_id);
    follow_link_action->setVisible(target >= 0);
    follow_link_action->setText(tr("Go to byte %1").arg(target));
    const Element element = database->element(current_id);
    row_frame = database->frameWithin(element.offset, element.size);
    show_frame_action->setVisible(row_frame.first >= 0);
    row_menu->popup(event->globalPos());
}

void SqlTree::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
}

QString SqlTree::toolTipText(const Element &element) const
{
    QStringList lines;
    // hrf_value falls back to the raw value, which the row shows already.
    if (!element.hrf_value.isEmpty() && element.hrf_value != element.raw_value)
        lines << toolTipLine(tr("Value:"), element.hrf_value);
    const QString description = database->description(element.id);
    if (!description.isEmpty())
        lines << toolTipLine(tr("Description:"), description);
    for (const QString &note : database->notes(element.id, toolTipNotes))
        lines << toolTipLine(tr("Note:"), note);
    const qint64 target = database->linkTarget(element.id);
    if (target >= 0)
        lines << tr("Ctrl+click or Enter: go to byte %1").arg(target).toHtmlEscaped();
    return lines.isEmpty() ? QString() : QStringLiteral("<qt>%1</qt>").arg(lines.join(QStringLiteral("<br>")));
}

bool SqlTree::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeWidget::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString text = index.isValid() ? toolTipText(elementAt(index)) : QString();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
    return true;
}

void SqlTree::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const Element element = elementAt(index);
    const QHeaderView *head = header();
    const QModelIndex current = currentIndex();
    const bool reverse = isRightToLeft();
    const QStyle::State state = option.state;
    const bool enabled = state & QStyle::State_Enabled;
    const bool focused = hasFocus() || viewport()->hasFocus();
    const int y = option.rect.y();
    const int height = option.rect.height();
    // Stripes by the row's place in the whole list, so they stay put while the window moves.
    const bool alternate = alternatingRowColors() && (top_row + index.row()) % 2 == 0;
    const bool hoverRow = viewport()->underMouse()
        && indexAt(viewport()->mapFromGlobal(QCursor::pos())).row() == index.row();

    QStyleOptionViewItem opt = option;
    opt.showDecorationSelected = true;

    QList<int> sections;
    for (int visual = 0; visual < head->count(); ++visual) {
        const int logical = head->logicalIndex(visual);
        if (head->isSectionHidden(logical))
            continue;
        const int position = columnViewportPosition(logical);
        if (position + head->sectionSize(logical) <= 0 || position >= viewport()->width())
            continue;
        sections << logical;
    }

    bool currentRowHasFocus = false;
    for (qsizetype i = 0; i < sections.size(); ++i) {
        const int section = sections.at(i);
        const QModelIndex cell = index.sibling(index.row(), section);
        if (!cell.isValid())
            continue;
        const int position = columnViewportPosition(section);
        const int width = head->sectionSize(section);

        opt.state = state;
        if (sections.size() == 1)
            opt.viewItemPosition = QStyleOptionViewItem::OnlyOne;
        else if (i == 0)
            opt.viewItemPosition = QStyleOptionViewItem::Beginning;
        else if (i == sections.size() - 1)
            opt.viewItemPosition = QStyleOptionViewItem::End;
        else
            opt.viewItemPosition = QStyleOptionViewItem::Middle;
        if (selectionModel()->isSelected(cell))
            opt.state |= QStyle::State_Selected;
        if (focused && current == cell) {
            if (allColumnsShowFocus())
                currentRowHasFocus = true;
            else
                opt.state |= QStyle::State_HasFocus;
        }
        opt.state.setFlag(QStyle::State_MouseOver, hoverRow);
        if (enabled) {
            QPalette::ColorGroup group = QPalette::Inactive;
            if (!(cell.flags() & Qt::ItemIsEnabled)) {
                opt.state &= ~QStyle::State_Enabled;
                group = QPalette::Disabled;
            } else if (opt.state & QStyle::State_Active) {
                group = QPalette::Active;
            }
            opt.palette.setCurrentColorGroup(group);
        }
        opt.features.setFlag(QStyleOptionViewItem::Alternate, alternate);

        if (section == 0) {
            // The indentation comes from the element's level, not from the model's nesting.
            const int indent = indent_step * (element.level + 1);
            const QRect branches(reverse ? position + width - indent : position, y, indent, height);
            const bool clip = branches.width() > width;
            if (clip) {
                painter->save();
                painter->setClipRect(QRect(position, y, width, height));
            }
            opt.rect = branches;
            if (style()->styleHint(QStyle::SH_ItemView_ShowDecorationSelected, &opt, this))
                style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &opt, painter, this);
            const QStyle::State selected = opt.state;
            opt.state &= ~QStyle::State_Selected;
            opt.rect.setRect(reverse ? position : position + indent, y, width - indent, height);
            style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &opt, painter, this);
            opt.state = selected;
            drawBranches(painter, branches, index);
            if (clip)
                painter->restore();
        } else {
            const QStyle::State selected = opt.state;
            opt.state &= ~QStyle::State_Selected;
            opt.rect.setRect(position, y, width, height);
            style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &opt, painter, this);
            opt.state = selected;
        }
        itemDelegateForIndex(cell)->paint(painter, opt, cell);
    }

    if (currentRowHasFocus) {
        QStyleOptionFocusRect frame;
        frame.QStyleOption::operator=(option);
        frame.state |= QStyle::State_KeyboardFocusChange;
        const QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
        frame.backgroundColor = option.palette.color(
            group, selectionModel()->isSelected(index) ? QPalette::Highlight : QPalette::Window);
        frame.rect = style()->visualRect(layoutDirection(), viewport()->rect(),
                                         QRect(-head->offset(), y, head->length(), height));
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, painter);
    }
}

void SqlTree::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    const Element element = elementAt(index);
    const bool reverse = isRightToLeft();
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    // Branch arrows take the window text colour, which a dark window style makes light; on the
    // light rows they must take the rows' own text colour.
    const QPalette::ColorRole text = selectionModel()->isSelected(index) ? QPalette::HighlightedText : QPalette::Text;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        opt.palette.setColor(group, QPalette::WindowText, opt.palette.color(group, text));
    QStyle::State rowState = QStyle::State_None;
    if (isEnabled())
        rowState |= QStyle::State_Enabled;
    if (window()->isActiveWindow())
        rowState |= QStyle::State_Active;
    if (selectionModel()->isSelected(index))
        rowState |= QStyle::State_Selected;
    if (alternatingRowColors())
        opt.features.setFlag(QStyleOptionViewItem::Alternate, (top_row + index.row()) % 2 == 0);

    // The element's own cell is the innermost one, at the right end of the area.
    QRect cell(reverse ? rect.left() : rect.right() + 1 - indent_step, rect.top(), indent_step, rect.height());
    opt.rect = cell;
    opt.state = QStyle::State_Item | rowState;
    if (element.has_children)
        opt.state |= QStyle::State_Children;
    if (element.is_open || isExpanded(index))
        opt.state |= QStyle::State_Open;
    if (!element.is_last)
        opt.state |= QStyle::State_Sibling;
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &opt, painter, this);

    // One continuing line per ancestor level.
    for (int level = element.level; level > 0; --level) {
        cell.translate(reverse ? indent_step : -indent_step, 0);
        opt.rect = cell;
        opt.state = QStyle::State_Sibling;
        style()->drawPrimitive(QStyle::PE_IndicatorBranch, &opt, painter, this);
    }
}
