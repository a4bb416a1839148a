#include "window/KippetWindowMenu.h"
#include "app/DailyKippet.h"
#include "app/KippetSheetWiring.h"
#include "app/MenuBarManager.h"
#include "app/TuckCommands.h"
#include "app/TuckWindowFactory.h"
#include "dashboard/CustomInstructionsSheet.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelDriver.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QTest>

using namespace PanelDriver;

namespace {
// Pull tabs that only count themselves.
class CountedTab : public TuckTabView {
public:
    void moveToEdge(ScreenEdge, int, const std::optional<ScreenInfo>&,
                    const std::optional<RectD>&) override {}
    void followScreenChange(const std::optional<RectD>&) override {}
    void makeKeyAndOrderFront() override {}
    void orderFrontWithoutKey() override {}
    void close() override { delete this; }
};

class CountedTabs : public TuckWindowFactory {
public:
    TuckTrayView* makeTray(ScreenEdge, const std::optional<ScreenInfo>&) override {
        return nullptr;
    }
    TuckTabView* makeTab(Kippet*, ScreenEdge, const std::optional<ScreenInfo>&) override {
        return new CountedTab();
    }
};

// One line per item: its object name (or title inside the submenu), "—" for a separator.
QStringList layout(const QMenu* menu) {
    QStringList lines;
    for (const QAction* action : menu->actions())
        lines.append(action->isSeparator() ? QStringLiteral("—") : action->objectName());
    return lines;
}

QAction* item(const QMenu* menu, const QString& name) {
    for (QAction* action : menu->actions()) {
        if (action->objectName() == name)
            return action;
    }
    return nullptr;
}

QAction* submenuItem(const QMenu* menu, const QString& title) {
    for (QAction* action : item(menu, "MoveKippetsMenuItem")->menu()->actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

// A right click in the middle of the panel, where the window system would deliver it.
KippetWindowMenu* rightClick(FloatingKippetWindow* window) {
    // Menus closed before are gone first: each opening makes a new one.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (window->findChild<KippetWindowMenu*>())
        return nullptr;
    const QPoint centre = window->rect().center();
    QWidget* target = window->childAt(centre) ? window->childAt(centre) : window;
    QContextMenuEvent event(QContextMenuEvent::Mouse, target->mapFrom(window, centre),
                            window->mapToGlobal(centre));
    QApplication::sendEvent(target, &event);
    return window->findChild<KippetWindowMenu*>();
}
} // namespace

class KippetWindowMenuTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<CountedTabs> tabs;
    std::unique_ptr<AppHarness> app;

    KippetWindowMenu* menuOf(FloatingKippetWindow* window) {
        return KippetWindowMenu::build(*window);
    }

private slots:
    void init() {
        tabs = std::make_unique<CountedTabs>();
        app = std::make_unique<AppHarness>();
        app->setTuckWindowFactory(tabs.get());
        PanelDriver::start(*app);
        TuckCommands::install(app->registry().tuckCommands());
    }
    void cleanup() {
        TuckCommands::install(TuckCommands{});
        app.reset();
        tabs.reset();
    }

    void theItemsInEveryMode() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = showActive(*app, desk);
        KippetWindowMenu* menu = rightClick(window);
        QVERIFY(menu && menu->isVisible());
        QCOMPARE(layout(menu),
                 (QStringList{"MiniViewMenuItem", "ExpandCollapseMenuItem", "—", "PasteMenuItem",
                              "ImportMenuItem", "—", "OpenNotesMenuItem", "OpenTodosMenuItem",
                              "CustomInstructionsMenuItem", "—", "ShowDashboardMenuItem",
                              "MoveKippetsMenuItem", "TuckOverviewMenuItem", "TuckAwayMenuItem",
                              "TuckAwayAllMenuItem", "NewKippetMenuItem",
                              "CreateDailyKippetMenuItem", "—", "CloseKippetMenuItem"}));
        QStringList titles;
        for (const QAction* action : menu->actions())
            titles.append(action->text() + " " +
                          action->property(KippetWindowMenu::symbolProperty).toString());
        QCOMPARE(titles.mid(0, 2), (QStringList{"Mini View (M) pip",
                                                "Expand (E) arrow.up.left.and.arrow.down.right"}));
        QCOMPARE(titles.mid(3, 2), (QStringList{"Paste from Clipboard (V) doc.on.clipboard",
                                                "Import Files (I) square.and.arrow.down"}));
        QCOMPARE(titles.mid(6, 3),
                 (QStringList{"Open Notes (N) note.text", "Open Todos (T) checklist",
                              "Custom Instructions text.quote"}));
        QCOMPARE(titles.mid(10, 7),
                 (QStringList{"Show Dashboard (D) square.grid.2x2",
                              "Move Kippets arrow.up.and.down.and.arrow.left.and.right",
                              "Tuck Overview rectangle.righthalf.inset.filled.arrow.right",
                              "Tuck Away rectangle.righthalf.inset.filled.arrow.right",
                              "Tuck Away All rectangle.righthalf.inset.filled.arrow.right",
                              "New Kippet plus.circle", "Create Daily Kippet calendar"}));
        QCOMPARE(titles.last(), QString("Close Kippet xmark.circle"));
        QVERIFY(item(menu, "CloseKippetMenuItem")->property("destructive").toBool());
        QStringList moves;
        for (const QAction* action : item(menu, "MoveKippetsMenuItem")->menu()->actions())
            moves.append(action->isSeparator() ? "—" : action->text());
        QCOMPARE(moves, (QStringList{"Move All Kippets Here", "—", "Move to Top", "Move to Bottom",
                                     "Move to Left", "Move to Right"}));
        menu->close();

        // Mini view: the first item leads back out of it; the menu is the same elsewhere.
        window->toggleMiniView();
        menu = rightClick(window);
        QVERIFY(menu);
        QCOMPARE(item(menu, "MiniViewMenuItem")->text(), QString("Exit Mini View (M)"));
        QCOMPARE(item(menu, "MiniViewMenuItem")->property("symbol").toString(),
                 QString("rectangle.expand.vertical"));
        QCOMPARE(layout(menu).size(), 19);
        menu->close();

        window->toggleExpanded();
        menu = rightClick(window);
        QVERIFY(menu);
        QCOMPARE(item(menu, "ExpandCollapseMenuItem")->text(), QString("Collapse (C)"));
        QCOMPARE(item(menu, "ExpandCollapseMenuItem")->property("symbol").toString(),
                 QString("arrow.down.right.and.arrow.up.left"));
        // Its items act on the window they came from.
        item(menu, "ExpandCollapseMenuItem")->trigger();
        QVERIFY(!desk->isExpanded());
        menu->close();
    }

