#pragma once

class MenuBarManager;
class QMenu;

// The tray icon's menu, filled anew from the moment's state each time it opens: the open
// kippets, the bulk view and tuck commands, creation, the dashboard, settings and quitting.
// Shortcuts are shown beside their items but not bound, as the menu bar shows them.
namespace StatusMenu {
void fill(QMenu* menu, MenuBarManager& registry);
} // namespace StatusMenu
