#pragma once

#include "analysis/KeychainError.h"
#include "analysis/SecretServiceLink.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace QKeychain {
class Job;
}

// The cloud API key in the Secret Service: one secret text per account, filed as QtKeychain files
// it (attributes "user" and "server", under a service name of Kippets' own so that no other
// program's item is ever matched). The Secret Service is spoken to directly (SecretServiceLink),
// so that an unlock prompt is seen for what it is; QtKeychain remains for a keyring that answers
// no Secret Service search. Nothing is ever written in plain text: without a reachable Secret
// Service, loading finds no key and saving fails.
//
// Every call to the keyring gives up after a time-out, so a keyring that does not answer cannot
// hang the app; the one wait without a time-out is the keyring's own unlock prompt, which is the
// user's to answer, however long they take, and which ends when the keyring leaves the bus. A
// locked item is never read: the Secret Service is asked first, without any prompt, whether the
// account's item is locked, and a locked one makes the key unknown (never "no key"). Only a save
// may raise an unlock prompt, and after one was refused no save asks again while the keyring stays
// locked.
//
// An account has one item: a save replaces every item the account has, whichever encoding
// QtKeychain gave it ("plaintext" or "base64"), and a read that finds more than one takes the
// newest. The last known value per account is cached in-process, so the frequent "is a key
// stored" checks never touch D-Bus. The store follows the keyring's lock as the Secret Service
// announces it, and says when it was unlocked.
//
// Whether the API key is stored is read from the Secret Service as soon as a store is
// installed, whatever the analysis settings say, and kept current by every save and delete. A
// read that timed out leaves the presence unknown, and the next caller that needs it reads
// again. GUI thread only.
class KeychainStore : public QObject {
    Q_OBJECT
public:
    static inline const QString serviceName = QStringLiteral("org.kippets.Kippets");
    static inline const QString apiKeyAccount =
        QStringLiteral("org.kippets.Kippets.openai-api-key");
    static constexpr std::chrono::milliseconds defaultTimeout{10000};

    explicit KeychainStore(QString service = serviceName,
                           std::chrono::milliseconds timeout = defaultTimeout,
                           QObject* parent = nullptr);
    ~KeychainStore() override;

    // The instance installed by the composition root (main or a test fixture).
    static KeychainStore& shared();
    static void install(KeychainStore* store);
    static bool isInstalled();

    // The stored text (possibly empty), or nothing when there is none or it cannot be read.
    // Never fails.
    QCoro::Task<std::optional<QString>> load(QString account);
    // The same, except that a key that cannot be read (no Secret Service, no answer in time,
    // access denied) throws KeychainError with the reason rather than reading as no key.
    QCoro::Task<std::optional<QString>> read(QString account);
    // Updates the item when present, adds it otherwise. Throws KeychainError, whose detail says
    // what failed and what the user can do about it; every failure is logged.
    QCoro::Task<void> save(QString account, QString value);
    // The same, except that nobody is asked to unlock anything: when the keyring (or the
    // account's item) is locked, nothing is written and the answer is false. For a save the
    // user did not ask for in so many words, such as one after a pause in typing, which must not
    // open a prompt that takes the keyboard.
    QCoro::Task<bool> saveUnprompted(QString account, QString value);
    // A missing item counts as deleted. Throws KeychainError.
    QCoro::Task<void> remove(QString account);

    // From the cache only: the value last loaded, saved or deleted for the account.
    std::optional<QString> cachedValue(const QString& account) const;
    // From the cache only: a value with at least one character is known for the account.
    bool hasStoredKey(const QString& account) const;
    // The Secret Service has answered for the account (a value or none) since this store began.
    bool presenceKnown(const QString& account) const { return cache_.contains(account); }
    // The last answer for the account: the keyring holds its secret but is locked, so what it
    // holds is unknown until the user unlocks the keyring.
    bool isLocked(const QString& account = apiKeyAccount) const {
        return locked_.contains(account);
    }

