#include "analysis/KeychainStore.h"

#include "analysis/CallbackAwaiter.h"
#include "model/Utf8.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <QCoroSignal>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QPointer>
#include <memory>
#include <qt6keychain/keychain.h>
#include <utility>

namespace {
KeychainStore*& installedStore() {
    static KeychainStore* store = nullptr;
    return store;
}

// A quick question to the session bus itself, never to the keyring: it cannot prompt.
bool secretServiceReachable() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(SecretServiceLink::serviceName).value())
        return true;
    const QDBusReply<QStringList> activatable =
        bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(SecretServiceLink::serviceName);
}

const QString keyringTool =
    QStringLiteral("your desktop's keyring tool (such as Passwords and Keys)");
} // namespace

KeychainStore::KeychainStore(QString service, std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent), service_(std::move(service)), timeout_(timeout),
      link_(new SecretServiceLink(service_, timeout, this)) {
    // gnome-keyring announces a lock or unlock both ways; either makes the store ask again.
    connect(link_, &SecretServiceLink::keyringChanged, this, &KeychainStore::keyringChanged);
    connect(link_, &SecretServiceLink::lockSeen, this, &KeychainStore::setKeyringLocked);
    connect(link_, &SecretServiceLink::serviceLeft, this, &KeychainStore::serviceLeft);
    connect(link_, &SecretServiceLink::serviceReturned, this, &KeychainStore::serviceReturned);
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

// A job that finishes after its time-out is ignored; it deletes itself once QtKeychain is done
// with it.
void KeychainStore::runJob(QKeychain::Job* job, std::function<void(const Outcome&)> done) {
    const auto timedOut = [done] {
        Outcome outcome;
        outcome.timedOut = true;
        done(outcome);
    };
    if (closing_) {
        delete job;
        return timedOut();
    }
    auto settled = std::make_shared<bool>(false);
    auto timer = std::make_shared<ScheduledAction>();
    const quint64 wait = openWait([settled, timedOut] {
        if (!std::exchange(*settled, true))
            timedOut();
    });
    jobsInFlight_.insert(job);
    connect(job, &QKeychain::Job::finished, this,
            [this](QKeychain::Job* ended) { jobsInFlight_.remove(ended); });
    connect(job, &QObject::destroyed, this, [this, job] { jobsInFlight_.remove(job); });
    connect(job, &QKeychain::Job::finished, this,
            [this, wait, settled, timer, done](QKeychain::Job* ended) {
                if (*settled)
                    return;
                *settled = true;
                timer->cancel();
                openWaits_.remove(wait);
                Outcome outcome;
                outcome.error = ended->error();
                if (outcome.error != QKeychain::NoError &&
                    outcome.error != QKeychain::EntryNotFound)
                    outcome.cause = QStringLiteral("the keyring refused: ") + ended->errorString();
                if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(ended))
                    outcome.data = read->binaryData();
                done(outcome);
            });
    *timer = Clock::shared().schedule(timeout_, this, [this, wait, settled, timedOut] {
        if (*settled)
            return;
        *settled = true;
        openWaits_.remove(wait);
        timedOut();
    });
    job->start();
}

quint64 KeychainStore::openWait(std::function<void()> abandon) {
    const quint64 wait = ++waits_;
    openWaits_.insert(wait, std::move(abandon));
    return wait;
}

KeychainStore::~KeychainStore() {
    // Every wait still open ends now as unanswered, so that nothing awaiting the store is left
    // suspended for good; what it starts meanwhile ends at once the same way.
    closing_ = true;
    link_->close();
    while (!openWaits_.isEmpty()) {
        const std::function<void()> abandon = openWaits_.take(openWaits_.constBegin().key());
        abandon();
    }
    // QtKeychain's Secret Service backend calls a job back through a raw pointer when the keyring
    // answers, however late: a job deleted before then is called back after it is gone. A job
    // still in flight therefore outlives the store, and deletes itself once it has finished.
    for (QKeychain::Job* job : std::as_const(jobsInFlight_))
        job->setParent(nullptr);
}

QCoro::Task<KeychainStore::Outcome> KeychainStore::run(QKeychain::Job* job) {
    // A named awaiter: GCC mishandles brace-initialised temporaries inside co_await.
    CallbackAwaiter<Outcome> awaiter{
        [this, job](std::function<void(const Outcome&)> done) { runJob(job, std::move(done)); }};
    co_return co_await awaiter;
}

