#include "TrayFixture.h"

#include "platform/Animations.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/KippetManager.h"
#include "support/FixedCompositor.h"
#include "support/GeometryPrinting.h"
#include "support/TestEnvironment.h"
#include "tuck/TuckAwayKippetRow.h"
#include "tuck/TuckAwayLayout.h"
#include "tuck/TuckAwayOutline.h"
#include "tuck/TuckAwayUnifiedShape.h"
#include "ui/CompositorWatch.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

namespace {
const QString edgeChanged = QStringLiteral("TuckAwayEdgeChanged");

// The tray on the edge, as the launch restores it.
TuckAwayWindow* trayOn(TrayFixture& f, ScreenEdge edge) {
    f.registry().setGroupTuckedAwayEdge(edge);
    f.registry().restoreGroupTuckAwayIfNeeded();
    return f.tray();
}

QStringList postedEdges(AppHarness& app) {
    QStringList edges;
    for (const auto& notification : app.notifications().named(edgeChanged))
        edges.append(notification.userInfo.value(QStringLiteral("edge")).toString());
    return edges;
}
// A grabbed pixel as it would show on the desktop: how dark over how much cover.
struct Shown {
    int alpha;
    int grey;
};

Shown shownAt(const QImage& image, QPoint point) {
    const QRgb pixel = image.pixel(point);
    return {qAlpha(pixel), qGray(pixel)};
}
} // namespace

using namespace std::chrono_literals;

