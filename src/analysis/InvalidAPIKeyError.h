#pragma once

#include "platform/KippetsError.h"

// A stored API key that cannot go into an HTTP header: it holds control characters, which
// would break the header or smuggle in new ones. The key itself is never part of the text.
class InvalidAPIKeyError : public KippetsError {
public:
    InvalidAPIKeyError();
};
