#include "store/StoreSchema.h"

#include "store/StoreContainer.h"
#include "store/StoreError.h"
#include "store/StoreTransaction.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <vector>

namespace {
struct Step {
    int version;
    QStringList statements;
};

// Version 1.0.0: one table per row type. `row_id` is the row's identity (ids are not unique);
// items keep their insertion order through row_id, todos their stored order through `position`.
// An item's bytes (content and thumbnail) sit in a table of their own: SQLite rewrites a whole
// record on every update, and an item's category or analysis changes many times while its bytes,
// made with the item, never do. Large bytes live in files the row names (content_file,
// thumbnail_file) with their lengths (content_size, thumbnail_size), so a file that lost bytes is
// told from the item's content; the BLOB columns then stay empty. A thumbnail that is the content
// itself (an image's, as the intake makes it) is stored once: thumbnail_is_content.
const std::vector<Step>& steps() {
    static const std::vector<Step> all = {
        {10000,
         {QStringLiteral("CREATE TABLE kippets ("
                         " row_id INTEGER PRIMARY KEY,"
                         " id TEXT NOT NULL,"
                         " name TEXT NOT NULL DEFAULT '',"
                         " color_hex TEXT NOT NULL DEFAULT '0000FF',"
                         " icon TEXT NOT NULL DEFAULT 'tray.fill',"
                         " note_text TEXT NOT NULL DEFAULT '',"
                         " note_updated_at INTEGER,"
                         " note_window_origin_x REAL,"
                         " note_window_origin_y REAL,"
                         " note_window_width REAL,"
                         " note_window_height REAL,"
                         " is_expanded INTEGER NOT NULL DEFAULT 0,"
                         " is_mini_view INTEGER NOT NULL DEFAULT 0,"
                         " is_tucked INTEGER NOT NULL DEFAULT 0,"
                         " position_x REAL NOT NULL DEFAULT 0,"
                         " position_y REAL NOT NULL DEFAULT 0,"
                         " created_date INTEGER,"
                         " last_closed_date INTEGER,"
                         " project TEXT,"
                         " is_daily_kippet INTEGER NOT NULL DEFAULT 0,"
                         " custom_instructions TEXT,"
                         " sanitized_instructions TEXT)"),
          QStringLiteral("CREATE INDEX kippets_by_id ON kippets(id)"),
          QStringLiteral(
              "CREATE TABLE kippet_items ("
              " row_id INTEGER PRIMARY KEY,"
              " kippet_row INTEGER NOT NULL REFERENCES kippets(row_id) ON DELETE CASCADE,"
              " id TEXT NOT NULL,"
              " type_raw TEXT NOT NULL DEFAULT 'unknown',"
              " metadata_name TEXT NOT NULL DEFAULT '',"
              " metadata_file_extension TEXT,"
              " metadata_file_size INTEGER,"
              " metadata_url_string TEXT,"
              " metadata_mime_type TEXT,"
              " metadata_ai_title TEXT,"
              " metadata_ai_description TEXT,"
              " metadata_ai_tags TEXT,"
              " category_raw TEXT NOT NULL DEFAULT 'Uncategorized',"
              " custom_category TEXT,"
              " added_date INTEGER,"
              " is_processing INTEGER NOT NULL DEFAULT 0)"),
          QStringLiteral("CREATE INDEX kippet_items_by_kippet ON kippet_items(kippet_row, row_id)"),
          QStringLiteral(
              "CREATE TABLE kippet_item_contents ("
              " item_row INTEGER PRIMARY KEY REFERENCES kippet_items(row_id) ON DELETE CASCADE,"
              " content BLOB NOT NULL DEFAULT x'',"
              " metadata_thumbnail BLOB,"
              " content_file TEXT,"
              " thumbnail_file TEXT)"),
          QStringLiteral(
              "CREATE TABLE kippet_todos ("
              " row_id INTEGER PRIMARY KEY,"
              " kippet_row INTEGER NOT NULL REFERENCES kippets(row_id) ON DELETE CASCADE,"
              " position INTEGER NOT NULL DEFAULT 0,"
              " id TEXT NOT NULL,"
              " text TEXT NOT NULL DEFAULT '',"
              " is_done INTEGER NOT NULL DEFAULT 0,"
              " created_at INTEGER,"
              " completion_transition_deadline INTEGER,"
              " sort_order INTEGER)"),
          QStringLiteral(
              "CREATE INDEX kippet_todos_by_kippet ON kippet_todos(kippet_row, position)")}},
        // Version 1.0.1: the lengths of the files beside the store, and thumbnails stored once.
        {10001,
         {QStringLiteral("ALTER TABLE kippet_item_contents ADD COLUMN content_size INTEGER"),
          QStringLiteral("ALTER TABLE kippet_item_contents ADD COLUMN thumbnail_size INTEGER"),
          QStringLiteral("ALTER TABLE kippet_item_contents ADD COLUMN thumbnail_is_content "
                         "INTEGER NOT NULL DEFAULT 0")}},
    };
    return all;
}

void execute(QSqlDatabase& database, const QString& statement, const QString& storeName) {
    QSqlQuery query(database);
    if (!query.exec(statement))
        throw StoreError(QStringLiteral("The store “%1” could not be prepared: %2")
                             .arg(storeName, query.lastError().text()));
}
} // namespace

// Every store we open or create carries our id; a store of an earlier version gets it here.
void StoreSchema::stampApplicationId(QSqlDatabase database, const QString& storeName) {
    QSqlQuery query(database);
    if (query.exec(QStringLiteral("PRAGMA application_id")) && query.next() &&
        query.value(0).toLongLong() == applicationId)
        return;
    execute(database, QStringLiteral("PRAGMA application_id = %1").arg(applicationId), storeName);
}

bool StoreSchema::holdsSchemaOf(int version, const QStringList& storedStatements) {
    if (!isKnownVersion(version))
        return false;
    const auto normalized = [](const QString& statement) { return statement.simplified(); };
    QStringList stored;
    for (const QString& statement : storedStatements)
        stored.append(normalized(statement));
    for (const Step& step : steps()) {
        if (step.version > version)
            break;
        for (const QString& statement : step.statements)
            if (statement.startsWith(QLatin1String("CREATE"), Qt::CaseInsensitive) &&
                !stored.contains(normalized(statement)))
                return false;
    }
    return true;
}

bool StoreSchema::isKnownVersion(int version) {
    for (const Step& step : steps())
        if (step.version == version)
            return true;
    return false;
}

int StoreSchema::storedVersion(QSqlDatabase database) {
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        throw StoreError(query.lastError().text());
    return query.value(0).toInt();
}

void StoreSchema::migrate(QSqlDatabase database, const QString& storeName, int targetVersion) {
    const int current = storedVersion(database);
    if (current == targetVersion) {
        stampApplicationId(database, storeName);
        return;
    }
    if (current > targetVersion)
        throw StoreError(QStringLiteral("The store “%1” was written by a newer version of Kippets "
                                        "(schema %2) and was left unchanged")
                             .arg(storeName, QString::number(current)));
    StoreTransaction transaction(database);
    stampApplicationId(database, storeName);
    for (const Step& step : steps()) {
        if (step.version <= current || step.version > targetVersion)
            continue;
        for (const QString& statement : step.statements)
            execute(database, statement, storeName);
        execute(database, QStringLiteral("PRAGMA user_version = %1").arg(step.version), storeName);
    }
    transaction.commit();
}
