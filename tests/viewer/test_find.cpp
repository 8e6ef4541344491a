#include "element_database_fixture.h"
#include "find_bar.h"
#include "leftover_marker.h"
#include "main_window.h"
#include "own_settings.h"
#include "parser.h"
#include "plugins.h"
#include "problems_panel.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "viewer_database.h"
#include "viewer_settings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using Ids = QList<qint64>;
using Notes = QList<std::pair<qint64, QString>>;

namespace {

struct Row
{
    int level;
    const char *name;
    const char *value;
    const char *readable;
};

// id: 1 moov, 2 mvhd, 3 trak, 4 tkhd, 5 name, 6 trak, 7 name, 8 mdat, 9 leftover bytes.
const Row rows[] = {
    {0, "moov", "", ""},
    {1, "mvhd", "1000", "Timescale 1000"},
    {1, "trak", "", ""},
    {2, "tkhd", "Äpfel", ""},
    {2, "name", "Track one", "Straße"},
    {1, "trak", "", ""},
    {2, "name", "track2", ""},
    {0, "mdat", "", "trak data"},
    {0, leftoverMarker, "", ""},
};

std::vector<ElementRecord> records()
{
    QStringList lines;
    for (const Row &row : rows)
        lines << QString(row.level * 2, QLatin1Char(' ')) + QString::fromUtf8(row.name);
    std::vector<ElementRecord> list = ElementDatabaseFixture::outline(lines.join(QLatin1Char('\n')));
    for (size_t i = 0; i < list.size(); ++i) {
        list[i].value = QString::fromUtf8(rows[i].value);
        list[i].readable = QString::fromUtf8(rows[i].readable);
    }
    return list;
}

// The fixture's database with notes on the elements of notes (id, text).
QSqlDatabase *makeDatabase(const Notes &notes)
{
    QSqlDatabase *db = ElementDatabaseFixture::create(ViewerDatabase::connectionName(), records());
    QSqlQuery insert(*db);
    insert.prepare(QStringLiteral("INSERT INTO notes VALUES (?, ?)"));
    for (const auto &[id, text] : notes) {
        insert.addBindValue(id);
        insert.addBindValue(text);
        insert.exec();
    }
    return db;
}

} // namespace

