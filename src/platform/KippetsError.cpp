#include "platform/KippetsError.h"

KippetsError::KippetsError(QString description)
    : description_(std::move(description)), utf8_(description_.toUtf8()) {}
