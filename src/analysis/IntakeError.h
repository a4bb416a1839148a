#pragma once

#include "platform/KippetsError.h"

#include <QString>

// Failures of the intake itself: reading what was dropped, pasted or chosen, and putting a new item
// into its kippet. The description is the text the kippet window shows.
class IntakeError : public KippetsError {
public:
    enum class Case {
        noURLReturned,
        imageReadFailed,
        fileReadFailed,
        itemTooLarge,
        fileWriteFailed
    };

    static IntakeError noURLReturned();
    static IntakeError imageReadFailed();
    static IntakeError fileReadFailed();
    // The item named `name` holds more bytes than one stored value can keep.
    static IntakeError itemTooLarge(const QString& name);
    // The item's file could not be written; `reason` is the file system's own text.
    static IntakeError fileWriteFailed(const QString& reason);

    Case errorCase() const { return case_; }

private:
    IntakeError(Case errorCase, const QString& description);
    Case case_;
};
