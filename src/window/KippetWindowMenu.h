#pragma once

#include <QMenu>
#include <functional>

class FloatingKippetWindow;
class Kippet;

// The context menu of a kippet window, the same in all three modes and built afresh at every
// opening, so its labels follow the window's mode and its conditional items the moment's state.
// The window's own commands come in as callbacks; the arrangement, tuck and daily commands go
// to the shared services. Items are named by their object names ("MiniViewMenuItem", …) and
// carry their symbol name in the "symbol" property; "Close Kippet" is drawn in red.
class KippetWindowMenu : public QMenu {
    Q_OBJECT
public:
    struct Callbacks {
        std::function<void()> onToggleMiniView;
        std::function<void()> onToggleExpanded;
        std::function<void()> onPaste;
        std::function<void()> onImport;
        std::function<void()> onOpenNotes;
        std::function<void()> onOpenTodos;
        std::function<void()> onEditInstructions;
        std::function<void()> onShowDashboard;
        std::function<void()> onNewKippet;
        std::function<void()> onCloseKippet;
    };

    static inline const char* const symbolProperty = "symbol";
    static inline const char* const destructiveProperty = "destructive";

    // A new menu owned by `parent`, deleted when it closes.
    static KippetWindowMenu* build(Kippet* kippet, bool isExpanded, bool isMiniView,
                                   const Callbacks& callbacks, QWidget* parent);
    // The menu of a kippet window, with the callbacks of the window and its content view.
    static KippetWindowMenu* build(FloatingKippetWindow& window);
    static Callbacks callbacksFor(FloatingKippetWindow& window);

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;

private:
    explicit KippetWindowMenu(QWidget* parent);
};
