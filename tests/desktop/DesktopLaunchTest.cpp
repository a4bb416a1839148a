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
        desktop.key(QStringLiteral("alt+F4"));
        QVERIFY(DesktopSession::waitUntil(
            [&] { return !desktop.windowTitled(QStringLiteral("Kippets Dashboard")); }));
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
