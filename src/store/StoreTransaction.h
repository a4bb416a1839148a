#pragma once

#include <QSqlDatabase>

// One write transaction: rolled back on destruction unless commit() succeeded.
class StoreTransaction {
public:
    explicit StoreTransaction(QSqlDatabase database); // throws StoreError
    ~StoreTransaction();
    StoreTransaction(const StoreTransaction&) = delete;
    StoreTransaction& operator=(const StoreTransaction&) = delete;

    void commit(); // throws StoreError

private:
    QSqlDatabase database_;
    bool open_ = false;
};
