#include "app/AppDelegate.h"
#include "app/AppMenus.h"
#include "app/DashboardWindow.h"
#include "app/KippetArranger.h"
#include "app/MenuBarManager.h"
#include "app/TuckWindowFactory.h"
#include "model/JsonCoding.h"
#include "model/Kippet.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"

#include <QAction>
#include <QTest>
#include <algorithm>

namespace {
// Tuck windows that write down what the registry asks of them.
struct Recorder {
    QStringList calls;
    int openTrays = 0;
    int openTabs = 0;
};

class FakeTray : public TuckTrayView {
public:
    FakeTray(Recorder& recorder, ScreenEdge edge) : recorder_(recorder), edge_(edge) {
        ++recorder_.openTrays;
    }
    void moveToEdge(ScreenEdge edge, const std::optional<ScreenInfo>&) override {
        recorder_.calls.append(QStringLiteral("tray move ") + rawValue(edge));
        edge_ = edge;
    }
    void followScreenChange() override {
        recorder_.calls.append(QStringLiteral("tray follows the screens"));
    }
    ScreenEdge edge() const override { return edge_; }
    RectD tabFrame() const override { return RectD(1412, 415, 28, 70); }
    void makeKeyAndOrderFront() override { recorder_.calls.append(QStringLiteral("tray front")); }
    void close() override {
        --recorder_.openTrays;
        recorder_.calls.append(QStringLiteral("tray close"));
        delete this;
    }

private:
    Recorder& recorder_;
    ScreenEdge edge_;
};

class FakeTab : public TuckTabView {
public:
    FakeTab(Recorder& recorder, QString name) : recorder_(recorder), name_(std::move(name)) {
        ++recorder_.openTabs;
    }
    void moveToEdge(ScreenEdge edge, int slot, const std::optional<ScreenInfo>&,
                    const std::optional<RectD>& keepClear) override {
        recorder_.calls.append(
            QStringLiteral("%1 move %2 %3%4")
                .arg(name_, rawValue(edge), QString::number(slot),
                     keepClear ? QStringLiteral(" beside the tray") : QString()));
    }
    void followScreenChange(const std::optional<RectD>& keepClear) override {
        recorder_.calls.append(name_ + QStringLiteral(" follows the screens") +
                               (keepClear ? QStringLiteral(" beside the tray") : QString()));
    }
    void makeKeyAndOrderFront() override { recorder_.calls.append(name_ + QStringLiteral(" key")); }
    void orderFrontWithoutKey() override {
        recorder_.calls.append(name_ + QStringLiteral(" front"));
    }
    void close() override {
        --recorder_.openTabs;
        recorder_.calls.append(name_ + QStringLiteral(" close"));
        delete this;
    }

private:
    Recorder& recorder_;
    QString name_;
};

class FakeFactory : public TuckWindowFactory {
public:
    Recorder recorder;
    TuckTrayView* makeTray(ScreenEdge edge, const std::optional<ScreenInfo>&) override {
        recorder.calls.append(QStringLiteral("tray on ") + rawValue(edge));
        return new FakeTray(recorder, edge);
    }
    TuckTabView* makeTab(Kippet* kippet, ScreenEdge edge,
                         const std::optional<ScreenInfo>&) override {
        recorder.calls.append(QStringLiteral("%1 tab on %2").arg(kippet->name(), rawValue(edge)));
        return new FakeTab(recorder, kippet->name());
    }
};

struct Fixture {
    // The registry closes its tuck windows when it goes, so the factory outlives it.
    FakeFactory factory;
    AppHarness app;
    Fixture() {
        app.setTuckWindowFactory(&factory);
        app.preferences().setBool(QStringLiteral("onboarding_completed"), true);
        app.start();
    }
    // Quits and starts the app again as main does, with the launch's restore.
    void relaunch() {
        app.quit();
        factory.recorder = Recorder{};
        app.launch();
    }
    // An open kippet with its window shown at the position.
    Kippet* shown(const QString& name, QPointF position) {
        Kippet* kippet = app.addKippet(name, position);
        app.registry().showWindow(kippet);
        return kippet;
    }
    QStringList takeCalls() { return std::exchange(factory.recorder.calls, {}); }
};
} // namespace

