#include "app/AppCommands.h"

#include "app/DailyKippetScheduler.h"
#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "app/UnsavedEdits.h"

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
    // Once the app has said it must quit, it leaves as that alert's answer does.
    if (Dialogs::shared().isStopping()) {
        Dialogs::shared().leaveAfterFinalAlert();
        return;
    }
    // Edits the store refused get one more write; only the user leaves the rest behind.
    if (!UnsavedEdits::shared().mayQuit())
        return;
    QCoreApplication::quit();
}

} // namespace AppCommands
