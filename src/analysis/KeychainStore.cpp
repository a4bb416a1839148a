#include "analysis/KeychainStore.h"

#include "model/Utf8.h"

#include "platform/Clock.h"

#include "platform/Log.h"

#include <QCoroSignal>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
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

const QString secretPath = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");

QList<QDBusObjectPath> pathsOf(const QVariant& argument) {
    return qdbus_cast<QList<QDBusObjectPath>>(argument);
}
} // namespace

struct KeychainStore::Outcome {
    QKeychain::Error error = QKeychain::NoError;
    bool timedOut = false;
    // The keyring holds the item, but locked: nothing was read and nobody was asked to unlock.
    bool locked = false;
    QByteArray data;

    bool succeeded() const { return !timedOut && !locked && error == QKeychain::NoError; }
    bool notFound() const { return !timedOut && !locked && error == QKeychain::EntryNotFound; }
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
    : QObject(parent), service_(std::move(service)), timeout_(timeout) {
    qDBusRegisterMetaType<QMap<QString, QString>>();
}

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
    if (outcome.locked) {
        *detail = KeychainError::lockedDetail;
        return KeychainError::interactionNotAllowed;
    }
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
    JobAwaiter<Outcome> awaiter{[this, account](std::function<void(const Outcome&)> done) {
        runRead(account, std::move(done));
    }};
    const Outcome outcome = co_await awaiter;
    recordRead(account, outcome, writesBefore);
    if (outcome.notFound())
        co_return std::nullopt;
    if (outcome.locked)
        throw KeychainError::locked(KeychainError::Case::queryFailed);
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
    setLocked(account, outcome.locked);
    if (outcome.locked) {
        // A key is there, but which one nobody knows: the presence is unknown, never "none".
        cache_.remove(account);
        return;
    }
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
    runRead(account, [this, account, writesBefore](const Outcome& outcome) {
        settlePresenceRead(account, outcome, writesBefore);
    });
}

void KeychainStore::settlePresenceRead(const QString& account, const Outcome& outcome,
                                       quint64 writesBefore) {
    recordRead(account, outcome, writesBefore);
    presenceReads_.remove(account);
    if (outcome.timedOut)
        Log::line(QStringLiteral("⚠️ [Keychain] The keyring did not answer in time: whether an "
                                 "API key is stored stays unknown until it does."));
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
    // Once an unlock was refused, a save asks nobody again while the keyring stays locked: one
    // refusal is answer enough until the user unlocks it.
    if (unlockRefused_) {
        if (co_await probeHolding({}) == Holding::locked)
            throw KeychainError::locked(KeychainError::Case::queryFailed);
        unlockRefused_ = false;
    }
    // The query, without any prompt: a keyring that does not answer it gets no write that could
    // land after the save was reported failed.
    const Holding before = co_await probeHolding(account);
    if (before == Holding::timedOut) {
        Outcome unanswered;
        unanswered.timedOut = true;
        QString detail;
        const qint32 status = statusFor(unanswered, &detail);
        throw KeychainError(KeychainError::Case::queryFailed, status, detail);
    }
    const bool known = before == Holding::unlocked || before == Holding::locked ||
                       (cache_.contains(account) && cache_.value(account).has_value());
    // One call: the Secret Service updates an item that is there and adds one otherwise, so a
    // locked keyring asks for its unlock once per save.
    auto* write = new QKeychain::WritePasswordJob(service_, this);
    write->setBinaryData(value.toUtf8());
    const Outcome written = co_await run(prepare(write, account));
    if (!written.succeeded()) {
        if (!written.timedOut && co_await probeHolding({}) == Holding::locked) {
            unlockRefused_ = true;
            logLocked();
            throw KeychainError::locked(KeychainError::Case::queryFailed);
        }
        QString detail;
        const qint32 status = statusFor(written, &detail);
        // A keyring that could not be asked at all fails as its query would have.
        const bool unasked =
            status == KeychainError::interactionNotAllowed || status == KeychainError::notAvailable;
        throw KeychainError(unasked ? KeychainError::Case::queryFailed
                            : known ? KeychainError::Case::updateFailed
                                    : KeychainError::Case::saveFailed,
                            status, detail);
    }
    ++writes_;
    setLocked(account, false);
    cache_.insert(account, value);
}

QCoro::Task<void> KeychainStore::remove(QString account) {
    ++writes_;
    // The Secret Service does not see a locked item, and would call it deleted.
    if (co_await probeHolding(account) == Holding::locked) {
        setLocked(account, true);
        cache_.remove(account);
        throw KeychainError::locked(KeychainError::Case::deleteFailed);
    }
    const Outcome outcome =
        co_await run(prepare(new QKeychain::DeletePasswordJob(service_, this), account));
    if (!outcome.succeeded() && !outcome.notFound()) {
        QString detail;
        const qint32 status = statusFor(outcome, &detail);
        throw KeychainError(KeychainError::Case::deleteFailed, status, detail);
    }
    ++writes_;
    setLocked(account, false);
    cache_.insert(account, std::nullopt);
}

