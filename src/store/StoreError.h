#pragma once

#include "platform/KippetsError.h"

// A failure of the SQLite store itself (a file that is not a store, a failed statement), with a
// description that names the file or the statement's reason.
class StoreError : public KippetsError {
public:
    using KippetsError::KippetsError;
};
