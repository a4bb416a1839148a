#include "DesktopSession.h"

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <algorithm>

namespace {
using WindowId = DesktopSession::WindowId;

// The desktop's one colour, set on the root window.
const QColor desktopColour(46, 139, 87);

bool isDesktop(const QImage& screen, QPoint point) {
    const QColor shown = screen.pixelColor(point);
    return std::abs(shown.red() - desktopColour.red()) <= 2 &&
           std::abs(shown.green() - desktopColour.green()) <= 2 &&
           std::abs(shown.blue() - desktopColour.blue()) <= 2;
}

bool isNearBlack(const QImage& screen, QPoint point) {
    const QColor shown = screen.pixelColor(point);
    return std::max({shown.red(), shown.green(), shown.blue()}) < 30;
}

// Walks from a point inside a drawn shape in one direction out to the desktop: the last pixels
// before it belong to the shape, never to a dark band around it. Empty when all is well.
QString darkBandFrom(const QImage& screen, QPoint inside, QPoint step) {
    if (isDesktop(screen, inside))
        return QStringLiteral("nothing drawn at %1, %2").arg(inside.x()).arg(inside.y());
    QPoint point = inside;
    for (int walked = 0; walked < 600 && screen.rect().contains(point); ++walked) {
        if (isDesktop(screen, point)) {
            for (int back = 1; back <= 3; ++back) {
                const QPoint before = point - step * back;
                if (isNearBlack(screen, before))
                    return QStringLiteral("dark at %1, %2").arg(before.x()).arg(before.y());
            }
            return {};
        }
        point += step;
    }
    return QStringLiteral("no desktop beside %1, %2").arg(inside.x()).arg(inside.y());
}

QImage shoot(const DesktopSession& desktop, const QString& name) {
    const QString path = desktop.home() + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!desktop.screenshot(path))
        return {};
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// Gives the desktop its one colour; whether the screen shows it. Windows over the root are not
// drawn again; what lies beside their shapes is. No window of these cases covers the screen's
// top-left corner.
bool paintDesktop(DesktopSession& desktop) {
    if (desktop.run(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), desktopColour.name()}) !=
        0)
        return false;
    return DesktopSession::waitUntil([&] {
        const QImage corner = desktop.grabScreen(QRect(0, 0, 1, 1));
        return !corner.isNull() && isDesktop(corner, QPoint(0, 0));
    });
}

void hideDashboard(DesktopSession& desktop) {
    const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
    QVERIFY(dashboard);
    desktop.minimise(dashboard);
    QVERIFY(DesktopSession::waitUntil([&] { return !desktop.isViewable(dashboard); }));
}
} // namespace

