#pragma once

#include "app/TuckCommands.h"
#include "app/TuckTarget.h"
#include "dashboard/DashboardTab.h"
#include "model/ScreenEdge.h"
#include "platform/RectD.h"
#include "store/WindowRegistry.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUuid>
#include <functional>
#include <memory>

class AppMenus;
class DashboardWindow;
class FloatingKippetWindow;
class Kippet;
class QAction;
class QMenu;
class QSystemTrayIcon;
class StatusMenuOpener;
class TuckTabView;
class TuckTrayView;
class TuckWindowFactory;
class QWidget;

// The one object that knows every window of the app: the floating panel of each kippet (at
// most one per kippet, kept while hidden, forgotten only by closeWindow) and the dashboard.
// GUI thread only.
class MenuBarManager : public QObject, public WindowRegistry {
    Q_OBJECT
public:
    // Makes the panel of a kippet; `otherPanels` gives the frames of the other registered panels.
    using WindowFactory = std::function<FloatingKippetWindow*(
        Kippet* kippet, const std::function<QList<RectD>()>& otherPanels)>;

    static inline const QString groupTuckedAwayKey = QStringLiteral("kippets_group_tucked_away");
    static inline const QString groupTuckedAwayEdgeKey =
        QStringLiteral("kippets_group_tucked_away_edge");
    // The edge of each kippet's pull tab, by kippet id, for the next start.
    static inline const QString tabEdgesKey = QStringLiteral("kippet_tuck_single_edges");

    MenuBarManager();
    ~MenuBarManager() override;

    static MenuBarManager& shared();
    static void install(MenuBarManager* manager);
    static bool isInstalled();

    void setWindowFactory(WindowFactory factory) { windowFactory_ = std::move(factory); }

    // The tray icon, when the desktop has a system tray: its menu is filled anew at each opening
    // and also pops up on a left click. Without a tray there is none, and the dashboard's menus
    // offer every command.
    void setupMenuBar();
    bool hasStatusItemButton() const { return statusItem_ != nullptr; }
    QSystemTrayIcon* statusItem() const { return statusItem_.get(); }

    // Shows the kippet's panel, made and registered when missing, and focuses it.
    FloatingKippetWindow* showWindow(Kippet* kippet);
    // Shows the kippet's panel, made and registered when missing, without taking the focus:
    // restoring many panels at once activates none of them on the way.
    FloatingKippetWindow* showWindowWithoutKey(Kippet* kippet);
    // The kippet's panel, made and registered (hidden) when missing.
    FloatingKippetWindow* windowForKippet(Kippet* kippet);
    // Forgets the kippet's panel and closes and deletes it, shown or hidden, so that nothing of
    // it lives on to answer its kippet's requests. Nothing when none is registered.
    void closeWindow(Kippet* kippet) override;
    void closeWindow(const QUuid& kippetId);
    // Menu action: the action's data holds the kippet to show; anything else does nothing.
    void showKippet(QAction* sender);
    // Menu action: every open kippet's panel into mini view. Panels made for it come to the
    // front; those that existed stay where they are in the window order.
    void miniViewAllKippets();
    // Menu action: asks for a name ("New Kippet" when left blank) and opens the new kippet's
    // panel; a refused creation shows the error and changes nothing.
    void createNewKippet();

    // A new "Move to …" menu, one item per edge (top, bottom, left, right), the edge as each
    // item's data; the caller owns it.
    QMenu* moveToEdgeMenu(QWidget* parent = nullptr);
    // Menu action: lines the open kippets up along the edge in the action's data.
    void moveKippetsToEdge(QAction* sender);

    FloatingKippetWindow* registeredWindow(const QUuid& kippetId) const;
    QList<FloatingKippetWindow*> floatingWindows() const;
    // The frames of every registered panel but the kippet's own.
    QList<RectD> otherWindowFrames(const QUuid& kippetId) const;

    void showDashboard();
    void showSettings();
    // The settings, brought forward without taking the keyboard from the window in use.
    void showSettingsWithoutKey();
    // The dashboard on its kippets tab with its create sheet up, where a first kippet is made.
    void showCreateKippetSheet();
    // Focuses the visible dashboard and posts the notification, or builds a new dashboard on
    // the tab (posting nothing).
    void openDashboard(DashboardTab tab, const QString& notification, bool makeKey = true);
    DashboardWindow* dashboardWindow() const { return dashboardWindow_.get(); }
    // The application's menus, handed over by the launch; every dashboard built from then on
    // shows them in its menu bar. Not owned.
    void setApplicationMenu(AppMenus* menus);
    AppMenus* applicationMenu() const;

