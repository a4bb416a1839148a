#pragma once

#include "platform/KippetsError.h"

// A refused kippet operation: a blank name, or a kippet that is not the tour's demo kippet
// handed to the demo entry. Both carry the domain "KippetManager" and the code 1.
class KippetManagerError : public KippetsError {
public:
    static KippetManagerError emptyName();
    static KippetManagerError notDemoKippet();

    QString domain() const { return QStringLiteral("KippetManager"); }
    int code() const { return 1; }

private:
    using KippetsError::KippetsError;
};
