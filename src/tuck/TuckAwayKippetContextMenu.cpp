#include "tuck/TuckAwayKippetContextMenu.h"

#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/KippetManager.h"
#include "tuck/TuckAwayWindow.h"
#include "ui/DestructiveMenuStyle.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "window/FloatingKippetWindow.h"

#include <QMenu>
#include <QPointer>

namespace {
// Untucking closes the tray that holds this menu's row.
void untuck() {
    const TuckAwayWindow::CallbackScope scope;
    MenuBarManager::shared().untuckKippets();
}

FloatingKippetWindow* untuckedWindow(const QPointer<Kippet>& kippet) {
    untuck();
    return kippet ? MenuBarManager::shared().windowForKippet(kippet) : nullptr;
}
} // namespace

QMenu* TuckAwayKippetContextMenu::build(Kippet* kippet, std::function<void()> onClosed,
                                        QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto* style = new DestructiveMenuStyle({QStringLiteral("Close Kippet")});
    style->setParent(menu);
    menu->setStyle(style);
    const QPointer<Kippet> guarded(kippet);
    const QColor text = menu->palette().color(QPalette::WindowText);
    const auto icon = [&text](const QString& symbol) { return Symbols::icon(symbol, text); };
    menu->addAction(icon(SymbolNames::macwindow), QStringLiteral("Focus Window"), menu, [guarded] {
        untuck();
        if (guarded)
            MenuBarManager::shared().showWindow(guarded);
    });
    menu->addAction(icon(SymbolNames::arrowUpLeftAndArrowDownRight), QStringLiteral("Expand"), menu,
                    [guarded] {
                        FloatingKippetWindow* window = untuckedWindow(guarded);
                        // Expanding an expanded kippet would collapse it.
                        if (window && guarded && !guarded->isExpanded())
                            window->toggleExpanded();
                    });
    menu->addSeparator();
    menu->addAction(icon(SymbolNames::noteText), QStringLiteral("Open Notes"), menu, [guarded] {
        if (FloatingKippetWindow* window = untuckedWindow(guarded))
            window->showNoteEditor();
    });
    menu->addAction(icon(SymbolNames::checklist), QStringLiteral("Open Todos"), menu, [guarded] {
        if (FloatingKippetWindow* window = untuckedWindow(guarded))
            window->showTodoEditor();
    });
    menu->addSeparator();
    menu->addAction(icon(SymbolNames::squareGrid2x2), QStringLiteral("Show Dashboard"), menu,
                    [] { MenuBarManager::shared().showDashboard(); });
    menu->addSeparator();
    menu->addAction(
        Symbols::icon(SymbolNames::xmarkCircle, Theme::red()), QStringLiteral("Close Kippet"), menu,
        [guarded, onClosed = std::move(onClosed)] {
            if (!guarded)
                return;
            try {
                KippetManager::shared().closeKippet(guarded);
            } catch (const std::exception& error) {
                Log::line(QStringLiteral("❌ [TuckAwayKippetContextMenu] Failed to close kippet: ") +
                          KippetsError::textOf(error));
            }
            if (guarded)
                MenuBarManager::shared().closeWindow(guarded.data());
            if (onClosed)
                onClosed();
        });
    return menu;
}
