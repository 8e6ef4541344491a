#include "main_window.h"

#include "about_dialog.h"
#include "app_settings.h"
#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "file_change_watcher.h"
#include "media_info_process.h"
#include "plugins.h"
#include "progress_dialog.h"
#include "properties_dialog.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "viewer_settings.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const char sizeKey[] = "main/size";
const char posKey[] = "main/pos";
const char pathKey[] = "main/path";
const char filterKey[] = "main/filter";
const char menuLogoPath[] = ":resources/menu-logo.svg";

// A byte count as the tree shows it: whole bytes, or whole bytes, ':' and the leftover bits.
struct ByteText
{
    qint64 bytes = 0;
    bool partial = false;
};

qint64 parseBytes(const QString &text)
{
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return text.mid(2).toLongLong(nullptr, 16);
    return text.toLongLong();
}

ByteText parseByteText(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {parseBytes(text), false};
    return {parseBytes(text.left(colon)), true};
}

QPoint centreOf(const QRect &area)
{
    return QPoint((area.left() + area.right()) / 2, (area.top() + area.bottom()) / 2);
}

QRect availableDesktop()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void showError(QWidget *parent, const QString &text)
{
    QMessageBox::critical(parent, QObject::tr("Error"), text, QMessageBox::Ok);
}

// Names, sizes and dates of the open dialog's details view in full, now and whenever a folder
// has been read.
void fitColumnsToContents(QFileDialog &dialog)
{
    const QList<QTreeView *> views = dialog.findChildren<QTreeView *>();
    const auto fit = [views] {
        for (QTreeView *view : views) {
            for (int column = 0; column < view->header()->count(); ++column)
                view->resizeColumnToContents(column);
        }
    };
    fit();
    if (auto *model = dialog.findChild<QFileSystemModel *>())
        QObject::connect(model, &QFileSystemModel::directoryLoaded, &dialog, fit);
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), fileWatcher(new FileChangeWatcher(this))
{
    setWindowTitle(tr("Kestrune"));

    auto *splitter = new QSplitter(Qt::Horizontal);
    binViewWidget = new BinViewWidget(splitter);
    sqlTreeWidget = new SqlTreeWidget(splitter);
    // Both views keep their settings in the program's one store.
    binViewWidget->setSettings(&appSettings());
    ViewerSettings::setStore(&appSettings());

    collectContainerFilters();
    splitter->addWidget(binViewWidget);
    splitter->addWidget(sqlTreeWidget);
    viewsSplitter = splitter;
    createMenus();
    auto *central = new QWidget;
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(createChangeBar());
    column->addWidget(splitter, 1);
    setCentralWidget(central);
    // Made now, so that the views do not shift when the first message comes.
    statusBar();

    const QRect available = availableDesktop();
    resize(available.size() * 8 / 10);
    QRect frame = frameGeometry();
    frame.moveCenter(centreOf(available));
    move(frame.topLeft());

    loadSettings();
    connect(sqlTreeWidget, SIGNAL(clicked(const QModelIndex &, bool)),
            this, SLOT(treeClicked(const QModelIndex &, bool)));
    connect(fileWatcher, &FileChangeWatcher::changed, this, &MainWindow::fileChangedOnDisk);
    connect(reloadAction, &QAction::triggered, this, &MainWindow::reloadFile);
    connect(dismissAction, &QAction::triggered, changeBar, &QWidget::hide);
    createNavigation();
    createFindAndProblems();
    createMediaViews();
    createViewOptions();
    createOpening();
}

MainWindow::~MainWindow()
{
    delete mediaInfoWindow;
}

void MainWindow::collectContainerFilters()
{
    containerMasks.clear();
    for (const Plugins::Plugin &plugin : Plugins::collectPlugins(false)) {
        QStringList masks = plugin.extensions;
        masks.sort();
        masks.replaceInStrings(QRegularExpression(QStringLiteral("^")), QStringLiteral("*."));
        containerFilters << tr("%1 containers (%2)").arg(plugin.name, masks.join(QLatin1Char(' ')));
        containerMasks << masks;
    }
    containerFilters.sort();
    if (!containerFilters.isEmpty() && !containerMasks.isEmpty()) {
        containerMasks.removeDuplicates();
        containerMasks.sort();
    }
}

