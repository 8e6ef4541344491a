#include "parser.h"
#include "plugins.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char valueOfFirst[] = "SELECT v.raw_value FROM elements v JOIN elements p ON v.parent_id = p.id"
                            " JOIN dictionary pn ON p.name_id = pn.id JOIN dictionary vn ON v.name_id = vn.id"
                            " WHERE pn.name = ? AND vn.name = ? ORDER BY v.id LIMIT 1";

struct Parsed
{
    int result = -1;
    QString error;
    QString value; ///< the value of the first field asked for
};

Parsed parse(const QString &file, const QString &option, const QString &group, const QString &field)
{
    Parser parser;
    Parsed parsed;
    parsed.result = parser.parseFile(file, QStringLiteral(":memory:"), option);
    parsed.error = parser.errorString();
    if (QSqlDatabase *db = parser.getConnection()) {
        {
            QSqlQuery query(*db);
            query.prepare(QLatin1String(valueOfFirst));
            query.addBindValue(group);
            query.addBindValue(field);
            if (query.exec() && query.next())
                parsed.value = query.value(0).toString();
        }
        const QString name = db->connectionName();
        db->close();
        delete db;
        QSqlDatabase::removeDatabase(name);
    }
    return parsed;
}

QString fixture(const char *name)
{
    return QStringLiteral(KESTRUNE_FIXTURES) + QLatin1String(name);
}

} // namespace

// Every option of the engine's option string changes what the plug-in it is given to shows, or
// that plug-in refuses it.
class TestEngineOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Plugins::setSearchPaths({QStringLiteral(KESTRUNE_BIN_DIR "/plugins")});
        // A box of filler with content: ftyp, then free holding "junk".
        QFile file(m_dir.filePath(QStringLiteral("free.mp4")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("00000010667479706973366d00000000") + QByteArray::fromHex("0000000c66726565")
                   + "junk");
    }

    // The option's value, against the same field parsed without it, converted by hand.
    void optionsChangeTheValues_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("base"); ///< the default value's radix when shown with the option
        const QString mkv = fixture("/mkv/h264_vorbis.mkv");
        const QString avi = fixture("/avi/two_audio.avi");
        const QString mp4 = fixture("/iso/tiny.mp4");
        QTest::newRow("mkv value_base") << mkv << "value_base=16" << "PixelWidth" << "value" << 16;
        QTest::newRow("mkv number_base") << mkv << "number_base=8" << "SeekPosition" << "value" << 8;
        QTest::newRow("avi number_base") << avi << "number_base=16" << "LIST(hdrl)" << "size" << 16;
        QTest::newRow("avi value_base") << avi << "value_base=2" << "avih" << "dwWidth" << 2;
        QTest::newRow("mp4 number_base") << mp4 << "number_base=16" << "moov" << "size" << 16;
        QTest::newRow("mp4 value_base") << mp4 << "value_base=16" << "mvhd" << "timescale" << 16;
    }
    void optionsChangeTheValues()
    {
        QFETCH(QString, file);
        QFETCH(QString, option);
        QFETCH(QString, group);
        QFETCH(QString, field);
        QFETCH(int, base);
        const Parsed plain = parse(file, QString(), group, field);
        const Parsed changed = parse(file, option, group, field);
        QCOMPARE(changed.result, int(Parser::Parsed));
        bool ok = false;
        const quint64 value = plain.value.section(QLatin1Char(' '), 0, 0).toULongLong(&ok);
        QVERIFY2(ok && value >= quint64(base), qPrintable(plain.value));
        QCOMPARE(changed.value.section(QLatin1Char(' '), 0, 0), QString::number(value, base));
    }

    void showJunkRendersFiller()
    {
        const QString file = m_dir.filePath(QStringLiteral("free.mp4"));
        QCOMPARE(parse(file, QString(), QStringLiteral("free"), QStringLiteral("data")).value, QString());
        QCOMPARE(parse(file, QStringLiteral("show_junk=1"), QStringLiteral("free"), QStringLiteral("data")).value,
                 QStringLiteral("junk"));
    }

    void optionsAPluginHasNoUseForAreRefused_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("message");
        QTest::newRow("show_junk") << "show_junk=1" << "option show_junk has no effect on AVI files";
        QTest::newRow("show_unknown") << "show_unknown=0" << "option show_unknown has no effect on AVI files";
        QTest::newRow("display_limit past 1 MiB")
            << "display_limit=1048577" << "option display_limit: \"1048577\" is not a byte count from 0 to 1048576";
    }
    void optionsAPluginHasNoUseForAreRefused()
    {
        QFETCH(QString, option);
        QFETCH(QString, message);
        const Parsed parsed = parse(fixture("/avi/two_audio.avi"), option, QString(), QString());
        QCOMPARE(parsed.result, int(Parser::BadOption));
        QCOMPARE(parsed.error, message);
    }

    // Every position field of these kinds is a link, to the byte its value gives.
    void positionsAreLinks_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("absolute"); ///< the value is the target itself
        QTest::newRow("mp4 chunk_offset") << fixture("/iso/tiny.mp4") << "chunk_offset" << true;
        QTest::newRow("mkv SeekPosition") << fixture("/mkv/h264_vorbis.mkv") << "SeekPosition" << false;
        QTest::newRow("avi idx1 Offset") << fixture("/avi/two_audio.avi") << "Offset" << false;
    }
    void positionsAreLinks()
    {
        QFETCH(QString, file);
        QFETCH(QString, field);
        QFETCH(bool, absolute);
        Parser parser;
        QCOMPARE(parser.parseFile(file, QStringLiteral(":memory:"), QString()), int(Parser::Parsed));
        QSqlDatabase *db = parser.getConnection();
        QVERIFY(db);
        {
            // A Matroska position field is the group's "value" child; the others are the field.
            QSqlQuery query(*db);
            QVERIFY(query.exec(QStringLiteral(
                "SELECT e.id, e.raw_value, links.target FROM elements e JOIN dictionary n ON e.name_id = n.id"
                " LEFT JOIN elements p ON e.parent_id = p.id LEFT JOIN dictionary pn ON p.name_id = pn.id"
                " LEFT JOIN links ON links.id = e.id WHERE e.last_child_id = 0"
                " AND (n.name = '%1' OR (n.name = 'value' AND pn.name = '%1'))"
                " ORDER BY e.id").arg(field)));
            int fields = 0;
            while (query.next()) {
                ++fields;
                QVERIFY2(!query.value(2).isNull(), qPrintable(query.value(0).toString()));
                if (absolute)
                    QCOMPARE(query.value(2).toLongLong(), query.value(1).toLongLong());
                else
                    QVERIFY(query.value(2).toLongLong() > query.value(1).toLongLong());
            }
            QVERIFY(fields > 0);
        }
        const QString name = db->connectionName();
        db->close();
        delete db;
        QSqlDatabase::removeDatabase(name);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestEngineOptions)
#include "test_engine_options.moc"
