#include "app/AppDelegate.h"

#include "app/AppIconEngine.h"
#include "app/AppMenus.h"
#include "app/ContainerSetup.h"
#include "app/DailyKippetScheduler.h"
#include "app/Dialogs.h"
#include "app/KippetSaveTask.h"
#include "app/MenuBarManager.h"
#include "app/RavorurOdu.h"
#include "app/StartupRefusal.h"
#include "model/Kippet.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "platform/ScreenProvider.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"

#include <QApplication>
#include <QLineF>
#include <QSystemTrayIcon>
#include <QWidget>
#include <cmath>

namespace {
constexpr double overlapDistance = 10.0;
constexpr double cascadeStep = 30.0;
constexpr double keptWidth = 360.0;
constexpr double keptHeight = 480.0;
constexpr std::chrono::milliseconds tourDelay{500};

// The account status as the platform without iCloud always answers it.
const QString undeterminedStatus = QStringLiteral("could not determine ⚠️");

QPointF clampedCascadeTarget(QPointF target) {
    const ScreenProvider& provider = ScreenProvider::shared();
    std::optional<ScreenInfo> screen;
    for (const ScreenInfo& candidate : provider.screens()) {
        if (candidate.visibleFrame.contains(target)) {
            screen = candidate;
            break;
        }
    }
    if (!screen)
        screen = provider.mainScreen();
    if (!screen)
        return target;
    const RectD visible = screen->visibleFrame;
    return QPointF(std::max(visible.minX(), std::min(target.x(), visible.maxX() - keptWidth)),
                   std::max(visible.minY(), std::min(target.y(), visible.maxY() - keptHeight)));
}

void logStatusItemButton(const QSystemTrayIcon& button) {
    const bool hasImage = !button.icon().isNull();
    Log::line(QStringLiteral("✅ Menu bar button created"));
    Log::line(QStringLiteral("   - Has image: ") +
              (hasImage ? QStringLiteral("true") : QStringLiteral("false")));
    // A tray icon shows no text beside its image; without an image the item stands for itself
    // with the package emoji.
    const QString title = hasImage ? QString() : QStringLiteral("📦");
    Log::line(QStringLiteral("   - Has title: '") + title + QLatin1Char('\''));
}
} // namespace

AppDelegate::AppDelegate(std::unique_ptr<StoreContainer> modelContainer)
    : modelContainer_(std::move(modelContainer)) {}

AppDelegate::~AppDelegate() {
    delete onboardingWindow_;
}

OnboardingWindow* AppDelegate::onboardingWindow() const {
    return onboardingWindow_;
}

void AppDelegate::applicationDidFinishLaunching() {
    Log::line(QStringLiteral("🚀 App launching..."));
    if (!modelContainer_) {
        Log::line(QStringLiteral("❌ ModelContainer not available - this should never happen"));
        return;
    }
    menuBarManager_ = MenuBarManager::isInstalled() ? &MenuBarManager::shared() : nullptr;
    if (menuBarManager_)
        menuBarManager_->setupMenuBar();
    Log::line(QStringLiteral("✅ Menu bar setup complete"));
    becomeRegularApplication();
    Log::line(QStringLiteral("✅ Set to .regular - full app with dock icon"));
    setupAppMenus();
    Log::line(QStringLiteral("✅ App menus setup complete"));
    NotificationCenter::shared().observe(NotificationName::showOnboarding, this,
                                         [this](const auto&) { showOnboardingWindow(); });
    // The tour's last step asks for a first kippet: the dashboard's create sheet makes it.
    NotificationCenter::shared().observe(NotificationName::createNewKippet, this,
                                         [this](const auto&) {
                                             if (menuBarManager_)
                                                 menuBarManager_->showCreateKippetSheet();
                                         });
    if (DailyKippetScheduler::isInstalled() && DailyKippetScheduler::shared().isEnabled())
        DailyKippetScheduler::shared().start();
    Log::line(QStringLiteral("✅ Daily kippet scheduler started"));
    if (menuBarManager_ && menuBarManager_->hasStatusItemButton())
        logStatusItemButton(*menuBarManager_->statusItem());
    else
        Log::line(QStringLiteral("❌ Menu bar button NOT created!"));
    runLaunchTask();
}

