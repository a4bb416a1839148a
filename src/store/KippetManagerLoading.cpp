#include "store/KippetManager.h"

#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataMigrationService.h"
#include "store/StoreManager.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <utility>
#include <vector>

namespace {
bool legacyImportDone() {
    return Preferences::shared().boolOr(DataMigrationService::migrationCompletedKey, false);
}

// Whether the row already holds what an update of the item row would write; the bytes are fixed
// and never compared.
bool hasChangeableFieldsOf(const KippetItemModel& row, const KippetItem& item) {
    const ItemMetadata& metadata = item.metadata;
    return row.metadataName == metadata.name &&
           row.metadataFileExtension == metadata.fileExtension &&
           row.metadataFileSize == metadata.fileSize &&
           row.metadataUrlString == metadata.urlString &&
           row.metadataMimeType == metadata.mimeType && row.metadataAiTitle == metadata.aiTitle &&
           row.metadataAiDescription == metadata.aiDescription &&
           row.metadataAiTags == metadata.aiTags && row.categoryRaw == rawValue(item.category) &&
           row.customCategory == item.customCategory && row.isProcessing == item.isProcessing;
}

// Both lists are required; one kippet that does not decode spoils the whole file.
std::optional<std::vector<std::unique_ptr<Kippet>>> decodeKippets(const QJsonValue& value) {
    if (!value.isArray()) {
        return std::nullopt;
    }
    std::vector<std::unique_ptr<Kippet>> kippets;
    const QDateTime now = Clock::shared().now();
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isObject()) {
            return std::nullopt;
        }
        try {
            kippets.push_back(Kippet::fromJson(element.toObject(), now));
        } catch (const KippetsError&) {
            return std::nullopt;
        }
    }
    return kippets;
}

} // namespace

void KippetManager::loadLegacyStore() {
    // Once imported, the legacy file is a stale copy: the store holds the current kippets.
    if (legacyImportDone()) {
        return;
    }
    if (!QFileInfo::exists(legacyStorageFile())) {
        return;
    }
    QByteArray bytes;
    try {
        bytes = DataMigrationService::readLegacyFile(legacyStorageFile());
    } catch (const KippetsError& error) {
        Log::line(QStringLiteral("⚠️ Legacy data not loaded: ") + error.errorDescription());
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject()) {
        return;
    }
    const QJsonObject root = document.object();
    auto active = decodeKippets(root.value(QStringLiteral("activeKippets")));
    auto all = decodeKippets(root.value(QStringLiteral("allKippets")));
    if (!active || !all) {
        return;
    }
    QSet<QUuid> activeIds;
    for (const auto& kippet : *active) {
        activeIds.insert(kippet->id());
    }
    QList<Kippet*> allList;
    QList<Kippet*> activeList;
    for (auto& owned : *all) {
        Kippet* kippet = owned.release();
        kippet->setParent(this);
        allList.append(kippet);
        if (activeIds.contains(kippet->id())) {
            activeList.append(kippet);
        }
    }
    replaceKippets(allList, activeList);
    applyLoadedKippets();
}

void KippetManager::applyLoadedKippets() {
    QSet<QUuid> handled;
    for (const QList<Kippet*>* list : {&allKippets_, &activeKippets_}) {
        for (Kippet* kippet : *list) {
            if (handled.contains(kippet->id())) {
                continue;
            }
            handled.insert(kippet->id());
            QList<KippetTodo> todos = kippet->todos();
            sortTodosForDisplay(todos);
            kippet->setTodos(todos);
        }
    }
}

void KippetManager::loadFromStoreOrSyncLegacy() {
    if (!legacyImportDone() && !allKippets_.isEmpty()) {
        syncKippetsToStore();
    }
    // Even after a sync the lists come from the store, whose rows may be newer than the file.
    loadFromStore();
}

void KippetManager::loadFromStore() {
    if (!hasContext()) {
        return;
    }
    try {
        QList<KippetModel> rows = store().fetchAllKippets();
        QSet<QUuid> seen;
        QList<KippetModel> unique;
        QList<KippetModel> duplicates;
        for (KippetModel& row : rows) {
            if (pendingDeletions_.contains(row.id)) {
                continue;
            }
            if (seen.contains(row.id)) {
                duplicates.append(std::move(row));
                continue;
            }
            seen.insert(row.id);
            unique.append(std::move(row));
        }
        if (!duplicates.isEmpty()) {
            Log::line(
                QStringLiteral(
                    "⚠️ Found %1 duplicate KippetModel rows in the store — removing them")
                    .arg(duplicates.size()));
            store().deleteKippetRows(duplicates);
        }
        const QSet<QUuid> activeIds = storedActiveKippetIDs();
        QList<Kippet*> all;
        QList<Kippet*> active;
        all.reserve(unique.size());
        for (KippetModel& row : unique) {
            Kippet* kippet = makeKippet(row);
            all.append(kippet);
            if (activeIds.contains(kippet->id())) {
                active.append(kippet);
            }
            kippetModelMap_.insert(row.id, std::move(row));
        }
        replaceKippets(all, active);
        applyLoadedKippets();
        Log::line(QStringLiteral("📦 Loaded %1 kippets from the store").arg(allKippets_.size()));
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("❌ Failed to load from the store: ") +
                  KippetsError::textOf(error));
        // A store that cannot be read is never run over as an empty one.
        store().refuseIfDamaged();
    }
}

