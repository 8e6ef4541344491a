#include "cached_file.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <limits>

namespace {

const qint64 bigSize = 262144;

QByteArray pattern(qint64 from, qint64 count)
{
    QByteArray bytes;
    for (qint64 p = from; p < from + count; ++p)
        bytes.append(char(p % 251));
    return bytes;
}

}

class TestCachedFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openAndClose();
    void placement_data();
    void placement();
    void readBounds_data();
    void readBounds();
    void shrunkFile();
    void changedFile_data();
    void changedFile();

private:
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
    QString m_big;
};

QString TestCachedFile::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestCachedFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_big = write(QStringLiteral("big.bin"), pattern(0, bigSize));
}

void TestCachedFile::openAndClose()
{
    CachedFile file;
    for (const QString &bad : {m_dir.filePath(QStringLiteral("missing.bin")), m_dir.path()}) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Error \\d+: .+")));
        QVERIFY(!file.openFile(bad));
        QVERIFY(!file.isFileOpen());
        QVERIFY(!file.errorText().isEmpty());
        QCOMPARE(file.fileSize(), qint64(-1));
        QVERIFY(file.readAt(0, 16).isEmpty());
    }

    QVERIFY(file.openFile(write(QStringLiteral("empty.bin"), QByteArray())));
    QCOMPARE(file.fileSize(), qint64(0));
    QCOMPARE(file.cacheCapacity(), 0);
    QVERIFY(file.readAt(0, 1).isEmpty());

    // A file smaller than the window is read once, at open.
    QVERIFY(file.openFile(write(QStringLiteral("small.bin"), pattern(0, 20))));
    QCOMPARE(file.cacheCapacity(), 20);
    QCOMPARE(file.readAt(16, 16), pattern(16, 4));
    QCOMPARE(file.readAt(0, 16), pattern(0, 16));
    QCOMPARE(file.diskReads(), qint64(1));
    file.closeFile();
    QCOMPARE(file.fileSize(), qint64(-1));
    QVERIFY(file.readAt(0, 1).isEmpty());
}

void TestCachedFile::placement_data()
{
    QTest::addColumn<QList<qint64>>("positions");
    QTest::addColumn<qint64>("cacheStart");
    QTest::addColumn<qint64>("cacheEnd");
    QTest::addColumn<qint64>("reads");

    // Reads of 16 bytes each; the window holds 65536 bytes.
    QTest::newRow("inside the first window")
        << QList<qint64>{100, 65000, 65520} << qint64(0) << qint64(65535) << qint64(1);
    QTest::newRow("forwards: a quarter behind")
        << QList<qint64>{70000} << qint64(70000 - 16384) << qint64(70000 - 16384 + 65535) << qint64(2);
    QTest::newRow("forwards: straddling the window end")
        << QList<qint64>{65530} << qint64(65530 - 16384) << qint64(65530 - 16384 + 65535) << qint64(2);
    QTest::newRow("forwards, then back inside")
        << QList<qint64>{70000, 53616, 119000} << qint64(53616) << qint64(119151) << qint64(2);
    QTest::newRow("backwards: three quarters behind")
        << QList<qint64>{200000, 150000} << qint64(150000 - 49152) << qint64(150000 - 49152 + 65535)
        << qint64(3);
    QTest::newRow("backwards near the start: from 0")
        << QList<qint64>{100000, 30000} << qint64(0) << qint64(65535) << qint64(3);
    QTest::newRow("the last bytes: a short window")
        << QList<qint64>{262140} << qint64(262140 - 16384) << qint64(262143) << qint64(2);
}

