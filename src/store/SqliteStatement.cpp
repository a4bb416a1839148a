#include "store/SqliteStatement.h"

#include "store/StoreError.h"

#include <QSqlDriver>
#include <sqlite3.h>

namespace {
sqlite3* handleOf(const QSqlDatabase& database) {
    const QVariant handle = database.driver() ? database.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw StoreError(QStringLiteral("The store's connection is not an SQLite connection"));
    sqlite3* const* pointer = static_cast<sqlite3* const*>(handle.constData());
    if (!pointer || !*pointer)
        throw StoreError(QStringLiteral("The store's connection is not open"));
    return *pointer;
}
} // namespace

SqliteStatement::SqliteStatement(const QSqlDatabase& database, const char* statement)
    : database_(handleOf(database)) {
    if (sqlite3_prepare_v3(database_, statement, -1, SQLITE_PREPARE_PERSISTENT, &statement_,
                           nullptr) != SQLITE_OK)
        fail();
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

qint64 SqliteStatement::insert(const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values.at(i));
    const int result = sqlite3_step(statement_);
    // Reset at once, so the statement holds no lock on the store between runs.
    sqlite3_reset(statement_);
    if (result != SQLITE_DONE)
        fail();
    return sqlite3_last_insert_rowid(database_);
}

void SqliteStatement::query(const QVariantList& values) {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values.at(i));
}

bool SqliteStatement::next() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW)
        return true;
    // Reset at the end, so the finished statement holds no read lock on the store.
    sqlite3_reset(statement_);
    if (result != SQLITE_DONE)
        fail();
    return false;
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

qint64 SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(statement_, column);
}

QByteArrayView SqliteStatement::utf8(int column) const {
    const unsigned char* characters = sqlite3_column_text(statement_, column);
    return {reinterpret_cast<const char*>(characters),
            characters ? sqlite3_column_bytes(statement_, column) : 0};
}

QString SqliteStatement::text(int column) const {
    // The store holds UTF-8; Qt's decoder is much quicker than SQLite's conversion to UTF-16.
    const unsigned char* characters = sqlite3_column_text(statement_, column);
    const int length = sqlite3_column_bytes(statement_, column);
    if (!characters)
        return isNull(column) ? QString() : QStringLiteral("");
    return QString::fromUtf8(reinterpret_cast<const char*>(characters), length);
}

QByteArray SqliteStatement::bytes(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    const int length = sqlite3_column_bytes(statement_, column);
    if (!data)
        return isNull(column) ? QByteArray() : QByteArray("", 0);
    return QByteArray(static_cast<const char*>(data), length);
}

void SqliteStatement::bind(int index, const QVariant& value) {
    int result = SQLITE_OK;
    switch (value.isNull() ? QMetaType::UnknownType : value.typeId()) {
    case QMetaType::UnknownType:
        result = sqlite3_bind_null(statement_, index);
        break;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        result = sqlite3_bind_int64(statement_, index, value.toLongLong());
        break;
    case QMetaType::Double:
        result = sqlite3_bind_double(statement_, index, value.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray* bytes = static_cast<const QByteArray*>(value.constData());
        // Never bound as NULL: an empty value stays a present, empty value.
        result = sqlite3_bind_blob64(statement_, index, bytes->isEmpty() ? "" : bytes->constData(),
                                     sqlite3_uint64(bytes->size()), SQLITE_STATIC);
        break;
    }
    default: {
        const QString text = value.toString();
        result = sqlite3_bind_text16(statement_, index, text.utf16(), int(text.size() * 2),
                                     SQLITE_TRANSIENT);
        break;
    }
    }
    if (result != SQLITE_OK)
        fail();
}

void SqliteStatement::fail() const {
    throw StoreError(QString::fromUtf8(sqlite3_errmsg(database_)),
                     sqlite3_extended_errcode(database_));
}
