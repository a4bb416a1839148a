#include "app/KippetArranger.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "support/AppHarness.h"
#include "support/FakeScreenProvider.h"
#include "support/GeometryPrinting.h"
#include "window/FloatingKippetWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <memory>

namespace {
// A screen with a 25-point dock at the bottom and no menu bar.
const ScreenInfo dockedScreen{RectD(0, 0, 1440, 900), RectD(0, 25, 1440, 875)};

QList<QPointF> points(std::initializer_list<QPointF> list) {
    return QList<QPointF>(list);
}

QList<QPointF> storedPositions(AppHarness& app, const QStringList& names) {
    AppHarness::settle();
    app.restart();
    QList<QPointF> positions;
    for (const QString& name : names)
        positions.append(app.byName(name)->position());
    return positions;
}
} // namespace

class KippetArrangerTest : public QObject {
    Q_OBJECT
private slots:
    void rowsAreCentredOnTheirEdge() {
        const RectD visible(0, 25, 1440, 875);
        const QSizeF tile(80, 80);
        QCOMPARE(KippetArranger::layoutOrigins(3, ScreenEdge::bottom, tile, visible),
                 points({{592, 41}, {680, 41}, {768, 41}}));
        QCOMPARE(KippetArranger::layoutOrigins(3, ScreenEdge::right, tile, visible),
                 points({{1344, 510.5}, {1344, 422.5}, {1344, 334.5}}));
        QCOMPARE(KippetArranger::layoutOrigins(3, ScreenEdge::top, tile, visible),
                 points({{592, 804}, {680, 804}, {768, 804}}));
        QCOMPARE(KippetArranger::layoutOrigins(3, ScreenEdge::left, tile, visible),
                 points({{16, 510.5}, {16, 422.5}, {16, 334.5}}));
        QVERIFY(KippetArranger::layoutOrigins(0, ScreenEdge::bottom, tile, visible).isEmpty());

        // Twenty tiles need 1752 points: the row starts at the corner and runs past the end.
        const QList<QPointF> long_ =
            KippetArranger::layoutOrigins(20, ScreenEdge::bottom, tile, RectD(200, 0, 1000, 700));
        QCOMPARE(long_.size(), 20);
        QCOMPARE(long_.first(), QPointF(200, 16));
        QCOMPARE(long_.last(), QPointF(200 + 19 * 88, 16));
    }

    void windowsLineUpAsMiniTilesAlongTheEdge() {
        AppHarness app;
        app.screens().setScreens({dockedScreen});
        app.start();
        Kippet* first = app.addKippet(QStringLiteral("First"), {100, 500});
        Kippet* second = app.addKippet(QStringLiteral("Second"), {400, 300});
        second->setIsExpanded(true);
        Kippet* tucked = app.addKippet(QStringLiteral("Tucked"), {700, 600});
        tucked->setIsTucked(true);
        Kippet* third = app.addKippet(QStringLiteral("Third"), {900, 500});
        app.registry().showWindow(first);
        app.registry().showWindow(second)->resize(700, 450);
        app.registry().showWindow(third);
        FloatingKippetWindow* tuckedWindow = app.registry().windowForKippet(tucked);

        std::unique_ptr<QMenu> menu(app.registry().moveToEdgeMenu());
        QStringList titles;
        for (QAction* action : menu->actions())
            titles.append(action->text());
        QCOMPARE(titles,
                 (QStringList{QStringLiteral("Move to Top"), QStringLiteral("Move to Bottom"),
                              QStringLiteral("Move to Left"), QStringLiteral("Move to Right")}));
        QCOMPARE(menu->actions()[1]->data().value<ScreenEdge>(), ScreenEdge::bottom);
        QVERIFY(!menu->actions()[1]->icon().isNull());
        menu->actions()[1]->trigger();

        const QList<QPointF> expected = points({{592, 41}, {680, 41}, {768, 41}});
        const QList<Kippet*> arranged{first, second, third};
        for (qsizetype i = 0; i < arranged.size(); ++i) {
            FloatingKippetWindow* window = app.registry().registeredWindow(arranged[i]->id());
            QCOMPARE(window->frame(), RectD(expected[i], QSizeF(80, 80)));
            QVERIFY(window->isVisible());
            QVERIFY(arranged[i]->isMiniView());
            QVERIFY(!arranged[i]->isExpanded());
            QCOMPARE(arranged[i]->position(), expected[i]);
        }
        QVERIFY(!app.registry().registeredWindow(second->id())->isResizable());
        QVERIFY(QTest::qWaitForWindowActive(app.registry().registeredWindow(third->id())));
        QVERIFY(!tuckedWindow->isVisible());
        QCOMPARE(tucked->position(), QPointF(700, 600));

        QCOMPARE(storedPositions(app, {QStringLiteral("First"), QStringLiteral("Second"),
                                       QStringLiteral("Third"), QStringLiteral("Tucked")}),
                 points({{592, 41}, {680, 41}, {768, 41}, {700, 600}}));
        QVERIFY(app.byName(QStringLiteral("Second"))->isMiniView());
        QVERIFY(!app.byName(QStringLiteral("Second"))->isExpanded());
    }

