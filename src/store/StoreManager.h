#pragma once

#include "model/KippetModel.h"
#include "store/StoreContainer.h"
#include "store/StoreTables.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <memory>
#include <optional>

class Preferences;

// The one gateway to the store: it owns the container handed to configure(), the set of open
// kippet ids ("active_kippet_ids_v2"), and the row operations. GUI thread only.
//
// Every operation first checks that there is a context (a configured container) and throws
// DataManagerError::noContext() before changing anything. Each mutation is one transaction: it
// takes the caller's rows by reference and changes them (row ids, fields, lists) only after the
// transaction committed; a failed one throws DataManagerError::saveFailed and leaves the database,
// the caller's rows and the active ids as they were.
class StoreManager : public QObject {
    Q_OBJECT
public:
    // Uses Preferences::shared() as installed when each call runs.
    StoreManager();
    ~StoreManager() override;

    static StoreManager& shared();
    static void install(StoreManager* manager);
    static bool isInstalled();

    // The preference "icloud_sync_enabled" (true when unset), with its log lines.
    static bool isICloudSyncEnabled();
    static void setICloudSyncEnabled(bool enabled);

    // Adopts the container, runs the one-time legacy import from its data folder, loads the
    // active ids, and marks the manager initialized. Logs as it goes.
    void configure(std::unique_ptr<StoreContainer> container);

    bool hasContext() const { return container_ != nullptr; }
    bool isInitialized() const { return isInitialized_; }
    // The configured container, or nullptr.
    StoreContainer* container() const { return container_.get(); }

    // After a read of the store failed: a store that turns out damaged is refused as at open
    // (StoreContainer::refuse) and the context goes with it, so nothing more is read from or
    // written to it. True, with storeRefused emitted, when it was. A read or write that SQLite
    // itself fails as damaged (SQLITE_CORRUPT, SQLITE_NOTADB) gives the store up the same way
    // before its error is thrown, at any time.
    bool refuseIfDamaged();
    // The refusal of the store given up that way, as the check at open words it.
    std::optional<QString> refusal() const { return refusal_; }

    QSet<QUuid> activeKippetIDs() const { return activeKippetIDs_; }
    // Replaces the set in memory (announcing a change); saveActiveKippetIDs() persists it.
    void setActiveKippetIDs(const QSet<QUuid>& ids);
    void insertActiveKippetID(const QUuid& id);
    // "active_kippet_ids_v2", else the older "active_kippet_ids" (moved over and removed).
    void loadActiveKippetIDs();
    void saveActiveKippetIDs();

    // The first row with the id (with its items and todos), or nothing. Throws noContext, or
    // StoreError when the read fails.
    std::optional<KippetModel> fetchKippet(const QUuid& id) const;
    // The same row with its own fields only (no items or todos, none of their bytes read): enough
    // to tell whether a kippet is stored and to delete it.
    std::optional<KippetModel> fetchKippetFields(const QUuid& id) const;
    // Every kippet row with its items and todos, newest createdDate first (equal dates: stored
    // order).
    QList<KippetModel> fetchAllKippets() const;
    // The stored item row with the rowId, its bytes read anew from the store and the files beside
    // it, or nothing. Throws noContext, or StoreError when the read fails.
    std::optional<KippetItemModel> fetchItem(qint64 rowId) const;

    // Inserts the rows with their item and todo rows (one transaction for all), setting rowIds.
    void insertKippet(KippetModel& kippet);
    void insertKippets(QList<KippetModel>& kippets);
    // Deletes the rows (and their items and todos) by rowId, touching no active id.
    void deleteKippetRows(const QList<KippetModel>& kippets);
    // Writes every field of the stored kippet row, every changeable field of each stored item row
    // (rowId != 0; id, type, content and added date are fixed) and every field of each stored todo
    // row, with the todos' order. Rows with rowId 0 are left out: addItem/addTodo add rows.
    void updateKippet(KippetModel& kippet);
    // Writes every changeable field of the given stored item rows, in one transaction.
    void updateItems(const QList<KippetItemModel>& items);
    // Writes the own fields of `fields` (every column of the kippet row; no item or todo row) into
    // the stored kippet row, and the changeable fields of the given stored item rows, in one
    // transaction; afterwards `kippet` carries those fields and item rows, with its own todos.
    // Edits use it so that their cost does not grow with the kippet's items.
    void updateKippetFields(KippetModel& kippet, const KippetModel& fields,
                            const QList<KippetItemModel>& items = {});
    // Writes the text, done flag and deadline of the stored todo row with todo.rowId (not its
    // order), then keeps the todos in their stored order, rewriting the position of each todo
    // that moved. A todo that is not among kippet.todos writes nothing.
    void updateTodo(const KippetTodoModel& todo, KippetModel& kippet);

    void updateCustomInstructions(KippetModel& kippet,
                                  const std::optional<QString>& customInstructions,
                                  const std::optional<QString>& sanitizedInstructions);
    // lastClosedDate = now; the id leaves the active ids, which are saved.
    void closeKippet(KippetModel& kippet);
    // The id joins the active ids, which are saved; the row is not changed.
    void reopenKippet(KippetModel& kippet);
    // The id leaves the active ids (saved); the row goes with its items and todos.
    void deleteKippet(KippetModel& kippet);
    // Throws duplicateItem when an item row with the same content signature is in the kippet row.
    // Appends the stored item (its rowId set) to kippet.items. `staged`: the item's large bytes,
    // already written (ExternalBytes::stageItem, e.g. on a worker thread); this call publishes
    // them with the row or discards them when it fails.
    void addItem(KippetItemModel& item, KippetModel& kippet, StagedBytes staged = {});
    // Where large item bytes are kept; disabled without a context or for the in-memory form.
    ExternalBytes externalBytes() const;
    // Deletes the item row and drops every item with its id from kippet.items.
    void removeItem(const KippetItemModel& item, KippetModel& kippet);
    // A new todo (new id, createdAt now, open, no deadline, no order) at the front, then sorted;
    // of the other todo rows only those whose position changed are written.
    void addTodo(const QString& text, KippetModel& kippet);
    // Deletes the todo row and keeps in kippet.todos only the todos with another id.
    void deleteTodo(const KippetTodoModel& todo, KippetModel& kippet);
    // Unchanged text: nothing at all. Otherwise noteText and noteUpdatedAt = now.
    void updateNote(const QString& text, KippetModel& kippet);
    void updateNoteWindowFrame(KippetModel& kippet, double x, double y, double width,
                               double height);

signals:
    void isInitializedChanged();
    void activeKippetIDsChanged();
    void storeRefused(const QString& description);

private:
    void requireContext() const;
    template <typename Work> void inTransaction(Work&& work);
    template <typename Read> auto reading(Read&& read) const;
    void giveUp(const StoreError& damage);
    void giveUpIfDamaged(const StoreError& error);

    std::unique_ptr<StoreContainer> container_;
    // Kept across operations so that its statements are prepared once; declared after the
    // container so that it goes first.
    std::unique_ptr<StoreTables> tables_;
    bool isInitialized_ = false;
    std::optional<QString> refusal_;
    QSet<QUuid> activeKippetIDs_;
};
