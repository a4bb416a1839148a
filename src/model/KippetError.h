#pragma once

#include "platform/KippetsError.h"

// The error of the record layer: an item already present in the kippet.
class KippetError : public KippetsError {
public:
    enum class Case { duplicateItem };

    explicit KippetError(Case errorCase);
    Case errorCase() const { return case_; }

private:
    Case case_;
};

// A JSON document that does not decode into a record, with the reason.
class JsonDecodingError : public KippetsError {
public:
    using KippetsError::KippetsError;
};
