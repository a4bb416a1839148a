#include "store/KippetManagerError.h"

KippetManagerError KippetManagerError::emptyName() {
    return KippetManagerError(QStringLiteral("Kippet name cannot be empty"));
}

KippetManagerError KippetManagerError::notDemoKippet() {
    return KippetManagerError(QStringLiteral("Only demo kippets can be added via addDemoKippet"));
}
