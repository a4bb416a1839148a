#include "analysis/KeychainStore.h"
#include "platform/Clock.h"
#include "support/KeyringPause.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QChildEvent>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDateTime>
#include <QPointer>
#include <QTest>
#include <optional>
#include <qt6keychain/keychain.h>

using TaskRunner::finish;

namespace {
const QString account = QStringLiteral("org.kippets.Kippets.test-key");
const QString firstKey = QStringLiteral("sk-first-0123456789");
const QString secondKey = QStringLiteral("sk-second-9876543210");

// How many Secret Service items hold a secret for the account, whatever their service.
int itemsForAccount(const QString& user) {
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                       "org.freedesktop.Secret.Service", "SearchItems");
    call << QVariant::fromValue(QMap<QString, QString>{{"user", user}});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return -1;
    int count = 0;
    for (const QVariant& list : reply.arguments())
        count += qdbus_cast<QList<QDBusObjectPath>>(list).size();
    return count;
}
// Writes as QtKeychain itself does, as earlier builds did: text as "plaintext", bytes as
// "base64". Each encoding is its own item.
bool writeAsQtKeychain(const QString& user, const QString& value, bool asText) {
    QKeychain::WritePasswordJob job(KeychainStore::serviceName);
    job.setAutoDelete(false);
    job.setKey(user);
    job.setInsecureFallback(false);
    if (asText)
        job.setTextData(value);
    else
        job.setBinaryData(value.toUtf8());
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, [&done] { done = true; });
    job.start();
    return TaskRunner::waitUntil([&done] { return done; }) && job.error() == QKeychain::NoError;
}

// The keyring stamps an item's changes to the second: the next write is newer once the second
// has turned.
void waitForTheNextSecond() {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    TaskRunner::waitUntil([now] { return QDateTime::currentSecsSinceEpoch() > now; }, 5000);
}
// Pauses the keyring once a store has made its first QtKeychain job, before that job can ask
// the keyring anything: the job's own start is queued behind this look at it.
class PauseAtFirstJob : public QObject {
public:
    explicit PauseAtFirstJob(QObject* store) { store->installEventFilter(this); }

