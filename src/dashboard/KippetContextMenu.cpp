#include "dashboard/KippetContextMenu.h"

#include "app/DailyKippetScheduler.h"
#include "app/KippetListing.h"
#include "app/MenuBarManager.h"
#include "app/TuckCommands.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/KippetsError.h"
#include "store/KippetManager.h"
#include "ui/DestructiveMenuStyle.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QMenu>
#include <QPointer>

namespace {
const QString tuckSymbol = SymbolNames::rectangleRighthalfInsetFilledArrowRight;

QIcon menuIcon(const QWidget* parent, const QString& symbol) {
    return Theme::buttonIcon(symbol, parent->palette().color(QPalette::WindowText));
}

void addOpenItems(QMenu* menu, QPointer<Kippet> kippet) {
    menu->addAction(QStringLiteral("Focus Window"), menu, [kippet] {
        if (kippet)
            MenuBarManager::shared().showWindow(kippet);
    });
    menu->addAction(QStringLiteral("Close Kippet"), menu, [kippet] {
        if (!kippet)
            return;
        // The window goes even when the store keeps the kippet open.
        try {
            KippetManager::shared().closeKippet(kippet);
        } catch (const std::exception&) {
        }
        MenuBarManager::shared().closeWindow(kippet.data());
    });
    TuckCommands& tuck = TuckCommands::shared();
    const QWidget* owner = menu->parentWidget() ? menu->parentWidget() : menu;
    menu->addAction(menuIcon(owner, tuckSymbol), QStringLiteral("Tuck Overview"), menu,
                    [] { TuckCommands::shared().tuckAwayKippets(); });
    menu->addAction(menuIcon(owner, tuckSymbol), QStringLiteral("Tuck Away"), menu, [kippet] {
        if (kippet)
            TuckCommands::shared().tuckSingleKippet(kippet);
    });
    menu->addAction(menuIcon(owner, tuckSymbol), QStringLiteral("Tuck Away All"), menu,
                    [] { TuckCommands::shared().tuckAllKippets(); });
    if (tuck.tuckSingleWindowCount() >= 2)
        menu->addAction(menuIcon(owner, SymbolNames::arrowUpLeftAndArrowDownRight),
                        QStringLiteral("Untuck All Kippets"), menu,
                        [] { TuckCommands::shared().untuckAllSingleKippets(); });
}

void addClosedItems(QMenu* menu, QPointer<Kippet> kippet,
                    std::function<void(const QString&)> onError) {
    menu->addAction(QStringLiteral("Reopen Kippet"), menu, [kippet, onError] {
        if (!kippet)
            return;
        try {
            KippetManager::shared().reopenKippet(kippet);
        } catch (const std::exception& error) {
            if (onError)
                onError(KippetsError::textOf(error));
            return;
        }
        MenuBarManager::shared().showWindow(kippet);
    });
}
} // namespace

bool KippetContextMenu::isOpen(const Kippet& kippet) {
    const QList<Kippet*>& open = KippetManager::shared().activeKippets();
    return std::any_of(open.begin(), open.end(),
                       [&kippet](const Kippet* other) { return other->id() == kippet.id(); });
}

QMenu* KippetContextMenu::build(Kippet* kippet, Callbacks callbacks, QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto* style = new DestructiveMenuStyle({QStringLiteral("Delete")});
    style->setParent(menu);
    menu->setStyle(style);
    const QPointer<Kippet> guarded(kippet);
    if (isOpen(*kippet))
        addOpenItems(menu, guarded);
    else
        addClosedItems(menu, guarded, callbacks.onError);
    menu->addAction(QStringLiteral("Edit Kippet"), menu, [onEdit = callbacks.onEdit] {
        if (onEdit)
            onEdit();
    });
    menu->addAction(menuIcon(parent, SymbolNames::textQuote),
                    QStringLiteral("Custom Instructions..."), menu,
                    [onInstructions = callbacks.onEditInstructions] {
                        if (onInstructions)
                            onInstructions();
                    });
    menu->addSeparator();
    QAction* daily = menu->addAction(menuIcon(parent, SymbolNames::calendar),
                                     QStringLiteral("Create Daily Kippet"), menu,
                                     [] { DailyKippetScheduler::shared().createDailyKippet(); });
    daily->setEnabled(!KippetListing::hasDailyKippet(KippetManager::shared().allKippets(),
                                                     Clock::shared().now()));
    menu->addSeparator();
    menu->addAction(QStringLiteral("Delete"), menu, [onDelete = callbacks.onDelete] {
        if (onDelete)
            onDelete();
    });
    return menu;
}
