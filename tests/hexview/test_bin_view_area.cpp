#include "bin_view_area.h"
#include "cached_file.h"
#include "screen_reader.h"

#include <QFile>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QString hexLine(qint64 offset, const QByteArray &bytes, int bytesPerLine)
{
    // Written out independently of the view's own arithmetic: one blank, ten offset digits,
    // three blanks, the hex groups two blanks apart, three blanks, the text.
    QString line = QStringLiteral(" %1   ").arg(offset, 10, 16, QLatin1Char('0')).toUpper();
    QString text;
    for (int i = 0; i < bytesPerLine; ++i) {
        if (i > 0)
            line += i % 4 == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
        if (i < bytes.size()) {
            const uchar byte = uchar(bytes[i]);
            line += QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
            text += byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar('.');
        } else {
            line += QStringLiteral("  ");
        }
    }
    line += QStringLiteral("   ") + text;
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line;
}

}

class TestBinViewArea : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fileStates();
    void shortLastLine();
    void everyByteValue();
    void selectionSpaces_data();
    void selectionSpaces();
    void selectionScroll_data();
    void selectionScroll();
    void textColumnFits_data();
    void textColumnFits();

private:
    QString write(const QString &name, const QByteArray &bytes);
    std::unique_ptr<BinViewArea> showArea(int bytesPerLine, int lines, double fontSize = 10.0);

    QTemporaryDir m_dir;
    QByteArray m_lineBytes;
    QString m_lines;
};

QString TestBinViewArea::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

std::unique_ptr<BinViewArea> TestBinViewArea::showArea(int bytesPerLine, int lines, double fontSize)
{
    auto area = std::make_unique<BinViewArea>();
    area->setBytesPerLine(bytesPerLine);
    area->setFontSize(fontSize);
    area->resize(area->width(), lines * area->lineHeight() + 2 * area->frameWidth());
    area->show();
    if (!QTest::qWaitForWindowExposed(area.get()))
        qFatal("the view never came on screen");
    return area;
}

void TestBinViewArea::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // 1000 lines of 8 bytes; every line holds its own line number, so a shown line names itself.
    for (int line = 0; line < 1000; ++line)
        m_lineBytes += QByteArray::number(line).rightJustified(8, '.');
    m_lines = write(QStringLiteral("lines.bin"), m_lineBytes);
}

void TestBinViewArea::shortLastLine()
{
    auto area = showArea(16, 4);
    const QByteArray bytes("ABCDEFGHIJKLMNOPQRST");
    QVERIFY(area->openFile(write(QStringLiteral("twenty.bin"), bytes)));
    QCOMPARE(area->lineCount(), qint64(2));
    {
        const ScreenReader screen(*area);
        QCOMPARE(screen.text().at(0),
                 QStringLiteral(" 0000000000   41 42 43 44  45 46 47 48  49 4A 4B 4C  4D 4E 4F 50   ABCDEFGHIJKLMNOP"));
        QCOMPARE(screen.text().at(1), QStringLiteral(" 0000000010   51 52 53 54").leftJustified(67) + "QRST");
        QCOMPARE(screen.text().at(2), QString());
    }
    area->setOffsetBase(0);
    QCOMPARE(ScreenReader(*area).text().at(1), QString(14, QLatin1Char(' ')) + "51 52 53 54" + QString(42, QLatin1Char(' ')) + "QRST");
}

void TestBinViewArea::everyByteValue()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    auto area = showArea(16, 17);
    QVERIFY(area->openFile(write(QStringLiteral("values.bin"), bytes)));
    const ScreenReader screen(*area);
    for (int line = 0; line < 16; ++line)
        QCOMPARE(screen.text().at(line), hexLine(line * 16, bytes.mid(line * 16, 16), 16));
    // 0x7F and everything from 0x80 on are not printable.
    QCOMPARE(screen.text(7, 67, 83), QStringLiteral("pqrstuvwxyz{|}~."));
    QCOMPARE(screen.text(15, 67, 83), QStringLiteral("................"));
}

void TestBinViewArea::selectionSpaces_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("hexMask");
    QTest::addColumn<QString>("textMask");

    // 8 bytes per line: the hex cells of a line read "00 01 02 03  04 05 06 07".
    QTest::newRow("bytes 2..5") << qint64(2) << qint64(4) << 0 << "      #####  #####" << "  ####";
    QTest::newRow("second to fifth byte") << qint64(1) << qint64(4) << 0 << "   ########  ##" << " ####";
    QTest::newRow("one byte") << qint64(3) << qint64(1) << 0 << "         ##" << "   #";
    QTest::newRow("second group to the line end")
        << qint64(4) << qint64(4) << 0 << "             ###########" << "    ####";
    QTest::newRow("across lines, first line")
        << qint64(6) << qint64(4) << 0 << "                   #####" << "      ##";
    QTest::newRow("across lines, second line") << qint64(6) << qint64(4) << 1 << "#####" << "##";
    QTest::newRow("past the end of the file")
        << qint64(12) << qint64(100) << 1 << "             #####" << "    ##";
    QTest::newRow("nothing") << qint64(3) << qint64(0) << 0 << "" << "";
}

