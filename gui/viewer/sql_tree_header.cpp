#include "sql_tree_header.h"

#include "viewer_settings.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMap>
#include <QMenu>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeWidget>

SqlTreeHeader::SqlTreeHeader(QTreeWidget *tree) : QHeaderView(Qt::Horizontal, tree)
{
    setFont(QApplication::font());
    columns = {
        {QStringLiteral("name"), tr("name")},
        {QStringLiteral("offset"), tr("offset")},
        {QStringLiteral("size"), tr("size")},
        {QStringLiteral("raw_value"), tr("raw_value")},
    };
    header_model = new QStandardItemModel(0, int(columns.size()), this);
    setModel(header_model);
    for (int i = 0; i < columns.size(); ++i) {
        setSectionData(i, Qt::DisplayRole, columns.at(i).second);
        setSectionData(i, Qt::UserRole, columns.at(i).first);
        resizeSection(i, 0);
    }
    if (tree)
        tree->setColumnCount(int(columns.size()));
    setSectionsMovable(true);
    connect(this, SIGNAL(sectionMoved(int, int, int)), this, SLOT(checkSectionMove(int, int, int)));
    fit_timer.setSingleShot(true);
    fit_timer.setInterval(0);
    connect(&fit_timer, &QTimer::timeout, this, &SqlTreeHeader::fitLastSection);
    connect(this, &QHeaderView::sectionResized, this, &SqlTreeHeader::sectionWidthChanged);
    connect(this, &QHeaderView::sectionMoved, &fit_timer, qOverload<>(&QTimer::start));
}

QVariant SqlTreeHeader::sectionData(int section, int role) const
{
    return header_model->headerData(section, Qt::Horizontal, role);
}

void SqlTreeHeader::setSectionData(int section, int role, const QVariant &value)
{
    header_model->setHeaderData(section, Qt::Horizontal, value, role);
}

QStringList SqlTreeHeader::columnsState() const
{
    QStringList state;
    for (int i = 0; i < header_model->columnCount(); ++i) {
        const QVariant remembered = sectionData(i, HiddenWidthRole);
        const QString width = remembered.isValid() ? remembered.toString() : QString::number(ownWidth(i));
        state << QStringLiteral("%1;%2;%3;%4")
                     .arg(sectionData(i, Qt::UserRole).toString(), width)
                     .arg(visualIndex(i))
                     .arg(isSectionHidden(i) ? 1 : 0);
    }
    return state;
}

void SqlTreeHeader::restoreColumns(const QStringList &list)
{
    QMap<QString, QStringList> entries;
    for (const QString &entry : list) {
        const QStringList parts = entry.split(QLatin1Char(';'), Qt::KeepEmptyParts);
        if (parts.size() == 4)
            entries.insert(parts.at(0), parts);
    }
    if (entries.isEmpty())
        return;
    for (int i = 0; i < count(); ++i) {
        const auto entry = entries.constFind(sectionData(i, Qt::UserRole).toString());
        if (entry == entries.constEnd())
            continue;
        const int width = entry->at(1).toInt();
        const int visual = entry->at(2).toInt();
        if (visualIndex(i) != visual)
            moveSection(visualIndex(i), visual);
        // The name column cannot be hidden from the menu, so a stored flag cannot hide it either.
        if (entry->at(3).toInt() != 0 && i != 0) {
            setSectionData(i, HiddenWidthRole, width);
            hideSection(i);
        } else {
            resizeSection(i, width);
        }
    }
}

void SqlTreeHeader::showEvent(QShowEvent *event)
{
    if (first_show) {
        first_show = false;
        // Only once the header is laid out does it know its real width.
        QTimer::singleShot(0, this, SLOT(setDefaultColumnSizes()));
    }
    QHeaderView::showEvent(event);
    fit_timer.start();
}

void SqlTreeHeader::resizeEvent(QResizeEvent *event)
{
    QHeaderView::resizeEvent(event);
    fit_timer.start();
}

int SqlTreeHeader::ownWidth(int section) const
{
    return section == stretched_section ? stretched_own_width : sectionSize(section);
}

