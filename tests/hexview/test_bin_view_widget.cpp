#include "bin_view_area.h"
#include "bin_view_widget.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestBinViewWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadSettings_data();
    void loadSettings();
    void saveFontSize();

private:
    QTemporaryDir m_dir;
};

void TestBinViewWidget::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestBinViewWidget::loadSettings_data()
{
    QTest::addColumn<QVariant>("storedBytes");
    QTest::addColumn<QVariant>("storedFont");
    QTest::addColumn<int>("bytesPerLine");
    QTest::addColumn<double>("fontSize");

    // Stored as the Properties dialog writes them: bytes per line as text, the size as a number.
    QTest::newRow("nothing stored") << QVariant() << QVariant() << 8 << 10.0;
    QTest::newRow("18 gives 16") << QVariant("18") << QVariant(12.0) << 16 << 12.0;
    QTest::newRow("2 gives 4") << QVariant("2") << QVariant(6.0) << 4 << 6.0;
    QTest::newRow("40 gives 32") << QVariant("40") << QVariant(20.0) << 32 << 20.0;
    QTest::newRow("font 30 gives 20") << QVariant("24") << QVariant(30.0) << 24 << 20.0;
    QTest::newRow("font 3 gives 6") << QVariant(12) << QVariant("3") << 12 << 6.0;
    QTest::newRow("not numbers") << QVariant("many") << QVariant("nan") << 8 << 10.0;
    QTest::newRow("negative") << QVariant("-12") << QVariant(-1.0) << 4 << 6.0;
}

void TestBinViewWidget::loadSettings()
{
    QFETCH(QVariant, storedBytes);
    QFETCH(QVariant, storedFont);
    QFETCH(int, bytesPerLine);
    QFETCH(double, fontSize);

    QSettings settings(m_dir.filePath(QStringLiteral("%1.ini").arg(QTest::currentDataTag())),
                       QSettings::IniFormat);
    if (storedBytes.isValid())
        settings.setValue("main/hex_viewer/bytes_per_line", storedBytes);
    if (storedFont.isValid())
        settings.setValue("main/hex_viewer/font_size", storedFont);

    BinViewWidget widget;
    widget.setSettings(&settings);
    widget.binViewArea()->setBytesPerLine(20);
    widget.binViewArea()->setFontSize(17.0);
    const int tallLines = widget.binViewArea()->lineHeight();
    widget.loadSettings();
    QCOMPARE(widget.binViewArea()->bytesPerLine(), bytesPerLine);
    QCOMPARE(widget.binViewArea()->fontSize(), fontSize);
    // The glyphs follow the font.
    QCOMPARE(widget.binViewArea()->lineHeight() < tallLines, fontSize < 17.0);
}

void TestBinViewWidget::saveFontSize()
{
    QSettings settings(m_dir.filePath(QStringLiteral("save.ini")), QSettings::IniFormat);
    BinViewWidget widget;
    widget.setSettings(&settings);
    widget.binViewArea()->setFontSize(14.5);
    widget.binViewArea()->setBytesPerLine(28);
    widget.saveSettings();
    QCOMPARE(settings.value("main/hex_viewer/font_size").toDouble(), 14.5);
    // Bytes per line is stored by the Properties dialog only.
    QVERIFY(!settings.contains("main/hex_viewer/bytes_per_line"));

    BinViewWidget reloaded;
    reloaded.setSettings(&settings);
    reloaded.loadSettings();
    QCOMPARE(reloaded.binViewArea()->fontSize(), 14.5);
}

QTEST_MAIN(TestBinViewWidget)
#include "test_bin_view_widget.moc"
