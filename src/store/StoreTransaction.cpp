#include "store/StoreTransaction.h"

#include "store/StoreError.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {
// Through a statement of its own rather than QSqlDatabase::transaction() and commit(), whose
// errors lose SQLite's result code: a full disk met while the log is written at the commit
// would read as any other failure.
void run(QSqlDatabase& database, const QString& statement) {
    QSqlQuery query(database);
    if (!query.exec(statement))
        throw StoreError::from(query.lastError());
}
} // namespace

StoreTransaction::StoreTransaction(QSqlDatabase database) : database_(std::move(database)) {
    run(database_, QStringLiteral("BEGIN"));
    open_ = true;
}

StoreTransaction::~StoreTransaction() {
    if (open_)
        database_.rollback();
}

void StoreTransaction::commit() {
    run(database_, QStringLiteral("COMMIT"));
    open_ = false;
}
