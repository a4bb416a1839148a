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
    activeKippets_.append(kippet);
    emit activeKippetsChanged();
}

void KippetManager::removeDemoKippet(Kippet* kippet) {
    if (!kippet->isDemoMode()) {
        return;
    }
    removeFromActive(kippet->id());
    closeWindow(kippet);
}

void KippetManager::closeKippet(Kippet* kippet) {
    if (auto row = fetchRow(kippet->id())) {
        store().closeKippet(*row);
        kippetModelMap_.insert(row->id, *row);
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
    if (auto row = fetchRow(kippet->id())) {
        store().reopenKippet(*row);
    }
    activeKippets_.append(kippet);
    emit activeKippetsChanged();
}

void KippetManager::deleteKippet(Kippet* kippet) {
    const QUuid id = kippet->id();
    removeFromActive(id);
    removeFromAll(id);
    closeWindow(kippet);
    itemStorage_.removeKippetFolder(id);
    // Windows keep a QPointer to the kippet; it goes once the caller's stack has unwound.
    if (kippet->parent() == this) {
        kippet->deleteLater();
    }
    if (!isStoreReady_) {
        pendingDeletions_.insert(id);
        return;
    }
    if (auto row = store().fetchKippet(id)) {
        store().deleteKippet(*row);
    }
    kippetModelMap_.remove(id);
}

void KippetManager::updateKippet(Kippet* kippet, const QString& name, const KippetColor& color,
                                 const QString& icon,
                                 const std::optional<QString>& customInstructions,
                                 const std::optional<QString>& sanitizedInstructions) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        throw KippetManagerError::emptyName();
    }
    kippet->setName(trimmed);
    kippet->setColor(color);
    kippet->setIcon(icon);
    kippet->setCustomInstructions(customInstructions);
    kippet->setSanitizedInstructions(sanitizedInstructions);
    auto row = fetchRow(kippet->id());
    if (!row) {
        return;
    }
    row->name = trimmed;
    row->colorHex = color.toHex();
    row->icon = icon;
    row->customInstructions = customInstructions;
    row->sanitizedInstructions = sanitizedInstructions;
    store().updateKippet(*row);
    kippetModelMap_.insert(row->id, *row);
}
