#include "analysis/KeychainStore.h"
#include "dashboard/SettingsHarness.h"
#include "support/KeyringLogin.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLineEdit>
#include <QProcess>

// A key typed by hand, key by key through the X server, into the settings while the keyring is
// locked, with a pause halfway. The keyring is a real gnome-keyring on a private bus and its prompt
// the desktop's own (gcr-prompter), which takes the keyboard while it is shown: what the user types
// goes to the window that holds the keyboard, as on a desktop.
namespace {
const QString storedKey = QStringLiteral("sk-stored-earlier-0123456789");

void store(const std::optional<QString>& key) {
    KeychainStore writer;
    if (key)
        TaskRunner::finish(writer.save(KeychainStore::apiKeyAccount, *key));
    else
        TaskRunner::finish(writer.remove(KeychainStore::apiKeyAccount));
}

// Runs xdotool without holding up the event loop: the keys it sends must reach this process's
// windows while it runs. False when it failed or did not end within the guard.
bool xdotool(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForStarted())
        return false;
    const bool ended =
        TaskRunner::waitUntil([&tool] { return tool.state() == QProcess::NotRunning; }, 60000);
    if (output)
        *output = tool.readAllStandardOutput();
    return ended && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

// The keyring's prompt is on screen.
bool promptShown() {
    QByteArray windows;
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--class"), QStringLiteral("gcr-prompter")},
                   &windows) &&
           !windows.trimmed().isEmpty();
}
} // namespace

class TypedKeyPromptTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run through scripts/with-keyring");
    }

    void init() {
        TestEnvironment::resetPreferences();
        QVERIFY(KeyringLogin::unlock());
        store(storedKey);
        QVERIFY(KeyringLogin::lock());
    }

    void cleanup() {
        KeychainStore::install(nullptr);
        // A prompt left open by a failed case is dismissed.
        if (promptShown())
            xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        QVERIFY(KeyringLogin::unlock());
        store(std::nullopt);
    }

    // Typed at 150 ms a key with a pause of 3 s after 30 characters, as a key copied from a
    // phone or paper is: the pause saves nothing, since saving would open the unlock prompt and
    // the rest of the key would go into its password field. Return ends the typing; then the
    // one prompt waits for the user as long as they take, and its answer decides the save.
    void aKeyTypedWithAPauseIntoALockedKeyringIsKeptWhole() {
        KeychainStore keychain;
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        h.dashboard->activateWindow();
        field->setFocus();
        QVERIFY(TaskRunner::waitUntil([&h, field] {
            return h.dashboard->isActiveWindow() && QApplication::focusWidget() == field;
        }));

        const QString firstPart = QStringLiteral("sk-typed-in-two-parts-01234567");
        const QString rest = QStringLiteral("89abcdef");
        QCOMPARE(firstPart.size(), 30);
        // xdotool waits half its delay after each press and each release: 150 ms a key.
        QVERIFY(xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("300"), firstPart}));
        QVERIFY(TaskRunner::waitUntil([field, &firstPart] { return field->text() == firstPart; }));
        QVERIFY(!promptShown());

        // The pause: the keyring is asked, without a prompt, whether the key can be kept.
        testClock().advance(std::chrono::seconds(3));
        QVERIFY(view.isKeyWriting());
        QVERIFY(TaskRunner::waitUntil([&view] { return !view.isKeyWriting() || promptShown(); },
                                      60000));
        QVERIFY2(!promptShown(), "a pause opened the unlock prompt");
        QVERIFY(!view.isKeySettled());
        QCOMPARE(view.saveError(), std::nullopt);
        QCOMPARE(view.saveSuccess(), std::nullopt);

        // The rest of the key goes into the field, and no prompt follows another pause either.
        QVERIFY(xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("300"), rest}));
        const QString typed = firstPart + rest;
        QVERIFY(TaskRunner::waitUntil([field, &typed] { return field->text() == typed; }));
        testClock().advance(std::chrono::seconds(3));
        QVERIFY(TaskRunner::waitUntil([&view] { return !view.isKeyWriting() || promptShown(); },
                                      60000));
        QVERIFY(!promptShown());
        QVERIFY(!view.isKeySettled());

        // Return ends the typing: the keyring asks to be unlocked.
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
        QVERIFY(TaskRunner::waitUntil(promptShown, 60000));
        // Long past any time-out of a call, the prompt is still the user's.
        testClock().advance(std::chrono::seconds(13));
        QCoreApplication::processEvents();
        QVERIFY(!view.isKeySettled());
        QCOMPARE(view.saveError(), std::nullopt);

        // The user answers the prompt with the keyring's password; it holds the keyboard.
        QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("50"),
                         QStringLiteral("kippets-test")}));
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }, 60000));
        QCOMPARE(view.saveError(), std::nullopt);
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveSuccess"))->text(),
                 QStringLiteral("API key saved successfully"));
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("OpenAI key configured — configure details below."));
        QCOMPARE(field->text(), typed);
        QCOMPARE(TaskRunner::finish(KeychainStore().load(KeychainStore::apiKeyAccount)),
                 std::optional<QString>(typed));

        // Unlocked now, the keyring asks nothing: a pause saves, and so does moving on.
        QVERIFY(TaskRunner::waitUntil([&h, field] {
            return h.dashboard->isActiveWindow() && QApplication::focusWidget() == field;
        }));
        QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("300"),
                         QStringLiteral("x")}));
        QVERIFY(TaskRunner::waitUntil([field, &typed] { return field->text() == typed + "x"; }));
        testClock().advance(std::chrono::milliseconds(1500));
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }, 60000));
        QCOMPARE(view.saveSuccess(),
                 std::optional<QString>(QStringLiteral("API key saved successfully")));
        QCOMPARE(TaskRunner::finish(KeychainStore().load(KeychainStore::apiKeyAccount)),
                 std::optional<QString>(typed + QStringLiteral("x")));
        QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("300"),
                         QStringLiteral("y")}));
        QVERIFY(TaskRunner::waitUntil([field, &typed] { return field->text() == typed + "xy"; }));
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Tab")}));
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }, 60000));
        QVERIFY(!promptShown());
        QCOMPARE(TaskRunner::finish(KeychainStore().load(KeychainStore::apiKeyAccount)),
                 std::optional<QString>(typed + QStringLiteral("xy")));
    }
};

QTEST_MAIN(TypedKeyPromptTest)
#include "TypedKeyPromptTest.moc"
