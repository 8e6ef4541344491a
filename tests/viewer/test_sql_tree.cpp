#include "element_database_fixture.h"
#include "parser.h"
#include "plugins.h"
#include "sql_tree.h"
#include "sql_tree_header.h"
#include "sql_tree_widget.h"
#include "viewer_database.h"
#include "viewer_settings.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <memory>

using Element = ViewerDatabase::Element;

namespace {

const QString mp4 = QStringLiteral(KESTRUNE_FIXTURES "/iso/h264_aac.mp4");

QList<qint64> shownIds(const SqlTree *tree)
{
    QList<qint64> ids;
    for (int row = 0; row < tree->topLevelItemCount(); ++row)
        ids << SqlTree::elementAt(tree->model()->index(row, 0)).id;
    return ids;
}

int shownRow(const SqlTree *tree, qint64 id)
{
    return int(shownIds(tree).indexOf(id));
}

qint64 currentShownId(const SqlTree *tree)
{
    return tree->currentItem() ? SqlTree::elementAt(tree->currentIndex()).id : -1;
}

// A point in row's offset column, or in its own branch cell.
QPoint rowPoint(const SqlTree *tree, int row, bool branch)
{
    const QModelIndex index = tree->model()->index(row, 0);
    const int y = tree->visualRect(index).center().y();
    if (!branch)
        return QPoint(tree->columnViewportPosition(1) + 4, y);
    const int level = SqlTree::elementAt(index).level;
    return QPoint(tree->columnViewportPosition(0) + tree->indent_step * level + tree->indent_step / 2, y);
}

void mouse(SqlTree *tree, QEvent::Type type, const QPoint &point, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QMouseEvent event(type, point, tree->viewport()->mapToGlobal(point), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &event);
}

// Counts the paint events target receives.
class PaintCounter : public QObject
{
public:
    PaintCounter(QObject *target, int *paints) : paints(paints) { target->installEventFilter(this); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++*paints;
        return false;
    }

private:
    int *paints;
};

} // namespace

class TestSqlTree : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir settingsDir;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<SqlTreeWidget> widget;

    SqlTree *tree() const { return widget->sqlTree(); }
    ViewerDatabase *db() const { return widget->viewerDatabase(); }

    // A shown tree widget with a page of rows rows on connection (owned by the reader from then
    // on), sized through the row height so that the figures do not depend on the font found.
    bool show(QSqlDatabase *connection, int rows)
    {
        if (!widget)
            widget = std::make_unique<SqlTreeWidget>();
        widget->resize(700, 300);
        widget->show();
        if (!QTest::qWaitForWindowExposed(widget.get()))
            return false;
        const int rowHeight = QFontMetrics(tree()->font()).height() + 4;
        widget->resize(700, widget->height() + (rows + 1) * rowHeight + rowHeight / 2 - tree()->viewport()->height());
        QCoreApplication::processEvents();
        if (!connection)
            return false;
        widget->setDatabase(connection);
        return tree()->page_rows == rows;
    }

    bool showFile(const QString &path, int rows)
    {
        Parser parser;
        if (parser.parseFile(path, QStringLiteral(":memory:"), QString()) != 0) {
            qWarning("%s", qPrintable(parser.errorString()));
            return false;
        }
        return show(parser.getConnection(), rows);
    }

    bool showOutline(const std::vector<ElementRecord> &records, int rows)
    {
        return show(ElementDatabaseFixture::create(ViewerDatabase::connectionName(), records), rows);
    }

    // Scrolls so that id is the last shown row.
    void scrollToLast(qint64 id)
    {
        widget->rowScrollBar()->setValue(db()->rowOf(id) - tree()->page_rows);
    }

