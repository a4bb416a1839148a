#include "CloudTestSupport.h"
#include "analysis/AIService.h"
#include "analysis/AnalyzerWiring.h"
#include "analysis/KeychainStore.h"
#include "analysis/LocalModelServer.h"
#include "platform/Preferences.h"
#include "support/KeyringPause.h"

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTest>

using namespace CloudTest;

// The API key as a new run of the app finds it: stored by an earlier process, read from the
// Secret Service at start whatever the analysis settings say, and waited for by the first
// analysis when the keyring is slow to answer. Runs inside a private keyring; fresh processes
// are this test program started again in the role of a new run.
namespace {
const QString storedKey = QStringLiteral("sk-earlier-run-0123456789");
const QString freshProcessArgument = QStringLiteral("--as-fresh-process");

KippetItem shoppingList() {
    return item(KippetItemType::text, "milk, eggs", QStringLiteral("list.txt"));
}

TestHttpResponse modelAnswer() {
    return TestHttpResponse::json(responsesBody(
        QStringLiteral(R"({"category":"Documents","title":"Shopping","description":"A list."})")));
}

// What this process asks the Secret Service and what comes back, as the session bus passes them
// on (dbus-monitor): a call the bus has handed to the keyring and no answer has come back for is
// one the keyring holds.
class KeyringCalls {
public:
    KeyringCalls() : self_(QDBusConnection::sessionBus().baseService()) {
        monitor_.start(QStringLiteral("dbus-monitor"),
                       {QStringLiteral("--session"),
                        QStringLiteral("type='method_call',destination='%1'").arg(secrets),
                        QStringLiteral("type='method_return',sender='%1'").arg(secrets),
                        QStringLiteral("type='error',sender='%1'").arg(secrets)});
        // A monitor gives up its name once the bus has made it one: from then on it sees all.
        watching_ = monitor_.waitForStarted() &&
                    QTest::qWaitFor([this] { return read().contains("member=NameLost"); }, 20000);
    }
    ~KeyringCalls() {
        monitor_.kill();
        monitor_.waitForFinished();
    }
    KeyringCalls(const KeyringCalls&) = delete;
    KeyringCalls& operator=(const KeyringCalls&) = delete;

    bool isWatching() const { return watching_; }
    // Waits until a call of this process has reached the keyring, and says whether one has, with
    // no answer to it: then the keyring holds it.
    bool waitForOneHeld() {
        return QTest::qWaitFor(
            [this] {
                read();
                return !unanswered_.isEmpty();
            },
            20000);
    }
    QString seen() const { return QString::fromUtf8(seen_); }

private:
    static inline const QString secrets = QStringLiteral("org.freedesktop.secrets");

    // Reads what the monitor printed since, and follows the calls and their answers.
    const QByteArray& read() {
        seen_ += monitor_.readAllStandardOutput();
        const QList<QByteArray> lines = seen_.split('\n');
        unanswered_.clear();
        const QByteArray from = " sender=" + self_.toUtf8() + " -> ";
        const QByteArray to = " -> destination=" + self_.toUtf8() + " ";
        for (const QByteArray& line : lines) {
            if (line.startsWith("method call ") && line.contains(from)) {
                unanswered_.insert(field(line, "serial="));
            } else if ((line.startsWith("method return ") || line.startsWith("error ")) &&
                       line.contains(to)) {
                unanswered_.remove(field(line, "reply_serial="));
            }
        }
        return seen_;
    }
    static QByteArray field(const QByteArray& line, const QByteArray& name) {
        const qsizetype at = line.indexOf(" " + name);
        return at < 0 ? QByteArray() : line.mid(at + 1 + name.size()).split(' ').first();
    }

    const QString self_;
    QProcess monitor_;
    QByteArray seen_;
    bool watching_ = false;
    QSet<QByteArray> unanswered_;
};

// Whether the keyring daemon is stopped, as the system says.
bool keyringIsStopped() {
    QFile stat(
        QStringLiteral("/proc/%1/stat").arg(qEnvironmentVariableIntValue("KIPPETS_KEYRING_PID")));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2).startsWith('T');
}

