#include "analysis/SecretServiceLink.h"

#include "analysis/CallbackAwaiter.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QPointer>
#include <utility>

namespace {
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
const QString keyringTool =
    QStringLiteral("your desktop's keyring tool (such as Passwords and Keys)");

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

// The error a bus sends for a call whose callee left or never came.
bool isDeparture(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    return name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           name == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}
} // namespace

SecretServiceLink::SecretServiceLink(QString itemService, std::chrono::milliseconds timeout,
                                     QObject* parent)
    : QObject(parent), itemService_(std::move(itemService)), timeout_(timeout) {
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // gnome-keyring announces a lock or unlock both ways; either is news of the keyring's lock.
    bus.connect(serviceName, secretPath, serviceInterface, QStringLiteral("CollectionChanged"),
                this, SLOT(collectionChanged()));
    bus.connect(serviceName, QString(), propertiesInterface, QStringLiteral("PropertiesChanged"),
                this, SLOT(collectionChanged()));
    auto* watcher =
        new QDBusServiceWatcher(serviceName, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &SecretServiceLink::ownerChanged);
}

SecretServiceLink::~SecretServiceLink() {
    close();
}

QDBusMessage SecretServiceLink::methodCall(const QString& path, const QString& interface,
                                           const QString& member) {
    return QDBusMessage::createMethodCall(serviceName, path, interface, member);
}

void SecretServiceLink::send(QDBusMessage call,
                             std::function<void(std::optional<QDBusMessage>)> done) {
    if (phase_ == Phase::closed)
        return done(std::nullopt);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return done(call.createErrorReply(QDBusError::Disconnected, QString()));
    const quint64 sent = ++callsSent_;
    calls_.insert(sent, OpenCall{std::move(done), ScheduledAction()});
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, sent](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                callAnswered(sent, answered->reply());
            });
    const ScheduledAction timeOut =
        Clock::shared().schedule(timeout_, this, [this, sent] { callTimedOut(sent); });
    // Answered at once (the bus refusing the call): no time-out is left to cancel.
    if (const auto open = calls_.find(sent); open != calls_.end())
        open->timeOut = timeOut;
}

void SecretServiceLink::callAnswered(quint64 call, const QDBusMessage& reply) {
    const auto waiting = calls_.find(call);
    if (waiting == calls_.end())
        return;
    OpenCall open = waiting.value();
    calls_.erase(waiting);
    open.timeOut.cancel();
    // An answer from the service itself tells that it runs, before the bus has said so.
    if (phase_ == Phase::unknown && reply.type() == QDBusMessage::ReplyMessage)
        phase_ = Phase::present;
    open.done(reply);
}

void SecretServiceLink::callTimedOut(quint64 call) {
    // An answer that comes later finds nobody waiting, and is dropped.
    const auto waiting = calls_.find(call);
    if (waiting == calls_.end())
        return;
    OpenCall open = waiting.value();
    calls_.erase(waiting);
    open.timeOut.cancel();
    open.done(std::nullopt);
}

void SecretServiceLink::showPrompt(const QString& prompt, std::function<void(PromptAnswer)> done) {
    if (phase_ == Phase::closed)
        return done(PromptAnswer{});
    if (phase_ == Phase::gone)
        return done(PromptAnswer{PromptAnswer::Ending::serviceLeft, {}, {}});
    prompts_.insert(prompt, std::move(done));
    // Listening before asking: an answer cannot come before it is listened for.
    QDBusConnection::sessionBus().connect(serviceName, prompt, promptInterface,
                                          QStringLiteral("Completed"), this,
                                          SLOT(promptCompleted(bool, QDBusVariant, QDBusMessage)));
    QDBusMessage show = methodCall(prompt, promptInterface, QStringLiteral("Prompt"));
    show << QString();
    // The call only shows the prompt; its answer comes with "Completed", however late.
    send(show, [this, prompt](std::optional<QDBusMessage> reply) {
        if (reply && reply->type() == QDBusMessage::ReplyMessage)
            return;
        if (!reply)
            dismiss(prompt);
        PromptAnswer unshown{PromptAnswer::Ending::notShown, {}, {}};
        unshown.cause =
            reply ? errorOf(*reply) : QStringLiteral("the keyring did not answer in time");
        promptEnded(prompt, unshown);
    });
}

void SecretServiceLink::dismiss(const QString& prompt) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.call(methodCall(prompt, promptInterface, QStringLiteral("Dismiss")), QDBus::NoBlock);
}

void SecretServiceLink::promptCompleted(bool dismissed, const QDBusVariant& result,
                                        const QDBusMessage& message) {
    promptEnded(message.path(), PromptAnswer{dismissed ? PromptAnswer::Ending::dismissed
                                                       : PromptAnswer::Ending::completed,
                                             result.variant(),
                                             {}});
}

