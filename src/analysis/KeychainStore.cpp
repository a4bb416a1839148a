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
#include <QDBusPendingCallWatcher>
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
const QString promptInterface = QStringLiteral("org.freedesktop.Secret.Prompt");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// Where the Secret Service keeps new items when it names no default collection.
const QString defaultAlias = QStringLiteral("/org/freedesktop/secrets/aliases/default");
// QtKeychain's names: an item's schema and how its secret is encoded.
const QString schemaAttribute = QStringLiteral("xdg:schema");
const QString keychainSchema = QStringLiteral("org.qt.keychain");
const QString typeAttribute = QStringLiteral("type");

QDBusMessage secretCall(const QString& path, const QString& interface, const QString& member) {
    return QDBusMessage::createMethodCall(secretService, path, interface, member);
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
    // gnome-keyring announces a lock or unlock both ways; either makes the store ask again.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(secretService, secretPath, serviceInterface,
                    QStringLiteral("CollectionChanged"), this, SLOT(keyringChanged()));
        bus.connect(secretService, QString(), propertiesInterface,
                    QStringLiteral("PropertiesChanged"), this, SLOT(keyringChanged()));
    }
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
    const Found found = co_await search(account);
    if (found.holding == Holding::timedOut) {
        Outcome unanswered;
        unanswered.timedOut = true;
        QString detail;
        const qint32 status = statusFor(unanswered, &detail);
        throw KeychainError(KeychainError::Case::queryFailed, status, detail);
    }
    const bool known = found.holding == Holding::unlocked || found.holding == Holding::locked ||
                       (cache_.contains(account) && cache_.value(account).has_value());
    Outcome written;
    if (found.holding == Holding::unanswered) {
        // No Secret Service to search: QtKeychain may reach the keyring another way.
        auto* write = new QKeychain::WritePasswordJob(service_, this);
        write->setBinaryData(value.toUtf8());
        written = co_await run(prepare(write, account));
    } else {
        written = co_await writeItem(account, value, found);
    }
    if (!written.succeeded()) {
        if (written.locked) {
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

QCoro::Task<KeychainStore::Outcome> KeychainStore::writeItem(QString account, QString value,
                                                             Found found) {
    QPointer<KeychainStore> self(this);
    Outcome outcome;
    const auto failedWith = [&outcome](const std::optional<QDBusMessage>& reply) {
        outcome.timedOut = !reply;
        if (reply)
            outcome.error = reply->errorName() == QLatin1String("org.freedesktop.DBus.Error."
                                                                "ServiceUnknown")
                                ? QKeychain::NoBackendAvailable
                                : QKeychain::OtherError;
        return outcome;
    };
    // A prompt that never showed fails the save; one the user dismissed leaves the keyring
    // locked, which is the answer. Whether the save ends with the prompt's answer.
    const auto endedByPrompt = [&outcome](const PromptAnswer& answer) {
        if (!answer.shown)
            outcome.error = QKeychain::OtherError;
        else if (answer.dismissed)
            outcome.locked = true;
        return !answer.shown || answer.dismissed;
    };
    QDBusMessage alias = secretCall(secretPath, serviceInterface, QStringLiteral("ReadAlias"));
    alias << QStringLiteral("default");
    const std::optional<QDBusMessage> aliasReply = co_await ask(alias);
    if (!self || !answered(aliasReply))
        co_return failedWith(aliasReply);
    QString collection = aliasReply->arguments().first().value<QDBusObjectPath>().path();
    if (isNone(collection))
        collection = defaultAlias;
    QDBusMessage get = secretCall(collection, propertiesInterface, QStringLiteral("Get"));
    get << collectionInterface << QStringLiteral("Locked");
    const std::optional<QDBusMessage> lockReply = co_await ask(get);
    if (!self || !answered(lockReply))
        co_return failedWith(lockReply);
    const bool collectionLocked =
        lockReply->arguments().first().value<QDBusVariant>().variant().toBool();

    // One unlock for the collection and any locked item of the account, so the user sees one
    // prompt; it is theirs to answer, with no time-out.
    QList<QDBusObjectPath> toUnlock = found.locked;
    if (collectionLocked)
        toUnlock.append(QDBusObjectPath(collection));
    if (!toUnlock.isEmpty()) {
        setKeyringLocked(true);
        QDBusMessage unlock = secretCall(secretPath, serviceInterface, QStringLiteral("Unlock"));
        unlock << QVariant::fromValue(toUnlock);
        const std::optional<QDBusMessage> unlockReply = co_await ask(unlock);
        if (!self || !answered(unlockReply, 2))
            co_return failedWith(unlockReply);
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
        co_return failedWith(created);
    QString item = created->arguments().at(0).value<QDBusObjectPath>().path();
    const QString prompt = created->arguments().at(1).value<QDBusObjectPath>().path();
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
                 reply->errorName() != QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
            outcome.error = QKeychain::OtherError;
    }
    co_return outcome;
}

QCoro::Task<std::optional<QString>> KeychainStore::openSession(Outcome& outcome) {
    QDBusMessage open = secretCall(secretPath, serviceInterface, QStringLiteral("OpenSession"));
    // The secret crosses the private session bus only, as with every client that asks "plain".
    open << QStringLiteral("plain") << QVariant::fromValue(QDBusVariant(QString()));
    const std::optional<QDBusMessage> reply = co_await ask(open);
    if (!answered(reply, 2)) {
        outcome.timedOut = !reply;
        if (reply)
            outcome.error = QKeychain::OtherError;
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
        if (reply && !outcome.locked)
            outcome.error = QKeychain::OtherError;
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
        if (closing_)
            return done(PromptAnswer{});
        prompts_.insert(prompt, [done](PromptAnswer answer) { done(answer); });
        openWait([this, prompt] { endPrompt(prompt, PromptAnswer{}); });
        // Listening before asking: an answer cannot come before it is listened for.
        QDBusConnection::sessionBus().connect(
            secretService, prompt, promptInterface, QStringLiteral("Completed"), this,
            SLOT(promptCompleted(bool, QDBusVariant, QDBusMessage)));
        QDBusMessage show = secretCall(prompt, promptInterface, QStringLiteral("Prompt"));
        show << QString();
        // The call only shows the prompt; its answer comes with "Completed", however late.
        askSecretService(show, [this, prompt](std::optional<QDBusMessage> reply) {
            if (answered(reply, 0))
                return;
            if (!reply)
                QDBusConnection::sessionBus().call(
                    secretCall(prompt, promptInterface, QStringLiteral("Dismiss")), QDBus::NoBlock);
            endPrompt(prompt, PromptAnswer{});
        });
    }};
    co_return co_await awaiter;
}

void KeychainStore::promptCompleted(bool dismissed, const QDBusVariant& result,
                                    const QDBusMessage& message) {
    endPrompt(message.path(), PromptAnswer{true, dismissed, result.variant()});
}

void KeychainStore::endPrompt(const QString& prompt, PromptAnswer answer) {
    const auto waiting = prompts_.find(prompt);
    if (waiting == prompts_.end())
        return;
    const std::function<void(PromptAnswer)> done = waiting.value();
    prompts_.erase(waiting);
    QDBusConnection::sessionBus().disconnect(
        secretService, prompt, promptInterface, QStringLiteral("Completed"), this,
        SLOT(promptCompleted(bool, QDBusVariant, QDBusMessage)));
    done(std::move(answer));
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
        const qint32 status = statusFor(outcome, &detail);
        throw KeychainError(KeychainError::Case::deleteFailed, status, detail);
    }
    ++writes_;
    setLocked(account, false);
    cache_.insert(account, std::nullopt);
}