void SqlTreeHeader::sectionWidthChanged(int section, int, int new_size)
{
    // A width the stretching column gets from elsewhere (a drag, restored settings, the
    // default sizes) becomes its own; 0 is a section being hidden.
    if (!fitting && section == stretched_section && new_size > 0)
        stretched_own_width = new_size;
    fit_timer.start();
}

void SqlTreeHeader::fitLastSection()
{
    if (!isVisible())
        return;
    int last = -1;
    for (int visual = count() - 1; visual >= 0 && last < 0; --visual) {
        if (!isSectionHidden(logicalIndex(visual)))
            last = logicalIndex(visual);
    }
    const QScopedValueRollback<bool> guard(fitting, true);
    if (last != stretched_section) {
        // The column that stretched before goes back to its own width.
        if (stretched_section >= 0 && stretched_section < count() && !isSectionHidden(stretched_section))
            resizeSection(stretched_section, stretched_own_width);
        stretched_section = last;
        stretched_own_width = last >= 0 ? sectionSize(last) : 0;
    }
    if (last < 0)
        return;
    const int others = length() - sectionSize(last);
    resizeSection(last, qMax(stretched_own_width, viewport()->width() - others));
}

void SqlTreeHeader::setDefaultColumnSizes()
{
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    font.setPointSize(int(ViewerSettings::store().value(QStringLiteral("main/tree_viewer/font_size"), 10.0).toDouble()));
    const int c = QFontMetrics(font).horizontalAdvance(QLatin1Char('0'));
    const int w = width();

    // Hidden sections report size 0 too; they keep the width they will be shown with, and the
    // widths restored for the others stay.
    bool fresh = false;
    for (int i = 0; i < count(); ++i)
        fresh = fresh || (!isSectionHidden(i) && sectionSize(i) == 0);
    if (fresh) {
        int offset = 10 * c;
        int size = 10 * c;
        int raw = 30 * c;
        int name = w - 50 * c;
        if (name < raw) {
            raw = 10 * c;
            name = w - 30 * c;
        }
        if (name < raw) {
            name = 10 * c;
            offset = size = raw = (w - name) / 3;
        }
        const int widths[] = {name, offset, size, raw};
        for (int i = 0; i < count() && i < 4; ++i)
            if (!isSectionHidden(i))
                resizeSection(i, widths[i]);
    }
    for (int i = 0; i < count(); ++i)
        if (!isSectionHidden(i) && sectionSize(i) == 0)
            resizeSection(i, 10 * c);
}

void SqlTreeHeader::contextMenuEvent(QContextMenuEvent *event)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (int i = 0; i < count(); ++i) {
        QAction *action = menu->addAction(sectionData(i, Qt::DisplayRole).toString());
        action->setCheckable(true);
        action->setChecked(!isSectionHidden(i));
        action->setData(i);
        action->setEnabled(i != 0);
        connect(action, SIGNAL(triggered(bool)), this, SLOT(hideSectionSlot(bool)));
    }
    menu->popup(event->globalPos());
}

void SqlTreeHeader::hideSectionSlot(bool hide)
{
    const auto *action = qobject_cast<const QAction *>(sender());
    if (!action)
        return;
    const int section = action->data().toInt();
    if (section <= 0 || section >= count())
        return;
    if (hide) {
        const QVariant remembered = sectionData(section, HiddenWidthRole);
        if (remembered.isValid())
            resizeSection(section, remembered.toInt());
        setSectionData(section, HiddenWidthRole, QVariant());
        showSection(section);
    } else if (!isSectionHidden(section)) {
        setSectionData(section, HiddenWidthRole, ownWidth(section));
        hideSection(section);
    }
}

void SqlTreeHeader::checkSectionMove(int logical_index, int old_visual_index, int new_visual_index)
{
    if (logical_index != 0 && old_visual_index != 0 && new_visual_index != 0)
        return;
    const QSignalBlocker blocker(this);
    moveSection(new_visual_index, old_visual_index);
}