void SecretServiceLink::promptEnded(const QString& prompt, PromptAnswer answer) {
    const auto waiting = prompts_.find(prompt);
    if (waiting == prompts_.end())
        return;
    const std::function<void(PromptAnswer)> done = waiting.value();
    prompts_.erase(waiting);
    QDBusConnection::sessionBus().disconnect(
        serviceName, prompt, promptInterface, QStringLiteral("Completed"), this,
        SLOT(promptCompleted(bool, QDBusVariant, QDBusMessage)));
    done(std::move(answer));
}

void SecretServiceLink::collectionChanged() {
    emit keyringChanged();
}

void SecretServiceLink::ownerChanged(const QString&, const QString& oldOwner,
                                     const QString& newOwner) {
    // A name handed straight from one owner to the next is a departure and a return.
    if (!oldOwner.isEmpty())
        serviceUnregistered();
    if (!newOwner.isEmpty())
        serviceRegistered();
}

void SecretServiceLink::serviceUnregistered() {
    if (phase_ == Phase::closed)
        return;
    phase_ = Phase::gone;
    Log::line(QStringLiteral("⚠️ [Keychain] The keyring (%1) left the session bus.")
                  .arg(serviceName));
    // Nothing answers these prompts now; a keyring that returns knows nothing of them.
    const QStringList open = prompts_.keys();
    for (const QString& prompt : open)
        promptEnded(prompt, PromptAnswer{PromptAnswer::Ending::serviceLeft, {}, {}});
    emit serviceLeft();
}

void SecretServiceLink::serviceRegistered() {
    if (phase_ == Phase::closed)
        return;
    const bool returned = phase_ == Phase::gone;
    phase_ = Phase::present;
    if (!returned)
        return;
    Log::line(QStringLiteral("✅ [Keychain] The keyring (%1) is back on the session bus.")
                  .arg(serviceName));
    emit serviceReturned();
}

void SecretServiceLink::close() {
    if (phase_ == Phase::closed)
        return;
    phase_ = Phase::closed;
    // Every wait still open ends now as unanswered, so that nothing awaiting the link is left
    // suspended for good.
    while (!calls_.isEmpty())
        callTimedOut(calls_.constBegin().key());
    const QStringList open = prompts_.keys();
    for (const QString& prompt : open)
        promptEnded(prompt, PromptAnswer{});
}

QCoro::Task<std::optional<QDBusMessage>> SecretServiceLink::ask(QDBusMessage call) {
    // A named awaiter: GCC mishandles brace-initialised temporaries inside co_await.
    CallbackAwaiter<std::optional<QDBusMessage>> awaiter{
        [this, call](std::function<void(const std::optional<QDBusMessage>&)> done) {
            send(call, [done](std::optional<QDBusMessage> reply) { done(reply); });
        }};
    co_return co_await awaiter;
}

QCoro::Task<SecretServiceLink::PromptAnswer> SecretServiceLink::followPrompt(QString prompt) {
    CallbackAwaiter<PromptAnswer> awaiter{
        [this, prompt](std::function<void(const PromptAnswer&)> done) {
            showPrompt(prompt, [done](PromptAnswer answer) { done(answer); });
        }};
    co_return co_await awaiter;
}

QCoro::Task<SecretServiceLink::Found> SecretServiceLink::search(QString account) {
    QPointer<SecretServiceLink> self(this);
    // The items of this account, by what QtKeychain files them under (either encoding); the
    // answer lists locked ones apart, and searching never asks anyone to unlock anything.
    QDBusMessage call = secretCall(secretPath, serviceInterface, QStringLiteral("SearchItems"));
    call << QVariant::fromValue(QMap<QString, QString>{{QStringLiteral("user"), account},
                                                       {QStringLiteral("server"), itemService_}});
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
        emit lockSeen(true);
    co_return found;
}

QCoro::Task<SecretServiceLink::Holding> SecretServiceLink::defaultKeyring() {
    QPointer<SecretServiceLink> self(this);
    // The collection new items go to: is it locked?
    QDBusMessage alias = secretCall(secretPath, serviceInterface, QStringLiteral("ReadAlias"));
    alias << QStringLiteral("default");
    const std::optional<QDBusMessage> reply = co_await ask(alias);
    if (!self || !reply)
        co_return Holding::timedOut;
    if (!answered(reply))
        co_return Holding::unanswered;
    const QString path = reply->arguments().first().value<QDBusObjectPath>().path();
    if (isNone(path))
        co_return Holding::none;
    QDBusMessage get = secretCall(path, propertiesInterface, QStringLiteral("Get"));
    get << collectionInterface << QStringLiteral("Locked");
    const std::optional<QDBusMessage> locked = co_await ask(get);
    if (!locked)
        co_return Holding::timedOut;
    if (!answered(locked))
        co_return Holding::unanswered;
    const bool isLocked = locked->arguments().first().value<QDBusVariant>().variant().toBool();
    // Whoever asked, the answer is news of the keyring's lock.
    if (self)
        emit lockSeen(isLocked);
    co_return isLocked ? Holding::locked : Holding::unlocked;
}

