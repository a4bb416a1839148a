#include "analysis/KeychainStore.h"
#include "dashboard/SettingsHarness.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "store/KippetManager.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>

// The cloud API key section against a real Secret Service (a private keyring) and an endpoint
// on 127.0.0.1; keys are typed into the real field.
namespace {
const QString goodKey = QStringLiteral("sk-test-0123456789abcdefgh");

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// The Secret Service writes as the bus carries them: dbus-monitor's record of every CreateItem
// call. A write of a marker account shows when the monitor has seen all that came before it.
class CreateItemWatch {
public:
    CreateItemWatch() {
        monitor_.start(QStringLiteral("dbus-monitor"),
                       {QStringLiteral("--session"),
                        QStringLiteral("type='method_call',interface='org.freedesktop.Secret."
                                       "Collection',member='CreateItem'")});
    }
    ~CreateItemWatch() {
        monitor_.kill();
        monitor_.waitForFinished();
    }
    // Waits until the monitor has seen every write made so far: a marker written after them is
    // seen. A monitor that was not yet listening misses a marker, so markers go until one is.
    bool catchUp() {
        if (!monitor_.waitForStarted())
            return false;
        for (int attempt = 0; attempt < 20; ++attempt) {
            const QString marker = QStringLiteral("org.kippets.Kippets.marker-%1").arg(++markers_);
            KeychainStore writer;
            TaskRunner::finish(writer.save(marker, QStringLiteral("marker")));
            const bool seen = TaskRunner::waitUntil(
                [this, &marker] {
                    output_ += monitor_.readAllStandardOutput();
                    return output_.contains(marker.toUtf8());
                },
                3000);
            TaskRunner::finish(writer.remove(marker));
            if (seen)
                return true;
        }
        return false;
    }
    // The CreateItem calls for the account seen so far.
    int writesOf(const QString& account) const {
        const QByteArray quoted = "\"" + account.toUtf8() + "\"";
        int count = 0;
        for (const QByteArray& call :
             QByteArray(output_).replace("method call", "\x01").split('\x01'))
            count += call.contains(quoted) ? 1 : 0;
        return count;
    }

private:
    QProcess monitor_;
    QByteArray output_;
    int markers_ = 0;
};

struct KeyHarness {
    KeyHarness() {
        KeychainStore::install(&keychain);
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        endpoint.setHandler([](const TestHttpRequest&) { return TestHttpResponse::json("{}"); });
        endpoint.start();
        useEndpoint(endpoint.baseUrl().toString());
        TaskRunner::finish(keychain.remove(KeychainStore::apiKeyAccount));
    }
    ~KeyHarness() {
        h.dashboard.reset();
        TaskRunner::finish(keychain.remove(KeychainStore::apiKeyAccount));
        KeychainStore::install(nullptr);
        qunsetenv("KIPPETS_OPENAI_BASE_URL");
    }
    static void useEndpoint(const QString& base) {
        qputenv("KIPPETS_OPENAI_BASE_URL", base.toUtf8());
    }

    SettingsTabView& open() {
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        if (!TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }))
            qFatal("the stored key was never loaded");
        settle();
        return view;
    }
    // Waits until no keyring write is under way.
    void settle() {
        SettingsTabView* view = h.view;
        QVERIFY(TaskRunner::waitUntil([view] { return view->isKeySettled(); }));
    }
    std::optional<QString> stored() {
        return TaskRunner::finish(keychain.load(KeychainStore::apiKeyAccount));
    }
    QLineEdit* field() { return h.find<QLineEdit>(QStringLiteral("byok_keyField")); }
    QPushButton* testButton() { return h.find<QPushButton>(QStringLiteral("byok_testButton")); }
    bool shown(const QString& name) { return h.shown(name); }
    QString row(const QString& name) { return h.find<SettingsStatusRow>(name)->text(); }
    // Types the text and ends the typing with Return, which keeps what the field holds.
    void type(const QString& text) {
        QTest::keyClicks(field(), text);
        commit();
    }
    void commit() {
        QTest::keyClick(field(), Qt::Key_Return);
        settle();
    }
    void clearField() {
        field()->selectAll();
        QTest::keyClick(field(), Qt::Key_Backspace);
        commit();
    }
    // Presses the test button and waits for the result.
    void runTest() {
        SettingsTabView* view = h.view;
        QSignalSpy finished(view, &SettingsTabView::connectionTestFinished);
        QTest::mouseClick(testButton(), Qt::LeftButton);
        QVERIFY(TaskRunner::waitUntil([&finished] { return finished.count() == 1; }));
    }
    void answer(TestHttpResponse response) {
        endpoint.setHandler([response](const TestHttpRequest&) { return response; });
    }
    bool verifiedFlag() {
        return h.app.preferences().boolOr(QStringLiteral("api_key_verified"), false);
    }
    QString verifiedHash() {
        return h.app.preferences().stringOr(QStringLiteral("verified_api_key_hash"), QString());
    }

    SettingsHarness h;
    KeychainStore keychain;
    TestHttpServer endpoint;
};
} // namespace