    bool isTuckedAway() const { return isTuckedAway_; }
    ScreenEdge groupTuckedAwayEdge() const { return groupTuckedAwayEdge_; }
    // Also writes the edge's raw value to "kippets_group_tucked_away_edge".
    void setGroupTuckedAwayEdge(ScreenEdge edge);
    // The stored edge; right when missing or unreadable.
    static ScreenEdge storedGroupTuckedAwayEdge();

    // Tucking. The factory is not owned; without one the state changes and no tuck window
    // shows.
    void setTuckWindowFactory(TuckWindowFactory* factory) { tuckFactory_ = factory; }
    // Every open kippet into one tray; its windows hidden, each kippet marked tucked.
    void tuckAwayKippets();
    // At launch, when the group was tucked at the last quit: the tray alone.
    void restoreGroupTuckAwayIfNeeded();
    // Back from the tray: every open kippet without a pull tab gets its window shown, inactive.
    void untuckKippets();
    TuckTarget preferredTuckTarget() const;
    void tuckSingleKippet(Kippet* kippet);
    void untuckSingleKippet(Kippet* kippet);
    void untuckAllSingleKippets();
    TuckTarget nearestTuckEdge(const Kippet* kippet) const;
    // A pull tab for every open kippet on the edge (without one: left or right by the group
    // target); kippets are not marked tucked, so they return as windows after a restart.
    void tuckAllKippets(std::optional<ScreenEdge> edge = std::nullopt);
    // The tray and the tabs to the edge, tabs in slots ordered by kippet id.
    void moveTuckedKippets(ScreenEdge edge, const std::optional<ScreenInfo>& screen);
    TuckTrayView* tuckAwayWindow() const { return tuckAwayWindow_; }
    TuckTabView* tuckSingleWindow(const QUuid& kippetId) const;
    bool hasTuckSingleWindow(const QUuid& kippetId) const {
        return tuckSingleWindows_.contains(kippetId);
    }
    int tuckSingleWindowCount() const { return static_cast<int>(tuckSingleWindows_.size()); }
    // The slot of the kippet's tab, -1 without one.
    int tuckSlot(const QUuid& kippetId) const;
    // The tuck commands of the menus, bound to this registry; they do nothing once it is gone.
    TuckCommands tuckCommands();

signals:
    void windowRegistered(FloatingKippetWindow* window);

protected:
    // A registered panel that shows again takes its kippet out of its pull tab.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the window without taking the focus, or raises it when it is already shown.
    static void orderFrontWithoutKey(QWidget* window);
    FloatingKippetWindow* makeWindow(Kippet* kippet);
    // Hides a panel for its tuck. Also while the app is hidden: the app's coming back must not
    // show a panel whose kippet is tucked.
    void orderOut(FloatingKippetWindow* window);
    struct TuckTab {
        TuckTabView* view = nullptr;
        ScreenEdge edge = ScreenEdge::right;
        int slot = 0;
    };
    void showTray(ScreenEdge edge, const std::optional<ScreenInfo>& screen);
    // Makes and registers a tab in the first free slot from the number of tabs on.
    TuckTabView* addTab(Kippet* kippet, ScreenEdge edge, const std::optional<ScreenInfo>& screen);
    void closeTab(const QUuid& kippetId);
    // The kippet's panel is back on the screen, by whatever command: its tab goes, and the
    // kippet is no longer tucked.
    void panelCameBack(const QUuid& kippetId);
    // A tab keeps its edge across a restart: at launch its kippet has no window yet to measure.
    void observeTabEdges();
    void rememberTabEdge(const QUuid& kippetId, std::optional<ScreenEdge> edge);
    std::optional<ScreenEdge> rememberedTabEdge(const QUuid& kippetId) const;
    // The group tray's tab when the tray stands on the edge: no single tab may cover it.
    std::optional<RectD> trayTabOn(ScreenEdge edge) const;
    // The tabs on the tray's edge step aside from its tab.
    void placeTabsBesideTray();
    // The tray and the tabs back against their edges of the changed screens.
    void followScreenChange();

    WindowFactory windowFactory_;
    QHash<QUuid, FloatingKippetWindow*> floatingWindows_;
    std::unique_ptr<DashboardWindow> dashboardWindow_;
    QPointer<AppMenus> applicationMenu_;
    // The menu outlives the icon that shows it.
    std::unique_ptr<QMenu> statusMenu_;
    StatusMenuOpener* statusMenuOpener_ = nullptr;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    TuckWindowFactory* tuckFactory_ = nullptr;
    TuckTrayView* tuckAwayWindow_ = nullptr;
    QHash<QUuid, TuckTab> tuckSingleWindows_;
    bool isTuckedAway_ = false;
    ScreenEdge groupTuckedAwayEdge_ = ScreenEdge::right;
};