    void theRowGoesToTheScreenUnderTheMouse() {
        AppHarness app;
        const ScreenInfo second = FakeScreenProvider::screen(RectD(1440, 0, 1920, 1080));
        app.screens().setScreens({dockedScreen, second});
        app.screens().setCursorPosition({2000, 500});
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 500});
        app.registry().showWindow(kippet);

        QAction notAnEdge(QStringLiteral("Move to Bottom"));
        notAnEdge.setData(QStringLiteral("Bottom"));
        app.registry().moveKippetsToEdge(&notAnEdge);
        QCOMPARE(app.registry().registeredWindow(kippet->id())->frame(), RectD(100, 500, 220, 200));

        KippetArranger::arrangeKippets(ScreenEdge::left);
        // One tile on the second screen's left: 16 in, centred on its 1055-point height. The
        // window itself sits on whole pixels.
        QCOMPARE(kippet->position(), QPointF(1456, 487.5));
        QCOMPARE(app.registry().registeredWindow(kippet->id())->frame(), RectD(1456, 487, 80, 80));

        app.screens().setScreens({});
        kippet->setPosition({5, 5});
        KippetArranger::arrangeKippets(ScreenEdge::bottom);
        QCOMPARE(kippet->position(), QPointF(5, 5));
    }

    void gatheringCascadesFromTheAnchor() {
        AppHarness app;
        app.start();
        Kippet* first = app.addKippet(QStringLiteral("First"), {100, 600});
        Kippet* second = app.addKippet(QStringLiteral("Second"), {500, 600});
        second->setIsMiniView(true);
        Kippet* anchor = app.addKippet(QStringLiteral("Anchor"), {900, 500});
        for (Kippet* kippet : {first, second, anchor})
            app.registry().showWindow(kippet);

        KippetArranger::gatherKippets(anchor);
        MenuBarManager& registry = app.registry();
        QCOMPARE(registry.registeredWindow(first->id())->frame(), RectD(900, 500, 220, 200));
        QCOMPARE(registry.registeredWindow(second->id())->frame(), RectD(920, 480, 80, 80));
        QCOMPARE(registry.registeredWindow(anchor->id())->frame(), RectD(940, 460, 220, 200));
        QVERIFY(second->isMiniView());
        QVERIFY(QTest::qWaitForWindowActive(registry.registeredWindow(anchor->id())));
        QCOMPARE(storedPositions(app, {QStringLiteral("First"), QStringLiteral("Second"),
                                       QStringLiteral("Anchor")}),
                 points({{900, 500}, {920, 480}, {940, 460}}));
    }

    // Near the corner the cascade runs a little past the screen's edge, each panel on its own
    // step; only a panel whose middle or header would leave the screen is brought back onto
    // it, so the panels never pile up along the edge.
    void aGatherNearTheCornerKeepsItsSteps() {
        for (const bool withWidePanel : {false, true}) {
            AppHarness app;
            app.start();
            QList<Kippet*> kippets;
            for (int i = 0; i < 5; ++i)
                kippets.append(
                    app.addKippet(QStringLiteral("Kippet %1").arg(i), {100.0 + 30 * i, 600}));
            kippets[1]->setIsExpanded(withWidePanel);
            Kippet* anchor = kippets[0];
            for (Kippet* kippet : kippets)
                app.registry().showWindow(kippet);
            app.registry().registeredWindow(anchor->id())->setFrame(RectD(1200, 60, 220, 200));

            KippetArranger::gatherKippets(anchor);
            QList<RectD> expected{RectD(1200, 60, 220, 200), RectD(1220, 40, 220, 200),
                                  RectD(1240, 20, 220, 200), RectD(1260, 0, 220, 200),
                                  RectD(1280, -20, 220, 200)};
            if (withWidePanel)
                expected[1] = RectD(840, 40, 600, 500);
            for (int i = 0; i < 5; ++i) {
                const RectD frame = app.registry().registeredWindow(kippets[i]->id())->frame();
                QCOMPARE(frame, expected[i]);
                QCOMPARE(kippets[i]->position(), frame.origin());
            }

            // Near the top a tall panel's header would rise above the screen: it comes down.
            app.registry().registeredWindow(anchor->id())->setFrame(RectD(100, 660, 220, 200));
            KippetArranger::gatherKippets(anchor);
            QCOMPARE(app.registry().registeredWindow(kippets[1]->id())->frame(),
                     withWidePanel ? RectD(120, 375, 600, 500) : RectD(120, 640, 220, 200));
            QCOMPARE(app.registry().registeredWindow(kippets[2]->id())->frame(),
                     RectD(140, 620, 220, 200));
        }
    }

    void miniViewForAllFrontsOnlyTheWindowsItMade() {
        AppHarness app;
        app.start();
        // Nothing open: nothing happens.
        app.registry().miniViewAllKippets();
        QVERIFY(app.registry().floatingWindows().isEmpty());

        Kippet* hidden = app.addKippet(QStringLiteral("Hidden"), {100, 600});
        Kippet* shown = app.addKippet(QStringLiteral("Shown"), {400, 300});
        shown->setIsExpanded(true);
        Kippet* missing = app.addKippet(QStringLiteral("Missing"), {900, 300});
        FloatingKippetWindow* hiddenWindow = app.registry().windowForKippet(hidden);
        FloatingKippetWindow* shownWindow = app.registry().showWindow(shown);
        QVERIFY(QTest::qWaitForWindowActive(shownWindow));

        app.registry().miniViewAllKippets();
        FloatingKippetWindow* made = app.registry().registeredWindow(missing->id());
        QVERIFY(made);
        QVERIFY(made->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(made));
        QVERIFY(!hiddenWindow->isVisible());
        QCOMPARE(hiddenWindow->frame(), RectD(100, 600, 80, 80));
        QCOMPARE(shownWindow->frame(), RectD(400, 300, 80, 80));
        QCOMPARE(made->frame(), RectD(900, 300, 80, 80));
        for (Kippet* kippet : {hidden, shown, missing}) {
            QVERIFY(kippet->isMiniView());
            QVERIFY(!kippet->isExpanded());
        }
    }
};

QTEST_MAIN(KippetArrangerTest)
#include "KippetArrangerTest.moc"
