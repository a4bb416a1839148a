#include "analysis/AIPreferences.h"

#include "platform/Preferences.h"

AIPreferences::AIPreferences(Preferences& defaults, bool hasKey, QObject* parent)
    : AIPreferences(defaults, std::optional<bool>(hasKey), parent) {}

AIPreferences::AIPreferences(Preferences& defaults, std::optional<bool> hasKey, QObject* parent)
    : QObject(parent), defaults_(defaults) {
    // The first instance on a machine fixes the mode; a stored mode, even an unreadable one,
    // is never overwritten.
    if (hasKey && !defaults_.stringValue(modeKey).has_value())
        defaults_.setString(modeKey, rawValue(*hasKey ? AIMode::byok : AIMode::onDevice));
    mode_ = aiModeFromRaw(defaults_.stringOr(modeKey, QString()));
    preferCloudForImages_ = defaults_.boolOr(preferCloudForImagesKey, false);
}

void AIPreferences::settleFirstMode(bool hasKey) {
    if (!defaults_.stringValue(modeKey).has_value())
        setMode(hasKey ? AIMode::byok : AIMode::onDevice);
}

void AIPreferences::setMode(AIMode mode) {
    defaults_.setString(modeKey, rawValue(mode));
    if (mode == mode_)
        return;
    mode_ = mode;
    emit modeChanged(mode);
}

void AIPreferences::setPreferCloudForImages(bool prefer) {
    defaults_.setBool(preferCloudForImagesKey, prefer);
    if (prefer == preferCloudForImages_)
        return;
    preferCloudForImages_ = prefer;
    emit preferCloudForImagesChanged(prefer);
}
