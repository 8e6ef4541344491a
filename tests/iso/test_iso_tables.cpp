#include "iso_parsers.h"

#include <QTest>

using namespace IsoTest;

class TestIsoTables : public QObject
{
    Q_OBJECT

private slots:
};

QTEST_GUILESS_MAIN(TestIsoTables)
#include "test_iso_tables.moc"
