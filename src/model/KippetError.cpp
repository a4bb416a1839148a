#include "model/KippetError.h"

namespace {
QString describe(KippetError::Case errorCase) {
    switch (errorCase) {
    case KippetError::Case::duplicateItem:
        return QStringLiteral("This item already exists in the kippet.");
    }
    return {};
}
} // namespace

KippetError::KippetError(Case errorCase) : KippetsError(describe(errorCase)), case_(errorCase) {}
