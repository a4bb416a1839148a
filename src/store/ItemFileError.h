#pragma once

#include "platform/KippetsError.h"

// An item file that could not be written, with the file system's reason.
class ItemFileError : public KippetsError {
public:
    using KippetsError::KippetsError;
};
