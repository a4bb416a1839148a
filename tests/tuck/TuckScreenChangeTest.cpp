#include "TrayFixture.h"

#include "platform/ScreenProvider.h"
#include "support/GeometryPrinting.h"
#include "tuck/TuckSingleWindow.h"

namespace {
const RectD wholeScreen(0, 0, 1440, 900);

// Kippets tucked one by one from near the right edge, then the rest of them into the tray.
QList<TuckSingleWindow*> tabsAndTray(TrayFixture& f, int tabs) {
    QList<TuckSingleWindow*> made;
    for (int i = 0; i < tabs; ++i) {
        Kippet* kippet = f.app.addKippet(QStringLiteral("Tab %1").arg(i), QPointF(1200, 400));
        f.registry().tuckSingleKippet(kippet);
        made.append(dynamic_cast<TuckSingleWindow*>(f.registry().tuckSingleWindow(kippet->id())));
    }
    f.app.addKippet(QStringLiteral("In the tray"), QPointF(1200, 400));
    f.registry().tuckAwayKippets();
    return made;
}

// Where the window really is, not where it thinks it is.
RectD shown(const QWidget* window) {
    return ScreenProvider::shared().space().fromQt(QRectF(window->geometry()));
}
} // namespace

class TuckScreenChangeTest : public QObject {
    Q_OBJECT
private slots:
    void aDockThatGoesLeavesNoGapUnderTheTrayAndTheTabs() {
        TrayFixture f;
        f.app.screens().setScreens({ScreenInfo{wholeScreen, RectD(0, 30, 1440, 845)}});
        const QList<TuckSingleWindow*> tabs = tabsAndTray(f, 2);
        f.registry().moveTuckedKippets(ScreenEdge::bottom, std::nullopt);
        TuckAwayWindow* tray = f.tray();
        QCOMPARE(tray->trayFrame(), RectD(520, 30, 400, 276));

        f.app.screens().setScreens({FakeScreenProvider::screen(wholeScreen)});
        QCOMPARE(tray->trayFrame(), RectD(520, 0, 400, 276));
        QCOMPARE(shown(tray), RectD(520, 0, 400, 276));
        // The tabs stay in their slots beside the tray's own tab, now on the screen's edge.
        QList<double> lefts;
        for (TuckSingleWindow* tab : tabs) {
            QCOMPARE(tab->frame().minY(), 0.0);
            QVERIFY(!tab->frame().intersects(tray->tabFrame()));
            lefts.append(tab->frame().minX());
        }
        std::sort(lefts.begin(), lefts.end());
        QCOMPARE(lefts, (QList<double>{758, 824}));
    }

    void aScreenThatShrinksAndGrowsBackReturnsEveryTuckWindow() {
        TrayFixture f;
        const QList<TuckSingleWindow*> tabs = tabsAndTray(f, 2);
        TuckAwayWindow* tray = f.tray();
        TuckSingleWindow* dragged = tabs[1];
        dragged->snapToNearestEdge(QPointF(300, 870));
        QCOMPARE(dragged->frame(), RectD(272, 843, 56, 32));
        const RectD trayBefore = tray->frame();
        const RectD tabBefore = tabs[0]->frame();
        QCOMPARE(trayBefore.maxX(), 1440.0);

        // 1024 × 768 with the menu bar: the visible frame is (0, 0, 1024, 743).
        f.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1024, 768))});
        QCOMPARE(tray->frame(), RectD(748, 171.5, 276, 400));
        QCOMPARE(shown(tray).maxX(), 1024.0);
        QCOMPARE(tabs[0]->frame().maxX(), 1024.0);
        QVERIFY(!tabs[0]->frame().intersects(tray->tabFrame()));
        QCOMPARE(dragged->frame(), RectD(272, 711, 56, 32));

        f.app.screens().setScreens({FakeScreenProvider::screen(wholeScreen)});
        QCOMPARE(tray->frame(), trayBefore);
        QCOMPARE(tabs[0]->frame(), tabBefore);
        QCOMPARE(dragged->frame(), RectD(272, 843, 56, 32));
    }
};

QTEST_MAIN(TuckScreenChangeTest)
#include "TuckScreenChangeTest.moc"