QCoro::Task<KeyringOutcome> SecretServiceLink::readNewest(QList<QDBusObjectPath> items) {
    QPointer<SecretServiceLink> self(this);
    KeyringOutcome outcome;
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

QCoro::Task<KeyringOutcome> SecretServiceLink::writeItem(QString account, QString value,
                                                         Found found, bool mayPrompt) {
    QPointer<SecretServiceLink> self(this);
    KeyringOutcome outcome;
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
        co_return failed(aliasReply, QStringLiteral("name its default keyring"));
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
        outcome = failed(lockReply, QStringLiteral("say whether its default keyring is locked"));
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
        emit lockSeen(true);
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
            co_return failed(unlockReply, QStringLiteral("unlock the keyring"));
        const QString prompt = unlockReply->arguments().at(1).value<QDBusObjectPath>().path();
        if (!isNone(prompt)) {
            const PromptAnswer answer = co_await followPrompt(prompt);
            if (!self || endedByPrompt(answer))
                co_return outcome;
        }
        emit lockSeen(false);
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
                                            {QStringLiteral("server"), itemService_},
                                            {typeAttribute, QStringLiteral("plaintext")},
                                            {schemaAttribute, keychainSchema}};
    const QVariantMap properties{
        {QStringLiteral("org.freedesktop.Secret.Item.Label"), itemService_},
        {QStringLiteral("org.freedesktop.Secret.Item.Attributes"),
         QVariant::fromValue(attributes)}};
    QDBusMessage create = secretCall(collection, collectionInterface, QStringLiteral("CreateItem"));
    create << properties << QVariant::fromValue(secret) << true;
    const std::optional<QDBusMessage> created = co_await ask(create);
    if (!self)
        co_return outcome;
    closeSession(*session);
    if (!answered(created, 2))
        co_return failed(created, QStringLiteral("store the key"));
    QString item = created->arguments().at(0).value<QDBusObjectPath>().path();
    const QString prompt = created->arguments().at(1).value<QDBusObjectPath>().path();
    if (!isNone(prompt) && !mayPrompt) {
        // Locked again in between: the prompt the call began is never shown.
        dismiss(prompt);
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
    const KeyringOutcome removed = co_await deleteItems(older);
    if (!self)
        co_return outcome;
    if (!removed.succeeded() && phase_ != Phase::closed)
        Log::line(QStringLiteral("⚠️ [Keychain] An older copy of the API key could not be "
                                 "removed from the keyring; the newest is used."));
    co_return outcome;
}

KeyringOutcome SecretServiceLink::failed(const std::optional<QDBusMessage>& reply,
                                         const QString& step) const {
    KeyringOutcome outcome;
    outcome.timedOut = !reply;
    if (!reply)
        return outcome;
    if (reply->errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
        outcome.error = QKeychain::NoBackendAvailable;
        return outcome;
    }
    if (isDeparture(*reply) && phase_ == Phase::gone) {
        outcome.serviceLeft = true;
        return outcome;
    }
    outcome.error = QKeychain::OtherError;
    outcome.cause = reply->type() == QDBusMessage::ErrorMessage
                        ? QStringLiteral("the keyring refused to %1: %2").arg(step, errorOf(*reply))
                        : QStringLiteral("the keyring gave an answer that could not be "
                                         "understood when asked to %1")
                              .arg(step);
    return outcome;
}

QCoro::Task<KeyringOutcome> SecretServiceLink::deleteItems(QList<QDBusObjectPath> items) {
    QPointer<SecretServiceLink> self(this);
    KeyringOutcome outcome;
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

QCoro::Task<std::optional<QString>> SecretServiceLink::openSession(KeyringOutcome& outcome) {
    QDBusMessage open = secretCall(secretPath, serviceInterface, QStringLiteral("OpenSession"));
    // The secret crosses the private session bus only, as with every client that asks "plain".
    open << QStringLiteral("plain") << QVariant::fromValue(QDBusVariant(QString()));
    QPointer<SecretServiceLink> self(this);
    const std::optional<QDBusMessage> reply = co_await ask(open);
    if (!self)
        co_return std::nullopt;
    if (!answered(reply, 2)) {
        outcome.timedOut = !reply;
        if (reply && isDeparture(*reply) && phase_ == SecretServiceLink::Phase::gone) {
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

void SecretServiceLink::closeSession(const QString& session) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.call(secretCall(session, QStringLiteral("org.freedesktop.Secret.Session"),
                            QStringLiteral("Close")),
                 QDBus::NoBlock);
}
