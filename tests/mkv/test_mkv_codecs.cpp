#include "mkv_parse.h"

#include <QTest>

class TestMkvCodecs : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestMkvCodecs)
#include "test_mkv_codecs.moc"
