#pragma once

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class AppMenus;
class Kippet;
#include "app/MenuBarManager.h"
#include "onboarding/OnboardingWindow.h"
class StoreContainer;

// Brings the app up once the store container exists: logs the launch, then, in the launch task,
// configures the store, waits for the kippet manager, restores the kippet panels, opens the
// dashboard and decides on the tour. Also answers reopen requests and "showOnboarding".
// GUI thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // The desktop entry's name, as installed ("kippets.desktop").
    static constexpr const char* desktopEntryName = "kippets";

    static inline const QString onboardingCompletedKey = QStringLiteral("onboarding_completed");
    static inline const QString onboardingShowOnLaunchKey =
        QStringLiteral("onboarding_show_on_launch");
    static inline const QString onboardingShowOnLaunchSetKey =
        QStringLiteral("onboarding_show_on_launch_set");

    explicit AppDelegate(std::unique_ptr<StoreContainer> modelContainer);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Makes the application menus and hands them to the window registry for the dashboard's
    // menu bar; their shortcuts work from then on.
    void setupAppMenus();
    AppMenus* mainMenu() const { return mainMenu_.get(); }
    // A reopen request (a second start): brings back the windows "Hide Kippets" hid, else opens
    // the dashboard when no window shows.
    void applicationShouldHandleReopen(bool hasVisibleWindows);
    // A second start: brings back what "Hide Kippets" hid and shows the dashboard in any case.
    void handleReopenRequest();
    // Closes the open tour, if any, and opens a new one.
    void showOnboardingWindow();

    MenuBarManager* menuBarManager() const { return menuBarManager_; }
    OnboardingWindow* onboardingWindow() const;
    bool isLaunchTaskFinished() const { return launchTaskFinished_; }

    // Steps of the launch task.
    void restoreWindows();
    void cascadeOverlappingKippets(const QList<Kippet*>& kippets);
    void checkICloudAccountStatus();
    void checkOnboarding();

signals:
    void launchTaskFinished();

private:
    // What the desktop shows of the app: every window's icon, and the entry that starts it.
    static void becomeRegularApplication();
    QCoro::Task<> runLaunchTask();
    // A store found damaged while it loaded is refused as one found damaged at open: the
    // start-up's containers are tried again, they refuse it now, and the process ends with the
    // fatal line.
    static void stopOverRefusedStore(const QString& refusal);
    // A store SQLite finds damaged once the app runs: nothing more is written, the user is told
    // in one alert, and the process ends once it is closed, leaving the file as it is.
    void stopOverStoreDamagedInUse(const QString& refusal);

    QPointer<MenuBarManager> menuBarManager_;
    QPointer<OnboardingWindow> onboardingWindow_;
    std::unique_ptr<StoreContainer> modelContainer_;
    std::unique_ptr<AppMenus> mainMenu_;
    bool launchTaskFinished_ = false;
};
