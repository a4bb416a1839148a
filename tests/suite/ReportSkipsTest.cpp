#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Every test runs through scripts/report-skips, so that ctest reports a case that could not be
// checked here as skipped and never as passed, and never a failure as a skip. Checked with ctest
// itself over a QtTest executable whose cases end each way a case can end.
namespace {
struct Entry {
    const char* name;
    QStringList functions;
};

// Each entry runs the subject's functions named, as tests/CMakeLists.txt runs a test.
const QList<Entry> entries = {
    {"passedOnly", {QStringLiteral("passes")}},
    {"passedAndSkipped", {QStringLiteral("passes"), QStringLiteral("skips")}},
    {"failedAndSkipped", {QStringLiteral("skips"), QStringLiteral("fails")}},
    {"abortedAfterASkip", {QStringLiteral("skips"), QStringLiteral("aborts")}},
};

QString quoted(const QString& word) {
    return u'"' + word + u'"';
}

struct CtestRun {
    QString output;
    QString skipped;
};

// The entries in a folder of their own, run by ctest as `make test` runs it, then what
// scripts/skipped-tests says of them.
CtestRun runEntries(const QString& folder) {
    QFile file(folder + QStringLiteral("/CTestTestfile.cmake"));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    for (const Entry& entry : entries) {
        QStringList command{quoted(QStringLiteral(KIPPETS_TEST_RUNNER)),
                            quoted(QStringLiteral(KIPPETS_SKIP_SUBJECT))};
        for (const QString& function : entry.functions)
            command.append(quoted(function));
        file.write(QStringLiteral("add_test(%1 %2)\nset_tests_properties(%1 PROPERTIES "
                                  "SKIP_RETURN_CODE %3)\n")
                       .arg(QLatin1String(entry.name), command.join(u' '))
                       .arg(KIPPETS_SKIP_RETURN_CODE)
                       .toUtf8());
    }
    file.close();
    CtestRun run;
    QProcess ctest;
    ctest.setWorkingDirectory(folder);
    ctest.setProcessChannelMode(QProcess::MergedChannels);
    ctest.start(QStringLiteral(KIPPETS_CTEST), {QStringLiteral("--output-on-failure")});
    if (!ctest.waitForFinished(120000))
        return {};
    run.output = QString::fromUtf8(ctest.readAll());
    QProcess skipped;
    skipped.setProcessChannelMode(QProcess::MergedChannels);
    skipped.start(QStringLiteral(KIPPETS_SKIPPED_TESTS), {folder});
    if (!skipped.waitForFinished(60000))
        return {};
    run.skipped = QString::fromUtf8(skipped.readAll());
    return run;
}

// ctest's verdict line of an entry: "1/4 Test #1: passedOnly .......   Passed    0.01 sec".
QString verdict(const QString& output, const char* name) {
    const QRegularExpression line(
        QStringLiteral("Test +#\\d+: %1 \\.+ *([^\\n]*?) +[\\d.]+ sec").arg(QLatin1String(name)));
    return line.match(output).captured(1);
}
} // namespace

class ReportSkipsTest : public QObject {
    Q_OBJECT
private slots:
    void ctestReportsASkipAsSkippedAndAFailureAsFailed() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const CtestRun run = runEntries(folder.path());
        const QByteArray output = run.output.toUtf8();
        const char* context = output.constData();
        QCOMPARE(verdict(run.output, "passedOnly"), QStringLiteral("Passed"));
        QVERIFY2(verdict(run.output, "passedAndSkipped") == QStringLiteral("***Skipped"), context);
        QVERIFY2(verdict(run.output, "failedAndSkipped") == QStringLiteral("***Failed"), context);
        QVERIFY2(verdict(run.output, "abortedAfterASkip") ==
                     QStringLiteral("Subprocess aborted***Exception:"),
                 context);
        // What a failed run printed is shown whole, its skip included.
        QVERIFY2(run.output.contains(QStringLiteral("FAIL!  : SkipSubject::fails() what this "
                                                    "case checks is wrong")),
                 context);
        QVERIFY2(run.output.contains(QStringLiteral("SKIP   : SkipSubject::skips() no room for "
                                                    "this case here")),
                 context);
    }

    // ctest prints nothing of a skipped run; scripts/skipped-tests says which case skipped and
    // why, of the skipped runs only.
    void theReasonsOfTheSkippedRunsAreListed() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const CtestRun run = runEntries(folder.path());
        QCOMPARE(run.skipped,
                 QStringLiteral("⏭️ [test] skipped, as these cases cannot be checked here:\n"
                                "   passedAndSkipped: skips() no room for this case here\n"));
    }
};

QTEST_GUILESS_MAIN(ReportSkipsTest)
#include "ReportSkipsTest.moc"
