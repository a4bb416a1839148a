#include "dashboard/SettingsServices.h"

#include "analysis/KeychainStore.h"
#include "analysis/LocalModelServer.h"
#include "app/BuildSettings.h"
#include "app/DailyKippetScheduler.h"
#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "app/Relauncher.h"
#include "app/UpdateChecker.h"
#include "app/Workspace.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "platform/Clock.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"

#include <QDate>
#include <QPointer>
#include <QTimer>

AboutInfo AboutInfo::fromBuild() {
    return AboutInfo{BuildSettings::version(),          BuildSettings::buildNumber(),
                     BuildSettings::minimumQtVersion(), BuildSettings::helpUrl(),
                     BuildSettings::privacyUrl(),       BuildSettings::apiKeysUrl()};
}

SettingsServices SettingsServices::shared() {
    SettingsServices services;
    services.preferences = &Preferences::shared();
    services.keychain = KeychainStore::isInstalled() ? &KeychainStore::shared() : nullptr;
    services.localModel = &LocalModelServer::shared();
    services.manager = &KippetManager::shared();
    services.dialogs = &Dialogs::shared();
    services.notifications = &NotificationCenter::shared();
    services.clock = &Clock::shared();
    services.workspace = &Workspace::shared();
    services.updates = &UpdateChecker::shared();
    services.relauncher = std::make_shared<Relauncher>();
    if (DailyKippetScheduler::isInstalled()) {
        DailyKippetScheduler* scheduler = &DailyKippetScheduler::shared();
        services.dailyKippetSwitched = [scheduler](bool enabled) {
            scheduler->setIsEnabled(enabled);
        };
        services.createDailyKippet = [scheduler] { scheduler->createDailyKippet(); };
    }
    services.about = AboutInfo::fromBuild();
    return services;
}
