#include "store/StoreTables.h"
#include "model/JsonCoding.h"

#include "model/SharedBytes.h"
#include "platform/Log.h"
#include "store/StoreError.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QVariant>

namespace {
// Dates are stored as milliseconds since the epoch, UTC.
QVariant dateValue(const QDateTime& date) {
    return date.isValid() ? QVariant(date.toMSecsSinceEpoch()) : QVariant();
}
QVariant dateValue(const std::optional<QDateTime>& date) {
    return date ? dateValue(*date) : QVariant();
}
// Qt Sql binds a null QString or QByteArray as SQL NULL; a present value must never read back
// as absent, so empty values are bound as empty, not null.
QVariant textValue(const QString& text) {
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}
QVariant textValue(const std::optional<QString>& text) {
    return text ? textValue(*text) : QVariant();
}
QVariant bytesValue(const QByteArray& bytes) {
    return bytes.isNull() ? QVariant(QByteArray("", 0)) : QVariant(bytes);
}
QVariant bytesValue(const std::optional<QByteArray>& bytes) {
    return bytes ? bytesValue(*bytes) : QVariant();
}
template <typename T> QVariant optionalValue(const std::optional<T>& value) {
    return value ? QVariant::fromValue(*value) : QVariant();
}
QVariant tagsValue(const std::optional<QStringList>& tags) {
    if (!tags)
        return {};
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(*tags)).toJson(QJsonDocument::Compact));
}
QVariant idValue(const QUuid& id) {
    return JsonCoding::encodeUuid(id);
}

// The current row of a Qt Sql query, read like a SqliteStatement's.
class QueryRow {
public:
    explicit QueryRow(const QSqlQuery& query) : query_(query) {}
    bool isNull(int column) const { return query_.isNull(column); }
    QString text(int column) const { return query_.value(column).toString(); }
    QByteArray bytes(int column) const { return query_.value(column).toByteArray(); }
    qint64 integer(int column) const { return query_.value(column).toLongLong(); }
    double real(int column) const { return query_.value(column).toDouble(); }

private:
    const QSqlQuery& query_;
};

// Typed reads of the current row of a QueryRow or a SqliteStatement.
struct RepeatedText {
    QByteArray bytes;
    QString text;
};

template <typename Row> class Reader {
public:
    explicit Reader(const Row& row) : query_(row) {}
    bool null(int column) const { return query_.isNull(column); }
    QString text(int column) const { return query_.text(column); }
    std::optional<QString> optionalText(int column) const {
        return null(column) ? std::nullopt : std::optional<QString>(text(column));
    }
    QByteArray bytes(int column) const { return query_.bytes(column); }
    std::optional<QByteArray> optionalBytes(int column) const {
        return null(column) ? std::nullopt : std::optional<QByteArray>(bytes(column));
    }
    qint64 integer(int column) const { return query_.integer(column); }
    bool flag(int column) const { return integer(column) != 0; }
    double real(int column) const { return query_.real(column); }
    std::optional<double> optionalReal(int column) const {
        return null(column) ? std::nullopt : std::optional<double>(real(column));
    }
    QDateTime date(int column) const {
        return null(column) ? QDateTime()
                            : QDateTime::fromMSecsSinceEpoch(integer(column), Qt::UTC);
    }
    std::optional<QDateTime> optionalDate(int column) const {
        return null(column) ? std::nullopt : std::optional<QDateTime>(date(column));
    }
    QUuid uuid(int column) const {
        if constexpr (requires { query_.utf8(column); })
            return QUuid::fromString(QUtf8StringView(query_.utf8(column)));
        else
            return QUuid::fromString(text(column));
    }
    // A text most rows repeat (a type, a category): the value of `last` when the bytes are the
    // same, so thousands of rows share one string instead of decoding it each time.
    QString repeatedText(int column, RepeatedText& last) const {
        if constexpr (requires { query_.utf8(column); }) {
            const QByteArrayView bytes = query_.utf8(column);
            if (!last.bytes.isNull() && bytes == last.bytes && !null(column))
                return last.text;
            last.bytes = bytes.toByteArray();
            last.text = text(column);
            return last.text;
        } else {
            return text(column);
        }
    }
    std::optional<QStringList> tags(int column) const {
        if (null(column))
            return std::nullopt;
        QStringList tags;
        const QJsonArray array = QJsonDocument::fromJson(bytes(column)).array();
        for (const QJsonValue& value : array)
            tags.append(value.toString());
        return tags;
    }

private:
    const Row& query_;
};