class APIKeySectionTest : public QObject {
    Q_OBJECT
private slots:
    void typingChecksTheFormatAndStoresTheKey() {
        KeyHarness k;
        SettingsTabView& view = k.open();
        QVERIFY(!k.testButton()->isVisibleTo(&view));
        QCOMPARE(view.apiKeyBorderColor(QString()).alpha(),
                 Theme::withAlpha(Theme::secondary(view.palette()), 0.2).alpha());

        // Twenty graphemes, the last an emoji of two code units: still too short.
        k.type(QStringLiteral("  sk-0123456789abcdef"));
        k.field()->insert(QStringLiteral("😀"));
        k.commit();
        QCOMPARE(view.saveError(),
                 std::optional<QString>("Invalid API key format. OpenAI keys start with 'sk-'"));
        QCOMPARE(k.row(QStringLiteral("APIKeySaveError")),
                 QStringLiteral("Invalid API key format. OpenAI keys start with 'sk-'"));
        QVERIFY(!k.testButton()->isVisibleTo(&view));
        QCOMPARE(view.apiKeyBorderColor(view.apiKey()), Theme::withAlpha(Theme::red(), 0.3));
        QCOMPARE(k.stored(), std::nullopt);

        k.type(QStringLiteral("g "));
        QCOMPARE(view.saveError(), std::nullopt);
        QVERIFY(k.testButton()->isVisibleTo(&view));
        QCOMPARE(k.testButton()->text(), QStringLiteral("Test Connection"));
        QCOMPARE(k.row(QStringLiteral("APIKeySaveSuccess")),
                 QStringLiteral("API key saved successfully"));
        // The keyring keeps the text as typed.
        QCOMPARE(k.stored(), std::optional<QString>(QStringLiteral("  sk-0123456789abcdef😀g ")));
        QCOMPARE(view.apiKeyBorderColor(view.apiKey()), Theme::withAlpha(Theme::green(), 0.3));
        QVERIFY(k.shown(QStringLiteral("byok_preferCloudImages")));
        QCOMPARE(k.h.aiStatus()->text(),
                 QStringLiteral("OpenAI key configured — configure details below."));
        QTest::mouseClick(k.h.find<QCheckBox>(QStringLiteral("byok_preferCloudImages")),
                          Qt::LeftButton);
        QCOMPARE(k.h.app.preferences().boolValue(QStringLiteral("ai_prefer_cloud_for_images")),
                 true);

        // The saved message goes after 3 s.
        testClock().advance(std::chrono::milliseconds(2999));
        QVERIFY(view.saveSuccess().has_value());
        testClock().advance(std::chrono::milliseconds(1));
        QCOMPARE(view.saveSuccess(), std::nullopt);
        QVERIFY(!k.shown(QStringLiteral("APIKeySaveSuccess")));

        // Spaces only: malformed, and the stored key stays.
        k.field()->selectAll();
        k.type(QStringLiteral("   "));
        QCOMPARE(view.saveError(),
                 std::optional<QString>("Invalid API key format. OpenAI keys start with 'sk-'"));
        QCOMPARE(k.stored(), std::optional<QString>(QStringLiteral("  sk-0123456789abcdef😀g ")));
    }

