#include "app_settings.h"
#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "cached_file.h"
#include "main_window.h"
#include "modal_answerer.h"
#include "own_settings.h"
#include "parser.h"
#include "plugins.h"
#include "properties_dialog.h"
#include "shown_window.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>
#include <unistd.h>

namespace {

using Row = QStringList; // name, offset, size

QString fixture(const QString &name)
{
    return QStringLiteral(KESTRUNE_FIXTURES "/") + name;
}

QList<Row> shownRows(MainWindow &window, int count)
{
    QList<Row> rows;
    SqlTree *tree = window.treeView()->sqlTree();
    for (int i = 0; i < qMin(count, tree->topLevelItemCount()); ++i) {
        const QTreeWidgetItem *item = tree->topLevelItem(i);
        rows.append({item->text(0), item->text(1), item->text(2)});
    }
    return rows;
}

BinViewArea &hexArea(MainWindow &window)
{
    return *window.hexView()->binViewArea();
}

QString writeScript(const QTemporaryDir &dir, const QString &name, const QString &body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

template <typename T>
T *inGroup(QWidget *dialog, const QString &title)
{
    for (QGroupBox *group : dialog->findChildren<QGroupBox *>()) {
        if (group->title() == title)
            return group->findChild<T *>();
    }
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ModalAnswerer> m_answerer;
    std::unique_ptr<MainWindow> m_window;

    MainWindow &window()
    {
        if (!m_window)
            m_window = showMainWindow();
        return *m_window;
    }

    void open(const QString &path)
    {
        m_answerer->chooseFile(path);
        window().openContainer();
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
        Plugins::setSearchPaths({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void opensEveryFormat_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<Row>>("rows");
        QTest::addColumn<int>("clickedRow");
        // The top-level structures, as the files' own headers lay them out.
        const auto iso = [](int ftyp, const char *second, int mdat, int moov) {
            const int secondAt = ftyp, mdatAt = ftyp + 8, moovAt = mdatAt + mdat;
            return QList<Row>{{"ftyp", "0", QString::number(ftyp)},
                              {second, QString::number(secondAt), "8"},
                              {"mdat", QString::number(mdatAt), QString::number(mdat)},
                              {"moov", QString::number(moovAt), QString::number(moov)}};
        };
        QTest::newRow("mp4") << "iso/h264_aac.mp4" << iso(32, "free", 15299, 2669) << 3;
        QTest::newRow("f4v") << "iso/h264_aac.f4v" << iso(32, "free", 15299, 2653) << 2;
        QTest::newRow("mov") << "iso/h264_pcm.mov" << iso(20, "wide", 38902, 2068) << 3;
        QTest::newRow("3gp") << "iso/h263.3gp" << iso(28, "free", 17232, 1581) << 3;
        QTest::newRow("3g2") << "iso/mpeg4_aac.3g2" << iso(28, "free", 17122, 1652) << 3;
        QTest::newRow("mkv") << "mkv/h264_vorbis.mkv" << QList<Row>{{"EBML", "0", "40"}, {"Segment", "40", "24133"}} << 1;
        QTest::newRow("webm") << "mkv/vp8_opus.webm" << QList<Row>{{"EBML", "0", "36"}, {"Segment", "36", "20148"}} << 1;
        QTest::newRow("avi") << "avi/tiny.avi" << QList<Row>{{"RIFF(AVI )", "0", "6788"}} << 0;
    }

    void opensEveryFormat()
    {
        QFETCH(QString, file);
        QFETCH(QList<Row>, rows);
        QFETCH(int, clickedRow);

        MainWindow &w = window();
        QVERIFY(!w.closeMenuAction()->isEnabled());
        QVERIFY(!w.viewMediaInfoMenuAction()->isEnabled());
        m_answerer->chooseFile(fixture(file));
        QApplication::setActiveWindow(&w);
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);

        QCOMPARE(m_answerer->fileDialogs(), 1);
        QCOMPARE(m_answerer->messages.size(), 0);
        QCOMPARE(w.windowTitle(), QStringLiteral("Kestrune [%1]").arg(QFileInfo(file).fileName()));
        QCOMPARE(shownRows(w, int(rows.size())), rows);
        QVERIFY(w.closeMenuAction()->isEnabled());
        QVERIFY(w.viewMediaInfoMenuAction()->isEnabled());
        QCOMPARE(w.mediaInfoLines().value(0), QStringLiteral("progress: 100"));
        QCOMPARE(w.mediaInfoLines().last(), QStringLiteral("exit code: 0"));
        QCOMPARE(appSettings().value("main/path").toString(), fixture(file));

        SqlTree *tree = w.treeView()->sqlTree();
        const QRect rect = tree->visualItemRect(tree->topLevelItem(clickedRow));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(hexArea(w).selectionStart(), rows[clickedRow][1].toLongLong());
        QCOMPARE(hexArea(w).selectionLength(), rows[clickedRow][2].toLongLong());
        QCOMPARE(hexArea(w).file()->fileName(), fixture(file));

        w.closeFile();
        QCOMPARE(w.windowTitle(), QStringLiteral("Kestrune"));
        QVERIFY(!w.closeMenuAction()->isEnabled());
        QVERIFY(!hexArea(w).file()->isFileOpen());
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QFile(m_dir.filePath("empty.mp4")).open(QIODevice::WriteOnly);
        QFile unknown(m_dir.filePath("unknown.bin"));
        unknown.open(QIODevice::WriteOnly);
        unknown.write("no container starts like this");
        unknown.close();
        QFile unreadable(m_dir.filePath("unreadable.mp4"));
        unreadable.open(QIODevice::WriteOnly);
        unreadable.write("KTOY");
        unreadable.setPermissions(QFile::WriteOwner);
        QFile::link(m_dir.filePath("gone.mp4"), m_dir.filePath("dangling.mp4"));

        QTest::newRow("missing") << m_dir.filePath("missing.mp4") << "File does not exists.";
        QTest::newRow("dangling link") << m_dir.filePath("dangling.mp4") << "File does not exists.";
        QTest::newRow("directory") << m_dir.path() << "Selected file is not a regular file.";
        QTest::newRow("unreadable") << m_dir.filePath("unreadable.mp4") << "Selected file is unreadable. Check permissions";
        QTest::newRow("empty") << m_dir.filePath("empty.mp4") << "Selected file has zero length.";
        QTest::newRow("unknown format") << m_dir.filePath("unknown.bin")
                                        << "File analyzing failed. File is corrupted or has an unknown format.";
    }

    void refusedFiles()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        if (message.contains("unreadable") && QFileInfo(path).isReadable())
            QSKIP("permissions do not hold for this user");

        open(fixture("iso/h264_aac.mp4"));
        QVERIFY(m_window->closeMenuAction()->isEnabled());
        open(path);
        QCOMPARE(m_answerer->messages.size(), 1);
        QCOMPARE(m_answerer->messages[0].title, QStringLiteral("Error"));
        QCOMPARE(m_answerer->messages[0].text, message);
        QCOMPARE(m_answerer->messages[0].buttons, 1);
        // The file that was open is closed, and the refused one is the next start location.
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Kestrune"));
        QVERIFY(!m_window->closeMenuAction()->isEnabled());
        QVERIFY(!m_window->viewMediaInfoMenuAction()->isEnabled());
        QCOMPARE(m_window->treeView()->sqlTree()->topLevelItemCount(), 0);
        QVERIFY(!hexArea(*m_window).file()->isFileOpen());
        QCOMPARE(appSettings().value("main/path").toString(), path);
    }

    void fileDialogFiltersAndStartLocation()
    {
        open(fixture("mkv/tiny.mkv"));
        const QStringList filters = m_answerer->nameFilters;
        QCOMPARE(filters.first(), QStringLiteral("All digital containers (%1)").arg(m_window->fileMasks().join(' ')));
        QVERIFY(filters.first().contains("*.3g2 *.3gp *.avi *.f4v *.mkv *.mov *.mp4 *.qt"));
        QCOMPARE(filters.mid(1, filters.size() - 2), m_window->nameFilters());
        // The program's plug-in folder holds the five families and no test plug-in.
        QCOMPARE(m_window->nameFilters().size(), 5);
        QVERIFY(filters.contains("MKV containers (*.mkv *.webm)"));
        QCOMPARE(filters.last(), QStringLiteral("All files (*.*)"));

        // Cancelling the next dialog keeps the file open; it opened where the last file was.
        open(QString());
        QCOMPARE(m_answerer->startDirectory, QFileInfo(fixture("mkv/tiny.mkv")).absolutePath());
        QCOMPARE(m_answerer->startSelection, QStringList{QFileInfo(fixture("mkv/tiny.mkv")).absoluteFilePath()});
        QVERIFY(m_window->closeMenuAction()->isEnabled());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Kestrune [tiny.mkv]"));
    }

    void pluginFilters_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("dialogFilters");
        QTest::newRow("no plug-ins") << QStringList{m_dir.filePath("no-plugins")} << QStringList{"All files (*.*)"};
        QTest::newRow("shared extension")
            << QStringList{KESTRUNE_TOY_ALIAS_DIR, KESTRUNE_BIN_DIR "/plugins"}
            << QStringList{"MP4 containers (*.f4v *.mp4)", "TOY2 containers (*.mp4 *.toy)"};
    }

    void pluginFilters()
    {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, dialogFilters);
        Plugins::setSearchPaths(paths);
        open(QString());
        for (const QString &filter : dialogFilters)
            QVERIFY2(m_answerer->nameFilters.contains(filter), qPrintable(m_answerer->nameFilters.join('|')));
        QCOMPARE(m_window->fileMasks().count("*.mp4"), qsizetype(dialogFilters.size() > 1 ? 1 : 0));
    }

