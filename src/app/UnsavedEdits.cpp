#include "app/UnsavedEdits.h"

#include "app/Dialogs.h"
#include "platform/Clock.h"
#include "platform/ClockTimer.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/StoreError.h"
#include "store/StoreManager.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <utility>

namespace {
QPointer<UnsavedEdits>& installed() {
    static QPointer<UnsavedEdits> instance;
    return instance;
}

// What SQLite and the store say when a write fails, and how a user would say it.
struct KnownReason {
    const char* says;
    const char* meaning;
};
constexpr KnownReason knownReasons[] = {
    {"database is locked", "another program is using the store"},
    {"database table is locked", "another program is using the store"},
    {"readonly database", "the store cannot be written to"},
    {"disk I/O error", "the disk could not be written to"},
    {"malformed", "the store is damaged"},
    {"Store context not available", "the store is not open yet"},
};
} // namespace

UnsavedEdits& UnsavedEdits::shared() {
    if (!installed()) {
        static UnsavedEdits edits;
        installed() = &edits;
    }
    return *installed();
}

void UnsavedEdits::install(UnsavedEdits* edits) {
    installed() = edits;
}

bool UnsavedEdits::isInstalled() {
    return !installed().isNull();
}

UnsavedEdits::UnsavedEdits(QObject* parent) : QObject(parent) {
    // However the app quits (a signal, the session's end), waiting edits are saved and kept
    // edits get one more write.
    if (auto* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            saveWaiting();
            retryAll();
            logLeftBehind();
        });
    }
}

UnsavedEdits::~UnsavedEdits() = default;

std::optional<QString> UnsavedEdits::save(Edit edit) {
    const std::optional<QString> failure = write(edit);
    if (failure) {
        keep(std::move(edit));
        return failure;
    }
    const int index = indexOf(edit.key);
    if (index >= 0) {
        kept_.removeAt(index);
        updateRetries();
        emit changed();
    }
    // The store takes edits again: the kept ones need not wait for the next second.
    if (!kept_.isEmpty())
        retryAll();
    return std::nullopt;
}

void UnsavedEdits::saveAfter(std::chrono::milliseconds delay, Edit edit,
                             std::function<void(const std::optional<QString>&)> saved) {
    const QString key = edit.key;
    waiting_.append(Waiting{std::move(edit), std::move(saved)});
    Clock::shared().schedule(delay, this, [this, key] { saveWaiting(key); });
}

void UnsavedEdits::saveWaiting() {
    while (!waiting_.isEmpty())
        saveWaiting(waiting_.constFirst().edit.key);
}

void UnsavedEdits::saveWaiting(const QString& key) {
    const auto found =
        std::find_if(waiting_.cbegin(), waiting_.cend(),
                     [&key](const Waiting& waiting) { return waiting.edit.key == key; });
    if (found == waiting_.cend())
        return;
    Waiting waiting = *found;
    waiting_.erase(found);
    const std::optional<QString> failure = save(std::move(waiting.edit));
    if (waiting.saved)
        waiting.saved(failure);
}

QList<UnsavedEdits::Edit> UnsavedEdits::kept(const QUuid& kippetId, Kind kind) const {
    QList<Edit> found;
    for (const Edit& edit : kept_) {
        if (edit.kippetId == kippetId && edit.kind == kind)
            found.append(edit);
    }
    return found;
}

std::optional<UnsavedEdits::Edit> UnsavedEdits::kept(const QString& key) const {
    const int index = indexOf(key);
    return index < 0 ? std::nullopt : std::optional<Edit>(kept_.at(index));
}

bool UnsavedEdits::retryAll() {
    if (kept_.isEmpty())
        return true;
    QStringList keys;
    for (const Edit& edit : std::as_const(kept_))
        keys.append(edit.key);
    for (const QString& key : std::as_const(keys)) {
        // A write can reach views that save again meanwhile: look each edit up afresh.
        const int index = indexOf(key);
        if (index < 0)
            continue;
        Edit edit = kept_.at(index);
        const bool failed = write(edit).has_value();
        const int now = indexOf(key);
        if (now < 0)
            continue;
        if (failed) {
            kept_[now].reason = edit.reason;
            continue;
        }
        Log::line(QStringLiteral("💾 [UnsavedEdits] Saved ") + edit.label +
                  QStringLiteral(" after all"));
        kept_.removeAt(now);
    }
    updateRetries();
    emit changed();
    return kept_.isEmpty();
}

