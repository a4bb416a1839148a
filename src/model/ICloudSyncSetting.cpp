#include "model/ICloudSyncSetting.h"

#include "platform/Preferences.h"

namespace {
const QString kKey = QStringLiteral("icloud_sync_enabled");
}

// Synchronisation is on until the user turns it off.
bool isICloudSyncEnabled() {
    return Preferences::shared().boolOr(kKey, true);
}

void setICloudSyncEnabled(bool enabled) {
    Preferences::shared().setBool(kKey, enabled);
}
