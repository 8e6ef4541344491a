#include "iso_parsers.h"

#include <QTest>

using namespace IsoTest;

class TestIsoFragments : public QObject
{
    Q_OBJECT

private slots:
};

QTEST_GUILESS_MAIN(TestIsoFragments)
#include "test_iso_fragments.moc"