    // Starts reading whether the account holds a secret, unless such a read is under way.
    void startPresenceRead(const QString& account = apiKeyAccount);
    // Resumes once the presence of the account's secret is known: at once when it is, else
    // after a read (the one under way, or a new one). After a read that timed out it is still
    // unknown; the next call reads again.
    QCoro::Task<void> ensurePresenceKnown(QString account = apiKeyAccount);
    // For the start-up sequence: resumes once the first read of the API key's presence has
    // been answered or has timed out (starting it when none was started).
    QCoro::Task<void> waitForFirstPresenceAnswer();

signals:
    // A presence read of the account ended, answered or timed out.
    void presenceReadSettled(const QString& account);
    // The keyring was locked and is unlocked now: a key that could not be read can be.
    void keyringUnlocked();
    // A keyring is on the session bus again after one had left.
    void keyringReturned();

private:
    using Outcome = KeyringOutcome;
    using Found = SecretServiceLink::Found;
    using Holding = SecretServiceLink::Holding;
    // The Secret Service announced a change of a collection: its lock may have changed.
    void keyringChanged();
    void serviceLeft();
    void serviceReturned();
    QCoro::Task<bool> saveValue(QString account, QString value, bool mayPrompt);
    // What a read of the account finds, through the Secret Service or else QtKeychain.
    QCoro::Task<Outcome> readAccount(QString account);
    // Records whether the keyring is locked; a locked keyring that is unlocked now is news.
    void setKeyringLocked(bool locked);
    void probe(const QString& account, std::function<void(Holding)> answered);
    QCoro::Task<Holding> probeHolding(QString account);
    // Reads the account's secret; a locked item is not read, so no unlock prompt comes.
    void runRead(const QString& account, std::function<void(const Outcome&)> done);
    void setLocked(const QString& account, bool locked);
    // Says once per run that the keyring is locked.
    void logLocked();
    QCoro::Task<Outcome> run(QKeychain::Job* job);
    // Starts the job and calls done exactly once: with its outcome, or timed out.
    void runJob(QKeychain::Job* job, std::function<void(const Outcome&)> done);
    // Records what a read found, unless a save or delete came after the read began.
    void recordRead(const QString& account, const Outcome& outcome, quint64 writesBefore);
    void settlePresenceRead(const QString& account, const Outcome& outcome, quint64 writesBefore);
    QKeychain::Job* prepare(QKeychain::Job* job, const QString& account) const;
    // The status for a failed operation; detail says why, and what the user can do (then
    // retry, such as "enter the key again").
    static qint32 statusFor(const Outcome& outcome, QString* detail, const QString& retry);
    // Says in the log why a save or delete failed.
    static void logFailure(const QString& what, const KeychainError& error);

    QString service_;
    std::chrono::milliseconds timeout_;
    SecretServiceLink* link_;
    QHash<QString, std::optional<QString>> cache_;
    QSet<QString> presenceReads_;
    QSet<QString> locked_;
    // A save met a locked keyring and no unlock was granted.
    bool unlockRefused_ = false;
    bool lockLogged_ = false;
    bool firstPresenceSettled_ = false;
    // What the Secret Service last said of the keyring's lock; none before it said anything.
    std::optional<bool> keyringLocked_;
    bool lockCheckRunning_ = false;
    bool lockCheckAgain_ = false;
    // What ends each wait still open (a call, a job, a prompt) as unanswered, should the store go
    // first.
    quint64 openWait(std::function<void()> abandon);
    QHash<quint64, std::function<void()>> openWaits_;
    quint64 waits_ = 0;
    bool closing_ = false;
    // The QtKeychain jobs started and not yet finished, answered in time or not.
    QSet<QKeychain::Job*> jobsInFlight_;
    // Counts saves and deletes, so a read that began before one cannot undo what it wrote.
    quint64 writes_ = 0;
};

// The key store's three operations on the shared store.
QCoro::Task<std::optional<QString>> keychainLoad(QString account);
QCoro::Task<void> keychainSave(QString account, QString value);
QCoro::Task<void> keychainDelete(QString account);