bool UnsavedEdits::isRetrying() const {
    return retryTimer_ && retryTimer_->isActive();
}

QString UnsavedEdits::retryNote() const {
    return isRetrying() ? QStringLiteral(". Kippets tries again every second.")
                        : QStringLiteral(".");
}

bool UnsavedEdits::mayQuit(QWidget* parent) {
    saveWaiting();
    if (retryAll() || Dialogs::shared().isStopping())
        return true;
    QStringList labels;
    for (const Edit& edit : std::as_const(kept_))
        labels.append(edit.label);
    const QString text = QStringLiteral("Kippets could not save ") + listed(labels) +
                         QStringLiteral(": ") + kept_.last().reason +
                         QStringLiteral(". If you quit now, what was not saved is lost.");
    const std::optional<int> answer =
        Dialogs::shared().ask(QStringLiteral("Some changes are not saved"), text,
                              {QStringLiteral("Quit Anyway"), QStringLiteral("Go Back")}, parent);
    // Dismissing the question keeps the app, and the edits, where they are.
    return answer == 0;
}

QString UnsavedEdits::reasonInWords(const QString& errorDescription) {
    for (const KnownReason& known : knownReasons) {
        if (errorDescription.contains(QLatin1String(known.says), Qt::CaseInsensitive))
            return QString::fromLatin1(known.meaning);
    }
    QString said = errorDescription;
    said.remove(QStringLiteral("Failed to save: "));
    said = said.trimmed();
    return said.isEmpty() ? QStringLiteral("the store did not say why")
                          : QStringLiteral("the store answered ") + quoted(said);
}

QString UnsavedEdits::quoted(const QString& text) {
    return QStringLiteral("“") + text + QStringLiteral("”");
}

QString UnsavedEdits::listed(QStringList parts) {
    if (parts.size() < 2)
        return parts.join(QString());
    const QString last = parts.takeLast();
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

std::optional<QString> UnsavedEdits::write(Edit& edit) {
    try {
        if (edit.write)
            edit.write();
        return std::nullopt;
    } catch (const std::exception& error) {
        const QString description = KippetsError::textOf(error);
        // Without a store every write says the store is not open: the user learns why instead.
        // A full disk SQLite says by its code, whatever words come with it.
        if (storeIsGivenUp())
            edit.reason = QStringLiteral("the store is damaged");
        else if (StoreError::meansFullDisk(error))
            edit.reason = QStringLiteral("the disk is full");
        else
            edit.reason = reasonInWords(description);
        return description;
    }
}

bool UnsavedEdits::storeIsGivenUp() {
    return StoreManager::isInstalled() && StoreManager::shared().refusal().has_value();
}

int UnsavedEdits::indexOf(const QString& key) const {
    for (int i = 0; i < kept_.size(); ++i) {
        if (kept_.at(i).key == key)
            return i;
    }
    return -1;
}

void UnsavedEdits::keep(Edit edit) {
    const int index = indexOf(edit.key);
    if (index >= 0)
        kept_[index] = std::move(edit);
    else
        kept_.append(std::move(edit));
    updateRetries();
    emit changed();
}

void UnsavedEdits::updateRetries() {
    if (kept_.isEmpty() || storeIsGivenUp()) {
        if (retryTimer_)
            retryTimer_->stop();
        return;
    }
    if (!retryTimer_) {
        retryTimer_ = new ClockTimer(this);
        retryTimer_->setInterval(retryInterval);
        connect(retryTimer_, &ClockTimer::timeout, this, &UnsavedEdits::retryAll);
    }
    retryTimer_->start();
}

void UnsavedEdits::logLeftBehind() const {
    for (const Edit& edit : kept_)
        Log::line(QStringLiteral("⚠️ [UnsavedEdits] Quit without saving ") + edit.label +
                  QStringLiteral(": ") + edit.reason);
}
