#pragma once

#include <QString>
#include <functional>

class Kippet;
class QMenu;
class QWidget;

// The context menu of a kippet on the dashboard, built afresh at every opening so that its
// open/closed items, "Untuck All Kippets" and the daily item reflect that moment. Window, tuck
// and daily commands go to the shared services; editing, instructions and deleting go to the
// owner, which holds the sheets and the confirmation.
class KippetContextMenu {
public:
    struct Callbacks {
        std::function<void()> onEdit;
        std::function<void()> onDelete;
        // Absent: "Custom Instructions..." is shown and does nothing.
        std::function<void()> onEditInstructions;
        // Receives the text of a failed reopen; absent: the failure is silent.
        std::function<void(const QString&)> onError;
    };

    // A new menu owned by `parent`, deleted when it closes.
    static QMenu* build(Kippet* kippet, Callbacks callbacks, QWidget* parent);
    // Open: the manager's open kippets hold one with the kippet's id.
    static bool isOpen(const Kippet& kippet);
};
