#include "app/ContainerSetup.h"

#include "platform/Log.h"
#include "store/StoreContainer.h"
#include "store/StoreError.h"
#include "store/StoreManager.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace {
const QString separator = QStringLiteral("[iCloud Sync] ") + QString(43, QChar(0x2550));

// The unqualified name of the error's own class, as the log shows it.
QString typeName(const std::exception& error) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(typeid(error).name(), nullptr, nullptr, &status), std::free);
    const QString name = status == 0 ? QString::fromLatin1(demangled.get())
                                     : QString::fromLatin1(typeid(error).name());
    return name.section(QStringLiteral("::"), -1);
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

std::unique_ptr<StoreContainer> createPreferred(bool useTemporaryStorage, bool iCloudEnabled) {
    if (useTemporaryStorage) {
        auto container = StoreContainer::createInMemoryContainer();
        Log::line(
            QStringLiteral("[iCloud Sync] 🧪 TEST MODE — in-memory container (no iCloud)"));
        return container;
    }
    Log::line(QStringLiteral("[iCloud Sync] Creating ") +
              (iCloudEnabled ? QStringLiteral("CloudKit") : QStringLiteral("local-only")) +
              QStringLiteral(" container..."));
    auto container = StoreContainer::createModelContainer();
    Log::line(QStringLiteral("[iCloud Sync] ✅ Container created — mode: ") +
              (iCloudEnabled ? QStringLiteral("CloudKit sync") : QStringLiteral("local-only")));
    return container;
}

std::unique_ptr<StoreContainer> createFallback(bool useTemporaryStorage, const StoreError& cause) {
    Log::line(QStringLiteral("[iCloud Sync] ❌ Failed to create preferred container: ") +
              cause.errorDescription());
    Log::line(QStringLiteral("[iCloud Sync]    Error type: ") + typeName(cause));
    Log::line(QStringLiteral("[iCloud Sync]    Falling back to local-only container..."));
    try {
        // A test-mode run never falls back onto the user's own store.
        auto container = StoreContainer::createLocalContainer(
            useTemporaryStorage ? StoreContainer::temporaryDataFolder() : QString());
        Log::line(QStringLiteral("[iCloud Sync] ✅ Fallback local-only container created"));
        return container;
    } catch (const StoreError& error) {
        throw StartupFailure(QStringLiteral("[iCloud Sync] 💀 Could not create any container: ") +
                                 error.errorDescription(),
                             error.errorDescription());
    }
}
} // namespace

std::unique_ptr<StoreContainer> createLaunchContainer(bool useTemporaryStorage) {
    Log::line(separator);
    Log::line(QStringLiteral("[iCloud Sync] RavorurOdu.init() — Starting container setup"));
    Log::line(separator);
    const bool iCloudEnabled = StoreManager::isICloudSyncEnabled();
    Log::line(QStringLiteral("[iCloud Sync] User preference resolved: iCloudEnabled = ") +
              boolText(iCloudEnabled));
    std::unique_ptr<StoreContainer> container;
    try {
        container = createPreferred(useTemporaryStorage, iCloudEnabled);
    } catch (const StoreError& error) {
        container = createFallback(useTemporaryStorage, error);
    }
    Log::line(QStringLiteral("[iCloud Sync] Container store URLs:"));
    // One configuration, the default one, as the store has.
    Log::line(QStringLiteral("[iCloud Sync]   default: ") + container->storePath());
    Log::line(separator);
    return container;
}
