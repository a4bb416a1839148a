#include "window/ItemStateTracker.h"

#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/ClockTimer.h"

#include <algorithm>
#include <utility>

namespace {
bool analyzing(const QList<KippetItem>& items) {
    return std::any_of(items.begin(), items.end(), [](const KippetItem& item) {
        return item.isProcessing && item.category == ItemCategory::uncategorized;
    });
}

bool waiting(const QList<KippetItem>& items) {
    return std::any_of(items.begin(), items.end(), [](const KippetItem& item) {
        return item.category == ItemCategory::waitingForAnalysis;
    });
}

QList<QUuid> idsOf(const QList<KippetItem>& items) {
    QList<QUuid> ids;
    ids.reserve(items.size());
    for (const KippetItem& item : items)
        ids.append(item.id);
    return ids;
}
} // namespace

ItemStateTracker::ItemStateTracker(Kippet* kippet, Policy policy, QObject* parent)
    : QObject(parent), kippet_(kippet), policy_(policy),
      importTimer_(Clock::shared().createTimer(this)),
      analysisFailedTimer_(Clock::shared().createTimer(this)) {
    importTimer_->setSingleShot(true);
    importTimer_->setInterval(importStateDisplayDuration);
    analysisFailedTimer_->setSingleShot(true);
    analysisFailedTimer_->setInterval(analysisFailedStateDisplayDuration);
    connect(importTimer_, &ClockTimer::timeout, this, [this] {
        showImportState_ = false;
        emit changed();
    });
    connect(analysisFailedTimer_, &ClockTimer::timeout, this, [this] {
        showAnalysisFailedState_ = false;
        emit changed();
    });
    if (kippet) {
        remember(kippet->items());
        connect(kippet, &Kippet::itemsChanged, this, &ItemStateTracker::itemsChanged);
    }
}

void ItemStateTracker::remember(const QList<KippetItem>& items) {
    lastItems_ = items;
    wasAnalyzing_ = analyzing(items);
    wasWaiting_ = waiting(items);
}

void ItemStateTracker::appear() {
    if (!kippet_)
        return;
    remember(kippet_->items());
    appearancePending_ = true;
    emit changed();
}

void ItemStateTracker::indexAppearance() {
    if (!std::exchange(appearancePending_, false))
        return;
    knownItemIDs_.clear();
    itemCategoryMap_.clear();
    for (const KippetItem& item : std::as_const(lastItems_)) {
        knownItemIDs_.insert(item.id);
        itemCategoryMap_.insert(item.id, item.category);
    }
}

void ItemStateTracker::disappear() {
    hideImportState();
    emit changed();
}

bool ItemStateTracker::isAnalyzingContent() const {
    return kippet_ && analyzing(kippet_->items());
}

bool ItemStateTracker::hasItemsWaitingForAnalysis() const {
    return kippet_ && waiting(kippet_->items());
}

ItemStateTracker::State ItemStateTracker::state(bool offersReady, bool isActive) const {
    if (isAnalyzingContent())
        return State::analyzing;
    if (hasItemsWaitingForAnalysis() && showAnalysisFailedState_)
        return State::analysisFailed;
    if (showImportState_)
        return State::importing;
    if (offersReady && isActive && kippet_ && kippet_->totalItemCount() == 0)
        return State::ready;
    return State::idle;
}

// The kippet tells only that its list changed: the previous list, kept here, says what did.
void ItemStateTracker::itemsChanged() {
    if (!kippet_)
        return;
    // Until now the items were those of the appearance, kept in lastItems_.
    indexAppearance();
    const QList<KippetItem> items = kippet_->items();
    const QList<QUuid> ids = idsOf(items);
    if (ids != idsOf(lastItems_))
        trackNewItems(ids);
    if (items != lastItems_)
        trackCategoryChanges(items);
    const bool isAnalyzing = analyzing(items);
    const bool isWaiting = waiting(items);
    const bool analyzingStarted = isAnalyzing && !wasAnalyzing_;
    const bool waitingChanged = isWaiting != wasWaiting_;
    remember(items);
    if (analyzingStarted) {
        hideImportState();
        hideAnalysisFailedState();
    }
    if (waitingChanged && isWaiting) {
        hideImportState();
        showAnalysisFailedStateTemporarily();
    } else if (waitingChanged) {
        hideAnalysisFailedState();
    }
    emit changed();
}

void ItemStateTracker::trackNewItems(const QList<QUuid>& ids) {
    QSet<QUuid> added;
    for (const QUuid& id : ids) {
        if (!knownItemIDs_.contains(id))
            added.insert(id);
    }
    knownItemIDs_ = QSet<QUuid>(ids.begin(), ids.end());
    if (added.isEmpty())
        return;
    bool anyCategorised = false;
    for (const KippetItem& item : kippet_->items()) {
        if (!added.contains(item.id))
            continue;
        anyCategorised = anyCategorised || item.category != ItemCategory::uncategorized;
        itemCategoryMap_.insert(item.id, item.category);
    }
    if (anyCategorised)
        showImportStateTemporarily();
}

void ItemStateTracker::trackCategoryChanges(const QList<KippetItem>& items) {
    QHash<QUuid, ItemCategory> categories;
    for (const KippetItem& item : items) {
        const auto previous = itemCategoryMap_.constFind(item.id);
        const bool wasUnsorted =
            previous == itemCategoryMap_.constEnd() || *previous == ItemCategory::uncategorized;
        categories.insert(item.id, item.category);
        if (!wasUnsorted || item.category == ItemCategory::uncategorized)
            continue;
        showImportStateTemporarily();
        if (policy_ == Policy::contentView && previous != itemCategoryMap_.constEnd() &&
            item.category == ItemCategory::waitingForAnalysis)
            showAnalysisFailedStateTemporarily();
    }
    itemCategoryMap_ = categories;
}

void ItemStateTracker::showImportStateTemporarily() {
    showImportState_ = true;
    importTimer_->restart();
}

void ItemStateTracker::showAnalysisFailedStateTemporarily() {
    showAnalysisFailedState_ = true;
    analysisFailedTimer_->restart();
}

void ItemStateTracker::hideImportState() {
    importTimer_->stop();
    showImportState_ = false;
}

void ItemStateTracker::hideAnalysisFailedState() {
    analysisFailedTimer_->stop();
    showAnalysisFailedState_ = false;
}