    void fastTypingStoresTheLastTextAndRetriesOnce() {
        KeyHarness k;
        std::shared_ptr<ScriptedAnalyzer> analyzer = k.h.app.useScriptedAnalyzer();
        for (int i = 0; i < 5; ++i)
            analyzer->answer(ScriptedAnalyzer::resultFrom(QStringLiteral("cloud")));
        Kippet* kippet = k.h.app.addKippet(QStringLiteral("Inbox"));
        KippetItem waiting;
        waiting.id = QUuid::createUuid();
        waiting.type = KippetItemType::text;
        waiting.content = "a note waiting for a key";
        waiting.addedDate = QDateTime::currentDateTimeUtc();
        waiting.category = ItemCategory::waitingForAnalysis;
        k.h.app.manager().addItem(waiting, kippet);
        k.open();
        const QString typed = QStringLiteral("sk-proj-") + QString(32, QLatin1Char('x'));
        QCOMPARE(typed.size(), 40);
        QTest::keyClicks(k.field(), typed);
        testClock().advance(std::chrono::milliseconds(1500));
        k.settle();
        QCOMPARE(k.stored(), std::optional<QString>(typed));
        QVERIFY(analyzer->analyzedItems.isEmpty());
        // One retry, a second after the last keystroke: the manager then gives a waiting item
        // its first attempt a minute later. A retry per keystroke would have tried it at once.
        testClock().advance(std::chrono::seconds(1));
        AppHarness::settle();
        QVERIFY(analyzer->analyzedItems.isEmpty());
        testClock().advance(std::chrono::seconds(60));
        QVERIFY(TaskRunner::waitUntil([&analyzer] { return !analyzer->analyzedItems.isEmpty(); }));
        AppHarness::settle();
        QCOMPARE(analyzer->analyzedItems.size(), 1);

        // Showing the tab again writes the loaded key back, which is no change.
        k.h.showKippetsTab();
        k.h.showSettingsTab();
        k.settle();
        testClock().advance(std::chrono::seconds(2));
        AppHarness::settle();
        QCOMPARE(analyzer->analyzedItems.size(), 1);
    }

    // Typing is saved once it pauses, in one write, however many keys made it; Return ends the
    // typing at once.
    void typedKeysAreSavedOncePerPause() {
        KeyHarness k;
        CreateItemWatch watch;
        QVERIFY(watch.catchUp());
        SettingsTabView& view = k.open();
        const QString typed = QStringLiteral("sk-typed-by-hand-0123456789abcde");
        QCOMPARE(typed.size(), 32);
        for (const QChar key : typed) {
            QTest::keyClicks(k.field(), QString(key));
            testClock().advance(std::chrono::milliseconds(150));
        }
        QCOMPARE(view.saveError(), std::nullopt); // nothing judged while typing goes on
        testClock().advance(std::chrono::milliseconds(1349));
        QVERIFY(watch.catchUp());
        QCOMPARE(watch.writesOf(KeychainStore::apiKeyAccount), 0);
        QCOMPARE(k.stored(), std::nullopt);
        testClock().advance(std::chrono::milliseconds(1));
        k.settle();
        QCOMPARE(k.row(QStringLiteral("APIKeySaveSuccess")),
                 QStringLiteral("API key saved successfully"));
        QCOMPARE(k.stored(), std::optional<QString>(typed));
        QVERIFY(watch.catchUp());
        QCOMPARE(watch.writesOf(KeychainStore::apiKeyAccount), 1);

        QTest::keyClicks(k.field(), QStringLiteral("f"));
        QVERIFY(!view.isKeySettled());
        QTest::keyClick(k.field(), Qt::Key_Return);
        k.settle();
        QCOMPARE(k.stored(), std::optional<QString>(typed + QStringLiteral("f")));
        QVERIFY(watch.catchUp());
        QCOMPARE(watch.writesOf(KeychainStore::apiKeyAccount), 2);
    }

