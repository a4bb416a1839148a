#include "model/ICloudSyncSetting.h"

#include "platform/Log.h"
#include "platform/Preferences.h"

namespace {
const QString kKey = QStringLiteral("icloud_sync_enabled");

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

// Synchronisation is on until the user turns it off.
bool isICloudSyncEnabled() {
    const std::optional<bool> stored = Preferences::shared().boolValue(kKey);
    if (!stored) {
        Log::line(QStringLiteral("[iCloud Sync] Preference key '") + kKey +
                  QStringLiteral("' not set in preferences — defaulting to true (iCloud enabled)"));
        return true;
    }
    Log::line(QStringLiteral("[iCloud Sync] Preference key 'icloud_sync_enabled' = ") +
              boolText(*stored));
    return *stored;
}

void setICloudSyncEnabled(bool enabled) {
    Preferences& preferences = Preferences::shared();
    const std::optional<bool> old = preferences.boolValue(kKey);
    Log::line(QStringLiteral("[iCloud Sync] Setting preference: ") +
              (old ? boolText(*old) : QStringLiteral("nil (unset)")) + QStringLiteral(" → ") +
              boolText(enabled));
    preferences.setBool(kKey, enabled);
    Log::line(QStringLiteral("[iCloud Sync] Preferences saved. Key 'icloud_sync_enabled' = ") +
              boolText(enabled));
}
