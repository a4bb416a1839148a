#include "app/AppMenus.h"
#include "app/KippetSaveTask.h"
#include "app/MenuBarManager.h"
#include "app/TuckWindowFactory.h"
#include "model/JsonCoding.h"
#include "model/Kippet.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "window/FloatingKippetWindow.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace {
Kippet* kippetWithId(const QUuid& id) {
    for (Kippet* kippet : KippetManager::shared().allKippets()) {
        if (kippet->id() == id)
            return kippet;
    }
    return nullptr;
}

void setTucked(Kippet* kippet, bool tucked) {
    kippet->setIsTucked(tucked);
    startSaveTask(kippet);
}

} // namespace

TuckTarget MenuBarManager::preferredTuckTarget() const {
    QList<RectD> frames;
    for (FloatingKippetWindow* window : floatingWindows_)
        frames.append(window->frame());
    return TuckTarget::forGroup(frames, ScreenProvider::shared());
}

TuckTarget MenuBarManager::nearestTuckEdge(const Kippet* kippet) const {
    std::optional<RectD> frame;
    if (FloatingKippetWindow* window = registeredWindow(kippet->id()))
        frame = window->frame();
    return TuckTarget::forSingle(frame, kippet->position(), ScreenProvider::shared());
}

void MenuBarManager::orderOut(FloatingKippetWindow* window) {
    window->hide();
    if (applicationMenu_)
        applicationMenu_->forgetHiddenWindow(window);
}

void MenuBarManager::showTray(ScreenEdge edge, const std::optional<ScreenInfo>& screen) {
    if (tuckAwayWindow_)
        std::exchange(tuckAwayWindow_, nullptr)->close();
    if (!tuckFactory_)
        return;
    tuckAwayWindow_ = tuckFactory_->makeTray(edge, screen);
    // A factory may have no tray to offer: the group tuck then keeps its state without one.
    if (!tuckAwayWindow_)
        return;
    // Untucking closes the tray whose callback is running, and the callback with it: each
    // works on copies of what it captured.
    QPointer<MenuBarManager> self(this);
    tuckAwayWindow_->onUntuck = [self] {
        if (MenuBarManager* manager = self.data())
            manager->untuckKippets();
    };
    tuckAwayWindow_->onFocusKippet = [self](Kippet* kippet) {
        const QPointer<MenuBarManager> manager = self;
        const QPointer<Kippet> guarded(kippet);
        if (!manager)
            return;
        manager->untuckKippets();
        // A row may outlive its kippet's closing: a closed kippet gets no window back.
        if (manager && guarded && KippetManager::shared().activeKippets().contains(guarded.data()))
            manager->showWindow(guarded);
    };
    tuckAwayWindow_->makeKeyAndOrderFront();
    placeTabsBesideTray();
}

std::optional<RectD> MenuBarManager::trayTabOn(ScreenEdge edge) const {
    if (!tuckAwayWindow_ || tuckAwayWindow_->edge() != edge)
        return std::nullopt;
    return tuckAwayWindow_->tabFrame();
}

void MenuBarManager::placeTabsBesideTray() {
    if (!tuckAwayWindow_)
        return;
    const ScreenEdge edge = tuckAwayWindow_->edge();
    for (const TuckTab& tab : std::as_const(tuckSingleWindows_)) {
        if (tab.view && tab.edge == edge)
            tab.view->moveToEdge(edge, tab.slot, std::nullopt, trayTabOn(edge));
    }
}

void MenuBarManager::followScreenChange() {
    // The tray first: the tabs on its edge keep clear of where its tab stands now.
    if (tuckAwayWindow_)
        tuckAwayWindow_->followScreenChange();
    for (const TuckTab& tab : std::as_const(tuckSingleWindows_)) {
        if (tab.view)
            tab.view->followScreenChange(trayTabOn(tab.edge));
    }
}

void MenuBarManager::observeTabEdges() {
    // A tab dragged to another edge stays there, also after a restart.
    NotificationCenter::shared().observe(
        NotificationName::tuckSingleEdgeChanged, this,
        [this](const NotificationCenter::Notification& notification) {
            const QUuid id = notification.userInfo.value(UserInfoKey::kippetId).value<QUuid>();
            const std::optional<ScreenEdge> edge =
                screenEdgeFromRaw(notification.userInfo.value(UserInfoKey::edge).toString());
            const auto tab = tuckSingleWindows_.find(id);
            if (tab == tuckSingleWindows_.end() || !edge)
                return;
            tab->edge = *edge;
            rememberTabEdge(id, *edge);
        });
}

void MenuBarManager::rememberTabEdge(const QUuid& kippetId, std::optional<ScreenEdge> edge) {
    Preferences& preferences = Preferences::shared();
    QJsonObject edges =
        QJsonDocument::fromJson(preferences.stringOr(tabEdgesKey, {}).toUtf8()).object();
    const QString key = JsonCoding::encodeUuid(kippetId);
    if (edge)
        edges.insert(key, rawValue(*edge));
    else if (edges.contains(key))
        edges.remove(key);
    else
        return;
    if (edges.isEmpty())
        preferences.remove(tabEdgesKey);
    else
        preferences.setString(
            tabEdgesKey, QString::fromUtf8(QJsonDocument(edges).toJson(QJsonDocument::Compact)));
}