    // Loading the stored key into the field is no change of it: nothing is written and nothing
    // said, however often the tab is shown.
    void showingTheTabWritesNothing() {
        KeyHarness k;
        TaskRunner::finish(k.keychain.save(KeychainStore::apiKeyAccount, goodKey));
        CreateItemWatch watch;
        QVERIFY(watch.catchUp());
        SettingsTabView& view = k.open();
        QCOMPARE(k.field()->text(), goodKey);
        for (int shown = 0; shown < 2; ++shown) {
            QSignalSpy loaded(&view, &SettingsTabView::apiKeyLoaded);
            k.h.showKippetsTab();
            k.h.showSettingsTab();
            QVERIFY(TaskRunner::waitUntil([&loaded] { return loaded.count() == 1; }));
            k.settle();
        }
        QCOMPARE(k.field()->text(), goodKey);
        QCOMPARE(view.saveSuccess(), std::nullopt);
        QVERIFY(!k.shown(QStringLiteral("APIKeySaveSuccess")));
        QVERIFY(watch.catchUp());
        QCOMPARE(watch.writesOf(KeychainStore::apiKeyAccount), 0);
    }

    void clearingTheFieldRemovesTheKeyAndItsMarks() {
        KeyHarness k;
        TaskRunner::finish(k.keychain.save(KeychainStore::apiKeyAccount, goodKey));
        k.h.app.preferences().setBool(QStringLiteral("api_key_verified"), true);
        k.h.app.preferences().setString(QStringLiteral("verified_api_key_hash"),
                                        SettingsTabView::apiKeyHash(goodKey));
        SettingsTabView& view = k.open();
        QCOMPARE(k.field()->text(), goodKey);
        QVERIFY(view.isKeyVerified());
        QVERIFY(k.shown(QStringLiteral("byok_verifiedMark")));
        QVERIFY(k.shown(QStringLiteral("APIKeyVerifiedRow")));
        QCOMPARE(k.testButton()->text(), QStringLiteral("Re-test Connection"));

        k.clearField();
        QCOMPARE(k.stored(), std::nullopt);
        QVERIFY(!k.verifiedFlag());
        QCOMPARE(k.verifiedHash(), QString());
        QCOMPARE(k.row(QStringLiteral("APIKeySaveSuccess")), QStringLiteral("API key removed"));
        for (const char* gone : {"byok_testButton", "byok_preferCloudImages", "byok_verifiedMark",
                                 "APIKeyVerifiedRow"})
            QVERIFY2(!k.shown(QString::fromLatin1(gone)), gone);
        QCOMPARE(view.apiKeyBorderColor(view.apiKey()),
                 Theme::withAlpha(Theme::secondary(view.palette()), 0.2));
    }

    void theTestSendsOneSmallRequestWithTheKeyAsTheAnalyzerDoes() {
        KeyHarness k;
        SettingsTabView& view = k.open();
        k.type(goodKey + QStringLiteral(" "));
        k.runTest();
        QCOMPARE(k.endpoint.requests().size(), 1);
        const TestHttpRequest request = k.endpoint.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/v1/responses"));
        QCOMPARE(request.header("Authorization"), ("Bearer " + goodKey).toUtf8());
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(QJsonDocument::fromJson(request.body), QJsonDocument::fromJson(R"({
            "model": "gpt-4o",
            "input": [
                {"role": "system", "content": [{"type": "input_text", "text": "You are a helpful assistant."}]},
                {"role": "user", "content": [{"type": "input_text", "text": "Say OK"}]}
            ],
            "temperature": 0.7,
            "max_output_tokens": 16
        })"));
        QCOMPARE(view.testResult()->message,
                 QStringLiteral("Connection successful! API key is valid."));
        QVERIFY(k.verifiedFlag());
        QCOMPARE(k.verifiedHash(), SettingsTabView::apiKeyHash(goodKey + QStringLiteral(" ")));
        QCOMPARE(k.testButton()->text(), QStringLiteral("Re-test Connection"));
        QVERIFY(k.shown(QStringLiteral("byok_verifiedMark")));
        QVERIFY(!k.shown(QStringLiteral("APIKeyVerifiedRow")));
        testClock().advance(std::chrono::seconds(5));
        QCOMPARE(view.testResult(), std::nullopt);
        QCOMPARE(k.row(QStringLiteral("APIKeyVerifiedRow")),
                 QStringLiteral("API key verified and working"));
        QVERIFY(k.shown(QStringLiteral("APIKeyVerifiedRow")));

        // A new tab over the same keyring and preferences opens verified, without a request.
        SettingsTabView& again = k.open();
        QVERIFY(again.isKeyVerified());
        QVERIFY(k.shown(QStringLiteral("APIKeyVerifiedRow")));
        QCOMPARE(k.endpoint.requests().size(), 1);
    }