class TestFind : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<SqlTreeWidget> m_widget;

    SqlTree *tree() const { return m_widget->sqlTree(); }
    FindBar *bar() const { return m_widget->findBar(); }

    // A shown tree widget on the fixture, its find bar wired to the tree as the window wires it.
    bool showFixture(const Notes &notes = {})
    {
        m_widget = std::make_unique<SqlTreeWidget>();
        connect(bar(), &FindBar::matchSelected, tree(), [this](qint64 id) { tree()->goToId(id, true, true); });
        m_widget->resize(700, 400);
        m_widget->show();
        if (!QTest::qWaitForWindowActive(m_widget.get()))
            return false;
        m_widget->setDatabase(makeDatabase(notes));
        return true;
    }

    // Types text into the open bar and waits for the search and its count.
    void type(const QString &text)
    {
        bar()->textEdit()->clear();
        // keyClicks takes Latin-1 letters only.
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, bar()->textEdit(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTRY_VERIFY(!bar()->countText().isEmpty() && !bar()->isSearching());
    }

private slots:
    void initTestCase()
    {
        // The window keeps its recent files in the program's store: a test store, not the user's.
        useOwnSettings();
        Plugins::setSearchPaths({QStringLiteral(KESTRUNE_BIN_DIR "/plugins")});
        m_settings = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("viewer.ini")), QSettings::IniFormat);
        ViewerSettings::setStore(m_settings.get());
    }

    void cleanup()
    {
        m_widget.reset();
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
    }

    void cleanupTestCase()
    {
        ViewerSettings::setStore(nullptr);
    }

    void matches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<bool>("namesOnly");
        QTest::addColumn<Ids>("expected");

        QTest::newRow("name and readable value") << "trak" << false << false << Ids{3, 6, 8};
        QTest::newRow("names only") << "trak" << false << true << Ids{3, 6};
        QTest::newRow("value") << "1000" << false << false << Ids{2};
        QTest::newRow("readable value") << "timescale" << false << false << Ids{2};
        QTest::newRow("case") << "TRACK" << false << false << Ids{5, 7};
        QTest::newRow("case beyond ASCII") << "äPFEL" << false << false << Ids{4};
        QTest::newRow("whole word") << "track" << true << false << Ids{5};
        QTest::newRow("whole word inside") << "rak" << true << false << Ids{};
        QTest::newRow("leftover bytes by their shown name") << "garbage" << false << true << Ids{9};
        QTest::newRow("no match") << "zzz" << false << false << Ids{};
    }

    void matches()
    {
        QFETCH(QString, text);
        QFETCH(bool, wholeWord);
        QFETCH(bool, namesOnly);
        QFETCH(Ids, expected);
        QVERIFY(showFixture());
        m_widget->showFindBar();
        bar()->wholeWordBox()->setChecked(wholeWord);
        bar()->namesOnlyBox()->setChecked(namesOnly);
        type(text);
        if (expected.isEmpty()) {
            QCOMPARE(bar()->countText(), QStringLiteral("No matches"));
            QCOMPARE(bar()->currentMatch(), qint64(-1));
            return;
        }
        const qsizetype count = expected.size();
        // Enter walks the matches in order and wraps round to the first.
        for (qsizetype i = 0; i <= count; ++i) {
            const qint64 id = expected.at(i % count);
            QCOMPARE(tree()->current_id, id);
            QCOMPARE(bar()->countText(), QStringLiteral("%1 of %2").arg(i % count + 1).arg(count));
            QTest::keyClick(bar()->textEdit(), Qt::Key_Return);
        }
        // Shift+Enter walks back, from the first to the last.
        for (qsizetype i = count + 1; i > 0; --i) {
            QTest::keyClick(bar()->textEdit(), Qt::Key_Return, Qt::ShiftModifier);
            QCOMPARE(tree()->current_id, expected.at((i - 1) % count));
            QCOMPARE(bar()->countText(), QStringLiteral("%1 of %2").arg((i - 1) % count + 1).arg(count));
        }
    }

    void searchStartsAtTheCurrentRow()
    {
        QVERIFY(showFixture());
        tree()->goToId(7, true, true);
        m_widget->showFindBar();
        type(QStringLiteral("name"));
        QCOMPARE(bar()->currentMatch(), qint64(7));
        QCOMPARE(bar()->countText(), QStringLiteral("2 of 2"));
        m_widget->findNext();
        QCOMPARE(bar()->currentMatch(), qint64(5));
        QCOMPARE(bar()->countText(), QStringLiteral("1 of 2"));
    }

    void escapeGivesFocusToTheTree()
    {
        QVERIFY(showFixture());
        m_widget->showFindBar();
        QVERIFY(bar()->textEdit()->hasFocus());
        type(QStringLiteral("tkhd"));
        QTest::keyClick(bar()->textEdit(), Qt::Key_Escape);
        QVERIFY(bar()->isHidden());
        QVERIFY(tree()->hasFocus());
        QCOMPARE(SqlTree::elementAt(tree()->currentIndex()).id, qint64(4));
    }

    void countsInSlices_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<qint64>("count");
        QTest::newRow("all") << qint64(1) << qint64(9) << qint64(3);
        QTest::newRow("head") << qint64(1) << qint64(3) << qint64(1);
        QTest::newRow("tail") << qint64(4) << qint64(9) << qint64(2);
        QTest::newRow("empty range") << qint64(6) << qint64(5) << qint64(0);
    }

    void countsInSlices()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(qint64, count);
        ViewerDatabase database;
        database.setDatabase(makeDatabase({}));
        ViewerDatabase::FindQuery query;
        query.text = QStringLiteral("trak");
        QCOMPARE(database.countMatches(query, first, last), count);
    }

    void problems_data()
    {
        QTest::addColumn<Notes>("notes");
        QTest::addColumn<Ids>("ids");
        QTest::addColumn<QString>("summary");
        QTest::newRow("leftover bytes only") << Notes{} << Ids{9}
                                             << QStringLiteral("1 problem");
        QTest::newRow("notes") << Notes{{4, QStringLiteral("short")},
                                                                    {4, QStringLiteral("clipped")},
                                                                    {2, QStringLiteral("bad")}}
                               << Ids{2, 4, 9} << QStringLiteral("3 problems");
    }

    void problems()
    {
        QFETCH(Notes, notes);
        QFETCH(Ids, ids);
        QFETCH(QString, summary);
        QVERIFY(showFixture(notes));
        ProblemsPanel panel;
        panel.load(m_widget->viewerDatabase());
        QCOMPARE(panel.summary(), summary);
        QCOMPARE(panel.list()->topLevelItemCount(), ids.size());
        for (int row = 0; row < ids.size(); ++row)
            QCOMPARE(panel.list()->topLevelItem(row)->data(0, Qt::UserRole).toLongLong(), ids.at(row));
        if (ids.contains(4))
            QCOMPARE(panel.list()->topLevelItem(1)->text(3), QStringLiteral("short; clipped"));
        // The tree marks the same rows.
        tree()->goToId(4, true, true);
        for (int row = 0; row < tree()->topLevelItemCount(); ++row) {
            const QTreeWidgetItem *item = tree()->topLevelItem(row);
            const qint64 id = SqlTree::elementAt(tree()->model()->index(row, 0)).id;
            QCOMPARE(!item->icon(0).isNull(), ids.contains(id));
        }
        panel.load(nullptr);
        QCOMPARE(panel.summary(), QString());
    }

    void damagedFileInTheWindow()
    {
        const QString path = m_dir.filePath(QStringLiteral("tiny-cut.mp4"));
        QFile::remove(path);
        QVERIFY(QFile::copy(QStringLiteral(KESTRUNE_FIXTURES "/iso/tiny.mp4"), path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() * 2 / 3));
        file.close();

        MainWindow window;
        window.setMediaInfoProgram(QStringLiteral("/bin/true"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.problemsPanel()->isHidden());
        window.openFile(path);
        ProblemsPanel *panel = window.problemsPanel();
        QTreeWidget *list = panel->list();
        QVERIFY(panel->problemCount() > 0);
        QCOMPARE(list->topLevelItemCount(), panel->problemCount());
        QCOMPARE(window.problemsLabel()->text(), panel->summary());

        // The panel's rows are exactly the elements the tree reads a note or leftover bytes on.
        ViewerDatabase *database = window.treeView()->viewerDatabase();
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const ViewerDatabase::Element element =
                database->element(list->topLevelItem(row)->data(0, Qt::UserRole).toLongLong());
            QVERIFY(element.has_note || element.name == SqlTree::garbageMarker());
        }

        QTreeWidgetItem *last = list->topLevelItem(list->topLevelItemCount() - 1);
        emit list->itemClicked(last, 0);
        QCOMPARE(window.treeView()->sqlTree()->current_id, last->data(0, Qt::UserRole).toLongLong());

        window.closeFile();
        QCOMPARE(window.problemsLabel()->text(), QString());
        QCOMPARE(list->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(TestFind)
#include "test_find.moc"
