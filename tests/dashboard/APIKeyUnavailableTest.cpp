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
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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

// Where the system's proxy configuration file is to be fetched from: a server that takes the
// connection and never answers, on a thread of its own so that it holds even while the test's
// own thread is held. It gives up by itself only after a long while, so that a test held by it
// ends, and says whether it had to.
class SilentConfigServer {
public:
    SilentConfigServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) ||
            ::listen(listener_, 8) ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length))
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~SilentConfigServer() {
        release();
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            ::close(listener_);
    }
    quint16 port() const { return port_; }
    int connections() const { return connections_; }
    bool gaveUp() const { return gaveUp_; }
    // Closes the connections it holds: the fetch fails.
    void release() { released_ = true; }

private:
    void serve() {
        std::vector<int> held;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!released_) {
            if (std::chrono::steady_clock::now() > deadline) {
                gaveUp_ = true;
                break;
            }
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 20) == 1) {
                const int connection = ::accept(listener_, nullptr, nullptr);
                if (connection >= 0) {
                    held.push_back(connection);
                    ++connections_;
                }
            }
        }
        for (const int connection : held)
            ::close(connection);
    }

    int listener_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
    std::atomic<bool> released_{false};
    std::atomic<bool> gaveUp_{false};
    std::atomic<int> connections_{0};
};

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

    // The system's proxy settings name a configuration file that never arrives. The lookup is
    // made off the GUI thread: the button says it is testing while it waits, and the test ends
    // with its request's time-out.
    void aProxyLookupThatNeverEndsStillShowsTestingAndEnds() {
        SilentConfigServer config;
        QVERIFY(config.port() != 0);
        const QByteArray pac =
            "pac+http://127.0.0.1:" + QByteArray::number(config.port()) + "/p.pac";
        qputenv("http_proxy", pac);
        qputenv("https_proxy", pac);
        qputenv("KIPPETS_OPENAI_BASE_URL", "http://203.0.113.1");
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        SettingsTabView& view = h.open();
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        auto* field = h.find<QLineEdit>(QStringLiteral("byok_keyField"));
        field->insert(QStringLiteral("sk-never-sent-anywhere-0123456789"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        auto* button = h.find<QPushButton>(QStringLiteral("byok_testButton"));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(TaskRunner::waitUntil([&config] { return config.connections() > 0; }, 60000));
        // The click came back while the file was still awaited.
        QVERIFY(!config.gaveUp());
        QVERIFY(view.isTestingConnection());
        QCOMPARE(button->text(), QStringLiteral("Testing…"));
        testClock().advance(std::chrono::seconds(15));
        QVERIFY(TaskRunner::waitUntil([&view] { return !view.isTestingConnection(); }));
        QCOMPARE(view.testResult()->message,
                 QStringLiteral("Connection timed out. Check your network."));
        QVERIFY(!config.gaveUp());
        config.release();
        h.dashboard.reset();
        qunsetenv("http_proxy");
        qunsetenv("https_proxy");
        qunsetenv("KIPPETS_OPENAI_BASE_URL");
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
