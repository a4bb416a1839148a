#pragma once

#include "platform/KippetsError.h"

// Thrown when an analysis was cancelled by its caller; never retried and never shown.
class CancellationError : public KippetsError {
public:
    CancellationError();
};