class TuckOrchestrationTest : public QObject {
    Q_OBJECT
private slots:
    void singleTabsTakeFreeSlots() {
        Fixture f;
        MenuBarManager& registry = f.app.registry();
        Kippet* left = f.shown(QStringLiteral("Left"), QPointF(100, 300));
        Kippet* right = f.shown(QStringLiteral("Right"), QPointF(1200, 300));
        LogCapture log;
        registry.tuckSingleKippet(left);
        registry.tuckSingleKippet(right);
        QCOMPARE(log.lines(),
                 (QStringList{QStringLiteral("📌 Kippet 'Left' tucked to Left edge"),
                              QStringLiteral("📌 Kippet 'Right' tucked to Right edge")}));
        // The second tab takes slot 1 even on another edge.
        QCOMPARE(f.takeCalls(),
                 (QStringList{QStringLiteral("Left tab on Left"), QStringLiteral("Left key"),
                              QStringLiteral("Right tab on Right"),
                              QStringLiteral("Right move Right 1"), QStringLiteral("Right key")}));
        QVERIFY(left->isTucked());
        QVERIFY(!f.app.windowOf(QStringLiteral("Left"))->isVisible());

        registry.tuckSingleKippet(left);
        QCOMPARE(log.lines().size(), 2);
        QCOMPARE(f.takeCalls(), QStringList());

        // After an untuck, a new tab on the same edge must not land on a slot in use.
        Kippet* third = f.shown(QStringLiteral("Third"), QPointF(1200, 500));
        registry.untuckSingleKippet(left);
        QCOMPARE(log.lines().last(), QStringLiteral("📤 Kippet 'Left' untucked"));
        QVERIFY(!left->isTucked());
        QVERIFY(f.app.windowOf(QStringLiteral("Left"))->isVisible());
        registry.tuckSingleKippet(third);
        QCOMPARE(registry.tuckSlot(right->id()), 1);
        QCOMPARE(registry.tuckSlot(third->id()), 2);
        QCOMPARE(f.factory.recorder.openTabs, 2);
    }

