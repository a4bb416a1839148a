#include "tuck/TuckSingleContextMenu.h"

#include "app/KippetArranger.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "tuck/TuckIntake.h"
#include "ui/DestructiveMenuStyle.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "window/FloatingKippetWindow.h"

#include <QMenu>
#include <QPointer>

namespace {
const QString closeLabel = QStringLiteral("Close Kippet");
const QString untuckSymbol = SymbolNames::arrowUpLeftAndArrowDownRight;

struct EdgeEntry {
    ScreenEdge edge;
    QLatin1StringView symbol;
};
const EdgeEntry edgeEntries[] = {{ScreenEdge::top, SymbolNames::arrowUpToLine},
                                 {ScreenEdge::bottom, SymbolNames::arrowDownToLine},
                                 {ScreenEdge::left, SymbolNames::arrowLeftToLine},
                                 {ScreenEdge::right, SymbolNames::arrowRightToLine}};

QIcon icon(const QWidget* owner, const QString& symbol, std::optional<QColor> color = {}) {
    return Symbols::icon(symbol, color.value_or(owner->palette().color(QPalette::WindowText)));
}

// The kippet's window, made hidden when it has none, for its editors.
FloatingKippetWindow* windowOf(const QPointer<Kippet>& kippet) {
    return kippet ? MenuBarManager::shared().windowForKippet(kippet) : nullptr;
}

void addUntuckItems(QMenu* menu, const std::function<void()>& onUntuck) {
    menu->addAction(icon(menu, untuckSymbol), QStringLiteral("Untuck Kippet"), menu, [onUntuck] {
        if (onUntuck)
            onUntuck();
    });
    if (MenuBarManager::shared().tuckSingleWindowCount() >= 2)
        menu->addAction(icon(menu, untuckSymbol), QStringLiteral("Untuck All Kippets"), menu,
                        [] { MenuBarManager::shared().untuckAllSingleKippets(); });
}

void addMoveMenu(QMenu* menu) {
    QMenu* move = menu->addMenu(icon(menu, SymbolNames::arrowUpAndDownAndArrowLeftAndRight),
                                QStringLiteral("Move Kippets"));
    for (const EdgeEntry& entry : edgeEntries) {
        const ScreenEdge edge = entry.edge;
        move->addAction(icon(menu, entry.symbol), QStringLiteral("Move to ") + rawValue(edge), menu,
                        [edge] { KippetArranger::arrangeKippets(edge); });
    }
}

void addKippetItems(QMenu* menu, const QPointer<Kippet>& kippet) {
    menu->addAction(icon(menu, SymbolNames::noteText), QStringLiteral("Open Notes (N)"), menu,
                    [kippet] {
                        if (FloatingKippetWindow* window = windowOf(kippet))
                            window->showNoteEditor();
                    });
    menu->addAction(icon(menu, SymbolNames::checklist), QStringLiteral("Open Todos (T)"), menu,
                    [kippet] {
                        if (FloatingKippetWindow* window = windowOf(kippet))
                            window->showTodoEditor();
                    });
    menu->addSeparator();
    menu->addAction(icon(menu, SymbolNames::docOnClipboard),
                    QStringLiteral("Paste from Clipboard (V)"), menu, [kippet] {
                        if (kippet)
                            TuckIntake::start(TuckIntake::pasteFromClipboard(kippet));
                    });
    menu->addAction(icon(menu, SymbolNames::squareAndArrowDown), QStringLiteral("Import Files (I)"),
                    menu, [kippet] {
                        if (kippet)
                            TuckIntake::start(TuckIntake::importChosenFiles(kippet));
                    });
}
} // namespace

void TuckSingleContextMenu::closeKippet(Kippet* kippet) {
    const QPointer<Kippet> guarded(kippet);
    MenuBarManager& registry = MenuBarManager::shared();
    // Untucking first stores the kippet as not tucked: closed, it must not come back as a tab.
    registry.untuckSingleKippet(guarded);
    if (!guarded)
        return;
    try {
        KippetManager::shared().closeKippet(guarded);
    } catch (const std::exception&) {
    }
    if (guarded)
        registry.closeWindow(guarded.data());
}

QMenu* TuckSingleContextMenu::build(Kippet* kippet, std::function<void()> onUntuck,
                                    QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto* style = new DestructiveMenuStyle({closeLabel});
    style->setParent(menu);
    menu->setStyle(style);
    const QPointer<Kippet> guarded(kippet);

    addUntuckItems(menu, onUntuck);
    menu->addSeparator();
    addMoveMenu(menu);
    menu->addSeparator();
    addKippetItems(menu, guarded);
    menu->addSeparator();
    menu->addAction(icon(menu, SymbolNames::squareGrid2x2), QStringLiteral("Show Dashboard (D)"),
                    menu, [] { MenuBarManager::shared().showDashboard(); });
    menu->addAction(icon(menu, SymbolNames::plusCircle), QStringLiteral("New Kippet"), menu,
                    [] { MenuBarManager::shared().createNewKippet(); });
    menu->addSeparator();
    menu->addAction(icon(menu, SymbolNames::xmarkCircle, Theme::red()), closeLabel, menu,
                    [guarded] {
                        if (guarded)
                            closeKippet(guarded);
                    });
    return menu;
}
