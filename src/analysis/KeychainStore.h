#pragma once

#include "analysis/KeychainError.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>
#include <chrono>
#include <optional>

namespace QKeychain {
class Job;
}

// The cloud API key in the Secret Service (through QtKeychain): one secret text per account,
// under a service name of Kippets' own so that no other program's item is ever matched.
// Nothing is ever written in plain text: without a reachable Secret Service, loading finds no
// key and saving fails. Every call gives up after a time-out, so a keyring that waits for an
// unlock prompt cannot hang the app. The last known value per account is cached in-process,
// so the frequent "is a key stored" checks never touch D-Bus. GUI thread only.
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

    // The instance installed by the composition root (main or a test fixture).
    static KeychainStore& shared();
    static void install(KeychainStore* store);
    static bool isInstalled();

    // The stored text (possibly empty), or nothing when there is none or it cannot be read.
    // Never fails.
    QCoro::Task<std::optional<QString>> load(QString account);
    // Updates the item when present, adds it otherwise. Throws KeychainError.
    QCoro::Task<void> save(QString account, QString value);
    // A missing item counts as deleted. Throws KeychainError.
    QCoro::Task<void> remove(QString account);

    // From the cache only: the value last loaded, saved or deleted for the account.
    std::optional<QString> cachedValue(const QString& account) const;
    // From the cache only: a value with at least one character is known for the account.
    bool hasStoredKey(const QString& account) const;

private:
    struct Outcome;
    QCoro::Task<Outcome> run(QKeychain::Job* job);
    QKeychain::Job* prepare(QKeychain::Job* job, const QString& account) const;
    // The status for a failed job; detail says why when the Secret Service is missing.
    static qint32 statusFor(const Outcome& outcome, QString* detail);

    QString service_;
    std::chrono::milliseconds timeout_;
    QHash<QString, std::optional<QString>> cache_;
};

// The key store's three operations on the shared store.
QCoro::Task<std::optional<QString>> keychainLoad(QString account);
QCoro::Task<void> keychainSave(QString account, QString value);
QCoro::Task<void> keychainDelete(QString account);
