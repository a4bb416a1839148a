#include "store/KippetManager.h"

#include "analysis/AIService.h"
#include "analysis/HeuristicAnalyzer.h"
#include "analysis/ItemAnalysisStep.h"
#include "analysis/KeychainStore.h"
#include "model/KippetItemModel.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr std::chrono::milliseconds retryDelay{60000};

// Rewrites the kippet's first entry with the id through `change`; false when it is gone.
template <typename Change> bool updateItem(Kippet& kippet, const QUuid& itemId, Change&& change) {
    std::optional<KippetItem> stored = kippet.item(itemId);
    if (!stored)
        return false;
    change(*stored);
    stored->isProcessing = false;
    return kippet.replaceItem(*stored);
}

bool applyHeuristic(Kippet& kippet, const QUuid& itemId, const ContentAnalysis& result) {
    return updateItem(kippet, itemId, [&](KippetItem& item) {
        item.category = result.category;
        item.customCategory.reset();
        item.metadata.aiTitle.reset();
        item.metadata.aiDescription = result.description;
        item.metadata.aiTags = result.tags;
    });
}

} // namespace

void KippetManager::requestSave(Kippet* kippet) {
    requestSave(kippet, QUuid());
}

void KippetManager::requestSave(Kippet* kippet, const QUuid& itemId) {
    if (!kippet)
        return;
    const QUuid kippetId = kippet->id();
    const bool queued = pendingSaves_.contains(kippetId);
    QSet<QUuid>& items = pendingSaves_[kippetId];
    if (itemId.isNull() || (queued && items.isEmpty()))
        items = {QUuid()};
    else
        items.insert(itemId);
    if (queued)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, kippetId, target = QPointer<Kippet>(kippet)] {
            if (!pendingSaves_.contains(kippetId))
                return; // flushPendingSaves() wrote it already
            const QSet<QUuid> itemIds = pendingSaves_.take(kippetId);
            if (target)
                saveAnalysedItems(target, itemIds);
        },
        Qt::QueuedConnection);
}

// Writes only the rows of the given items, from the rows this manager keeps: reading every item
// of the kippet back from the store and writing it again for each analysed item would make a
// large import cost the square of its size. Falls back to the full save when a row is unknown.
void KippetManager::saveAnalysedItems(Kippet* kippet, const QSet<QUuid>& itemIds) {
    KippetModel* row =
        kippetModelMap_.contains(kippet->id()) ? &kippetModelMap_[kippet->id()] : nullptr;
    if (!row || itemIds.contains(QUuid()) || !hasContext()) {
        saveKippet(kippet);
        return;
    }
    QList<KippetItemModel> changed;
    for (const QUuid& itemId : itemIds) {
        const std::optional<KippetItem> item = kippet->item(itemId);
        if (!item)
            continue;
        const auto itemRow = std::find_if(row->items.cbegin(), row->items.cend(),
                                          [&](const KippetItemModel& r) { return r.id == itemId; });
        if (itemRow == row->items.cend() || itemRow->rowId == 0) {
            saveKippet(kippet);
            return;
        }
        KippetItemModel updated = *itemRow;
        updated.setMetadata(item->metadata);
        updated.categoryRaw = rawValue(item->category);
        updated.customCategory = item->customCategory;
        updated.isProcessing = item->isProcessing;
        changed.append(std::move(updated));
    }
    try {
        store().updateItems(changed);
        for (const KippetItemModel& updated : std::as_const(changed))
            for (KippetItemModel& kept : row->items)
                if (kept.rowId == updated.rowId)
                    kept = updated;
    } catch (const std::exception& error) {
        // The kept rows still match the store; the kippet's next save writes these items again.
        Log::line(QStringLiteral("Failed to update kippet in the store: ") +
                  KippetsError::textOf(error));
    }
}

