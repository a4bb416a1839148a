#include "DesktopSession.h"

#include <QTest>

namespace {
using WindowId = DesktopSession::WindowId;
} // namespace

class DesktopLaunchTest : public QObject {
    Q_OBJECT
private slots:
    void aSecondLaunchShowsTheDashboardWhilePanelsShow() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Receipts"), QPointF(200, 500)}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == dashboard; }));
        // The window manager hands the keyboard to the dashboard a moment after marking it
        // active; on a busy machine a close typed in between reaches nothing, so it is typed
        // again for as long as the dashboard stays open and active.
        const auto closed = [&] {
            return !desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        };
        bool gone = false;
        for (int attempt = 0; attempt < 5 && !gone; ++attempt) {
            if (desktop.activeWindow() == dashboard)
                desktop.key(QStringLiteral("alt+F4"));
            gone = DesktopSession::waitUntil(closed, 4000);
        }
        QVERIFY(gone);
        QVERIFY(desktop.windowTitled(QStringLiteral("Receipts")));

        QCOMPARE(desktop.launchAgain(), 0);
        QVERIFY2(DesktopSession::waitUntil([&] {
                     const WindowId shown =
                         desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
                     return shown && desktop.isViewable(shown);
                 }),
                 qPrintable(desktop.appOutput()));
        // Once more with the dashboard already open behind other windows: it comes forward.
        QCOMPARE(desktop.launchAgain(), 0);
        QVERIFY(desktop.windowTitled(QStringLiteral("Kippets Dashboard")));
        QCOMPARE(desktop.windowsTitled(QStringLiteral("Kippets Dashboard")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(DesktopLaunchTest)
#include "DesktopLaunchTest.moc"
