#include "analysis/AIService.h"
#include "analysis/AIServiceError.h"
#include "analysis/AnalyzerWiring.h"
#include "analysis/KeychainStore.h"
#include "dashboard/SettingsHarness.h"

#include "../analysis/CloudTestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QLineEdit>
#include <QScopeGuard>
#include <csignal>

// A key stored in a real keyring (gnome-keyring on a private bus) that is then locked through
// the Secret Service. No prompter runs: this test owns the prompter's name, counts every prompt
// the keyring tries to show and dismisses it.
namespace {
const QString storedKey = QStringLiteral("sk-stored-earlier-0123456789");
const QString secrets = QStringLiteral("org.freedesktop.secrets");
const QString loginCollection = QStringLiteral("/org/freedesktop/secrets/collection/login");

// Stands where the desktop's unlock prompter would: each prompt the keyring begins is counted
// and refused, as a user cancelling the dialog.
class RefusingPrompter : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage)
            return false;
        if (message.member() == QLatin1String("BeginPrompting"))
            ++prompts;
        connection.send(message.createErrorReply(
            QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("cancelled")));
        return true;
    }
    int prompts = 0;
};

QDBusMessage callService(const QString& path, const QString& interface, const QString& member,
                         const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(secrets, path, interface, member);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}

bool lockLogin() {
    const QDBusMessage reply = callService(
        QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"),
        {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(loginCollection)})});
    return reply.type() == QDBusMessage::ReplyMessage;
}