    void tabsMoveInIdOrder() {
        Fixture f;
        MenuBarManager& registry = f.app.registry();
        QList<Kippet*> kippets;
        for (const QString& name : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})
            kippets.append(f.shown(name, QPointF(100, 300)));
        registry.tuckAllKippets(ScreenEdge::left);
        f.takeCalls();
        registry.moveTuckedKippets(ScreenEdge::bottom, std::nullopt);
        std::sort(kippets.begin(), kippets.end(), [](Kippet* a, Kippet* b) {
            return JsonCoding::encodeUuid(a->id()) < JsonCoding::encodeUuid(b->id());
        });
        QStringList expected;
        for (int slot = 0; slot < 3; ++slot)
            expected.append(
                QStringLiteral("%1 move Bottom %2").arg(kippets[slot]->name()).arg(slot));
        QStringList calls = f.takeCalls();
        QCOMPARE(calls, expected);
        // Tucking all into tabs leaves the kippets' stored state alone.
        QVERIFY(!kippets.first()->isTucked());
    }

    void aScreenChangePlacesTheTrayBeforeTheTabs() {
        Fixture f;
        MenuBarManager& registry = f.app.registry();
        registry.tuckSingleKippet(f.shown(QStringLiteral("Left"), QPointF(100, 300)));
        registry.tuckSingleKippet(f.shown(QStringLiteral("Right"), QPointF(1200, 300)));
        registry.setGroupTuckedAwayEdge(ScreenEdge::right);
        registry.restoreGroupTuckAwayIfNeeded();
        f.takeCalls();
        f.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1024, 768))});
        QStringList calls = f.takeCalls();
        QCOMPARE(calls.value(0), QStringLiteral("tray follows the screens"));
        std::sort(calls.begin() + 1, calls.end());
        // Only the tab on the tray's edge steps aside from the tray's tab.
        QCOMPARE(calls.mid(1), (QStringList{QStringLiteral("Left follows the screens"),
                                            QStringLiteral("Right follows the screens beside "
                                                           "the tray")}));
    }

    void theGroupTrayKeepsTheTabs() {
        Fixture f;
        MenuBarManager& registry = f.app.registry();
        Kippet* tabbed = f.shown(QStringLiteral("Tabbed"), QPointF(100, 300));
        Kippet* plain = f.shown(QStringLiteral("Plain"), QPointF(1200, 300));
        registry.tuckSingleKippet(tabbed);
        f.takeCalls();
        LogCapture log;
        registry.tuckAwayKippets();
        QVERIFY(registry.isTuckedAway());
        QVERIFY(f.app.preferences().boolOr(QStringLiteral("kippets_group_tucked_away"), false));
        QVERIFY(plain->isTucked());
        QVERIFY(!f.app.windowOf(QStringLiteral("Plain"))->isVisible());
        QVERIFY(registry.hasTuckSingleWindow(tabbed->id()));
        registry.tuckAwayKippets();

        registry.untuckKippets();
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("📌 Kippets tucked away to Bottom edge"),
                                           QStringLiteral("📤 Kippets untucked")}));
        QVERIFY(f.app.windowOf(QStringLiteral("Plain"))->isVisible());
        QVERIFY(!f.app.windowOf(QStringLiteral("Tabbed"))->isVisible());
        QVERIFY(!plain->isTucked());
        QCOMPARE(f.factory.recorder.openTrays, 0);
        QCOMPARE(f.factory.recorder.openTabs, 1);

        registry.untuckAllSingleKippets();
        QCOMPARE(log.lines().mid(2),
                 (QStringList{QStringLiteral("📤 Kippet 'Tabbed' untucked"),
                              QStringLiteral("📤 All individually tucked kippets untucked")}));
        registry.untuckAllSingleKippets();
        QCOMPARE(log.lines().size(), 4);
    }

    void aRestoredTrayBringsEveryWindowBack() {
        Fixture f;
        MenuBarManager& registry = f.app.registry();
        Kippet* one = f.app.addKippet(QStringLiteral("One"), QPointF(100, 300));
        one->setIsTucked(true);
        f.app.addKippet(QStringLiteral("Two"), QPointF(600, 300))->setIsTucked(true);
        LogCapture log;
        registry.restoreGroupTuckAwayIfNeeded();
        QCOMPARE(log.lines(),
                 QStringList{QStringLiteral("📌 Restored group tuck-away tray on Right edge")});
        QCOMPARE(registry.floatingWindows().size(), 0);
        // The tray asks for one kippet: all come back, and that one is shown.
        registry.tuckAwayWindow()->onFocusKippet(one);
        QCOMPARE(registry.floatingWindows().size(), 2);
        QVERIFY(f.app.windowOf(QStringLiteral("One"))->isVisible());
        QVERIFY(f.app.windowOf(QStringLiteral("Two"))->isVisible());
        QVERIFY(!f.app.byName(QStringLiteral("Two"))->isTucked());
    }

    // Tucked while the app is hidden (Ctrl+H), the panels stay put away when the app shows
    // again (a second start): behind their tab, or behind the tray, and stored as tucked.
    void aTuckWhileHiddenOutlastsTheAppShowingAgain() {
        Fixture f;
        f.app.addKippet(QStringLiteral("Tabbed"), QPointF(100, 300));
        f.app.addKippet(QStringLiteral("Grouped"), QPointF(600, 300));
        f.relaunch();
        MenuBarManager& registry = f.app.registry();
        FloatingKippetWindow* tabbed = f.app.windowOf(QStringLiteral("Tabbed"));
        FloatingKippetWindow* grouped = f.app.windowOf(QStringLiteral("Grouped"));
        QVERIFY(tabbed && tabbed->isVisible() && grouped && grouped->isVisible());
        f.app.delegate().mainMenu()->action(QStringLiteral("hide"))->trigger();
        QVERIFY(!tabbed->isVisible() && !grouped->isVisible());

        Kippet* tucked = f.app.byName(QStringLiteral("Tabbed"));
        registry.tuckSingleKippet(tucked);
        registry.tuckAwayKippets();
        f.app.delegate().handleReopenRequest();
        QVERIFY(registry.dashboardWindow()->isVisible());
        QVERIFY(!tabbed->isVisible());
        QVERIFY(!grouped->isVisible());
        QVERIFY(registry.hasTuckSingleWindow(tucked->id()));
        QVERIFY(registry.tuckAwayWindow());
        QVERIFY(tucked->isTucked());
        QVERIFY(f.app.byName(QStringLiteral("Grouped"))->isTucked());
    }

    void closingATuckedKippetRemovesItsTab() {
        Fixture f;
        MenuBarManager& registry = f.app.registry();
        Kippet* kippet = f.shown(QStringLiteral("Gone"), QPointF(100, 300));
        registry.tuckSingleKippet(kippet);
        f.app.manager().closeKippet(kippet);
        QVERIFY(!registry.hasTuckSingleWindow(kippet->id()));
        QCOMPARE(f.factory.recorder.openTabs, 0);
        registry.untuckAllSingleKippets();
        QVERIFY(!f.app.windowOf(QStringLiteral("Gone")));
    }

    void restartsBringBackWhatWasSaved() {
        Fixture f;
        Kippet* tabbed = f.shown(QStringLiteral("Tabbed"), QPointF(100, 300));
        f.shown(QStringLiteral("Plain"), QPointF(1200, 300));
        f.app.registry().tuckSingleKippet(tabbed);
        f.relaunch();
        QVERIFY(f.app.registry().hasTuckSingleWindow(f.app.byName(QStringLiteral("Tabbed"))->id()));
        QVERIFY(!f.app.windowOf(QStringLiteral("Tabbed")));
        QVERIFY(f.app.windowOf(QStringLiteral("Plain"))->isVisible());

        // Tabs for all are not saved: the next start shows windows.
        f.app.registry().untuckAllSingleKippets();
        f.app.registry().tuckAllKippets();
        QCOMPARE(f.app.registry().tuckSingleWindowCount(), 2);
        f.relaunch();
        QCOMPARE(f.app.registry().tuckSingleWindowCount(), 0);
        QVERIFY(f.app.windowOf(QStringLiteral("Tabbed"))->isVisible());
        QVERIFY(f.app.windowOf(QStringLiteral("Plain"))->isVisible());

        // A group tuck comes back as the tray alone, and untucking it brings every window.
        f.app.registry().tuckAwayKippets();
        f.relaunch();
        QVERIFY(f.app.registry().tuckAwayWindow());
        QCOMPARE(f.app.registry().floatingWindows().size(), 0);
        QCOMPARE(f.factory.recorder.openTabs, 0);
        f.app.registry().tuckAwayWindow()->onUntuck();
        QVERIFY(f.app.windowOf(QStringLiteral("Tabbed"))->isVisible());
        QVERIFY(f.app.windowOf(QStringLiteral("Plain"))->isVisible());
        QVERIFY(!f.app.byName(QStringLiteral("Plain"))->isTucked());
        f.relaunch();
        QVERIFY(!f.app.registry().tuckAwayWindow());
        QCOMPARE(f.app.registry().floatingWindows().size(), 2);
    }

    // Tabs on the edge the tray comes to step aside from its tab.
    void tabsOnTheTraysEdgeKeepClearOfItsTab() {
        Fixture f;
        MenuBarManager& registry = f.app.registry();
        Kippet* right = f.shown(QStringLiteral("Right"), QPointF(1200, 300));
        f.shown(QStringLiteral("Plain"), QPointF(1210, 400));
        registry.tuckSingleKippet(right);
        f.takeCalls();
        registry.tuckAwayKippets();
        QCOMPARE(f.takeCalls(),
                 (QStringList{QStringLiteral("tray on Right"), QStringLiteral("tray front"),
                              QStringLiteral("Right move Right 0 beside the tray")}));
        // A tab tucked while the tray stands on its edge keeps clear from the start.
        registry.untuckSingleKippet(right);
        registry.tuckSingleKippet(right);
        QVERIFY(f.takeCalls().contains(QStringLiteral("Right move Right 0 beside the tray")));
    }

    // After a restart a tab stands on the edge it stood on: also a kippet never moved, whose
    // window stood at its default place, and a tab dragged to another edge.
    void aTabKeepsItsEdgeAcrossRestarts() {
        Fixture f;
        MenuBarManager& registry = f.app.registry();
        Kippet* unmoved = f.app.addKippet(QStringLiteral("Unmoved"));
        registry.showWindow(unmoved);
        Kippet* dragged = f.shown(QStringLiteral("Dragged"), QPointF(100, 300));
        registry.tuckSingleKippet(unmoved);
        registry.tuckSingleKippet(dragged);
        QCOMPARE(unmoved->position(), QPointF(0, 0));
        QVERIFY(f.takeCalls().contains(QStringLiteral("Unmoved tab on Left")));
        // The tab's drag announces its new edge.
        NotificationCenter::shared().post(
            QStringLiteral("TuckSingleEdgeChanged"), {},
            {{QStringLiteral("kippetId"), QVariant::fromValue(dragged->id())},
             {QStringLiteral("edge"), QStringLiteral("Bottom")}});

        f.relaunch();
        const QStringList calls = f.takeCalls();
        QVERIFY2(calls.contains(QStringLiteral("Unmoved tab on Left")),
                 qPrintable(calls.join(u',')));
        QVERIFY2(calls.contains(QStringLiteral("Dragged tab on Bottom")),
                 qPrintable(calls.join(u',')));

        // Untucked, the tab's edge is forgotten; the next tuck measures the window again.
        f.app.registry().untuckSingleKippet(f.app.byName(QStringLiteral("Unmoved")));
        f.app.registry().untuckSingleKippet(f.app.byName(QStringLiteral("Dragged")));
        QVERIFY(!f.app.preferences().contains(QStringLiteral("kippet_tuck_single_edges")));
    }

    void theMenusCommandsReachTheRegistry() {
        Fixture f;
        Kippet* kippet = f.shown(QStringLiteral("Work"), QPointF(100, 300));
        TuckCommands commands = f.app.registry().tuckCommands();
        commands.tuckSingleKippet(kippet);
        QVERIFY(commands.hasTuckSingleWindow(kippet));
        QCOMPARE(commands.tuckSingleWindowCount(), 1);
        commands.untuckSingleKippet(kippet);
        QVERIFY(!commands.hasTuckSingleWindow(kippet));
        commands.tuckAwayKippets();
        QVERIFY(f.app.registry().isTuckedAway());
        commands.untuckKippets();
        QVERIFY(!f.app.registry().isTuckedAway());
    }

    void arrangingMovesOnlyTheTuckedWhileAnyAre() {
        Fixture f;
        Kippet* tabbed = f.shown(QStringLiteral("Tabbed"), QPointF(100, 300));
        f.shown(QStringLiteral("Plain"), QPointF(700, 300));
        f.app.registry().tuckSingleKippet(tabbed);
        const RectD before = f.app.windowOf(QStringLiteral("Plain"))->frame();
        f.takeCalls();
        f.app.screens().setCursorPosition({600, 400});
        KippetArranger::arrangeKippets(ScreenEdge::top);
        QCOMPARE(f.takeCalls(), QStringList{QStringLiteral("Tabbed move Top 0")});
        QCOMPARE(f.app.windowOf(QStringLiteral("Plain"))->frame(), before);

        f.app.registry().untuckSingleKippet(tabbed);
        KippetArranger::arrangeKippets(ScreenEdge::top);
        QCOMPARE(f.app.windowOf(QStringLiteral("Plain"))->frame().size(), QSizeF(80, 80));
    }
};

QTEST_MAIN(TuckOrchestrationTest)
#include "TuckOrchestrationTest.moc"