class TuckAwayWindowTest : public QObject {
    Q_OBJECT
private slots:
    void framesOnTheEdges() {
        TrayFixture f;
        // The visible frame is (0, 0, 1440, 875): a menu bar takes the top 25.
        TuckAwayWindow* tray = trayOn(f, ScreenEdge::top);
        QVERIFY(tray);
        QCOMPARE(tray->frame(), RectD(582, 475, 276, 400));
        QCOMPARE(tray->currentEdge(), ScreenEdge::top);
        QVERIFY(tray->isVisible());
        QVERIFY(tray->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(tray->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

        f.registry().moveTuckedKippets(ScreenEdge::top, std::nullopt);
        QCOMPARE(tray->frame(), RectD(520, 599, 400, 276));
        QCOMPARE(f.app.notifications().count(edgeChanged), 0);

        f.registry().moveTuckedKippets(ScreenEdge::left, std::nullopt);
        QCOMPARE(tray->frame(), RectD(0, 237.5, 276, 400));
        QCOMPARE(postedEdges(f.app), QStringList{QStringLiteral("Left")});
        QCOMPARE(tray->view()->currentEdge(), ScreenEdge::left);

        // Without a screen the tray is made on 1440 × 900 at the origin.
        f.app.screens().setScreens({});
        TuckAwayWindow bare(ScreenEdge::right, std::nullopt);
        QCOMPARE(bare.frame(), RectD(1164, 250, 276, 400));
        bare.moveToEdge(ScreenEdge::left, std::nullopt);
        QCOMPARE(bare.frame(), RectD(1164, 250, 276, 400));
        bare.snapToNearestEdge({10, 10});
        QCOMPARE(bare.currentEdge(), ScreenEdge::right);
    }

    void framesKeepInsideTheVisibleFrame() {
        const ScreenInfo narrow{RectD(0, 0, 300, 900), RectD(0, 0, 300, 875)};
        QCOMPARE(TuckAwayWindow::frameForEdge(ScreenEdge::top, narrow).x, 0.0);
        QCOMPARE(TuckAwayWindow::creationFrame(ScreenEdge::top, narrow.visibleFrame).x, 12.0);
        const ScreenInfo wide{RectD(0, 0, 1440, 900), RectD(0, 0, 1440, 875)};
        QCOMPARE(TuckAwayWindow::frameForEdge(ScreenEdge::bottom, wide, QPointF(1430, 5)),
                 RectD(1040, 0, 400, 276));
        QCOMPARE(TuckAwayWindow::frameForEdge(ScreenEdge::right, wide, QPointF(1430, 5)),
                 RectD(1164, 0, 276, 400));
    }

    void snappingPicksTheNearestEdge() {
        const RectD visible(0, 0, 1440, 875);
        // Ties go left, right, bottom, top.
        QCOMPARE(TuckAwayWindow::nearestEdge({100, 100}, visible), ScreenEdge::left);
        QCOMPARE(TuckAwayWindow::nearestEdge({1340, 775}, visible), ScreenEdge::right);
        QCOMPARE(TuckAwayWindow::nearestEdge({720, 100}, visible), ScreenEdge::bottom);
        // Over the menu bar the distance to the top is negative.
        QCOMPARE(TuckAwayWindow::nearestEdge({20, 890}, visible), ScreenEdge::top);

        TrayFixture f;
        TuckAwayWindow* tray = f.tuck();
        QCOMPARE(tray->currentEdge(), ScreenEdge::right);
        tray->snapToNearestEdge({5, 300});
        QCOMPARE(tray->frame(), RectD(0, 100, 276, 400));
        tray->snapToNearestEdge({5, 500});
        QCOMPARE(tray->frame(), RectD(0, 300, 276, 400));
        QCOMPARE(postedEdges(f.app), QStringList{QStringLiteral("Left")});
        tray->snapToNearestEdge({720, 890});
        QCOMPARE(tray->frame(), RectD(520, 599, 400, 276));
        QCOMPARE(postedEdges(f.app), (QStringList{QStringLiteral("Left"), QStringLiteral("Top")}));

        // A second screen to the right of the first.
        f.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1440, 900)),
                                    FakeScreenProvider::screen(RectD(1440, 0, 1280, 800), 0)});
        tray->snapToNearestEdge({2700, 400});
        QCOMPARE(tray->currentEdge(), ScreenEdge::right);
        QCOMPARE(tray->frame(), RectD(2444, 200, 276, 400));
    }

    void theTabOpensAndDragsThePanel() {
        TrayFixture f;
        f.app.addKippet(QStringLiteral("One"));
        f.app.addKippet(QStringLiteral("Two"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        QCOMPARE(view->pullTab()->accessibleName(), QStringLiteral("Tucked kippets: 2"));
        QVERIFY(!view->isExpanded());

        TrayFixture::clickTab(tray);
        QVERIFY(view->isExpanded());
        QVERIFY(view->panel()->isVisible());
        QCOMPARE(view->panel()->rows().size(), 2);
        QVERIFY(!view->panel()->emptyLabel()->isVisible());
        TrayFixture::clickTab(tray);
        QVERIFY(!view->isExpanded());

        // Exactly five points is still a click.
        TrayFixture::dragTab(tray, 5);
        QVERIFY(view->isExpanded());
        QCOMPARE(tray->currentEdge(), ScreenEdge::right);
        // Six is a drag: it closes the panel, follows the pointer, and the release keeps it shut.
        TrayFixture::dragTab(tray, 6);
        QVERIFY(!view->isExpanded());
        QVERIFY(!view->isDraggingTab());

        // The tray follows the pointer's place on the screen, not the tab's.
        TuckAwayPullTab* tab = view->pullTab();
        QTest::mousePress(tab, Qt::LeftButton, {}, QPoint(10, 35));
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 20), QPointF(30, 450), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tab, &move);
        QTest::mouseRelease(tab, Qt::LeftButton, {}, QPoint(10, 20));
        QCOMPARE(tray->currentEdge(), ScreenEdge::left);
        QCOMPARE(view->currentEdge(), ScreenEdge::left);
        QVERIFY(!view->isExpanded());
    }

    // However tall its texts make the panel, the tab stays where it stood closed as the tray
    // opens: across the edge, tab and panel each keep to the window's middle.
    void theTabKeepsItsPlaceAsThePanelOpens() {
        const QSize window(276, 400);
        for (const ScreenEdge edge : {ScreenEdge::left, ScreenEdge::right}) {
            const QRect closed = TuckAwayLayout::compute(edge, window, {}, false).tab;
            for (const int height : {200, 201, 231, 300}) {
                const TuckAwayLayout open =
                    TuckAwayLayout::compute(edge, window, QSize(220, height), true);
                QCOMPARE(open.tab.y(), closed.y());
                QCOMPARE(open.panel.y(), (400 - height) / 2);
                QCOMPARE(open.stack.y(), open.panel.y());
            }
        }
        const QSize wide(400, 276);
        for (const ScreenEdge edge : {ScreenEdge::top, ScreenEdge::bottom}) {
            const QRect closed = TuckAwayLayout::compute(edge, wide, {}, false).tab;
            for (const int width : {219, 220}) {
                const TuckAwayLayout open =
                    TuckAwayLayout::compute(edge, wide, QSize(width, 150), true);
                QCOMPARE(open.tab.x(), closed.x());
                QCOMPARE(open.panel.x(), (400 - width) / 2);
            }
        }
    }

    // A click slides the panel out from the edge in 0.2 s, fading in; a drag that starts
    // slides it back in 0.15 s. The tab rides along on the panel's far side.
    void thePanelSlidesAndFadesOnTheClock() {
        TrayFixture f;
        f.app.addKippet(QStringLiteral("One"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        const QRect closedTab = view->currentLayout().tab;
        Animations::setEnabled(true);
        TrayFixture::clickTab(tray);
        QVERIFY(view->isExpanded());
        QVERIFY(view->panel()->isVisible());
        QCOMPARE(view->panelShown(), 0.0);
        // On the right edge the panel starts behind the edge, the tab where it stood.
        QCOMPARE(view->currentLayout().tab, closedTab);
        testClock().advance(100ms);
        const qreal halfway = view->panelShown();
        QVERIFY(halfway > 0.2 && halfway < 0.8);
        QVERIFY(view->currentLayout().tab.x() < closedTab.x());
        testClock().advance(100ms);
        QCOMPARE(view->panelShown(), 1.0);
        QCOMPARE(view->currentLayout().panel.right(), view->width() - 1);
        QVERIFY(!view->panel()->graphicsEffect());

        TrayFixture::dragTab(tray, 6);
        QVERIFY(!view->isExpanded());
        QVERIFY(view->isPanelShown());
        testClock().advance(140ms);
        QVERIFY(view->isPanelShown() && view->panel()->isVisible());
        testClock().advance(10ms);
        QVERIFY(!view->isPanelShown());
        QVERIFY(!view->panel()->isVisible());
        QCOMPARE(tray->frame(), tray->trayFrame());
        Animations::setEnabled(false);
    }

    // "No active kippets" stands 16 points clear of the dividers above and below it. Its line is
    // as tall as the desktop's font makes it: at 11 pixels 14 in Cantarell, whose leading adds a
    // point to its height of 13, 13 in DejaVu Sans and 15 in Noto Sans. The padding is the same.
    void theEmptyListIsPadded() {
        TrayFixture f;
        TuckAwayWindow* tray = f.tuck();
        TrayFixture::clickTab(tray);
        TuckAwayPanel* panel = tray->view()->panel();
        QLabel* empty = panel->emptyLabel();
        QVERIFY(empty->isVisible());
        QList<QFrame*> lines;
        for (QFrame* line : panel->findChildren<QFrame*>()) {
            if (line->frameShape() == QFrame::HLine)
                lines.append(line);
        }
        QCOMPARE(lines.size(), 2);
        std::sort(lines.begin(), lines.end(), [panel](QFrame* a, QFrame* b) {
            return a->mapTo(panel, QPoint()).y() < b->mapTo(panel, QPoint()).y();
        });
        // The label holds its line and no more: room beyond it would stand the text further
        // from the dividers than the padding says. The line is the box Qt draws the text in.
        const QRect text(empty->mapTo(panel, empty->contentsRect().topLeft()),
                         empty->contentsRect().size());
        const int line =
            empty->fontMetrics()
                .boundingRect(empty->contentsRect(), int(empty->alignment()), empty->text())
                .height();
        QCOMPARE(text.height(), line);
        const int above = lines[0]->mapTo(panel, QPoint()).y() + lines[0]->height();
        const int below = lines[1]->mapTo(panel, QPoint()).y();
        QCOMPARE(text.top() - above, 16);
        QCOMPARE(below - (text.bottom() + 1), 16);
    }

    void anEmptyTray() {
        TrayFixture f;
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        QCOMPARE(view->pullTab()->accessibleName(), QStringLiteral("Tucked kippets: 0"));
        QCOMPARE(view->pullTab()->count(), 0);
        TrayFixture::clickTab(tray);
        QVERIFY(view->panel()->emptyLabel()->isVisible());
        QCOMPARE(view->panel()->emptyLabel()->text(), QStringLiteral("No active kippets"));
        QVERIFY(!view->panel()->scrollArea()->isVisible());
        QCOMPARE(view->panel()->untuckAllButton()->text(), QStringLiteral("Show All Kippets"));
        QCOMPARE(view->panel()->untuckAllButton()->objectName(), QStringLiteral("UntuckAllButton"));
        QTest::mouseClick(view->panel()->untuckAllButton(), Qt::LeftButton);
        QVERIFY(!f.registry().isTuckedAway());
        QVERIFY(!f.registry().tuckAwayWindow());
    }

    void theSnapshotIsTakenAtEachClick() {
        TrayFixture f;
        f.app.addKippet(QStringLiteral("One"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        TrayFixture::clickTab(tray);
        f.app.addKippet(QStringLiteral("Later"));
        QCOMPARE(view->panel()->rows().size(), 1);
        TrayFixture::clickTab(tray);
        TrayFixture::clickTab(tray);
        QCOMPARE(view->panel()->rows().size(), 2);
        QCOMPARE(view->pullTab()->accessibleName(), QStringLiteral("Tucked kippets: 2"));
    }

    void onlyAKnownEdgeTurnsTheLayout() {
        TrayFixture f;
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        TrayFixture::clickTab(tray);
        NotificationCenter& center = NotificationCenter::shared();
        const auto post = [&center](const QVariantMap& info) {
            center.post(edgeChanged, {}, info);
        };
        post({{QStringLiteral("edge"), QStringLiteral("left")}});
        post({{QStringLiteral("edge"), 3}});
        post({{QStringLiteral("side"), QStringLiteral("Left")}});
        post({});
        QCOMPARE(view->currentEdge(), ScreenEdge::right);
        QVERIFY(view->currentLayout().tab.left() < view->currentLayout().panel.left());

        post({{QStringLiteral("edge"), QStringLiteral("Left")}});
        QCOMPARE(view->currentEdge(), ScreenEdge::left);
        // Panel, then tab, against the left side of the window.
        QCOMPARE(view->currentLayout().panel.left(), 0);
        QCOMPARE(view->currentLayout().tab.left(), TuckAwayPanel::width);
    }

    void theUnifiedShape() {
        const QSizeF size(248, 300);
        const QPainterPath right =
            TuckAwayUnifiedShape(28, 70, 12, 12, ScreenEdge::right).path(size);
        QVERIFY(right.contains(QPointF(14, 150)));
        QVERIFY(!right.contains(QPointF(14, 5)));
        QVERIFY(right.contains(QPointF(200, 5)));
        const QPainterPath left = TuckAwayUnifiedShape(28, 70, 12, 12, ScreenEdge::left).path(size);
        QVERIFY(left.contains(QPointF(234, 150)));
        QVERIFY(!left.contains(QPointF(234, 5)));
        QVERIFY(left.contains(QPointF(40, 5)));
        // The rounded corners are cut away.
        QVERIFY(!left.contains(QPointF(1, 1)));
        QCOMPARE(left.boundingRect(), QRectF(0, 0, 248, 300));
    }

    void theOutlineShowsOnlyWhileOpen() {
        TrayFixture f;
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        QVERIFY(!view->outline()->isVisible());
        TrayFixture::clickTab(tray);
        QVERIFY(view->outline()->isVisible());
        QVERIFY(view->outline()->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(view->outline()->geometry(), view->currentLayout().stack);
    }

    // On the top and bottom edges the tab is narrower than the panel: the outline runs round
    // the panel and the tab, and the empty room on either side of the tab stays clear, however
    // long the open tray stands.
    void theOutlineRunsOnlyRoundWhatIsShown() {
        TrayFixture f;
        f.app.addKippet(QStringLiteral("One"));
        f.app.addKippet(QStringLiteral("Two"));
        TuckAwayWindow* tray = f.tuck();
        for (const ScreenEdge edge : {ScreenEdge::top, ScreenEdge::bottom}) {
            f.registry().moveTuckedKippets(edge, std::nullopt);
            if (!tray->view()->isExpanded())
                TrayFixture::clickTab(tray);
            QVERIFY(tray->view()->isExpanded());
            testClock().advance(2s);
            const TuckAwayLayout open = tray->view()->currentLayout();
            const QString at = rawValue(edge);
            QVERIFY2(open.tab.width() < open.panel.width() - 100, qPrintable(at));
            const QImage image = tray->grab().toImage();
            QCOMPARE(image.size(), tray->size());
            // The row of the stack farthest from the panel, beside the tab, and the stack's sides
            // there: nothing is drawn, no line either.
            const int farRow = edge == ScreenEdge::top ? open.stack.bottom() : open.stack.top();
            const int inward = edge == ScreenEdge::top ? -1 : 1;
            QList<QPoint> empty;
            for (int x = open.stack.left(); x <= open.stack.right(); ++x) {
                // Clear of the tab's shadow.
                if (x < open.tab.left() - 10 || x > open.tab.right() + 10) {
                    empty.append(QPoint(x, farRow));
                    empty.append(QPoint(x, farRow + inward));
                }
            }
            // Clear of the panel's shadow.
            for (int y = open.tab.top() + 14; y <= open.tab.bottom() - 14; ++y) {
                for (const int x : {open.stack.left(), open.stack.left() + 1,
                                    open.stack.right() - 1, open.stack.right()})
                    empty.append(QPoint(x, y));
            }
            const auto where = [&](QPoint point) {
                return QStringLiteral("%1 at %2, %3")
                    .arg(at)
                    .arg(point.x())
                    .arg(point.y())
                    .toUtf8();
            };
            for (const QPoint point : std::as_const(empty))
                QVERIFY2(shownAt(image, point).alpha < 30, where(point).constData());
            // The line runs along the tab's far end and along the panel's side beside the tab.
            const QPoint tabEnd(open.tab.center().x(), farRow + inward);
            const int panelSide = edge == ScreenEdge::top ? open.panel.bottom() : open.panel.top();
            const QPoint besideTab(open.panel.left() + 40, panelSide);
            for (const QPoint point : {tabEnd, besideTab}) {
                const Shown line = shownAt(image, point);
                QVERIFY2(line.alpha > 150 && line.grey < 100, where(point).constData());
            }
        }
    }

    void theInputMaskCoversWhatIsDrawn() {
        TrayFixture f;
        f.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), true);
        f.app.addKippet(QStringLiteral("One"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        const QRect tab = view->currentLayout().tab;
        QCOMPARE(tray->mask(), QRegion(tab));
        TrayFixture::clickTab(tray);
        const TuckAwayLayout open = view->currentLayout();
        QCOMPARE(tray->mask(), QRegion(open.tab) + QRegion(open.panel));
        // Left of tab and panel on the right edge, clicks go through.
        QVERIFY(!tray->mask().contains(QPoint(5, open.tab.center().y())));
        // A move to another edge takes the mask along; there too the outline runs on tab and
        // panel, and beside the tab clicks go through.
        f.registry().moveTuckedKippets(ScreenEdge::bottom, std::nullopt);
        const TuckAwayLayout bottom = view->currentLayout();
        QCOMPARE(tray->mask(), QRegion(bottom.tab) + QRegion(bottom.panel));
        QVERIFY(!tray->mask().contains(bottom.tab.topLeft() - QPoint(20, -20)));
        TrayFixture::clickTab(tray);
        QCOMPARE(tray->mask(), QRegion(view->currentLayout().tab));
        QVERIFY(tray->mask().boundingRect().height() == TuckAwayLayout::pullTabHeight);

        // Translucent, the shadows around the tab belong to what is drawn, and nothing more.
        f.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), false);
        view->relayout();
        const QRegion mask = tray->mask();
        QVERIFY(mask.contains(view->currentLayout().tab.center()));
        QVERIFY(mask.boundingRect().width() < 50);
    }

    // Without a compositor the shadows around tab and panel would come out as a thick black
    // frame: the tray is cut to the tab, the panel and the outline's line; when a compositor
    // starts, the shadows are back in what is drawn.
    void withoutACompositorTheTrayIsCutToItsShapes() {
        TrayFixture f;
        FixedCompositor compositor(false);
        f.app.addKippet(QStringLiteral("One"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        QCOMPARE(tray->mask().boundingRect(), view->currentLayout().tab);
        TrayFixture::clickTab(tray);
        const TuckAwayLayout open = view->currentLayout();
        const QRegion mask = tray->mask();
        QVERIFY(mask.contains(open.panel.center()));
        QVERIFY(mask.contains(open.tab.center()));
        QVERIFY(open.stack.contains(mask.boundingRect()));
        // The panel's rounded corner, and the shadow's room beyond it, are cut away.
        QVERIFY(!mask.contains(open.panel.topRight() + QPoint(-1, 1)));
        QVERIFY(!mask.contains(open.panel.bottomRight() + QPoint(3, 0)));
        // Above the tab, beside the panel, nothing is drawn.
        QVERIFY(open.tab.top() > open.stack.top() + 10);
        QVERIFY(!mask.contains(QPoint(open.tab.center().x(), open.stack.top() + 5)));

        compositor.setCompositing(true);
        testClock().advance(std::chrono::milliseconds(CompositorWatch::intervalMs));
        QCOMPARE(tray->mask(), view->drawnRegion());
    }

    void theCutoutPanelIsBlack() {
        TrayFixture f;
        f.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), true);
        f.app.addKippet(QStringLiteral("One"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayView* view = tray->view();
        TrayFixture::clickTab(tray);
        const QImage image = view->grab().toImage();
        const QRect panel = view->currentLayout().panel;
        // Below the last row, inside the panel's rounded corners.
        const QColor inside = image.pixelColor(panel.left() + 20, panel.top() + 4);
        QCOMPARE(inside, QColor(Qt::black));
        const QRect tab = view->currentLayout().tab;
        QCOMPARE(image.pixelColor(tab.left() + 3, tab.top() + 14), QColor(Qt::black));
        // Between the rows too: the list lets the panel's fill through.
        const QPoint aboveFirstRow = view->panel()->rows().first()->mapTo(view, QPoint(100, -2));
        QCOMPARE(image.pixelColor(aboveFirstRow), QColor(Qt::black));
        // The panel's contents take the dark palette, also in a light appearance.
        QCOMPARE(view->panel()->palette().color(QPalette::WindowText), QColor(Qt::white));

        f.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), false);
        const QImage translucent = view->grab().toImage();
        QVERIFY(translucent.pixelColor(panel.left() + 20, panel.top() + 4) != QColor(Qt::black));
    }

    void theOpenTrayHoldsEveryRowOnTheBottomEdge() {
        TrayFixture f;
        for (int i = 1; i <= 5; ++i)
            f.app.addKippet(QStringLiteral("Kippet %1").arg(i));
        TuckAwayWindow* tray = f.tuck();
        f.registry().moveTuckedKippets(ScreenEdge::bottom, std::nullopt);
        QCOMPARE(tray->frame(), RectD(520, 0, 400, 276));
        TrayFixture::clickTab(tray);
        TuckAwayView* view = tray->view();
        QCOMPARE(view->panel()->rows().size(), 5);
        QVERIFY(tray->frame().height > 276);
        QCOMPARE(tray->frame().y, 0.0);
        const QRect window = tray->rect();
        QVERIFY(window.contains(view->currentLayout().stack));
        QCOMPARE(view->currentLayout().tab.top(), 0);
        for (QWidget* row : view->panel()->rows()) {
            const QRect inTray(row->mapTo(tray, QPoint(0, 0)), row->size());
            QVERIFY2(window.contains(inTray), qPrintable(row->objectName()));
            QVERIFY(row->visibleRegion().boundingRect().size() == row->size());
        }
        QPushButton* button = view->panel()->untuckAllButton();
        QVERIFY(window.contains(QRect(button->mapTo(tray, QPoint(0, 0)), button->size())));
        // Closed again, the tray keeps the frame of its edge.
        TrayFixture::clickTab(tray);
        QCOMPARE(tray->frame(), RectD(520, 0, 400, 276));
    }
};

QTEST_MAIN(TuckAwayWindowTest)
#include "TuckAwayWindowTest.moc"