    void closeKippetIsDrawnInRed() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = showActive(*app, desk);
        KippetWindowMenu* menu = menuOf(window);
        menu->popup(window->mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        const auto reddish = [menu](const QString& name) {
            const QImage image = menu->grab(menu->actionGeometry(item(menu, name))).toImage();
            int red = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    if (pixel.red() > 180 && pixel.green() < 110 && pixel.blue() < 110)
                        ++red;
                }
            }
            return red;
        };
        QVERIFY(reddish("CloseKippetMenuItem") > 20);
        QCOMPARE(reddish("NewKippetMenuItem"), 0);
        menu->close();
    }

    void untuckAllNeedsTwoPullTabs() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        Kippet* inbox = app->addKippet("Inbox", {600, 300});
        FloatingKippetWindow* window = showActive(*app, desk);
        app->registry().tuckSingleKippet(inbox);
        KippetWindowMenu* menu = menuOf(window);
        QVERIFY(!item(menu, "UntuckAllKippetsMenuItem"));
        delete menu;

        app->registry().tuckSingleKippet(desk);
        menu = menuOf(window);
        QAction* untuck = item(menu, "UntuckAllKippetsMenuItem");
        QVERIFY(untuck);
        QCOMPARE(untuck->text(), QString("Untuck All Kippets"));
        QCOMPARE(layout(menu).indexOf("UntuckAllKippetsMenuItem"),
                 layout(menu).indexOf("TuckAwayAllMenuItem") + 1);
        untuck->trigger();
        QCOMPARE(app->registry().tuckSingleWindowCount(), 0);
        QVERIFY(!desk->isTucked() && !inbox->isTucked());
        delete menu;
    }

    void dailyItemFollowsTodaysName() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = showActive(*app, desk);
        const QDate today = Clock::shared().now().toLocalTime().date();
        Kippet* yesterday = app->addKippet(dailyKippetName(today.addDays(-1)));
        app->manager().closeKippet(yesterday);
        KippetWindowMenu* menu = menuOf(window);
        QVERIFY(item(menu, "CreateDailyKippetMenuItem")->isEnabled());
        delete menu;

        Kippet* todays = app->addKippet(dailyKippetName(today));
        app->manager().closeKippet(todays);
        menu = menuOf(window);
        QVERIFY(!item(menu, "CreateDailyKippetMenuItem")->isEnabled());
        delete menu;
    }

    void moveToBottomLinesTheWindowsUp() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        Kippet* inbox = app->addKippet("Inbox", {600, 500});
        FloatingKippetWindow* window = showActive(*app, desk);
        app->registry().showWindow(inbox);
        KippetWindowMenu* menu = menuOf(window);
        submenuItem(menu, "Move to Bottom")->trigger();
        AppHarness::settle();
        delete menu;
        const RectD first = app->windowOf("Desk")->frame();
        const RectD second = app->windowOf("Inbox")->frame();
        QVERIFY(desk->isMiniView() && inbox->isMiniView());
        QCOMPARE(first.size(), QSizeF(80, 80));
        QCOMPARE(first.y, second.y);
        // The row runs along the bottom of the screen's visible frame.
        QVERIFY(first.y < 100);
        QCOMPARE(std::abs(second.x - first.x), 88.0);
    }

    void moveAllKippetsHereGathersThem() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        Kippet* inbox = app->addKippet("Inbox", {900, 600});
        app->registry().showWindow(desk);
        FloatingKippetWindow* window = showActive(*app, inbox);
        KippetWindowMenu* menu = menuOf(window);
        submenuItem(menu, "Move All Kippets Here")->trigger();
        AppHarness::settle();
        delete menu;
        // In the manager's order, from the anchor's corner one step right and down each.
        QCOMPARE(app->windowOf("Desk")->frame().origin(), QPointF(900, 600));
        QCOMPARE(app->windowOf("Inbox")->frame().origin(), QPointF(920, 580));
        QCOMPARE(desk->position(), QPointF(900, 600));
    }

    void closeKippetClosesWindowAndKippet() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        QPointer<FloatingKippetWindow> window = showActive(*app, desk);
        KippetWindowMenu* menu = rightClick(window);
        QVERIFY(menu);
        item(menu, "CloseKippetMenuItem")->trigger();
        AppHarness::settle();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window);
        QVERIFY(!app->registry().registeredWindow(desk->id()));
        QVERIFY(app->manager().activeKippets().isEmpty());
        QCOMPARE(app->manager().allKippets().size(), 1);
    }

    void customInstructionsOpensTheSheet() {
        KippetSheetWiring::install();
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = showActive(*app, desk);
        KippetWindowMenu* menu = menuOf(window);
        item(menu, "CustomInstructionsMenuItem")->trigger();
        delete menu;
        auto* sheet = window->findChild<CustomInstructionsSheet*>();
        QVERIFY(sheet && sheet->isVisible());
        QVERIFY(viewOf(window)->showCustomInstructionsSheet());
        KippetSheetWiring::uninstall();
    }
};

QTEST_MAIN(KippetWindowMenuTest)
#include "KippetWindowMenuTest.moc"