    void symbolicLinkShowsItsTargetButIsOpenedAsChosen()
    {
        const QString link = m_dir.filePath("chosen-link.mp4");
        QFile::link(fixture("iso/h264_aac.mp4"), link);
        const QString argumentFile = m_dir.filePath("analyser-arguments");
        window().setMediaInfoProgram(writeScript(m_dir, "args.sh", QStringLiteral("echo \"$2\" > %1").arg(argumentFile)));
        open(link);
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Kestrune [h264_aac.mp4]"));
        QCOMPARE(hexArea(*m_window).file()->fileName(), link);
        QFile arguments(argumentFile);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        QCOMPARE(arguments.readAll().trimmed(), link.toUtf8());
    }

    void mediaInfoReport()
    {
        MainWindow &w = window();
        QSignalSpy changed(&w, &MainWindow::mediaInfoChanged);
        w.setMediaInfoProgram(writeScript(m_dir, "blank.sh", "printf 'General\\n\\nFormat : X\\n\\n  \\n\\n'"));
        open(fixture("iso/tiny.mp4"));
        QCOMPARE(w.mediaInfoLines(), (QStringList{"General", "", "Format : X"}));
        QCOMPARE(changed.last().at(0).toString(), QStringLiteral("General\n\nFormat : X"));
        w.viewMediaInfoOutput();
        QTextEdit *view = w.mediaInfoView();
        QVERIFY(view && view->isVisible());
        QCOMPARE(view->windowTitle(), QStringLiteral("Kestrune - MediaInfo"));
        QCOMPARE(view->toPlainText(), QStringLiteral("General\n\nFormat : X"));

        // The next open hides the window and refills it; only the menu shows it again. Tags
        // that look like markup are shown as they are.
        w.setMediaInfoProgram(writeScript(m_dir, "other.sh", "printf 'Title : <b>x</b><img src=\"/etc\">\\n'"));
        open(fixture("iso/tiny.mp4"));
        QVERIFY(!view->isVisible());
        QCOMPARE(view->toPlainText(), QStringLiteral("Title : <b>x</b><img src=\"/etc\">"));

        // A missing analyser leaves the file open with no report and no message.
        w.setMediaInfoProgram(m_dir.filePath("no-such-analyser"));
        open(fixture("iso/tiny.mp4"));
        QVERIFY(m_answerer->messages.isEmpty());
        QVERIFY(w.mediaInfoLines().isEmpty());
        QVERIFY(w.closeMenuAction()->isEnabled());
        QVERIFY(!w.viewMediaInfoMenuAction()->isEnabled());
    }

