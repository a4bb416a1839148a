#include "platform/KippetsError.h"

KippetsError::KippetsError(QString description)
    : description_(std::move(description)), utf8_(description_.toUtf8()) {}

QString KippetsError::textOf(const std::exception& error) {
    if (const auto* known = dynamic_cast<const KippetsError*>(&error))
        return known->errorDescription();
    return QString::fromUtf8(error.what());
}