QWidget *MainWindow::createChangeBar()
{
    auto *bar = new QFrame;
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setAutoFillBackground(true);
    bar->setBackgroundRole(QPalette::ToolTipBase);
    bar->setForegroundRole(QPalette::ToolTipText);
    auto *row = new QHBoxLayout(bar);
    auto *icon = new QLabel;
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(iconSize));
    row->addWidget(icon);
    row->addWidget(new QLabel(tr("The file changed on disk. The tree shows it as it was when opened; "
                                 "reload it to see it as it is now.")), 1);
    reloadAction = new QAction(tr("Reload"), bar);
    dismissAction = new QAction(tr("Dismiss"), bar);
    for (QAction *action : {reloadAction, dismissAction}) {
        auto *button = new QToolButton;
        button->setDefaultAction(action);
        row->addWidget(button);
    }
    bar->hide();
    changeBar = bar;
    return bar;
}

QAction *MainWindow::addMenuAction(QMenu *menu, const QString &text, QObject *receiver, const char *slot,
                                   const QString &shortcut, const QString &iconPath)
{
    auto *action = new QAction(text, menu);
    if (!iconPath.isEmpty())
        action->setIcon(QIcon(iconPath));
    if (!shortcut.isEmpty())
        action->setShortcut(QKeySequence(shortcut));
    connect(action, SIGNAL(triggered(bool)), receiver, slot);
    menu->addAction(action);
    return action;
}

void MainWindow::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("File"));
    addMenuAction(fileMenu, tr("Open digital container ..."), this, SLOT(openContainer()), tr("Ctrl+O"), QString());
    closeAction = addMenuAction(fileMenu, tr("Close"), this, SLOT(closeFile()), QString(), QString());
    closeAction->setEnabled(false);
    viewMediaInfoAction = addMenuAction(fileMenu, tr("View MediaInfo ..."), this, SLOT(viewMediaInfoOutput()),
                                        QString(), QString());
    viewMediaInfoAction->setEnabled(false);
    fileMenu->addSeparator();
    addMenuAction(fileMenu, tr("Properties ..."), this, SLOT(properties()), tr("Ctrl+P"), QString());
    fileMenu->addSeparator();
    addMenuAction(fileMenu, tr("Quit"), this, SLOT(close()), tr("Ctrl+Q"), QString());

    // Filled by the navigation and the find bar and problems panel.
    editMenu = menuBar()->addMenu(tr("Edit"));
    viewMenu = menuBar()->addMenu(tr("View"));
    goMenu = menuBar()->addMenu(tr("Go"));

    QMenu *helpMenu = menuBar()->addMenu(tr("Help"));
    addMenuAction(helpMenu, tr("About ..."), this, SLOT(about()), QString(), QString());

    auto *logo = new QLabel(menuBar());
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    logo->setStyleSheet(QStringLiteral("image: url(%1); margin-right: %2")
                            .arg(QLatin1String(menuLogoPath)).arg(margin));
    logo->setFixedSize(margin + QImage(QString::fromLatin1(menuLogoPath)).width(), menuBar()->sizeHint().height());
    menuBar()->setCornerWidget(logo, Qt::TopRightCorner);
}

void MainWindow::treeClicked(const QModelIndex &index, bool update_scroll_pos)
{
    if (sender() != sqlTreeWidget || index.row() < 0 || index.column() < 0 || !index.model())
        return;
    // A partial last byte is highlighted as a whole byte.
    BinViewArea *area = binViewWidget->binViewArea();
    // The tree's rows carry their element, in bits whatever base the columns show; rows of
    // other models are read from their offset and size texts.
    const ViewerDatabase::Element element = SqlTree::elementAt(index);
    if (element.id >= 0) {
        area->setSelection(element.offset / 8, element.size / 8 + (element.size % 8 != 0 ? 1 : 0),
                           update_scroll_pos);
        return;
    }
    const QAbstractItemModel *model = index.model();
    const QString offsetText = model->index(index.row(), 1).data(Qt::DisplayRole).toString();
    const QString sizeText = model->index(index.row(), 2).data(Qt::DisplayRole).toString();
    if (offsetText.isEmpty() || sizeText.isEmpty())
        return;
    const ByteText offset = parseByteText(offsetText);
    const ByteText size = parseByteText(sizeText);
    area->setSelection(offset.bytes, size.bytes + (size.partial ? 1 : 0), update_scroll_pos);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    delete mediaInfoWindow;
    mediaInfoWindow = nullptr;
    saveSettings();
    QMainWindow::closeEvent(event);
}

