#pragma once

#include <QMainWindow>
#include <QStringList>

class BinViewWidget;
class QAction;
class QMenu;
class QModelIndex;
class QTextEdit;
class SqlTreeWidget;

/// The program's window: the hex view on the left, the element tree on the right, the "File"
/// and "Help" menus, and the road from choosing a file to its tree, hex view and MediaInfo
/// report.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    BinViewWidget *hexView() const { return binViewWidget; }
    SqlTreeWidget *treeView() const { return sqlTreeWidget; }
    /// The lines of the last MediaInfo report, trailing blank lines dropped.
    const QStringList &mediaInfoLines() const { return mediaInfoOutput; }
    /// The MediaInfo window; null until "View MediaInfo ..." first showed it.
    QTextEdit *mediaInfoView() const { return mediaInfoWindow; }
    QAction *viewMediaInfoMenuAction() const { return viewMediaInfoAction; }
    QAction *closeMenuAction() const { return closeAction; }
    /// One file-dialog name filter per container plug-in, sorted.
    const QStringList &nameFilters() const { return containerFilters; }
    /// Every file mask of every plug-in, once each, sorted.
    const QStringList &fileMasks() const { return containerMasks; }
    /// Runs program in place of the analyser beside the program; empty for that one.
    void setMediaInfoProgram(const QString &program) { mediaInfoProgram = program; }

signals:
    void mediaInfoChanged(const QString &media_info_output);

public slots:
    /// Selects the bytes of the clicked row in the hex view.
    void treeClicked(const QModelIndex &index, bool update_scroll_pos);
    void closeEvent(QCloseEvent *event) override;
    void saveSettings();
    void loadSettings();
    void properties();
    void openContainer();
    void viewMediaInfoOutput();
    void closeFile();
    void about();

private:
    void collectContainerFilters();
    void createMenus();
    QAction *addMenuAction(QMenu *menu, const QString &text, QObject *receiver, const char *slot,
                           const QString &shortcut, const QString &iconPath);
    void runMediaInfo(const QString &fileName);

    BinViewWidget *binViewWidget;
    SqlTreeWidget *sqlTreeWidget;
    QStringList mediaInfoOutput;
    QTextEdit *mediaInfoWindow = nullptr;
    QAction *viewMediaInfoAction = nullptr;
    QAction *closeAction = nullptr;
    QStringList containerFilters;
    QStringList containerMasks;
    QString mediaInfoProgram;
};
