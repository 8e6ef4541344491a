#include "media_info_process.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>


namespace {

// A MediaInfoProcess that runs a shell script in place of the analyser.
class ScriptedAnalyser : public MediaInfoProcess
{
public:
    explicit ScriptedAnalyser(const QString &script) : MediaInfoProcess(QStringLiteral("unused"))
    {
        program = QStringLiteral("/bin/sh");
        arguments = QStringList{QStringLiteral("-c"), script};
    }
};

struct Run
{
    QStringList lines;
    QList<int> progress;
    int exitCode = 0;
    bool finished = false;
    QProcess::ExitStatus status = QProcess::NormalExit;
    qint64 elapsed = 0;
};

Run run(AbstractProcess &analyser)
{
    QSignalSpy lines(&analyser, &AbstractProcess::lineRead);
    QSignalSpy progress(&analyser, &AbstractProcess::progress);
    QSignalSpy finished(&analyser, &AbstractProcess::finishedSignal);
    QSignalSpy failed(&analyser, &AbstractProcess::error);
    QElapsedTimer clock;
    clock.start();
    analyser.start();
    while (finished.isEmpty() && failed.isEmpty() && clock.elapsed() < 15000)
        QTest::qWait(5);
    Run result;
    result.elapsed = clock.elapsed();
    for (const QList<QVariant> &args : lines)
        result.lines << args.at(0).toString();
    for (const QList<QVariant> &args : progress)
        result.progress << args.at(0).toInt();
    result.exitCode = analyser.programExitCode();
    result.finished = !finished.isEmpty();
    if (result.finished)
        result.status = finished.first().at(1).value<QProcess::ExitStatus>();
    return result;
}

QString repeated(char c, int count)
{
    return QString(count, QLatin1Char(c));
}

} // namespace

