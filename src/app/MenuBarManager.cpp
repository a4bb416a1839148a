#include "app/MenuBarManager.h"

#include "app/AppMenus.h"
#include "app/DashboardWindow.h"
#include "app/Dialogs.h"
#include "app/StatusMenu.h"
#include "app/StatusMenuOpener.h"
#include "app/TrayIconArt.h"
#include "app/TuckWindowFactory.h"
#include "app/WindowLevel.h"
#include "dashboard/DashboardView.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "platform/ScreenArrival.h"
#include "platform/ScreenProvider.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "window/FloatingKippetWindow.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {
QPointer<MenuBarManager>& installed() {
    static QPointer<MenuBarManager> instance;
    return instance;
}

// False while there is no screen to place it on.
bool centreOnMainScreen(QWidget* window) {
    const ScreenProvider& screens = ScreenProvider::shared();
    const std::optional<ScreenInfo> main = screens.mainScreen();
    if (!main)
        return false;
    const RectD visible = main->visibleFrame;
    const RectD frame(visible.midX() - window->width() / 2.0,
                      visible.midY() - window->height() / 2.0, window->width(), window->height());
    window->setGeometry(screens.space().toQtRect(frame));
    return true;
}
} // namespace

MenuBarManager::MenuBarManager()
    : windowFactory_([](Kippet* kippet, const std::function<QList<RectD>()>& otherPanels) {
          return new FloatingKippetWindow(kippet, otherPanels);
      }),
      isTuckedAway_(Preferences::shared().boolOr(groupTuckedAwayKey, false)),
      groupTuckedAwayEdge_(storedGroupTuckedAwayEdge()) {
    observeTabEdges();
    connect(&ScreenProvider::shared(), &ScreenProvider::screensChanged, this,
            &MenuBarManager::followScreenChange);
}

MenuBarManager::~MenuBarManager() {
    for (const QUuid& id : tuckSingleWindows_.keys())
        closeTab(id);
    if (tuckAwayWindow_)
        std::exchange(tuckAwayWindow_, nullptr)->close();
    const auto windows = floatingWindows_;
    floatingWindows_.clear();
    for (FloatingKippetWindow* window : windows)
        delete window;
}

bool MenuBarManager::eventFilter(QObject* watched, QEvent* event) {
    // Every road that brings a panel back (the tray's list, the status menu, the dashboard, the
    // arrangements, mini view for all) ends in its showing: a tab left behind would offer to
    // untuck a kippet that is already out.
    if (event->type() == QEvent::Show) {
        const QUuid id = floatingWindows_.key(qobject_cast<FloatingKippetWindow*>(watched));
        if (!id.isNull() && tuckSingleWindows_.contains(id))
            panelCameBack(id);
    }
    return QObject::eventFilter(watched, event);
}

MenuBarManager& MenuBarManager::shared() {
    Q_ASSERT_X(installed(), "MenuBarManager::shared", "no window registry installed");
    return *installed();
}

void MenuBarManager::install(MenuBarManager* manager) {
    installed() = manager;
}

bool MenuBarManager::isInstalled() {
    return !installed().isNull();
}

FloatingKippetWindow* MenuBarManager::makeWindow(Kippet* kippet) {
    const QUuid id = kippet->id();
    FloatingKippetWindow* window =
        windowFactory_(kippet, [this, id] { return otherWindowFrames(id); });
    floatingWindows_.insert(id, window);
    window->installEventFilter(this);
    // The panel's own close forgets it here; the entry goes before the panel finishes closing.
    connect(window, &FloatingKippetWindow::windowWillClose, this, [this, id] { closeWindow(id); });
    emit windowRegistered(window);
    return window;
}

FloatingKippetWindow* MenuBarManager::windowForKippet(Kippet* kippet) {
    if (FloatingKippetWindow* window = floatingWindows_.value(kippet->id()))
        return window;
    return makeWindow(kippet);
}

FloatingKippetWindow* MenuBarManager::showWindow(Kippet* kippet) {
    FloatingKippetWindow* window = windowForKippet(kippet);
    WindowLevel::bringToFront(window);
    return window;
}

FloatingKippetWindow* MenuBarManager::showWindowWithoutKey(Kippet* kippet) {
    FloatingKippetWindow* window = windowForKippet(kippet);
    orderFrontWithoutKey(window);
    return window;
}

void MenuBarManager::orderFrontWithoutKey(QWidget* window) {
    const bool minimised = window->windowState() & Qt::WindowMinimized;
    if (window->isVisible() && !minimised) {
        window->raise();
        return;
    }
    // A window that appears, or comes back from being minimised, is already on top; only the
    // focus is held back, for this showing.
    const bool had = window->testAttribute(Qt::WA_ShowWithoutActivating);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    WindowLevel::showUnminimised(window);
    window->setAttribute(Qt::WA_ShowWithoutActivating, had);
}

void MenuBarManager::closeWindow(Kippet* kippet) {
    if (kippet)
        closeWindow(kippet->id());
}

void MenuBarManager::closeWindow(const QUuid& kippetId) {
    if (tuckSingleWindows_.contains(kippetId))
        rememberTabEdge(kippetId, std::nullopt);
    // A tab left behind would bring a closed kippet back when untucked.
    closeTab(kippetId);
    FloatingKippetWindow* window = floatingWindows_.take(kippetId);
    if (!window)
        return;
    // A hidden panel is closed too: left alive it would still answer its kippet's paste and
    // import requests next to the kippet's new panel.
    window->close();
    window->deleteLater();
}

void MenuBarManager::showKippet(QAction* sender) {
    if (!sender)
        return;
    if (auto* kippet = qobject_cast<Kippet*>(sender->data().value<QObject*>()))
        showWindow(kippet);
}