void KippetManager::analyzeItem(const KippetItem& item, Kippet* kippet) {
    if (!kippet)
        return;
    if (!ItemAnalysisStep::isAnalysisEnabled()) {
        if (applyHeuristic(*kippet, item.id, heuristicAnalysis(item)))
            requestSave(kippet, item.id);
        return;
    }
    const auto existing = retryAnalysisTasks_.find(item.id);
    if (existing == retryAnalysisTasks_.end()) {
        AnalysisRetry& retry = retryAnalysisTasks_[item.id];
        retry.kippet = kippet;
        retry.item = item;
        scheduleAttempt(retry, retryDelay);
        return;
    }
    // A second attempt while one runs would analyse the item twice at once, and could write an
    // older answer over a newer one: it waits for the running one's outcome.
    if (existing->attempting) {
        existing->againAtOnce = true;
        return;
    }
    // A waiting item is tried at once, once however often it is asked for.
    scheduleAttempt(*existing, std::chrono::milliseconds(0));
}

void KippetManager::scheduleAttempt(AnalysisRetry& retry, std::chrono::milliseconds delay) {
    retry.timer.cancel();
    retry.timer = Clock::shared().schedule(
        delay, this, [this, itemId = retry.item.id] { runRetryAttempt(itemId); });
}

QCoro::Task<> KippetManager::runRetryAttempt(QUuid itemId) {
    QPointer<KippetManager> self(this);
    const auto entry = retryAnalysisTasks_.find(itemId);
    if (entry == retryAnalysisTasks_.end() || entry->attempting)
        co_return;
    entry->timer = ScheduledAction();
    entry->attempting = true;
    const QPointer<Kippet> kippet = entry->kippet;
    const KippetItem passed = entry->item;
    bool tryAgain = false;
    if (kippet) {
        const std::optional<KippetItem> current = kippet->item(itemId);
        if (current && current->category == ItemCategory::waitingForAnalysis)
            tryAgain = co_await performAnalysis(kippet, *current);
    }
    if (!self)
        co_return;
    const auto finished = retryAnalysisTasks_.find(itemId);
    const bool againAtOnce = finished != retryAnalysisTasks_.end() && finished->againAtOnce;
    if (finished != retryAnalysisTasks_.end())
        retryAnalysisTasks_.erase(finished);
    if (!kippet)
        co_return;
    if (tryAgain)
        analyzeItem(passed, kippet);
    const std::optional<KippetItem> after = kippet->item(itemId);
    if (againAtOnce && after && after->category == ItemCategory::waitingForAnalysis &&
        ItemAnalysisStep::isAnalysisEnabled()) {
        AnalysisRetry& retry = retryAnalysisTasks_[itemId];
        retry.kippet = kippet;
        retry.item = *after;
        scheduleAttempt(retry, std::chrono::milliseconds(0));
    }
}

QCoro::Task<bool> KippetManager::performAnalysis(QPointer<Kippet> kippet, KippetItem item) {
    QPointer<KippetManager> self(this);
    std::optional<ContentAnalysis> result;
    std::optional<AIServiceError> lastingFailure;
    try {
        result = co_await AIService::shared().analyzeContent(item, std::nullopt);
    } catch (const AIServiceError& error) {
        if (!error.isRetryable())
            lastingFailure = error;
    } catch (const std::exception&) {
        // Any other failure (a cancellation) is tried again like a passing one.
    }
    if (!self || !kippet)
        co_return false;
    if (result) {
        const bool written = updateItem(*kippet, item.id, [&](KippetItem& stored) {
            stored.category = result->category;
            stored.customCategory.reset();
            if (result->title)
                stored.metadata.aiTitle = result->title;
            stored.metadata.aiDescription = result->description;
            stored.metadata.aiTags = result->tags;
        });
        if (written)
            requestSave(kippet, item.id);
        co_return false;
    }
    if (lastingFailure) {
        const bool written = updateItem(*kippet, item.id, [&](KippetItem& stored) {
            stored.category = ItemCategory::uncategorized;
            stored.customCategory.reset();
            stored.metadata.aiDescription = lastingFailure->userFacingMessage();
        });
        if (written)
            requestSave(kippet, item.id);
        co_return false;
    }
    co_return true;
}