// Unlocks with the keyring's password, as the login does, without a prompt.
bool unlockLogin() {
    const QDBusMessage session =
        callService(QStringLiteral("/org/freedesktop/secrets"),
                    QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("OpenSession"),
                    {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (session.type() != QDBusMessage::ReplyMessage || session.arguments().size() < 2)
        return false;
    QDBusArgument secret;
    secret.beginStructure();
    secret << session.arguments().at(1).value<QDBusObjectPath>() << QByteArray()
           << QByteArray("kippets-test") << QStringLiteral("text/plain");
    secret.endStructure();
    const QDBusMessage reply = callService(
        QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
        QStringLiteral("UnlockWithMasterPassword"),
        {QVariant::fromValue(QDBusObjectPath(loginCollection)), QVariant::fromValue(secret)});
    return reply.type() == QDBusMessage::ReplyMessage;
}

int lockedLines(const LogCapture& log) {
    int count = 0;
    for (const QString& line : log.lines())
        if (line.contains(QStringLiteral("The keyring is locked")))
            ++count;
    return count;
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
        QVERIFY2(qEnvironmentVariableIntValue("KIPPETS_KEYRING_PID") > 0,
                 "run through scripts/with-keyring");
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerService(QStringLiteral("org.gnome.keyring.SystemPrompter")));
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
        QVERIFY(unlockLogin());
        store(storedKey);
        QVERIFY(lockLogin());
        prompter_.prompts = 0;
    }

    void cleanup() {
        KeychainStore::install(nullptr);
        QVERIFY(unlockLogin());
        store(std::nullopt);
    }

    // At start: no prompt, one log line, the key unknown rather than absent; the analysis waits
    // for the key instead of taking the classifier's answer, and no first mode is fixed on it.
    void aLockedKeyIsUnknownNotAbsent() {
        HttpClient http;
        HttpClient::install(&http);
        const auto uninstall = qScopeGuard([] { HttpClient::install(nullptr); });
        LogCapture log;
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        TaskRunner::finish(keychain.waitForFirstPresenceAnswer());
        QVERIFY(!keychain.presenceKnown(KeychainStore::apiKeyAccount));
        QVERIFY(!keychain.hasStoredKey(KeychainStore::apiKeyAccount));
        QCOMPARE(lockedLines(log), 1);
        QCOMPARE(prompter_.prompts, 0);
        try {
            TaskRunner::finish(keychain.read(KeychainStore::apiKeyAccount));
            QFAIL("a locked key read as a value");
        } catch (const KeychainError& error) {
            QCOMPARE(error.errorDescription(),
                     QStringLiteral("Failed to query keychain (status: -25308): the keyring is "
                                    "locked, so the stored key could not be read; unlock the login "
                                    "keyring in the desktop's keyring tool (such as Passwords and "
                                    "Keys)"));
        }
        // Deleting does not pretend to succeed on what it cannot see.
        QVERIFY_THROWS_EXCEPTION(KeychainError,
                                 TaskRunner::finish(keychain.remove(KeychainStore::apiKeyAccount)));

        AIService service;
        installAnalyzers(service);
        const KippetItem list =
            CloudTest::item(KippetItemType::text, "milk, eggs", QStringLiteral("list.txt"));
        for (const char* mode : {"", "byok"}) {
            if (*mode)
                Preferences::shared().setString(QStringLiteral("ai_mode"),
                                                QString::fromLatin1(mode));
            try {
                TaskRunner::finish(service.analyzeContent(list, {}));
                QFAIL("the analysis went on without the locked key");
            } catch (const AIServiceError& error) {
                QVERIFY(error.isRetryable());
                QCOMPARE(
                    error.userFacingMessage(),
                    QStringLiteral("Cannot analyze - keyring locked (will retry once unlocked)"));
            }
            if (!*mode)
                QVERIFY(!Preferences::shared().stringValue(QStringLiteral("ai_mode")));
        }
        QCOMPARE(cloud_.requests().size(), 0);
        QCOMPARE(lockedLines(log), 1);
        QCOMPARE(prompter_.prompts, 0);

        // Unlocked, the same store finds the key at the next analysis.
        QVERIFY(unlockLogin());
        const ContentAnalysis analysis = TaskRunner::finish(service.analyzeContent(list, {}));
        QCOMPARE(analysis.title, std::optional<QString>(QStringLiteral("Shopping")));
        QCOMPARE(cloud_.requests().last().header("authorization"),
                 ("Bearer " + storedKey).toUtf8());
    }

    // Settings says the keyring is locked, in the field and in the status; typing a new key is
    // one action and raises at most one prompt; once refused, more typing raises none.
    void settingsSayTheKeyringIsLockedAndPromptOnce() {
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        LogCapture log;
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        const QString lockedStatus =
            QStringLiteral("The keyring is locked, so the stored OpenAI key could not be read. "
                           "Unlock the login keyring in your desktop's keyring tool (such as "
                           "Passwords and Keys); items wait for analysis until then.");
        QCOMPARE(field->text(), QString());
        QCOMPARE(field->placeholderText(),
                 QStringLiteral("Keyring locked — the stored key could not be read"));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text(),
                 QStringLiteral("The keyring is locked, so the stored API key could not be read. "
                                "Unlock the login keyring in your desktop's keyring tool (such as "
                                "Passwords and Keys), then open Settings again."));
        QCOMPARE(h.aiStatus()->text(), lockedStatus);
        QCOMPARE(prompter_.prompts, 0);
        QCOMPARE(lockedLines(log), 1);

        const auto type = [&view, field](const QString& text) {
            QTest::keyClicks(field, text);
            QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        };
        type(QStringLiteral("sk-typed-new-0123456789abc"));
        // The save itself may ask for the unlock, once; the field's check and the write are one.
        QCOMPARE(prompter_.prompts, 1);
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text(),
                 QStringLiteral("Failed to save API key securely: the keyring is locked. Unlock "
                                "the login keyring in your desktop's keyring tool (such as "
                                "Passwords and Keys), then enter the key again."));
        QCOMPARE(h.aiStatus()->text(), lockedStatus);
        const int afterFirst = prompter_.prompts;
        type(QStringLiteral("d"));
        field->clear();
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(prompter_.prompts, afterFirst);
        QCOMPARE(lockedLines(log), 1);

        // Nothing was written over the stored key.
        QVERIFY(unlockLogin());
        QCOMPARE(TaskRunner::finish(KeychainStore().load(KeychainStore::apiKeyAccount)),
                 std::optional<QString>(storedKey));
    }

    // A keyring that does not answer holds up nothing: the status says the key is being read,
    // and then that it could not be, without asking for a key as if none were stored.
    void settingsFollowAKeyringThatDoesNotAnswer() {
        QVERIFY(unlockLogin());
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
        QVERIFY(!view.isAPIKeyLoaded());
        testClock().advance(KeychainStore::defaultTimeout);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("The stored OpenAI key could not be read: the Secret Service did "
                                "not answer in time (is the keyring locked?)"));
    }
};

QTEST_MAIN(LockedKeyringTest)
#include "LockedKeyringTest.moc"