    QPointer<QKeychain::Job> job;
    std::optional<KeyringPause> pause;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded) {
            // The child is not built in full yet; what it is shows once the event loop turns.
            const QPointer<QObject> child = static_cast<QChildEvent*>(event)->child();
            QMetaObject::invokeMethod(
                this,
                [this, child] {
                    auto* added = qobject_cast<QKeychain::Job*>(child.data());
                    if (!added || job)
                        return;
                    pause.emplace();
                    job = added;
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

class KeychainStoreTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<KeychainStore> store;

private slots:
    void initTestCase() {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run through scripts/with-keyring");
    }

    void init() {
        store = std::make_unique<KeychainStore>();
        KeychainStore::install(store.get());
        finish(store->remove(account));
    }

    void cleanup() {
        KeychainStore::install(nullptr);
        store.reset();
    }

    // The app may end, and its store with it, while QtKeychain still waits on the keyring. The
    // keyring's late answer must find the job it is for: nothing may be left for the event loop
    // that refers to what the store took with it.
    void aStoreEndingWhileAJobWaitsOnTheKeyringLeavesNothingBehind() {
        // The account holds nothing (init removed it): a read searches, then asks QtKeychain.
        auto ending = std::make_unique<KeychainStore>();
        PauseAtFirstJob watch(ending.get());
        ending->startPresenceRead(account);
        QVERIFY(TaskRunner::waitUntil([&watch] { return !watch.job.isNull(); }));
        QVERIFY2(watch.pause->isPaused(), "run through scripts/with-keyring");

        ending.reset();
        QVERIFY2(!watch.job.isNull(), "a job still waiting on the keyring went with the store");
        watch.pause->resume();
        // QtKeychain hears "no such item", and the job deletes itself as it finishes.
        QVERIFY(TaskRunner::waitUntil([&watch] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return watch.job.isNull();
        }));
    }

    void savingTwiceKeepsOneItemWithTheSecondValue() {
        finish(keychainSave(account, firstKey));
        finish(keychainSave(account, secondKey));
        QCOMPARE(itemsForAccount(account), 1);
        KeychainStore fresh; // a new process would see the same
        QCOMPARE(finish(fresh.load(account)), std::optional<QString>(secondKey));
        QCOMPARE(finish(keychainLoad(account)), std::optional<QString>(secondKey));
    }

    // A key an earlier build stored as text: a save replaces it rather than add a second item
    // beside it, and the key read back, now and in a new process, is the new one.
    void aKeyStoredInEitherEncodingIsReplacedBySaving() {
        for (const bool asText : {true, false}) {
            QVERIFY(writeAsQtKeychain(account, firstKey, asText));
            QCOMPARE(itemsForAccount(account), 1);
            QCOMPARE(finish(store->load(account)), std::optional<QString>(firstKey));
            finish(store->save(account, secondKey));
            QCOMPARE(itemsForAccount(account), 1);
            QCOMPARE(finish(KeychainStore().load(account)), std::optional<QString>(secondKey));
            finish(store->remove(account));
            QCOMPARE(itemsForAccount(account), 0);
        }
    }

    // Two items for the account, one per encoding: the newest is the key, whichever it is.
    void ofTwoItemsTheNewestIsRead() {
        QVERIFY(writeAsQtKeychain(account, firstKey, true));
        waitForTheNextSecond();
        QVERIFY(writeAsQtKeychain(account, secondKey, false));
        QCOMPARE(itemsForAccount(account), 2);
        QCOMPARE(finish(KeychainStore().load(account)), std::optional<QString>(secondKey));
        waitForTheNextSecond();
        QVERIFY(writeAsQtKeychain(account, firstKey, true));
        QCOMPARE(finish(KeychainStore().load(account)), std::optional<QString>(firstKey));
        // Deleting removes both.
        finish(store->remove(account));
        QCOMPARE(itemsForAccount(account), 0);
    }

    void deletingAMissingKeySucceeds() {
        finish(keychainDelete(account));
        finish(keychainDelete(account));
        QCOMPARE(finish(keychainLoad(account)), std::nullopt);
        QCOMPARE(itemsForAccount(account), 0);
    }

    void cacheFollowsSaveAndDelete() {
        KeychainStore other;
        QVERIFY(!other.hasStoredKey(account)); // nothing known before a load
        finish(store->save(account, firstKey));
        QVERIFY(store->hasStoredKey(account));
        QCOMPARE(store->cachedValue(account), std::optional<QString>(firstKey));
        QCOMPARE(finish(other.load(account)), std::optional<QString>(firstKey));
        QVERIFY(other.hasStoredKey(account));
        finish(store->remove(account));
        QVERIFY(!store->hasStoredKey(account));
        QCOMPARE(store->cachedValue(account), std::nullopt);
    }

    void emptyKeyLoadsAsPresentButCountsAsNoKey() {
        finish(store->save(account, QString("")));
        QCOMPARE(finish(KeychainStore().load(account)), std::optional<QString>(QString("")));
        QVERIFY(!store->hasStoredKey(account));
    }

    void otherProgramsSecretsUnderTheSameAccountAreUntouched() {
        KeychainStore otherProgram(QStringLiteral("org.example.OtherProgram"));
        finish(otherProgram.save(account, QStringLiteral("theirs")));
        finish(store->save(account, firstKey));
        QCOMPARE(itemsForAccount(account), 2);
        finish(store->remove(account));
        QCOMPARE(finish(otherProgram.load(account)), std::optional<QString>("theirs"));
        QCOMPARE(finish(store->load(account)), std::nullopt);
        finish(otherProgram.remove(account));
    }

    void unansweredCallsTimeOutWithoutTheKeyInTheError() {
        LogCapture log;
        auto saving = TaskRunner::settle(store->save(account, secondKey));
        QVERIFY(!saving->done); // waiting for the keyring's answer
        testClock().advance(KeychainStore::defaultTimeout);
        QVERIFY(saving->done);
        try {
            std::rethrow_exception(saving->error);
        } catch (const KeychainError& error) {
            QCOMPARE(error.errorCase(), KeychainError::Case::queryFailed);
            QCOMPARE(error.status(), KeychainError::interactionNotAllowed);
            QVERIFY(
                error.errorDescription().startsWith("Failed to query keychain (status: -25308)"));
            QVERIFY(!error.errorDescription().contains(secondKey));
        }
        QVERIFY(!store->hasStoredKey(account));
        QVERIFY(!log.contains(secondKey));
        // The late answer of the abandoned call changes nothing.
        QCOMPARE(finish(store->load(account)), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(KeychainStoreTest)
#include "KeychainStoreTest.moc"
