#include "store/StoreTransaction.h"

#include "store/StoreError.h"

#include <QSqlError>

StoreTransaction::StoreTransaction(QSqlDatabase database) : database_(std::move(database)) {
    if (!database_.transaction())
        throw StoreError::from(database_.lastError());
    open_ = true;
}

StoreTransaction::~StoreTransaction() {
    if (open_)
        database_.rollback();
}

void StoreTransaction::commit() {
    if (!database_.commit())
        throw StoreError::from(database_.lastError());
    open_ = false;
}
