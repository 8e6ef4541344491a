#pragma once

#include <QWidget>

class FindBar;
class Parser;
class QModelIndex;
class QScrollBar;
class QSqlDatabase;
class SqlTree;
class SqlTreeHeader;
class ViewerDatabase;

/// The structure viewer as the main window sees it: the element tree beside its own row scroll
/// bar, over the element database reader it owns. It sizes the page to the viewport, turns
/// scroll positions into element ids and keeps the tree's columns and font in the settings.
class SqlTreeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SqlTreeWidget(QWidget *parent = nullptr);
    ~SqlTreeWidget() override;

    /// Hands connection to the reader (which owns the engine's connection from then on) and
    /// brings the tree to its first rows. Always 0.
    int setDatabase(QSqlDatabase *connection);
    /// Closes the reader's connection and empties the tree.
    void closeDatabase();
    /// Fits the page to the viewport and refills the rows.
    void updatePage();
    void setFontSize(double points);
    /// Brings the tree to its start state after a database was attached or detached.
    void resetView();
    void saveSettings();
    void loadSettings();

    /// Parses fileName on a worker thread under a modal progress dialog and attaches the element
    /// database it yields. 0 on success; -1 otherwise, with the tree left empty. engineOption is
    /// handed to the engine unchanged.
    int analyzeFile(const QString &fileName, const QString &engineOption);
    /// The engine's message of the last analysis that failed; empty after one that worked.
    QString analysisError() const { return m_analysisError; }
    /// True when the last analysis failed because the engine refused its option string.
    bool optionsRefused() const { return m_optionsRefused; }

    SqlTree *sqlTree() const { return tree; }
    SqlTreeHeader *sqlTreeHeader() const;
    ViewerDatabase *viewerDatabase() const { return database; }
    QScrollBar *rowScrollBar() const { return scroll_bar; }
    /// The find bar over the tree; hidden until showFindBar.
    FindBar *findBar() const { return find_bar; }

signals:
    void clicked(const QModelIndex &index, bool update_hex_scroll_pos = true);
    /// A database was attached or detached; isAttached() on the reader tells which.
    void databaseChanged();

public slots:
    void scrollTree(int value);
    /// Shows the find bar with the keyboard focus in it; the search starts at the current row.
    void showFindBar();
    /// F3 and Shift+F3: the next or previous match, opening the bar when it is hidden.
    void findNext();
    void findPrevious();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void findClosed();

    QString m_analysisError;
    bool m_optionsRefused = false;
    SqlTree *tree = nullptr;
    QScrollBar *scroll_bar = nullptr;
    FindBar *find_bar = nullptr;
    int page_rows = 0;
    qint64 top_id = 1;
    ViewerDatabase *database = nullptr;
    /// The engine of the last analysis (a child); kept after success, replaced by the next one.
    Parser *parser = nullptr;
};
