#include "app_settings.h"
#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "go_to_bar.h"
#include "main_window.h"
#include "modal_answerer.h"
#include "own_settings.h"
#include "properties_dialog.h"
#include "shown_window.h"
#include "sql_tree.h"
#include "sql_tree_header.h"
#include "sql_tree_widget.h"
#include "viewer_database.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <functional>
#include <memory>

namespace {

const char mkv[] = KESTRUNE_FIXTURES "/mkv/h264_vorbis.mkv";

BinViewArea &hexArea(MainWindow &window)
{
    return *window.hexView()->binViewArea();
}

SqlTree &tree(MainWindow &window)
{
    return *window.treeView()->sqlTree();
}

// The field of the first group of that name, in id order.
ViewerDatabase::Element findField(MainWindow &window, const QString &group, const QString &field)
{
    ViewerDatabase *database = window.treeView()->viewerDatabase();
    qint64 parent = -1;
    for (qint64 id = 1; id <= database->elementCount(); ++id) {
        const ViewerDatabase::Element element = database->element(id);
        if (parent < 0 && element.name == group)
            parent = id;
        else if (element.parent_id == parent && element.name == field)
            return element;
    }
    return {};
}

QPair<qint64, qint64> selection(MainWindow &window)
{
    return {hexArea(window).selectionStart(), hexArea(window).selectionLength()};
}

// Runs act on the modal dialog that the next step opens, once it is up.
void onModal(QObject *context, std::function<void(QWidget *)> act)
{
    auto *poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, act] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            poll->deleteLater();
            poll->stop();
            act(modal);
        }
    });
    poll->start(5);
}

void pressButton(QWidget *dialog, const QString &text)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == text)
            button->click();
    }
}

} // namespace

class TestViewOptions : public QObject
{
    Q_OBJECT

    std::unique_ptr<ModalAnswerer> m_answerer;
    std::unique_ptr<MainWindow> m_window;

    MainWindow &window()
    {
        if (!m_window)
            m_window = showMainWindow(QStringLiteral("/bin/true"));
        return *m_window;
    }

    MainWindow &reopenWindow()
    {
        m_window->close();
        m_window.reset();
        return window();
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
    }

    void bitsTextInEitherBase_data()
    {
        QTest::addColumn<qint64>("bits");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<QString>("hex");
        QTest::newRow("zero") << qint64(0) << "0" << "0x0";
        QTest::newRow("bits only") << qint64(7) << "0:7" << "0x0:7";
        QTest::newRow("whole bytes") << qint64(0x1A2B * 8) << "6699" << "0x1A2B";
        QTest::newRow("bytes and bits") << qint64(0x1A * 8 + 3) << "26:3" << "0x1A:3";
        QTest::newRow("beyond 32 bits") << (qint64(0x123456789A) << 3) << "78187493530" << "0x123456789A";
    }

    void bitsTextInEitherBase()
    {
        QFETCH(qint64, bits);
        QTEST(SqlTree::bitsText(bits, 10), "decimal");
        QTEST(SqlTree::bitsText(bits, 16), "hex");
        QTEST(SqlTree::bitsText(bits), "decimal");
    }

    void rowTextsInEitherBaseBecomeByteRanges_data()
    {
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("size");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("length");
        QTest::newRow("hex") << "0x64" << "0xC" << qint64(100) << qint64(12);
        QTest::newRow("hex with bits") << "0x1A:3" << "0x2:1" << qint64(26) << qint64(3);
        QTest::newRow("decimal with bits") << "26:3" << "2:1" << qint64(26) << qint64(3);
    }

    // Rows that carry no element are read from their texts, in either base.
    void rowTextsInEitherBaseBecomeByteRanges()
    {
        QFETCH(QString, offset);
        QFETCH(QString, size);
        MainWindow &w = window();
        QStandardItemModel model(1, 4);
        model.setItem(0, 1, new QStandardItem(offset));
        model.setItem(0, 2, new QStandardItem(size));
        emit w.treeView()->clicked(model.index(0, 0), false);
        QTEST(hexArea(w).selectionStart(), "start");
        QTEST(hexArea(w).selectionLength(), "length");
    }

