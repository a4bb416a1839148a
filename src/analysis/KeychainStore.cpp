#include "analysis/KeychainStore.h"

#include "model/Utf8.h"

#include "platform/Clock.h"

#include "platform/Log.h"

#include <QCoroSignal>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QPointer>
#include <QStringDecoder>
#include <coroutine>
#include <memory>
#include <qt6keychain/keychain.h>
#include <utility>

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
const QString collectionInterface = QStringLiteral("org.freedesktop.Secret.Collection");
const QString itemInterface = QStringLiteral("org.freedesktop.Secret.Item");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// Where the Secret Service keeps new items when it names no default collection.
const QString defaultAlias = QStringLiteral("/org/freedesktop/secrets/aliases/default");
// QtKeychain's names: an item's schema and how its secret is encoded.
const QString schemaAttribute = QStringLiteral("xdg:schema");
const QString keychainSchema = QStringLiteral("org.qt.keychain");
const QString typeAttribute = QStringLiteral("type");

QDBusMessage secretCall(const QString& path, const QString& interface, const QString& member) {
    return SecretServiceLink::methodCall(path, interface, member);
}

bool answered(const std::optional<QDBusMessage>& reply, int arguments = 1) {
    return reply && reply->type() == QDBusMessage::ReplyMessage &&
           reply->arguments().size() >= arguments;
}

// A path the Secret Service gives for "none" (no prompt needed, no such object).
bool isNone(const QString& path) {
    return path.isEmpty() || path == QLatin1String("/");
}

QList<QDBusObjectPath> pathsOf(const QVariant& argument) {
    return qdbus_cast<QList<QDBusObjectPath>>(argument);
}

// What an error reply says, for the user and the log.
QString errorOf(const QDBusMessage& reply) {
    if (reply.errorMessage().isEmpty())
        return reply.errorName();
    return reply.errorMessage() + QStringLiteral(" (") + reply.errorName() + QStringLiteral(")");
}

// The error a bus sends for a call whose callee left or never came: the keyring is gone.
bool isDeparture(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    return name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           name == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

const QString keyringTool =
    QStringLiteral("your desktop's keyring tool (such as Passwords and Keys)");
} // namespace

struct KeychainStore::Found {
    Holding holding = Holding::unanswered;
    QList<QDBusObjectPath> unlocked;
    QList<QDBusObjectPath> locked;
};

struct KeychainStore::Outcome {
    QKeychain::Error error = QKeychain::NoError;
    bool timedOut = false;
    // The keyring holds the item, but locked: nothing was read and nobody was asked to unlock.
    bool locked = false;
    // The keyring left the session bus before it answered.
    bool serviceLeft = false;
    // Only an unlock prompt could have let the write go on, and none was to be shown.
    bool wouldPrompt = false;
    // For any other failure: what the keyring was asked and what it said, and what the user can
    // do about it when that is more than looking at the keyring.
    QString cause;
    QString nextStep;
    QByteArray data;

