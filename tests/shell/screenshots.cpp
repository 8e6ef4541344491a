// Takes the pictures of the program for its documentation: run under an X server (xvfb-run) as
//
//   kestrune-screenshots FILE OUTPUT_FOLDER
//
// It opens FILE through the open dialog, unfolds the movie box, selects its header and writes
// main.png, mediainfo.png, properties.png and about.png, then find.png (the find bar on the
// sample sizes), streams.png (the streams panel) and frames.png (the window with the first
// stream's frames, one of them selected). Settings go to a store of the run's own, so the
// pictures show the program as it first starts.

#include "find_bar.h"
#include "frames_panel.h"
#include "main_window.h"
#include "modal_answerer.h"
#include "own_settings.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "streams_panel.h"
#include "style.h"
#include "viewer_database.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <cstdio>

namespace {

qint64 firstId(ViewerDatabase *database, const QString &name)
{
    QSqlQuery query(*database->database());
    query.prepare(QStringLiteral("SELECT e.id FROM elements e JOIN dictionary d ON d.id = e.name_id "
                                 "WHERE d.name = ? ORDER BY e.id LIMIT 1"));
    query.addBindValue(name);
    return query.exec() && query.next() ? query.value(0).toLongLong() : -1;
}

bool save(QWidget *widget, const QDir &folder, const QString &name)
{
    QTest::qWait(300);
    const bool saved = widget->grab().save(folder.filePath(name));
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(folder.filePath(name)));
    return saved;
}

// Photographs the modal dialog that opens next, then closes it.
void photographNextDialog(QWidget *owner, const QDir &folder, const QString &name)
{
    QTimer::singleShot(300, owner, [folder, name] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        save(dialog, folder, name);
        dialog->close();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    useOwnSettings();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestrune-screenshots FILE OUTPUT_FOLDER\n");
        return 2;
    }
    QApplication::setStyle(new Style);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":resources/icon.svg")));
    const QString file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QDir folder(QString::fromLocal8Bit(argv[2]));

    MainWindow window;
    // Wide enough for the tree's columns beside the hex view, whatever the screen.
    window.resize(1400, 900);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    ModalAnswerer answerer;
    answerer.chooseFile(file);
    window.openContainer();

    SqlTreeWidget *treeWidget = window.treeView();
    ViewerDatabase *database = treeWidget->viewerDatabase();
    database->openElement(firstId(database, QStringLiteral("moov")));
    database->openElement(firstId(database, QStringLiteral("mvhd")));
    SqlTree *tree = treeWidget->sqlTree();
    tree->goToId(1, false, true);
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        if (tree->topLevelItem(row)->text(0) == QLatin1String("mvhd"))
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->topLevelItem(row)).center());
    }
    bool ok = save(&window, folder, QStringLiteral("main.png"));

    window.viewMediaInfoOutput();
    ok = window.mediaInfoView() && save(window.mediaInfoView(), folder, QStringLiteral("mediainfo.png")) && ok;
    window.mediaInfoView()->close();

    photographNextDialog(&window, folder, QStringLiteral("properties.png"));
    window.properties();
    photographNextDialog(&window, folder, QStringLiteral("about.png"));
    window.about();

    treeWidget->showFindBar();
    QTest::keyClicks(treeWidget->findBar()->textEdit(), QStringLiteral("entry_size"));
    const FindBar *bar = treeWidget->findBar();
    for (int waited = 0; waited < 10000 && (bar->countText().isEmpty() || bar->isSearching()); waited += 50)
        QTest::qWait(50);
    ok = save(&window, folder, QStringLiteral("find.png")) && ok;
    treeWidget->findBar()->hide();

    StreamsPanel *streams = window.streamsPanel();
    streams->show();
    QTreeWidget *list = streams->list();
    if (list->topLevelItemCount() > 0)
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    ok = save(streams, folder, QStringLiteral("streams.png")) && ok;
    window.framesPanel()->table()->selectRow(3);
    ok = save(&window, folder, QStringLiteral("frames.png")) && ok;
    return ok ? 0 : 1;
}