QCoro::Task<> AppDelegate::runLaunchTask() {
    QPointer<AppDelegate> self(this);
    StoreManager::shared().configure(std::move(modelContainer_));
    Log::line(QStringLiteral("[iCloud Sync] ✅ StoreManager configured with shared container"));
    co_await KippetManager::shared().waitForInitialization();
    if (!self)
        co_return;
    if (const auto refusal = StoreManager::shared().refusal()) {
        stopOverRefusedStore(*refusal);
        co_return;
    }
    connect(&StoreManager::shared(), &StoreManager::storeRefused, this,
            &AppDelegate::stopOverStoreDamagedInUse);
    Log::line(QStringLiteral("📦 KippetManager initialization complete"));
    // Nothing shown waits for the keyring: it may be slow, locked or gone. Whether a key is
    // stored is read in the background since the key store was installed, and what depends on
    // it follows the answer.
    checkICloudAccountStatus();
    restoreWindows();
    if (menuBarManager_)
        menuBarManager_->showDashboard();
    checkOnboarding();
    // The first check waits for the store and the restored windows: made any earlier, the
    // day's kippet would fail to save and come a minute late.
    if (DailyKippetScheduler::isInstalled())
        DailyKippetScheduler::shared().checkAndCreateIfNeeded();
    launchTaskFinished_ = true;
    emit launchTaskFinished();
}

void AppDelegate::stopOverRefusedStore(const QString& refusal) {
    QString fatal = QStringLiteral("[iCloud Sync] 💀 Could not create any container: ") + refusal;
    QString reason = refusal;
    try {
        createLaunchContainer(
            QCoreApplication::arguments().contains(RavorurOdu::temporaryStorageArgument));
    } catch (const StartupFailure& failure) {
        fatal = failure.errorDescription();
        reason = failure.reason();
    }
    const auto leave = [] { QCoreApplication::exit(1); };
    if (!StartupRefusal::tell(fatal, reason, leave))
        leave();
}

void AppDelegate::stopOverStoreDamagedInUse(const QString& refusal) {
    Log::line(QStringLiteral("💀 Stopping over a store found damaged in use: ") + refusal);
    // The user is told once, where the file is and why nothing more goes into it; the alerts of
    // the writes that fail meanwhile would only repeat it.
    Dialogs::shared().showFinalAlert(
        QStringLiteral("Kippets Must Quit"),
        refusal + QStringLiteral(".\n\nKippets quits now, so that nothing more is written to it."),
        [] { QCoreApplication::exit(1); });
}

void AppDelegate::becomeRegularApplication() {
    // Windows without an icon of their own show the app's; a taskbar groups them under the
    // desktop entry, which starts Kippets again (the running one then shows its dashboard).
    QApplication::setWindowIcon(AppIconEngine::icon());
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktopEntryName));
}

void AppDelegate::setupAppMenus() {
    mainMenu_ = std::make_unique<AppMenus>();
    if (menuBarManager_)
        menuBarManager_->setApplicationMenu(mainMenu_.get());
}

void AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (mainMenu_ && mainMenu_->unhideApplication())
        return;
    if (!hasVisibleWindows && menuBarManager_)
        menuBarManager_->showDashboard();
}

void AppDelegate::handleReopenRequest() {
    // A second start is a launcher click: panels float over everything and show all the time, so
    // it must answer with the dashboard even then, or the click would seem to do nothing.
    if (mainMenu_)
        mainMenu_->unhideApplication();
    if (menuBarManager_)
        menuBarManager_->showDashboard();
}

void AppDelegate::showOnboardingWindow() {
    if (onboardingWindow_)
        onboardingWindow_->close();
    onboardingWindow_ = new OnboardingWindow();
}

