#include "analysis/KeychainStore.h"

#include "model/Utf8.h"

#include "platform/Clock.h"

#include <QCoroSignal>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QStringDecoder>
#include <coroutine>
#include <memory>
#include <qt6keychain/keychain.h>

namespace {
KeychainStore*& installedStore() {
    static KeychainStore* store = nullptr;
    return store;
}

const QString secretService = QStringLiteral("org.freedesktop.secrets");

// A quick question to the session bus itself, never to the keyring: it cannot prompt.
bool secretServiceReachable() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(secretService).value())
        return true;
    const QDBusReply<QStringList> activatable =
        bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(secretService);
}

} // namespace

struct KeychainStore::Outcome {
    QKeychain::Error error = QKeychain::NoError;
    bool timedOut = false;
    QByteArray data;

    bool succeeded() const { return !timedOut && error == QKeychain::NoError; }
    bool notFound() const { return !timedOut && error == QKeychain::EntryNotFound; }
};

namespace {
// Suspends until the store's job settles (answered or timed out) and hands back its outcome.
template <typename Outcome> struct JobAwaiter {
    std::function<void(std::function<void(const Outcome&)>)> start;
    std::shared_ptr<Outcome> outcome = std::make_shared<Outcome>();

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        start([outcome = outcome, handle](const Outcome& settled) {
            *outcome = settled;
            handle.resume();
        });
    }
    Outcome await_resume() const { return *outcome; }
};
} // namespace

KeychainStore::KeychainStore(QString service, std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent), service_(std::move(service)), timeout_(timeout) {}

KeychainStore& KeychainStore::shared() {
    Q_ASSERT_X(installedStore(), "KeychainStore::shared", "no key store installed");
    return *installedStore();
}

void KeychainStore::install(KeychainStore* store) {
    installedStore() = store;
    // Whether a key is stored decides the analysis chain and the first analysis mode: ask at
    // once, so the answer is usually there before anyone needs it.
    if (store)
        store->startPresenceRead(apiKeyAccount);
}

bool KeychainStore::isInstalled() {
    return installedStore() != nullptr;
}

QKeychain::Job* KeychainStore::prepare(QKeychain::Job* job, const QString& account) const {
    job->setKey(account);
    // QtKeychain would otherwise keep the secret in a plain settings file when it finds no
    // Secret Service.
    job->setInsecureFallback(false);
    job->setAutoDelete(true);
    return job;
}

// A job that finishes after its time-out is ignored; it is a child of the store and deletes
// itself.
void KeychainStore::runJob(QKeychain::Job* job, std::function<void(const Outcome&)> done) {
    auto settled = std::make_shared<bool>(false);
    auto timer = std::make_shared<ScheduledAction>();
    connect(job, &QKeychain::Job::finished, this, [settled, timer, done](QKeychain::Job* ended) {
        if (*settled)
            return;
        *settled = true;
        timer->cancel();
        Outcome outcome;
        outcome.error = ended->error();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(ended))
            outcome.data = read->binaryData();
        done(outcome);
    });
    *timer = Clock::shared().schedule(timeout_, this, [settled, done] {
        if (*settled)
            return;
        *settled = true;
        Outcome outcome;
        outcome.timedOut = true;
        done(outcome);
    });
    job->start();
}

QCoro::Task<KeychainStore::Outcome> KeychainStore::run(QKeychain::Job* job) {
    // A named awaiter: GCC mishandles brace-initialised temporaries inside co_await.
    JobAwaiter<Outcome> awaiter{
        [this, job](std::function<void(const Outcome&)> done) { runJob(job, std::move(done)); }};
    co_return co_await awaiter;
}

qint32 KeychainStore::statusFor(const Outcome& outcome, QString* detail) {
    if (outcome.timedOut) {
        *detail =
            QStringLiteral("the Secret Service did not answer in time (is the keyring locked?)");
        return KeychainError::interactionNotAllowed;
    }
    if (outcome.error == QKeychain::EntryNotFound)
        return KeychainError::itemNotFound;
    if (outcome.error == QKeychain::NoBackendAvailable || !secretServiceReachable()) {
        *detail = QStringLiteral("no Secret Service (%1) is reachable on the session D-Bus; "
                                 "start a keyring such as gnome-keyring or KWallet")
                      .arg(secretService);
        return KeychainError::notAvailable;
    }
    switch (outcome.error) {
    case QKeychain::AccessDeniedByUser:
        return KeychainError::userCanceled;
    case QKeychain::AccessDenied:
        return KeychainError::authFailed;
    case QKeychain::NotImplemented:
        return KeychainError::unimplemented;
    default:
        return KeychainError::internalComponent;
    }
}

