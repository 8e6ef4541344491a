#include "iso_parsers.h"

#include <QTest>

using namespace IsoTest;

class TestIsoCodecConfig : public QObject
{
    Q_OBJECT

private slots:
};

QTEST_GUILESS_MAIN(TestIsoCodecConfig)
#include "test_iso_codec_config.moc"