const char* const kippetColumns =
    "row_id, id, name, color_hex, icon, note_text, note_updated_at, note_window_origin_x, "
    "note_window_origin_y, note_window_width, note_window_height, is_expanded, is_mini_view, "
    "is_tucked, position_x, position_y, created_date, last_closed_date, project, is_daily_kippet, "
    "custom_instructions, sanitized_instructions";
const char* const itemColumns =
    "i.row_id, i.kippet_row, i.id, i.type_raw, c.content, i.metadata_name, "
    "i.metadata_file_extension, i.metadata_file_size, c.metadata_thumbnail, i.metadata_url_string, "
    "i.metadata_mime_type, i.metadata_ai_title, i.metadata_ai_description, i.metadata_ai_tags, "
    "i.category_raw, i.custom_category, i.added_date, i.is_processing, c.content_file, "
    "c.thumbnail_file, c.content_size, c.thumbnail_size, c.thumbnail_is_content";
const char* const todoColumns = "row_id, kippet_row, id, text, is_done, created_at, "
                                "completion_transition_deadline, sort_order";

// Binds the values to the statement's placeholders, in order.
void bindAll(QSqlQuery& query, const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
}

template <typename Row> KippetModel readKippet(const Row& query) {
    const Reader<Row> r(query);
    KippetModel row(r.uuid(1));
    row.rowId = r.integer(0);
    row.name = r.text(2);
    row.colorHex = r.text(3);
    row.icon = r.text(4);
    row.noteText = r.text(5);
    row.noteUpdatedAt = r.date(6);
    row.noteWindowOriginX = r.optionalReal(7);
    row.noteWindowOriginY = r.optionalReal(8);
    row.noteWindowWidth = r.optionalReal(9);
    row.noteWindowHeight = r.optionalReal(10);
    row.isExpanded = r.flag(11);
    row.isMiniView = r.flag(12);
    row.isTucked = r.flag(13);
    row.positionX = r.real(14);
    row.positionY = r.real(15);
    row.createdDate = r.date(16);
    row.lastClosedDate = r.optionalDate(17);
    row.project = r.optionalText(18);
    row.isDailyKippet = r.flag(19);
    row.customInstructions = r.optionalText(20);
    row.sanitizedInstructions = r.optionalText(21);
    return row;
}

// A file lost or cut short outside the app (a disk restored from an older backup, say) costs
// that item its bytes, never the whole store, and is never taken for the item's content; `why`
// keeps the reason.
QByteArray loadOrWarn(const ExternalBytes& external, const QString& file, qint64 size,
                      const KippetItemModel& row, std::optional<QString>* why = nullptr) {
    std::variant<QByteArray, QString> loaded = external.load(file, size);
    if (QByteArray* bytes = std::get_if<QByteArray>(&loaded))
        return std::move(*bytes);
    const QString& reason = std::get<QString>(loaded);
    Log::line(QStringLiteral(
                  "⚠️ Item \"%1\" lost its stored bytes: The file “%2” cannot be read: %3")
                  .arg(row.metadataName, external.path(file), reason));
    if (why)
        *why = reason;
    return {};
}

// The type and category texts of the previous item read, which the next most likely repeats.
struct ItemTexts {
    RepeatedText type;
    RepeatedText category;
};

template <typename Row>
KippetItemModel readItem(const Row& query, const ExternalBytes& external, ItemTexts& texts) {
    const Reader<Row> r(query);
    KippetItemModel row(r.uuid(2));
    row.rowId = r.integer(0);
    row.typeRaw = r.repeatedText(3, texts.type);
    row.content = r.bytes(4);
    row.metadataName = r.text(5);
    row.metadataFileExtension = r.optionalText(6);
    row.metadataFileSize = r.null(7) ? std::nullopt : std::optional<qint64>(r.integer(7));
    row.metadataThumbnail = r.optionalBytes(8);
    row.metadataUrlString = r.optionalText(9);
    row.metadataMimeType = r.optionalText(10);
    row.metadataAiTitle = r.optionalText(11);
    row.metadataAiDescription = r.optionalText(12);
    row.metadataAiTags = r.tags(13);
    row.categoryRaw = r.repeatedText(14, texts.category);
    row.customCategory = r.optionalText(15);
    row.addedDate = r.date(16);
    row.isProcessing = r.flag(17);
    // Stores written before lengths were kept have none: any length is taken.
    const qint64 contentSize = r.null(20) ? -1 : r.integer(20);
    const qint64 thumbnailSize = r.null(21) ? -1 : r.integer(21);
    if (const auto file = r.optionalText(18))
        row.content = loadOrWarn(external, *file, contentSize, row, &row.contentUnreadableBecause);
    if (r.flag(22))
        row.metadataThumbnail = row.content;
    else if (const auto file = r.optionalText(19))
        row.metadataThumbnail = loadOrWarn(external, *file, thumbnailSize, row);
    return row;
}