void MenuBarManager::miniViewAllKippets() {
    const QList<Kippet*> kippets = KippetManager::shared().activeKippets();
    for (Kippet* kippet : kippets) {
        if (FloatingKippetWindow* window = registeredWindow(kippet->id())) {
            window->enterMiniView();
            continue;
        }
        FloatingKippetWindow* window = makeWindow(kippet);
        window->enterMiniView();
        WindowLevel::bringToFront(window);
    }
}

FloatingKippetWindow* MenuBarManager::registeredWindow(const QUuid& kippetId) const {
    return floatingWindows_.value(kippetId);
}

QList<FloatingKippetWindow*> MenuBarManager::floatingWindows() const {
    return floatingWindows_.values();
}

QList<RectD> MenuBarManager::otherWindowFrames(const QUuid& kippetId) const {
    QList<RectD> frames;
    for (auto it = floatingWindows_.cbegin(); it != floatingWindows_.cend(); ++it) {
        if (it.key() != kippetId)
            frames.append(it.value()->frame());
    }
    return frames;
}

void MenuBarManager::showDashboard() {
    openDashboard(DashboardTab::kippets, NotificationName::dashboardSwitchToKippets);
}

void MenuBarManager::showSettings() {
    openDashboard(DashboardTab::settings, NotificationName::dashboardSwitchToSettings);
}

void MenuBarManager::showSettingsWithoutKey() {
    openDashboard(DashboardTab::settings, NotificationName::dashboardSwitchToSettings, false);
}

void MenuBarManager::showCreateKippetSheet() {
    showDashboard();
    if (!dashboardWindow_)
        return;
    if (auto* view = qobject_cast<DashboardView*>(dashboardWindow_->centralWidget()))
        view->showCreateSheet();
}

void MenuBarManager::openDashboard(DashboardTab tab, const QString& notification, bool makeKey) {
    const auto bringForward = [makeKey](QWidget* window) {
        if (makeKey)
            WindowLevel::bringToFront(window);
        else
            orderFrontWithoutKey(window);
    };
    if (dashboardWindow_ && dashboardWindow_->isVisible()) {
        bringForward(dashboardWindow_.get());
        NotificationCenter::shared().post(notification);
        return;
    }
    auto window = std::make_unique<DashboardWindow>(tab);
    if (applicationMenu_)
        window->setMenuBar(applicationMenu_->createMenuBar(window.get()));
    else
        Log::line(QStringLiteral("⚠️ Warning: Application menu not found in MenuBarManager"));
    if (!centreOnMainScreen(window.get())) {
        QWidget* unplaced = window.get();
        ScreenArrival::whenScreenAppears(unplaced, [unplaced] { centreOnMainScreen(unplaced); });
    }
    dashboardWindow_ = std::move(window);
    bringForward(dashboardWindow_.get());
}

void MenuBarManager::setApplicationMenu(AppMenus* menus) {
    applicationMenu_ = menus;
}

AppMenus* MenuBarManager::applicationMenu() const {
    return applicationMenu_;
}

void MenuBarManager::setGroupTuckedAwayEdge(ScreenEdge edge) {
    groupTuckedAwayEdge_ = edge;
    Preferences::shared().setString(groupTuckedAwayEdgeKey, rawValue(edge));
}

ScreenEdge MenuBarManager::storedGroupTuckedAwayEdge() {
    const std::optional<QString> stored = Preferences::shared().stringValue(groupTuckedAwayEdgeKey);
    return stored ? screenEdgeFromRaw(*stored).value_or(ScreenEdge::right) : ScreenEdge::right;
}

void MenuBarManager::createNewKippet() {
    const std::optional<QString> answer = Dialogs::shared().askText(
        QStringLiteral("Create New Kippet"), QStringLiteral("Enter a name for your new kippet:"),
        QStringLiteral("Kippet name"), {QStringLiteral("Create"), QStringLiteral("Cancel")});
    if (!answer)
        return;
    // The manager takes any name as given, blank included: a blank answer gets the default here.
    QString name = answer->trimmed();
    if (name.isEmpty())
        name = QStringLiteral("New Kippet");
    Kippet* kippet = nullptr;
    try {
        kippet = KippetManager::shared().createKippet(name, KippetColor::standardBlue(),
                                                      SymbolNames::trayFill, false);
    } catch (const std::exception& error) {
        Dialogs::shared().showError(KippetsError::textOf(error));
        return;
    }
    showWindow(kippet);
}

void MenuBarManager::setupMenuBar() {
    if (!statusItem_ && QSystemTrayIcon::isSystemTrayAvailable()) {
        statusMenu_ = std::make_unique<QMenu>();
        connect(statusMenu_.get(), &QMenu::aboutToShow, this,
                [this] { StatusMenu::fill(statusMenu_.get(), *this); });
        statusItem_ = std::make_unique<QSystemTrayIcon>(TrayIconArt::icon());
        statusItem_->setToolTip(QStringLiteral("Kippets"));
        statusItem_->setContextMenu(statusMenu_.get());
        statusMenuOpener_ = new StatusMenuOpener(
            [this](QPoint at) {
                if (statusMenu_)
                    statusMenu_->popup(at);
            },
            this);
        connect(statusItem_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger) {
                        statusMenuOpener_->clicked(QCursor::pos());
                    } else if (reason == QSystemTrayIcon::Context && statusMenu_->isVisible() &&
                               StatusMenuOpener::focusIsStale()) {
                        // Qt popped the menu itself at the press, before the focus settled:
                        // it would close under the user's click, so it opens again once settled.
                        statusMenu_->hide();
                        statusMenuOpener_->clicked(QCursor::pos());
                    }
                });
        statusItem_->show();
    }
    Log::line(QStringLiteral("✅ Menu bar icon set up"));
}
