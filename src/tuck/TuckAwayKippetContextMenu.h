#pragma once

#include <functional>

class Kippet;
class QMenu;
class QWidget;

// The menu of a tray row. The window commands untuck the group first; "Show Dashboard" and
// "Close Kippet" leave the tray tucked.
class TuckAwayKippetContextMenu {
public:
    TuckAwayKippetContextMenu() = delete;

    // A menu that deletes itself when closed; `onClosed` runs after "Close Kippet" closed the
    // kippet, so the tray can drop its row.
    static QMenu* build(Kippet* kippet, std::function<void()> onClosed, QWidget* parent);
};
