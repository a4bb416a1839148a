#pragma once

#include "model/KippetModel.h"
#include "store/ExternalBytes.h"

#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <optional>

// Reads and writes rows of the three tables on one connection. Statements are prepared once per
// instance, so make one for a whole operation and drop it before the connection goes. Every
// failure throws StoreError with SQLite's reason. Writes belong inside a StoreTransaction.
// Large item bytes go to files (ExternalBytes): after the transaction, the caller removes the
// files of deleted rows when it committed (removeReleasedFiles), or the files it wrote when it
// did not (removeWrittenFiles).
class StoreTables {
public:
    explicit StoreTables(QSqlDatabase database, QString externalFolder = {});

    QList<KippetModel> selectAllKippets();
    std::optional<KippetModel> selectFirstKippet(const QUuid& id);
    // The same row without its items and todos: nothing of their bytes is read.
    std::optional<KippetModel> selectFirstKippetFields(const QUuid& id);
    QSet<QUuid> storedKippetIds();

    // Inserts the kippet row and all its item and todo rows, setting every rowId.
    void insertKippet(KippetModel& kippet);
    void insertItem(qint64 kippetRowId, KippetItemModel& item);
    void insertTodo(qint64 kippetRowId, int position, KippetTodoModel& todo);

    void updateKippetRow(const KippetModel& kippet);
    void updateItemRow(const KippetItemModel& item);
    void updateTodoRow(const KippetTodoModel& todo, int position);

    void deleteKippetRow(qint64 rowId);
    void deleteItemRow(qint64 rowId);
    void deleteTodoRow(qint64 rowId);

    void removeReleasedFiles();
    void removeWrittenFiles();
    // Every item file a row names.
    QSet<QString> referencedFiles();

private:
    QStringList filesOf(QSqlQuery& query);
    QSqlQuery& prepared(std::optional<QSqlQuery>& slot, const char* statement);
    void run(QSqlQuery& query);
    QList<KippetModel> selectKippets(const QString& where, const QVariant& binding);

    QSqlDatabase database_;
    ExternalBytes external_;
    QStringList written_;
    QStringList released_;
    std::optional<QSqlQuery> itemFiles_, kippetFiles_;
    std::optional<QSqlQuery> insertKippet_, insertItem_, insertItemContent_, insertTodo_;
    std::optional<QSqlQuery> updateKippet_, updateItem_, updateTodo_;
    std::optional<QSqlQuery> deleteKippet_, deleteItem_, deleteTodo_;
};