void TestBinViewArea::selectionSpaces()
{
    QFETCH(qint64, start);
    QFETCH(qint64, length);
    QFETCH(int, line);
    QFETCH(QString, hexMask);
    QFETCH(QString, textMask);

    auto area = showArea(8, 3);
    QVERIFY(area->openFile(write(QStringLiteral("fourteen.bin"), QByteArray("0123456789abcd"))));
    area->setSelection(start, length, false);
    const ScreenReader screen(*area);
    QCOMPARE(screen.mask(line, 0, 14), QString());
    QCOMPARE(screen.mask(line, 14, 41), hexMask);
    QCOMPARE(screen.mask(line, 41, 49), textMask);
    // The highlight changes the colours, not the characters.
    QCOMPARE(screen.text().at(0), hexLine(0, "01234567", 8));
    QCOMPARE(screen.text().at(1), hexLine(8, "89abcd", 8));
}

void TestBinViewArea::selectionScroll_data()
{
    QTest::addColumn<int>("topLine");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<bool>("scroll");
    QTest::addColumn<int>("expectedTop");

    // 1000 lines of 8 bytes, 10 on screen.
    QTest::newRow("on screen") << 0 << qint64(40) << true << 0;
    QTest::newRow("last shown line") << 0 << qint64(79) << true << 0;
    QTest::newRow("the line below the view") << 0 << qint64(80) << true << 10;
    QTest::newRow("in the middle of a line") << 0 << qint64(4003) << true << 500;
    QTest::newRow("above") << 500 << qint64(8) << true << 1;
    QTest::newRow("near the end: last page") << 0 << qint64(7995) << true << 990;
    QTest::newRow("past the end: last page") << 0 << qint64(100000) << true << 990;
    QTest::newRow("before the file: first page") << 300 << qint64(-50) << true << 0;
    QTest::newRow("no scroll: below") << 0 << qint64(4000) << false << 0;
    QTest::newRow("no scroll: line below the view") << 0 << qint64(80) << false << 0;
    QTest::newRow("no scroll: above") << 500 << qint64(8) << false << 500;
    QTest::newRow("no scroll: past the end") << 0 << qint64(100000) << false << 0;
    QTest::newRow("no scroll: before the file") << 300 << qint64(-50) << false << 300;
}

void TestBinViewArea::selectionScroll()
{
    QFETCH(int, topLine);
    QFETCH(qint64, start);
    QFETCH(bool, scroll);
    QFETCH(int, expectedTop);

    auto area = showArea(8, 10);
    QVERIFY(area->openFile(m_lines));
    area->verticalScrollBar()->setValue(topLine);
    area->setSelection(start, 8, scroll);
    QCOMPARE(area->topLine(), qint64(expectedTop));
    QCOMPARE(area->verticalScrollBar()->value(), expectedTop);
    const ScreenReader screen(*area);
    QCOMPARE(screen.text(0, 41, 49), QByteArray::number(expectedTop).rightJustified(8, '.'));
    if (start >= expectedTop * 8 && start < (expectedTop + 10) * 8) {
        const int column = 41 + int(start % 8);
        QCOMPARE(screen.mask(int(start / 8 - expectedTop), column, column + 1), QStringLiteral("#"));
    }
}

void TestBinViewArea::fileStates()
{
    auto area = showArea(8, 10);
    const auto blank = [&area] { return ScreenReader(*area).text(0, 0, 1000).isEmpty(); };
    QVERIFY(area->openFile(write(QStringLiteral("empty.bin"), QByteArray())));
    area->setSelection(0, 10, true);
    QCOMPARE(area->lineCount(), qint64(0));
    QCOMPARE(area->verticalScrollBar()->maximum(), 0);
    QVERIFY(blank());

    QVERIFY(area->openFile(m_lines));
    area->setSelection(4, 2, true);
    area->verticalScrollBar()->setValue(500);
    area->closeFile();
    QCOMPARE(area->lineCount(), qint64(0));
    QCOMPARE(area->verticalScrollBar()->maximum(), 0);
    QCOMPARE(area->topLine(), qint64(0));
    QVERIFY(blank());

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Error \\d+: ")));
    QVERIFY(!area->openFile(m_dir.filePath(QStringLiteral("missing.bin"))));
    QVERIFY(blank());

    // The selection outlives the files.
    QVERIFY(area->openFile(m_lines));
    QCOMPARE(ScreenReader(*area).mask(0, 41, 49), QStringLiteral("    ##"));
}

void TestBinViewArea::textColumnFits_data()
{
    QTest::addColumn<int>("bytesPerLine");
    QTest::addColumn<double>("fontSize");

    for (const double font : {6.0, 10.0, 20.0})
        for (int bytes = 4; bytes <= 32; bytes += 4)
            QTest::addRow("%d bytes, %g pt", bytes, font) << bytes << font;
}

void TestBinViewArea::textColumnFits()
{
    QFETCH(int, bytesPerLine);
    QFETCH(double, fontSize);

    // The width follows bytes per line and font, with the scroll bar shown beside the lines.
    auto area = showArea(16, 5, 10.0);
    QVERIFY(area->openFile(m_lines));
    area->setFontSize(fontSize);
    area->setBytesPerLine(bytesPerLine);
    QTRY_VERIFY(area->verticalScrollBar()->isVisible());
    const ScreenReader screen(*area);
    const QString line = screen.text().at(0);
    QVERIFY2(line.endsWith(QString::fromLatin1(m_lineBytes.left(bytesPerLine))), qPrintable(line));
    QVERIFY(!line.contains(QLatin1Char('?')));
}

QTEST_MAIN(TestBinViewArea)
#include "test_bin_view_area.moc"
