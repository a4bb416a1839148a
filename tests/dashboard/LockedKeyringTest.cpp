#include "../analysis/CloudTestSupport.h"
#include "analysis/AIService.h"
#include "analysis/AIServiceError.h"
#include "analysis/AnalyzerWiring.h"
#include "analysis/KeychainStore.h"
#include "dashboard/SettingsHarness.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "support/KeyringLogin.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSignalSpy>
#include <csignal>

// A key stored in a real keyring (gnome-keyring on a private bus), then locked through the
// Secret Service. This test owns the unlock prompter's name: every prompt the keyring begins is
// counted and refused, as a user cancelling it; at once, or, while held, when the test says.
namespace {
const QString storedKey = QStringLiteral("sk-stored-earlier-0123456789");

class RefusingPrompter : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        const bool begins = message.member() == QLatin1String("BeginPrompting");
        prompts += begins;
        if (begins && hold) {
            held.append(message);
            return true;
        }
        bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                          QStringLiteral("cancelled")));
        return true;
    }
    // The user cancels the prompts shown and held.
    void refuseHeld() {
        for (const QDBusMessage& message : std::as_const(held))
            QDBusConnection::sessionBus().send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("cancelled")));
        held.clear();
    }
    int prompts = 0;
    bool hold = false;
    QList<QDBusMessage> held;
};

qsizetype lockedLines(const LogCapture& log) {
    return log.lines().filter(QStringLiteral("The keyring is locked")).size();
}
} // namespace

class LockedKeyringTest : public QObject {
    Q_OBJECT
private:
    RefusingPrompter prompter_;
    TestHttpServer cloud_;