template <typename Row> KippetTodoModel readTodo(const Row& query) {
    const Reader<Row> r(query);
    KippetTodoModel row(r.uuid(2));
    row.rowId = r.integer(0);
    row.text = r.text(3);
    row.isDone = r.flag(4);
    row.createdAt = r.date(5);
    row.completionTransitionDeadline = r.optionalDate(6);
    row.order = r.null(7) ? std::nullopt : std::optional<int>(int(r.integer(7)));
    return row;
}

QVariantList kippetFieldValues(const KippetModel& row) {
    return {
        idValue(row.id),
        textValue(row.name),
        textValue(row.colorHex),
        textValue(row.icon),
        textValue(row.noteText),
        dateValue(row.noteUpdatedAt),
        optionalValue(row.noteWindowOriginX),
        optionalValue(row.noteWindowOriginY),
        optionalValue(row.noteWindowWidth),
        optionalValue(row.noteWindowHeight),
        int(row.isExpanded),
        int(row.isMiniView),
        int(row.isTucked),
        row.positionX,
        row.positionY,
        dateValue(row.createdDate),
        dateValue(row.lastClosedDate),
        textValue(row.project),
        int(row.isDailyKippet),
        textValue(row.customInstructions),
        textValue(row.sanitizedInstructions),
    };
}

void bindKippetFields(QSqlQuery& query, const KippetModel& row) {
    bindAll(query, kippetFieldValues(row));
}

// An item's id, type, bytes (content and thumbnail) and added date are fixed once it is made, so
// updates write only these, in the column order of both statements.
QVariantList changeableItemValues(const KippetItemModel& row) {
    return {
        textValue(row.metadataName),
        textValue(row.metadataFileExtension),
        optionalValue(row.metadataFileSize),
        textValue(row.metadataUrlString),
        textValue(row.metadataMimeType),
        textValue(row.metadataAiTitle),
        textValue(row.metadataAiDescription),
        tagsValue(row.metadataAiTags),
        textValue(row.categoryRaw),
        textValue(row.customCategory),
        int(row.isProcessing),
    };
}

QVariantList itemFieldValues(const KippetItemModel& row) {
    return QVariantList{idValue(row.id), textValue(row.typeRaw), dateValue(row.addedDate)} +
           changeableItemValues(row);
}

QVariantList todoFieldValues(const KippetTodoModel& row, int position) {
    return {
        idValue(row.id),
        textValue(row.text),
        int(row.isDone),
        dateValue(row.createdAt),
        dateValue(row.completionTransitionDeadline),
        optionalValue(row.order),
        position,
    };
}

void bindTodoFields(QSqlQuery& query, const KippetTodoModel& row, int position) {
    bindAll(query, todoFieldValues(row, position));
}

// next() is false at the end of the rows and also when a read failed (a page that does not hold
// together, an I/O error): a read cut short must never pass for every row.
void throwIfCutShort(const QSqlQuery& query) {
    if (query.lastError().isValid())
        throw StoreError::from(query.lastError());
}
} // namespace

StoreTables::StoreTables(QSqlDatabase database, QString externalFolder)
    : database_(std::move(database)), external_(std::move(externalFolder)) {}

QSqlQuery& StoreTables::prepared(std::optional<QSqlQuery>& slot, const char* statement) {
    if (!slot) {
        slot.emplace(database_);
        if (!slot->prepare(QString::fromLatin1(statement))) {
            const StoreError failure = StoreError::from(slot->lastError());
            slot.reset();
            throw failure;
        }
    }
    return *slot;
}

void StoreTables::run(QSqlQuery& query) {
    if (!query.exec())
        throw StoreError::from(query.lastError());
}

QList<KippetModel> StoreTables::selectAllKippets() {
    return selectKippets({}, {});
}

std::optional<KippetModel> StoreTables::selectFirstKippet(const QUuid& id) {
    QList<KippetModel> rows =
        selectKippets(QStringLiteral("WHERE id = ? ORDER BY row_id LIMIT 1"), idValue(id));
    if (rows.isEmpty())
        return std::nullopt;
    return rows.takeFirst();
}

