#include "app/DailyKippet.h"
#include "app/ScreenClamp.h"
#include "model/ScreenEdge.h"
#include "platform/ScreenSpace.h"
#include "platform/SystemScreenProvider.h"
#include "support/FakeScreenProvider.h"
#include "support/GeometryPrinting.h"
#include "window/WindowPlacement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QPalette>
#include <QTest>

namespace {
const ScreenInfo mainDisplay = FakeScreenProvider::screen(RectD(0, 0, 1440, 900));
} // namespace

class ScreenGeometryTest : public QObject {
    Q_OBJECT
private slots:
    void screenSpaceMapsBothWaysWithScreensSideBySide() {
        // Primary 1440 × 900 at Qt's origin; a second 1920 × 1080 screen to its right whose top
        // is aligned with the primary's top.
        const ScreenSpace space(QRectF(0, 0, 1440, 900));
        QCOMPARE(space.toQt(RectD(100, 75, 220, 200)), QRectF(100, 625, 220, 200));
        QCOMPARE(space.fromQt(QRectF(1440, 0, 1920, 1080)), RectD(1440, -180, 1920, 1080));
        for (const RectD& rect :
             {RectD(0, 0, 1440, 900), RectD(1500.5, -100, 80, 80), RectD(-300, 850, 600, 500)})
            QCOMPARE(space.fromQt(space.toQt(rect)), rect);
        QCOMPARE(space.toQtPoint(QPointF(0, 0)), QPointF(0, 900));
        QCOMPARE(space.fromQtPoint(QPointF(10, 0)), QPointF(10, 900));
    }

    void screenSpaceMapsBothWaysWithScreensStacked() {
        // The primary sits below a second screen in Qt's desktop: Qt's origin is the upper
        // screen's corner, so the primary starts at Qt y = 1080.
        const ScreenSpace space(QRectF(0, 1080, 1440, 900));
        QCOMPARE(space.fromQt(QRectF(0, 0, 1920, 1080)), RectD(0, 900, 1920, 1080));
        QCOMPARE(space.toQt(RectD(0, 0, 1440, 900)), QRectF(0, 1080, 1440, 900));
        QCOMPARE(space.fromQt(space.toQt(RectD(40, 1200, 220, 200))), RectD(40, 1200, 220, 200));
        QCOMPARE(space.toQtRect(RectD(10.4, 20.6, 220, 200)), QRect(10, 1759, 220, 200));
    }

    void theSystemScreensAreReadInTheAppsCoordinates() {
        // The offscreen platform has one screen at Qt's origin.
        const QSize size = QGuiApplication::primaryScreen()->geometry().size();
        SystemScreenProvider system;
        const QList<ScreenInfo> screens = system.screens();
        QCOMPARE(screens.size(), 1);
        QCOMPARE(screens.first().frame, RectD(0, 0, size.width(), size.height()));
        QCOMPARE(system.mainScreen(), std::optional(screens.first()));
        QCOMPARE(system.space().toQt(RectD(0, 0, 220, 200)),
                 QRectF(0, size.height() - 200, 220, 200));
    }

    void rectanglesAreHalfOpenAndNeedPositiveOverlap() {
        const RectD rect(0, 0, 100, 50);
        QVERIFY(rect.contains(QPointF(0, 0)));
        QVERIFY(!rect.contains(QPointF(100, 10)));
        QVERIFY(!rect.contains(QPointF(10, 50)));
        QVERIFY(!rect.intersects(RectD(100, 0, 10, 10)));
        QVERIFY(rect.intersects(RectD(99.5, 49.5, 10, 10)));
        QVERIFY(rect.contains(RectD(0, 0, 100, 50)));
        QVERIFY(!rect.contains(RectD(1, 1, 100, 10)));
    }

    void clampKeepsFramesOnTheirScreen() {
        const QList<ScreenInfo> one{mainDisplay};
        const RectD visible = mainDisplay.visibleFrame;
        QCOMPARE(frameClampedToScreens(one, RectD(100, 100, 220, 200)), RectD(100, 100, 220, 200));
        QCOMPARE(frameClampedToScreens(one, RectD(1270, 100, 220, 200)),
                 RectD(1220, 100, 220, 200));
        QCOMPARE(frameClampedToScreens(one, RectD(-50, -60, 3000, 2000)), visible);
        QCOMPARE(frameClampedToScreens({}, RectD(9000, -9000, 220, 200)),
                 RectD(9000, -9000, 220, 200));
    }