void KippetManager::syncKippetsToStore() {
    if (!hasContext()) {
        return;
    }
    QList<KippetModel> rows;
    for (Kippet* kippet : std::as_const(allKippets_)) {
        if (kippet->isDemoMode() || pendingDeletions_.contains(kippet->id())) {
            continue;
        }
        try {
            // A kippet that already has a row keeps it: a second row would only be a duplicate.
            if (store().fetchKippetFields(kippet->id())) {
                continue;
            }
        } catch (const std::exception&) {
            continue;
        }
        rows.append(KippetModel::fromDomainWithContents(*kippet));
    }
    try {
        if (!rows.isEmpty()) {
            store().insertKippets(rows);
        }
    } catch (const std::exception&) {
        // The load that follows shows what the store holds.
    }
    saveActiveKippetIDs();
}

void KippetManager::replaceKippets(QList<Kippet*> all, QList<Kippet*> active) {
    const QList<Kippet*> previous = allKippets_ + activeKippets_;
    allKippets_ = std::move(all);
    activeKippets_ = std::move(active);
    for (Kippet* old : previous) {
        if (old->parent() == this && !allKippets_.contains(old) && !activeKippets_.contains(old)) {
            old->setParent(nullptr);
            old->deleteLater();
        }
    }
    emit allKippetsChanged();
    emit activeKippetsChanged();
}

Kippet* KippetManager::makeKippet(const KippetModel& row) {
    auto* kippet = new Kippet(row.id, row.name, row.color(), row.icon, row.createdDate, this);
    QList<KippetItem> items;
    items.reserve(row.items.size());
    for (const KippetItemModel& item : row.items) {
        items.append(item.toDomain());
    }
    QList<KippetTodo> todos;
    todos.reserve(row.todos.size());
    for (const KippetTodoModel& todo : row.todos) {
        todos.append(todo.toDomain());
    }
    kippet->setItems(items);
    kippet->setNote(row.note());
    kippet->setTodos(todos);
    kippet->setIsExpanded(row.isExpanded);
    kippet->setIsMiniView(row.isMiniView);
    kippet->setIsTucked(row.isTucked);
    kippet->setPosition(row.position());
    kippet->setLastClosedDate(row.lastClosedDate);
    kippet->setProject(row.project);
    kippet->setIsDemoMode(false);
    kippet->setIsDailyKippet(row.isDailyKippet);
    kippet->setCustomInstructions(row.customInstructions);
    kippet->setSanitizedInstructions(row.sanitizedInstructions);
    return kippet;
}

void KippetManager::saveKippet(Kippet* kippet) {
    if (!kippet || kippet->isDemoMode()) {
        return;
    }
    try {
        KippetModel* row = cachedRow(kippet->id());
        if (!row) {
            return;
        }
        KippetModel fields = *row;
        fields.name = kippet->name();
        fields.colorHex = kippet->color().toHex();
        fields.icon = kippet->icon();
        fields.setNote(kippet->note());
        fields.isExpanded = kippet->isExpanded();
        fields.isMiniView = kippet->isMiniView();
        fields.isTucked = kippet->isTucked();
        fields.setPosition(kippet->position());
        fields.lastClosedDate = kippet->lastClosedDate();
        fields.project = kippet->project();
        fields.isDailyKippet = kippet->isDailyKippet();
        fields.customInstructions = kippet->customInstructions();
        fields.sanitizedInstructions = kippet->sanitizedInstructions();
        // Read through a const view: the row shares its list with `fields`, and a write access
        // would copy every item row.
        const QList<KippetItemModel>& rowItems = std::as_const(*row).items;
        QHash<QUuid, const KippetItemModel*> itemRows;
        itemRows.reserve(rowItems.size());
        for (const KippetItemModel& itemRow : rowItems) {
            if (!itemRows.contains(itemRow.id)) {
                itemRows.insert(itemRow.id, &itemRow);
            }
        }
        QList<KippetItemModel> changed;
        for (const KippetItem& item : kippet->items()) {
            const KippetItemModel* itemRow = itemRows.value(item.id);
            if (!itemRow || hasChangeableFieldsOf(*itemRow, item)) {
                continue;
            }
            KippetItemModel updated = *itemRow;
            updated.setMetadata(item.metadata);
            updated.categoryRaw = rawValue(item.category);
            updated.customCategory = item.customCategory;
            updated.isProcessing = item.isProcessing;
            changed.append(std::move(updated));
        }
        store().updateKippetFields(*row, fields, changed);
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("Failed to update kippet in the store: ") +
                  KippetsError::textOf(error));
    }
}

void KippetManager::flushPendingSaves() {
    const QHash<QUuid, QSet<QUuid>> pending = std::exchange(pendingSaves_, {});
    for (auto entry = pending.cbegin(); entry != pending.cend(); ++entry) {
        if (Kippet* target = kippet(entry.key())) {
            saveAnalysedItems(target, entry.value());
        }
    }
}

void KippetManager::saveActiveKippetIDs() {
    QJsonArray ids;
    QSet<QUuid> idSet;
    for (Kippet* kippet : std::as_const(activeKippets_)) {
        if (!kippet->isDemoMode()) {
            ids.append(ItemStorage::idText(kippet->id()));
            idSet.insert(kippet->id());
        }
    }
    Preferences::shared().setData(QString::fromLatin1(ActiveKippetIDs::key),
                                  QJsonDocument(ids).toJson(QJsonDocument::Compact));
    // The store writes the same key from its own set when a kippet closes or reopens; a set that
    // missed these ids would close those kippets at the next start.
    if (store_) {
        store_->setActiveKippetIDs(idSet);
    }
}

QSet<QUuid> KippetManager::storedActiveKippetIDs() const {
    const auto data = Preferences::shared().dataValue(QString::fromLatin1(ActiveKippetIDs::key));
    if (!data) {
        return {};
    }
    return ActiveKippetIDs::decode(*data).value_or(QSet<QUuid>());
}
