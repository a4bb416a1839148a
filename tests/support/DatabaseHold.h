#pragma once

#include <QString>

// Another connection that holds the store's write lock for as long as it lives, as another
// program or a stuck process would: the store's writes wait for their busy time-out, then fail.
class DatabaseHold {
public:
    explicit DatabaseHold(const QString& path);
    ~DatabaseHold();
    DatabaseHold(const DatabaseHold&) = delete;
    DatabaseHold& operator=(const DatabaseHold&) = delete;

    bool isHeld() const { return held_; }

private:
    QString name_;
    bool held_ = false;
};