void KeychainStore::askSecretService(QDBusMessage call,
                                     std::function<void(std::optional<QDBusMessage>)> done) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        done(call.createErrorReply(QDBusError::Disconnected, QString()));
        return;
    }
    auto settled = std::make_shared<bool>(false);
    auto timer = std::make_shared<ScheduledAction>();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [settled, timer, done](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                if (*settled)
                    return;
                *settled = true;
                timer->cancel();
                done(answered->reply());
            });
    *timer = Clock::shared().schedule(timeout_, this, [settled, done] {
        if (*settled)
            return;
        *settled = true;
        done(std::nullopt);
    });
}

void KeychainStore::probe(const QString& account, std::function<void(Holding)> done) {
    if (account.isEmpty()) {
        // The collection new items go to: is it locked?
        QDBusMessage alias = QDBusMessage::createMethodCall(secretService, secretPath,
                                                            serviceInterface, "ReadAlias");
        alias << QStringLiteral("default");
        askSecretService(alias, [this, done](std::optional<QDBusMessage> reply) {
            if (!reply)
                return done(Holding::timedOut);
            if (reply->type() != QDBusMessage::ReplyMessage || reply->arguments().isEmpty())
                return done(Holding::unanswered);
            const QString path = reply->arguments().first().value<QDBusObjectPath>().path();
            if (path.isEmpty() || path == QLatin1String("/"))
                return done(Holding::none);
            QDBusMessage get = QDBusMessage::createMethodCall(
                secretService, path, QStringLiteral("org.freedesktop.DBus.Properties"), "Get");
            get << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
            askSecretService(get, [done](std::optional<QDBusMessage> locked) {
                if (!locked)
                    return done(Holding::timedOut);
                if (locked->type() != QDBusMessage::ReplyMessage || locked->arguments().isEmpty())
                    return done(Holding::unanswered);
                const bool isLocked =
                    locked->arguments().first().value<QDBusVariant>().variant().toBool();
                done(isLocked ? Holding::locked : Holding::unlocked);
            });
        });
        return;
    }
    // The items of this account, by what QtKeychain files them under; the answer lists locked
    // ones apart, and searching never asks anyone to unlock anything.
    QDBusMessage search =
        QDBusMessage::createMethodCall(secretService, secretPath, serviceInterface, "SearchItems");
    search << QVariant::fromValue(QMap<QString, QString>{{QStringLiteral("user"), account},
                                                         {QStringLiteral("server"), service_}});
    askSecretService(search, [done](std::optional<QDBusMessage> reply) {
        if (!reply)
            return done(Holding::timedOut);
        if (reply->type() != QDBusMessage::ReplyMessage || reply->arguments().size() < 2)
            return done(Holding::unanswered);
        if (!pathsOf(reply->arguments().at(0)).isEmpty())
            return done(Holding::unlocked);
        done(pathsOf(reply->arguments().at(1)).isEmpty() ? Holding::none : Holding::locked);
    });
}

QCoro::Task<KeychainStore::Holding> KeychainStore::probeHolding(QString account) {
    JobAwaiter<Holding> awaiter{[this, account](std::function<void(const Holding&)> done) {
        probe(account, [done](Holding holding) { done(holding); });
    }};
    co_return co_await awaiter;
}

void KeychainStore::runRead(const QString& account, std::function<void(const Outcome&)> done) {
    probe(account, [this, account, done](Holding holding) {
        Outcome outcome;
        switch (holding) {
        case Holding::locked:
            outcome.locked = true;
            return done(outcome);
        case Holding::timedOut:
            outcome.timedOut = true;
            return done(outcome);
        case Holding::none:
        case Holding::unlocked:
        case Holding::unanswered:
            // Nothing locked matches, so nothing prompts. The job still reads: a keyring that
            // QtKeychain reaches another way (KWallet's own interface) is not searched here, and
            // a service that cannot be searched gets the job's own reason.
            runJob(prepare(new QKeychain::ReadPasswordJob(service_, this), account), done);
            return;
        }
    });
}

void KeychainStore::setLocked(const QString& account, bool locked) {
    if (!locked) {
        // Unlocked since: a later lock is news again.
        if (locked_.remove(account))
            lockLogged_ = false;
        return;
    }
    if (locked_.contains(account))
        return;
    locked_.insert(account);
    logLocked();
}

void KeychainStore::logLocked() {
    if (lockLogged_)
        return;
    lockLogged_ = true;
    Log::line(
        QStringLiteral("⚠️ [Keychain] The keyring is locked: the stored API key could not be "
                       "read. Unlock the login keyring in the desktop's keyring tool."));
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