class TestAnalyser : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        // Kill timers are freed later; let them go before the next case.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void lineProtocol_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<int>>("progress");
        QTest::addColumn<int>("exitCode");

        const QString wellBehaved = QStringLiteral("; cat > /dev/null");
        QTest::newRow("report and exit line")
            << QStringLiteral("printf 'General\\nFormat : MPEG-4\\n\\nexit code: 0\\n'") + wellBehaved
            << QStringList{"General", "Format : MPEG-4", "", "exit code: 0"} << QList<int>{} << 0;
        QTest::newRow("progress values")
            << QStringLiteral("printf 'progress: 0\\nprogress: 42\\nprogress: 100\\nexit code: 0\\n'") + wellBehaved
            << QStringList{"progress: 0", "progress: 42", "progress: 100", "exit code: 0"}
            << QList<int>{0, 42, 100} << 0;
        QTest::newRow("progress above 100 is reported but not signalled")
            << QStringLiteral("printf 'progress: 150\\nprogress: 101\\nexit code: 0\\n'") + wellBehaved
            << QStringList{"progress: 150", "progress: 101", "exit code: 0"} << QList<int>{} << 0;
        QTest::newRow("progress that is not a number is 0")
            << QStringLiteral("printf 'progress: half\\nprogress: \\nexit code: 0\\n'") + wellBehaved
            << QStringList{"progress: half", "progress:", "exit code: 0"} << QList<int>{0} << 0;
        QTest::newRow("white space trimmed, blank lines kept")
            << QStringLiteral("printf '  padded \\t\\r\\n\\n \\nexit code: 7\\n'") + wellBehaved
            << QStringList{"padded", "", "", "exit code: 7"} << QList<int>{} << 7;
        QTest::newRow("3000-byte line in pieces of 1024")
            << QStringLiteral("head -c 3000 /dev/zero | tr '\\0' a; printf '\\nexit code: 0\\n'") + wellBehaved
            << QStringList{repeated('a', 1024), repeated('a', 1024), repeated('a', 952), "exit code: 0"}
            << QList<int>{} << 0;
        QTest::newRow("UTF-8 text")
            << QStringLiteral("printf 'Title : \\303\\251t\\303\\251\\nexit code: 0\\n'") + wellBehaved
            << QStringList{QStringLiteral("Title : \u00e9t\u00e9"), "exit code: 0"} << QList<int>{} << 0;
        // The analyser echoes what it is sent after its exit line: "quit" without a line end,
        // which arrives only as the program ends.
        QTest::newRow("quit sent after the exit line")
            << QStringLiteral("printf 'exit code: 3\\n'; cat")
            << QStringList{"exit code: 3", "quit"} << QList<int>{} << 3;
        QTest::newRow("last line without a line end is kept")
            << QStringLiteral("printf 'General\\nFormat : AVI'")
            << QStringList{"General", "Format : AVI"} << QList<int>{} << 0;
    }

    void lineProtocol()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, lines);
        QFETCH(QList<int>, progress);
        QFETCH(int, exitCode);

        ScriptedAnalyser analyser(script);
        const Run result = run(analyser);
        QVERIFY(result.finished);
        QCOMPARE(result.lines, lines);
        QCOMPARE(analyser.capturedOutput(), lines);
        QCOMPARE(result.progress, progress);
        QCOMPARE(result.exitCode, exitCode);
    }

    void programThatStaysAfterItsExitLineIsKilled()
    {
        ScriptedAnalyser analyser(QStringLiteral("printf 'General\\nexit code: 0\\n'; exec sleep 30"));
        analyser.setKillInterval(400);
        const Run result = run(analyser);
        QVERIFY(result.finished);
        QCOMPARE(result.status, QProcess::CrashExit);
        // Timers may fire up to 5 % early.
        QVERIFY2(result.elapsed >= 380, qPrintable(QString::number(result.elapsed)));
        QVERIFY2(result.elapsed < 10000, qPrintable(QString::number(result.elapsed)));
        QCOMPARE(result.lines, (QStringList{"General", "exit code: 0"}));
    }

    void missingProgramReportsAnError()
    {
        MediaInfoProcess analyser(QStringLiteral("/no/such/file"));
        analyser.setProgram(QStringLiteral("/no/such/analyser"));
        QSignalSpy failed(&analyser, &AbstractProcess::error);
        QCOMPARE(analyser.start(), 0);
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(failed.first().at(0).value<QProcess::ProcessError>(), QProcess::FailedToStart);
        QVERIFY(analyser.capturedOutput().isEmpty());
    }

    void realAnalyserReportsAFile()
    {
        MediaInfoProcess analyser(QStringLiteral(KESTRUNE_FIXTURES "/iso/h264_aac.mp4"));
        const Run result = run(analyser);
        QVERIFY(result.finished);
        // It ended by itself once it was sent "quit", well before any kill.
        QCOMPARE(result.status, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(!result.lines.isEmpty());
        QCOMPARE(result.lines.last(), QStringLiteral("exit code: 0"));
        QCOMPARE(result.progress.last(), 100);
        QVERIFY(result.lines.contains(QStringLiteral("General")));
        QVERIFY(result.lines.contains(QRegularExpression(QStringLiteral("^Format +: MPEG-4$"))));
        QVERIFY(result.lines.contains(QRegularExpression(QStringLiteral("^Width +: 96 pixels$"))));
    }

    void realAnalyserRefusesWhatItCannotRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral("/no/such/file.mp4") << QStringLiteral("No such file or directory");
        QTest::newRow("directory") << QStringLiteral(KESTRUNE_FIXTURES) << QStringLiteral("not a regular file");
    }

    void realAnalyserRefusesWhatItCannotRead()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        MediaInfoProcess analyser(path);
        const Run result = run(analyser);
        QVERIFY(result.finished);
        QCOMPARE(result.lines, (QStringList{QStringLiteral("Error: %1: %2").arg(path, reason),
                                            QStringLiteral("exit code: 1")}));
        QCOMPARE(result.exitCode, 1);
    }
};

QTEST_GUILESS_MAIN(TestAnalyser)
#include "test_analyser.moc"