    void cancellingTheAnalyserKeepsWhatItWrote()
    {
        window().setMediaInfoProgram(writeScript(m_dir, "stuck.sh", "printf 'General\\n'; exec sleep 30"));
        m_answerer->cancelNextProgress(true, 500);
        QElapsedTimer clock;
        clock.start();
        open(fixture("iso/tiny.mp4"));
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(m_answerer->progressCancelled, 1);
        QCOMPARE(m_window->mediaInfoLines(), QStringList{"General"});
        QVERIFY(m_window->viewMediaInfoMenuAction()->isEnabled());
    }

    void secondOpenReplacesTheEngine()
    {
        open(fixture("iso/tiny.mp4"));
        QPointer<Parser> first = m_window->treeView()->findChild<Parser *>();
        QVERIFY(first);
        open(fixture("iso/tiny.mp4"));
        QVERIFY(!first);
        QCOMPARE(m_window->treeView()->findChildren<Parser *>().size(), 1);
        QCOMPARE(shownRows(*m_window, 1).value(0).value(0), QStringLiteral("ftyp"));
    }

    void rowTextsBecomeByteRanges_data()
    {
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("size");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("length");
        QTest::newRow("whole bytes") << "100" << "12" << qint64(100) << qint64(12);
        QTest::newRow("partial size counts a whole byte") << "100" << "12:3" << qint64(100) << qint64(13);
        QTest::newRow("bit offset starts at its byte") << "24:4" << "0:4" << qint64(24) << qint64(1);
        QTest::newRow("beyond 32 bits") << "6000000000" << "4294967296" << qint64(6000000000) << qint64(4294967296);
        QTest::newRow("empty size leaves the selection") << "5" << "" << qint64(-7) << qint64(-7);
    }

