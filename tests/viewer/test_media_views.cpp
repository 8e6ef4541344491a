#include "app_settings.h"
#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "element_database_fixture.h"
#include "frames_model.h"
#include "frames_panel.h"
#include "main_window.h"
#include "navigation_history.h"
#include "own_settings.h"
#include "parser.h"
#include "plugins.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "streams_panel.h"
#include "viewer_database.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

struct ProbeFrame
{
    qint64 offset;
    qint64 size;
};

// What ffprobe listed for a fixture: the kind of every stream and its packets in order.
struct Probe
{
    QStringList kinds;
    QList<QList<ProbeFrame>> frames;
};

QList<QStringList> csvLines(const QString &path, bool header)
{
    QFile file(path);
    QList<QStringList> lines;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    if (header)
        file.readLine();
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.isEmpty())
            lines << line.split(QLatin1Char(','));
    }
    return lines;
}

// The fixture scripts of the ISO and AVI files write <file>.streams.csv and <file>.frames.csv
// with headers (stream,pos,size,...); the Matroska script writes expected/<file>.streams.csv
// and .packets.csv without (stream,pts,duration,size,pos,flags).
Probe readProbe(const QString &file)
{
    const bool matroska = file.endsWith(QLatin1String(".mkv"));
    const QString base = QStringLiteral(KESTRUNE_FIXTURES "/") + file;
    const QString stem = matroska ? base.section(QLatin1Char('/'), 0, -2) + QStringLiteral("/expected/")
            + base.section(QLatin1Char('/'), -1)
                                  : base;
    Probe probe;
    for (const QStringList &stream : csvLines(stem + QStringLiteral(".streams.csv"), !matroska))
        probe.kinds << stream.value(1);
    probe.frames.resize(probe.kinds.size());
    const int posColumn = matroska ? 4 : 1;
    const int sizeColumn = matroska ? 3 : 2;
    const QString frames = stem + (matroska ? QStringLiteral(".packets.csv") : QStringLiteral(".frames.csv"));
    for (const QStringList &frame : csvLines(frames, !matroska)) {
        const int stream = frame.value(0).toInt();
        if (stream >= 0 && stream < probe.frames.size())
            probe.frames[stream] << ProbeFrame{frame.value(posColumn).toLongLong(),
                                               frame.value(sizeColumn).toLongLong()};
    }
    return probe;
}

// Stream 0: frames 0 .. count - 1; stream 1: every third number, each twice; interleaved.
QSqlDatabase *framesDatabase(const QString &name, int count)
{
    QSqlDatabase *db = ElementDatabaseFixture::create(name, ElementDatabaseFixture::outline(QStringLiteral("root")));
    if (!db)
        return nullptr;
    QSqlQuery query(*db);
    query.prepare(QStringLiteral("INSERT INTO frames VALUES (?, ?, ?, 10, ?, ?, 1, ?)"));
    for (int i = 0; i < count; ++i) {
        query.addBindValue(0);
        query.addBindValue(i);
        query.addBindValue(qint64(i) * 100);
        query.addBindValue(i);
        query.addBindValue(i);
        query.addBindValue(i % 50 == 0);
        query.exec();
        for (int copy = 0; copy < 2 && i % 3 == 0; ++copy) {
            query.addBindValue(1);
            query.addBindValue(i);
            query.addBindValue(qint64(i) * 100 + 50 + copy);
            query.addBindValue(i);
            query.addBindValue(i + 1);
            query.addBindValue(0);
            query.exec();
        }
    }
    return db;
}

} // namespace