std::optional<ScreenEdge> MenuBarManager::rememberedTabEdge(const QUuid& kippetId) const {
    const QJsonObject edges =
        QJsonDocument::fromJson(Preferences::shared().stringOr(tabEdgesKey, {}).toUtf8()).object();
    return screenEdgeFromRaw(edges.value(JsonCoding::encodeUuid(kippetId)).toString());
}

void MenuBarManager::tuckAwayKippets() {
    if (isTuckedAway_)
        return;
    isTuckedAway_ = true;
    Preferences::shared().setBool(groupTuckedAwayKey, true);
    const TuckTarget target = preferredTuckTarget();
    setGroupTuckedAwayEdge(target.edge);
    for (auto it = floatingWindows_.cbegin(); it != floatingWindows_.cend(); ++it) {
        if (Kippet* kippet = kippetWithId(it.key()))
            setTucked(kippet, true);
        orderOut(it.value());
    }
    showTray(target.edge, target.screen);
    Log::line(QStringLiteral("📌 Kippets tucked away to %1 edge").arg(rawValue(target.edge)));
}

void MenuBarManager::restoreGroupTuckAwayIfNeeded() {
    if (isTuckedAway_ && tuckAwayWindow_)
        return;
    isTuckedAway_ = true;
    Preferences::shared().setBool(groupTuckedAwayKey, true);
    showTray(groupTuckedAwayEdge_, preferredTuckTarget().screen);
    Log::line(QStringLiteral("📌 Restored group tuck-away tray on %1 edge")
                  .arg(rawValue(groupTuckedAwayEdge_)));
}

void MenuBarManager::untuckKippets() {
    if (!isTuckedAway_)
        return;
    isTuckedAway_ = false;
    Preferences::shared().setBool(groupTuckedAwayKey, false);
    if (tuckAwayWindow_)
        std::exchange(tuckAwayWindow_, nullptr)->close();
    // After a launch that restored the tray no window exists yet: the open kippets get theirs.
    QList<QUuid> ids;
    for (Kippet* kippet : KippetManager::shared().activeKippets())
        ids.append(kippet->id());
    for (const QUuid& id : floatingWindows_.keys()) {
        if (!ids.contains(id))
            ids.append(id);
    }
    for (const QUuid& id : std::as_const(ids)) {
        if (tuckSingleWindows_.contains(id))
            continue;
        Kippet* kippet = kippetWithId(id);
        FloatingKippetWindow* window = registeredWindow(id);
        if (kippet) {
            setTucked(kippet, false);
            if (!window)
                window = windowForKippet(kippet);
        }
        if (window)
            orderFrontWithoutKey(window);
    }
    Log::line(QStringLiteral("📤 Kippets untucked"));
}

TuckTabView* MenuBarManager::tuckSingleWindow(const QUuid& kippetId) const {
    return tuckSingleWindows_.value(kippetId).view;
}

int MenuBarManager::tuckSlot(const QUuid& kippetId) const {
    const auto it = tuckSingleWindows_.constFind(kippetId);
    return it == tuckSingleWindows_.cend() ? -1 : it->slot;
}

TuckTabView* MenuBarManager::addTab(Kippet* kippet, ScreenEdge edge,
                                    const std::optional<ScreenInfo>& screen) {
    // Counting tabs is where a slot starts; after untucks that slot may be taken on this edge.
    int slot = static_cast<int>(tuckSingleWindows_.size());
    const auto taken = [this, edge](int candidate) {
        return std::any_of(
            tuckSingleWindows_.cbegin(), tuckSingleWindows_.cend(),
            [&](const TuckTab& tab) { return tab.edge == edge && tab.slot == candidate; });
    };
    while (taken(slot))
        ++slot;
    TuckTabView* view = tuckFactory_ ? tuckFactory_->makeTab(kippet, edge, screen) : nullptr;
    if (view) {
        QPointer<MenuBarManager> self(this);
        QPointer<Kippet> guarded(kippet);
        view->onUntuck = [self, guarded] {
            MenuBarManager* manager = self.data();
            Kippet* tucked = guarded.data();
            if (manager && tucked)
                manager->untuckSingleKippet(tucked);
        };
        const std::optional<RectD> trayTab = trayTabOn(edge);
        if (slot != 0 || trayTab)
            view->moveToEdge(edge, slot, screen, trayTab);
    }
    tuckSingleWindows_.insert(kippet->id(), TuckTab{view, edge, slot});
    rememberTabEdge(kippet->id(), edge);
    return view;
}

void MenuBarManager::closeTab(const QUuid& kippetId) {
    const auto it = tuckSingleWindows_.find(kippetId);
    if (it == tuckSingleWindows_.end())
        return;
    TuckTabView* view = it->view;
    tuckSingleWindows_.erase(it);
    if (view)
        view->close();
}

