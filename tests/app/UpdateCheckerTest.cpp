#include "app/UpdateChecker.h"
#include "analysis/HttpClient.h"
#include "app/Dialogs.h"
#include "app/Workspace.h"
#include "platform/Clock.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "support/TestHttpServer.h"

#include <QTest>

namespace {
// The HTTP session, recorded dialogs and pages, and a feed on 127.0.0.1.
struct Fixture {
    Fixture() {
        HttpClient::install(&http);
        Dialogs::install(&dialogs);
        Workspace::install(&workspace);
        dialogs.setRecordingOnly(true);
        workspace.setRecordingOnly(true);
        server.start();
    }
    ~Fixture() {
        Workspace::install(nullptr);
        Dialogs::install(nullptr);
        HttpClient::install(nullptr);
    }
    void answer(const TestHttpResponse& response) {
        server.setHandler([response](const TestHttpRequest&) { return response; });
    }
    QUrl feed() const { return QUrl(server.baseUrl().toString() + QStringLiteral("/feed.json")); }
    // Runs the command and returns what it showed.
    Dialogs::Shown run(UpdateChecker& checker) {
        dialogs.clearShown();
        TaskRunner::finish(checker.checkForUpdates());
        if (dialogs.shown().size() != 1)
            qFatal("the update check showed %d dialogs", int(dialogs.shown().size()));
        return dialogs.shown().first();
    }

    HttpClient http;
    Dialogs dialogs;
    Workspace workspace;
    TestHttpServer server;
};

} // namespace

// The update check against a feed on 127.0.0.1, its answers recorded instead of shown.
class UpdateCheckerTest : public QObject {
    Q_OBJECT
private slots:
    void theFeedDecidesWhatTheUserIsTold() {
        Fixture f;
        UpdateChecker checker(f.feed(), QStringLiteral("1.4.0"));

        f.answer(TestHttpResponse::json(
            "{\"version\":\"1.10.0\",\"url\":\"https://downloads.example.org/kippets-1.10.0\"}"));
        f.dialogs.queueAnswer(0);
        Dialogs::Shown shown = f.run(checker);
        QCOMPARE(shown.text, QStringLiteral("Kippets 1.10.0 is available. You have 1.4.0."));
        QCOMPARE(shown.buttons, QStringList({"Open Download Page", "Later"}));
        QCOMPARE(
            f.workspace.opened(),
            QList<QUrl>({QUrl(QStringLiteral("https://downloads.example.org/kippets-1.10.0"))}));
        QCOMPARE(f.server.requests().last().method, QByteArray("GET"));
        QCOMPARE(f.server.requests().last().path, QByteArray("/feed.json"));

        // "Later" opens nothing.
        f.dialogs.queueAnswer(1);
        f.run(checker);
        QCOMPARE(f.workspace.opened().size(), 1);

        // A download address that is not https is never offered.
        f.answer(TestHttpResponse::json(
            "{\"version\":\"2.0\",\"url\":\"http://downloads.example.org/\"}"));
        f.dialogs.queueAnswer(0);
        shown = f.run(checker);
        QCOMPARE(shown.text, QStringLiteral("Kippets 2.0 is available. You have 1.4.0."));
        QCOMPARE(shown.buttons, QStringList({"Later"}));
        QCOMPARE(f.workspace.opened().size(), 1);

        for (const char* version : {"1.4", "1.4.0", "1.3.9", "0.9"}) {
            f.answer(TestHttpResponse::json(QByteArray("{\"version\":\"") + version +
                                            "\",\"url\":\"https://x.example.org\"}"));
            shown = f.run(checker);
            QCOMPARE(shown.text, QStringLiteral("Kippets 1.4.0 is up to date."));
            QCOMPARE(shown.buttons, QStringList({"OK"}));
        }
    }

    void everyFailureSaysSoAndNeverUpToDate() {
        Fixture f;
        UpdateChecker checker(f.feed(), QStringLiteral("1.4.0"));
        struct Case {
            TestHttpResponse response;
            QString text;
        };
        TestHttpResponse oversized = TestHttpResponse::json(
            QByteArray("{\"version\":\"1.4.0\",\"pad\":\"") + QByteArray(70000, 'x') + "\"}");
        const QList<Case> cases = {
            {TestHttpResponse::json(R"({"error":"down"})", 500),
             QStringLiteral("Could not check for updates: the update server answered HTTP 500.")},
            {TestHttpResponse::json("{not json"),
             QStringLiteral("Could not check for updates: the update feed is not valid JSON.")},
            {TestHttpResponse::json(R"({"version":"latest"})"),
             QStringLiteral(
                 "Could not check for updates: the update feed names no valid version.")},
            {oversized,
             QStringLiteral("Could not check for updates: the update feed is too large.")},
        };
        for (const Case& c : cases) {
            f.answer(c.response);
            QCOMPARE(f.run(checker).text, c.text);
        }

        // No answer: the check gives up when the test clock has passed 15 s.
        TestHttpResponse silent;
        silent.behaviour = TestHttpResponse::Behaviour::neverAnswer;
        f.answer(silent);
        const qsizetype asked = f.server.requests().size();
        auto state = TaskRunner::settle(checker.checkForUpdates());
        QVERIFY(TaskRunner::waitUntil([&f, asked] { return f.server.requests().size() > asked; }));
        testClock().advance(std::chrono::seconds(14));
        QCoreApplication::processEvents();
        QVERIFY(!state->done);
        testClock().advance(std::chrono::seconds(2));
        QVERIFY(TaskRunner::waitUntil([&state] { return state->done; }));
        QCOMPARE(f.dialogs.shown().last().text,
                 QStringLiteral("Could not check for updates: the update server did not answer."));
    }

    void withoutAFeedThePackageManagerUpdates() {
        Fixture f;
        UpdateChecker checker(QUrl(), QStringLiteral("1.4.0"));
        QCOMPARE(f.run(checker).text,
                 QStringLiteral("Kippets is updated through your system's package manager."));
        // A feed on another host that is not https is no feed either.
        UpdateChecker plain(QUrl(QStringLiteral("http://updates.example.org/feed.json")),
                            QStringLiteral("1.4.0"));
        QCOMPARE(f.run(plain).text,
                 QStringLiteral("Kippets is updated through your system's package manager."));
        QVERIFY(f.server.requests().isEmpty());
    }

    void buildAddressesMustBeHttps() {
        QCOMPARE(BuildSettings::httpsOnly(QStringLiteral(" https://help.example.org/x ")),
                 QUrl(QStringLiteral("https://help.example.org/x")));
        QCOMPARE(BuildSettings::httpsOnly(QStringLiteral("http://help.example.org")), QUrl());
        QCOMPARE(BuildSettings::httpsOnly(QStringLiteral("https://")), QUrl());
        QCOMPARE(BuildSettings::httpsOnly(QString()), QUrl());
        QCOMPARE(BuildSettings::apiKeysUrl(),
                 QUrl(QStringLiteral("https://platform.openai.com/api-keys")));
    }

    void versionsCompareAsDottedNumbers() {
        QCOMPARE(UpdateChecker::compareVersions("1.10", "1.9"), 1);
        QCOMPARE(UpdateChecker::compareVersions("1.4", "1.4.0"), 0);
        QCOMPARE(UpdateChecker::compareVersions("1.4.0", "1.4.1"), -1);
        QCOMPARE(UpdateChecker::compareVersions("1.4-beta", "1.4"), std::nullopt);
        QCOMPARE(UpdateChecker::compareVersions("", "1.4"), std::nullopt);
    }
};

QTEST_MAIN(UpdateCheckerTest)
#include "UpdateCheckerTest.moc"