void TestCachedFile::placement()
{
    QFETCH(QList<qint64>, positions);
    QFETCH(qint64, cacheStart);
    QFETCH(qint64, cacheEnd);
    QFETCH(qint64, reads);

    CachedFile file;
    QVERIFY(file.openFile(m_big));
    QCOMPARE(file.cacheCapacity(), 65536);
    for (const qint64 position : positions)
        QCOMPARE(file.readAt(position, 16), pattern(position, qMin<qint64>(16, bigSize - position)));
    QCOMPARE(file.cacheStart(), cacheStart);
    QCOMPARE(file.cacheEnd(), cacheEnd);
    QCOMPARE(file.diskReads(), reads);
}

void TestCachedFile::readBounds_data()
{
    QTest::addColumn<qint64>("position");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("the last four bytes") << bigSize - 4 << qint64(16) << qint64(4);
    QTest::newRow("at the end") << bigSize << qint64(1) << qint64(0);
    QTest::newRow("far past the end") << std::numeric_limits<qint64>::max() << qint64(16) << qint64(0);
    QTest::newRow("negative position") << qint64(-1) << qint64(4) << qint64(0);
    QTest::newRow("negative count") << qint64(0) << qint64(-3) << qint64(0);
    QTest::newRow("count beyond the qint64 range")
        << qint64(5) << std::numeric_limits<qint64>::max() << qint64(65536 - 5);
}

void TestCachedFile::readBounds()
{
    QFETCH(qint64, position);
    QFETCH(qint64, count);
    QFETCH(qint64, expected);

    CachedFile file;
    QVERIFY(file.openFile(m_big));
    const QByteArray bytes = file.readAt(position, count);
    QCOMPARE(bytes, pattern(position, expected));
    QVERIFY(file.cacheEnd() - file.cacheStart() < 65536);
}

void TestCachedFile::shrunkFile()
{
    // A file cut short behind the view's back: reads that find nothing give nothing, and the
    // bytes that are left are not shown as if they were the file that was opened.
    const QString path = write(QStringLiteral("shrinking.bin"), pattern(0, 200000));
    CachedFile file;
    QVERIFY(file.openFile(path));
    QVERIFY(QFile::resize(path, 10000));
    QVERIFY(file.readAt(150000, 16).isEmpty());
    QVERIFY(file.hasChanged());
    QVERIFY(file.readAt(9990, 16).isEmpty());
}

void TestCachedFile::changedFile_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("changed");
    QTest::newRow("untouched") << "" << false;
    QTest::newRow("truncated") << "truncate" << true;
    QTest::newRow("rewritten, same size") << "rewrite" << true;
    QTest::newRow("replaced by a rename") << "rename" << true;
}

void TestCachedFile::changedFile()
{
    QFETCH(QString, change);
    QFETCH(bool, changed);
    const QString path = write(QStringLiteral("changing.bin"), pattern(0, 1000));
    CachedFile file;
    QVERIFY(file.openFile(path));
    const QDateTime opened = file.fileTime(QFileDevice::FileModificationTime);
    if (change == "truncate") {
        QVERIFY(QFile::resize(path, 10));
    } else if (change == "rewrite") {
        QFile rewritten(path);
        QVERIFY(rewritten.open(QIODevice::ReadWrite));
        rewritten.write(pattern(7, 1000));
        rewritten.flush();
        QVERIFY(rewritten.setFileTime(opened.addSecs(2), QFileDevice::FileModificationTime));
    } else if (change == "rename") {
        QVERIFY(std::rename(qPrintable(write(QStringLiteral("other.bin"), pattern(3, 900))), qPrintable(path)) == 0);
    }
    // The first bytes are in the cache; they are not given once the file is seen to differ.
    QCOMPARE(file.checkForChange(), changed);
    QCOMPARE(file.readAt(0, 16), changed ? QByteArray() : pattern(0, 16));
    QCOMPARE(file.readAt(800, 16).isEmpty(), changed);
    QVERIFY(file.openFile(path));
    QVERIFY(!file.checkForChange());
    QCOMPARE(file.readAt(0, 4).size(), 4);
}

QTEST_GUILESS_MAIN(TestCachedFile)
#include "test_cached_file.moc"
