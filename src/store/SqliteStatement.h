#pragma once

#include <QSqlDatabase>
#include <QVariant>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement on a Qt Sql connection's own SQLite handle, for the statements that run
// once per stored item: binding through Qt Sql formats a placeholder name for every value and
// made binding cost as much as storing. Values are bound from QVariants of the kinds the store
// writes (null, integers, reals, text, bytes). GUI thread only, like the connection; drop it
// before the connection goes.
class SqliteStatement {
public:
    // Throws StoreError with SQLite's reason.
    SqliteStatement(const QSqlDatabase& database, const char* statement);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Binds the values to the placeholders from the first on, runs the statement once and
    // returns the row id it inserted. The bytes of values are not copied: they must live until
    // the call returns. Throws StoreError with SQLite's reason.
    qint64 insert(const QVariantList& values);

    // Binds the values and starts the query; next() then walks its rows, and the column
    // readers read the current one. Reading a whole table through Qt Sql copied every value
    // into a QVariant cache first. Throws StoreError with SQLite's reason.
    void query(const QVariantList& values = {});
    bool next();
    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    // The column's UTF-8 bytes as SQLite holds them, valid until the next step.
    QByteArrayView utf8(int column) const;
    QString text(int column) const;
    QByteArray bytes(int column) const;

private:
    void bind(int index, const QVariant& value);
    [[noreturn]] void fail() const;

    sqlite3* database_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};