// Lets whatever the keyring's silence does not hold up run: the events ready now, a few rounds.
void letEventsRun() {
    for (int round = 0; round < 20; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The new run: the app's services over the keyring, then one analysis. Prints what it saw.
int runAsFreshProcess(const QStringList& arguments) {
    const bool analysisSwitchedOff = arguments.contains(QStringLiteral("ai_enabled=false"));
    const bool waitsLikeStartUp = arguments.contains(QStringLiteral("wait-for-key"));
    if (analysisSwitchedOff)
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), false);
    HttpClient http;
    HttpClient::install(&http);
    LocalModelServer localModel;
    LocalModelServer::install(&localModel);
    KeychainStore keychain;
    KeychainStore::install(&keychain);
    AIService service;
    installAnalyzers(service);
    QTextStream out(stdout);
    if (waitsLikeStartUp) {
        TaskRunner::finish(keychain.waitForFirstPresenceAnswer());
        out << "key stored: "
            << (keychain.hasStoredKey(KeychainStore::apiKeyAccount) ? "true" : "false") << '\n';
    }
    int status = 0;
    try {
        const ContentAnalysis analysis =
            TaskRunner::finish(service.analyzeContent(shoppingList(), {}));
        out << "title: " << analysis.title.value_or(QStringLiteral("nil")) << '\n';
    } catch (const std::exception& error) {
        out << "failed: " << error.what() << '\n';
        status = 1;
    }
    out << "ai_mode: " << Preferences::shared().stringOr(QStringLiteral("ai_mode"), "unset")
        << '\n';
    KeychainStore::install(nullptr);
    LocalModelServer::install(nullptr);
    HttpClient::install(nullptr);
    return status;
}
} // namespace

class KeyPresenceTest : public QObject {
    Q_OBJECT
private:
    TestHttpServer cloud_;
    TestHttpServer localModel_;
    std::unique_ptr<HttpClient> http_;
    std::unique_ptr<LocalModelServer> localModelServer_;

    void storeKey(const std::optional<QString>& key) {
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
        QVERIFY(cloud_.start());
        QVERIFY(localModel_.start());
        cloud_.setHandler([](const TestHttpRequest&) { return modelAnswer(); });
        // A local model server with nothing to run, so no chain waits on it.
        localModel_.setHandler([](const TestHttpRequest&) {
            return TestHttpResponse::json(R"({"object":"list","data":[]})");
        });
        qputenv("KIPPETS_OPENAI_BASE_URL", cloud_.baseUrl().toString().toUtf8());
        qputenv("KIPPETS_LOCAL_MODEL_URL", (localModel_.baseUrl().toString() + "/v1").toUtf8());
        http_ = std::make_unique<HttpClient>();
        HttpClient::install(http_.get());
        localModelServer_ = std::make_unique<LocalModelServer>();
        LocalModelServer::install(localModelServer_.get());
    }

    void init() {
        TestEnvironment::resetPreferences();
        storeKey(storedKey);
    }

    void cleanup() {
        KeychainStore::install(nullptr);
        storeKey(std::nullopt);
    }

    void cleanupTestCase() {
        LocalModelServer::install(nullptr);
        HttpClient::install(nullptr);
    }