// Without a compositor the transparent pixels of a window come out black: every translucent
// window must be cut to what it draws, so the desktop shows beside its rounded corners and
// where a compositor would show its shadow.
class WindowShapeTest : public QObject {
    Q_OBJECT
private slots:
    void panelsEditorsAndTabsShowTheDesktopBesideTheirShapes() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Corner"), QPointF(60, 80)},
                      {QStringLiteral("Wide"), QPointF(760, 300), true},
                      {QStringLiteral("Travel"), QPointF(1300, 400), false, false, true}});
        QVERIFY2(desktop.launch(4), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        const WindowId corner = desktop.windowTitled(QStringLiteral("Corner"));
        const WindowId wide = desktop.windowTitled(QStringLiteral("Wide"));
        const WindowId tab = desktop.windowTitled(QStringLiteral("Travel"));
        QVERIFY(corner && wide && tab);

        desktop.clickGrabPoint(corner);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == corner; }));
        const QList<WindowId> before = desktop.stacking();
        desktop.key(QStringLiteral("n"));
        WindowId editor = 0;
        QVERIFY(DesktopSession::waitUntil([&] {
            const QList<WindowId> added = desktop.windowsSince(before);
            editor = added.isEmpty() ? 0 : added.constFirst();
            return editor != 0 && desktop.isViewable(editor);
        }));
        // Mapped is not yet drawn: until the app has handled the editor's first exposure, the
        // server shows black where it will paint, and cuts no shape round it.
        QVERIFY2(desktop.appHasCaughtUp(editor), qPrintable(desktop.appOutput()));
        QVERIFY(desktop.windowManagerHasCaughtUp());
        QVERIFY(paintDesktop(desktop));
        const QImage screen = shoot(desktop, QStringLiteral("panels"));
        QVERIFY(!screen.isNull());

        const QList<WindowId> shown{corner, wide, editor, tab};
        // A corner that another of the app's windows covers shows that window.
        const auto covered = [&](WindowId window, QPoint point) {
            for (const WindowId other : shown) {
                if (other != window && desktop.geometry(other).contains(point))
                    return true;
            }
            return false;
        };
        for (const WindowId window : {corner, wide, editor}) {
            const QRect frame = desktop.geometry(window);
            const QString name = desktop.title(window);
            QVERIFY2(!isDesktop(screen, frame.center()), qPrintable(name));
            int seen = 0;
            for (const QPoint corner :
                 {frame.topLeft() + QPoint(2, 2), frame.topRight() + QPoint(-2, 2),
                  frame.bottomLeft() + QPoint(2, -2), frame.bottomRight() + QPoint(-2, -2)}) {
                if (covered(window, corner))
                    continue;
                ++seen;
                QVERIFY2(isDesktop(screen, corner),
                         qPrintable(name +
                                    QStringLiteral(" at %1, %2").arg(corner.x()).arg(corner.y())));
            }
            QVERIFY2(seen >= 2, qPrintable(name));
            const QString band =
                darkBandFrom(screen, frame.center() - QPoint(0, frame.height() / 4), QPoint(0, -1));
            QVERIFY2(band.isEmpty(), qPrintable(name + QStringLiteral(": ") + band));
        }

        // The tab stands on the right edge; its shadow's room lies beside it.
        const QRect tabFrame = desktop.geometry(tab);
        const QPoint onTab(1440 - 10, tabFrame.center().y());
        for (const QPoint step : {QPoint(-1, 0), QPoint(0, -1), QPoint(0, 1)}) {
            const QString band = darkBandFrom(screen, onTab, step);
            QVERIFY2(band.isEmpty(), qPrintable(QStringLiteral("tab: ") + band));
        }
        QVERIFY(isDesktop(screen, tabFrame.topLeft()));
    }

    void theTrayShowsTheDesktopBesideTabAndPanel() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.setPreference(QStringLiteral("kippets_group_tucked_away"), true);
        desktop.seed({{QStringLiteral("Receipts"), QPointF(300, 400)},
                      {QStringLiteral("Travel"), QPointF(700, 400)}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        const WindowId tray = desktop.windowTitled(QStringLiteral("Tucked Kippets"));
        QVERIFY(tray);
        const QPoint onTab(1440 - 10, desktop.geometry(tray).center().y());
        QVERIFY(paintDesktop(desktop));
        QImage screen = shoot(desktop, QStringLiteral("tray"));
        QVERIFY(!screen.isNull());
        for (const QPoint step : {QPoint(-1, 0), QPoint(0, -1), QPoint(0, 1)}) {
            const QString band = darkBandFrom(screen, onTab, step);
            QVERIFY2(band.isEmpty(), qPrintable(QStringLiteral("tab: ") + band));
        }

        desktop.clickOn(tray, onTab);
        const auto panelShows = [&] {
            screen = shoot(desktop, QStringLiteral("open"));
            return !screen.isNull() && !isDesktop(screen, onTab - QPoint(60, 0));
        };
        QVERIFY(DesktopSession::waitUntil(panelShows));
        // The panel slides out inside the opened window, which is cut to what shows, a step
        // every 16 ms of the app's clock. The slide is over once the cut stays as it is for
        // several steps while the app keeps up (a step due meanwhile is cut before it answers).
        // A shot taken before could find nothing dark only because the panel was on its way.
        QRect cut = desktop.shapeExtents(tray);
        QElapsedTimer unchanged;
        unchanged.start();
        QVERIFY2(DesktopSession::waitUntil([&] {
                     if (!desktop.appHasCaughtUp(tray))
                         return false;
                     const QRect now = desktop.shapeExtents(tray);
                     if (now != cut) {
                         cut = now;
                         unchanged.restart();
                         return false;
                     }
                     return unchanged.elapsed() >= 100;
                 }),
                 qPrintable(DesktopSession::described(cut)));
        // Once the slide is over, the panel stands over the desktop with nothing dark beside it.
        const QPoint onPanel = onTab - QPoint(60, 0);
        QString band;
        const bool clean = DesktopSession::waitUntil([&] {
            screen = shoot(desktop, QStringLiteral("open"));
            if (screen.isNull())
                return false;
            for (const QPoint step : {QPoint(-1, 0), QPoint(0, -1), QPoint(0, 1)}) {
                band = darkBandFrom(screen, onPanel, step);
                if (!band.isEmpty())
                    return false;
            }
            return true;
        });
        QVERIFY2(clean, qPrintable(QStringLiteral("panel: ") + band));
    }

    // Started under a compositor that then stops, the tour cuts its corners as the panels do.
    void theTourCutsItsCornersOnceTheCompositorStops() {
        DesktopSession::Options options;
        options.compositor = true;
        options.tourSeen = false;
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        // The dashboard and the tour.
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        QVERIFY(DesktopSession::waitUntil(
            [&] { return desktop.windowTitled(QStringLiteral("Kippets")) != 0; }));
        const WindowId tour = desktop.windowTitled(QStringLiteral("Kippets"));
        hideDashboard(desktop);
        QVERIFY(desktop.stopCompositor());
        const QRect frame = desktop.geometry(tour);
        QCOMPARE(frame.size(), QSize(900, 700));
        const QList<QPoint> corners{frame.topLeft(), frame.topRight(), frame.bottomLeft(),
                                    frame.bottomRight()};
        QImage screen;
        // The app looks for the compositor once a second.
        const bool cut = DesktopSession::waitUntil([&] {
            if (!paintDesktop(desktop))
                return false;
            screen = shoot(desktop, QStringLiteral("tour"));
            return !screen.isNull() &&
                   std::all_of(corners.begin(), corners.end(),
                               [&](QPoint corner) { return isDesktop(screen, corner); });
        });
        QVERIFY2(cut, qPrintable(desktop.appOutput()));
        QVERIFY(!isDesktop(screen, frame.center()));
        // No black wedge anywhere in the corners' squares: the desktop, or the tour's fill.
        for (const QPoint corner : corners) {
            const QRect square(corner.x() == frame.left() ? frame.left() : frame.right() - 24,
                               corner.y() == frame.top() ? frame.top() : frame.bottom() - 24, 25,
                               25);
            int black = 0;
            for (int y = square.top(); y <= square.bottom(); ++y) {
                for (int x = square.left(); x <= square.right(); ++x)
                    black += isNearBlack(screen, QPoint(x, y)) ? 1 : 0;
            }
            QVERIFY2(black == 0, qPrintable(QStringLiteral("%1 black pixels at %2, %3")
                                                .arg(black)
                                                .arg(corner.x())
                                                .arg(corner.y())));
        }
        const QString band =
            darkBandFrom(screen, frame.center() - QPoint(0, frame.height() / 4), QPoint(0, -1));
        QVERIFY2(band.isEmpty(), qPrintable(QStringLiteral("tour: ") + band));
    }
};

QTEST_GUILESS_MAIN(WindowShapeTest)
#include "WindowShapeTest.moc"