qint32 KeychainStore::statusFor(const Outcome& outcome, QString* detail, const QString& retry) {
    if (outcome.locked) {
        *detail = KeychainError::lockedDetail;
        return KeychainError::interactionNotAllowed;
    }
    if (outcome.serviceLeft) {
        *detail = QStringLiteral("the keyring stopped before it answered (%1 left the session "
                                 "bus); start the keyring again (logging out and in again "
                                 "starts it), then %2")
                      .arg(SecretServiceLink::serviceName, retry);
        return KeychainError::notAvailable;
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
                      .arg(SecretServiceLink::serviceName);
        return KeychainError::notAvailable;
    }
    const QString nextStep =
        (outcome.nextStep.isEmpty() ? QStringLiteral("check the login keyring in ") + keyringTool
                                    : outcome.nextStep) +
        QStringLiteral(", then ") + retry;
    QString cause = outcome.cause;
    qint32 status = KeychainError::internalComponent;
    switch (outcome.error) {
    case QKeychain::AccessDeniedByUser:
        status = KeychainError::userCanceled;
        if (cause.isEmpty())
            cause = QStringLiteral("the keyring's prompt was cancelled");
        break;
    case QKeychain::AccessDenied:
        status = KeychainError::authFailed;
        if (cause.isEmpty())
            cause = QStringLiteral("the keyring denied access");
        break;
    case QKeychain::NotImplemented:
        status = KeychainError::unimplemented;
        if (cause.isEmpty())
            cause = QStringLiteral("the keyring does not support this");
        break;
    default:
        if (cause.isEmpty())
            cause = QStringLiteral("the keyring failed without saying why (error %1)")
                        .arg(static_cast<int>(outcome.error));
        break;
    }
    *detail = cause + QStringLiteral("; ") + nextStep;
    return status;
}

