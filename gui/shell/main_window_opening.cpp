#include "main_window.h"

#include "app_settings.h"

#include <QAction>
#include <QCommandLineParser>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTimer>
#include <QUrl>

namespace {

// A path as the list keeps it: absolute and clean, a link's own path rather than its target.
QString listedPath(const QString &fileName)
{
    return QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

} // namespace

MainWindow::CommandLine MainWindow::parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Shows the structure of a media container file."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), tr("The container file to open."), QStringLiteral("[file]"));

    CommandLine result;
    const bool parsed = parser.parse(arguments);
    const QStringList files = parsed ? parser.positionalArguments() : QStringList();
    if (!parsed || files.size() > 1) {
        result.message = (parsed ? tr("Only one file can be opened.") : parser.errorText()) + QLatin1Char('\n')
            + parser.helpText();
        result.status = 2;
    } else if (parser.isSet(help)) {
        result.message = parser.helpText();
    } else if (!files.isEmpty() && !files.first().isEmpty()) {
        result.fileName = QFileInfo(files.first()).absoluteFilePath();
    }
    return result;
}

QString MainWindow::droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return QString();
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return url.toLocalFile();
    }
    return QString();
}

void MainWindow::openFileLater(const QString &fileName)
{
    QTimer::singleShot(0, this, [this, fileName] { openFile(fileName); });
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedFile(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString fileName = droppedFile(event->mimeData());
    if (fileName.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The analysis runs under a modal dialog; the program that dragged the file is answered first.
    openFileLater(fileName);
}

QStringList MainWindow::recentFiles()
{
    QStringList files = appSettings().value(QLatin1String(AppSettingsKeys::recentFiles)).toStringList();
    // A list edited or damaged outside the program still makes a sound menu.
    files.removeAll(QString());
    files.removeDuplicates();
    return files.mid(0, AppSettingsKeys::recentFilesLimit);
}

void MainWindow::storeRecentFiles(const QStringList &files)
{
    QSettings &settings = appSettings();
    if (files.isEmpty())
        settings.remove(QLatin1String(AppSettingsKeys::recentFiles));
    else
        settings.setValue(QLatin1String(AppSettingsKeys::recentFiles), files);
}

void MainWindow::createOpening()
{
    setAcceptDrops(true);
    recentMenu = new QMenu(tr("Recent files"), fileMenu);
    fileMenu->insertMenu(closeAction, recentMenu);
    connect(recentMenu, &QMenu::aboutToShow, this, &MainWindow::pruneRecentFiles);
    fillRecentMenu();
}

void MainWindow::rememberFile(const QString &fileName)
{
    const QString path = listedPath(fileName);
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    storeRecentFiles(files.mid(0, AppSettingsKeys::recentFilesLimit));
    fillRecentMenu();
}

void MainWindow::pruneRecentFiles()
{
    QStringList files = recentFiles();
    // A dangling link is gone as well: exists() follows it.
    files.removeIf([](const QString &path) { return !QFileInfo::exists(path); });
    storeRecentFiles(files);
    fillRecentMenu();
}

void MainWindow::fillRecentMenu()
{
    // An entry may be the one being triggered: it goes once its signal has returned.
    for (QAction *action : recentMenu->actions()) {
        recentMenu->removeAction(action);
        action->deleteLater();
    }
    const QStringList files = recentFiles();
    for (qsizetype i = 0; i < files.size(); ++i) {
        QString text = QDir::toNativeSeparators(files[i]);
        text.replace(QLatin1Char('&'), QLatin1String("&&"));
        // 1 to 9 and 0 as the keys of the first ten entries.
        QAction *action = recentMenu->addAction(tr("&%1 %2").arg((i + 1) % 10).arg(text));
        const QString path = files[i];
        connect(action, &QAction::triggered, this, [this, path] { openFile(path); });
    }
    recentMenu->addSeparator();
    connect(recentMenu->addAction(tr("Clear")), &QAction::triggered, this, [this] {
        storeRecentFiles({});
        fillRecentMenu();
    });
    recentMenu->menuAction()->setEnabled(!files.isEmpty());
}
