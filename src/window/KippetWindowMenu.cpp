#include "window/KippetWindowMenu.h"

#include "app/DailyKippetScheduler.h"
#include "app/KippetArranger.h"
#include "app/KippetListing.h"
#include "app/MenuBarManager.h"
#include "app/TuckCommands.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"

#include <QPointer>
#include <QStyleOptionMenuItem>

namespace {
const QString tuckSymbol = SymbolNames::rectangleRighthalfInsetFilledArrowRight;

QAction* addItem(QMenu* menu, const QString& title, const QString& symbol,
                 const QString& identifier, std::function<void()> command) {
    const QColor ink = menu->palette().color(QPalette::WindowText);
    QAction* action = menu->addAction(Symbols::icon(symbol, ink), title);
    action->setObjectName(identifier);
    action->setProperty(KippetWindowMenu::symbolProperty, symbol);
    QObject::connect(action, &QAction::triggered, menu, [command = std::move(command)] {
        if (command)
            command();
    });
    return action;
}

void addMoveSubmenu(QMenu* menu, const QPointer<Kippet>& kippet) {
    const QString symbol = SymbolNames::arrowUpAndDownAndArrowLeftAndRight;
    // The four edges come from the registry's own "Move to …" menu, each with its edge.
    QMenu* move = MenuBarManager::shared().moveToEdgeMenu(menu);
    move->setTitle(QStringLiteral("Move Kippets"));
    move->setIcon(Symbols::icon(symbol, menu->palette().color(QPalette::WindowText)));
    QAction* first = move->actions().value(0);
    QAction* gather = new QAction(
        Symbols::icon(SymbolNames::arrowDownCircle, move->palette().color(QPalette::WindowText)),
        QStringLiteral("Move All Kippets Here"), move);
    gather->setProperty(KippetWindowMenu::symbolProperty, SymbolNames::arrowDownCircle);
    QObject::connect(gather, &QAction::triggered, move, [kippet] {
        if (kippet)
            KippetArranger::gatherKippets(kippet);
    });
    move->insertAction(first, gather);
    move->insertSeparator(first);
    QAction* item = menu->addMenu(move);
    item->setObjectName(QStringLiteral("MoveKippetsMenuItem"));
    item->setProperty(KippetWindowMenu::symbolProperty, symbol);
}

void addArrangementItems(QMenu* menu, const QPointer<Kippet>& kippet) {
    if (MenuBarManager::isInstalled())
        addMoveSubmenu(menu, kippet);
    addItem(menu, QStringLiteral("Tuck Overview"), tuckSymbol,
            QStringLiteral("TuckOverviewMenuItem"),
            [] { TuckCommands::shared().tuckAwayKippets(); });
    addItem(menu, QStringLiteral("Tuck Away"), tuckSymbol, QStringLiteral("TuckAwayMenuItem"),
            [kippet] {
                if (kippet)
                    TuckCommands::shared().tuckSingleKippet(kippet);
            });
    addItem(menu, QStringLiteral("Tuck Away All"), tuckSymbol,
            QStringLiteral("TuckAwayAllMenuItem"), [] { TuckCommands::shared().tuckAllKippets(); });
    if (TuckCommands::shared().tuckSingleWindowCount() >= 2)
        addItem(menu, QStringLiteral("Untuck All Kippets"),
                SymbolNames::arrowUpLeftAndArrowDownRight,
                QStringLiteral("UntuckAllKippetsMenuItem"),
                [] { TuckCommands::shared().untuckAllSingleKippets(); });
}
} // namespace

KippetWindowMenu::KippetWindowMenu(QWidget* parent) : QMenu(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("KippetWindowMenu"));
}

