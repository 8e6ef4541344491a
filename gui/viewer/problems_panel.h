#pragma once

#include <QDockWidget>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class ViewerDatabase;

/// The dock that lists what the engine found wrong: every element with a note and every run of
/// bytes no structure took, with its offset, name and notes. A click on a row asks for the
/// element to be selected. A file with very many problems shows the first ones and says so.
class ProblemsPanel : public QDockWidget
{
    Q_OBJECT

public:
    /// The rows shown at most.
    static constexpr int shownLimit = 10000;

    explicit ProblemsPanel(QWidget *parent = nullptr);

    /// Lists the problems of database's file, and reads their count; an empty list when detached.
    void load(ViewerDatabase *database);
    void clear();
    /// The problems of the file; the list shows at most shownLimit of them.
    qint64 problemCount() const { return m_count; }
    /// "3 problems", "No problems", or empty when no file is open.
    QString summary() const { return m_summary; }
    QTreeWidget *list() const { return m_list; }
    /// The line under the list that tells how many of the problems are shown; hidden when all.
    QLabel *limitLine() const { return m_limitLine; }

signals:
    void elementSelected(qint64 id);

private:
    void rowActivated(QTreeWidgetItem *item);

    QTreeWidget *m_list;
    QLabel *m_limitLine;
    qint64 m_count = 0;
    QString m_summary;
};