void AppDelegate::checkICloudAccountStatus() {
    const bool enabled = StoreManager::isICloudSyncEnabled();
    Log::line(QStringLiteral("[iCloud Sync] ── Account Status Check ──"));
    Log::line(QStringLiteral("[iCloud Sync] User preference: iCloud sync ") +
              (enabled ? QStringLiteral("ENABLED") : QStringLiteral("DISABLED")));
    Log::line(QStringLiteral("[iCloud Sync] Container ID: ") +
              QLatin1String(StoreContainer::iCloudContainerIdentifier));
    // The status arrives after the launch task's own steps, as an answer from the account
    // service would.
    QMetaObject::invokeMethod(
        this,
        [enabled] {
            Log::line(QStringLiteral("[iCloud Sync] CKAccountStatus: ") + undeterminedStatus);
            if (enabled) {
                Log::line(QStringLiteral("[iCloud Sync] ⚠️ WARNING: iCloud sync is enabled but "
                                         "account is not available!"));
                Log::line(QStringLiteral("[iCloud Sync]    Data will be stored locally. Sync "
                                         "will resume when iCloud becomes available."));
            } else {
                Log::line(QStringLiteral("[iCloud Sync] ℹ️ iCloud sync is disabled by user "
                                         "preference — operating in local-only mode"));
            }
            Log::line(QStringLiteral("[iCloud Sync] ── End Account Status Check ──"));
        },
        Qt::QueuedConnection);
}

void AppDelegate::restoreWindows() {
    const QList<Kippet*> active = KippetManager::shared().activeKippets();
    Log::line(QStringLiteral("📦 Restoring %1 active kippets").arg(active.size()));
    cascadeOverlappingKippets(active);
    if (Preferences::shared().boolOr(MenuBarManager::groupTuckedAwayKey, false) &&
        !active.isEmpty()) {
        if (menuBarManager_)
            menuBarManager_->restoreGroupTuckAwayIfNeeded();
        return;
    }
    if (active.isEmpty() || !menuBarManager_)
        return;
    for (Kippet* kippet : active) {
        if (kippet->isTucked())
            menuBarManager_->tuckSingleKippet(kippet);
        else
            menuBarManager_->showWindowWithoutKey(kippet);
    }
}

void AppDelegate::cascadeOverlappingKippets(const QList<Kippet*>& kippets) {
    if (kippets.size() < 2)
        return;
    QList<QList<Kippet*>> groups;
    for (Kippet* kippet : kippets) {
        const QPointF position = kippet->position();
        if (position.x() == 0.0 && position.y() == 0.0)
            continue;
        auto group = std::find_if(groups.begin(), groups.end(), [&](const QList<Kippet*>& g) {
            return QLineF(g.first()->position(), position).length() < overlapDistance;
        });
        if (group != groups.end())
            group->append(kippet);
        else
            groups.append(QList<Kippet*>{kippet});
    }
    for (const QList<Kippet*>& group : std::as_const(groups)) {
        if (group.size() < 2)
            continue;
        Log::line(QStringLiteral("📍 Found %1 overlapping kippets, applying cascade offset")
                      .arg(group.size()));
        for (qsizetype i = 1; i < group.size(); ++i) {
            Kippet* member = group[i];
            const QPointF own = member->position();
            const QPointF target =
                clampedCascadeTarget(QPointF(own.x() + cascadeStep * i, own.y() - cascadeStep * i));
            member->setPosition(target);
            startSaveTask(member);
            Log::line(QStringLiteral("   → Adjusted '%1' to (%2, %3)")
                          .arg(member->name(),
                               QString::number(static_cast<qint64>(std::trunc(target.x()))),
                               QString::number(static_cast<qint64>(std::trunc(target.y())))));
        }
    }
}

void AppDelegate::checkOnboarding() {
    Preferences& preferences = Preferences::shared();
    const bool completed = preferences.boolOr(onboardingCompletedKey, false);
    const bool showOnLaunch = preferences.boolOr(onboardingShowOnLaunchKey, false);
    const bool showOnLaunchSet = preferences.boolOr(onboardingShowOnLaunchSetKey, false);
    if (!completed && (showOnLaunch || !showOnLaunchSet)) {
        QPointer<AppDelegate> self(this);
        Clock::shared().schedule(tourDelay, this, [self] {
            if (self)
                self->showOnboardingWindow();
        });
    }
    if (!showOnLaunchSet) {
        preferences.setBool(onboardingShowOnLaunchKey, true);
        preferences.setBool(onboardingShowOnLaunchSetKey, true);
    }
}