KippetWindowMenu* KippetWindowMenu::build(Kippet* kippet, bool isExpanded, bool isMiniView,
                                          const Callbacks& callbacks, QWidget* parent) {
    auto* menu = new KippetWindowMenu(parent);
    const QPointer<Kippet> guarded(kippet);
    addItem(menu,
            isMiniView ? QStringLiteral("Exit Mini View (M)") : QStringLiteral("Mini View (M)"),
            isMiniView ? SymbolNames::rectangleExpandVertical : SymbolNames::pip,
            QStringLiteral("MiniViewMenuItem"), callbacks.onToggleMiniView);
    addItem(menu, isExpanded ? QStringLiteral("Collapse (C)") : QStringLiteral("Expand (E)"),
            isExpanded ? SymbolNames::arrowDownRightAndArrowUpLeft
                       : SymbolNames::arrowUpLeftAndArrowDownRight,
            QStringLiteral("ExpandCollapseMenuItem"), callbacks.onToggleExpanded);
    menu->addSeparator();
    addItem(menu, QStringLiteral("Paste from Clipboard (V)"), SymbolNames::docOnClipboard,
            QStringLiteral("PasteMenuItem"), callbacks.onPaste);
    addItem(menu, QStringLiteral("Import Files (I)"), SymbolNames::squareAndArrowDown,
            QStringLiteral("ImportMenuItem"), callbacks.onImport);
    menu->addSeparator();
    addItem(menu, QStringLiteral("Open Notes (N)"), SymbolNames::noteText,
            QStringLiteral("OpenNotesMenuItem"), callbacks.onOpenNotes);
    addItem(menu, QStringLiteral("Open Todos (T)"), SymbolNames::checklist,
            QStringLiteral("OpenTodosMenuItem"), callbacks.onOpenTodos);
    addItem(menu, QStringLiteral("Custom Instructions"), SymbolNames::textQuote,
            QStringLiteral("CustomInstructionsMenuItem"), callbacks.onEditInstructions);
    menu->addSeparator();
    addItem(menu, QStringLiteral("Show Dashboard (D)"), SymbolNames::squareGrid2x2,
            QStringLiteral("ShowDashboardMenuItem"), callbacks.onShowDashboard);
    addArrangementItems(menu, guarded);
    addItem(menu, QStringLiteral("New Kippet"), SymbolNames::plusCircle,
            QStringLiteral("NewKippetMenuItem"), callbacks.onNewKippet);
    QAction* daily = addItem(menu, QStringLiteral("Create Daily Kippet"), SymbolNames::calendar,
                             QStringLiteral("CreateDailyKippetMenuItem"), [] {
                                 if (DailyKippetScheduler::isInstalled())
                                     DailyKippetScheduler::shared().createDailyKippet();
                             });
    daily->setEnabled(!KippetListing::hasDailyKippet(KippetManager::shared().allKippets(),
                                                     Clock::shared().now()));
    menu->addSeparator();
    QAction* close = addItem(menu, QStringLiteral("Close Kippet"), SymbolNames::xmarkCircle,
                             QStringLiteral("CloseKippetMenuItem"), callbacks.onCloseKippet);
    close->setProperty(destructiveProperty, true);
    close->setIcon(Symbols::icon(SymbolNames::xmarkCircle, Theme::red()));
    return menu;
}

KippetWindowMenu::Callbacks KippetWindowMenu::callbacksFor(FloatingKippetWindow& window) {
    const QPointer<FloatingKippetWindow> panel(&window);
    const QPointer<FloatingKippetView> view(
        qobject_cast<FloatingKippetView*>(window.contentView()));
    const auto onPanel = [panel](void (FloatingKippetWindow::*command)()) {
        return [panel, command] {
            if (panel)
                (panel->*command)();
        };
    };
    const auto onView = [view](std::function<void(FloatingKippetView&)> command) {
        return [view, command = std::move(command)] {
            if (view)
                command(*view);
        };
    };
    Callbacks callbacks;
    callbacks.onToggleMiniView = onPanel(&FloatingKippetWindow::toggleMiniView);
    callbacks.onToggleExpanded = onPanel(&FloatingKippetWindow::toggleExpanded);
    callbacks.onPaste = onView([](FloatingKippetView& v) { v.pasteFromClipboard(); });
    callbacks.onImport = onView([](FloatingKippetView& v) { v.importFiles(); });
    callbacks.onOpenNotes = onPanel(&FloatingKippetWindow::showNoteEditor);
    callbacks.onOpenTodos = onPanel(&FloatingKippetWindow::showTodoEditor);
    callbacks.onEditInstructions =
        onView([](FloatingKippetView& v) { v.setShowCustomInstructionsSheet(true); });
    callbacks.onShowDashboard = [] {
        if (MenuBarManager::isInstalled())
            MenuBarManager::shared().showDashboard();
    };
    callbacks.onNewKippet = onView([](FloatingKippetView& v) { v.setShowNewKippetSheet(true); });
    callbacks.onCloseKippet = onView([](FloatingKippetView& v) { v.closeKippet(); });
    return callbacks;
}

KippetWindowMenu* KippetWindowMenu::build(FloatingKippetWindow& window) {
    Kippet* kippet = window.kippet();
    return build(kippet, kippet && kippet->isExpanded(), kippet && kippet->isMiniView(),
                 callbacksFor(window), &window);
}

void KippetWindowMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const {
    QMenu::initStyleOption(option, action);
    if (!action || !action->property(destructiveProperty).toBool())
        return;
    // Highlighted, the item keeps the highlight's own text colour to stay readable.
    for (const QPalette::ColorRole role :
         {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        option->palette.setColor(role, Theme::red());
}
