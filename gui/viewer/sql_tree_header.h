#pragma once

#include <QHeaderView>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTimer>

class QStandardItemModel;
class QTreeWidget;

/// The element tree's horizontal header: four fixed columns that can be resized, reordered
/// (except the name column, which always stays first) and hidden from a context menu. The last
/// shown column stretches to the right edge of the view; its own width, the one it returns to
/// when the others need the room, is what the settings keep.
///
/// Each section's header data holds its title (display role), its key (Qt::UserRole) and,
/// while the section is hidden, the width it had (Qt::UserRole + 1).
class SqlTreeHeader : public QHeaderView
{
    Q_OBJECT

public:
    /// Sets up the columns on tree, which takes the header with QTreeView::setHeader.
    explicit SqlTreeHeader(QTreeWidget *tree);

    /// One "key;width;visual index;hidden" entry per column, for the settings.
    QStringList columnsState() const;
    /// Applies entries written by columnsState(); malformed entries and unknown keys are ignored.
    void restoreColumns(const QStringList &list);
    /// A column's width without the stretch: the last shown column's own width, every other
    /// column's shown width.
    int ownWidth(int section) const;

public slots:
    void checkSectionMove(int logical_index, int old_visual_index, int new_visual_index);
    /// Shows (true) or hides (false) the section named by the sending action's data.
    void hideSectionSlot(bool hide);
    void setDefaultColumnSizes();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    static constexpr int HiddenWidthRole = Qt::UserRole + 1;

    QVariant sectionData(int section, int role) const;
    void setSectionData(int section, int role, const QVariant &value);
    void sectionWidthChanged(int section, int old_size, int new_size);
    void fitLastSection();

    QList<QPair<QString, QString>> columns;
    bool first_show = true;
    QStandardItemModel *header_model = nullptr;
    // The stretching column and its own width; -1 until the header is first fitted.
    int stretched_section = -1;
    int stretched_own_width = 0;
    bool fitting = false;
    // Fitting waits for the event loop: a section that is being hidden reports its new width
    // before it counts as hidden.
    QTimer fit_timer;
};
