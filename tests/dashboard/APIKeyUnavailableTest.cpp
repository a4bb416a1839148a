#include "analysis/KeychainStore.h"
#include "dashboard/SettingsHarness.h"
#include "ui/Theme.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTranslator>
#include <algorithm>

// The cloud API key section where no Secret Service runs: the save fails with its reason, the
// verified state stays, and nothing is written to disk.
namespace {
QStringList filesHolding(const QString& root, const QByteArray& text) {
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text))
            found.append(file.fileName());
    }
    return found;
}
const char* networklessMark = "KIPPETS_IN_NETWORKLESS_NAMESPACE";

// Every text Qt translates comes out reversed.
class ReversedTexts : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char*, const char* source, const char*, int) const override {
        QString text = QString::fromUtf8(source);
        std::reverse(text.begin(), text.end());
        return text;
    }
};
} // namespace

class APIKeyUnavailableTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                ("unix:path=" + TestEnvironment::root() + "/no-such-bus").toUtf8());
    }

    void aNetworkOutOfReachIsNoInternetConnection() {
        if (!qEnvironmentVariableIsSet(networklessMark)) {
            // Run again in a network namespace of its own, where no route leads anywhere.
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(networklessMark, "1");
            child.setProcessEnvironment(environment);
            child.start(QStringLiteral("unshare"),
                        {QStringLiteral("-rn"), QCoreApplication::applicationFilePath(),
                         QStringLiteral("aNetworkOutOfReachIsNoInternetConnection")});
            if (!child.waitForStarted())
                QSKIP("unshare is not installed");
            QVERIFY(child.waitForFinished(120000));
            const QByteArray output = child.readAllStandardOutput() + child.readAllStandardError();
            if (child.exitCode() != 0 && output.startsWith("unshare:"))
                QSKIP("no network namespace may be made here");
            QVERIFY2(child.exitCode() == 0, output.constData());
            return;
        }
        // Qt's messages in another language: the cause must be read from the code alone.
        ReversedTexts reversed;
        QCoreApplication::installTranslator(&reversed);
        QVERIFY(QCoreApplication::translate("QNativeSocketEngine", "Network unreachable") !=
                QStringLiteral("Network unreachable"));
        qputenv("KIPPETS_OPENAI_BASE_URL", "https://203.0.113.1");
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        SettingsTabView& view = h.open();
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        field->insert(QStringLiteral("sk-never-sent-anywhere-0123456789"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QSignalSpy finished(&view, &SettingsTabView::connectionTestFinished);
        QTest::mouseClick(h.find<QPushButton>(QStringLiteral("byok_testButton")), Qt::LeftButton);
        QVERIFY(TaskRunner::waitUntil([&finished] { return finished.count() == 1; }));
        QCOMPARE(view.testResult()->message, QStringLiteral("No internet connection."));
        QCoreApplication::removeTranslator(&reversed);
        qunsetenv("KIPPETS_OPENAI_BASE_URL");
        h.dashboard.reset();
    }

    void aFailedSaveShowsItsReasonAndKeepsTheVerifiedState() {
        SettingsHarness h;
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        h.app.preferences().setBool(QStringLiteral("api_key_verified"), true);
        const QString key = QStringLiteral("sk-never-written-0123456789");
        h.app.preferences().setString(QStringLiteral("verified_api_key_hash"),
                                      SettingsTabView::apiKeyHash(key));
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        LogCapture log;
        // Pasted: one change of the field, whose digest is the verified one, kept once the
        // typing pauses.
        h.find<QLineEdit>(QStringLiteral("byok_keyField"))->insert(key);
        testClock().advance(std::chrono::milliseconds(1500));
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QVERIFY(view.saveError().has_value());
        QVERIFY2(view.saveError()->startsWith("Failed to save API key securely: "),
                 qPrintable(*view.saveError()));
        QVERIFY(view.saveError()->contains("org.freedesktop.secrets"));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text(),
                 *view.saveError());
        // No key is stored, whatever the field holds, nor can one be: the status line says why
        // rather than ask for a key.
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("No keyring is running — the OpenAI key cannot be stored. Start a "
                                "keyring such as GNOME Keyring or KWallet."));
        QCOMPARE(h.aiStatus()->tint(), Theme::orange());
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("api_key_verified")), true);
        QCOMPARE(h.app.preferences().stringValue(QStringLiteral("verified_api_key_hash")),
                 SettingsTabView::apiKeyHash(key));
        h.app.preferences().sync();
        QCOMPARE(filesHolding(TestEnvironment::root(), key.toUtf8()), QStringList());
        QVERIFY(!log.contains(key));
        h.dashboard.reset();
        KeychainStore::install(nullptr);
    }

    // With no keyring to read, showing the tab again says that the key cannot be read, and only
    // that: the field keeps what was typed, and nothing is removed that the user did not remove.
    void aKeyThatCannotBeReadIsSaidSoAndTheFieldIsKept() {
        SettingsHarness h;
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        const auto toldCannotRead = [&view] {
            return view.saveError() &&
                   view.saveError()->startsWith(
                       QStringLiteral("Failed to read the stored API key: ")) &&
                   view.saveError()->contains(QStringLiteral("org.freedesktop.secrets"));
        };
        QVERIFY2(toldCannotRead(), qPrintable(view.saveError().value_or(QString())));
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("No keyring is running — the OpenAI key cannot be stored. Start a "
                                "keyring such as GNOME Keyring or KWallet."));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        const QString key = QStringLiteral("sk-typed-but-never-stored-0123456789");
        field->insert(key);
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QVERIFY(view.saveError()->startsWith(QStringLiteral("Failed to save API key securely: ")));

        QSignalSpy loaded(&view, &SettingsTabView::apiKeyLoaded);
        h.showKippetsTab();
        h.showSettingsTab();
        QVERIFY(TaskRunner::waitUntil([&loaded] { return loaded.count() == 1; }));
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QCOMPARE(field->text(), key);
        QVERIFY2(toldCannotRead(), qPrintable(view.saveError().value_or(QString())));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text(),
                 *view.saveError());
        QVERIFY(!h.shown(QStringLiteral("APIKeySaveSuccess")));
        h.dashboard.reset();
        KeychainStore::install(nullptr);
    }
};

QTEST_MAIN(APIKeyUnavailableTest)
#include "APIKeyUnavailableTest.moc"
