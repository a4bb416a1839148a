#include "app/TuckTarget.h"
#include "support/FakeScreenProvider.h"
#include "support/GeometryPrinting.h"

#include <QTest>

namespace {
// The main screen's visible frame is (0, 0, 1440, 875); tabs of a never opened window measure
// 360 × 480 from the stored position.
const ScreenInfo mainScreen = FakeScreenProvider::screen(RectD(0, 0, 1440, 900));
const ScreenInfo secondScreen = FakeScreenProvider::screen(RectD(1440, 0, 1920, 1080));

ScreenEdge singleEdge(const FakeScreenProvider& screens, std::optional<RectD> frame,
                      QPointF position = {}) {
    return TuckTarget::forSingle(frame, position, screens).edge;
}
} // namespace

class TuckTargetTest : public QObject {
    Q_OBJECT
private slots:
    void aTabGoesToTheNearestEdge() {
        FakeScreenProvider screens;
        // Left and right lose only to a top or bottom less than half as far.
        QCOMPARE(singleEdge(screens, std::nullopt, QPointF(100, 60)), ScreenEdge::left);
        QCOMPARE(singleEdge(screens, std::nullopt, QPointF(100, 40)), ScreenEdge::bottom);
        QCOMPARE(singleEdge(screens, std::nullopt, QPointF(100, 50)), ScreenEdge::left);
        QCOMPARE(singleEdge(screens, std::nullopt, QPointF(1000, 380)), ScreenEdge::top);
        QCOMPARE(singleEdge(screens, RectD(100, 300, 1240, 200)), ScreenEdge::right);
        QCOMPARE(singleEdge(screens, RectD(540, 10, 360, 855)), ScreenEdge::bottom);
        // The window's frame counts, not the stored position.
        QCOMPARE(singleEdge(screens, RectD(1200, 300, 220, 200), QPointF(100, 60)),
                 ScreenEdge::right);

        const TuckTarget unplaced = TuckTarget::forSingle(std::nullopt, QPointF(0, 0), screens);
        QCOMPARE(unplaced, (TuckTarget{ScreenEdge::right, mainScreen}));
    }

    void aTabFindsItsScreen() {
        FakeScreenProvider screens;
        screens.setScreens({mainScreen, secondScreen});
        const TuckTarget target = TuckTarget::forSingle(RectD(3000, 400, 220, 200), {}, screens);
        QCOMPARE(target, (TuckTarget{ScreenEdge::right, secondScreen}));
        // Off every screen: measured against the main one.
        QCOMPARE(TuckTarget::forSingle(RectD(-900, 300, 220, 200), {}, screens),
                 (TuckTarget{ScreenEdge::left, mainScreen}));
        screens.setScreens({});
        QCOMPARE(TuckTarget::forSingle(RectD(100, 100, 220, 200), {}, screens),
                 (TuckTarget{ScreenEdge::right, std::nullopt}));
    }

    void theTrayGoesWhereMostWindowsAre() {
        FakeScreenProvider screens;
        screens.setScreens({mainScreen, secondScreen});
        const QList<RectD> frames{RectD(10, 10, 220, 200), RectD(1600, 820, 220, 200),
                                  RectD(1800, 700, 220, 200), RectD(2000, 830, 220, 200)};
        // On the second screen the mean distances are top 71.7, left 360: the top edge.
        QCOMPARE(TuckTarget::forGroup(frames, screens),
                 (TuckTarget{ScreenEdge::top, secondScreen}));

        // As many on each screen: the earlier screen in the list.
        const QList<RectD> even{RectD(10, 300, 220, 200), RectD(3100, 300, 220, 200)};
        QCOMPARE(TuckTarget::forGroup(even, screens), (TuckTarget{ScreenEdge::left, mainScreen}));
    }

    void theTrayBreaksTiesAndFallsBack() {
        FakeScreenProvider screens;
        QCOMPARE(TuckTarget::forGroup({}, screens), (TuckTarget{ScreenEdge::right, mainScreen}));
        // Top and bottom equally near: top comes first.
        QCOMPARE(TuckTarget::forGroup({RectD(100, 10, 1240, 855)}, screens),
                 (TuckTarget{ScreenEdge::top, mainScreen}));
        // Windows past the left side pull the tray there.
        QCOMPARE(TuckTarget::forGroup({RectD(-100, 300, 220, 200)}, screens),
                 (TuckTarget{ScreenEdge::left, mainScreen}));
        screens.setScreens({});
        QCOMPARE(TuckTarget::forGroup({RectD(100, 100, 220, 200)}, screens),
                 (TuckTarget{ScreenEdge::right, std::nullopt}));
    }
};

QTEST_MAIN(TuckTargetTest)
#include "TuckTargetTest.moc"