void KeychainStore::askSecretService(QDBusMessage call,
                                     std::function<void(std::optional<QDBusMessage>)> done) {
    if (closing_)
        return done(std::nullopt);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        done(call.createErrorReply(QDBusError::Disconnected, QString()));
        return;
    }
    auto settled = std::make_shared<bool>(false);
    auto timer = std::make_shared<ScheduledAction>();
    const quint64 wait = openWait([settled, done] {
        if (!std::exchange(*settled, true))
            done(std::nullopt);
    });
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, wait, settled, timer, done](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                if (*settled)
                    return;
                *settled = true;
                timer->cancel();
                openWaits_.remove(wait);
                done(answered->reply());
            });
    *timer = Clock::shared().schedule(timeout_, this, [this, wait, settled, done] {
        if (*settled)
            return;
        *settled = true;
        openWaits_.remove(wait);
        done(std::nullopt);
    });
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
    [](KeychainStore* store, QString account,
       std::function<void(Holding)> done) -> QCoro::Task<void> {
        done((co_await store->search(std::move(account))).holding);
    }(this, account, std::move(answered));
}

QCoro::Task<std::optional<QDBusMessage>> KeychainStore::ask(QDBusMessage call) {
    JobAwaiter<std::optional<QDBusMessage>> awaiter{
        [this, call](std::function<void(const std::optional<QDBusMessage>&)> done) {
            askSecretService(call, [done](std::optional<QDBusMessage> reply) { done(reply); });
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
