#pragma once

#include "platform/KippetsError.h"

#include <QtGlobal>

// A failed key store operation, with the stage that failed and the status of the failing call.
// Statuses use the classic keychain numbers, so -25300 always means "no such item".
class KeychainError : public KippetsError {
public:
    enum class Case { saveFailed, updateFailed, queryFailed, deleteFailed, encodingFailed };

    static constexpr qint32 itemNotFound = -25300;
    static constexpr qint32 interactionNotAllowed =
        -25308;                                    // timed out, e.g. behind an unlock prompt
    static constexpr qint32 notAvailable = -25291; // no Secret Service reachable
    static constexpr qint32 authFailed = -25293;
    static constexpr qint32 userCanceled = -128;
    static constexpr qint32 unimplemented = -4;
    static constexpr qint32 internalComponent = -2070;

    // detail, when given, follows the standard text and says what the status alone cannot
    // (such as which service is missing). It never holds the stored value.
    explicit KeychainError(Case errorCase, qint32 status = 0, const QString& detail = QString());
    // A keyring that holds the item but is locked, with no unlock granted: the key is there but
    // unknown, never "no key".
    static KeychainError locked(Case errorCase);
    static const QString lockedDetail;

    Case errorCase() const { return case_; }
    qint32 status() const { return status_; }
    // Why the store failed beyond its status (e.g. no Secret Service running); may be empty.
    QString detail() const { return detail_; }
    bool isLocked() const { return locked_; }

private:
    Case case_;
    qint32 status_;
    QString detail_;
    bool locked_ = false;
};
