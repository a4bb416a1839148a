#include "app/AppCommands.h"

#include "app/DailyKippetScheduler.h"
#include "app/MenuBarManager.h"

#include <QCoreApplication>

namespace AppCommands {

void newKippet() {
    if (MenuBarManager::isInstalled())
        MenuBarManager::shared().createNewKippet();
}

void newDailyKippet() {
    if (DailyKippetScheduler::isInstalled())
        DailyKippetScheduler::shared().createDailyKippet();
}

void showDashboard() {
    if (MenuBarManager::isInstalled())
        MenuBarManager::shared().showDashboard();
}

void showSettings() {
    if (MenuBarManager::isInstalled())
        MenuBarManager::shared().showSettings();
}

void quit() {
    QCoreApplication::quit();
}

} // namespace AppCommands