std::optional<KippetModel> StoreTables::selectFirstKippetFields(const QUuid& id) {
    QSqlQuery query(database_);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1 FROM kippets WHERE id = ? ORDER BY row_id LIMIT 1")
                           .arg(QString::fromLatin1(kippetColumns))))
        throw StoreError::from(query.lastError());
    query.addBindValue(idValue(id));
    run(query);
    if (!query.next()) {
        throwIfCutShort(query);
        return std::nullopt;
    }
    return readKippet(QueryRow(query));
}

QList<KippetModel> StoreTables::selectKippets(const QString& where, const QVariant& binding) {
    const bool all = where.isEmpty();
    const QString order = all ? QStringLiteral("ORDER BY created_date DESC, row_id") : where;
    SqliteStatement query(database_, QStringLiteral("SELECT %1 FROM kippets %2")
                                         .arg(QString::fromLatin1(kippetColumns), order)
                                         .toUtf8()
                                         .constData());
    query.query(all ? QVariantList() : QVariantList{binding});
    QList<KippetModel> rows;
    QHash<qint64, qsizetype> indexByRow;
    while (query.next()) {
        rows.append(readKippet(query));
        indexByRow.insert(rows.constLast().rowId, rows.size() - 1);
    }
    if (rows.isEmpty())
        return rows;
    const QVariantList only = all ? QVariantList() : QVariantList{rows.constFirst().rowId};

    // One scan per child table; a single kippet reads only its own rows through the index.
    const QString filter = all ? QString() : QStringLiteral("WHERE kippet_row = ?");
    // Each kippet's list is made its final size at once: grown item by item, the lists of a
    // large store would be copied over and over and hold a quarter more than they need.
    SqliteStatement counts(
        database_,
        QStringLiteral("SELECT kippet_row, COUNT(*) FROM kippet_items %1 GROUP BY kippet_row")
            .arg(filter)
            .toUtf8()
            .constData());
    counts.query(only);
    while (counts.next()) {
        const auto found = indexByRow.constFind(counts.integer(0));
        if (found != indexByRow.constEnd())
            rows[*found].items.reserve(counts.integer(1));
    }
    // Each kippet's items in row order. All of them are read in the table's own order, which
    // needs no index lookup per row, and sorted into their kippets here.
    SqliteStatement items(
        database_,
        QStringLiteral("SELECT %1 FROM kippet_items i LEFT JOIN kippet_item_contents c "
                       "ON c.item_row = i.row_id %2 ORDER BY %3")
            .arg(QString::fromLatin1(itemColumns),
                 all ? QString() : QStringLiteral("WHERE i.kippet_row = ?"),
                 all ? QStringLiteral("i.row_id") : QStringLiteral("i.kippet_row, i.row_id"))
            .toUtf8()
            .constData());
    items.query(only);
    ItemTexts texts;
    while (items.next()) {
        const auto found = indexByRow.constFind(items.integer(1));
        if (found != indexByRow.constEnd())
            rows[*found].items.append(readItem(items, external_, texts));
    }

    SqliteStatement todos(
        database_,
        QStringLiteral("SELECT %1 FROM kippet_todos %2 ORDER BY kippet_row, position, row_id")
            .arg(QString::fromLatin1(todoColumns), filter)
            .toUtf8()
            .constData());
    todos.query(only);
    while (todos.next()) {
        const auto found = indexByRow.constFind(todos.integer(1));
        if (found != indexByRow.constEnd())
            rows[*found].todos.append(readTodo(todos));
    }
    return rows;
}

std::optional<KippetItemModel> StoreTables::selectItem(qint64 rowId) {
    SqliteStatement query(database_,
                          QStringLiteral("SELECT %1 FROM kippet_items i LEFT JOIN "
                                         "kippet_item_contents c ON c.item_row = i.row_id "
                                         "WHERE i.row_id = ?")
                              .arg(QString::fromLatin1(itemColumns))
                              .toUtf8()
                              .constData());
    query.query({rowId});
    if (!query.next())
        return std::nullopt;
    ItemTexts texts;
    return readItem(query, external_, texts);
}

QSet<QUuid> StoreTables::storedKippetIds() {
    QSqlQuery query(database_);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT DISTINCT id FROM kippets")))
        throw StoreError::from(query.lastError());
    QSet<QUuid> ids;
    while (query.next())
        ids.insert(QUuid::fromString(query.value(0).toString()));
    throwIfCutShort(query);
    return ids;
}

