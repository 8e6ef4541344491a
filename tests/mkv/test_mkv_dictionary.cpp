#include "mkv_parse.h"

#include <QTest>

class TestMkvDictionary : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestMkvDictionary)
#include "test_mkv_dictionary.moc"
