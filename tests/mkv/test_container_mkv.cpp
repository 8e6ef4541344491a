#include <QTest>
class TestContainerMkv : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestContainerMkv)
#include "test_container_mkv.moc"
