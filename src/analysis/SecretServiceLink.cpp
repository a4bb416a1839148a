#include "analysis/SecretServiceLink.h"

#include "platform/Clock.h"
#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <utility>

namespace {
const QString secretPath = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString promptInterface = QStringLiteral("org.freedesktop.Secret.Prompt");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
} // namespace

SecretServiceLink::SecretServiceLink(std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent), timeout_(timeout) {
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

void SecretServiceLink::ask(QDBusMessage call,
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

void SecretServiceLink::followPrompt(const QString& prompt,
                                     std::function<void(PromptAnswer)> done) {
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
    ask(show, [this, prompt](std::optional<QDBusMessage> reply) {
        if (reply && reply->type() == QDBusMessage::ReplyMessage)
            return;
        if (!reply)
            dismiss(prompt);
        PromptAnswer unshown{PromptAnswer::Ending::notShown, {}, {}};
        if (reply)
            unshown.cause = reply->errorMessage().isEmpty()
                                ? reply->errorName()
                                : reply->errorMessage() + QStringLiteral(" (") +
                                      reply->errorName() + QStringLiteral(")");
        else
            unshown.cause = QStringLiteral("the keyring did not answer in time");
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
    Log::line(QStringLiteral("🔑 [Keychain] The keyring (%1) is back on the session bus.")
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