    void everyOutcomeHasItsMessage() {
        KeyHarness k;
        SettingsTabView& view = k.open();
        k.type(goodKey);
        struct Case {
            TestHttpResponse response;
            QString message;
            bool verifiedAfter;
        };
        const QList<Case> cases = {
            {TestHttpResponse::json("{}", 429), "Rate limit exceeded. Try again later.", true},
            {TestHttpResponse::json("{}", 401), "Invalid API key. Please check your key.", false},
            {TestHttpResponse::json(R"({"error":{"message":"T"}})", 500), "API error: HTTP 500: T",
             false},
            {TestHttpResponse::html("<html>busy</html>", 503), "API error: HTTP 503", false},
        };
        for (const Case& c : cases) {
            k.h.app.preferences().setBool(QStringLiteral("api_key_verified"), true);
            k.h.app.preferences().setString(QStringLiteral("verified_api_key_hash"),
                                            SettingsTabView::apiKeyHash(goodKey));
            k.answer(c.response);
            k.runTest();
            QCOMPARE(view.testResult()->message, c.message);
            QVERIFY(!view.testResult()->success);
            QCOMPARE(k.verifiedFlag(), c.verifiedAfter);
            QCOMPARE(k.row(QStringLiteral("APIKeyTestResult")), c.message);
        }

        // No answer: timed out once the test clock passes 15 s.
        TestHttpResponse silent;
        silent.behaviour = TestHttpResponse::Behaviour::neverAnswer;
        k.answer(silent);
        const qsizetype asked = k.endpoint.requests().size();
        QTest::mouseClick(k.testButton(), Qt::LeftButton);
        QVERIFY(view.isTestingConnection());
        QCOMPARE(k.testButton()->text(), QStringLiteral("Testing…"));
        QVERIFY(!k.testButton()->isEnabled());
        QVERIFY(TaskRunner::waitUntil([&] { return k.endpoint.requests().size() > asked; }));
        testClock().advance(std::chrono::seconds(14));
        QVERIFY(view.isTestingConnection());
        testClock().advance(std::chrono::seconds(1));
        QVERIFY(TaskRunner::waitUntil([&view] { return !view.isTestingConnection(); }));
        QCOMPARE(view.testResult()->message,
                 QStringLiteral("Connection timed out. Check your network."));

        // The endpoint drops the connection on the request: the connection was lost, and the
        // request reached it once.
        TestHttpResponse dropped;
        dropped.behaviour = TestHttpResponse::Behaviour::closeImmediately;
        k.answer(dropped);
        const qsizetype sent = k.endpoint.requests().size();
        k.runTest();
        QCOMPARE(view.testResult()->message, QStringLiteral("No internet connection."));
        QCOMPARE(k.endpoint.requests().size(), sent + 1);

        KeyHarness::useEndpoint(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()));
        k.runTest();
        QVERIFY2(view.testResult()->message.startsWith("Network error: "),
                 qPrintable(view.testResult()->message));
        QVERIFY(view.testResult()->message.size() > QStringLiteral("Network error: ").size());

        KeyHarness::useEndpoint(QStringLiteral("http://kippets-no-such-host.invalid"));
        k.runTest();
        QCOMPARE(view.testResult()->message, QStringLiteral("No internet connection."));

        // An endpoint that gives no HTTP reply at all.
        k.h.app.preferences().setBool(QStringLiteral("api_key_verified"), true);
        KeyHarness::useEndpoint(QStringLiteral("file:///kippets-no-such-folder"));
        k.runTest();
        QCOMPARE(view.testResult()->message, QStringLiteral("Unexpected response from server"));
        QVERIFY(!k.verifiedFlag());

