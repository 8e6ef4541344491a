#include "app_settings.h"
#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "go_to_bar.h"
#include "main_window.h"
#include "navigation_history.h"
#include "own_settings.h"
#include "parser.h"
#include "plugins.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "viewer_database.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QSqlQuery>
#include <QTest>
#include <QToolTip>

#include <memory>

namespace {

const QString mp4 = QStringLiteral(KESTRUNE_FIXTURES "/iso/h264_aac.mp4");
const QString mkv = QStringLiteral(KESTRUNE_FIXTURES "/mkv/codec_opus.mkv");
const QString avi = QStringLiteral(KESTRUNE_FIXTURES "/avi/tiny.avi");

// Elements of h264_aac.mp4 the cases go to.
const QString ratePath = QStringLiteral("moov / mvhd / rate");
const QString entryPath = QStringLiteral("moov / trak[0] / mdia / minf / stbl / stsz / entry_size[3]");
constexpr qint64 rateOffset = 15375;
constexpr qint64 entryOffset = 16605;

QJsonObject findElement(const QJsonArray &elements, qint64 id)
{
    for (const QJsonValue &value : elements) {
        const QJsonObject element = value.toObject();
        if (element.value(QLatin1String("id")).toInteger() == id)
            return element;
        const QJsonObject found = findElement(element.value(QLatin1String("children")).toArray(), id);
        if (!found.isEmpty())
            return found;
    }
    return {};
}

} // namespace

class TestNavigationWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    SqlTree *tree() const { return window->treeView()->sqlTree(); }
    ViewerDatabase *db() const { return window->treeView()->viewerDatabase(); }
    BinViewArea *hex() const { return window->hexView()->binViewArea(); }
    QString currentPath() const { return db()->path(tree()->current_id); }

    // The window on path's tree and bytes, without the open dialog and the MediaInfo report.
    bool open(const QString &path)
    {
        window = std::make_unique<MainWindow>();
        window->resize(1300, 700);
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        Parser parser;
        if (parser.parseFile(path, QStringLiteral(":memory:"), QString()) != 0)
            return false;
        window->treeView()->setDatabase(parser.getConnection());
        return hex()->openFile(path);
    }

    qint64 idOf(const QString &name)
    {
        QSqlQuery query(*db()->database());
        query.prepare(QStringLiteral("SELECT elements.id FROM elements JOIN dictionary ON elements.name_id = dictionary.id"
                                     " WHERE dictionary.name = ? ORDER BY elements.id LIMIT 1"));
        query.addBindValue(name);
        return query.exec() && query.next() ? query.value(0).toLongLong() : -1;
    }

    void goTo(const QString &entry)
    {
        tree()->setFocus();
        QTest::keyClick(tree(), Qt::Key_G, Qt::ControlModifier);
        QLineEdit *edit = window->goToField()->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, entry);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    // A click on the byte at offset in the hex view, scrolled to it first; text picks the text
    // column instead of the hex digits.
    void clickByte(qint64 offset, bool text = false)
    {
        hex()->setSelection(offset, 1, true);
        const BinViewLayout &layout = hex()->viewLayout();
        const int byte = int(offset % layout.bytesPerLine());
        const int column = text ? layout.textColumn(byte) : layout.hexColumn(byte) + 1;
        const qint64 row = layout.lineOfOffset(offset) - hex()->topLine();
        const QPoint point(column * hex()->charWidth() + hex()->charWidth() / 2,
                           int(row) * hex()->lineHeight() + hex()->lineHeight() / 2);
        QTest::mouseClick(hex()->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    }

    QPoint currentRowPoint() const
    {
        const QRect rect = tree()->visualItemRect(tree()->currentItem());
        return QPoint(tree()->columnViewportPosition(1) + 4, rect.center().y());
    }

    // Runs one step of a history case: "go ENTRY", "hex OFFSET", "back"/"forward" as keys,
    // "mouse back"/"mouse forward" as buttons over the tree and the hex view.
    void step(const QString &text)
    {
        if (text.startsWith(QLatin1String("go ")))
            goTo(text.mid(3));
        else if (text.startsWith(QLatin1String("hex ")))
            clickByte(text.mid(4).toLongLong());
        else if (text == QLatin1String("back"))
            QTest::keyClick(tree(), Qt::Key_Left, Qt::AltModifier);
        else if (text == QLatin1String("forward"))
            QTest::keyClick(tree(), Qt::Key_Right, Qt::AltModifier);
        else if (text == QLatin1String("mouse back"))
            QTest::mouseClick(tree()->viewport(), Qt::BackButton, Qt::NoModifier, QPoint(10, 10));
        else if (text == QLatin1String("mouse forward"))
            QTest::mouseClick(hex()->viewport(), Qt::ForwardButton, Qt::NoModifier, QPoint(10, 10));
        else if (text == QLatin1String("menu back"))
            window->backMenuAction()->trigger();
        else
            QFAIL(qPrintable(QStringLiteral("unknown step %1").arg(text)));
    }

private slots:
    void initTestCase()
    {
        useOwnSettings();
        Plugins::setSearchPaths({QStringLiteral(KESTRUNE_BIN_DIR "/plugins")});
    }

    void init()
    {
        appSettings().clear();
    }

    void cleanup()
    {
        window.reset();
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
    }

    void goToEntry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("path"); // empty: the bar stays open with an error
        QTest::newRow("decimal offset") << QString::number(rateOffset) << ratePath;
        QTest::newRow("hex offset") << QStringLiteral("0x%1").arg(rateOffset + 3, 0, 16) << ratePath;
        QTest::newRow("deep entry") << QString::number(entryOffset + 1) << entryPath;
        QTest::newRow("id") << "#1" << "ftyp";
        QTest::newRow("not a number") << "12ab" << "";
        QTest::newRow("no element there") << "99999999" << "";
        QTest::newRow("no such id") << "#99999999" << "";
    }

    void goToEntry()
    {
        QFETCH(QString, entry);
        QFETCH(QString, path);
        QVERIFY(open(mp4));
        goTo(entry);
        GoToBar *bar = window->goToField();
        if (path.isEmpty()) {
            QVERIFY(bar->isVisible());
            QVERIFY(bar->messageLabel()->isVisible());
            QVERIFY(!bar->messageLabel()->text().isEmpty());
            QCOMPARE(QApplication::focusWidget(), bar->lineEdit());
            QCOMPARE(tree()->current_id, qint64(1));
            QTest::keyClick(bar->lineEdit(), Qt::Key_Escape);
            QVERIFY(!bar->isVisible());
            QCOMPARE(QApplication::focusWidget(), tree());
            return;
        }
        QVERIFY(!bar->isVisible());
        QCOMPARE(QApplication::focusWidget(), tree());
        QCOMPARE(currentPath(), path);
        QCOMPARE(SqlTree::elementAt(tree()->currentIndex()).id, tree()->current_id);
        QCOMPARE(window->navigationHistory()->canGoBack(), tree()->current_id != 1);
    }

    void hexClick_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<bool>("text");
        QTest::addColumn<QString>("path");
        QTest::newRow("field") << rateOffset + 2 << false << ratePath;
        QTest::newRow("entry") << entryOffset << false << entryPath;
        QTest::newRow("text column") << entryOffset + 3 << true << entryPath;
        QTest::newRow("first byte") << qint64(0) << false << "ftyp / size";
        QTest::newRow("media data") << qint64(4000) << true << "mdat / media_data";
    }

    void hexClick()
    {
        QFETCH(qint64, offset);
        QFETCH(bool, text);
        QVERIFY(open(mp4));
        hex()->setFocus();
        clickByte(offset, text);
        QTEST(currentPath(), "path");
        QCOMPARE(SqlTree::elementAt(tree()->currentIndex()).id, tree()->current_id);
        QCOMPARE(QApplication::focusWidget(), hex());
        const ViewerDatabase::Element element = db()->element(tree()->current_id);
        QCOMPARE(hex()->selectionStart(), element.offset / 8);
        QCOMPARE(hex()->selectionLength(), element.size / 8);
    }

    void history_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("paths"); // after each step
        const QString start = QStringLiteral("ftyp");
        QTest::newRow("keys") << QStringList{"go #31", "hex 16606", "back", "back", "back", "forward", "forward", "forward"}
                              << QStringList{ratePath, entryPath, ratePath, start, start, ratePath, entryPath, entryPath};
        QTest::newRow("mouse buttons") << QStringList{"hex 15376", "go 16605", "mouse back", "mouse forward", "menu back"}
                                       << QStringList{ratePath, entryPath, ratePath, entryPath, ratePath};
        QTest::newRow("a jump forgets forward") << QStringList{"go #31", "back", "hex 16605", "forward"}
                                                << QStringList{ratePath, start, entryPath, entryPath};
    }

    void history()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, paths);
        QVERIFY(open(mp4));
        QVERIFY(!window->backMenuAction()->isEnabled());
        for (int i = 0; i < steps.size(); ++i) {
            step(steps.at(i));
            QVERIFY2(currentPath() == paths.at(i), qPrintable(steps.at(i) + QStringLiteral(": ") + currentPath()));
        }
        QCOMPARE(window->backMenuAction()->isEnabled(), window->navigationHistory()->canGoBack());
        QCOMPARE(window->forwardMenuAction()->isEnabled(), window->navigationHistory()->canGoForward());
    }

    void link_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("ctrl+click") << "ctrl+click";
        QTest::newRow("enter") << "enter";
        QTest::newRow("menu") << "menu";
    }

    void link()
    {
        QFETCH(QString, how);
        QVERIFY(open(mp4));
        const qint64 rate = idOf(QStringLiteral("rate"));
        QSqlQuery insert(*db()->database());
        QVERIFY(insert.exec(QStringLiteral("INSERT OR REPLACE INTO links VALUES (%1, %2)").arg(rate).arg(entryOffset + 2)));
        window->navigateTo(rate);
        QVERIFY(tree()->currentItem()->font(3).underline());
        QVERIFY(!tree()->topLevelItem(0)->font(3).underline() || tree()->topLevelItem(0) == tree()->currentItem());

        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, currentRowPoint(), tree()->viewport()->mapToGlobal(currentRowPoint()));
        QApplication::sendEvent(tree()->viewport(), &help);
        QVERIFY(QToolTip::text().contains(QStringLiteral("Ctrl+click or Enter: go to byte %1").arg(entryOffset + 2)));
        QToolTip::hideText();

        tree()->setFocus();
        if (how == QLatin1String("ctrl+click")) {
            QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::ControlModifier, currentRowPoint());
        } else if (how == QLatin1String("enter")) {
            QTest::keyClick(tree(), Qt::Key_Return);
        } else {
            QContextMenuEvent event(QContextMenuEvent::Mouse, currentRowPoint(), tree()->viewport()->mapToGlobal(currentRowPoint()));
            QApplication::sendEvent(tree()->viewport(), &event);
            QVERIFY(tree()->rowMenu());
            QAction *follow = nullptr;
            for (QAction *action : tree()->rowMenu()->actions()) {
                if (action->text() == QStringLiteral("Go to byte %1").arg(entryOffset + 2))
                    follow = action;
            }
            QVERIFY(follow && follow->isVisible());
            tree()->rowMenu()->close();
            follow->trigger();
        }
        QCOMPARE(currentPath(), entryPath);
        QCOMPARE(QApplication::focusWidget(), tree());
        QTest::keyClick(tree(), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(currentPath(), ratePath);

        // A row without a link stays where it is.
        QTest::keyClick(tree(), Qt::Key_Down);
        const qint64 plain = tree()->current_id;
        QTest::keyClick(tree(), Qt::Key_Return);
        QCOMPARE(tree()->current_id, plain);
    }

    void copy_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("action"); // empty: Ctrl+C
        QTest::addColumn<QString>("text");
        QTest::newRow("row") << QString::number(rateOffset) << "" << "rate\t15375\t4\t1.0\t1";
        QTest::newRow("entry row") << QString::number(entryOffset) << "" << "entry_size-3\t16605\t4\t12\t12";
        QTest::newRow("row from the menu") << QString::number(rateOffset) << "Copy" << "rate\t15375\t4\t1.0\t1";
        QTest::newRow("name") << QString::number(rateOffset) << "Copy name" << "rate";
        QTest::newRow("value") << QString::number(rateOffset) << "Copy value" << "1.0";
        QTest::newRow("offset") << QString::number(entryOffset) << "Copy offset" << "16605";
        QTest::newRow("path") << QString::number(entryOffset) << "Copy path" << entryPath;
    }

    void copy()
    {
        QFETCH(QString, entry);
        QFETCH(QString, action);
        QVERIFY(open(mp4));
        goTo(entry);
        QGuiApplication::clipboard()->clear();
        if (action.isEmpty()) {
            QTest::keyClick(tree(), Qt::Key_C, Qt::ControlModifier);
        } else {
            QContextMenuEvent event(QContextMenuEvent::Mouse, currentRowPoint(), tree()->viewport()->mapToGlobal(currentRowPoint()));
            QApplication::sendEvent(tree()->viewport(), &event);
            QVERIFY(tree()->rowMenu());
            QAction *chosen = nullptr;
            for (QAction *candidate : tree()->rowMenu()->actions()) {
                if (candidate->text() == action)
                    chosen = candidate;
            }
            QVERIFY(chosen);
            tree()->rowMenu()->close();
            chosen->trigger();
        }
        QTEST(QGuiApplication::clipboard()->text(), "text");
    }

    void subtreeJson_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("name");
        QTest::newRow("mp4 first element") << mp4 << "ftyp";
        QTest::newRow("mp4 track") << mp4 << "trak";
        QTest::newRow("mp4 leaf") << mp4 << "rate";
        QTest::newRow("mp4 table") << mp4 << "stsz";
        QTest::newRow("mkv segment") << mkv << "Segment";
        QTest::newRow("avi header list") << avi << "LIST(hdrl)";
    }

    void subtreeJson()
    {
        QFETCH(QString, file);
        QFETCH(QString, name);
        QProcess dump;
        dump.start(QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-dump"), {QStringLiteral("--json"), file});
        QVERIFY(dump.waitForFinished(30000));
        QCOMPARE(dump.exitCode(), 0);
        const QJsonArray elements = QJsonDocument::fromJson(dump.readAllStandardOutput()).object().value(QLatin1String("elements")).toArray();

        QVERIFY(open(file));
        const qint64 id = idOf(name);
        QVERIFY(id > 0);
        window->navigateTo(id);
        QGuiApplication::clipboard()->clear();
        tree()->copyToClipboard(SqlTree::CopyPart::SubtreeJson);
        const QJsonObject expected = findElement(elements, id);
        QVERIFY(!expected.isEmpty());
        const QString copied = QGuiApplication::clipboard()->text();
        QCOMPARE(QJsonDocument::fromJson(copied.toUtf8()).object(), expected);
        QCOMPARE(copied, QString::fromUtf8(QJsonDocument(expected).toJson(QJsonDocument::Indented)));
    }

    void statusBar()
    {
        QVERIFY(open(mp4));
        QLabel *label = window->elementLabel();
        QCOMPARE(label->text(), QStringLiteral("ftyp    offset 0x0 (0), size 0x20 (32)"));
        goTo(QString::number(entryOffset));
        QCOMPARE(label->text(), entryPath + QStringLiteral("    offset 0x40DD (16605), size 0x4 (4)"));
        QCOMPARE(label->toolTip(), entryPath);
        window->closeFile();
        QVERIFY(label->text().isEmpty());
        QVERIFY(!window->navigationHistory()->canGoBack());
    }
};

QTEST_MAIN(TestNavigationWindow)
#include "test_navigation_window.moc"
