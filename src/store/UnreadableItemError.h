#pragma once

#include "store/ItemFileError.h"

// An item whose stored bytes cannot be read: it has no file to hand out, and the text says so
// to the user ("The file of “name” cannot be read: " and why).
class UnreadableItemError : public ItemFileError {
public:
    using ItemFileError::ItemFileError;
};
