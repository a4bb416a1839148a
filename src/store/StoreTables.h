#pragma once

#include "model/KippetModel.h"
#include "store/ExternalBytes.h"
#include "store/SqliteStatement.h"

#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <memory>
#include <optional>

// Reads and writes rows of the three tables on one connection. Statements are prepared once per
// instance, so make one for a whole operation and drop it before the connection goes. Every
// failure throws StoreError with SQLite's reason. Writes belong inside a StoreTransaction.
// Large item bytes go to files (ExternalBytes), staged before their rows: before the commit the
// caller flushes them (syncWrittenFiles); after it, it publishes them and removes the files of
// deleted rows (finishCommittedFiles), or, when the transaction failed, it discards them
// (discardWrittenFiles).
class StoreTables {
public:
    explicit StoreTables(QSqlDatabase database, QString externalFolder = {});

    QList<KippetModel> selectAllKippets();
    std::optional<KippetModel> selectFirstKippet(const QUuid& id);
    // The same row without its items and todos: nothing of their bytes is read.
    std::optional<KippetModel> selectFirstKippetFields(const QUuid& id);
    QSet<QUuid> storedKippetIds();
    // One item row with its bytes read anew (those kept beside the store loaded from their file
    // as it is now); nothing when no row has the rowId.
    std::optional<KippetItemModel> selectItem(qint64 rowId);

    // Inserts the kippet row and all its item and todo rows, setting every rowId.
    void insertKippet(KippetModel& kippet);
    // `staged`: the item's large bytes, already staged and flushed (ExternalBytes::stageItem);
    // they are this instance's from then on. Without it, the bytes are staged here.
    void insertItem(qint64 kippetRowId, KippetItemModel& item,
                    std::optional<StagedBytes> staged = std::nullopt);
    void insertTodo(qint64 kippetRowId, int position, KippetTodoModel& todo);

    void updateKippetRow(const KippetModel& kippet);
    void updateItemRow(const KippetItemModel& item);
    void updateTodoRow(const KippetTodoModel& todo, int position);

    void deleteKippetRow(qint64 rowId);
    void deleteItemRow(qint64 rowId);
    void deleteTodoRow(qint64 rowId);

    void adoptStagedFiles(const StagedBytes& staged);
    void syncWrittenFiles(); // throws StoreError
    // Whether files of deleted rows were removed.
    bool finishCommittedFiles();
    void discardWrittenFiles();
    // Every item file a row names.
    QSet<QString> referencedFiles();
    // The id of every stored item.
    QSet<QUuid> storedItemIds();

private:
    QStringList filesOf(QSqlQuery& query);
    QSqlQuery& prepared(std::optional<QSqlQuery>& slot, const char* statement);
    void run(QSqlQuery& query);
    QList<KippetModel> selectKippets(const QString& where, const QVariant& binding);

    QSqlDatabase database_;
    ExternalBytes external_;
    QList<StagedFile> written_;
    QStringList released_;
    bool folderNeedsSync_ = false;
    std::optional<QSqlQuery> itemFiles_, kippetFiles_;
    // Inserts run once per stored row: on SQLite's own statements (see SqliteStatement).
    SqliteStatement& statement(std::unique_ptr<SqliteStatement>& slot, const char* sql);
    std::unique_ptr<SqliteStatement> insertKippet_, insertItem_, insertItemContent_, insertTodo_;
    std::optional<QSqlQuery> updateKippet_, updateItem_, updateTodo_;
    std::optional<QSqlQuery> deleteKippet_, deleteItem_, deleteTodo_;
};