    void aKeyStoredByAnEarlierRunIsSeenByTheNext_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("keyLine");
        QTest::newRow("ai_enabled unset, first analysis at once") << QStringList{} << QString();
        QTest::newRow("ai_enabled false, after the start-up wait")
            << QStringList{"ai_enabled=false", "wait-for-key"}
            << QStringLiteral("key stored: true");
    }
    void aKeyStoredByAnEarlierRunIsSeenByTheNext() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, keyLine);
        const qsizetype before = cloud_.requests().size();
        QProcess fresh;
        fresh.start(QCoreApplication::applicationFilePath(),
                    QStringList{freshProcessArgument} + arguments);
        QVERIFY(fresh.waitForStarted());
        // This process serves the cloud model while the new run asks it.
        QVERIFY(TaskRunner::waitUntil([&] { return fresh.state() == QProcess::NotRunning; }));
        const QString output = QString::fromUtf8(fresh.readAllStandardOutput());
        QCOMPARE(fresh.exitCode(), 0);
        const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
        if (!keyLine.isEmpty())
            QVERIFY2(lines.contains(keyLine), qPrintable(output));
        QVERIFY2(lines.contains(QStringLiteral("title: Shopping")), qPrintable(output));
        // The first use of a machine with a stored key picks the cloud.
        QVERIFY2(lines.contains(QStringLiteral("ai_mode: byok")), qPrintable(output));
        QCOMPARE(cloud_.requests().size(), before + 1);
        QCOMPARE(cloud_.requests().last().header("authorization"),
                 ("Bearer " + storedKey).toUtf8());
    }

    void aLateKeyringMakesTheFirstAnalysisWait() {
        KeyringCalls calls;
        QVERIFY(calls.isWatching());
        KeyringPause pause;
        KeychainStore keychain;
        KeychainStore::install(&keychain); // the presence read is now on its way, unanswered
        AIService service;
        installAnalyzers(service);
        const qsizetype before = cloud_.requests().size();
        auto analysis = TaskRunner::settle(service.analyzeContent(shoppingList(), {}));
        // The keyring holds the read: it has it, stopped, and has not answered.
        QVERIFY2(calls.waitForOneHeld(), qPrintable(calls.seen()));
        QVERIFY(keyringIsStopped());
        letEventsRun();
        QVERIFY(!analysis->done); // waiting for the keyring, not falling back to the classifier
        QVERIFY2(calls.waitForOneHeld(), qPrintable(calls.seen()));
        QVERIFY(!keychain.presenceKnown(KeychainStore::apiKeyAccount));
        QVERIFY(!Preferences::shared().stringValue(QStringLiteral("ai_mode")));

        pause.resume();
        const ContentAnalysis result = TaskRunner::result(analysis);
        QCOMPARE(result.title, std::optional<QString>(QStringLiteral("Shopping")));
        QCOMPARE(result.category, ItemCategory::documents);
        QCOMPARE(cloud_.requests().size(), before + 1);
        QVERIFY(keychain.hasStoredKey(KeychainStore::apiKeyAccount));
        QCOMPARE(Preferences::shared().stringValue(QStringLiteral("ai_mode")),
                 std::optional<QString>(QStringLiteral("byok")));
    }

    void aReadThatTimedOutIsTriedAgainByTheNextAnalysis() {
        Preferences::shared().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        KeyringCalls calls;
        QVERIFY(calls.isWatching());
        KeyringPause pause;
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        AIService service;
        installAnalyzers(service);
        const qsizetype before = cloud_.requests().size();

        auto first = TaskRunner::settle(service.analyzeContent(shoppingList(), {}));
        auto startUp = TaskRunner::settle(keychain.waitForFirstPresenceAnswer());
        QVERIFY2(calls.waitForOneHeld(), qPrintable(calls.seen()));
        QVERIFY(keyringIsStopped());
        letEventsRun();
        QVERIFY(!first->done && !startUp->done);
        QVERIFY2(calls.waitForOneHeld(), qPrintable(calls.seen()));
        testClock().advance(KeychainStore::defaultTimeout);
        // The start-up goes on, and this one analysis falls back, without the key ...
        TaskRunner::result(startUp);
        QCOMPARE(TaskRunner::result(first).category, ItemCategory::notes);
        QCOMPARE(cloud_.requests().size(), before);
        QVERIFY(!keychain.presenceKnown(KeychainStore::apiKeyAccount));

        // ... but the run does not take "no key" for an answer: the next analysis asks again.
        pause.resume();
        const ContentAnalysis second =
            TaskRunner::finish(service.analyzeContent(shoppingList(), {}));
        QCOMPARE(second.title, std::optional<QString>(QStringLiteral("Shopping")));
        QCOMPARE(cloud_.requests().size(), before + 1);
    }

    void instructionsAreScreenedOnceTheLateKeyringAnswers() {
        Preferences::shared().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        cloud_.setHandler([](const TestHttpRequest&) {
            return TestHttpResponse::json(responsesBody(QStringLiteral("Sort by client.")));
        });
        KeyringCalls calls;
        QVERIFY(calls.isWatching());
        KeyringPause pause;
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        AIService service;
        installAnalyzers(service);
        auto screening = TaskRunner::settle(service.sanitizeInstructions("sort by client"));
        QVERIFY2(calls.waitForOneHeld(), qPrintable(calls.seen()));
        QVERIFY(keyringIsStopped());
        letEventsRun();
        QVERIFY(!screening->done);
        QVERIFY2(calls.waitForOneHeld(), qPrintable(calls.seen()));
        pause.resume();
        QCOMPARE(TaskRunner::result(screening), QStringLiteral("Sort by client."));
        cloud_.setHandler([](const TestHttpRequest&) { return modelAnswer(); });
    }

    void saveAndDeleteKeepThePresenceCurrent() {
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        TaskRunner::finish(keychain.waitForFirstPresenceAnswer());
        QVERIFY(keychain.hasStoredKey(KeychainStore::apiKeyAccount));
        TaskRunner::finish(keychain.remove(KeychainStore::apiKeyAccount));
        QVERIFY(keychain.presenceKnown(KeychainStore::apiKeyAccount));
        QVERIFY(!keychain.hasStoredKey(KeychainStore::apiKeyAccount));

        // A presence read under way when the key is saved cannot undo the save.
        KeyringPause pause;
        keychain.startPresenceRead();
        auto saving = TaskRunner::settle(keychain.save(KeychainStore::apiKeyAccount, storedKey));
        pause.resume();
        TaskRunner::result(saving);
        TaskRunner::finish(keychain.ensurePresenceKnown());
        QVERIFY(keychain.hasStoredKey(KeychainStore::apiKeyAccount));
        QCOMPARE(keychain.cachedValue(KeychainStore::apiKeyAccount),
                 std::optional<QString>(storedKey));
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.contains(freshProcessArgument))
        return runAsFreshProcess(arguments);
    KeyPresenceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "KeyPresenceTest.moc"
