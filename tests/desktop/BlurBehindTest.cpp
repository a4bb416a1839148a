#include "DesktopSession.h"

#include <QRegion>
#include <QTest>

namespace {
using WindowId = DesktopSession::WindowId;

QRegion united(const QList<QRect>& rectangles) {
    QRegion region;
    for (const QRect& rect : rectangles)
        region += rect;
    return region;
}
} // namespace

class BlurBehindTest : public QObject {
    Q_OBJECT
private slots:
    void aCompositorThatBlursIsAskedToBlurBehindTheKippetWindow() {
        DesktopSession desktop(DesktopSession::Options{.compositor = true});
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.announceBlurBehind();
        desktop.seed({{QStringLiteral("Frosted"), QPointF(300, 200), true}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId panel = desktop.windowTitled(QStringLiteral("Frosted"));
        QVERIFY(panel);
        QVERIFY2(DesktopSession::waitUntil([&] { return !desktop.blurRegion(panel).isEmpty(); }),
                 qPrintable(desktop.appOutput()));
        const QRegion blurred = united(desktop.blurRegion(panel));
        const QSize size = desktop.geometry(panel).size();
        QCOMPARE(blurred.boundingRect(), QRect(QPoint(0, 0), size));
        // The rounded corners are left clear: the desktop beside them stays sharp.
        QVERIFY(!blurred.contains(QPoint(1, 1)));
        QVERIFY(!blurred.contains(QPoint(size.width() - 2, size.height() - 2)));
        QVERIFY(blurred.contains(QPoint(size.width() / 2, size.height() / 2)));
    }

    void aCompositorThatOnlyBlendsIsAskedForNothing() {
        DesktopSession desktop(DesktopSession::Options{.compositor = true});
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Plain"), QPointF(300, 200), true}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId panel = desktop.windowTitled(QStringLiteral("Plain"));
        QVERIFY(panel);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.isViewable(panel); }));
        // Once the app has handled what showing the panel brought, it has painted the panel and
        // asked for whatever it asks for.
        QVERIFY(desktop.windowManagerHasCaughtUp());
        QVERIFY(desktop.appHasCaughtUp(panel));
        QVERIFY(desktop.blurRegion(panel).isEmpty());
    }
};

QTEST_GUILESS_MAIN(BlurBehindTest)
#include "BlurBehindTest.moc"
