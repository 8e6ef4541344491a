#pragma once

#include <QMainWindow>
#include <QStringList>

class BinViewWidget;
class FileChangeWatcher;
class QAction;
class QMenu;
class QModelIndex;
class QTextEdit;
class SqlTreeWidget;

/// The program's window: the hex view on the left, the element tree on the right, the "File"
/// and "Help" menus, and the road from choosing a file to its tree, hex view and MediaInfo
/// report. A change of the open file on disk is told in the status bar and in a bar above the
/// views that offers to reload it.
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
    /// The bar that tells of a change of the open file on disk; hidden while there is none.
    QWidget *fileChangedBar() const { return changeBar; }
    QAction *reloadBarAction() const { return reloadAction; }
    QAction *dismissBarAction() const { return dismissAction; }
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
    /// Opens fileName as the open dialog's choice would: checks, parse, hex view, MediaInfo.
    void openFile(const QString &fileName);
    /// Opens the open file again, as it now is on disk.
    void reloadFile();
    void viewMediaInfoOutput();
    void closeFile();
    void about();

protected:
    void changeEvent(QEvent *event) override;

private:
    void fileChangedOnDisk();
    void hideFileChange();
    QWidget *createChangeBar();
    void collectContainerFilters();
    void createMenus();
    QAction *addMenuAction(QMenu *menu, const QString &text, QObject *receiver, const char *slot,
                           const QString &shortcut, const QString &iconPath);
    void runMediaInfo(const QString &fileName);

public:
    /// Selects element id in the tree, its ancestors opened, and keeps the element selected
    /// before in the history; go-to, hex clicks, links and find all jump through it. Ids that
    /// name no element are passed over.
    void navigateTo(qint64 id);
    class NavigationHistory *navigationHistory() const { return history; }
    class GoToBar *goToField() const { return goToBar; }
    /// The permanent status-bar label with the selected element's path, offset and size.
    class QLabel *elementLabel() const { return elementStatus; }
    QAction *goToMenuAction() const { return goToAction; }
    QAction *backMenuAction() const { return backAction; }
    QAction *forwardMenuAction() const { return forwardAction; }

public slots:
    void showGoTo();
    void goBack();
    void goForward();

private:
    /// Go to, history, hex-to-tree, links, the selected element's path in the status bar.
    void createNavigation();
    /// Forgets the history and the status of the file that closes.
    void resetNavigation();
    void jumpTo(qint64 id, bool update_hex_scroll_pos);
    void stepHistory(bool forward);
    void updateHistoryActions();
    void goToOffset(qint64 offset);
    void goToElement(qint64 id);
    void hexByteClicked(qint64 offset);
    void followLink(qint64 target_offset);
    void showElementStatus(const QModelIndex &index);

    NavigationHistory *history = nullptr;
    GoToBar *goToBar = nullptr;
    QLabel *elementStatus = nullptr;
    qint64 elementStatusId = -1;
    QAction *goToAction = nullptr;
    QAction *backAction = nullptr;
    QAction *forwardAction = nullptr;

public:
    class ProblemsPanel *problemsPanel() const { return problemsDock; }
    /// The permanent status-bar label with the problem count; empty while no file is open.
    class QLabel *problemsLabel() const { return problemsCount; }
    QAction *findMenuAction() const { return findAction; }

private:
    /// The find bar's actions and the problems panel.
    void createFindAndProblems();
    /// Fills or empties the problems panel and its count as a file opens or closes.
    void showProblems();

    ProblemsPanel *problemsDock = nullptr;
    QLabel *problemsCount = nullptr;
    QAction *findAction = nullptr;

public:
    class StreamsPanel *streamsPanel() const { return streamsDock; }
    class FramesPanel *framesPanel() const { return framesDock; }

private:
    /// The streams and frames panels, their View menu actions and their links to the tree.
    void createMediaViews();
    /// Empties the panels as a file opens or closes; the streams are read when their panel shows.
    void resetMediaViews();
    void loadStreams();
    /// Shows the frames of stream in the frames panel, opening it.
    void showStreamFrames(qint64 stream);
    /// Opens the frames panel on stream with frame selected.
    void showFrame(qint64 stream, qint64 frame);
    /// Highlights the frame's bytes and selects the element that holds them.
    void frameChosen(qint64 offset, qint64 size);

    StreamsPanel *streamsDock = nullptr;
    FramesPanel *framesDock = nullptr;
    bool streamsStale = false;
    bool framesDockSized = false;

public:
    /// View -> "Offsets in hex" and "Offsets in decimal", one of them checked.
    QAction *hexOffsetsMenuAction() const { return hexOffsetsAction; }
    QAction *decimalOffsetsMenuAction() const { return decimalOffsetsAction; }
    /// The splitter with the hex view on the left and the tree on the right.
    class QSplitter *viewSplitter() const { return viewsSplitter; }

private:
    /// View -> offsets in hex or decimal, the layout of the views.
    void createViewOptions();
    /// The option string passed to the engine, as set in Properties.
    QString engineOptions() const;
    /// Shows offsets and sizes in base 10 or 16 in the tree and the go-to bar.
    void setNumberBase(int base);
    /// Gives the hex view its preferred width again, the tree the rest.
    void fitHexView();
    void saveSplitter();

    QAction *hexOffsetsAction = nullptr;
    QAction *decimalOffsetsAction = nullptr;
    QSplitter *viewsSplitter = nullptr;

public:
    /// What the program's command line asks for.
    struct CommandLine
    {
        QString fileName; ///< the file to open at start, made absolute; empty for none
        QString message;  ///< when not empty: print it and exit with status instead of starting
        int status = 0;
    };
    /// Reads arguments (the program first, as QCoreApplication::arguments() gives them):
    /// "[file]" and "--help".
    static CommandLine parseCommandLine(const QStringList &arguments);
    /// The first local file among the URLs of data; empty when there is none.
    static QString droppedFile(const class QMimeData *data);
    /// Opens fileName once the event loop has run, so that the window paints first.
    void openFileLater(const QString &fileName);
    /// The last files opened, most recent first, as stored.
    static QStringList recentFiles();
    QMenu *recentFilesMenu() const { return recentMenu; }

protected:
    void dragEnterEvent(class QDragEnterEvent *event) override;
    void dropEvent(class QDropEvent *event) override;

private:
    /// File -> Recent files and opening a file dropped on the window.
    void createOpening();
    /// Puts fileName at the top of the recent files.
    void rememberFile(const QString &fileName);
    static void storeRecentFiles(const QStringList &files);
    /// Drops the files that no longer exist and fills the menu from what is left.
    void pruneRecentFiles();
    void fillRecentMenu();

    QMenu *recentMenu = nullptr;

    BinViewWidget *binViewWidget;
    SqlTreeWidget *sqlTreeWidget;
    QStringList mediaInfoOutput;
    QTextEdit *mediaInfoWindow = nullptr;
    QAction *viewMediaInfoAction = nullptr;
    QAction *closeAction = nullptr;
    FileChangeWatcher *fileWatcher;
    QWidget *changeBar = nullptr;
    QAction *reloadAction = nullptr;
    QAction *dismissAction = nullptr;
    QStringList containerFilters;
    QStringList containerMasks;
    QString mediaInfoProgram;
    QMenu *fileMenu = nullptr;
    QMenu *editMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QMenu *goMenu = nullptr;
};