private slots:
    void initTestCase()
    {
        Plugins::setSearchPaths({QStringLiteral(KESTRUNE_BIN_DIR "/plugins")});
        settings = std::make_unique<QSettings>(settingsDir.filePath(QStringLiteral("viewer.ini")), QSettings::IniFormat);
        ViewerSettings::setStore(settings.get());
    }

    void cleanup()
    {
        widget.reset();
        settings->clear();
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
    }

    void cleanupTestCase()
    {
        ViewerSettings::setStore(nullptr);
    }

    void bitsText_data()
    {
        QTest::addColumn<qint64>("bits");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "0";
        QTest::newRow("one byte") << qint64(8) << "1";
        QTest::newRow("bits only") << qint64(7) << "0:7";
        QTest::newRow("byte and bits") << qint64(13) << "1:5";
        QTest::newRow("two bytes") << qint64(16) << "2";
        QTest::newRow("large") << (qint64(1) << 40) + 3 << "137438953472:3";
    }

    void bitsText()
    {
        QFETCH(qint64, bits);
        QTEST(SqlTree::bitsText(bits), "text");
    }

    void rowContents()
    {
        std::vector<ElementRecord> records = ElementDatabaseFixture::outline(QStringLiteral("box\n  field\n  %1")
                                                                                 .arg(SqlTree::garbageMarker()));
        records[1].offset = 13;
        records[1].size = 16;
        records[1].value = QStringLiteral("0x1f");
        QVERIFY(showOutline(records, 10));
        QTest::keyClick(tree(), Qt::Key_Right);
        QCOMPARE(shownIds(tree()), QList<qint64>({1, 2, 3}));

        const QTreeWidgetItem *field = tree()->topLevelItem(1);
        QCOMPARE(field->text(0), QStringLiteral("field"));
        QCOMPARE(field->text(1), QStringLiteral("1:5"));
        QCOMPARE(field->text(2), QStringLiteral("2"));
        QCOMPARE(field->text(3), QStringLiteral("0x1f"));
        QCOMPARE(field->textAlignment(1), int(Qt::AlignRight | Qt::AlignVCenter));
        QCOMPARE(field->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        QCOMPARE(field->sizeHint(0).height(), tree()->fontMetrics().height() + 4);
        QCOMPARE(SqlTree::elementAt(tree()->model()->index(1, 2)).id, 2);

        const QTreeWidgetItem *garbage = tree()->topLevelItem(2);
        QCOMPARE(garbage->text(0), QStringLiteral("GARBAGE"));
        QVERIFY(garbage->font(0).bold());
        QCOMPARE(garbage->foreground(0).color(), QColor(Qt::darkRed));
        QVERIFY(!tree()->topLevelItem(1)->font(0).bold());
    }

    void resetShowsFirstPage()
    {
        QVERIFY(showFile(mp4, 6));
        QVERIFY(tree()->page_rows > 0);
        QCOMPARE(shownIds(tree()), QList<qint64>({1, 11, 15, 19}));
        QCOMPARE(currentShownId(tree()), 1);
        QVERIFY(!widget->rowScrollBar()->isEnabled());

        // Both forms of the signal reach the main window's side.
        QSignalSpy flagged(widget.get(), SIGNAL(clicked(QModelIndex, bool)));
        QSignalSpy plain(widget.get(), SIGNAL(clicked(QModelIndex)));
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rowPoint(tree(), 1, false));
        QCOMPARE(flagged.size(), 1);
        QCOMPARE(plain.size(), 1);
        QCOMPARE(plain.at(0).at(0).value<QModelIndex>().row(), 1);

        // Opening moov makes the list longer than the page.
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rowPoint(tree(), 3, false));
        QTest::keyClick(tree(), Qt::Key_Right);
        QVERIFY(widget->rowScrollBar()->isEnabled());
        QCOMPARE(widget->rowScrollBar()->maximum(), db()->rowCount() - tree()->page_rows - 1);
        QCOMPARE(tree()->topLevelItemCount(), tree()->page_rows + 1);
    }

    void downOnLastRowScrolls()
    {
        QVERIFY(showFile(mp4, 6));
        tree()->goToId(22); // mvhd: opens moov and mvhd
        widget->rowScrollBar()->setValue(0);
        const int last = tree()->topLevelItemCount() - 1;
        const qint64 lastId = shownIds(tree()).at(last);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rowPoint(tree(), last, false));
        QCOMPARE(tree()->current_id, lastId);

        QSignalSpy clicked(widget.get(), SIGNAL(clicked(QModelIndex, bool)));
        QTest::keyClick(tree(), Qt::Key_Down);
        QCOMPARE(widget->rowScrollBar()->value(), 1);
        const qint64 next = db()->idAt(db()->rowOf(lastId) + 1);
        QCOMPARE(tree()->current_id, next);
        QCOMPARE(currentShownId(tree()), next);
        QCOMPARE(tree()->currentIndex().row(), last);
        QVERIFY(!clicked.isEmpty());
        QCOMPARE(clicked.last().at(0).value<QModelIndex>().row(), last);
        QCOMPARE(clicked.last().at(1).toBool(), true);

        // And Up on the first row scrolls back.
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rowPoint(tree(), 0, false));
        const qint64 first = shownIds(tree()).at(0);
        QTest::keyClick(tree(), Qt::Key_Up);
        QCOMPARE(widget->rowScrollBar()->value(), 0);
        QCOMPARE(tree()->current_id, db()->idAt(db()->rowOf(first) - 1));
        QCOMPARE(tree()->currentIndex().row(), 0);
    }

    void rightOnOpenElementBelowWindow()
    {
        QVERIFY(showFile(mp4, 6));
        tree()->goToId(19);                          // moov open
        const qint64 trak = 38;
        QVERIFY(db()->rowOf(trak) > tree()->page_rows);
        scrollToLast(trak);
        QCOMPARE(shownIds(tree()).constLast(), trak);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rowPoint(tree(), tree()->topLevelItemCount() - 1, false));
        QTest::keyClick(tree(), Qt::Key_Right);       // opens trak, the rows stay
        QVERIFY(db()->isOpen(trak));
        QCOMPARE(shownIds(tree()).constLast(), trak);
        QTest::keyClick(tree(), Qt::Key_Right);       // to its first child, below the window
        QCOMPARE(tree()->current_id, trak + 1);
        QCOMPARE(currentShownId(tree()), -1);

        // The next key only brings the selection to the top.
        QTest::keyClick(tree(), Qt::Key_Down);
        QCOMPARE(widget->rowScrollBar()->value(), db()->rowOf(trak + 1));
        QCOMPARE(shownIds(tree()).constFirst(), trak + 1);
        QCOMPARE(currentShownId(tree()), trak + 1);
        QCOMPARE(tree()->current_id, trak + 1);
    }

    void leftAndRightWithSelectionHidden()
    {
        QVERIFY(showFile(mp4, 24));
        const qint64 trak = 38;
        tree()->goToId(40, true); // a field of the first trak
        widget->rowScrollBar()->setValue(0);
        QCOMPARE(currentShownId(tree()), 40);
        // Closing the trak hides the selection but keeps it; the second trak follows on the page.
        QCOMPARE(db()->closeElement(trak), 0);
        tree()->updateScrollBar();
        tree()->fillRows(tree()->top_id, tree()->page_rows, true);
        QCOMPARE(tree()->current_id, 40);
        QCOMPARE(currentShownId(tree()), -1);
        QVERIFY(shownIds(tree()).constLast() > 40);

        // Left acts on the first shown row (ftyp, closed, top level): nothing to go up to.
        QTest::keyClick(tree(), Qt::Key_Left);
        QCOMPARE(tree()->current_id, 1);
        QCOMPARE(currentShownId(tree()), 1);

        // With the selection hidden again, Right opens the first shown row.
        tree()->current_id = 40;
        tree()->fillRows(tree()->top_id, tree()->page_rows, true);
        QCOMPARE(currentShownId(tree()), -1);
        QTest::keyClick(tree(), Qt::Key_Right);
        QVERIFY(db()->isOpen(1));
        QCOMPARE(tree()->current_id, 1);
    }

    void leftSelectsParentThenCloses()
    {
        QVERIFY(showFile(mp4, 24));
        tree()->goToId(22); // mvhd, moov opened on the way
        QCOMPARE(currentShownId(tree()), 22);
        QTest::keyClick(tree(), Qt::Key_Left); // mvhd is open: close it
        QVERIFY(!db()->isOpen(22));
        QCOMPARE(tree()->current_id, 22);
        QTest::keyClick(tree(), Qt::Key_Left); // closed: up to moov
        QCOMPARE(currentShownId(tree()), 19);
        QTest::keyClick(tree(), Qt::Key_Left); // moov closes
        QVERIFY(!db()->isOpen(19));
        QCOMPARE(shownIds(tree()), QList<qint64>({1, 11, 15, 19}));
        QTest::keyClick(tree(), Qt::Key_Left); // top level: stays
        QCOMPARE(currentShownId(tree()), 19);
    }

    void pageAndEndKeys()
    {
        QVERIFY(showFile(mp4, 6));
        tree()->goToId(500); // deep in the second trak's sample tables
        const int pageRows = tree()->page_rows;
        QScrollBar *bar = widget->rowScrollBar();

        QTest::keyClick(tree(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(shownIds(tree()).constLast(), db()->idAt(db()->rowCount() - 1));
        QCOMPARE(currentShownId(tree()), db()->idAt(db()->rowCount() - 1));

        QTest::keyClick(tree(), Qt::Key_PageUp);
        QCOMPARE(bar->value(), bar->maximum() - pageRows);
        QCOMPARE(tree()->currentIndex().row(), 0);
        QCOMPARE(tree()->current_id, db()->idAt(bar->value()));

        QTest::keyClick(tree(), Qt::Key_PageDown);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(tree()->currentIndex().row(), tree()->topLevelItemCount() - 1);

        QTest::keyClick(tree(), Qt::Key_Home);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(tree()->currentIndex().row(), 0);

        QTest::keyClick(tree(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(tree()->current_id, 1);

        // A key that is not handled leaves everything as it is.
        QTest::keyClick(tree(), Qt::Key_A);
        QCOMPARE(tree()->current_id, 1);
    }

    void mousePresses()
    {
        QVERIFY(showFile(mp4, 14));
        QSignalSpy clicked(tree(), SIGNAL(clicked(QModelIndex, bool)));
        QTest::keyClick(tree(), Qt::Key_Right); // ftyp open: rows size, type, ... follow
        const int leaf = shownRow(tree(), 2);
        QVERIFY(leaf > 0);

        // The branch cell of a leaf: selected, but nothing emitted.
        clicked.clear();
        mouse(tree(), QEvent::MouseButtonPress, rowPoint(tree(), leaf, true));
        QVERIFY(clicked.isEmpty());
        QCOMPARE(tree()->current_id, 2);

        // Anywhere else on the row: clicked with the flag set.
        mouse(tree(), QEvent::MouseButtonPress, rowPoint(tree(), leaf, false));
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked.at(0).at(0).value<QModelIndex>().row(), leaf);
        QVERIFY(clicked.at(0).at(1).toBool());

        // The branch cell of an element with children toggles it; the index reported afterwards
        // belongs to the refilled rows and still reads as the pressed element.
        clicked.clear();
        mouse(tree(), QEvent::MouseButtonPress, rowPoint(tree(), shownRow(tree(), 15), true));
        QVERIFY(db()->isOpen(15));
        QVERIFY(!clicked.isEmpty());
        QCOMPARE(SqlTree::elementAt(clicked.last().at(0).value<QModelIndex>()).id, 15);
        mouse(tree(), QEvent::MouseButtonPress, rowPoint(tree(), shownRow(tree(), 15), true));
        QVERIFY(!db()->isOpen(15));

        // A double click toggles once, in the branch cell as elsewhere.
        mouse(tree(), QEvent::MouseButtonDblClick, rowPoint(tree(), shownRow(tree(), 15), true));
        QVERIFY(db()->isOpen(15));
        mouse(tree(), QEvent::MouseButtonDblClick, rowPoint(tree(), shownRow(tree(), 15), false));
        QVERIFY(!db()->isOpen(15));

        // Below the last row: an invalid index is still reported.
        clicked.clear();
        widget->resize(700, 900);
        QCoreApplication::processEvents();
        tree()->fillRows(1, 2, true);
        clicked.clear();
        mouse(tree(), QEvent::MouseButtonPress, QPoint(10, tree()->viewport()->height() - 3));
        QCOMPARE(clicked.size(), 1);
        QVERIFY(!clicked.at(0).at(0).value<QModelIndex>().isValid());
    }

    void dragScrollsAtTheEdge()
    {
        QVERIFY(showFile(mp4, 6));
        tree()->goToId(22);
        widget->rowScrollBar()->setValue(0);
        mouse(tree(), QEvent::MouseButtonPress, rowPoint(tree(), 1, false));
        const int last = tree()->topLevelItemCount() - 1;
        const qint64 lastId = shownIds(tree()).at(last);
        mouse(tree(), QEvent::MouseMove, rowPoint(tree(), last, false));
        QCOMPARE(widget->rowScrollBar()->value(), 1);
        QCOMPARE(tree()->currentIndex().row(), last);
        QCOMPARE(shownIds(tree()).at(last - 1), lastId);
        // Every further move at the edge scrolls on.
        mouse(tree(), QEvent::MouseMove, rowPoint(tree(), last, false) + QPoint(1, 0));
        QCOMPARE(widget->rowScrollBar()->value(), 2);
    }

    void wheelScrollsWithoutClicks()
    {
        QVERIFY(showFile(mp4, 6));
        tree()->goToId(22);
        widget->rowScrollBar()->setValue(0);
        QSignalSpy clicked(widget.get(), SIGNAL(clicked(QModelIndex, bool)));
        const QPoint at = rowPoint(tree(), 1, false);
        QWheelEvent down(at, tree()->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tree()->viewport(), &down);
        QCOMPARE(widget->rowScrollBar()->value(), 3);
        QCOMPARE(shownIds(tree()).constFirst(), db()->idAt(3));
        QWheelEvent sideways(at, tree()->viewport()->mapToGlobal(at), QPoint(), QPoint(120, 0), Qt::NoButton,
                             Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tree()->viewport(), &sideways);
        QCOMPARE(widget->rowScrollBar()->value(), 3);
        QWheelEvent up(at, tree()->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tree()->viewport(), &up);
        QCOMPARE(widget->rowScrollBar()->value(), 0);
        QVERIFY(clicked.isEmpty());
    }

    void refillPaintsOnceBeforeClicked()
    {
        QVERIFY(showFile(mp4, 40));
        for (qint64 id = 1; id <= db()->elementCount(); ++id)
            db()->openElement(id);
        tree()->goToId(1, false);
        QCoreApplication::processEvents();
        int paints = 0;
        PaintCounter counter(tree()->viewport(), &paints);
        // The selection's signal comes once the rows are painted, with the window already moved.
        QList<std::pair<int, qint64>> seen;
        connect(widget.get(), &SqlTreeWidget::clicked, this,
                [&](const QModelIndex &, bool) { seen.append({paints, tree()->top_id}); });
        tree()->current_id = db()->idAt(10);
        // Row 10 stays on the page for the first steps and has left it from step 11 on.
        for (int step = 1; step <= 14; ++step) {
            widget->rowScrollBar()->setValue(step * step);
            QCOMPARE(paints, step);
            // Nothing is left for the event loop to paint again.
            QCoreApplication::processEvents();
            QCOMPARE(paints, step);
        }
        QCOMPARE(seen, (QList<std::pair<int, qint64>>{{1, db()->idAt(1)}, {2, db()->idAt(4)}, {3, db()->idAt(9)}}));
    }

    void goToFromLineEdit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cleaned");
        QTest::addColumn<qint64>("id");
        QTest::newRow("letters among digits") << "12ab3" << "123" << qint64(123);
        QTest::newRow("past the last element") << "99999" << "99999" << qint64(-1);
        QTest::newRow("more digits than an id holds") << "123456789012345678901234" << "123456789012345678901234"
                                                      << qint64(-1);
        QTest::newRow("no digits") << "moov" << "" << qint64(0);
    }

    void goToFromLineEdit()
    {
        QFETCH(QString, text);
        QFETCH(qint64, id);
        QVERIFY(showFile(mp4, 14));
        if (id < 0)
            id = db()->elementCount();
        QLineEdit edit;
        connect(&edit, SIGNAL(returnPressed()), tree(), SLOT(goToId()));
        edit.setText(text);
        emit edit.returnPressed();
        QTEST(edit.text(), "cleaned");
        QCOMPARE(tree()->current_id, id);
        if (id == 0) {
            QCOMPARE(currentShownId(tree()), -1);
            return;
        }
        QCOMPARE(currentShownId(tree()), id);
        for (qint64 up = db()->parentId(id); up > 0; up = db()->parentId(up))
            QVERIFY(db()->isOpen(up));
        QVERIFY(db()->rowOf(id) >= 0);
    }

    void fontChangeRefillsRows()
    {
        QVERIFY(showFile(mp4, 14));
        tree()->goToId(300);
        const int before = tree()->page_rows;
        widget->setFontSize(20);
        const int rowHeight = QFontMetrics(tree()->font()).height() + 4;
        QCOMPARE(tree()->page_rows, tree()->viewport()->height() / rowHeight - 1);
        QVERIFY(tree()->page_rows < before);
        QCOMPARE(tree()->topLevelItemCount(), tree()->page_rows + 1);
        QCOMPARE(tree()->topLevelItem(0)->sizeHint(0).height(), rowHeight);
        QCOMPARE(currentShownId(tree()), 300);
    }

    void onlyHeightChangesRefill()
    {
        QVERIFY(showFile(mp4, 14));
        const int pageRows = tree()->page_rows;
        QSignalSpy clicked(tree(), SIGNAL(clicked(QModelIndex, bool)));
        widget->resize(760, widget->height());
        QCoreApplication::processEvents();
        QVERIFY(clicked.isEmpty());
        widget->resize(760, widget->height() - 3 * (QFontMetrics(tree()->font()).height() + 4));
        QCoreApplication::processEvents();
        QVERIFY(!clicked.isEmpty());
        QCOMPARE(tree()->page_rows, pageRows - 3);
    }

    void closingDetaches()
    {
        QVERIFY(showFile(mp4, 10));
        widget->closeDatabase();
        QVERIFY(!QSqlDatabase::contains(ViewerDatabase::connectionName()));
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QVERIFY(!widget->rowScrollBar()->isEnabled());
        QSignalSpy clicked(tree(), SIGNAL(clicked(QModelIndex, bool)));
        QTest::keyClick(tree(), Qt::Key_Down);
        QTest::keyClick(tree(), Qt::Key_End, Qt::ControlModifier);
        QVERIFY(clicked.isEmpty());
        mouse(tree(), QEvent::MouseButtonPress, QPoint(20, 20));
        QCOMPARE(clicked.size(), 1);
    }

    void toolTips()
    {
        std::vector<ElementRecord> records = ElementDatabaseFixture::outline(QStringLiteral("plain\nduration\nnoted"));
        records[1].value = QStringLiteral("2000");
        records[1].readable = QStringLiteral("2 s");
        QSqlDatabase *connection = ElementDatabaseFixture::create(ViewerDatabase::connectionName(), records);
        QVERIFY(connection);
        QSqlQuery query(*connection);
        QVERIFY(query.exec(QStringLiteral("INSERT INTO descriptions VALUES (3, 'what <it> is')")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO notes VALUES (3, 'first note')")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO notes VALUES (3, 'second note')")));
        QVERIFY(show(connection, 10));

        const auto tipAt = [this](int row) {
            QToolTip::hideText();
            const QPoint at = rowPoint(tree(), row, false);
            QHelpEvent event(QEvent::ToolTip, at, tree()->viewport()->mapToGlobal(at));
            QApplication::sendEvent(tree()->viewport(), &event);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QVERIFY(tipAt(0).isEmpty());
        QVERIFY(tipAt(1).contains(QStringLiteral("2 s")));
        const QString noted = tipAt(2);
        QVERIFY(noted.contains(QStringLiteral("what &lt;it&gt; is")));
        QVERIFY(noted.indexOf(QStringLiteral("first note")) < noted.indexOf(QStringLiteral("second note")));
        QToolTip::hideText();
    }

    void headerMoveSnapsBack_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("order");
        QTest::newRow("name column dragged") << 0 << 2 << "0,1,2,3";
        QTest::newRow("dropped before the name column") << 3 << 0 << "0,1,2,3";
        QTest::newRow("between the others") << 3 << 1 << "0,3,1,2";
    }

    void headerMoveSnapsBack()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QVERIFY(showFile(mp4, 10));
        SqlTreeHeader *header = widget->sqlTreeHeader();
        QSignalSpy moved(header, SIGNAL(sectionMoved(int, int, int)));
        header->moveSection(from, to);
        QCOMPARE(moved.size(), 1);
        QStringList order;
        for (int visual = 0; visual < header->count(); ++visual)
            order << QString::number(header->logicalIndex(visual));
        QTEST(order.join(QLatin1Char(',')), "order");
    }

    void headerMenuHidesAndRemembers()
    {
        QVERIFY(showFile(mp4, 10));
        SqlTreeHeader *header = widget->sqlTreeHeader();
        header->resizeSection(2, 77);

        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), header->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(header->viewport(), &event);
        QMenu *menu = header->findChild<QMenu *>();
        QVERIFY(menu);
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 4);
        QVERIFY(!actions.at(0)->isEnabled());
        QVERIFY(actions.at(2)->isEnabled() && actions.at(2)->isChecked());
        QCOMPARE(actions.at(2)->text(), QStringLiteral("size"));

        actions.at(2)->trigger(); // unchecks: hide the size column
        QVERIFY(header->isSectionHidden(2));
        QVERIFY(header->columnsState().contains(QStringLiteral("size;77;2;1")));
        menu->close();

        widget->saveSettings();
        QCOMPARE(settings->value(QStringLiteral("main/tree_viewer/columns")).toStringList(), header->columnsState());

        // Another widget reads the layout back before it is first shown, as the main window
        // does: hidden with its width remembered, and the default widths leave it alone.
        widget.reset();
        widget = std::make_unique<SqlTreeWidget>();
        widget->loadSettings();
        QVERIFY(showFile(mp4, 10));
        header = widget->sqlTreeHeader();
        QVERIFY(header->isSectionHidden(2));
        QVERIFY(header->columnsState().contains(QStringLiteral("size;77;2;1")));

        QContextMenuEvent again(QContextMenuEvent::Mouse, QPoint(5, 5), header->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(header->viewport(), &again);
        menu = header->findChild<QMenu *>();
        QVERIFY(menu);
        menu->actions().at(2)->trigger(); // checks: show it again
        QVERIFY(!header->isSectionHidden(2));
        QCOMPARE(header->sectionSize(2), 77);
        QVERIFY(header->columnsState().contains(QStringLiteral("size;77;2;0")));
        menu->close();
    }

    void hiddenColumnKeepsRestoredWidths()
    {
        const QStringList stored = {"name;333;0;0", "offset;91;1;0", "size;77;2;1", "raw_value;150;3;0"};
        settings->setValue(QStringLiteral("main/tree_viewer/columns"), stored);
        widget = std::make_unique<SqlTreeWidget>();
        widget->loadSettings();
        QVERIFY(showFile(mp4, 10));
        QCOMPARE(widget->sqlTreeHeader()->columnsState(), stored);
    }

    void restoreColumns_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("state");
        const QStringList defaults = {"name;300;0;0", "offset;80;1;0", "size;80;2;0", "raw_value;200;3;0"};
        QTest::newRow("round trip") << QStringList{"name;310;0;0", "offset;90;3;0", "size;70;1;1", "raw_value;150;2;0"}
                                    << QStringList{"name;310;0;0", "offset;90;3;0", "size;70;1;1", "raw_value;150;2;0"};
        QTest::newRow("malformed entries ignored")
            << QStringList{"offset;90;1", "size;70;2;0;9", "", "unknown;5;1;0", "raw_value;abc;3;x"}
            << QStringList{"name;300;0;0", "offset;80;1;0", "size;80;2;0", "raw_value;0;3;0"};
        QTest::newRow("later entry wins") << QStringList{"size;50;2;0", "size;60;2;0"}
                                          << QStringList{"name;300;0;0", "offset;80;1;0", "size;60;2;0", "raw_value;200;3;0"};
        QTest::newRow("name column stays first and shown")
            << QStringList{"name;310;2;1"}
            << QStringList{"name;310;0;0", "offset;80;1;0", "size;80;2;0", "raw_value;200;3;0"};
        QTest::newRow("visual index out of range") << QStringList{"raw_value;120;9;0"}
                                                   << QStringList{"name;300;0;0", "offset;80;1;0", "size;80;2;0", "raw_value;120;3;0"};
        QTest::newRow("nothing usable") << QStringList{"garbage"} << defaults;
    }

    void restoreColumns()
    {
        QFETCH(QStringList, stored);
        QTreeWidget tree;
        auto *header = new SqlTreeHeader(&tree);
        tree.setHeader(header);
        const int widths[] = {300, 80, 80, 200};
        for (int i = 0; i < 4; ++i)
            header->resizeSection(i, widths[i]);
        header->restoreColumns(stored);
        QTEST(header->columnsState(), "state");
    }

    void defaultColumnSizes_data()
    {
        QTest::addColumn<int>("chars");
        QTest::addColumn<QList<int>>("expected"); // name, offset, size, raw_value in characters
        QTest::newRow("wide") << 100 << QList<int>{50, 10, 10, 30};
        QTest::newRow("name narrower than raw value") << 50 << QList<int>{20, 10, 10, 10};
        QTest::newRow("still too narrow") << 35 << QList<int>{10, -1, -1, -1};
    }

    void defaultColumnSizes()
    {
        QFETCH(int, chars);
        QFETCH(QList<int>, expected);
        QTreeWidget tree;
        auto *header = new SqlTreeHeader(&tree);
        tree.setHeader(header);
        QFont font(QStringLiteral("Monospace"));
        font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
        font.setPointSize(10);
        const int c = QFontMetrics(font).horizontalAdvance(QLatin1Char('0'));
        header->resize(chars * c, 20);
        header->setDefaultColumnSizes();
        for (int i = 0; i < 4; ++i) {
            const int width = expected.at(i) < 0 ? (chars * c - 10 * c) / 3 : expected.at(i) * c;
            QCOMPARE(header->sectionSize(i), width);
        }
    }

    void firstShowSetsDefaults()
    {
        QVERIFY(showFile(mp4, 10));
        SqlTreeHeader *header = widget->sqlTreeHeader();
        for (int i = 0; i < header->count(); ++i)
            QVERIFY(header->sectionSize(i) > 0);
    }

    void fontSizeSettings()
    {
        settings->setValue(QStringLiteral("main/tree_viewer/font_size"), 14.5);
        QVERIFY(showFile(mp4, 10));
        widget->loadSettings();
        QCOMPARE(tree()->font().pointSizeF(), 14.5);
        widget->setFontSize(11);
        widget->saveSettings();
        QCOMPARE(settings->value(QStringLiteral("main/tree_viewer/font_size")).toDouble(), 11.0);
        settings->setValue(QStringLiteral("main/tree_viewer/font_size"), QStringLiteral("big"));
        widget->loadSettings();
        QCOMPARE(tree()->font().pointSizeF(), 11.0);
    }
};

QTEST_MAIN(TestSqlTree)
#include "test_sql_tree.moc"
