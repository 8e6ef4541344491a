#include "parse_options.h"

#include <QTest>

class TestParseOptions : public QObject
{
    Q_OBJECT

private slots:
    void defaultsForANullString()
    {
        ParseOptions options;
        options.numberBase = 3;
        QString error;
        QVERIFY(ParseOptions::fromString(QString(), &options, &error));
        QCOMPARE(options.displayLimit, quint64(256));
        QCOMPARE(options.showJunk, false);
        QCOMPARE(options.showUnknown, true);
        QCOMPARE(options.numberBase, 10);
        QCOMPARE(options.valueBase, 10);
    }

    void everyKey()
    {
        ParseOptions options;
        QString error;
        QVERIFY(ParseOptions::fromString(
            QStringLiteral("display_limit=16; show_junk=1;show_unknown=0;number_base=16;value_base=2;"), &options, &error));
        QCOMPARE(options.displayLimit, quint64(16));
        QCOMPARE(options.showJunk, true);
        QCOMPARE(options.showUnknown, false);
        QCOMPARE(options.numberBase, 16);
        QCOMPARE(options.valueBase, 2);
        QCOMPARE(options.given, (QStringList{QStringLiteral("display_limit"), QStringLiteral("show_junk"),
                                             QStringLiteral("show_unknown"), QStringLiteral("number_base"),
                                             QStringLiteral("value_base")}));
    }

    void badOptionsAreRefusedAndLeaveTheOptionsAlone_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown key") << "colour=red" << "unknown option \"colour\"";
        QTest::newRow("no value") << "show_junk" << "option \"show_junk\" is not of the form key=value";
        QTest::newRow("flag") << "show_junk=yes" << "option show_junk: \"yes\" is not 0 or 1";
        QTest::newRow("base 1") << "number_base=1" << "option number_base: \"1\" is not a number base from 2 to 36";
        QTest::newRow("base 37") << "value_base=37" << "option value_base: \"37\" is not a number base from 2 to 36";
        QTest::newRow("limit") << "display_limit=-1" << "option display_limit: \"-1\" is not a byte count from 0 to 1048576";
        QTest::newRow("limit past 1 MiB") << "display_limit=1048577"
                                          << "option display_limit: \"1048577\" is not a byte count from 0 to 1048576";
    }
    void badOptionsAreRefusedAndLeaveTheOptionsAlone()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        ParseOptions options;
        options.numberBase = 8;
        QString error;
        QVERIFY(!ParseOptions::fromString(text, &options, &error));
        QCOMPARE(error, message);
        QCOMPARE(options.numberBase, 8);
    }
};

QTEST_APPLESS_MAIN(TestParseOptions)
#include "test_parse_options.moc"
