#include "store/StoreManager.h"

#include "model/ICloudSyncSetting.h"
#include "model/SharedBytes.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataManagerError.h"
#include "store/DataMigrationService.h"
#include "store/MappedBytes.h"
#include "store/StoreError.h"
#include "store/StoreTables.h"
#include "store/StoreTransaction.h"

#include <QPointer>
#include <QScopeGuard>

namespace {
QPointer<StoreManager>& installed() {
    static QPointer<StoreManager> instance;
    return instance;
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

StoreManager::StoreManager() = default;

StoreManager::~StoreManager() = default;

StoreManager& StoreManager::shared() {
    Q_ASSERT_X(installed(), "StoreManager::shared", "no StoreManager installed");
    return *installed();
}

void StoreManager::install(StoreManager* manager) {
    installed() = manager;
}

bool StoreManager::isInstalled() {
    return !installed().isNull();
}

bool StoreManager::isICloudSyncEnabled() {
    return ::isICloudSyncEnabled();
}

void StoreManager::setICloudSyncEnabled(bool enabled) {
    ::setICloudSyncEnabled(enabled);
}

void StoreManager::configure(std::unique_ptr<StoreContainer> container) {
    tables_.reset();
    container_ = std::move(container);
    tables_ = std::make_unique<StoreTables>(container_->database(), container_->externalFolder());
    Log::line(QStringLiteral("[iCloud Sync] StoreManager configuring with container..."));
    Log::line(QStringLiteral("[iCloud Sync]   Container configurations: 1"));
    Log::line(QStringLiteral("[iCloud Sync]   - Config: default, URL: ") + container_->storePath());
    DataMigrationService(container_->dataFolder(), Preferences::shared())
        .migrateIfNeeded(*container_);
    loadActiveKippetIDs();
    if (!isInitialized_) {
        isInitialized_ = true;
        emit isInitializedChanged();
    }
    const bool iCloud = isICloudSyncEnabled();
    Log::line(QStringLiteral("[iCloud Sync] ✅ StoreManager initialized (iCloud preference: ") +
              boolText(iCloud) + QLatin1Char(')'));
}

bool StoreManager::refuseIfDamaged() {
    if (!container_)
        return false;
    const std::optional<StoreError> damage = container_->damage();
    if (!damage)
        return false;
    giveUp(*damage);
    return true;
}

void StoreManager::giveUp(const StoreError& damage) {
    Log::line(QStringLiteral("❌ ") + damage.errorDescription());
    container_->refuse(damage);
    tables_.reset();
    container_.reset();
    refusal_ = damage.errorDescription();
    emit storeRefused(*refusal_);
}

// SQLite's word that pages do not hold together is final: what is still written could only be
// written over pages it cannot trust, so the store is given up as the check at open would.
void StoreManager::giveUpIfDamaged(const StoreError& error) {
    if (container_ && error.namesDamage())
        giveUp(container_->damaged(error.errorDescription()));
}

template <typename Read> auto StoreManager::reading(Read&& read) const {
    requireContext();
    try {
        return read(*tables_);
    } catch (const StoreError& error) {
        const_cast<StoreManager*>(this)->giveUpIfDamaged(error);
        throw;
    }
}

void StoreManager::setActiveKippetIDs(const QSet<QUuid>& ids) {
    if (ids == activeKippetIDs_)
        return;
    activeKippetIDs_ = ids;
    emit activeKippetIDsChanged();
}

void StoreManager::insertActiveKippetID(const QUuid& id) {
    QSet<QUuid> ids = activeKippetIDs_;
    ids.insert(id);
    setActiveKippetIDs(ids);
}

void StoreManager::loadActiveKippetIDs() {
    Preferences& preferences = Preferences::shared();
    const QString key = QLatin1String(ActiveKippetIDs::key);
    const QString legacyKey = QLatin1String(ActiveKippetIDs::legacyKey);
    if (const auto data = preferences.dataValue(key)) {
        if (const auto ids = ActiveKippetIDs::decode(*data)) {
            setActiveKippetIDs(*ids);
            return;
        }
    }
    const auto legacy = preferences.dataValue(legacyKey);
    if (!legacy)
        return;
    const auto ids = ActiveKippetIDs::decode(*legacy);
    if (!ids)
        return;
    setActiveKippetIDs(*ids);
    saveActiveKippetIDs();
    preferences.remove(legacyKey);
}

void StoreManager::saveActiveKippetIDs() {
    Preferences::shared().setData(QLatin1String(ActiveKippetIDs::key),
                                  ActiveKippetIDs::encode(activeKippetIDs_));
}

void StoreManager::requireContext() const {
    if (!container_)
        throw DataManagerError::noContext();
}

// Runs the work in one transaction; any failure rolls it back and surfaces as saveFailed.
template <typename Work> void StoreManager::inTransaction(Work&& work) {
    requireContext();
    StoreTables& tables = *tables_;
    try {
        StoreTransaction transaction(container_->database());
        work(tables);
        tables.syncWrittenFiles();
        transaction.commit();
    } catch (const StoreError& error) {
        tables.discardWrittenFiles();
        giveUpIfDamaged(error);
        throw DataManagerError::saveFailed(error);
    } catch (...) {
        tables.discardWrittenFiles();
        throw;
    }
    if (tables.finishCommittedFiles()) {
        // The rows' bytes may still be mapped for their items, which leave memory after this
        // call; their mappings go once nothing holds them.
        QMetaObject::invokeMethod(
            this, [] { MappedBytes::releaseUnused(); }, Qt::QueuedConnection);
    }
}

ExternalBytes StoreManager::externalBytes() const {
    return ExternalBytes(container_ ? container_->externalFolder() : QString());
}

std::optional<KippetModel> StoreManager::fetchKippet(const QUuid& id) const {
    return reading([&](StoreTables& tables) { return tables.selectFirstKippet(id); });
}

std::optional<KippetModel> StoreManager::fetchKippetFields(const QUuid& id) const {
    return reading([&](StoreTables& tables) { return tables.selectFirstKippetFields(id); });
}

QList<KippetModel> StoreManager::fetchAllKippets() const {
    return reading([](StoreTables& tables) { return tables.selectAllKippets(); });
}

std::optional<KippetItemModel> StoreManager::fetchItem(qint64 rowId) const {
    return reading([&](StoreTables& tables) { return tables.selectItem(rowId); });
}

void StoreManager::insertKippet(KippetModel& kippet) {
    QList<KippetModel> rows{kippet};
    insertKippets(rows);
    kippet = rows.constFirst();
}

void StoreManager::insertKippets(QList<KippetModel>& kippets) {
    QList<KippetModel> stored = kippets;
    inTransaction([&](StoreTables& tables) {
        for (KippetModel& row : stored)
            tables.insertKippet(row);
    });
    kippets = std::move(stored);
}

void StoreManager::deleteKippetRows(const QList<KippetModel>& kippets) {
    inTransaction([&](StoreTables& tables) {
        for (const KippetModel& row : kippets)
            tables.deleteKippetRow(row.rowId);
    });
}

void StoreManager::updateItems(const QList<KippetItemModel>& items) {
    inTransaction([&](StoreTables& tables) {
        for (const KippetItemModel& item : items)
            tables.updateItemRow(item);
    });
}

void StoreManager::updateKippet(KippetModel& kippet) {
    inTransaction([&](StoreTables& tables) {
        tables.updateKippetRow(kippet);
        for (const KippetItemModel& item : kippet.items)
            if (item.rowId != 0)
                tables.updateItemRow(item);
        for (int position = 0; position < kippet.todos.size(); ++position)
            if (kippet.todos.at(position).rowId != 0)
                tables.updateTodoRow(kippet.todos.at(position), position);
    });
}

void StoreManager::updateKippetFields(KippetModel& kippet, const KippetModel& fields,
                                      const QList<KippetItemModel>& items) {
    KippetModel changed = fields;
    changed.rowId = kippet.rowId;
    changed.items = kippet.items;
    changed.todos = kippet.todos;
    inTransaction([&](StoreTables& tables) {
        tables.updateKippetRow(changed);
        for (const KippetItemModel& item : items)
            if (item.rowId != 0)
                tables.updateItemRow(item);
    });
    for (const KippetItemModel& item : items)
        for (KippetItemModel& kept : changed.items)
            if (item.rowId != 0 && kept.rowId == item.rowId)
                kept = item;
    kippet = std::move(changed);
}

void StoreManager::updateTodo(const KippetTodoModel& todo, KippetModel& kippet) {
    KippetModel changed = kippet;
    for (KippetTodoModel& row : changed.todos)
        if (todo.rowId != 0 && row.rowId == todo.rowId)
            row = todo;
    changed.sortTodos();
    inTransaction([&](StoreTables& tables) {
        for (int position = 0; position < changed.todos.size(); ++position) {
            const KippetTodoModel& row = changed.todos.at(position);
            const bool moved =
                position >= kippet.todos.size() || kippet.todos.at(position).rowId != row.rowId;
            if (row.rowId != 0 && (row.rowId == todo.rowId || moved))
                tables.updateTodoRow(row, position);
        }
    });
    kippet = std::move(changed);
}

void StoreManager::updateCustomInstructions(KippetModel& kippet,
                                            const std::optional<QString>& customInstructions,
                                            const std::optional<QString>& sanitizedInstructions) {
    KippetModel changed = kippet;
    changed.customInstructions = customInstructions;
    changed.sanitizedInstructions = sanitizedInstructions;
    inTransaction([&](StoreTables& tables) { tables.updateKippetRow(changed); });
    kippet = std::move(changed);
}

void StoreManager::closeKippet(KippetModel& kippet) {
    KippetModel changed = kippet;
    changed.lastClosedDate = Clock::shared().now();
    inTransaction([&](StoreTables& tables) { tables.updateKippetRow(changed); });
    kippet = std::move(changed);
    QSet<QUuid> ids = activeKippetIDs_;
    ids.remove(kippet.id);
    setActiveKippetIDs(ids);
    saveActiveKippetIDs();
}

void StoreManager::reopenKippet(KippetModel& kippet) {
    requireContext();
    insertActiveKippetID(kippet.id);
    saveActiveKippetIDs();
}

void StoreManager::deleteKippet(KippetModel& kippet) {
    inTransaction([&](StoreTables& tables) { tables.deleteKippetRow(kippet.rowId); });
    QSet<QUuid> ids = activeKippetIDs_;
    ids.remove(kippet.id);
    setActiveKippetIDs(ids);
    saveActiveKippetIDs();
    kippet.items.clear();
    kippet.todos.clear();
    kippet.rowId = 0;
}

void StoreManager::addItem(KippetItemModel& item, KippetModel& kippet, StagedBytes staged) {
    // The staged files are this call's: published with the row, or gone with its failure.
    auto discardStaged = qScopeGuard([&] {
        const ExternalBytes external(container_ ? container_->externalFolder() : QString());
        for (const auto& file : {staged.content, staged.thumbnail})
            if (file)
                external.discard(*file);
    });
    requireContext();
    // Same rule as the kippet's own list: equal content bytes and equal name, compared apart
    // (cheap: names first, and QByteArray compares sizes before bytes).
    for (const KippetItemModel& existing : kippet.items)
        if (QStringView(existing.metadataName) == QStringView(item.metadataName) &&
            sameBytes(existing.content, item.content))
            throw DataManagerError::duplicateItem();
    KippetItemModel stored = item;
    discardStaged.dismiss();
    inTransaction([&](StoreTables& tables) {
        tables.insertItem(kippet.rowId, stored,
                          staged.isEmpty() ? std::nullopt : std::optional(staged));
    });
    item = stored;
    kippet.items.append(std::move(stored));
}

void StoreManager::removeItem(const KippetItemModel& item, KippetModel& kippet) {
    KippetModel changed = kippet;
    changed.removeItem(item);
    inTransaction([&](StoreTables& tables) {
        if (item.rowId != 0)
            tables.deleteItemRow(item.rowId);
        for (const KippetItemModel& row : kippet.items)
            if (row.id == item.id && row.rowId != 0 && row.rowId != item.rowId)
                tables.deleteItemRow(row.rowId);
    });
    kippet = std::move(changed);
}

void StoreManager::addTodo(const QString& text, KippetModel& kippet) {
    requireContext();
    KippetTodoModel todo;
    todo.id = QUuid::createUuid();
    todo.createdAt = Clock::shared().now();
    todo.text = text;
    KippetModel changed = kippet;
    changed.todos.prepend(todo);
    changed.sortTodos();
    inTransaction([&](StoreTables& tables) {
        for (int position = 0; position < changed.todos.size(); ++position) {
            KippetTodoModel& row = changed.todos[position];
            if (row.rowId == 0)
                tables.insertTodo(changed.rowId, position, row);
            else if (position >= kippet.todos.size() ||
                     kippet.todos.at(position).rowId != row.rowId)
                tables.updateTodoRow(row, position);
        }
    });
    kippet = std::move(changed);
}

void StoreManager::deleteTodo(const KippetTodoModel& todo, KippetModel& kippet) {
    KippetModel changed = kippet;
    changed.todos.removeIf([&](const KippetTodoModel& row) { return row.id == todo.id; });
    inTransaction([&](StoreTables& tables) {
        if (todo.rowId != 0)
            tables.deleteTodoRow(todo.rowId);
    });
    kippet = std::move(changed);
}

void StoreManager::updateNote(const QString& text, KippetModel& kippet) {
    requireContext();
    if (text == kippet.noteText)
        return;
    KippetModel changed = kippet;
    changed.noteText = text;
    changed.noteUpdatedAt = Clock::shared().now();
    inTransaction([&](StoreTables& tables) { tables.updateKippetRow(changed); });
    kippet = std::move(changed);
}

void StoreManager::updateNoteWindowFrame(KippetModel& kippet, double x, double y, double width,
                                         double height) {
    KippetModel changed = kippet;
    changed.noteWindowOriginX = x;
    changed.noteWindowOriginY = y;
    changed.noteWindowWidth = width;
    changed.noteWindowHeight = height;
    inTransaction([&](StoreTables& tables) { tables.updateKippetRow(changed); });
    kippet = std::move(changed);
}
