#pragma once

#include "analysis/KeyringOutcome.h"
#include "platform/Clock.h"

#include <QCoroTask>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <chrono>
#include <functional>
#include <optional>

class QDBusVariant;

// The conversation with the Secret Service (org.freedesktop.secrets) on the session bus: finding
// an account's items (filed as QtKeychain files them, under the given service name), reading the
// newest, writing one and deleting the rest, and whether the default keyring is locked.
//
// Every call gives up after a time-out, so a keyring that does not answer cannot hang the app.
// The one wait without a time-out is the keyring's own unlock prompt, which is the user's to
// answer however long they take. Its answer comes as a signal, which a keyring that dies never
// sends: so the service's name is watched, and its owner leaving the bus ends every prompt still
// open. A call needs no such care, as the bus itself answers a call whose callee has gone. A
// service that comes back is spoken to as before (every call goes to the name, never to a former
// owner) and is announced. GUI thread only.
class SecretServiceLink : public QObject {
    Q_OBJECT
public:
    static inline const QString serviceName = QStringLiteral("org.freedesktop.secrets");

    // Where the service stands, as the bus last told.
    enum class Phase {
        // Nothing heard yet: a service may run, or D-Bus activation may start one when called.
        unknown,
        // A process owns the service's name.
        present,
        // Its owner left the bus: whatever waited on it has ended.
        gone,
        // The link is closing: every wait has ended as unanswered, and so does what comes after.
        closed,
    };

    // What the Secret Service says without being asked to unlock anything: of an account's
    // items, or of the keyring new items go to.
    enum class Holding { none, unlocked, locked, timedOut, unanswered };
    struct Found {
        Holding holding = Holding::unanswered;
        QList<QDBusObjectPath> unlocked;
        QList<QDBusObjectPath> locked;
    };

    struct PromptAnswer {
        enum class Ending {
            // The user answered; result holds what the prompt gives back.
            completed,
            // The user cancelled it.
            dismissed,
            // The service would not show it (cause says why) or did not answer in time.
            notShown,
            // The service left the bus while the prompt was open.
            serviceLeft,
            // The link closed first.
            abandoned,
        };
        Ending ending = Ending::abandoned;
        QVariant result;
        QString cause;
    };

    SecretServiceLink(QString itemService, std::chrono::milliseconds timeout,
                      QObject* parent = nullptr);
    ~SecretServiceLink() override;

    Phase phase() const { return phase_; }

    static QDBusMessage methodCall(const QString& path, const QString& interface,
                                   const QString& member);

    // The account's items, apart by whether they are locked; asks nobody to unlock anything.
    QCoro::Task<Found> search(QString account);
    // Whether the keyring new items go to is locked; none when there is no such keyring.
    QCoro::Task<Holding> defaultKeyring();
    // Reads the newest of the account's unlocked items.
    QCoro::Task<KeyringOutcome> readNewest(QList<QDBusObjectPath> items);
    // Writes the value as the account's one item, unlocking the keyring first when it is locked
    // and a prompt may be shown (else the outcome says that one would be).
    QCoro::Task<KeyringOutcome> writeItem(QString account, QString value, Found found,
                                          bool mayPrompt);
    QCoro::Task<KeyringOutcome> deleteItems(QList<QDBusObjectPath> items);

    // Ends every call and prompt still open as unanswered; what is asked afterwards ends at once.
    void close();

signals:
    // The service announced a change of a collection: its lock may have changed.
    void keyringChanged();
    // The service said whether the keyring is locked, or showed it by what it answered.
    void lockSeen(bool locked);
    // The service's owner left the bus.
    void serviceLeft();
    // A service owns the name again after one had left.
    void serviceReturned();

private slots:
    void collectionChanged();
    void promptCompleted(bool dismissed, const QDBusVariant& result, const QDBusMessage& message);
    void ownerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    // One method per event.
    void serviceRegistered();
    void serviceUnregistered();
    void callAnswered(quint64 call, const QDBusMessage& reply);
    void callTimedOut(quint64 call);
    void promptEnded(const QString& prompt, PromptAnswer answer);

    // Sends the call; done gets its reply (an error reply included) or, when no answer came in
    // time or the link closed, none. Called exactly once.
    void send(QDBusMessage call, std::function<void(std::optional<QDBusMessage>)> done);
    QCoro::Task<std::optional<QDBusMessage>> ask(QDBusMessage call);
    // Shows the prompt a call began and calls done once with how it ended, without a time-out.
    void showPrompt(const QString& prompt, std::function<void(PromptAnswer)> done);
    QCoro::Task<PromptAnswer> followPrompt(QString prompt);
    // The service drops a prompt that a call began and that will never be shown.
    void dismiss(const QString& prompt);
    QCoro::Task<std::optional<QString>> openSession(KeyringOutcome& outcome);
    void closeSession(const QString& session);
    // The outcome of a call that failed while asking the keyring to do step.
    KeyringOutcome failed(const std::optional<QDBusMessage>& reply, const QString& step) const;

    QString itemService_;
    std::chrono::milliseconds timeout_;
    Phase phase_ = Phase::unknown;
    struct OpenCall {
        std::function<void(std::optional<QDBusMessage>)> done;
        ScheduledAction timeOut;
    };
    // The calls sent and not yet answered, by number.
    QHash<quint64, OpenCall> calls_;
    quint64 callsSent_ = 0;
    // The prompts shown and not yet answered, by path.
    QHash<QString, std::function<void(PromptAnswer)>> prompts_;
};
