#include "app_settings.h"
#include "main_window.h"
#include "modal_answerer.h"
#include "own_settings.h"
#include "parser.h"
#include "plugins.h"
#include "shown_window.h"
#include "sql_tree_widget.h"
#include "viewer_database.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(KESTRUNE_FIXTURES "/") + name;
}

// The entries of the recent-files menu as shown, without the "Clear" entry and the separator.
QStringList menuEntries(MainWindow &window)
{
    emit window.recentFilesMenu()->aboutToShow();
    QStringList entries;
    for (QAction *action : window.recentFilesMenu()->actions()) {
        if (action->isSeparator())
            break;
        entries << action->text();
    }
    return entries;
}

QAction *menuAction(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class TestOpening : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ModalAnswerer> m_answerer;
    std::unique_ptr<MainWindow> m_window;

    MainWindow &window()
    {
        if (!m_window)
            m_window = showMainWindow(QStringLiteral("/bin/true"));
        return *m_window;
    }

    // A copy of a small AVI file under name in the temporary folder.
    QString container(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        if (!QFileInfo::exists(path))
            QFile::copy(fixture(QStringLiteral("avi/tiny.avi")), path);
        return path;
    }

    static QString titleFor(const QString &path)
    {
        return QStringLiteral("Kestrune [%1]").arg(QFileInfo(path).fileName());
    }

private slots:
    void initTestCase()
    {
        useOwnSettings();
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        appSettings().clear();
        m_answerer = std::make_unique<ModalAnswerer>();
    }

    void cleanup()
    {
        m_window.reset();
        m_answerer.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("message");
        const QString here = QDir::currentPath();
        QTest::newRow("none") << QStringList{"kestrune-gui"} << "" << 0 << false;
        QTest::newRow("absolute") << QStringList{"kestrune-gui", "/media/a.mkv"} << "/media/a.mkv" << 0 << false;
        QTest::newRow("relative") << QStringList{"kestrune-gui", "a.mkv"} << here + "/a.mkv" << 0 << false;
        QTest::newRow("after --") << QStringList{"kestrune-gui", "--", "--help"} << here + "/--help" << 0 << false;
        QTest::newRow("help") << QStringList{"kestrune-gui", "--help"} << "" << 0 << true;
        QTest::newRow("two files") << QStringList{"kestrune-gui", "a.mkv", "b.mkv"} << "" << 2 << true;
        QTest::newRow("unknown option") << QStringList{"kestrune-gui", "--frobnicate", "a.mkv"} << "" << 2 << true;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, fileName);
        QFETCH(int, status);
        QFETCH(bool, message);
        const MainWindow::CommandLine result = MainWindow::parseCommandLine(arguments);
        QCOMPARE(result.fileName, fileName);
        QCOMPARE(result.status, status);
        QCOMPARE(!result.message.isEmpty(), message);
    }

    void fileArgumentOpensAfterShow()
    {
        const QString path = container(QStringLiteral("argument.avi"));
        MainWindow &w = window();
        w.openFileLater(MainWindow::parseCommandLine({"kestrune-gui", path}).fileName);
        // Queued: nothing is open until the event loop runs.
        QCOMPARE(w.windowTitle(), QStringLiteral("Kestrune"));
        QTRY_COMPARE(w.windowTitle(), titleFor(path));
        QVERIFY(w.treeView()->viewerDatabase()->isAttached());

        w.openFileLater(m_dir.filePath(QStringLiteral("missing.avi")));
        QTRY_COMPARE(m_answerer->messages.size(), 1);
        QCOMPARE(m_answerer->messages[0].text, QStringLiteral("File does not exists."));
        QCOMPARE(w.windowTitle(), QStringLiteral("Kestrune"));
    }

    void droppedFile_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("fileName");
        const QUrl local = QUrl::fromLocalFile(QStringLiteral("/media/a.mkv"));
        const QUrl second = QUrl::fromLocalFile(QStringLiteral("/media/b.mkv"));
        const QUrl web(QStringLiteral("https://example.org/a.mkv"));
        QTest::newRow("one local file") << QList<QUrl>{local} << "/media/a.mkv";
        QTest::newRow("several: the first") << QList<QUrl>{local, second} << "/media/a.mkv";
        QTest::newRow("remote before local") << QList<QUrl>{web, second} << "/media/b.mkv";
        QTest::newRow("remote only") << QList<QUrl>{web} << "";
        QTest::newRow("no urls") << QList<QUrl>{} << "";
    }

    void droppedFile()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, fileName);
        QMimeData data;
        if (!urls.isEmpty())
            data.setUrls(urls);
        else
            data.setText(QStringLiteral("/media/a.mkv"));
        QCOMPARE(MainWindow::droppedFile(&data), fileName);
        QCOMPARE(MainWindow::droppedFile(nullptr), QString());
    }

    void dropOpensFile()
    {
        const QString path = container(QStringLiteral("dropped.avi"));
        MainWindow &w = window();
        QVERIFY(w.acceptDrops());
        QMimeData data;
        data.setUrls({QUrl(QStringLiteral("https://example.org/x.avi")), QUrl::fromLocalFile(path)});
        const QPoint centre = w.rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(w.windowTitle(), titleFor(path));

        QMimeData remote;
        remote.setUrls({QUrl(QStringLiteral("https://example.org/x.avi"))});
        QDragEnterEvent refused(centre, Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &refused);
        QVERIFY(!refused.isAccepted());
    }

    void recentFiles()
    {
        MainWindow &w = window();
        QMenu *menu = w.recentFilesMenu();
        const QList<QAction *> fileActions = w.menuBar()->actions().first()->menu()->actions();
        QCOMPARE(fileActions.value(1), menu->menuAction());
        QCOMPARE(menu->title(), QStringLiteral("Recent files"));
        QVERIFY(!menu->menuAction()->isEnabled());

        QStringList opened;
        for (int i = 1; i <= 12; ++i) {
            opened.prepend(container(QStringLiteral("recent%1.avi").arg(i)));
            w.openFile(opened.first());
        }
        // The newest ten, newest first; opening one again moves it to the top, once.
        QCOMPARE(MainWindow::recentFiles(), opened.mid(0, 10));
        w.openFile(opened[4]);
        opened.move(4, 0);
        QCOMPARE(MainWindow::recentFiles(), opened.mid(0, 10));
        QCOMPARE(w.windowTitle(), titleFor(opened[0]));
        QVERIFY(menu->menuAction()->isEnabled());
        const QStringList entries = menuEntries(w);
        QCOMPARE(entries.size(), 10);
        QCOMPARE(entries.first(), QStringLiteral("&1 %1").arg(opened[0]));
        QCOMPARE(entries.last(), QStringLiteral("&0 %1").arg(opened[9]));

        // A file that went away leaves the menu when it is shown.
        QVERIFY(QFile::remove(opened[1]));
        QCOMPARE(menuEntries(w).size(), 9);
        opened.removeAt(1);
        QCOMPARE(MainWindow::recentFiles(), opened.mid(0, 9));

        // The list outlives the window; an entry opens its file.
        m_window.reset();
        MainWindow &next = window();
        QCOMPARE(menuEntries(next).size(), 9);
        next.recentFilesMenu()->actions().value(2)->trigger();
        QCOMPARE(next.windowTitle(), titleFor(opened[2]));
        QCOMPARE(MainWindow::recentFiles().first(), opened[2]);

        menuAction(next.recentFilesMenu(), QStringLiteral("Clear"))->trigger();
        QVERIFY(MainWindow::recentFiles().isEmpty());
        QVERIFY(!appSettings().contains(QLatin1String(AppSettingsKeys::recentFiles)));
        QVERIFY(!next.recentFilesMenu()->menuAction()->isEnabled());
    }

    void damagedStoredList()
    {
        QStringList stored{"/a.avi", "", "/b.avi", "/a.avi"};
        for (int i = 0; i < 12; ++i)
            stored << QStringLiteral("/more%1.avi").arg(i);
        appSettings().setValue(QLatin1String(AppSettingsKeys::recentFiles), stored);
        const QStringList files = MainWindow::recentFiles();
        QCOMPARE(files.size(), 10);
        QCOMPARE(files.mid(0, 3), (QStringList{"/a.avi", "/b.avi", "/more0.avi"}));
    }

    void closeThenOpenAgain()
    {
        const QString path = container(QStringLiteral("again.avi"));
        MainWindow &w = window();
        ViewerDatabase *reader = w.treeView()->viewerDatabase();
        for (int round = 0; round < 2; ++round) {
            w.openFile(path);
            QVERIFY(reader->isAttached());
            QVERIFY(reader->elementCount() > 0);
            w.closeFile();
            QVERIFY(!reader->isAttached());
            QVERIFY(!QSqlDatabase::contains(Parser::connectionName()));
        }
        // Opening over an open file replaces its database.
        w.openFile(path);
        const qint64 count = reader->elementCount();
        w.openFile(container(QStringLiteral("again2.avi")));
        QCOMPARE(reader->elementCount(), count);
        QCOMPARE(m_answerer->messages.size(), 0);
    }
};

QTEST_MAIN(TestOpening)
#include "test_opening.moc"
