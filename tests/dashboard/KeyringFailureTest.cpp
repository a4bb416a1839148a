#include "analysis/KeychainStore.h"
#include "dashboard/SettingsHarness.h"
#include "support/KeyringLogin.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <csignal>

// Saves of the key that a real keyring (gnome-keyring on a private bus, scripts/with-keyring)
// cannot finish: its daemon dies while its unlock prompt is open, and later it has no keyring to
// keep a key in. The test owns the unlock prompter's name and holds every prompt, as a user who
// has not answered yet. The cases run in order: the first ends the keyring that the wrapper
// started and starts another on the same files, which the test ends when it is done.
namespace {
const QString storedKey = QStringLiteral("sk-stored-earlier-0123456789");
const QString secrets = QStringLiteral("org.freedesktop.secrets");

class HoldingPrompter : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (message.member() == QLatin1String("BeginPrompting")) {
            held.append(message);
            return true;
        }
        bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                          QStringLiteral("cancelled")));
        return true;
    }
    QList<QDBusMessage> held;
};

pid_t keyringPid() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus->isServiceRegistered(secrets).value())
        return 0;
    return static_cast<pid_t>(bus->servicePid(secrets).value());
}

void store(const std::optional<QString>& key) {
    KeychainStore writer;
    if (key)
        TaskRunner::finish(writer.save(KeychainStore::apiKeyAccount, *key));
    else
        TaskRunner::finish(writer.remove(KeychainStore::apiKeyAccount));
}

qsizetype linesWith(const LogCapture& log, const QString& text) {
    return log.lines().filter(text).size();
}
} // namespace

class KeyringFailureTest : public QObject {
    Q_OBJECT
private:
    HoldingPrompter prompter_;
    // The keyring this test started, once it has.
    pid_t restarted_ = 0;

    // A keyring as scripts/with-keyring starts one, on the same files: it unlocks the login
    // keyring with its password.
    bool startKeyring() {
        QProcess daemon;
        daemon.setStandardOutputFile(QProcess::nullDevice());
        daemon.start(QStringLiteral("gnome-keyring-daemon"),
                     {QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        if (!daemon.waitForStarted())
            return false;
        daemon.write("kippets-test");
        daemon.closeWriteChannel();
        // It forks the keyring and ends; the keyring claims its name a moment later.
        if (!TaskRunner::waitUntil([&daemon] { return daemon.state() == QProcess::NotRunning; }))
            return false;
        if (!TaskRunner::waitUntil([] { return keyringPid() > 0; }))
            return false;
        restarted_ = keyringPid();
        return true;
    }

private slots:
    void initTestCase() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.registerService(QStringLiteral("org.gnome.keyring.SystemPrompter")),
                 "run through scripts/with-keyring");
        QVERIFY(bus.registerVirtualObject(QStringLiteral("/org/gnome/keyring/Prompter"), &prompter_,
                                          QDBusConnection::SubPath));
        QVERIFY(qEnvironmentVariableIntValue("KIPPETS_KEYRING_PID") > 0);
    }

    void cleanup() {
        KeychainStore::install(nullptr);
        prompter_.held.clear();
    }

    void cleanupTestCase() {
        if (restarted_ > 0)
            ::kill(restarted_, SIGTERM);
    }

    // The keyring's daemon dies while its unlock prompt is open: the save ends at once with what
    // happened and what to do, in Settings and in the log. A keyring started again is used by
    // the next save, with no restart of the app.
    void aKeyringThatLeavesEndsTheSaveAndOneThatReturnsIsUsed() {
        TestEnvironment::resetPreferences();
        QVERIFY(KeyringLogin::unlock());
        store(storedKey);
        QVERIFY(KeyringLogin::lock());
        KeychainStore keychain;
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        LogCapture log;
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        const QString typed = QStringLiteral("sk-typed-new-0123456789abc");
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([this] { return prompter_.held.size() == 1; }));
        QVERIFY(!view.isKeySettled());

        const pid_t daemon = qEnvironmentVariableIntValue("KIPPETS_KEYRING_PID");
        QCOMPARE(keyringPid(), daemon);
        QCOMPARE(::kill(daemon, SIGKILL), 0);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text(),
                 QStringLiteral("Failed to save API key securely: the keyring stopped before it "
                                "answered (org.freedesktop.secrets left the session bus); start "
                                "the keyring again (logging out and in again starts it), then "
                                "enter the key again"));
        QVERIFY(h.shown(QStringLiteral("APIKeySaveError")));
        QCOMPARE(view.saveSuccess(), std::nullopt);
        QCOMPARE(
            linesWith(log, QStringLiteral("⚠️ [Keychain] The keyring (org.freedesktop.secrets) "
                                          "left the session bus.")),
            1);
        QCOMPARE(
            linesWith(log, QStringLiteral("⚠️ [Keychain] The key could not be saved in the "
                                          "keyring: the keyring stopped before it answered")),
            1);

        QSignalSpy returned(&keychain, &KeychainStore::keyringReturned);
        QVERIFY(startKeyring());
        QVERIFY(TaskRunner::waitUntil([&returned] { return returned.count() == 1; }));
        // The user enters the key again.
        QTest::keyClicks(field, QStringLiteral("d"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(view.saveError(), std::nullopt);
        QCOMPARE(view.saveSuccess(),
                 std::optional<QString>(QStringLiteral("API key saved successfully")));
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("OpenAI key configured — configure details below."));
        QCOMPARE(TaskRunner::finish(KeychainStore().load(KeychainStore::apiKeyAccount)),
                 std::optional<QString>(typed + QStringLiteral("d")));
        QCOMPARE(prompter_.held.size(), 1);
    }

    // A keyring with no keyring to keep items in, as one that D-Bus activation starts in a fresh
    // session: the save says so and what to do, in Settings and in the log, rather than only
    // that it failed.
    void aSaveThatFailsSaysWhyAndWhatToDo() {
        // Whatever the case before left.
        if (keyringPid() == 0)
            QVERIFY(startKeyring());
        TestEnvironment::resetPreferences();
        QVERIFY(KeyringLogin::unlock());
        store(std::nullopt);
        const QDBusMessage deleted =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                secrets, KeyringLogin::path(), QStringLiteral("org.freedesktop.Secret.Collection"),
                QStringLiteral("Delete")));
        QCOMPARE(deleted.type(), QDBusMessage::ReplyMessage);
        KeychainStore keychain;
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        LogCapture log;
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        QTest::keyClicks(field, QStringLiteral("sk-typed-new-0123456789abc"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        const QString error = h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text();
        QVERIFY2(error.startsWith(QStringLiteral("Failed to save API key securely: the keyring "
                                                 "has no default keyring to keep the key in (")),
                 qPrintable(error));
        QVERIFY2(error.endsWith(QStringLiteral("); create a keyring (or choose one as the "
                                               "default) in your desktop's keyring tool (such as "
                                               "Passwords and Keys), then enter the key again")),
                 qPrintable(error));
        QCOMPARE(
            linesWith(log, QStringLiteral("⚠️ [Keychain] The key could not be saved in the "
                                          "keyring: the keyring has no default keyring")),
            1);
        QCOMPARE(prompter_.held.size(), 0);
    }
};

QTEST_MAIN(KeyringFailureTest)
#include "KeyringFailureTest.moc"