    void numberBase_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QStringList>("segmentRow"); // offset, size
        QTest::newRow("decimal") << false << QStringList{"40", "24133"};
        QTest::newRow("hex") << true << QStringList{"0x28", "0x5E45"};
    }

    void numberBase()
    {
        QFETCH(bool, hex);
        QFETCH(QStringList, segmentRow);
        MainWindow &w = window();
        // Decimal until chosen otherwise.
        QVERIFY(w.decimalOffsetsMenuAction()->isChecked());
        open(QString::fromLatin1(mkv));
        const QTreeWidgetItem *segment = tree(w).topLevelItem(1);
        QCOMPARE(segment->text(0), QStringLiteral("Segment"));
        QCOMPARE(QStringList({segment->text(1), segment->text(2)}), (QStringList{"40", "24133"}));

        (hex ? w.hexOffsetsMenuAction() : w.decimalOffsetsMenuAction())->trigger();
        QCOMPARE(w.hexOffsetsMenuAction()->isChecked(), hex);
        QCOMPARE(w.decimalOffsetsMenuAction()->isChecked(), !hex);
        segment = tree(w).topLevelItem(1);
        QCOMPARE(QStringList({segment->text(1), segment->text(2)}), segmentRow);
        QCOMPARE(w.goToField()->lineEdit()->placeholderText().startsWith("0x"), hex);

        // The click selects the same bytes in either base; what is copied is what is shown.
        const QRect rect = tree(w).visualItemRect(segment);
        QTest::mouseClick(tree(w).viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(selection(w), qMakePair(qint64(40), qint64(24133)));
        QCOMPARE(tree(w).copyText(SqlTree::CopyPart::Offset), segmentRow.at(0));
        QVERIFY(tree(w).copyText(SqlTree::CopyPart::Row).startsWith("Segment\t" + segmentRow.join('\t') + '\t'));
        // The status bar gives both bases whichever the tree shows.
        QVERIFY2(w.elementLabel()->text().endsWith("offset 0x28 (40), size 0x5E45 (24133)"),
                 qPrintable(w.elementLabel()->text()));

        // A hex click selects the deepest element and highlights its bytes, in either base.
        emit hexArea(w).byteClicked(0x30);
        const ViewerDatabase::Element deepest = SqlTree::elementAt(tree(w).currentIndex());
        QVERIFY(deepest.id > 2);
        QVERIFY(deepest.offset <= 0x30 * 8);
        QCOMPARE(selection(w), qMakePair(deepest.offset / 8, (deepest.size + 7) / 8));
        QCOMPARE(tree(w).currentItem()->text(1), SqlTree::bitsText(deepest.offset, hex ? 16 : 10));

        // The next window starts in the chosen base.
        MainWindow &again = reopenWindow();
        QCOMPARE(again.hexOffsetsMenuAction()->isChecked(), hex);
        QCOMPARE(tree(again).numberBase(), hex ? 16 : 10);
        again.goToField()->lineEdit()->clear();
        again.showGoTo();
        QCOMPARE(again.goToField()->lineEdit()->text(), hex ? QStringLiteral("0x") : QString());
    }

    void engineOptions_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("value base") << "value_base=16" << "";
        QTest::newRow("spaces and empty pairs") << " value_base = 16 ;; " << "";
        QTest::newRow("unknown key") << "value_base=16;colour=red" << "unknown option \"colour\"";
        QTest::newRow("bad value") << "value_base=99" << "\"99\" is not a number base from 2 to 36";
        QTest::newRow("no value") << "show_junk" << "is not of the form key=value";
    }

    void engineOptions()
    {
        QFETCH(QString, options);
        QFETCH(QString, error);
        MainWindow &w = window();
        open(QString::fromLatin1(mkv));
        const QString plain = findField(w, "PixelWidth", "value").raw_value;

        bool refusedWhileOpen = false;
        QString message;
        onModal(&w, [&](QWidget *modal) {
            auto *dialog = qobject_cast<PropertiesDialog *>(modal);
            QVERIFY(dialog);
            QVERIFY(dialog->engineOptionsEdit()->toolTip().contains("display_limit"));
            dialog->engineOptionsEdit()->setText(options);
            pressButton(dialog, "Apply");
            refusedWhileOpen = dialog->isVisible();
            message = dialog->engineOptionsMessage()->isVisible() ? dialog->engineOptionsMessage()->text() : QString();
            if (refusedWhileOpen)
                pressButton(dialog, "Cancel");
        });
        w.properties();
        QCOMPARE(refusedWhileOpen, !error.isEmpty());
        QVERIFY2(message.contains(error), qPrintable(message));
        // Nothing of a refused string is stored, and the open file is left as it was.
        QCOMPARE(appSettings().contains("main/engine/options"), error.isEmpty());
        QCOMPARE(findField(w, "PixelWidth", "value").raw_value, plain);

        // The next analysis takes the options.
        open(QString::fromLatin1(mkv));
        QCOMPARE(m_answerer->messages.size(), 0);
        bool ok = false;
        const quint64 width = plain.section(' ', 0, 0).toULongLong(&ok);
        QVERIFY(ok && width > 16);
        QCOMPARE(findField(w, "PixelWidth", "value").raw_value.section(' ', 0, 0),
                 QString::number(width, error.isEmpty() ? 16 : 10));
    }

    // Options the file's format has no use for are only found out at the open.
    void optionsRefusedAtTheOpenAreToldAsSuch()
    {
        appSettings().setValue("main/engine/options", "show_junk=1");
        open(QStringLiteral(KESTRUNE_FIXTURES "/avi/tiny.avi"));
        QCOMPARE(m_answerer->messages.size(), 1);
        QVERIFY2(m_answerer->messages.first().text.contains("engine options in Properties are refused: option show_junk"),
                 qPrintable(m_answerer->messages.first().text));
    }

    void lastColumnStretches()
    {
        appSettings().setValue("main/tree_viewer/columns",
                               QStringList{"name;200;0;0", "offset;80;1;0", "size;80;2;0", "raw_value;150;3;0"});
        MainWindow &w = window();
        open(QString::fromLatin1(mkv));
        SqlTreeHeader *header = w.treeView()->sqlTreeHeader();
        for (const int width : {1400, 900, 1600}) {
            w.resize(width, 600);
            w.viewSplitter()->setSizes({200, width - 200});
            QTRY_COMPARE(header->length(), tree(w).viewport()->width());
            QVERIFY(header->sectionSize(3) > 150);
            QCOMPARE(header->columnsState(),
                     (QStringList{"name;200;0;0", "offset;80;1;0", "size;80;2;0", "raw_value;150;3;0"}));
        }
        // Hidden, the last column leaves the stretch to the one before it, which gets it back.
        header->hideSection(3);
        QTRY_COMPARE(header->length(), tree(w).viewport()->width());
        QVERIFY(header->sectionSize(2) > 80);
        header->showSection(3);
        QTRY_COMPARE(header->sectionSize(2), 80);
        QCOMPARE(header->length(), tree(w).viewport()->width());
    }

    void splitterMovesAndIsKept()
    {
        MainWindow &w = window();
        w.resize(1400, 600);
        QSplitter *splitter = w.viewSplitter();
        const int preferred = w.hexView()->sizeHint().width();
        QTRY_COMPARE(splitter->sizes().value(0), preferred);

        // Dragged by its handle, as the user does.
        QSplitterHandle *handle = splitter->handle(1);
        const QPoint grip = handle->rect().center();
        const auto mouse = [handle](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, handle->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(handle, &event);
        };
        mouse(QEvent::MouseButtonPress, grip, Qt::LeftButton);
        mouse(QEvent::MouseMove, grip + QPoint(150, 0), Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, grip + QPoint(150, 0), Qt::NoButton);
        QCOMPARE(splitter->sizes().value(0), preferred + 150);
        mouse(QEvent::MouseButtonPress, grip + QPoint(150, 0), Qt::LeftButton);
        mouse(QEvent::MouseMove, grip - QPoint(100, 0), Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, grip - QPoint(100, 0), Qt::NoButton);
        QCOMPARE(splitter->sizes().value(0), preferred - 100);

        MainWindow &again = reopenWindow();
        again.resize(1400, 600);
        QTRY_COMPARE(again.viewSplitter()->sizes().value(0), preferred - 100);

        // A change of bytes per line gives the hex view its new preferred width.
        again.resize(2400, 600);
        hexArea(again).setBytesPerLine(32);
        QVERIFY(again.hexView()->sizeHint().width() > preferred);
        QTRY_COMPARE(again.viewSplitter()->sizes().value(0), again.hexView()->sizeHint().width());
    }

    void bytesPerLineKeepsSelectionInView_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("4 to 32") << 4 << 32;
        QTest::newRow("32 to 4") << 32 << 4;
        QTest::newRow("8 to 12") << 8 << 12;
    }

    void bytesPerLineKeepsSelectionInView()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        MainWindow &w = window();
        open(QString::fromLatin1(mkv));
        BinViewArea &area = hexArea(w);
        area.setBytesPerLine(from);
        area.setSelection(12000, 4, true);
        QVERIFY(area.viewLayout().isSelectionShown(area.topLine()));
        area.setBytesPerLine(to);
        QVERIFY(area.viewLayout().isSelectionShown(area.topLine()));

        // With no selection on screen the byte at the top stays at the top.
        area.setSelection(0, 1, false);
        QVERIFY(!area.viewLayout().isSelectionShown(area.topLine()));
        const qint64 top = area.viewLayout().lineOffset(area.topLine());
        area.setBytesPerLine(from);
        QCOMPARE(area.viewLayout().lineOffset(area.topLine()), top / from * from);
    }

    void openDialogShowsWholeColumns()
    {
        MainWindow &w = window();
        m_answerer.reset();
        appSettings().setValue("main/path", QString::fromLatin1(mkv));
        QList<int> widths;
        QList<int> needed;
        onModal(&w, [&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            QVERIFY(dialog);
            QTreeView *details = dialog->findChild<QTreeView *>();
            QVERIFY(details);
            QTRY_VERIFY(details->model()->rowCount(details->rootIndex()) > 1);
            QCoreApplication::processEvents();
            QStyleOptionViewItem option;
            option.initFrom(details);
            option.decorationSize = details->iconSize().isValid() ? details->iconSize() : QSize(16, 16);
            const QAbstractItemModel *model = details->model();
            for (int column = 0; column < details->header()->count(); ++column) {
                widths << details->header()->sectionSize(column);
                int width = details->header()->sectionSizeHint(column);
                for (int row = 0; row < model->rowCount(details->rootIndex()); ++row) {
                    const QModelIndex index = model->index(row, column, details->rootIndex());
                    width = qMax(width, details->itemDelegateForIndex(index)->sizeHint(option, index).width());
                }
                needed << width;
            }
            dialog->reject();
        });
        w.openContainer();
        QVERIFY(!widths.isEmpty());
        for (int column = 0; column < widths.size(); ++column)
            QVERIFY2(widths.at(column) >= needed.at(column), qPrintable(QString::number(column)));
    }
};

QTEST_MAIN(TestViewOptions)
#include "test_view_options.moc"
