#include "analysis/KeychainError.h"

namespace {
QString describe(KeychainError::Case errorCase, qint32 status) {
    using C = KeychainError::Case;
    switch (errorCase) {
    case C::saveFailed:
        return QStringLiteral("Failed to save to keychain (status: %1)").arg(status);
    case C::updateFailed:
        return QStringLiteral("Failed to update keychain item (status: %1)").arg(status);
    case C::queryFailed:
        return QStringLiteral("Failed to query keychain (status: %1)").arg(status);
    case C::deleteFailed:
        return QStringLiteral("Failed to delete from keychain (status: %1)").arg(status);
    case C::encodingFailed:
        break;
    }
    return QStringLiteral("Failed to encode value for keychain storage");
}
} // namespace

KeychainError::KeychainError(Case errorCase, qint32 status, const QString& detail)
    : KippetsError(detail.isEmpty() ? describe(errorCase, status)
                                    : describe(errorCase, status) + QStringLiteral(": ") + detail),
      case_(errorCase), status_(status), detail_(detail) {}

const QString KeychainError::lockedDetail =
    QStringLiteral("the keyring is locked, so the stored key could not be read; unlock the "
                   "login keyring in the desktop's keyring tool (such as Passwords and Keys)");

KeychainError KeychainError::locked(Case errorCase) {
    KeychainError error(errorCase, interactionNotAllowed, lockedDetail);
    error.locked_ = true;
    return error;
}