void MenuBarManager::panelCameBack(const QUuid& kippetId) {
    closeTab(kippetId);
    rememberTabEdge(kippetId, std::nullopt);
    Kippet* kippet = kippetWithId(kippetId);
    if (!kippet)
        return;
    setTucked(kippet, false);
    Log::line(QStringLiteral("📤 Kippet '%1' untucked").arg(kippet->name()));
}

void MenuBarManager::tuckSingleKippet(Kippet* kippet) {
    if (!kippet || tuckSingleWindows_.contains(kippet->id()))
        return;
    setTucked(kippet, true);
    TuckTarget target = nearestTuckEdge(kippet);
    FloatingKippetWindow* window = registeredWindow(kippet->id());
    // Tucked in an earlier run, the kippet has no window to measure: its tab goes back to the
    // edge it stood on.
    if (const std::optional<ScreenEdge> edge = rememberedTabEdge(kippet->id()); edge && !window)
        target.edge = *edge;
    if (window)
        orderOut(window);
    if (TuckTabView* view = addTab(kippet, target.edge, target.screen))
        view->makeKeyAndOrderFront();
    Log::line(QStringLiteral("📌 Kippet '%1' tucked to %2 edge")
                  .arg(kippet->name(), rawValue(target.edge)));
}

void MenuBarManager::untuckSingleKippet(Kippet* kippet) {
    if (!kippet || !tuckSingleWindows_.contains(kippet->id()))
        return;
    closeTab(kippet->id());
    rememberTabEdge(kippet->id(), std::nullopt);
    setTucked(kippet, false);
    if (FloatingKippetWindow* window = registeredWindow(kippet->id()))
        orderFrontWithoutKey(window);
    else
        showWindow(kippet);
    Log::line(QStringLiteral("📤 Kippet '%1' untucked").arg(kippet->name()));
}

void MenuBarManager::untuckAllSingleKippets() {
    if (tuckSingleWindows_.isEmpty())
        return;
    for (const QUuid& id : tuckSingleWindows_.keys()) {
        if (Kippet* kippet = kippetWithId(id))
            untuckSingleKippet(kippet);
        else
            closeTab(id);
    }
    Log::line(QStringLiteral("📤 All individually tucked kippets untucked"));
}

void MenuBarManager::tuckAllKippets(std::optional<ScreenEdge> edge) {
    const QList<Kippet*> active = KippetManager::shared().activeKippets();
    if (active.isEmpty())
        return;
    TuckTarget target;
    if (edge) {
        target = TuckTarget{*edge, ScreenProvider::shared().mainScreen()};
    } else {
        target = preferredTuckTarget();
        target.edge = target.edge == ScreenEdge::left ? ScreenEdge::left : ScreenEdge::right;
    }
    for (Kippet* kippet : active) {
        if (tuckSingleWindows_.contains(kippet->id()))
            continue;
        if (FloatingKippetWindow* window = registeredWindow(kippet->id()))
            orderOut(window);
        if (TuckTabView* view = addTab(kippet, target.edge, target.screen))
            view->orderFrontWithoutKey();
    }
    Log::line(QStringLiteral("📌 All kippets tucked to %1 edge").arg(rawValue(target.edge)));
}

void MenuBarManager::moveTuckedKippets(ScreenEdge edge, const std::optional<ScreenInfo>& screen) {
    if (tuckAwayWindow_) {
        tuckAwayWindow_->moveToEdge(edge, screen);
        setGroupTuckedAwayEdge(edge);
    }
    QList<QUuid> ids = tuckSingleWindows_.keys();
    std::sort(ids.begin(), ids.end(), [](const QUuid& a, const QUuid& b) {
        return JsonCoding::encodeUuid(a) < JsonCoding::encodeUuid(b);
    });
    const std::optional<RectD> trayTab = trayTabOn(edge);
    for (int slot = 0; slot < ids.size(); ++slot) {
        TuckTab& tab = tuckSingleWindows_[ids[slot]];
        tab.edge = edge;
        tab.slot = slot;
        rememberTabEdge(ids[slot], edge);
        if (tab.view)
            tab.view->moveToEdge(edge, slot, screen, trayTab);
    }
}

TuckCommands MenuBarManager::tuckCommands() {
    QPointer<MenuBarManager> self(this);
    TuckCommands commands{[self] {
                              if (self)
                                  self->tuckAwayKippets();
                          },
                          [self](Kippet* kippet) {
                              if (self)
                                  self->tuckSingleKippet(kippet);
                          },
                          [self] {
                              if (self)
                                  self->tuckAllKippets();
                          },
                          [self] {
                              if (self)
                                  self->untuckAllSingleKippets();
                          },
                          [self] { return self ? self->tuckSingleWindowCount() : 0; }};
    commands.untuckKippets = [self] {
        if (self)
            self->untuckKippets();
    };
    commands.untuckSingleKippet = [self](Kippet* kippet) {
        if (self)
            self->untuckSingleKippet(kippet);
    };
    commands.hasTuckSingleWindow = [self](const Kippet* kippet) {
        return self && kippet && self->hasTuckSingleWindow(kippet->id());
    };
    return commands;
}
