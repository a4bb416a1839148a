#pragma once

#include <functional>

class Kippet;
class QMenu;
class QWidget;

// The menu of a pull tab, built anew at each opening: untuck, move the tabs, the editors, paste
// and import into the tucked kippet, the dashboard, a new kippet, and closing the kippet.
class TuckSingleContextMenu {
public:
    // Deletes itself when closed.
    static QMenu* build(Kippet* kippet, std::function<void()> onUntuck, QWidget* parent);
    // Untucks the kippet (its tab goes, its tucked flag is cleared and saved), then closes it.
    static void closeKippet(Kippet* kippet);
};
