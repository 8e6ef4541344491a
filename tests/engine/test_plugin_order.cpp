// Which plug-in the engine gives a file to: those that name the file's suffix are asked first,
// so a large file is not read by the checks of other formats before its own plug-in sees it.

#include "byte_builder.h"
#include "parser.h"
#include "plugins.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qint64 gib = qint64(1) << 30;

// An AVI file with no streams.
QByteArray aviBytes()
{
    ByteBuilder b;
    b.riffList("RIFF", "AVI ", [](ByteBuilder &r) { r.riffList("LIST", "movi"); });
    b.zeros(200);
    return b.bytes();
}

// An EBML header and a segment whose only child, a Void element, covers the rest of a file of
// size bytes.
QByteArray matroskaHead(qint64 size)
{
    ByteBuilder header;
    header.u16be(0x4286).u8(0x81).u8(1).u16be(0x42F7).u8(0x81).u8(1);
    header.u16be(0x42F2).u8(0x81).u8(4).u16be(0x42F3).u8(0x81).u8(8);
    header.u16be(0x4282).u8(0x88).text("matroska");
    header.u16be(0x4287).u8(0x81).u8(4).u16be(0x4285).u8(0x81).u8(2);
    ByteBuilder b;
    b.u32be(0x1A45DFA3).u8(quint8(0x80 | header.size())).raw(header.bytes());
    const qint64 segmentData = size - b.size() - 12;
    b.u32be(0x18538067).u64be(0x0100000000000000ull | quint64(segmentData));
    b.u8(0xEC).u64be(0x0100000000000000ull | quint64(segmentData - 9));
    return b.bytes();
}

// The container the engine picked for the file, "" when none took it.
QString pickedContainer(const QString &path)
{
    Parser parser;
    parser.parseFile(path, QStringLiteral(":memory:"), QString());
    const QString name = parser.containerName();
    delete parser.getConnection();
    QSqlDatabase::removeDatabase(Parser::connectionName());
    return name;
}

} // namespace

class TestPluginOrder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_plugins.isValid());
        QVERIFY(QFile::copy(QStringLiteral(KESTRUNE_AVI_PLUGIN), m_plugins.filePath(QStringLiteral("libkestrune-container-avi.so"))));
        QVERIFY(QFile::copy(QStringLiteral(KESTRUNE_MKV_PLUGIN), m_plugins.filePath(QStringLiteral("libkestrune-container-mkv.so"))));
        Plugins::setSearchPaths({m_plugins.path()});
    }
    void cleanupTestCase() { Plugins::setSearchPaths({}); }

    void suffixFirst_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("container");

        const QByteArray avi = aviBytes();
        // An AVI file named as Matroska goes to the Matroska plug-in, which takes any file by
        // that name; without a known suffix the plug-ins are asked in name order.
        QTest::newRow("AVI named .avi") << "a.avi" << avi << qint64(avi.size()) << "AVI";
        QTest::newRow("AVI named .mkv") << "a.mkv" << avi << qint64(avi.size()) << "MKV";
        QTest::newRow("AVI named .MKV") << "a.MKV" << avi << qint64(avi.size()) << "MKV";
        QTest::newRow("AVI named .bin") << "a.bin" << avi << qint64(avi.size()) << "AVI";
        QTest::newRow("AVI without suffix") << "a" << avi << qint64(avi.size()) << "AVI";
        QTest::newRow("8 GiB Matroska") << "big.mkv" << matroskaHead(8 * gib) << 8 * gib << "MKV";
    }
    void suffixFirst()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, head);
        QFETCH(qint64, size);
        QFETCH(QString, container);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QFile file(path);
        // The rest of the file is a hole, which reads as zeros and takes no room on the disk.
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(head) == head.size() && file.resize(size));
        file.close();

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(pickedContainer(path), container);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    }

private:
    QTemporaryDir m_plugins;
};

QTEST_GUILESS_MAIN(TestPluginOrder)
#include "test_plugin_order.moc"
