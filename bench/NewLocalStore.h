#pragma once

#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataMigrationService.h"
#include "store/StoreContainer.h"

#include <memory>

// A store in a new folder for one measurement. The stores made before it in the run marked their
// import done and listed their open kippets in the run's preferences, which say that a store was
// there: a missing store would be refused. Each new store starts from preferences without them.
inline std::unique_ptr<StoreContainer> newLocalStore(const QString& folder) {
    Preferences& preferences = Preferences::shared();
    preferences.remove(QLatin1String(DataMigrationService::migrationCompletedKey));
    preferences.remove(QLatin1String(ActiveKippetIDs::key));
    return StoreContainer::createLocalContainer(folder);
}