void MainWindow::saveSettings()
{
    QSettings &settings = appSettings();
    settings.setValue(QLatin1String(sizeKey), size());
    settings.setValue(QLatin1String(posKey), pos());
    sqlTreeWidget->saveSettings();
    binViewWidget->saveSettings();
}

void MainWindow::loadSettings()
{
    QSettings &settings = appSettings();
    // A value that is not a size or a point is as good as absent.
    const QVariant storedSize = settings.value(QLatin1String(sizeKey));
    if (storedSize.typeId() == QMetaType::QSize && storedSize.toSize().isValid())
        resize(storedSize.toSize());
    const QVariant storedPos = settings.value(QLatin1String(posKey));
    if (storedPos.typeId() == QMetaType::QPoint)
        move(storedPos.toPoint());
    sqlTreeWidget->loadSettings();
    binViewWidget->loadSettings();
}

void MainWindow::properties()
{
    PropertiesDialog dialog(binViewWidget, sqlTreeWidget, this, Qt::WindowFlags());
    dialog.exec();
}

void MainWindow::about()
{
    AboutDialog dialog(this, Qt::WindowFlags());
    dialog.exec();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Another program may have written the file while this window was in the background.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        fileWatcher->check();
}

void MainWindow::fileChangedOnDisk()
{
    binViewWidget->binViewArea()->fileChanged();
    statusBar()->showMessage(tr("The file changed on disk"));
    changeBar->show();
}

void MainWindow::hideFileChange()
{
    changeBar->hide();
    statusBar()->clearMessage();
}

void MainWindow::reloadFile()
{
    const QString fileName = fileWatcher->path();
    if (!fileName.isEmpty())
        openFile(fileName);
}

void MainWindow::closeFile()
{
    fileWatcher->stop();
    hideFileChange();
    setWindowTitle(tr("Kestrune"));
    binViewWidget->binViewArea()->closeFile();
    sqlTreeWidget->closeDatabase();
    resetNavigation();
    closeAction->setEnabled(false);
    viewMediaInfoAction->setEnabled(false);
    if (mediaInfoWindow)
        mediaInfoWindow->close();
    emit mediaInfoChanged(QString());
}

void MainWindow::openContainer()
{
    QStringList filters;
    if (!containerMasks.isEmpty())
        filters << tr("All digital containers (%1)").arg(containerMasks.join(QLatin1Char(' ')));
    filters << containerFilters;
    filters << tr("All files (*.*)");

    QSettings &settings = appSettings();
    const QString startPath = settings.value(QLatin1String(pathKey)).toString();
    const QString selectedFilter = settings.value(QLatin1String(filterKey), QString()).toString();
    QFileDialog dialog(this, tr("Open ..."), startPath, filters.join(QStringLiteral(";;")));
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!selectedFilter.isEmpty())
        dialog.selectNameFilter(selectedFilter);
    // Room for the columns of the details view, which fit their texts once the folder is read.
    dialog.resize(dialog.sizeHint().expandedTo(size() * 3 / 5));
    QTimer::singleShot(0, &dialog, [&dialog] { fitColumnsToContents(dialog); });
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString fileName = dialog.selectedFiles().value(0);
    if (fileName.isEmpty())
        return;

    settings.setValue(QLatin1String(pathKey), fileName);
    settings.setValue(QLatin1String(filterKey), dialog.selectedNameFilter());
    openFile(fileName);
}