    void clampPicksTheScreenByCentreThenOverlapThenFirst() {
        const ScreenInfo right = FakeScreenProvider::screen(RectD(1440, 0, 1920, 1080), 0);
        const QList<ScreenInfo> two{mainDisplay, right};
        // Centre on the second screen.
        QCOMPARE(frameClampedToScreens(two, RectD(1400, 100, 220, 200)),
                 RectD(1440, 100, 220, 200));
        // Centre on no screen, overlapping only the second screen's visible frame.
        QCOMPARE(frameClampedToScreens(two, RectD(3300, 1000, 220, 200)),
                 RectD(3140, 880, 220, 200));
        // Touching no screen at all: the first one takes it.
        QCOMPARE(frameClampedToScreens(two, RectD(-5000, 5000, 220, 200)), RectD(0, 675, 220, 200));
    }

    void screenEdgesReadOnlyTheirExactRawValues() {
        QCOMPARE(rawValue(ScreenEdge::top), QStringLiteral("Top"));
        QCOMPARE(rawValue(ScreenEdge::right), QStringLiteral("Right"));
        QCOMPARE(screenEdgeFromRaw(QStringLiteral("Bottom")), std::optional(ScreenEdge::bottom));
        QCOMPARE(screenEdgeFromRaw(QStringLiteral("Left")), std::optional(ScreenEdge::left));
        QVERIFY(!screenEdgeFromRaw(QStringLiteral("top")).has_value());
        QVERIFY(!screenEdgeFromRaw(QString()).has_value());
        QCOMPARE(allScreenEdges(), (QList<ScreenEdge>{ScreenEdge::top, ScreenEdge::bottom,
                                                      ScreenEdge::left, ScreenEdge::right}));
    }

    void dailyKippetNamesTheWeekdayDayAndMonth() {
        const QLocale english(QLocale::English, QLocale::UnitedKingdom);
        QCOMPARE(dailyKippetName(QDate(2026, 12, 5), english), QStringLiteral("Saturday 5.12."));
        QCOMPARE(dailyKippetName(QDate(2026, 3, 1), english), QStringLiteral("Sunday 1.3."));
        QCOMPARE(dailyKippetName(QDate(2026, 3, 1), QLocale(QLocale::German)),
                 QStringLiteral("Sonntag 1.3."));
    }

    void dailyKippetColorFollowsThePalette() {
        const QPalette original = QApplication::palette();
        QPalette dark = original;
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        QApplication::setPalette(dark);
        QCOMPARE(dailyKippetColor(), QColor::fromRgbF(1, 1, 1, 1));
        QPalette light = original;
        light.setColor(QPalette::Window, QColor(236, 236, 236));
        QApplication::setPalette(light);
        QCOMPARE(dailyKippetColor(), QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1));
        QApplication::setPalette(original);
    }

    void defaultOriginStepsPastOtherPanels() {
        using WindowPlacement::defaultWindowOrigin;
        const QSizeF collapsed = WindowPlacement::collapsedSize;
        // V = (0, 0, 1440, 875): base (100, 575).
        QCOMPARE(defaultWindowOrigin(mainDisplay, collapsed, {}), QPointF(100, 575));
        const ScreenInfo shifted = FakeScreenProvider::screen(RectD(1440, 0, 1440, 900));
        QCOMPARE(defaultWindowOrigin(shifted, collapsed, {}), QPointF(1440, 575));
        const QList<RectD> first{RectD(100, 575, 220, 200)};
        QCOMPARE(defaultWindowOrigin(mainDisplay, collapsed, first), QPointF(310, 365));
        QCOMPARE(defaultWindowOrigin(mainDisplay, WindowPlacement::miniViewSize,
                                     {RectD(100, 575, 80, 80)}),
                 QPointF(190, 485));
        QCOMPARE(defaultWindowOrigin(std::nullopt, collapsed, first), QPointF(100, 100));
    }

    void defaultOriginFallsBackToTheBase() {
        using WindowPlacement::defaultWindowOrigin;
        const QSizeF collapsed = WindowPlacement::collapsedSize;
        // One wide obstacle covers all nine steps.
        QCOMPARE(defaultWindowOrigin(mainDisplay, collapsed, {RectD(0, 0, 1440, 875)}),
                 QPointF(100, 575));
        // A short screen: step 7, the first clear of the obstacle, leaves the visible frame.
        const ScreenInfo shortScreen = FakeScreenProvider::screen(RectD(0, 0, 1440, 520));
        QCOMPARE(defaultWindowOrigin(shortScreen, collapsed, {RectD(100, 195, 220, 200)}),
                 QPointF(100, 195));
        // An expanded panel's base reaches above the visible frame: always the base.
        QCOMPARE(defaultWindowOrigin(mainDisplay, WindowPlacement::expandedSize, {}),
                 QPointF(100, 575));
        // A visible frame wholly left of x = 100: the base lies outside it.
        const ScreenInfo narrow = FakeScreenProvider::screen(RectD(-500, 0, 480, 900));
        QCOMPARE(defaultWindowOrigin(narrow, collapsed, {}), QPointF(100, 575));
    }
};

QTEST_MAIN(ScreenGeometryTest)
#include "ScreenGeometryTest.moc"
