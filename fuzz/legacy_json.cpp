// The legacy JSON file as a user's folder holds it, imported whole: read, decoded kippet by
// kippet on the pool, written into a store in memory with its backup and open-kippet list, then
// loaded back as the app's start would load it.

#include "FuzzApplication.h"
#include "model/KippetModel.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/DataMigrationService.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"

#include <QFile>
#include <QTemporaryDir>
#include <exception>

namespace {
bool writeLegacyFile(const QString& folder, const uint8_t* data, size_t size) {
    QFile file(folder + QStringLiteral("/kippets.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto length = static_cast<qint64>(size);
    return size == 0 || file.write(reinterpret_cast<const char*>(data), length) == length;
}

void importAndLoad(const QString& folder) {
    Preferences preferences(folder + QStringLiteral("/preferences.conf"));
    std::unique_ptr<StoreContainer> container = StoreContainer::createInMemoryContainer(folder);
    DataMigrationService(folder, preferences).migrateIfNeeded(*container);
    StoreManager store;
    store.configure(std::move(container));
    store.fetchAllKippets();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    // The import logs every step; thousands of inputs a second would drown the fuzzer's own lines.
    static const bool quiet = (Log::setSink([](const QString&) {}), true);
    Q_UNUSED(quiet);
    QTemporaryDir folder;
    if (!folder.isValid() || !writeLegacyFile(folder.path(), data, size))
        return 0;
    try {
        importAndLoad(folder.path());
    } catch (const std::exception&) {
        // A store that refuses the input is an answer, not a finding.
    }
    return 0;
}