void KeychainStore::logFailure(const QString& what, const KeychainError& error) {
    Log::line(QStringLiteral("⚠️ [Keychain] ") + what + QStringLiteral(": ") +
              (error.detail().isEmpty() ? error.errorDescription() : error.detail()));
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
    CallbackAwaiter<Outcome> awaiter{[this, account](std::function<void(const Outcome&)> done) {
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
        const qint32 status = statusFor(outcome, &detail, QStringLiteral("try again"));
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
    presenceReads_.remove(account);
    // Abandoned as the store goes, nothing was heard: only those waiting are let go.
    if (!closing_) {
        recordRead(account, outcome, writesBefore);
        if (outcome.timedOut)
            Log::line(
                QStringLiteral("⚠️ [Keychain] The keyring did not answer in time: whether "
                               "an API key is stored stays unknown until it does."));
        if (account == apiKeyAccount)
            firstPresenceSettled_ = true;
    }
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
    co_await saveValue(std::move(account), std::move(value), true);
}

QCoro::Task<bool> KeychainStore::saveUnprompted(QString account, QString value) {
    co_return co_await saveValue(std::move(account), std::move(value), false);
}

QCoro::Task<bool> KeychainStore::saveValue(QString account, QString value, bool mayPrompt) {
    if (!value.isValidUtf16())
        throw KeychainError(KeychainError::Case::encodingFailed);
    QPointer<KeychainStore> self(this);
    const QString again = QStringLiteral("enter the key again");
    const auto failed = [](KeychainError error) {
        logFailure(QStringLiteral("The key could not be saved in the keyring"), error);
        return error;
    };
    // From here on, no read that began earlier may record what it finds.
    ++writes_;
    // Once an unlock was refused, a save asks nobody again while the keyring stays locked: one
    // refusal is answer enough until the user unlocks it.
    if (unlockRefused_ && mayPrompt) {
        if (co_await probeHolding({}) == Holding::locked)
            throw KeychainError::locked(KeychainError::Case::queryFailed);
        if (!self)
            co_return false;
        unlockRefused_ = false;
    }
    // The query, without any prompt: a keyring that does not answer it gets no write that could
    // land after the save was reported failed.
    const Found found = co_await link_->search(account);
    if (!self)
        co_return false;
    if (found.holding == Holding::timedOut) {
        Outcome unanswered;
        unanswered.timedOut = true;
        QString detail;
        const qint32 status = statusFor(unanswered, &detail, again);
        throw failed(KeychainError(KeychainError::Case::queryFailed, status, detail));
    }
    const bool known = found.holding == Holding::unlocked || found.holding == Holding::locked ||
                       (cache_.contains(account) && cache_.value(account).has_value());
    Outcome written;
    if (found.holding == Holding::unanswered && link_->phase() == SecretServiceLink::Phase::gone) {
        // The keyring left and none has come back: nothing is there to write to.
        written.serviceLeft = true;
    } else if (found.holding == Holding::unanswered) {
        // No Secret Service to search: QtKeychain may reach the keyring another way.
        auto* write = new QKeychain::WritePasswordJob(service_, this);
        write->setBinaryData(value.toUtf8());
        written = co_await run(prepare(write, account));
    } else {
        written = co_await link_->writeItem(account, value, found, mayPrompt);
    }
    if (!self)
        co_return false;
    if (written.wouldPrompt)
        co_return false;
    if (!written.succeeded()) {
        if (written.locked) {
            unlockRefused_ = true;
            logLocked();
            throw KeychainError::locked(KeychainError::Case::queryFailed);
        }
        QString detail;
        const qint32 status = statusFor(written, &detail, again);
        // A keyring that could not be asked at all fails as its query would have.
        const bool unasked =
            status == KeychainError::interactionNotAllowed || status == KeychainError::notAvailable;
        throw failed(KeychainError(unasked ? KeychainError::Case::queryFailed
                                   : known ? KeychainError::Case::updateFailed
                                           : KeychainError::Case::saveFailed,
                                   status, detail));
    }
    ++writes_;
    setLocked(account, false);
    cache_.insert(account, value);
    co_return true;
}

QCoro::Task<void> KeychainStore::remove(QString account) {
    ++writes_;
    const Found found = co_await link_->search(account);
    // The Secret Service does not see a locked item, and would call it deleted.
    if (found.holding == Holding::locked) {
        setLocked(account, true);
        cache_.remove(account);
        throw KeychainError::locked(KeychainError::Case::deleteFailed);
    }
    Outcome outcome;
    if (found.holding == Holding::unanswered)
        outcome = co_await run(prepare(new QKeychain::DeletePasswordJob(service_, this), account));
    else if (found.holding == Holding::timedOut)
        outcome.timedOut = true;
    else
        // Every item of the account, whichever encoding it has.
        outcome = co_await link_->deleteItems(found.unlocked);
    if (!outcome.succeeded() && !outcome.notFound()) {
        QString detail;
        const qint32 status = statusFor(outcome, &detail, QStringLiteral("clear the field again"));
        const KeychainError error(KeychainError::Case::deleteFailed, status, detail);
        logFailure(QStringLiteral("The key could not be removed from the keyring"), error);
        throw error;
    }
    ++writes_;
    setLocked(account, false);
    cache_.insert(account, std::nullopt);
}

void KeychainStore::probe(const QString& account, std::function<void(Holding)> answered) {
    [](SecretServiceLink* link, QString account,
       std::function<void(Holding)> done) -> QCoro::Task<void> {
        if (account.isEmpty())
            done(co_await link->defaultKeyring());
        else
            done((co_await link->search(std::move(account))).holding);
    }(link_, account, std::move(answered));
}

QCoro::Task<KeychainStore::Holding> KeychainStore::probeHolding(QString account) {
    CallbackAwaiter<Holding> awaiter{[this, account](std::function<void(const Holding&)> done) {
        probe(account, [done](Holding holding) { done(holding); });
    }};
    co_return co_await awaiter;
}

QCoro::Task<KeychainStore::Outcome> KeychainStore::readAccount(QString account) {
    QPointer<KeychainStore> self(this);
    const Found found = co_await link_->search(account);
    Outcome outcome;
    switch (found.holding) {
    case Holding::locked:
        outcome.locked = true;
        co_return outcome;
    case Holding::timedOut:
        outcome.timedOut = true;
        co_return outcome;
    case Holding::unlocked:
        co_return co_await link_->readNewest(found.unlocked);
    case Holding::none:
    case Holding::unanswered:
        break;
    }
    if (!self)
        co_return outcome;
    // Nothing locked matches, so nothing prompts. The job still reads: a keyring that QtKeychain
    // reaches another way (KWallet's own interface) is not searched here, and a service that
    // cannot be searched gets the job's own reason.
    co_return co_await run(prepare(new QKeychain::ReadPasswordJob(service_, this), account));
}

void KeychainStore::runRead(const QString& account, std::function<void(const Outcome&)> done) {
    [](KeychainStore* store, QString account,
       std::function<void(const Outcome&)> done) -> QCoro::Task<void> {
        done(co_await store->readAccount(std::move(account)));
    }(this, account, std::move(done));
}

void KeychainStore::serviceLeft() {
    // Whatever was known of the departed keyring's lock holds for no keyring that comes next.
    keyringLocked_.reset();
    unlockRefused_ = false;
}

void KeychainStore::serviceReturned() {
    keyringLocked_.reset();
    unlockRefused_ = false;
    // What the keyring holds and whether it is locked are asked again, as at start.
    startPresenceRead(apiKeyAccount);
    emit keyringReturned();
}

void KeychainStore::keyringChanged() {
    // One question at a time; news that comes meanwhile asks once more after it.
    if (lockCheckRunning_) {
        lockCheckAgain_ = true;
        return;
    }
    lockCheckRunning_ = true;
    lockCheckAgain_ = false;
    probe({}, [this](Holding) {
        lockCheckRunning_ = false;
        if (lockCheckAgain_)
            keyringChanged();
    });
}

void KeychainStore::setKeyringLocked(bool locked) {
    const bool wasLocked = keyringLocked_.value_or(false) || !locked_.isEmpty();
    keyringLocked_ = locked;
    if (locked || !wasLocked)
        return;
    // Unlocked: what the keyring holds can be read again, and a save may ask again.
    unlockRefused_ = false;
    const QList<QString> accounts = locked_.values();
    for (const QString& account : accounts) {
        setLocked(account, false);
        startPresenceRead(account);
    }
    emit keyringUnlocked();
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
