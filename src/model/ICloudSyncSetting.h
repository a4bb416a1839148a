#pragma once

// The user's choice of iCloud synchronisation ("icloud_sync_enabled"), read when the store is
// built at start-up; a change takes effect at the next launch. Both log what they read or write.
bool isICloudSyncEnabled();
void setICloudSyncEnabled(bool enabled);