        // An empty field sends nothing.
        k.clearField();
        const qsizetype before = k.endpoint.requests().size();
        view.testConnection();
        QVERIFY(!view.isTestingConnection());
        QCOMPARE(k.endpoint.requests().size(), before);
    }

    void testingShowsAMovingIndicatorBesideItsTitle() {
        KeyHarness k;
        SettingsTabView& view = k.open();
        k.type(goodKey);
        TestHttpResponse silent;
        silent.behaviour = TestHttpResponse::Behaviour::neverAnswer;
        k.answer(silent);
        Animations::setEnabled(true);
        QPushButton* button = k.testButton();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(view.isTestingConnection());
        QCOMPARE(button->text(), QStringLiteral("Testing…"));
        QCOMPARE(button->iconSize(), QSize(14, 14));
        QVERIFY(!button->icon().isNull());
        QList<QImage> frames{button->grab().toImage()};
        for (int turn = 0; turn < 3; ++turn) {
            testClock().advance(std::chrono::milliseconds(100));
            frames.append(button->grab().toImage());
            QVERIFY2(frames.last() != frames.at(frames.size() - 2),
                     qPrintable(QString::number(turn)));
        }
        Animations::setEnabled(false);
        testClock().advance(SettingsTabView::connectionTestTimeout);
        QVERIFY(TaskRunner::waitUntil([&view] { return !view.isTestingConnection(); }));
        QCOMPARE(button->text(), QStringLiteral("Test Connection"));
    }

    void aKeyEditedDuringTheTestIsNotVerified() {
        KeyHarness k;
        SettingsTabView& view = k.open();
        k.type(goodKey);
        SettingsTabView* tab = k.h.view;
        QSignalSpy finished(tab, &SettingsTabView::connectionTestFinished);
        QTest::mouseClick(k.testButton(), Qt::LeftButton);
        // Typed before the answer arrives.
        QTest::keyClicks(k.field(), QStringLiteral("Z"));
        QVERIFY(TaskRunner::waitUntil([&finished] { return finished.count() == 1; }));
        QCOMPARE(k.endpoint.requests().first().header("Authorization"),
                 ("Bearer " + goodKey).toUtf8());
        QCOMPARE(view.testResult()->message,
                 QStringLiteral("Connection successful! API key is valid."));
        QVERIFY(!k.verifiedFlag());
        QVERIFY(!view.isKeyVerified());
        QCOMPARE(k.verifiedHash(), QString());
        k.commit();
    }

    void aNewerMessageStaysItsFullTime() {
        KeyHarness k;
        SettingsTabView& view = k.open();
        k.type(goodKey);
        testClock().advance(std::chrono::seconds(2));
        k.type(QStringLiteral("1"));
        QVERIFY(view.saveSuccess().has_value());
        testClock().advance(std::chrono::seconds(2));
        QCOMPARE(view.saveSuccess(), std::optional<QString>("API key saved successfully"));
        testClock().advance(std::chrono::seconds(1));
        QCOMPARE(view.saveSuccess(), std::nullopt);

        k.runTest();
        testClock().advance(std::chrono::seconds(4));
        k.runTest();
        testClock().advance(std::chrono::seconds(2));
        QVERIFY(view.testResult().has_value());
        testClock().advance(std::chrono::seconds(3));
        QCOMPARE(view.testResult(), std::nullopt);
    }

    void aKeyWithALineBreakGoesNowhere() {
        KeyHarness k;
        SettingsTabView& view = k.open();
        LogCapture log;
        const QString hostile = QStringLiteral("sk-0123456789abcdefghij\r\nX-Injected: 1");
        k.field()->setText(hostile);
        k.commit();
        QCOMPARE(view.saveError(),
                 std::optional<QString>("Invalid API key format. OpenAI keys start with 'sk-'"));
        QVERIFY(!k.testButton()->isVisibleTo(&view));
        view.testConnection();
        QCOMPARE(k.stored(), std::nullopt);
        QVERIFY(k.endpoint.requests().isEmpty());
        QVERIFY(!log.contains(QStringLiteral("sk-0123456789abcdefghij")));
    }
};

QTEST_MAIN(APIKeySectionTest)
#include "APIKeySectionTest.moc"