void MainWindow::openFile(const QString &fileName)
{
    closeFile();
    QFileInfo info(fileName);
    if (!info.exists()) {
        showError(this, tr("File does not exists."));
        return;
    }
    if (info.isSymLink())
        info.setFile(info.symLinkTarget());
    if (!info.isFile()) {
        showError(this, tr("Selected file is not a regular file."));
        return;
    }
    if (!info.isReadable()) {
        showError(this, tr("Selected file is unreadable. Check permissions"));
        return;
    }
    if (info.size() == 0) {
        showError(this, tr("Selected file has zero length."));
        return;
    }

    // Watched from before the parse, so that a change while it runs is told too.
    fileWatcher->watch(fileName);
    if (sqlTreeWidget->analyzeFile(fileName, engineOptions()) != 0) {
        fileWatcher->stop();
        hideFileChange();
        // A file too large for this machine's memory, or refused engine options, are not a
        // damaged file.
        if (sqlTreeWidget->optionsRefused())
            showError(this, tr("File analyzing failed. The engine options in Properties are refused: %1.")
                                .arg(sqlTreeWidget->analysisError()));
        else if (sqlTreeWidget->analysisError().contains(QLatin1String("out of memory")))
            showError(this, tr("File analyzing failed. There is not enough memory for the elements of this file."));
        else
            showError(this, tr("File analyzing failed. File is corrupted or has an unknown format."));
        return;
    }
    binViewWidget->binViewArea()->openFile(fileName);
    if (!changeBar->isHidden())
        binViewWidget->binViewArea()->fileChanged();
    setWindowTitle(tr("Kestrune") + tr(" [%1]").arg(info.fileName()));
    rememberFile(fileName);
    runMediaInfo(fileName);
}

void MainWindow::runMediaInfo(const QString &fileName)
{
    auto *dialog = new ProgressDialog(this, Qt::WindowFlags());
    dialog->setCancelButtonVisible(true);
    dialog->setWindowTitle(tr("Kestrune"));
    dialog->setLabelText(tr("Getting information from MediaInfo ..."));
    dialog->setFixedHeight(dialog->sizeHint().height());
    dialog->setMinimumWidth(dialog->sizeHint().width());

    auto *process = new MediaInfoProcess(fileName);
    if (!mediaInfoProgram.isEmpty())
        process->setProgram(mediaInfoProgram);
    connect(process, SIGNAL(finishedSignal(int, QProcess::ExitStatus)), dialog, SLOT(accept()),
            Qt::QueuedConnection);
    connect(process, SIGNAL(error(QProcess::ProcessError)), dialog, SLOT(accept()), Qt::QueuedConnection);
    connect(dialog, SIGNAL(rejected()), process, SLOT(kill()), Qt::DirectConnection);

    process->start();
    dialog->exec();

    mediaInfoOutput = process->capturedOutput();
    while (!mediaInfoOutput.isEmpty() && mediaInfoOutput.last().isEmpty())
        mediaInfoOutput.removeLast();
    emit mediaInfoChanged(mediaInfoOutput.join(QLatin1Char('\n')));
    viewMediaInfoAction->setEnabled(!mediaInfoOutput.isEmpty());
    closeAction->setEnabled(true);

    delete process;
    delete dialog;
}

void MainWindow::viewMediaInfoOutput()
{
    if (!mediaInfoWindow) {
        mediaInfoWindow = new QTextEdit;
        mediaInfoWindow->setWindowTitle(tr("Kestrune") + tr(" - MediaInfo"));
        mediaInfoWindow->setReadOnly(true);
        QFont font(QStringLiteral("Monospace"));
        font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
        mediaInfoWindow->setFont(font);
        const QFontMetrics metrics(font);
        mediaInfoWindow->resize(100 * metrics.horizontalAdvance(QLatin1Char('#')), 30 * metrics.height());
        const QRect available = availableDesktop();
        QRect frame = mediaInfoWindow->frameGeometry();
        frame.moveCenter(centreOf(available));
        mediaInfoWindow->move(frame.topLeft());
        // The report quotes the file's own tags; shown as plain text, markup in them stays text
        // and cannot make the view load anything.
        connect(this, SIGNAL(mediaInfoChanged(QString)), mediaInfoWindow, SLOT(setPlainText(QString)));
    }
    mediaInfoWindow->setPlainText(mediaInfoOutput.join(QLatin1Char('\n')));
    mediaInfoWindow->show();
}
