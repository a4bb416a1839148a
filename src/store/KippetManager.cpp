#include "store/KippetManager.h"

#include "analysis/KeychainStore.h"

#include "platform/Log.h"
#include "store/DataManagerError.h"
#include "store/MappedBytes.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "store/WindowRegistry.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QDir>
#include <QSocketNotifier>

namespace {
QPointer<KippetManager>& installed() {
    static QPointer<KippetManager> instance;
    return instance;
}

bool launchedWithTemporaryStorage() {
    return QCoreApplication::arguments().contains(QStringLiteral("-useTemporaryStorage"));
}

QString resolveDataFolder(const QString& given, bool testMode) {
    if (!given.isEmpty()) {
        return given;
    }
    if (testMode) {
        return StoreContainer::temporaryDataFolder();
    }
    return StoreContainer::defaultDataFolder();
}
} // namespace

KippetManager::KippetManager(StoreManager* store, QString dataFolder, QObject* parent)
    : QObject(parent), store_(store), isTestMode_(launchedWithTemporaryStorage()),
      itemStorage_(resolveDataFolder(dataFolder, isTestMode_)) {
    dataFolder_ = itemStorage_.root();
    QDir().mkpath(dataFolder_);
    if (isTestMode_ && dataFolder.isEmpty()) {
        Log::line(QStringLiteral("🧪 KippetManager running in TEST MODE. Storage: ") +
                  dataFolder_);
    }
    loadLegacyStore();
    if (const int notices = MappedBytes::damageNotices(); notices >= 0) {
        damageWatch_ = std::make_unique<QSocketNotifier>(notices, QSocketNotifier::Read);
        connect(damageWatch_.get(), &QSocketNotifier::activated, this, [this] {
            MappedBytes::drainDamageNotices();
            dropLostBytes();
        });
    }
    // Items waiting behind a locked keyring are analysed once it is unlocked, not at their next
    // retry a minute on.
    if (KeychainStore::isInstalled())
        connect(&KeychainStore::shared(), &KeychainStore::keyringUnlocked, this,
                &KippetManager::retryWaitingAnalyses);
    // The store initialization starts only after construction has returned, so whoever built the
    // manager can install it and connect to it first.
    QMetaObject::invokeMethod(this, &KippetManager::startInitialization, Qt::QueuedConnection);
}

KippetManager::~KippetManager() {
    for (auto& action : completionTransitionWorkItems_) {
        action.cancel();
    }
}

KippetManager& KippetManager::shared() {
    Q_ASSERT_X(installed(), "KippetManager::shared", "no manager installed");
    return *installed();
}

void KippetManager::install(KippetManager* manager) {
    installed() = manager;
}

Kippet* KippetManager::kippet(const QUuid& id) const {
    for (Kippet* candidate : allKippets_) {
        if (candidate->id() == id) {
            return candidate;
        }
    }
    for (Kippet* candidate : activeKippets_) {
        if (candidate->id() == id) {
            return candidate;
        }
    }
    return nullptr;
}

QString KippetManager::legacyStorageFile() const {
    return dataFolder_ + QStringLiteral("/kippets.json");
}

// MARK: initialization

void KippetManager::startInitialization() {
    initializeStore();
}

QCoro::Task<> KippetManager::initializeStore() {
    QPointer<KippetManager> self(this);
    co_await waitForStoreConfiguration();
    if (!self) {
        co_return;
    }
    loadFromStoreOrSyncLegacy();
    // Over a store refused at load, nothing is resumed or retried.
    if (!store_ || !store_->refusal())
        runStartupPasses();
    completeStoreInitialization();
}

// A manager built before the start-up configured the store must not decide between loading and
// syncing on an empty store: that would load nothing and never look again.
QCoro::Task<> KippetManager::waitForStoreConfiguration() {
    QPointer<StoreManager> store = store_;
    while (store && !store->isInitialized()) {
        co_await qCoro(store.data(), &StoreManager::isInitializedChanged);
    }
}

