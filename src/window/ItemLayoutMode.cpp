#include "window/ItemLayoutMode.h"

#include "platform/Preferences.h"

namespace {
const QString listValue = QStringLiteral("list");
const QString gridValue = QStringLiteral("grid");
} // namespace

namespace ItemLayoutModes {

ItemLayoutMode fromStorage(const QString& stored) {
    return stored == listValue ? ItemLayoutMode::list : ItemLayoutMode::grid;
}

ItemLayoutMode stored() {
    return fromStorage(Preferences::shared().stringOr(preferenceKey, gridValue));
}

void toggleStored() {
    Preferences& preferences = Preferences::shared();
    const bool isList = preferences.stringOr(preferenceKey, gridValue) == listValue;
    preferences.setString(preferenceKey, isList ? gridValue : listValue);
}

} // namespace ItemLayoutModes