class TestMediaViews : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    SqlTree *tree() const { return window->treeView()->sqlTree(); }
    ViewerDatabase *db() const { return window->treeView()->viewerDatabase(); }
    BinViewArea *hex() const { return window->hexView()->binViewArea(); }
    FramesPanel *frames() const { return window->framesPanel(); }

    bool open(const QString &file)
    {
        const QString path = QStringLiteral(KESTRUNE_FIXTURES "/") + file;
        window = std::make_unique<MainWindow>();
        window->resize(1300, 900);
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

    // The first element of that name whose bytes hold a frame.
    qint64 elementWithFrame(const QString &name)
    {
        QSqlQuery query(*db()->database());
        query.prepare(QStringLiteral("SELECT elements.id FROM elements JOIN dictionary ON elements.name_id = dictionary.id"
                                     " WHERE dictionary.name = ? AND EXISTS (SELECT 1 FROM frames"
                                     "  WHERE frames.offset * 8 >= elements.offset"
                                     "  AND (frames.offset + frames.size) * 8 <= elements.offset + elements.size)"
                                     " ORDER BY elements.id LIMIT 1"));
        query.addBindValue(name);
        return query.exec() && query.next() ? query.value(0).toLongLong() : -1;
    }

    void clickStream(int row)
    {
        QTreeWidget *list = window->streamsPanel()->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualItemRect(list->topLevelItem(row)).center());
    }

    QMenu *rowMenuOn(qint64 id)
    {
        window->navigateTo(id);
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(10, 10), tree()->mapToGlobal(QPoint(10, 10)));
        QCoreApplication::sendEvent(tree(), &event);
        QMenu *menu = tree()->rowMenu();
        if (menu)
            menu->hide();
        return menu;
    }

    static QAction *showFrameAction(QMenu *menu)
    {
        for (QAction *action : menu->actions()) {
            if (action->text() == SqlTree::tr("Show in frames view"))
                return action;
        }
        return nullptr;
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

    void durationText_data()
    {
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<qint64>("timescale");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << qint64(1000) << "0:00:00.000";
        QTest::newRow("hours") << qint64(3723004) << qint64(1000) << "1:02:03.004";
        QTest::newRow("rounded up to a second") << qint64(44099) << qint64(44100) << "0:00:01.000";
        QTest::newRow("negative") << qint64(-1500) << qint64(1000) << "-0:00:01.500";
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << qint64(1) << "2562047788015215:30:07.000";
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << qint64(1) << "-2562047788015215:30:08.000";
        QTest::newRow("no timescale") << qint64(10) << qint64(0) << "";
    }

    void durationText()
    {
        QFETCH(qint64, ticks);
        QFETCH(qint64, timescale);
        QFETCH(QString, text);
        QCOMPARE(StreamsPanel::durationText(ticks, timescale), text);
    }

    // The picture size or the channels and sample rate of every stream, as
    // ffprobe -show_entries stream=width,height,channels,sample_rate gives them.
    void streamFormatsMatchProbe_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("formats");
        QTest::newRow("mp4 mp4a") << "iso/h264_aac.mp4" << QStringList({"96 x 64", "1 ch, 22050 Hz"});
        QTest::newRow("mp4 ac-3") << "iso/ac3_faststart.mp4" << QStringList({"64 x 48", "1 ch, 48000 Hz"});
        QTest::newRow("mp4 Opus") << "iso/hevc_opus.mp4" << QStringList({"64 x 48", "1 ch, 48000 Hz"});
        QTest::newRow("mkv vorbis") << "mkv/h264_vorbis.mkv" << QStringList({"96 x 64", "1 ch, 8000 Hz"});
        QTest::newRow("mkv without Audio elements") << "mkv/h264_vorbis_laced.mkv" << QStringList({"96 x 64", "1 ch, 8000 Hz"});
        QTest::newRow("mkv flac") << "mkv/codec_flac.mkv" << QStringList({"2 ch, 32000 Hz"});
        QTest::newRow("mkv opus") << "mkv/codec_opus.mkv" << QStringList({"2 ch, 48000 Hz"});
        QTest::newRow("avi pcm") << "avi/mjpeg_pcm.avi" << QStringList({"64 x 48", "1 ch, 8000 Hz"});
        QTest::newRow("avi two audio") << "avi/two_audio.avi"
                                       << QStringList({"64 x 48", "1 ch, 8000 Hz", "1 ch, 16000 Hz"});
    }

    void streamFormatsMatchProbe()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, formats);
        QVERIFY(open(file));
        window->streamsPanel()->load(db());
        QTreeWidget *list = window->streamsPanel()->list();
        QStringList shown;
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            shown << list->topLevelItem(row)->text(StreamsPanel::FormatColumn);
        QCOMPARE(shown, formats);
    }

    // A database written before the sound columns existed still lists its streams.
    void streamsWithoutSoundColumns()
    {
        ViewerDatabase database;
        QVERIFY(database.setDatabase(framesDatabase(ViewerDatabase::connectionName(), 3)) == 0);
        QSqlQuery query(*database.database());
        QVERIFY(query.exec(QStringLiteral("DROP TABLE streams")));
        QVERIFY(query.exec(QStringLiteral(
            "CREATE TABLE streams (id INTEGER PRIMARY KEY AUTOINCREMENT, width INTEGER, height INTEGER,"
            " codec_id INTEGER, format INTEGER, frame_rate REAL, config_offset INTEGER,"
            " config_size INTEGER, kind TEXT NOT NULL, codec TEXT, timescale INTEGER NOT NULL)")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO streams VALUES (0, 0, 0, 0, 0, 0, 0, 0, 'audio', 'mp4a', 8000)")));
        const QList<ViewerDatabase::Stream> streams = database.streams();
        QCOMPARE(streams.size(), 1);
        QCOMPARE(streams.at(0).codec, QStringLiteral("mp4a"));
        QCOMPARE(streams.at(0).frame_count, qint64(3));
        QCOMPARE(streams.at(0).channels, 0);
        QCOMPARE(streams.at(0).sample_rate, 0.0);
    }

    // Every stream as ffprobe lists it, and every frame of it in the frames view.
    void streamsAndFramesMatchProbe_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("codecs"); // empty: the fixture's list has no comparable codec
        // ffprobe's packet position is the frame's for ISO files, the block's for Matroska.
        QTest::addColumn<bool>("offsets");
        // Per stream: whether the frames view shows the second time (decoding order in ISO).
        QTest::addColumn<QList<bool>>("time2");
        QTest::newRow("mp4") << "iso/h264_aac.mp4" << QStringList({"avc1", "mp4a"}) << true << QList<bool>{true, false};
        QTest::newRow("avi") << "avi/mpeg4_mp3.avi" << QStringList() << true << QList<bool>{false, false};
        QTest::newRow("mkv") << "mkv/h264_vorbis.mkv" << QStringList() << false << QList<bool>{false, false};
    }

    void streamsAndFramesMatchProbe()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, codecs);
        QFETCH(bool, offsets);
        QFETCH(QList<bool>, time2);
        const Probe probe = readProbe(file);
        QVERIFY(!probe.kinds.isEmpty());
        QVERIFY(open(file));
        QTest::keyClick(window.get(), Qt::Key_F9);
        StreamsPanel *streams = window->streamsPanel();
        QVERIFY(streams->isVisible());
        QTreeWidget *list = streams->list();
        QCOMPARE(list->topLevelItemCount(), probe.kinds.size());
        for (int s = 0; s < probe.kinds.size(); ++s) {
            QTreeWidgetItem *row = list->topLevelItem(s);
            QCOMPARE(row->text(StreamsPanel::KindColumn), probe.kinds.at(s));
            if (!codecs.isEmpty())
                QCOMPARE(row->text(StreamsPanel::CodecColumn), codecs.at(s));
            QCOMPARE(row->text(StreamsPanel::FramesColumn).toLongLong(), probe.frames.at(s).size());
            qint64 bytes = 0;
            for (const ProbeFrame &frame : probe.frames.at(s))
                bytes += frame.size;
            QCOMPARE(row->text(StreamsPanel::BytesColumn).toLongLong(), bytes);
            QVERIFY(!row->text(StreamsPanel::DurationColumn).isEmpty());

            clickStream(s);
            QVERIFY(frames()->isVisible());
            QCOMPARE(frames()->stream(), qint64(s));
            QCOMPARE(frames()->table()->isColumnHidden(FramesModel::Time2Column), !time2.at(s));
            const FramesModel *model = frames()->model();
            QCOMPARE(model->rowCount(), probe.frames.at(s).size());
            for (int r = 0; r < model->rowCount(); ++r) {
                const ViewerDatabase::Frame frame = model->frameAt(r);
                QCOMPARE(frame.number, qint64(r));
                if (offsets)
                    QCOMPARE(frame.offset, probe.frames.at(s).at(r).offset);
                QCOMPARE(frame.size, probe.frames.at(s).at(r).size);
            }
        }
    }

    // Rows come a window at a time, in number order, also where numbers repeat or skip.
    void lazyRows_data()
    {
        QTest::addColumn<qint64>("stream");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("contiguous");
        QTest::newRow("numbered 0, 1, 2 ...") << qint64(0) << 3000 << true;
        QTest::newRow("numbers repeated and skipped") << qint64(1) << 2000 << false;
        QTest::newRow("no such stream") << qint64(7) << 0 << true;
    }

    void lazyRows()
    {
        QFETCH(qint64, stream);
        QFETCH(int, rows);
        QFETCH(bool, contiguous);
        ViewerDatabase database;
        QVERIFY(database.setDatabase(framesDatabase(ViewerDatabase::connectionName(), 3000)) == 0);
        FramesModel model;
        model.setStream(&database, stream);
        QCOMPARE(model.rowCount(), rows);
        QCOMPARE(database.frameNumbering(stream).contiguous, contiguous);
        QCOMPARE(model.windowReads(), qint64(0));
        for (const int row : {rows - 1, 0, rows / 2, rows / 2 + 1, FramesModel::windowRows, rows - 1}) {
            if (row < 0 || row >= rows)
                continue;
            const ViewerDatabase::Frame frame = model.frameAt(row);
            const qint64 number = stream == 0 ? row : row / 2 * 3;
            QCOMPARE(frame.number, number);
            QCOMPARE(frame.offset, number * 100 + (stream == 0 ? 0 : 50 + row % 2));
            QCOMPARE(frame.time2 != frame.time, stream == 1);
            QCOMPARE(model.rowOfFrame(number), stream == 0 ? row : row - row % 2);
        }
        QCOMPARE(model.windowReads(), rows ? qint64(4) : qint64(0));
        QVERIFY(model.cachedFrames() <= 4 * FramesModel::windowRows);
        QCOMPARE(model.frameAt(rows).number, qint64(-1));
        QCOMPARE(model.rowOfFrame(1), stream == 0 ? 1 : -1);
        QCOMPARE(model.index(0, FramesModel::KeyColumn).data().toString().isEmpty(), stream != 0);
    }

    void selectedFrameSelectsElementAndBytes()
    {
        QVERIFY(open(QStringLiteral("mkv/h264_vorbis.mkv")));
        const Probe probe = readProbe(QStringLiteral("mkv/h264_vorbis.mkv"));
        window->streamsPanel()->show();
        clickStream(1);
        QCOMPARE(frames()->stream(), qint64(1));
        const int row = int(probe.frames.at(1).size() / 2);
        // ffprobe gives the block's position; the frame's bytes follow the block header.
        const ViewerDatabase::Frame expected = frames()->model()->frameAt(row);
        QCOMPARE(expected.size, probe.frames.at(1).at(row).size);
        QVERIFY(expected.offset > probe.frames.at(1).at(row).offset);
        QTableView *table = frames()->table();
        table->setFocus();
        table->scrollTo(frames()->model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          table->visualRect(frames()->model()->index(row, 0)).center());
        QCOMPARE(table->currentIndex().row(), row);
        QCOMPARE(hex()->selectionStart(), expected.offset);
        QCOMPARE(hex()->selectionLength(), expected.size);
        const ViewerDatabase::Element element = db()->element(tree()->current_id);
        QCOMPARE(tree()->current_id, db()->deepestAt(expected.offset));
        QVERIFY(element.offset <= expected.offset * 8);
        QVERIFY(element.offset + element.size > expected.offset * 8);
        QVERIFY(window->navigationHistory()->canGoBack());
    }

    void showInFramesView_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("element");
        QTest::addColumn<bool>("offered");
        QTest::newRow("Matroska block") << "mkv/h264_vorbis.mkv" << "SimpleBlock" << true;
        QTest::newRow("AVI chunk") << "avi/mpeg4_mp3.avi" << "01wb" << true;
        QTest::newRow("header") << "mkv/h264_vorbis.mkv" << "EBML" << false;
    }

    void showInFramesView()
    {
        QFETCH(QString, file);
        QFETCH(QString, element);
        QFETCH(bool, offered);
        QVERIFY(open(file));
        const qint64 id = offered ? elementWithFrame(element) : 1;
        QVERIFY(id > 0);
        QMenu *menu = rowMenuOn(id);
        QVERIFY(menu);
        QAction *action = showFrameAction(menu);
        QVERIFY(action);
        QCOMPARE(action->isVisible(), offered);
        if (!offered)
            return;
        const ViewerDatabase::Element block = db()->element(id);
        action->trigger();
        QVERIFY(frames()->isVisible());
        const ViewerDatabase::Frame frame = frames()->model()->frameAt(frames()->table()->currentIndex().row());
        QVERIFY(frame.number >= 0);
        QVERIFY(frame.offset * 8 >= block.offset);
        QVERIFY((frame.offset + frame.size) * 8 <= block.offset + block.size);
        QCOMPARE(hex()->selectionStart(), frame.offset);
        QCOMPARE(hex()->selectionLength(), frame.size);
    }
};

QTEST_MAIN(TestMediaViews)
#include "test_media_views.moc"
