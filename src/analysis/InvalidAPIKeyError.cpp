#include "analysis/InvalidAPIKeyError.h"

InvalidAPIKeyError::InvalidAPIKeyError()
    : KippetsError(QStringLiteral(
          "The stored API key contains control characters - please enter it again")) {}