    static void store(const std::optional<QString>& key) {
        KeychainStore writer;
        if (key)
            TaskRunner::finish(writer.save(KeychainStore::apiKeyAccount, *key));
        else
            TaskRunner::finish(writer.remove(KeychainStore::apiKeyAccount));
    }

private slots:
    void initTestCase() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.registerService(QStringLiteral("org.gnome.keyring.SystemPrompter")),
                 "run through scripts/with-keyring");
        QVERIFY(bus.registerVirtualObject(QStringLiteral("/org/gnome/keyring/Prompter"), &prompter_,
                                          QDBusConnection::SubPath));
        QVERIFY(cloud_.start());
        cloud_.setHandler([](const TestHttpRequest&) {
            return TestHttpResponse::json(CloudTest::responsesBody(
                QStringLiteral(R"({"category":"Documents","title":"Shopping"})")));
        });
        qputenv("KIPPETS_OPENAI_BASE_URL", cloud_.baseUrl().toString().toUtf8());
    }

    void init() {
        TestEnvironment::resetPreferences();
        QVERIFY(KeyringLogin::unlock());
        store(storedKey);
        QVERIFY(KeyringLogin::lock());
        prompter_.prompts = 0;
    }

    void cleanup() {
        prompter_.hold = false;
        prompter_.refuseHeld();
        KeychainStore::install(nullptr);
        QVERIFY(KeyringLogin::unlock());
        store(std::nullopt);
    }

    // At start: no prompt, one log line, the key unknown rather than absent. The analysis waits
    // for the key rather than take the classifier's answer, and fixes no first mode on it.
    void aLockedKeyIsUnknownNotAbsent() {
        HttpClient http;
        HttpClient::install(&http);
        const auto uninstall = qScopeGuard([] { HttpClient::install(nullptr); });
        LogCapture log;
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        TaskRunner::finish(keychain.waitForFirstPresenceAnswer());
        QVERIFY(!keychain.presenceKnown(KeychainStore::apiKeyAccount));
        QVERIFY_THROWS_EXCEPTION(KeychainError,
                                 TaskRunner::finish(keychain.read(KeychainStore::apiKeyAccount)));
        // Deleting does not call done what it cannot see.
        QVERIFY_THROWS_EXCEPTION(KeychainError,
                                 TaskRunner::finish(keychain.remove(KeychainStore::apiKeyAccount)));

        AIService service;
        installAnalyzers(service);
        const KippetItem list =
            CloudTest::item(KippetItemType::text, "milk, eggs", QStringLiteral("list.txt"));
        for (const QString& mode : {QString(), QStringLiteral("byok")}) {
            if (!mode.isEmpty())
                Preferences::shared().setString(QStringLiteral("ai_mode"), mode);
            try {
                TaskRunner::finish(service.analyzeContent(list, {}));
                QFAIL("the analysis went on without the locked key");
            } catch (const AIServiceError& error) {
                QVERIFY(error.isRetryable());
                QCOMPARE(error.userFacingMessage(),
                         QStringLiteral("Cannot analyze - keyring locked (will retry once "
                                        "unlocked)"));
            }
            QCOMPARE(
                Preferences::shared().stringValue(QStringLiteral("ai_mode")).value_or(QString()),
                mode);
        }
        QCOMPARE(cloud_.requests().size(), 0);
        QCOMPARE(lockedLines(log), 1);
        QCOMPARE(prompter_.prompts, 0);

        // Unlocked, the next analysis finds the key.
        QVERIFY(KeyringLogin::unlock());
        const ContentAnalysis analysis = TaskRunner::finish(service.analyzeContent(list, {}));
        QCOMPARE(analysis.title, std::optional<QString>(QStringLiteral("Shopping")));
        QCOMPARE(cloud_.requests().last().header("authorization"),
                 ("Bearer " + storedKey).toUtf8());
    }

    // Settings say the keyring is locked, in the field and in the status. Typing a new key is
    // one action: one prompt (the save's own); after that refusal, further typing raises none.
    void settingsSayTheKeyringIsLockedAndPromptOnce() {
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        LogCapture log;
        KeychainStore keychain;
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        const auto errorRow = [&h] {
            return h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text();
        };
        const QString lockedStatus =
            QStringLiteral("The keyring is locked, so the stored OpenAI key could not be read. "
                           "Unlock the login keyring in your desktop's keyring tool (such as "
                           "Passwords and Keys); items wait for analysis until then.");
        QCOMPARE(field->text(), QString());
        QCOMPARE(field->placeholderText(),
                 QStringLiteral("Keyring locked — the stored key could not be read"));
        QCOMPARE(errorRow(),
                 QStringLiteral("The keyring is locked, so the stored API key could not be read. "
                                "Unlock the login keyring in your desktop's keyring tool (such as "
                                "Passwords and Keys), then open Settings again."));
        QCOMPARE(h.aiStatus()->text(), lockedStatus);
        QCOMPARE(prompter_.prompts, 0);

        QTest::keyClicks(field, QStringLiteral("sk-typed-new-0123456789abc"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(prompter_.prompts, 1);
        QCOMPARE(errorRow(),
                 QStringLiteral("Failed to save API key securely: the keyring is locked. Unlock "
                                "the login keyring in your desktop's keyring tool (such as "
                                "Passwords and Keys), then enter the key again."));
        QCOMPARE(h.aiStatus()->text(), lockedStatus);
        QTest::keyClicks(field, QStringLiteral("d"));
        QTest::keyClick(field, Qt::Key_Return);
        field->clear();
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(prompter_.prompts, 1);
        QCOMPARE(lockedLines(log), 1);

        QVERIFY(KeyringLogin::unlock()); // nothing was written over the stored key
        QCOMPARE(TaskRunner::finish(KeychainStore().load(KeychainStore::apiKeyAccount)),
                 std::optional<QString>(storedKey));
    }

    // While the keyring is locked, a pause in typing saves nothing and asks nobody to unlock
    // anything: a prompt would take the rest of the key. Return does, and so does hiding the tab.
    void aPauseInTypingNeverPromptsWhileTheKeyringIsLocked() {
        KeychainStore keychain;
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        QTest::keyClicks(field, QStringLiteral("sk-typed-in-two-parts-01234567"));
        testClock().advance(std::chrono::seconds(3));
        QVERIFY(view.isKeyWriting());
        QVERIFY(TaskRunner::waitUntil([&view] { return !view.isKeyWriting(); }));
        QCOMPARE(prompter_.prompts, 0);
        QVERIFY(!view.isKeySettled());
        QCOMPARE(view.saveError(), std::nullopt);
        QCOMPARE(view.saveSuccess(), std::nullopt);

        // Return while the pause's write is still on its way: that write keeps the key back, and
        // the key is saved as asked.
        QTest::keyClicks(field, QStringLiteral("89abcdef"));
        testClock().advance(std::chrono::seconds(3));
        QVERIFY(view.isKeyWriting());
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(prompter_.prompts, 1);
        QCOMPARE(view.saveError(),
                 std::optional<QString>(QStringLiteral(
                     "Failed to save API key securely: the keyring is locked. Unlock the login "
                     "keyring in your desktop's keyring tool (such as Passwords and Keys), then "
                     "enter the key again.")));

        // Unlocked from outside: a pause saves again, as ever.
        QVERIFY(KeyringLogin::unlock());
        QTest::keyClicks(field, QStringLiteral("x"));
        testClock().advance(std::chrono::seconds(3));
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(view.saveSuccess(),
                 std::optional<QString>(QStringLiteral("API key saved successfully")));
        QCOMPARE(prompter_.prompts, 1);

        // Locked again: the tab hidden ends the typing, and the save may ask.
        QVERIFY(KeyringLogin::lock());
        QTest::keyClicks(field, QStringLiteral("y"));
        testClock().advance(std::chrono::seconds(3));
        QVERIFY(TaskRunner::waitUntil([&view] { return !view.isKeyWriting(); }));
        QCOMPARE(prompter_.prompts, 1);
        QVERIFY(!view.isKeySettled());
        h.showKippetsTab();
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(prompter_.prompts, 2);
        QVERIFY(KeyringLogin::unlock());
        QCOMPARE(TaskRunner::finish(KeychainStore().load(KeychainStore::apiKeyAccount)),
                 std::optional<QString>(QStringLiteral("sk-typed-in-two-parts-0123456789abcdefx")));
    }

    // The unlock prompt is the user's to answer, however long they take: no time-out ends the
    // save while it is open, its cancelling is the answer, and no second prompt follows.
    void aPromptCancelledLateIsTheAnswerAndTheOnlyPrompt() {
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        KeychainStore keychain;
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        prompter_.hold = true;
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        QTest::keyClicks(field, QStringLiteral("sk-typed-new-0123456789abc"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([this] { return prompter_.held.size() == 1; }));
        testClock().advance(std::chrono::seconds(13));
        QCoreApplication::processEvents();
        QVERIFY(!view.isKeySettled());
        QCOMPARE(view.saveError(), std::nullopt);

        prompter_.refuseHeld();
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text(),
                 QStringLiteral("Failed to save API key securely: the keyring is locked. Unlock "
                                "the login keyring in your desktop's keyring tool (such as "
                                "Passwords and Keys), then enter the key again."));
        // Whatever the app did after the answer has reached the keyring before this call does.
        QCOMPARE(KeyringLogin::call(QStringLiteral("org.freedesktop.Secret.Service"),
                                    QStringLiteral("ReadAlias"), {QStringLiteral("default")})
                     .type(),
                 QDBusMessage::ReplyMessage);
        QCoreApplication::processEvents();
        QCOMPARE(prompter_.prompts, 1);
        QVERIFY(KeyringLogin::unlock());
        QCOMPARE(TaskRunner::finish(KeychainStore().load(KeychainStore::apiKeyAccount)),
                 std::optional<QString>(storedKey));
    }

    // A keyring locked while the app runs holds the key as one locked at start does: analyses
    // wait with the same words, and go on as soon as it is unlocked, not at their next retry.
    void aKeyringLockedWhileRunningHoldsAnalysesUntilItIsUnlocked() {
        QVERIFY(KeyringLogin::unlock());
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        TaskRunner::finish(keychain.waitForFirstPresenceAnswer());
        QVERIFY(keychain.hasStoredKey(KeychainStore::apiKeyAccount));
        AppHarness app;
        app.start();
        installAnalyzers(app.ai());
        app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"));
        KippetItem item =
            CloudTest::item(KippetItemType::text, "milk, eggs", QStringLiteral("list.txt"));
        item.category = ItemCategory::waitingForAnalysis;
        const qsizetype asked = cloud_.requests().size();
        QVERIFY(KeyringLogin::lock());
        try {
            TaskRunner::finish(app.ai().analyzeContent(item, {}));
            QFAIL("the analysis went on without the locked key");
        } catch (const AIServiceError& error) {
            QVERIFY(error.isRetryable());
            QCOMPARE(error.userFacingMessage(),
                     QStringLiteral("Cannot analyze - keyring locked (will retry once unlocked)"));
        }
        // As the analysis step leaves an item whose analysis must wait: due for a retry.
        app.manager().addItem(item, kippet);
        app.manager().analyzeItem(item, kippet);
        QVERIFY(app.manager().hasPendingRetry(item.id));

        QSignalSpy unlocked(&keychain, &KeychainStore::keyringUnlocked);
        QVERIFY(KeyringLogin::unlock());
        QVERIFY(TaskRunner::waitUntil([&unlocked] { return unlocked.count() == 1; }));
        // Due at once: no minute passes on the clock.
        QVERIFY(TaskRunner::waitUntil([&kippet, &item] {
            testClock().advance(std::chrono::milliseconds(0));
            return kippet->item(item.id)->category != ItemCategory::waitingForAnalysis;
        }));
        QCOMPARE(kippet->item(item.id)->metadata.aiTitle,
                 std::optional<QString>(QStringLiteral("Shopping")));
        QCOMPARE(cloud_.requests().size(), asked + 1);
        QCOMPARE(cloud_.requests().last().header("authorization"),
                 ("Bearer " + storedKey).toUtf8());
        QCOMPARE(prompter_.prompts, 0);
    }

    // A keyring that does not answer: the status says the key is being read, then that it
    // could not be, never asking for a key as if none were stored. Once it answers again, the
    // next read takes back what the failed one said.
    void settingsFollowAKeyringThatDoesNotAnswer() {
        QVERIFY(KeyringLogin::unlock());
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        KeychainStore keychain;
        const pid_t daemon = qEnvironmentVariableIntValue("KIPPETS_KEYRING_PID");
        QCOMPARE(::kill(daemon, SIGSTOP), 0);
        const auto resume = qScopeGuard([daemon] { ::kill(daemon, SIGCONT); });
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("Reading the stored OpenAI key from the keyring…"));
        testClock().advance(KeychainStore::defaultTimeout);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("The stored OpenAI key could not be read: the Secret Service did "
                                "not answer in time (is the keyring locked?)"));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text(),
                 QStringLiteral("Failed to read the stored API key: the Secret Service did not "
                                "answer in time (is the keyring locked?)"));
        QVERIFY(h.shown(QStringLiteral("APIKeySaveError")));

        QCOMPARE(::kill(daemon, SIGCONT), 0);
        QSignalSpy loaded(&view, &SettingsTabView::apiKeyLoaded);
        h.showKippetsTab();
        h.showSettingsTab();
        QVERIFY(TaskRunner::waitUntil([&loaded] { return loaded.count() == 1; }));
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("OpenAI key configured — configure details below."));
        QVERIFY(!h.shown(QStringLiteral("APIKeySaveError")));
        QCOMPARE(view.saveError(), std::nullopt);
        QCOMPARE(h.find<QLineEdit>(QStringLiteral("byok_keyField"))->text(), storedKey);
    }
};

QTEST_MAIN(LockedKeyringTest)
#include "LockedKeyringTest.moc"