void KippetManager::resumePendingAnalyses() {
    const bool enabled = ItemAnalysisStep::isAnalysisEnabled();
    for (Kippet* kippet : QList<Kippet*>(allKippets_)) {
        bool changed = false;
        // A snapshot, as the loop changes the kippet; read only, so it is never copied.
        const QList<KippetItem> items = kippet->items();
        for (const KippetItem& item : items) {
            if (item.category != ItemCategory::waitingForAnalysis)
                continue;
            if (enabled)
                analyzeItem(item, kippet);
            else
                changed = applyHeuristic(*kippet, item.id, heuristicAnalysis(item)) || changed;
        }
        if (changed)
            requestSave(kippet);
    }
}

QCoro::Task<> KippetManager::retryFailedAnalyses() {
    QPointer<KippetManager> self(this);
    bool hasKey = false;
    if (ItemAnalysisStep::isAnalysisEnabled() && KeychainStore::isInstalled()) {
        try {
            const std::optional<QString> key =
                co_await KeychainStore::shared().read(KeychainStore::apiKeyAccount);
            hasKey = key && !key->isEmpty();
        } catch (const KeychainError& error) {
            // A locked keyring holds a key: the analyses wait for it rather than settle without.
            hasKey = error.isLocked();
        }
    }
    if (!self)
        co_return;
    const bool retry = ItemAnalysisStep::isAnalysisEnabled() && hasKey;
    for (const QPointer<Kippet>& kippet :
         QList<QPointer<Kippet>>(allKippets_.begin(), allKippets_.end())) {
        if (!kippet)
            continue;
        bool changed = false;
        const QList<KippetItem> snapshots = kippet->items();
        for (const KippetItem& snapshot : snapshots) {
            // A waiting item already has its retry from the pass before this one.
            if (!snapshot.isProcessing || snapshot.category == ItemCategory::waitingForAnalysis)
                continue;
            const std::optional<KippetItem> current = kippet->item(snapshot.id);
            if (!current)
                continue;
            changed = true;
            if (!retry) {
                applyHeuristic(*kippet, current->id, heuristicAnalysis(*current));
                continue;
            }
            updateItem(*kippet, current->id, [](KippetItem& stored) {
                stored.category = ItemCategory::waitingForAnalysis;
                stored.customCategory.reset();
            });
            analyzeItem(*kippet->item(current->id), kippet);
        }
        if (changed)
            requestSave(kippet);
    }
}

void KippetManager::retryWaitingAnalyses() {
    for (Kippet* kippet : QList<Kippet*>(allKippets_)) {
        const QList<KippetItem> items = kippet->items();
        for (const KippetItem& item : items)
            if (item.category == ItemCategory::waitingForAnalysis)
                analyzeItem(item, kippet);
    }
}

void KippetManager::reanalyzeAll() {
    if (Preferences::shared().boolValue(QStringLiteral("ai_enabled")) != std::optional<bool>(false))
        return;
    for (Kippet* kippet : QList<Kippet*>(allKippets_)) {
        bool changed = false;
        const QList<KippetItem> items = kippet->items();
        for (const KippetItem& item : items) {
            if (item.category == ItemCategory::uncategorized ||
                item.category == ItemCategory::waitingForAnalysis)
                changed = applyHeuristic(*kippet, item.id, heuristicAnalysis(item)) || changed;
        }
        if (changed)
            requestSave(kippet);
    }
    // Waiting attempts end: their items are classified now. One that runs keeps its entry, so
    // that no second analysis of its item starts before it ends.
    for (auto it = retryAnalysisTasks_.begin(); it != retryAnalysisTasks_.end();) {
        if (it->attempting) {
            it->againAtOnce = false;
            ++it;
        } else {
            it->timer.cancel();
            it = retryAnalysisTasks_.erase(it);
        }
    }
}
