#include "DesktopSession.h"

#include <QTest>
#include <algorithm>

namespace {
using WindowId = DesktopSession::WindowId;
} // namespace

class PanelEdgeTest : public QObject {
    Q_OBJECT
private slots:
    void aClickOnTheEdgeResizesNothingAndADragResizes() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Projects"), QPointF(300, 200), true}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId panel = desktop.windowTitled(QStringLiteral("Projects"));
        QVERIFY(panel);
        const QRect expanded = desktop.geometry(panel);
        QCOMPARE(expanded.size(), QSize(600, 500));
        const QPoint rightEdge(expanded.right() - 1, expanded.center().y());

        // Quick clicks, each followed by a move without the button: a resize left running by
        // the window manager would follow the pointer.
        for (int click = 0; click < 5; ++click) {
            QVERIFY(desktop.clickOn(panel, rightEdge));
            QVERIFY(desktop.moveTo(rightEdge + QPoint(90, 40)));
            QVERIFY(desktop.moveTo(rightEdge + QPoint(120, 60)));
            // Once the app has handled the click and the moves, and the window manager what the
            // app asked on them, a resize left running would have changed the frame.
            QVERIFY(desktop.appHasCaughtUp(panel));
            QVERIFY(desktop.windowManagerHasCaughtUp());
            QVERIFY(desktop.appHasCaughtUp(panel));
            QCOMPARE(desktop.geometry(panel), expanded);
        }
        // The keys still reach the panel: "c" collapses it.
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; }));
        desktop.key(QStringLiteral("c"));
        QVERIFY(DesktopSession::waitUntil(
            [&] { return desktop.geometry(panel).size() == QSize(220, 200); }));

        desktop.key(QStringLiteral("e"));
        QVERIFY(DesktopSession::waitUntil(
            [&] { return desktop.geometry(panel).size() == QSize(600, 500); }));
        const QRect again = desktop.geometry(panel);
        // The change of form has ended once its stage has left the screen: a press before that
        // ends the change rather than starting a drag.
        QVERIFY2(DesktopSession::waitUntil([&] {
                     const QList<DesktopSession::WindowId> shown = desktop.unmanagedWindows();
                     return std::none_of(shown.cbegin(), shown.cend(), [&](auto window) {
                         return desktop.geometry(window).intersects(again);
                     });
                 }),
                 "the stage stayed over the expanded panel");
        const QPoint edge(again.right() - 1, again.center().y());
        QVERIFY(desktop.pressOn(panel, edge));
        desktop.moveTo(edge + QPoint(20, 0));
        desktop.moveTo(edge + QPoint(60, 0));
        desktop.moveTo(edge + QPoint(80, 0));
        QVERIFY(desktop.release());
        QVERIFY2(DesktopSession::waitUntil(
                     [&] { return desktop.geometry(panel).width() >= again.width() + 60; }),
                 qPrintable(QStringLiteral("width %1").arg(desktop.geometry(panel).width())));
        QCOMPARE(desktop.geometry(panel).left(), again.left());
    }

    void theCornerFollowsThePointerAtEverySpeed() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Projects"), QPointF(300, 200), true}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId panel = desktop.windowTitled(QStringLiteral("Projects"));
        const QRect start = desktop.geometry(panel);
        QCOMPARE(start.size(), QSize(600, 500));

        // Three moves of 33 pixels on the bottom right corner, pressed inside the rounding: without
        // a compositor the panel is cut to its shape, and the very corner is the desktop's.
        const QPoint corner = start.bottomRight() - QPoint(10, 10);
        QVERIFY(desktop.pressOn(panel, corner));
        for (int step = 1; step <= 3; ++step)
            desktop.moveTo(corner + QPoint(33, 33) * step);
        QVERIFY(desktop.release());
        const QRect grown(start.topLeft(), start.size() + QSize(99, 99));
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.geometry(panel) == grown; }),
                 qPrintable(DesktopSession::described(desktop.geometry(panel))));

        // Ten quick moves of 10 pixels on the top left corner, in one run of the tool.
        const QPoint topLeft = grown.topLeft() + QPoint(10, 10);
        QVERIFY(desktop.pressOn(panel, topLeft));
        QStringList moves;
        for (int step = 1; step <= 10; ++step) {
            const QPoint at = topLeft - QPoint(10, 10) * step;
            moves << QStringLiteral("mousemove") << QString::number(at.x())
                  << QString::number(at.y()) << QStringLiteral("sleep") << QStringLiteral("0.02");
        }
        QVERIFY(desktop.runChecked(QStringLiteral("xdotool"), moves));
        QVERIFY(desktop.release());
        const QRect pulled(grown.topLeft() - QPoint(100, 100), grown.size() + QSize(100, 100));
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.geometry(panel) == pulled; }),
                 qPrintable(DesktopSession::described(desktop.geometry(panel))));
    }
};

QTEST_GUILESS_MAIN(PanelEdgeTest)
#include "PanelEdgeTest.moc"
