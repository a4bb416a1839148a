#include "store/KippetManager.h"

#include "store/DataManagerError.h"
#include "store/KippetManagerError.h"
#include "store/StoreManager.h"

Kippet* KippetManager::createKippet(const QString& name, const KippetColor& color,
                                    const QString& icon, bool isDailyKippet,
                                    const std::optional<QString>& customInstructions,
                                    const std::optional<QString>& sanitizedInstructions) {
    if (!hasContext()) {
        throw DataManagerError::noContext();
    }
    KippetModel row = KippetModel::make(QUuid::createUuid(), name, color, icon, isDailyKippet);
    row.customInstructions = customInstructions;
    row.sanitizedInstructions = sanitizedInstructions;
    // One transaction: when it fails nothing of the row is left for a later save to commit.
    store().insertKippet(row);
    store().insertActiveKippetID(row.id);
    store().saveActiveKippetIDs();
    Kippet* kippet = makeKippet(row);
    kippetModelMap_.insert(row.id, std::move(row));
    activeKippets_.append(kippet);
    emit activeKippetsChanged();
    allKippets_.append(kippet);
    emit allKippetsChanged();
    saveActiveKippetIDs();
    return kippet;
}

void KippetManager::addDemoKippet(Kippet* kippet) {
    if (!kippet->isDemoMode()) {
        throw KippetManagerError::notDemoKippet();
    }
    // The tour owns the demo kippet; when it goes first, the list must not keep its address.
    connect(kippet, &QObject::destroyed, this,
            [this, kippet, id = kippet->id()] { forgetDemoKippet(kippet, id); });
    activeKippets_.append(kippet);
    emit activeKippetsChanged();
}

void KippetManager::removeDemoKippet(Kippet* kippet) {
    if (!kippet->isDemoMode()) {
        return;
    }
    disconnect(kippet, &QObject::destroyed, this, nullptr);
    removeFromActive(kippet->id());
    closeWindow(kippet);
    demoStorage_.remove(kippet->id());
}

// Called while the kippet is being destroyed: only its address and id may be used.
void KippetManager::forgetDemoKippet(Kippet* kippet, const QUuid& kippetId) {
    if (activeKippets_.removeAll(kippet) > 0) {
        emit activeKippetsChanged();
    }
    demoStorage_.remove(kippetId);
}

const ItemStorage& KippetManager::storageFor(const Kippet* kippet) const {
    if (!kippet->isDemoMode()) {
        return itemStorage_;
    }
    std::shared_ptr<DemoStorage>& entry = demoStorage_[kippet->id()];
    if (!entry) {
        auto folder = std::make_unique<QTemporaryDir>();
        const QString root = folder->path();
        entry = std::make_shared<DemoStorage>(DemoStorage{std::move(folder), ItemStorage(root)});
    }
    return entry->storage;
}

void KippetManager::closeKippet(Kippet* kippet) {
    if (KippetModel* row = storedRow(kippet)) {
        store().closeKippet(*row);
        kippet->setLastClosedDate(row->lastClosedDate);
    }
    removeFromActive(kippet->id());
    closeWindow(kippet);
}

void KippetManager::reopenKippet(Kippet* kippet) {
    for (Kippet* open : std::as_const(activeKippets_)) {
        if (open->id() == kippet->id()) {
            return;
        }
    }
    // The store is asked, not the row kept here: a store that cannot be read must fail the reopen
    // before the kippet counts as open. A row another connection removed leaves nothing to mark.
    if (!kippet->isDemoMode()) {
        if (std::optional<KippetModel> row = store().fetchKippetFields(kippet->id())) {
            store().reopenKippet(*row);
        }
    }
    activeKippets_.append(kippet);
    emit activeKippetsChanged();
}

void KippetManager::deleteKippet(Kippet* kippet) {
    const QUuid id = kippet->id();
    if (kippet->isDemoMode()) {
        demoStorage_.remove(id);
    } else if (!isStoreReady_) {
        pendingDeletions_.insert(id);
    } else {
        // A row that stayed while its kippet left memory would bring the kippet back at the next
        // start without its files: the row goes first, and a failure changes nothing.
        auto found = kippetModelMap_.find(id);
        std::optional<KippetModel> row = found != kippetModelMap_.end()
                                             ? std::optional(found.value())
                                             : store().fetchKippetFields(id);
        if (row) {
            store().deleteKippet(*row);
        }
        kippetModelMap_.remove(id);
    }
    removeFromActive(id);
    removeFromAll(id);
    closeWindow(kippet);
    if (!kippet->isDemoMode()) {
        itemStorage_.removeKippetFolder(id);
    }
    // Windows keep a QPointer to the kippet; it goes once the caller's stack has unwound.
    if (kippet->parent() == this) {
        kippet->deleteLater();
    }
}

void KippetManager::updateKippet(Kippet* kippet, const QString& name, const KippetColor& color,
                                 const QString& icon,
                                 const std::optional<QString>& customInstructions,
                                 const std::optional<QString>& sanitizedInstructions) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        throw KippetManagerError::emptyName();
    }
    if (KippetModel* row = storedRow(kippet)) {
        KippetModel fields = *row;
        fields.name = trimmed;
        fields.colorHex = color.toHex();
        fields.icon = icon;
        fields.customInstructions = customInstructions;
        fields.sanitizedInstructions = sanitizedInstructions;
        store().updateKippetFields(*row, fields);
    }
    kippet->setName(trimmed);
    kippet->setColor(color);
    kippet->setIcon(icon);
    kippet->setCustomInstructions(customInstructions);
    kippet->setSanitizedInstructions(sanitizedInstructions);
}

void KippetManager::updateCustomInstructions(Kippet* kippet,
                                             const std::optional<QString>& customInstructions,
                                             const std::optional<QString>& sanitizedInstructions) {
    if (KippetModel* row = storedRow(kippet))
        store().updateCustomInstructions(*row, customInstructions, sanitizedInstructions);
    kippet->setCustomInstructions(customInstructions);
    kippet->setSanitizedInstructions(sanitizedInstructions);
}
