#include "mkv_parse.h"

#include <QTest>

class TestMkvBlocks : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestMkvBlocks)
#include "test_mkv_blocks.moc"
