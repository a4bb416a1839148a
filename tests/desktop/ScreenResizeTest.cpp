#include "DesktopSession.h"

#include <QTest>
#include <algorithm>

namespace {
// The seeded panels and their frames on the 1440 × 900 screen, in X's top-left coordinates.
const QList<DesktopSession::Seed> seeds{{QStringLiteral("Receipts"), QPointF(100, 600)},
                                        {QStringLiteral("Ideas"), QPointF(1150, 620)},
                                        {QStringLiteral("Projects"), QPointF(800, 250), true}};
const QList<QRect> frames{QRect(100, 100, 220, 200), QRect(1150, 80, 220, 200),
                          QRect(800, 150, 600, 500)};

QList<QRect> panelFrames(const DesktopSession& desktop) {
    QList<QRect> found;
    for (const DesktopSession::Seed& seed : seeds)
        found.append(desktop.geometry(desktop.windowTitled(seed.name)));
    return found;
}

QString described(const QList<QRect>& rects) {
    QStringList parts;
    for (const QRect& rect : rects)
        parts.append(QStringLiteral("%1,%2 %3×%4")
                         .arg(rect.x())
                         .arg(rect.y())
                         .arg(rect.width())
                         .arg(rect.height()));
    return parts.join(QStringLiteral("; "));
}
// Quits the app and starts it again: the panels come back at their stored places.
void restartAtThePlaces(DesktopSession& desktop) {
    QVERIFY(desktop.quitApp());
    QVERIFY(DesktopSession::waitUntil(
        [&] { return !desktop.windowTitled(QStringLiteral("Receipts")); }));
    QVERIFY2(desktop.launch(4), qPrintable(desktop.appOutput()));
    QVERIFY2(DesktopSession::waitUntil([&] { return panelFrames(desktop) == frames; }),
             qPrintable(described(panelFrames(desktop))));
}
} // namespace

class ScreenResizeTest : public QObject {
    Q_OBJECT
private slots:
    void xrandrDownAndUpPlacesAfterTheNextLaunchAsBefore() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed(seeds);
        // The three panels and the dashboard.
        QVERIFY2(desktop.launch(4), qPrintable(desktop.appOutput()));
        QVERIFY2(DesktopSession::waitUntil([&] { return panelFrames(desktop) == frames; }),
                 qPrintable(described(panelFrames(desktop))));

        // The case is about the change of size: a server that does not take it fails it.
        QVERIFY(desktop.resizeScreen(QSize(1024, 768)));
        const QRect small(0, 0, 1024, 768);
        QVERIFY2(DesktopSession::waitUntil([&] {
                     const QList<QRect> now = panelFrames(desktop);
                     return std::all_of(now.cbegin(), now.cend(),
                                        [&](const QRect& frame) { return small.contains(frame); });
                 }),
                 qPrintable(described(panelFrames(desktop))));
        QVERIFY(desktop.resizeScreen(QSize(1440, 900)));
        QVERIFY2(DesktopSession::waitUntil([&] { return panelFrames(desktop) == frames; }),
                 qPrintable(described(panelFrames(desktop))));

        restartAtThePlaces(desktop);
    }

    // A window manager may move panels itself as the screen changes, after the app asked for
    // their places: KWin puts a window back where it stood when the screen last had that size,
    // or keeps a request inside the screen it had a moment before. On a busy machine that came
    // now and then: every time the screen grows back, the panels come back to their places.
    void everyTimeTheScreenGrowsBackThePanelsComeBack() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed(seeds);
        QVERIFY2(desktop.launch(4), qPrintable(desktop.appOutput()));
        QVERIFY2(DesktopSession::waitUntil([&] { return panelFrames(desktop) == frames; }),
                 qPrintable(described(panelFrames(desktop))));
        const QRect small(0, 0, 1024, 768);
        for (int round = 1; round <= 4; ++round) {
            QVERIFY(desktop.resizeScreen(QSize(1024, 768)));
            QVERIFY2(DesktopSession::waitUntil([&] {
                         const QList<QRect> now = panelFrames(desktop);
                         return std::all_of(now.cbegin(), now.cend(), [&](const QRect& frame) {
                             return small.contains(frame);
                         });
                     }),
                     qPrintable(QStringLiteral("round %1, smaller: %2")
                                    .arg(round)
                                    .arg(described(panelFrames(desktop)))));
            QVERIFY(desktop.resizeScreen(QSize(1440, 900)));
            QVERIFY2(DesktopSession::waitUntil([&] { return panelFrames(desktop) == frames; }),
                     qPrintable(QStringLiteral("round %1, grown back: %2")
                                    .arg(round)
                                    .arg(described(panelFrames(desktop)))));
        }

        // The places the window manager chose meanwhile were never the user's.
        restartAtThePlaces(desktop);
    }

    void aPullTabKeepsToTheScreensEdgeAsItShrinksAndGrows() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Tucked"), QPointF(1300, 400), false, false, true}});
        // The tab and the dashboard.
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const auto tab = [&] {
            return desktop.geometry(desktop.windowTitled(QStringLiteral("Tucked")));
        };
        QVERIFY(DesktopSession::waitUntil([&] { return tab().right() == 1439; }));
        const QRect before = tab();
        // The case is about the change of size: a server that does not take it fails it.
        QVERIFY(desktop.resizeScreen(QSize(1024, 768)));
        QVERIFY2(DesktopSession::waitUntil(
                     [&] { return tab().right() == 1023 && tab().bottom() < 768; }),
                 qPrintable(described({tab()})));
        QVERIFY(desktop.resizeScreen(QSize(1440, 900)));
        QVERIFY2(DesktopSession::waitUntil([&] { return tab() == before; }),
                 qPrintable(described({tab()})));
    }
};

QTEST_GUILESS_MAIN(ScreenResizeTest)
#include "ScreenResizeTest.moc"
