#include "analysis/CancellationError.h"

CancellationError::CancellationError()
    : KippetsError(QStringLiteral("The analysis was cancelled")) {}
