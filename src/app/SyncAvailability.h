#pragma once

// Whether kippets can be synchronised across devices on this system. Here the store is always
// local, so the iCloud controls show their local-only state; tests switch the flag on to check
// the synchronised variant. "icloud_sync_enabled" keeps its meaning either way.
namespace SyncAvailability {
bool isAvailable();
void setAvailable(bool available);
} // namespace SyncAvailability