    bool succeeded() const { return answered() && error == QKeychain::NoError; }
    bool notFound() const { return answered() && error == QKeychain::EntryNotFound; }
    // The keyring said what it had to say, whatever that was.
    bool answered() const { return !timedOut && !locked && !serviceLeft && !wouldPrompt; }
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
    : QObject(parent), service_(std::move(service)), timeout_(timeout),
      link_(new SecretServiceLink(timeout, this)) {
    qDBusRegisterMetaType<QMap<QString, QString>>();
    // gnome-keyring announces a lock or unlock both ways; either makes the store ask again.
    connect(link_, &SecretServiceLink::keyringChanged, this, &KeychainStore::keyringChanged);
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
    JobAwaiter<Outcome> awaiter{
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
                      .arg(secretService, retry);
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
                      .arg(secretService);
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
    const Found found = co_await search(account);
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
        written = co_await writeItem(account, value, found, mayPrompt);
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

QCoro::Task<KeychainStore::Outcome> KeychainStore::writeItem(QString account, QString value,
                                                             Found found, bool mayPrompt) {
    QPointer<KeychainStore> self(this);
    Outcome outcome;
    const auto failedWith = [this, &outcome](const std::optional<QDBusMessage>& reply,
                                             const QString& step) {
        outcome.timedOut = !reply;
        if (!reply)
            return outcome;
        if (reply->errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
            outcome.error = QKeychain::NoBackendAvailable;
            return outcome;
        }
        if (isDeparture(*reply) && link_->phase() == SecretServiceLink::Phase::gone) {
            outcome.serviceLeft = true;
            return outcome;
        }
        outcome.error = QKeychain::OtherError;
        outcome.cause =
            reply->type() == QDBusMessage::ErrorMessage
                ? QStringLiteral("the keyring refused to %1: %2").arg(step, errorOf(*reply))
                : QStringLiteral("the keyring gave an answer that could not be "
                                 "understood when asked to %1")
                      .arg(step);
        return outcome;
    };
    // A prompt that never showed fails the save; one the user dismissed leaves the keyring
    // locked, which is the answer. Whether the save ends with the prompt's answer.
    const auto endedByPrompt = [&outcome](const PromptAnswer& answer) {
        using Ending = PromptAnswer::Ending;
        switch (answer.ending) {
        case Ending::completed:
            return false;
        case Ending::dismissed:
            outcome.locked = true;
            break;
        case Ending::serviceLeft:
            outcome.serviceLeft = true;
            break;
        case Ending::notShown:
            outcome.error = QKeychain::OtherError;
            outcome.cause =
                QStringLiteral("the keyring could not show its unlock prompt: ") + answer.cause;
            outcome.nextStep = QStringLiteral("unlock the login keyring in ") + keyringTool;
            break;
        case Ending::abandoned:
            outcome.timedOut = true;
            break;
        }
        return true;
    };
    QDBusMessage alias = secretCall(secretPath, serviceInterface, QStringLiteral("ReadAlias"));
    alias << QStringLiteral("default");
    const std::optional<QDBusMessage> aliasReply = co_await ask(alias);
    if (!self)
        co_return outcome;
    if (!answered(aliasReply))
        co_return failedWith(aliasReply, QStringLiteral("name its default keyring"));
    QString collection = aliasReply->arguments().first().value<QDBusObjectPath>().path();
    const bool noDefault = isNone(collection);
    if (noDefault)
        collection = defaultAlias;
    QDBusMessage get = secretCall(collection, propertiesInterface, QStringLiteral("Get"));
    get << collectionInterface << QStringLiteral("Locked");
    const std::optional<QDBusMessage> lockReply = co_await ask(get);
    if (!self)
        co_return outcome;
    if (!answered(lockReply)) {
        failedWith(lockReply, QStringLiteral("say whether its default keyring is locked"));
        if (noDefault && !outcome.cause.isEmpty()) {
            // As a keyring started by D-Bus activation in a fresh session may be.
            outcome.cause = QStringLiteral("the keyring has no default keyring to keep the key in "
                                           "(%1)")
                                .arg(errorOf(*lockReply));
            outcome.nextStep =
                QStringLiteral("create a keyring (or choose one as the default) in ") + keyringTool;
        }
        co_return outcome;
    }
    const bool collectionLocked =
        lockReply->arguments().first().value<QDBusVariant>().variant().toBool();

    // One unlock for the collection and any locked item of the account, so the user sees one
    // prompt; it is theirs to answer, with no time-out.
    QList<QDBusObjectPath> toUnlock = found.locked;
    if (collectionLocked)
        toUnlock.append(QDBusObjectPath(collection));
    if (!toUnlock.isEmpty()) {
        setKeyringLocked(true);
        if (!mayPrompt) {
            outcome.wouldPrompt = true;
            co_return outcome;
        }
        QDBusMessage unlock = secretCall(secretPath, serviceInterface, QStringLiteral("Unlock"));
        unlock << QVariant::fromValue(toUnlock);
        const std::optional<QDBusMessage> unlockReply = co_await ask(unlock);
        if (!self)
            co_return outcome;
        if (!answered(unlockReply, 2))
            co_return failedWith(unlockReply, QStringLiteral("unlock the keyring"));
        const QString prompt = unlockReply->arguments().at(1).value<QDBusObjectPath>().path();
        if (!isNone(prompt)) {
            const PromptAnswer answer = co_await followPrompt(prompt);
            if (!self || endedByPrompt(answer))
                co_return outcome;
        }
        setKeyringLocked(false);
    }

    const std::optional<QString> session = co_await openSession(outcome);
    if (!self || !session)
        co_return outcome;
    QDBusArgument secret;
    secret.beginStructure();
    secret << QDBusObjectPath(*session) << QByteArray() << value.toUtf8()
           << QStringLiteral("text/plain");
    secret.endStructure();
    const QMap<QString, QString> attributes{{QStringLiteral("user"), account},
                                            {QStringLiteral("server"), service_},
                                            {typeAttribute, QStringLiteral("plaintext")},
                                            {schemaAttribute, keychainSchema}};
    const QVariantMap properties{{QStringLiteral("org.freedesktop.Secret.Item.Label"), service_},
                                 {QStringLiteral("org.freedesktop.Secret.Item.Attributes"),
                                  QVariant::fromValue(attributes)}};
    QDBusMessage create = secretCall(collection, collectionInterface, QStringLiteral("CreateItem"));
    create << properties << QVariant::fromValue(secret) << true;
    const std::optional<QDBusMessage> created = co_await ask(create);
    if (!self)
        co_return outcome;
    closeSession(*session);
    if (!answered(created, 2))
        co_return failedWith(created, QStringLiteral("store the key"));
    QString item = created->arguments().at(0).value<QDBusObjectPath>().path();
    const QString prompt = created->arguments().at(1).value<QDBusObjectPath>().path();
    if (!isNone(prompt) && !mayPrompt) {
        // Locked again in between: the prompt the call began is never shown.
        link_->dismiss(prompt);
        outcome.wouldPrompt = true;
        co_return outcome;
    }
    if (!isNone(prompt)) {
        // The keyring locked again in between: its prompt is the user's, as above.
        const PromptAnswer answer = co_await followPrompt(prompt);
        if (!self || endedByPrompt(answer))
            co_return outcome;
        item = answer.result.value<QDBusObjectPath>().path();
    }

    // Every other item of the account goes, whatever its encoding: the next read must find the
    // value just written and no older one.
    QList<QDBusObjectPath> older = found.unlocked + found.locked;
    older.removeAll(QDBusObjectPath(item));
    const Outcome removed = co_await deleteItems(older);
    if (!self)
        co_return outcome;
    if (!removed.succeeded() && !closing_)
        Log::line(QStringLiteral("⚠️ [Keychain] An older copy of the API key could not be "
                                 "removed from the keyring; the newest is used."));
    co_return outcome;
}

QCoro::Task<KeychainStore::Outcome> KeychainStore::deleteItems(QList<QDBusObjectPath> items) {
    QPointer<KeychainStore> self(this);
    Outcome outcome;
    for (const QDBusObjectPath& item : items) {
        const std::optional<QDBusMessage> reply =
            co_await ask(secretCall(item.path(), itemInterface, QStringLiteral("Delete")));
        if (!self)
            co_return outcome;
        if (!reply)
            outcome.timedOut = true;
        else if (reply->type() != QDBusMessage::ReplyMessage &&
                 reply->errorName() != QLatin1String("org.freedesktop.Secret.Error.NoSuchObject") &&
                 reply->errorName() != QLatin1String("org.freedesktop.DBus.Error.UnknownObject")) {
            outcome.error = QKeychain::OtherError;
            outcome.cause =
                QStringLiteral("the keyring refused to delete the key: ") + errorOf(*reply);
        }
    }
    co_return outcome;
}

QCoro::Task<std::optional<QString>> KeychainStore::openSession(Outcome& outcome) {
    QDBusMessage open = secretCall(secretPath, serviceInterface, QStringLiteral("OpenSession"));
    // The secret crosses the private session bus only, as with every client that asks "plain".
    open << QStringLiteral("plain") << QVariant::fromValue(QDBusVariant(QString()));
    QPointer<KeychainStore> self(this);
    const std::optional<QDBusMessage> reply = co_await ask(open);
    if (!self)
        co_return std::nullopt;
    if (!answered(reply, 2)) {
        outcome.timedOut = !reply;
        if (reply && isDeparture(*reply) && link_->phase() == SecretServiceLink::Phase::gone) {
            outcome.serviceLeft = true;
        } else if (reply) {
            outcome.error = QKeychain::OtherError;
            outcome.cause =
                QStringLiteral("the keyring refused to open a session: ") + errorOf(*reply);
        }
        co_return std::nullopt;
    }
    co_return reply->arguments().at(1).value<QDBusObjectPath>().path();
}

void KeychainStore::closeSession(const QString& session) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.call(secretCall(session, QStringLiteral("org.freedesktop.Secret.Session"),
                            QStringLiteral("Close")),
                 QDBus::NoBlock);
}

QCoro::Task<KeychainStore::Outcome> KeychainStore::readNewest(QList<QDBusObjectPath> items) {
    QPointer<KeychainStore> self(this);
    Outcome outcome;
    // The item changed last wins: a key saved by an older build beside one of ours is stale.
    QString newest;
    QString encoding;
    quint64 newestModified = 0;
    for (const QDBusObjectPath& item : items) {
        QDBusMessage getAll =
            secretCall(item.path(), propertiesInterface, QStringLiteral("GetAll"));
        getAll << itemInterface;
        const std::optional<QDBusMessage> reply = co_await ask(getAll);
        if (!self)
            co_return outcome;
        if (!reply) {
            outcome.timedOut = true;
            co_return outcome;
        }
        if (!answered(reply))
            continue;
        const QVariantMap properties = qdbus_cast<QVariantMap>(reply->arguments().first());
        const quint64 modified = properties.value(QStringLiteral("Modified")).toULongLong();
        if (!newest.isEmpty() && modified < newestModified)
            continue;
        newest = item.path();
        newestModified = modified;
        encoding =
            qdbus_cast<QMap<QString, QString>>(properties.value(QStringLiteral("Attributes")))
                .value(typeAttribute);
    }
    if (newest.isEmpty()) {
        outcome.error = QKeychain::OtherError;
        outcome.cause = QStringLiteral("the keyring listed the key but would not describe it");
        co_return outcome;
    }
    const std::optional<QString> session = co_await openSession(outcome);
    if (!self || !session)
        co_return outcome;
    QDBusMessage get = secretCall(newest, itemInterface, QStringLiteral("GetSecret"));
    get << QVariant::fromValue(QDBusObjectPath(*session));
    const std::optional<QDBusMessage> reply = co_await ask(get);
    if (!self)
        co_return outcome;
    closeSession(*session);
    if (!answered(reply)) {
        outcome.timedOut = !reply;
        // Locked since the search: a key is there all the same.
        outcome.locked =
            reply && reply->errorName() == QLatin1String("org.freedesktop.Secret.Error.IsLocked");
        if (reply && !outcome.locked) {
            outcome.error = QKeychain::OtherError;
            outcome.cause =
                QStringLiteral("the keyring refused to give the key: ") + errorOf(*reply);
        }
        co_return outcome;
    }
    const QDBusArgument secret = reply->arguments().first().value<QDBusArgument>();
    QDBusObjectPath sessionPath;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
    secret.beginStructure();
    secret >> sessionPath >> parameters >> value >> contentType;
    secret.endStructure();
    outcome.data = encoding == QLatin1String("base64") ? QByteArray::fromBase64(value) : value;
    co_return outcome;
}

QCoro::Task<KeychainStore::PromptAnswer> KeychainStore::followPrompt(QString prompt) {
    JobAwaiter<PromptAnswer> awaiter{[this, prompt](std::function<void(const PromptAnswer&)> done) {
        link_->followPrompt(prompt, [done](PromptAnswer answer) { done(answer); });
    }};
    co_return co_await awaiter;
}

QCoro::Task<void> KeychainStore::remove(QString account) {
    ++writes_;
    const Found found = co_await search(account);
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
        outcome = co_await deleteItems(found.unlocked);
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
    if (account.isEmpty()) {
        // Whatever asked, the answer is news of the keyring's lock.
        const auto done = [this, answered](Holding holding) {
            if (holding == Holding::locked || holding == Holding::unlocked)
                setKeyringLocked(holding == Holding::locked);
            answered(holding);
        };
        // The collection new items go to: is it locked?
        QDBusMessage alias = QDBusMessage::createMethodCall(secretService, secretPath,
                                                            serviceInterface, "ReadAlias");
        alias << QStringLiteral("default");
        link_->ask(alias, [this, done](std::optional<QDBusMessage> reply) {
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
            link_->ask(get, [done](std::optional<QDBusMessage> locked) {
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
    [](KeychainStore* store, QString account,
       std::function<void(Holding)> done) -> QCoro::Task<void> {
        done((co_await store->search(std::move(account))).holding);
    }(this, account, std::move(answered));
}

QCoro::Task<std::optional<QDBusMessage>> KeychainStore::ask(QDBusMessage call) {
    JobAwaiter<std::optional<QDBusMessage>> awaiter{
        [this, call](std::function<void(const std::optional<QDBusMessage>&)> done) {
            link_->ask(call, [done](std::optional<QDBusMessage> reply) { done(reply); });
        }};
    co_return co_await awaiter;
}

QCoro::Task<KeychainStore::Found> KeychainStore::search(QString account) {
    QPointer<KeychainStore> self(this);
    // The items of this account, by what QtKeychain files them under (either encoding); the
    // answer lists locked ones apart, and searching never asks anyone to unlock anything.
    QDBusMessage call = secretCall(secretPath, serviceInterface, QStringLiteral("SearchItems"));
    call << QVariant::fromValue(QMap<QString, QString>{{QStringLiteral("user"), account},
                                                       {QStringLiteral("server"), service_}});
    const std::optional<QDBusMessage> reply = co_await ask(call);
    Found found;
    if (!reply) {
        found.holding = Holding::timedOut;
        co_return found;
    }
    if (!answered(reply, 2))
        co_return found;
    found.unlocked = pathsOf(reply->arguments().at(0));
    found.locked = pathsOf(reply->arguments().at(1));
    found.holding = !found.unlocked.isEmpty() ? Holding::unlocked
                    : !found.locked.isEmpty() ? Holding::locked
                                              : Holding::none;
    if (self && found.holding == Holding::locked)
        setKeyringLocked(true);
    co_return found;
}

QCoro::Task<KeychainStore::Holding> KeychainStore::probeHolding(QString account) {
    JobAwaiter<Holding> awaiter{[this, account](std::function<void(const Holding&)> done) {
        probe(account, [done](Holding holding) { done(holding); });
    }};
    co_return co_await awaiter;
}

QCoro::Task<KeychainStore::Outcome> KeychainStore::readAccount(QString account) {
    QPointer<KeychainStore> self(this);
    const Found found = co_await search(account);
    Outcome outcome;
    switch (found.holding) {
    case Holding::locked:
        outcome.locked = true;
        co_return outcome;
    case Holding::timedOut:
        outcome.timedOut = true;
        co_return outcome;
    case Holding::unlocked:
        co_return co_await readNewest(found.unlocked);
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