void KippetManager::runStartupPasses() {
    // These passes act on the kippets as loaded from the store, never on the legacy copies.
    // The analysis passes (items waiting for analysis, analyses cut short by a quit) join here.
    restoreCompletionTransitions();
    resumePendingAnalyses();
    retryFailedAnalyses();
}

void KippetManager::completeStoreInitialization() {
    if (hasContext()) {
        setStoreReady(true);
        Log::line(QStringLiteral("✅ KippetManager store integration ready"));
        replayPendingOperations();
    } else {
        Log::line(QStringLiteral(
            "⚠️ KippetManager store init skipped – store context not available"));
    }
    initializationEnded_ = true;
    releaseWaiters();
}

void KippetManager::releaseWaiters() {
    const auto waiters = std::move(initializationWaiters_);
    initializationWaiters_.clear();
    for (auto waiter : waiters) {
        waiter.resume();
    }
}

void KippetManager::replayPendingOperations() {
    if (pendingDeletions_.isEmpty()) {
        return;
    }
    Log::line(QStringLiteral("🔄 Replaying pending store operations"));
    for (const QUuid& id : std::as_const(pendingDeletions_)) {
        try {
            if (auto row = store().fetchKippetFields(id)) {
                store().deleteKippet(*row);
            }
        } catch (const KippetsError& error) {
            Log::line(QStringLiteral("⚠️ Failed to delete pending kippet ") +
                      ItemStorage::idText(id) + QStringLiteral(": ") + error.errorDescription());
        }
        kippetModelMap_.remove(id);
    }
    pendingDeletions_.clear();
    Log::line(QStringLiteral("✅ Completed replaying pending operations"));
}

void KippetManager::setStoreReady(bool ready) {
    if (isStoreReady_ == ready) {
        return;
    }
    isStoreReady_ = ready;
    emit storeReadyChanged();
}

QCoro::Task<> KippetManager::waitForInitialization() {
    co_await InitializationAwaiter{this};
}

bool KippetManager::InitializationAwaiter::await_ready() const noexcept {
    return manager->isStoreReady_ || manager->initializationEnded_;
}

void KippetManager::InitializationAwaiter::await_suspend(std::coroutine_handle<> handle) {
    manager->initializationWaiters_.push_back(handle);
}

// MARK: store access and lists

StoreManager& KippetManager::store() const {
    if (!store_) {
        throw DataManagerError::noContext();
    }
    return *store_;
}

bool KippetManager::hasContext() const {
    return store_ && store_->hasContext();
}

std::optional<KippetModel> KippetManager::fetchRow(const QUuid& kippetId) {
    auto row = store().fetchKippet(kippetId);
    if (row) {
        kippetModelMap_.insert(kippetId, *row);
    }
    return row;
}

// The row as last read or written by this manager; fetched once when there is none, so that
// adding an item does not read every item of the kippet back from the store.
KippetModel* KippetManager::cachedRow(const QUuid& kippetId) {
    auto found = kippetModelMap_.find(kippetId);
    if (found != kippetModelMap_.end()) {
        return &found.value();
    }
    if (!fetchRow(kippetId)) {
        return nullptr;
    }
    return &kippetModelMap_[kippetId];
}

KippetModel* KippetManager::storedRow(const Kippet* kippet) {
    if (kippet->isDemoMode()) {
        return nullptr;
    }
    return cachedRow(kippet->id());
}

void KippetManager::removeFromActive(const QUuid& kippetId) {
    const auto removed = activeKippets_.removeIf([&](Kippet* k) { return k->id() == kippetId; });
    if (removed > 0) {
        emit activeKippetsChanged();
    }
}

void KippetManager::removeFromAll(const QUuid& kippetId) {
    const auto removed = allKippets_.removeIf([&](Kippet* k) { return k->id() == kippetId; });
    if (removed > 0) {
        emit allKippetsChanged();
    }
}

void KippetManager::closeWindow(Kippet* kippet) {
    if (windowRegistry_) {
        windowRegistry_->closeWindow(kippet);
    }
}
