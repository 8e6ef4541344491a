#include "iso_parsers.h"

#include <QTest>

using namespace IsoTest;

class TestIsoMetadata : public QObject
{
    Q_OBJECT

private slots:
};

QTEST_GUILESS_MAIN(TestIsoMetadata)
#include "test_iso_metadata.moc"
