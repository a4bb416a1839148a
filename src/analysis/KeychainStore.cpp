#include "analysis/KeychainStore.h"

#include "model/Utf8.h"

#include "platform/Clock.h"

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
// Suspends until the job finishes or the time-out passes, whichever comes first. A job that
// finishes after its time-out is ignored; it is a child of the store and deletes itself.
struct JobAwaiter {
    struct State {
        bool settled = false;
        ScheduledAction timer;
        std::coroutine_handle<> handle;
    };
    QKeychain::Job* job;
    QObject* context;
    std::chrono::milliseconds timeout;
    std::shared_ptr<State> state = std::make_shared<State>();
    std::shared_ptr<bool> timedOut = std::make_shared<bool>(false);
    std::shared_ptr<QKeychain::Error> error = std::make_shared<QKeychain::Error>();
    std::shared_ptr<QByteArray> data = std::make_shared<QByteArray>();

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        state->handle = handle;
        auto settle = [state = state]() {
            if (state->settled)
                return false;
            state->settled = true;
            state->timer.cancel();
            return true;
        };
        QObject::connect(job, &QKeychain::Job::finished, context,
                         [settle, state = state, error = error, data = data](QKeychain::Job* done) {
                             if (!settle())
                                 return;
                             *error = done->error();
                             if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done))
                                 *data = read->binaryData();
                             state->handle.resume();
                         });
        state->timer = Clock::shared().schedule(timeout, context,
                                                [settle, state = state, timedOut = timedOut] {
                                                    if (!settle())
                                                        return;
                                                    *timedOut = true;
                                                    state->handle.resume();
                                                });
        job->start();
    }
    void await_resume() const noexcept {}
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

QCoro::Task<KeychainStore::Outcome> KeychainStore::run(QKeychain::Job* job) {
    JobAwaiter awaiter{job, this, timeout_};
    co_await awaiter;
    Outcome outcome;
    outcome.timedOut = *awaiter.timedOut;
    outcome.error = *awaiter.error;
    outcome.data = *awaiter.data;
    co_return outcome;
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
    const Outcome outcome =
        co_await run(prepare(new QKeychain::ReadPasswordJob(service_, this), account));
    if (outcome.notFound())
        cache_.insert(account, std::nullopt);
    if (!outcome.succeeded())
        co_return std::nullopt;
    std::optional<QString> value = decodeUtf8(outcome.data);
    if (value)
        cache_.insert(account, value);
    co_return value;
}

QCoro::Task<void> KeychainStore::save(QString account, QString value) {
    if (!value.isValidUtf16())
        throw KeychainError(KeychainError::Case::encodingFailed);
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
    cache_.insert(account, value);
}

QCoro::Task<void> KeychainStore::remove(QString account) {
    const Outcome outcome =
        co_await run(prepare(new QKeychain::DeletePasswordJob(service_, this), account));
    if (!outcome.succeeded() && !outcome.notFound()) {
        QString detail;
        const qint32 status = statusFor(outcome, &detail);
        throw KeychainError(KeychainError::Case::deleteFailed, status, detail);
    }
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
