#include "byte_builder.h"

#include <QTest>

class TestByteBuilder : public QObject
{
    Q_OBJECT

private slots:
    void nestedBoxesFillTheirSizes()
    {
        ByteBuilder b;
        b.box("moov", [](ByteBuilder &m) { m.fullBox("mvhd", 1, 0x000203, [](ByteBuilder &h) { h.zeros(4); }); });
        QCOMPARE(b.bytes().toHex(), QByteArray("000000186d6f6f76000000106d76686401000203" "00000000"));
    }

    void riffChunksArePaddedToEvenSizes()
    {
        ByteBuilder b;
        b.riffList("RIFF", "AVI ", [](ByteBuilder &r) { r.riffChunk("JUNK", [](ByteBuilder &j) { j.u8(7); }); });
        // RIFF size covers "AVI " + JUNK header + 1 data byte + pad byte; JUNK's own size is 1.
        QCOMPARE(b.bytes().toHex(), QByteArray("52494646" "0e000000" "41564920" "4a554e4b" "01000000" "0700"));
    }

    void ebmlSizesTakeTheShortestLength_data()
    {
        QTest::addColumn<quint64>("value");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("0") << quint64(0) << QByteArray("80");
        QTest::newRow("126") << quint64(126) << QByteArray("fe");
        // 127 in one byte would be the all-ones "unknown size".
        QTest::newRow("127") << quint64(127) << QByteArray("407f");
        QTest::newRow("16383") << quint64(16383) << QByteArray("203fff");
    }
    void ebmlSizesTakeTheShortestLength()
    {
        QFETCH(quint64, value);
        QFETCH(QByteArray, expected);
        ByteBuilder b;
        b.ebmlSize(value);
        QCOMPARE(b.bytes().toHex(), expected);
    }

    void ebmlElementsAndTruncation()
    {
        ByteBuilder b;
        b.ebml(0x1A45DFA3, [](ByteBuilder &h) { h.ebmlUInt(0x4286, 1); });
        QCOMPARE(b.bytes().toHex(), QByteArray("1a45dfa384428681" "01"));
        QCOMPARE(b.truncate(3).bytes().toHex(), QByteArray("1a45df"));
    }
};

QTEST_APPLESS_MAIN(TestByteBuilder)
#include "test_byte_builder.moc"
