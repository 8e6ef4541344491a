#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "cached_file.h"
#include "file_change_watcher.h"
#include "main_window.h"
#include "modal_answerer.h"
#include "own_settings.h"
#include "screen_reader.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"

#include <QAction>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

QByteArray fixtureBytes(const QString &name)
{
    QFile file(QStringLiteral(KESTRUNE_FIXTURES "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Changes the file at path to hold bytes the way a program would: cut short, appended to,
// written over in place (its time moved on, so that a rewrite within one clock tick counts
// too), or replaced by a new file renamed over it.
bool changeFile(const QString &path, const QString &how, const QByteArray &bytes)
{
    QFile file(path);
    if (how == "truncate")
        return file.resize(bytes.size());
    if (how == "append")
        return file.open(QIODevice::Append) && file.write(bytes.mid(file.size())) > 0;
    if (how == "rewrite") {
        const QDateTime before = QFileInfo(path).lastModified();
        return file.open(QIODevice::ReadWrite) && file.write(bytes) == bytes.size() && file.flush()
            && file.setFileTime(before.addSecs(2), QFileDevice::FileModificationTime);
    }
    const QString replacement = path + QStringLiteral(".new");
    return writeFile(replacement, bytes) && std::rename(qPrintable(replacement), qPrintable(path)) == 0;
}

// Shows the window with a copy of the fixture at path open; the analyser is a program that
// writes nothing.
bool openCopy(MainWindow &window, const QString &fixture, const QString &path)
{
    if (!writeFile(path, fixtureBytes(fixture)))
        return false;
    window.setMediaInfoProgram(QStandardPaths::findExecutable(QStringLiteral("true")));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    window.openFile(path);
    return window.hexView()->binViewArea()->file()->isFileOpen();
}

// True when the view shows nothing but its background.
bool isBlank(BinViewArea &area)
{
    const QImage image = area.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb base = area.palette().color(QPalette::Base).rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != base)
                return false;
        }
    }
    return true;
}

} // namespace

class TestFileChange : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    void changes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("secondBox");
        const QByteArray mp4 = fixtureBytes("iso/h264_aac.mp4");
        const QByteArray rewritten = QByteArray(mp4).replace(100, 100, QByteArray(100, '\xaa'));
        QTest::newRow("truncated") << "truncate" << mp4.left(mp4.size() / 2) << "free";
        QTest::newRow("appended to") << "append" << mp4 + QByteArray(100, '\0') << "free";
        QTest::newRow("rewritten in place") << "rewrite" << rewritten << "free";
        QTest::newRow("replaced by a rename") << "rename" << fixtureBytes("iso/tiny.mp4") << "moov";
    }

private slots:
    void initTestCase()
    {
        useOwnSettings();
        QVERIFY(m_dir.isValid());
    }

    void watcherTellsEachChangeOnce_data() { changes_data(); }

    void watcherTellsEachChangeOnce()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(QStringLiteral("watched.mp4"));
        QVERIFY(writeFile(path, fixtureBytes("iso/h264_aac.mp4")));
        FileChangeWatcher watcher;
        QSignalSpy changed(&watcher, &FileChangeWatcher::changed);
        watcher.watch(path);
        QVERIFY(!watcher.check());

        QVERIFY(changeFile(path, how, bytes));
        QTRY_COMPARE(changed.size(), 1);
        QVERIFY(!watcher.check());

        // The watch follows the name: a later write to whatever file it now stands for is told too.
        QVERIFY(changeFile(path, "append", bytes + "more"));
        QTRY_COMPARE(changed.size(), 2);
        watcher.stop();
        QVERIFY(QFile::resize(path, 1));
        QVERIFY(!watcher.check());
        QTest::qWait(50);
        QCOMPARE(changed.size(), 2);
    }

    void windowTellsAndReloads_data() { changes_data(); }

    void windowTellsAndReloads()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(QStringLiteral("shown.mp4"));
        ModalAnswerer answerer;
        MainWindow window;
        QVERIFY(openCopy(window, "iso/h264_aac.mp4", path));
        BinViewArea &area = *window.hexView()->binViewArea();
        QVERIFY(!isBlank(area));
        QVERIFY(window.fileChangedBar()->isHidden());

        QVERIFY(changeFile(path, how, bytes));
        QTRY_COMPARE(window.statusBar()->currentMessage(), QStringLiteral("The file changed on disk"));
        QVERIFY(window.fileChangedBar()->isVisible());
        QVERIFY(window.reloadBarAction()->isEnabled());
        QVERIFY(area.file()->hasChanged());
        QVERIFY(isBlank(area));

        window.reloadBarAction()->trigger();
        QVERIFY(answerer.messages.isEmpty());
        QVERIFY(window.fileChangedBar()->isHidden());
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
        QCOMPARE(area.file()->fileSize(), qint64(bytes.size()));
        const QString firstBytes = QString::fromLatin1(bytes.left(4).toHex(' ').toUpper());
        QVERIFY2(ScreenReader(area).text().value(0).contains(firstBytes), qPrintable(firstBytes));
        QFETCH(QString, secondBox);
        QCOMPARE(window.treeView()->sqlTree()->topLevelItem(1)->text(0), secondBox);

        // Dismissing the next notice hides the bar; the view stays blank until a reload.
        QVERIFY(changeFile(path, "truncate", bytes.left(40)));
        QTRY_VERIFY(window.fileChangedBar()->isVisible());
        window.dismissBarAction()->trigger();
        QVERIFY(window.fileChangedBar()->isHidden());
        QVERIFY(isBlank(area));
    }

    void activationFindsAChangeTheWatchMissed()
    {
        const QString path = m_dir.filePath(QStringLiteral("activated.mp4"));
        ModalAnswerer answerer;
        MainWindow window;
        QVERIFY(openCopy(window, "iso/tiny.mp4", path));
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // Changed with no event loop running, so the file system has not told yet; coming back
        // to the window finds the change by itself.
        QVERIFY(QFile::resize(path, 100));
        QEvent activation(QEvent::ActivationChange);
        QCoreApplication::sendEvent(&window, &activation);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("The file changed on disk"));
        QVERIFY(!window.fileChangedBar()->isHidden());
    }
};

QTEST_MAIN(TestFileChange)
#include "test_file_change.moc"
