#include "store/DataManagerError.h"

#include "store/StoreError.h"

DataManagerError::DataManagerError(Case errorCase, const QString& description, int resultCode)
    : KippetsError(description), case_(errorCase), resultCode_(resultCode) {}

DataManagerError DataManagerError::saveFailed(const KippetsError& underlying) {
    const auto* store = dynamic_cast<const StoreError*>(&underlying);
    return {Case::saveFailed, QStringLiteral("Failed to save: ") + underlying.errorDescription(),
            store ? store->resultCode() : 0};
}

DataManagerError DataManagerError::saveFailed(const QString& underlyingDescription) {
    return {Case::saveFailed, QStringLiteral("Failed to save: ") + underlyingDescription};
}

DataManagerError DataManagerError::noContext() {
    return {Case::noContext, QStringLiteral("Store context not available")};
}

DataManagerError DataManagerError::duplicateItem() {
    return {Case::duplicateItem, QStringLiteral("This item already exists in the kippet")};
}

DataManagerError DataManagerError::kippetNotFound() {
    return {Case::kippetNotFound, QStringLiteral("Kippet not found")};
}

DataManagerError DataManagerError::itemNotFound() {
    return {Case::itemNotFound, QStringLiteral("Item not found")};
}

DataManagerError DataManagerError::todoNotFound() {
    return {Case::todoNotFound, QStringLiteral("Todo not found")};
}