    void rowTextsBecomeByteRanges()
    {
        QFETCH(QString, offset);
        QFETCH(QString, size);
        QFETCH(qint64, start);
        QFETCH(qint64, length);
        MainWindow &w = window();
        hexArea(w).setSelection(-7, -7, false);
        QStandardItemModel model(1, 4);
        model.setItem(0, 1, new QStandardItem(offset));
        model.setItem(0, 2, new QStandardItem(size));
        // Only the tree widget's signal is heard.
        w.treeClicked(model.index(0, 0), false);
        QCOMPARE(hexArea(w).selectionStart(), qint64(-7));
        emit w.treeView()->clicked(model.index(0, 3), false);
        QCOMPARE(hexArea(w).selectionStart(), start);
        QCOMPARE(hexArea(w).selectionLength(), length);
    }

    void geometryAndSettings()
    {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        {
            // Placed before it is shown, when the frame is still the bare window.
            const MainWindow fresh;
            QCOMPARE(fresh.size(), QSize(qRound(available.width() * 0.8), qRound(available.height() * 0.8)));
            QCOMPARE(fresh.frameGeometry().center(), available.center());
        }
        MainWindow &w = window();

        w.resize(700, 450);
        const QSize closedSize = w.size();
        QVERIFY(w.close());
        QCOMPARE(appSettings().value("main/size").toSize(), closedSize);
        QVERIFY(appSettings().contains("main/tree_viewer/columns"));
        QVERIFY(appSettings().contains("main/hex_viewer/font_size"));
        m_window.reset();
        // A position off every screen is applied as stored.
        appSettings().setValue("main/pos", QPoint(-3000, 5000));
        MainWindow again;
        QCOMPARE(again.size(), closedSize);
        QCOMPARE(again.pos(), QPoint(-3000, 5000));
    }

    void propertiesPreviewAndCancel_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<bool>("closeButton");
        QTest::newRow("hex font, Cancel") << true << false;
        QTest::newRow("tree font, close button") << false << true;
    }

    void propertiesPreviewAndCancel()
    {
        QFETCH(bool, hex);
        QFETCH(bool, closeButton);
        // Sizes the boxes can show only rounded, as 10.13.
        appSettings().setValue("main/hex_viewer/font_size", 10.125);
        appSettings().setValue("main/tree_viewer/font_size", 10.125);
        MainWindow &w = window();
        BinViewArea &area = hexArea(w);
        const double hexSize = area.fontSize();
        const double treeSize = w.treeView()->sqlTree()->font().pointSizeF();
        const qint64 hexGlyphs = area.normalGlyphs().cacheKey();
        double previewed = 0;
        QTimer::singleShot(0, &w, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(qobject_cast<PropertiesDialog *>(dialog));
            inGroup<QDoubleSpinBox>(dialog, hex ? "Hex viewer" : "Tree viewer")->setValue(17.0);
            previewed = hex ? area.fontSize() : w.treeView()->sqlTree()->font().pointSizeF();
            if (closeButton)
                dialog->close();
            else
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        w.properties();
        QCOMPARE(previewed, 17.0);
        QCOMPARE(area.fontSize(), hexSize);
        QCOMPARE(w.treeView()->sqlTree()->font().pointSizeF(), treeSize);
        // The view that was not touched was not reset either.
        if (!hex)
            QCOMPARE(area.normalGlyphs().cacheKey(), hexGlyphs);
        QCOMPARE(appSettings().value("main/hex_viewer/font_size").toDouble(), 10.125);
        QCOMPARE(appSettings().value("main/tree_viewer/font_size").toDouble(), 10.125);
    }

    void propertiesApply()
    {
        appSettings().setValue("main/hex_viewer/bytes_per_line", 16);
        MainWindow &w = window();
        QString selected;
        QTimer::singleShot(0, &w, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            selected = inGroup<QComboBox>(dialog, "Hex viewer")->currentText();
            for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
                if (button->text() == "Apply")
                    button->click();
            }
        });
        w.properties();
        QCOMPARE(selected, QStringLiteral("16"));
        QCOMPARE(appSettings().value("main/hex_viewer/bytes_per_line"), QVariant(QStringLiteral("16")));
        QCOMPARE(appSettings().value("main/hex_viewer/font_size").toDouble(), hexArea(w).fontSize());
        QCOMPARE(appSettings().value("main/tree_viewer/font_size").toDouble(),
                 w.treeView()->sqlTree()->font().pointSizeF());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