SqliteStatement& StoreTables::statement(std::unique_ptr<SqliteStatement>& slot, const char* sql) {
    if (!slot)
        slot = std::make_unique<SqliteStatement>(database_, sql);
    return *slot;
}

void StoreTables::insertKippet(KippetModel& kippet) {
    SqliteStatement& query = statement(
        insertKippet_,
        "INSERT INTO kippets (id, name, color_hex, icon, note_text, note_updated_at, "
        "note_window_origin_x, note_window_origin_y, note_window_width, note_window_height, "
        "is_expanded, is_mini_view, is_tucked, position_x, position_y, created_date, "
        "last_closed_date, project, is_daily_kippet, custom_instructions, sanitized_instructions) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    kippet.rowId = query.insert(kippetFieldValues(kippet));
    for (KippetItemModel& item : kippet.items)
        insertItem(kippet.rowId, item);
    for (int position = 0; position < kippet.todos.size(); ++position)
        insertTodo(kippet.rowId, position, kippet.todos[position]);
}

void StoreTables::insertItem(qint64 kippetRowId, KippetItemModel& item,
                             std::optional<StagedBytes> staged) {
    SqliteStatement& query = statement(
        insertItem_,
        "INSERT INTO kippet_items (id, type_raw, added_date, metadata_name, "
        "metadata_file_extension, metadata_file_size, metadata_url_string, metadata_mime_type, "
        "metadata_ai_title, metadata_ai_description, metadata_ai_tags, category_raw, "
        "custom_category, is_processing, kippet_row) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (staged)
        adoptStagedFiles(*staged);
    const qint64 rowId = query.insert(itemFieldValues(item) + QVariantList{kippetRowId});
    const bool thumbnailIsContent =
        item.metadataThumbnail && sameBytes(*item.metadataThumbnail, item.content);
    if (!staged) {
        staged.emplace();
        staged->content = external_.stage(item.content);
        if (staged->content)
            written_.append(*staged->content);
        if (item.metadataThumbnail && !thumbnailIsContent)
            staged->thumbnail = external_.stage(*item.metadataThumbnail);
        if (staged->thumbnail)
            written_.append(*staged->thumbnail);
        folderNeedsSync_ = folderNeedsSync_ || !staged->isEmpty();
    }
    const std::optional<StagedFile>& contentFile = staged->content;
    const std::optional<StagedFile>& thumbnailFile = staged->thumbnail;
    SqliteStatement& bytes = statement(
        insertItemContent_,
        "INSERT INTO kippet_item_contents (item_row, content, metadata_thumbnail, content_file, "
        "thumbnail_file, content_size, thumbnail_size, thumbnail_is_content) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    const QVariant none;
    bytes.insert({
        rowId,
        contentFile ? bytesValue(QByteArray()) : bytesValue(item.content),
        thumbnailIsContent || thumbnailFile ? QVariant(bytesValue(QByteArray()))
                                            : bytesValue(item.metadataThumbnail),
        contentFile ? textValue(contentFile->name) : none,
        thumbnailFile ? textValue(thumbnailFile->name) : none,
        contentFile ? QVariant(contentFile->size) : none,
        thumbnailFile ? QVariant(thumbnailFile->size) : none,
        int(thumbnailIsContent),
    });
    item.rowId = rowId;
}

void StoreTables::insertTodo(qint64 kippetRowId, int position, KippetTodoModel& todo) {
    SqliteStatement& query =
        statement(insertTodo_, "INSERT INTO kippet_todos (id, text, is_done, created_at, "
                               "completion_transition_deadline, sort_order, position, kippet_row) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    todo.rowId = query.insert(todoFieldValues(todo, position) + QVariantList{kippetRowId});
}

void StoreTables::updateKippetRow(const KippetModel& kippet) {
    QSqlQuery& query = prepared(
        updateKippet_,
        "UPDATE kippets SET id = ?, name = ?, color_hex = ?, icon = ?, note_text = ?, "
        "note_updated_at = ?, note_window_origin_x = ?, note_window_origin_y = ?, "
        "note_window_width = ?, note_window_height = ?, is_expanded = ?, is_mini_view = ?, "
        "is_tucked = ?, position_x = ?, position_y = ?, created_date = ?, last_closed_date = ?, "
        "project = ?, is_daily_kippet = ?, custom_instructions = ?, sanitized_instructions = ? "
        "WHERE row_id = ?");
    bindKippetFields(query, kippet);
    query.bindValue(21, kippet.rowId);
    run(query);
}

void StoreTables::updateItemRow(const KippetItemModel& item) {
    QSqlQuery& query = prepared(
        updateItem_, "UPDATE kippet_items SET metadata_name = ?, metadata_file_extension = ?, "
                     "metadata_file_size = ?, metadata_url_string = ?, metadata_mime_type = ?, "
                     "metadata_ai_title = ?, metadata_ai_description = ?, metadata_ai_tags = ?, "
                     "category_raw = ?, custom_category = ?, is_processing = ? WHERE row_id = ?");
    bindAll(query, changeableItemValues(item));
    query.bindValue(11, item.rowId);
    run(query);
}

void StoreTables::updateTodoRow(const KippetTodoModel& todo, int position) {
    QSqlQuery& query = prepared(
        updateTodo_, "UPDATE kippet_todos SET id = ?, text = ?, is_done = ?, created_at = ?, "
                     "completion_transition_deadline = ?, sort_order = ?, position = ? "
                     "WHERE row_id = ?");
    bindTodoFields(query, todo, position);
    query.bindValue(7, todo.rowId);
    run(query);
}

void StoreTables::deleteKippetRow(qint64 rowId) {
    QSqlQuery& files = prepared(
        kippetFiles_, "SELECT c.content_file, c.thumbnail_file FROM kippet_item_contents c "
                      "JOIN kippet_items i ON i.row_id = c.item_row WHERE i.kippet_row = ?");
    files.bindValue(0, rowId);
    const QStringList owned = filesOf(files);
    QSqlQuery& query = prepared(deleteKippet_, "DELETE FROM kippets WHERE row_id = ?");
    query.bindValue(0, rowId);
    run(query);
    released_.append(owned);
}

void StoreTables::deleteItemRow(qint64 rowId) {
    QSqlQuery& files = prepared(
        itemFiles_,
        "SELECT content_file, thumbnail_file FROM kippet_item_contents WHERE item_row = ?");
    files.bindValue(0, rowId);
    const QStringList owned = filesOf(files);
    QSqlQuery& query = prepared(deleteItem_, "DELETE FROM kippet_items WHERE row_id = ?");
    query.bindValue(0, rowId);
    run(query);
    released_.append(owned);
}

QStringList StoreTables::filesOf(QSqlQuery& query) {
    run(query);
    QStringList names;
    while (query.next())
        for (int column = 0; column < 2; ++column)
            if (!query.isNull(column))
                names.append(query.value(column).toString());
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid())
        throw StoreError::from(error);
    return names;
}

void StoreTables::adoptStagedFiles(const StagedBytes& staged) {
    for (const auto& file : {staged.content, staged.thumbnail})
        if (file)
            written_.append(*file);
}

void StoreTables::syncWrittenFiles() {
    if (!folderNeedsSync_)
        return;
    external_.syncFolder();
    folderNeedsSync_ = false;
}

bool StoreTables::finishCommittedFiles() {
    for (const StagedFile& file : std::as_const(written_))
        external_.publish(file);
    external_.remove(released_);
    const bool released = !released_.isEmpty();
    written_.clear();
    released_.clear();
    folderNeedsSync_ = false;
    return released;
}

void StoreTables::discardWrittenFiles() {
    for (const StagedFile& file : std::as_const(written_))
        external_.discard(file);
    written_.clear();
    released_.clear();
    folderNeedsSync_ = false;
}

QSet<QString> StoreTables::referencedFiles() {
    QSqlQuery query(database_);
    query.setForwardOnly(true);
    if (!query.prepare(
            QStringLiteral("SELECT content_file, thumbnail_file FROM kippet_item_contents "
                           "WHERE content_file IS NOT NULL OR thumbnail_file IS NOT NULL")))
        throw StoreError::from(query.lastError());
    const QStringList names = filesOf(query);
    return QSet<QString>(names.begin(), names.end());
}

QSet<QUuid> StoreTables::storedItemIds() {
    QSqlQuery query(database_);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT DISTINCT id FROM kippet_items")))
        throw StoreError::from(query.lastError());
    QSet<QUuid> ids;
    while (query.next())
        ids.insert(QUuid::fromString(query.value(0).toString()));
    throwIfCutShort(query);
    return ids;
}

void StoreTables::deleteTodoRow(qint64 rowId) {
    QSqlQuery& query = prepared(deleteTodo_, "DELETE FROM kippet_todos WHERE row_id = ?");
    query.bindValue(0, rowId);
    run(query);
}
