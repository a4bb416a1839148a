#include "dashboard/SettingsServices.h"

#include "analysis/KeychainStore.h"
#include "analysis/LocalModelServer.h"
#include "app/BuildSettings.h"
#include "app/DailyKippet.h"
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

namespace {
// Made on demand, as the menus make it: the day's name, the daily colour, the calendar icon.
void createTodaysKippet() {
    KippetManager& manager = KippetManager::shared();
    try {
        Kippet* kippet = manager.createKippet(dailyKippetName(QDate::currentDate()),
                                              KippetColor::fromQColor(dailyKippetColor()),
                                              QStringLiteral("calendar"), true);
        QPointer<Kippet> created(kippet);
        QTimer::singleShot(0, &MenuBarManager::shared(), [created] {
            if (created)
                MenuBarManager::shared().showWindow(created);
        });
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("❌ Failed to create daily kippet: ") +
                  KippetsError::textOf(error));
    }
}
} // namespace

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
    services.createDailyKippet = createTodaysKippet;
    services.about = AboutInfo::fromBuild();
    return services;
}
