#include "analysis/KeychainStore.h"
#include "platform/Clock.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QTest>

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

    void savingTwiceKeepsOneItemWithTheSecondValue() {
        finish(keychainSave(account, firstKey));
        finish(keychainSave(account, secondKey));
        QCOMPARE(itemsForAccount(account), 1);
        KeychainStore fresh; // a new process would see the same
        QCOMPARE(finish(fresh.load(account)), std::optional<QString>(secondKey));
        QCOMPARE(finish(keychainLoad(account)), std::optional<QString>(secondKey));
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