QCoro::Task<std::optional<QString>> KeychainStore::load(QString account) {
    try {
        co_return co_await read(std::move(account));
    } catch (const KeychainError&) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::optional<QString>> KeychainStore::read(QString account) {
    const quint64 writesBefore = writes_;
    const Outcome outcome =
        co_await run(prepare(new QKeychain::ReadPasswordJob(service_, this), account));
    recordRead(account, outcome, writesBefore);
    if (outcome.notFound())
        co_return std::nullopt;
    if (!outcome.succeeded()) {
        QString detail;
        const qint32 status = statusFor(outcome, &detail);
        throw KeychainError(KeychainError::Case::queryFailed, status, detail);
    }
    co_return decodeUtf8(outcome.data);
}

void KeychainStore::recordRead(const QString& account, const Outcome& outcome,
                               quint64 writesBefore) {
    // A time-out tells nothing; a save or delete since the read began knows better.
    if (outcome.timedOut || writes_ != writesBefore)
        return;
    if (outcome.succeeded()) {
        if (std::optional<QString> value = decodeUtf8(outcome.data))
            cache_.insert(account, value);
        else
            cache_.insert(account, std::nullopt);
        return;
    }
    // Not found, and every answered failure (no Secret Service, access denied): no usable key,
    // until a save says otherwise.
    cache_.insert(account, std::nullopt);
}

void KeychainStore::startPresenceRead(const QString& account) {
    if (presenceReads_.contains(account))
        return;
    presenceReads_.insert(account);
    const quint64 writesBefore = writes_;
    runJob(prepare(new QKeychain::ReadPasswordJob(service_, this), account),
           [this, account, writesBefore](const Outcome& outcome) {
               settlePresenceRead(account, outcome, writesBefore);
           });
}

void KeychainStore::settlePresenceRead(const QString& account, const Outcome& outcome,
                                       quint64 writesBefore) {
    recordRead(account, outcome, writesBefore);
    presenceReads_.remove(account);
    if (account == apiKeyAccount)
        firstPresenceSettled_ = true;
    emit presenceReadSettled(account);
}

QCoro::Task<void> KeychainStore::ensurePresenceKnown(QString account) {
    if (presenceKnown(account))
        co_return;
    startPresenceRead(account);
    while (presenceReads_.contains(account))
        co_await qCoro(this, &KeychainStore::presenceReadSettled);
}

QCoro::Task<void> KeychainStore::waitForFirstPresenceAnswer() {
    if (firstPresenceSettled_ || presenceKnown(apiKeyAccount))
        co_return;
    startPresenceRead(apiKeyAccount);
    while (presenceReads_.contains(apiKeyAccount))
        co_await qCoro(this, &KeychainStore::presenceReadSettled);
}

QCoro::Task<void> KeychainStore::save(QString account, QString value) {
    if (!value.isValidUtf16())
        throw KeychainError(KeychainError::Case::encodingFailed);
    // From here on, no read that began earlier may record what it finds.
    ++writes_;
    const QByteArray bytes = value.toUtf8();
    QString detail;
    const Outcome query =
        co_await run(prepare(new QKeychain::ReadPasswordJob(service_, this), account));
    if (!query.succeeded() && !query.notFound()) {
        const qint32 status = statusFor(query, &detail);
        throw KeychainError(KeychainError::Case::queryFailed, status, detail);
    }
    auto* write = new QKeychain::WritePasswordJob(service_, this);
    write->setBinaryData(bytes);
    const Outcome written = co_await run(prepare(write, account));
    if (!written.succeeded()) {
        const qint32 status = statusFor(written, &detail);
        throw KeychainError(query.notFound() ? KeychainError::Case::saveFailed
                                             : KeychainError::Case::updateFailed,
                            status, detail);
    }
    ++writes_;
    cache_.insert(account, value);
}

QCoro::Task<void> KeychainStore::remove(QString account) {
    ++writes_;
    const Outcome outcome =
        co_await run(prepare(new QKeychain::DeletePasswordJob(service_, this), account));
    if (!outcome.succeeded() && !outcome.notFound()) {
        QString detail;
        const qint32 status = statusFor(outcome, &detail);
        throw KeychainError(KeychainError::Case::deleteFailed, status, detail);
    }
    ++writes_;
    cache_.insert(account, std::nullopt);
}

std::optional<QString> KeychainStore::cachedValue(const QString& account) const {
    return cache_.value(account, std::nullopt);
}

bool KeychainStore::hasStoredKey(const QString& account) const {
    const std::optional<QString> value = cachedValue(account);
    return value && !value->isEmpty();
}

QCoro::Task<std::optional<QString>> keychainLoad(QString account) {
    co_return co_await KeychainStore::shared().load(std::move(account));
}

QCoro::Task<void> keychainSave(QString account, QString value) {
    co_await KeychainStore::shared().save(std::move(account), std::move(value));
}

QCoro::Task<void> keychainDelete(QString account) {
    co_await KeychainStore::shared().remove(std::move(account));
}
