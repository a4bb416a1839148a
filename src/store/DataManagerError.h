#pragma once

#include "platform/KippetsError.h"

// The errors of the row operations of StoreManager, with their user-facing descriptions.
class DataManagerError : public KippetsError {
public:
    enum class Case {
        saveFailed,
        noContext,
        duplicateItem,
        kippetNotFound,
        itemNotFound,
        todoNotFound
    };

    // "Failed to save: " followed by the underlying error's description.
    static DataManagerError saveFailed(const KippetsError& underlying);
    static DataManagerError saveFailed(const QString& underlyingDescription);
    static DataManagerError noContext();
    static DataManagerError duplicateItem();
    static DataManagerError kippetNotFound();
    static DataManagerError itemNotFound();
    static DataManagerError todoNotFound();

    Case errorCase() const { return case_; }
    // SQLite's result code behind a failed save (StoreError::resultCode); 0 otherwise.
    int resultCode() const { return resultCode_; }

private:
    DataManagerError(Case errorCase, const QString& description, int resultCode = 0);
    Case case_;
    int resultCode_ = 0;
};
