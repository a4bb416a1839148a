#include "store/KippetManager.h"

#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataMigrationService.h"
#include "store/StoreManager.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <vector>

namespace {
bool legacyImportDone() {
    return Preferences::shared().boolOr(DataMigrationService::migrationCompletedKey, false);
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
    QFile file(legacyStorageFile());
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
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
            if (store().fetchKippet(kippet->id())) {
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
        auto row = store().fetchKippet(kippet->id());
        if (!row) {
            return;
        }
        row->name = kippet->name();
        row->colorHex = kippet->color().toHex();
        row->icon = kippet->icon();
        row->setNote(kippet->note());
        row->isExpanded = kippet->isExpanded();
        row->isMiniView = kippet->isMiniView();
        row->isTucked = kippet->isTucked();
        row->setPosition(kippet->position());
        row->lastClosedDate = kippet->lastClosedDate();
        row->project = kippet->project();
        row->isDailyKippet = kippet->isDailyKippet();
        row->customInstructions = kippet->customInstructions();
        row->sanitizedInstructions = kippet->sanitizedInstructions();
        QHash<QUuid, KippetItemModel*> itemRows;
        for (KippetItemModel& itemRow : row->items) {
            if (!itemRows.contains(itemRow.id)) {
                itemRows.insert(itemRow.id, &itemRow);
            }
        }
        for (const KippetItem& item : kippet->items()) {
            KippetItemModel* itemRow = itemRows.value(item.id);
            if (!itemRow) {
                continue;
            }
            itemRow->setMetadata(item.metadata);
            itemRow->categoryRaw = rawValue(item.category);
            itemRow->customCategory = item.customCategory;
            itemRow->isProcessing = item.isProcessing;
        }
        store().updateKippet(*row);
        kippetModelMap_.insert(kippet->id(), *row);
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("Failed to update kippet in the store: ") +
                  KippetsError::textOf(error));
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
