#include "analysis/IntakeError.h"

IntakeError::IntakeError(Case errorCase, const QString& description)
    : KippetsError(description), case_(errorCase) {}

IntakeError IntakeError::noURLReturned() {
    return IntakeError(Case::noURLReturned, QStringLiteral("No URL returned"));
}

IntakeError IntakeError::imageReadFailed() {
    return IntakeError(Case::imageReadFailed, QStringLiteral("Failed to read image data"));
}

IntakeError IntakeError::fileReadFailed() {
    return IntakeError(Case::fileReadFailed, QStringLiteral("Failed to read file data"));
}

IntakeError IntakeError::itemTooLarge(const QString& name) {
    return IntakeError(Case::itemTooLarge,
                       QStringLiteral("“%1” is too large to keep in a kippet: items are limited to "
                                      "1 GB.")
                           .arg(name));
}

IntakeError IntakeError::fileWriteFailed(const QString& reason) {
    return IntakeError(Case::fileWriteFailed, reason);
}
