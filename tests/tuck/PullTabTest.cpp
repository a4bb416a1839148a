#include "app/AppMenus.h"
#include "app/DailyKippet.h"
#include "app/DashboardWindow.h"
#include "app/MenuBarManager.h"
#include "editors/TodoEditorWindow.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "platform/ScreenProvider.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/FakeFileChooser.h"
#include "support/FixedCompositor.h"
#include "support/GeometryPrinting.h"
#include "support/RecordedDrag.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "tuck/DesktopTuckWindowFactory.h"
#include "tuck/TuckAwayWindow.h"
#include "tuck/TuckSingleBorderShape.h"
#include "tuck/TuckSingleView.h"
#include "tuck/TuckSingleWindow.h"
#include "ui/CompositorWatch.h"
#include "ui/Symbols.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QLineF>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const RectD fullScreen(0, 0, 1440, 900);

struct AnimationsOn {
    AnimationsOn() { Animations::setEnabled(true); }
    ~AnimationsOn() { Animations::setEnabled(false); }
};

// A pixel of the tab's panel as it would reach the screen, unpremultiplied.
QColor pixelAt(const QImage& image, QPoint point) {
    return QColor::fromRgba(image.convertToFormat(QImage::Format_ARGB32).pixel(point));
}

// The sum of the coverage of the white in an image, as if the picture were one white stroke.
double whiteCoverage(const QImage& picture, const QRect& area) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += qGray(image.pixel(x, y)) / 255.0 * qAlpha(image.pixel(x, y)) / 255.0;
    return sum;
}

// The app with real pull tabs on one 1440 × 900 screen that has no menu bar.
struct Tabs {
    DesktopTuckWindowFactory factory;
    AppHarness app;
    Tabs() {
        app.setTuckWindowFactory(&factory);
        app.screens().setScreens({FakeScreenProvider::screen(fullScreen, 0)});
        app.start();
    }
    // An open kippet tucked from a place nearest the right edge; its window was never shown.
    TuckSingleWindow* tucked(const QString& name, QPointF position = QPointF(1200, 400)) {
        Kippet* kippet = app.addKippet(name, position);
        app.registry().tuckSingleKippet(kippet);
        return tab(kippet);
    }
    TuckSingleWindow* tab(Kippet* kippet) {
        return dynamic_cast<TuckSingleWindow*>(app.registry().tuckSingleWindow(kippet->id()));
    }
    int posts(const QString& name) { return app.notifications().count(name); }
};

// A mouse event at a global position in the app's coordinates: a drag reads where the pointer
// is from the event, never from the real cursor.
void sendMouse(QWidget* target, QEvent::Type type, QPointF appPoint,
               Qt::MouseButton button = Qt::LeftButton) {
    const QPointF global = ScreenProvider::shared().space().toQtPoint(appPoint);
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, target->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void drag(QWidget* view, QPointF from, const QList<QPointF>& through) {
    sendMouse(view, QEvent::MouseButtonPress, from);
    for (const QPointF& point : through)
        sendMouse(view, QEvent::MouseMove, point);
    sendMouse(view, QEvent::MouseButtonRelease, through.isEmpty() ? from : through.last());
}

// Sends the key to the tab; whether the tab used it up.
bool keyTaken(QWidget* tab, Qt::Key key, const QString& text,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    event.ignore();
    QApplication::sendEvent(tab, &event);
    return event.isAccepted();
}

QStringList labels(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QAction* action(const QMenu* menu, const QString& text) {
    for (QAction* candidate : menu->actions()) {
        if (candidate->text() == text)
            return candidate;
        if (candidate->menu())
            if (QAction* inner = action(candidate->menu(), text))
                return inner;
    }
    return nullptr;
}

// The tab's own menu, opened as a right click opens it.
QMenu* openMenu(TuckSingleWindow* tab) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            tab->view()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(tab->view(), &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void closePopups() {
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}
} // namespace

class PullTabTest : public QObject {
    Q_OBJECT
private slots:
    // Nine tabs and the group tray on one edge: each tab can be reached, none covers another
    // or the tray's tab.
    void nineTabsAndTheTrayShareAnEdge() {
        Tabs t;
        QList<TuckSingleWindow*> tabs;
        for (int i = 0; i < 9; ++i)
            tabs.append(t.tucked(QStringLiteral("K%1").arg(i)));
        // The rest go into the tray, on the same edge.
        t.app.addKippet(QStringLiteral("Open"), QPointF(1200, 400));
        t.app.registry().showWindow(t.app.byName(QStringLiteral("Open")));
        t.app.registry().tuckAwayKippets();
        auto* tray = dynamic_cast<TuckAwayWindow*>(t.app.registry().tuckAwayWindow());
        QVERIFY(tray);
        QCOMPARE(tray->edge(), ScreenEdge::right);
        const auto noneCovered = [&](ScreenEdge edge) {
            QList<RectD> frames{tray->tabFrame()};
            for (TuckSingleWindow* tab : std::as_const(tabs)) {
                if (tab->currentEdge() != edge)
                    return QStringLiteral("a tab left the edge");
                if (!fullScreen.contains(tab->frame()))
                    return QStringLiteral("a tab left the screen");
                for (const RectD& other : std::as_const(frames)) {
                    if (tab->frame().intersects(other))
                        return tab->frame().toString() + QStringLiteral(" covers ") +
                               other.toString();
                }
                frames.append(tab->frame());
            }
            return QString();
        };
        QCOMPARE(noneCovered(ScreenEdge::right), QString());
        // Moved together to another edge, tray first, they keep clear of each other there too.
        t.app.registry().moveTuckedKippets(ScreenEdge::left, std::nullopt);
        QCOMPARE(tray->edge(), ScreenEdge::left);
        QCOMPARE(noneCovered(ScreenEdge::left), QString());
    }

    void tabsStandOnTheEdgeAndInTheirSlots() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        QCOMPARE(tab->currentEdge(), ScreenEdge::right);
        QCOMPARE(tab->frame(), RectD(1408, 422, 32, 56));
        QVERIFY(tab->isVisible());
        QCOMPARE(tab->view()->objectName(), QStringLiteral("TuckSinglePullTab-Inbox"));
        QCOMPARE(tab->view()->accessibleName(), QStringLiteral("Tucked kippet: Inbox"));
        tab->moveToEdge(ScreenEdge::right, 1, std::nullopt);
        QCOMPARE(tab->frame().y, 356.0);
        tab->moveToEdge(ScreenEdge::right, 2, std::nullopt);
        QCOMPARE(tab->frame().y, 290.0);
        // Past the end of the edge the slots go on from the middle upwards.
        tab->moveToEdge(ScreenEdge::right, 6, std::nullopt);
        QCOMPARE(tab->frame().y, 26.0);
        tab->moveToEdge(ScreenEdge::right, 7, std::nullopt);
        QCOMPARE(tab->frame().y, 488.0);
        QCOMPARE(t.posts(NotificationName::tuckSingleEdgeChanged), 0);

        tab->moveToEdge(ScreenEdge::top, 0, std::nullopt);
        QCOMPARE(tab->frame(), RectD(692, 868, 56, 32));
        QCOMPARE(t.posts(NotificationName::tuckSingleEdgeChanged), 1);
        QCOMPARE(tab->view()->currentEdge(), ScreenEdge::top);
        QCOMPARE(tab->view()->size(), QSize(56, 32));
        tab->moveToEdge(ScreenEdge::top, 1, std::nullopt);
        QCOMPARE(tab->frame().x, 758.0);
        tab->moveToEdge(ScreenEdge::top, 10, std::nullopt);
        QCOMPARE(tab->frame().x, 1352.0);
        tab->moveToEdge(ScreenEdge::top, 11, std::nullopt);
        QCOMPARE(tab->frame().x, 626.0);
        QCOMPARE(t.posts(NotificationName::tuckSingleEdgeChanged), 1);

        // A second tucked kippet takes the next slot.
        TuckSingleWindow* second = t.tucked(QStringLiteral("Second"));
        QCOMPARE(second->frame(), RectD(1408, 356, 32, 56));
    }

    void draggingSnapsToTheNearestEdge() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        // Along the same edge the tab follows the pointer and nothing is announced.
        drag(view, QPointF(1424, 450), {QPointF(1424, 440), QPointF(1420, 300)});
        QCOMPARE(tab->frame(), RectD(1408, 272, 32, 56));
        QCOMPARE(t.posts(NotificationName::tuckSingleEdgeChanged), 0);
        QVERIFY(!tab->isSelected());

        drag(view, QPointF(1424, 300), {QPointF(300, 300), QPointF(100, 200)});
        QCOMPARE(tab->currentEdge(), ScreenEdge::left);
        QCOMPARE(tab->frame(), RectD(0, 172, 32, 56));
        QCOMPARE(t.posts(NotificationName::tuckSingleEdgeChanged), 1);
        const auto posted = t.app.notifications().named(NotificationName::tuckSingleEdgeChanged);
        QCOMPARE(posted.first().userInfo.value(UserInfoKey::edge).toString(),
                 QStringLiteral("Left"));
        QCOMPARE(view->currentEdge(), ScreenEdge::left);

        // The centre of a square frame ties every edge: left wins.
        t.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 900, 900), 0)});
        tab->snapToNearestEdge(QPointF(450, 450));
        QCOMPARE(tab->currentEdge(), ScreenEdge::left);
        tab->snapToNearestEdge(QPointF(450, 451));
        QCOMPARE(tab->currentEdge(), ScreenEdge::top);
        // In the menu bar, above the visible frame, the top is nearest.
        t.app.screens().setScreens({FakeScreenProvider::screen(fullScreen, 25)});
        drag(view, QPointF(10, 200), {QPointF(10, 890)});
        QCOMPARE(tab->currentEdge(), ScreenEdge::top);
        QCOMPARE(tab->frame(), RectD(0, 843, 56, 32));
    }

    void aClickSelectsAndADragDoesNot() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        QCOMPARE(view->borderWidth(), 0.0);
        QTest::mouseClick(view, Qt::LeftButton);
        QVERIFY(tab->isSelected());
        QVERIFY(view->isSelected());
        QCOMPARE(view->borderWidth(), 4.5);
        QCOMPARE(view->iconScale(), 1.15);
        QTRY_VERIFY(tab->isActiveWindow());
        QTest::mouseClick(view, Qt::LeftButton);
        QVERIFY(!tab->isSelected());
        QCOMPARE(view->borderWidth(), 0.0);

        // Five points from the press is still a click; six is a drag.
        const QPointF press(1424, 450);
        drag(view, press, {press + QPointF(3, -4)});
        QVERIFY(tab->isSelected());
        drag(view, press, {press + QPointF(0, -6)});
        QVERIFY(tab->isSelected());
        QCOMPARE(tab->frame(), RectD(1408, 416, 32, 56));
    }

    void aRightPressSelectsOnceAndStillOpensTheMenu() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        t.app.notifications().clear();
        QTest::mousePress(tab->view(), Qt::RightButton);
        QCOMPARE(t.posts(NotificationName::tuckSingleSelectionChanged), 1);
        QVERIFY(tab->isSelected());
        // The press itself opens the menu where the platform opens menus on a press.
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            menu = openMenu(tab);
        QVERIFY(menu);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Untuck Kippet"));
        closePopups();
        QTest::mouseRelease(tab->view(), Qt::RightButton);
        QTest::mousePress(tab->view(), Qt::RightButton);
        QCOMPARE(t.posts(NotificationName::tuckSingleSelectionChanged), 1);
        closePopups();
        QTest::mouseRelease(tab->view(), Qt::RightButton);
        QVERIFY(tab->isSelected());
    }

    void losingTheKeysDeselects() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleWindow* other = t.tucked(QStringLiteral("Other"));
        QTRY_VERIFY(other->isActiveWindow());
        QTest::mouseClick(tab->view(), Qt::LeftButton);
        QTRY_VERIFY(tab->isActiveWindow());
        QVERIFY(tab->isSelected());
        t.app.notifications().clear();
        // Selecting another tab takes the keys from the first, which deselects itself.
        QTest::mouseClick(other->view(), Qt::LeftButton);
        QTRY_VERIFY(other->isActiveWindow());
        QTRY_VERIFY(!tab->isSelected());
        QVERIFY(!tab->view()->isSelected());
        QVERIFY(other->isSelected());
        const auto posted =
            t.app.notifications().named(NotificationName::tuckSingleSelectionChanged);
        QCOMPARE(posted.size(), 2);
        QCOMPARE(posted.last().userInfo.value(UserInfoKey::isSelected), QVariant(false));
    }

    void singleKeysReachTheHiddenWindowWhileSelected() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        Kippet* kippet = tab->kippet();
        MenuBarManager& registry = t.app.registry();
        // Not selected, or with a modifier: the key is not the tab's.
        QVERIFY(!keyTaken(tab, Qt::Key_T, QStringLiteral("t")));
        QVERIFY(!registry.registeredWindow(kippet->id()));
        QTest::mouseClick(tab->view(), Qt::LeftButton);
        QVERIFY(!keyTaken(tab, Qt::Key_T, QStringLiteral("\x14"), Qt::ControlModifier));
        QVERIFY(!registry.registeredWindow(kippet->id()));

        QVERIFY(keyTaken(tab, Qt::Key_T, QStringLiteral("t")));
        FloatingKippetWindow* window = registry.registeredWindow(kippet->id());
        QVERIFY(window);
        QVERIFY(window->todoWindow());
        QVERIFY(window->todoWindow()->isVisible());
        QVERIFY(!window->isVisible());

        QVERIFY(keyTaken(tab, Qt::Key_E, QStringLiteral("e")));
        QVERIFY(kippet->isExpanded());
        QVERIFY(keyTaken(tab, Qt::Key_M, QStringLiteral("m")));
        QVERIFY(!kippet->isMiniView());
        QVERIFY(kippet->isExpanded());
        QVERIFY(keyTaken(tab, Qt::Key_C, QStringLiteral("C"), Qt::ShiftModifier));
        QVERIFY(!kippet->isExpanded());
        QVERIFY(keyTaken(tab, Qt::Key_C, QStringLiteral("c")));
        QVERIFY(!kippet->isExpanded());
        QVERIFY(!kippet->isMiniView());
        QVERIFY(!keyTaken(tab, Qt::Key_X, QStringLiteral("x")));

        t.app.notifications().clear();
        QVERIFY(keyTaken(tab, Qt::Key_V, QStringLiteral("v")));
        QVERIFY(keyTaken(tab, Qt::Key_I, QStringLiteral("i")));
        QCOMPARE(t.posts(NotificationName::kippetWindowPasteRequested), 1);
        QCOMPARE(t.posts(NotificationName::kippetWindowImportRequested), 1);
        QVERIFY(!window->isVisible());
    }

    void theStyleFollowsPreferencesAndTheDailyColour() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        Kippet* kippet = tab->kippet();
        const QColor own = kippet->color().toQColor();
        QVERIFY(!view->isCutout());
        QCOMPARE(view->iconColor(), own);
        QTRY_VERIFY(view->paintCount() > 0);
        const int painted = view->paintCount();
        t.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), true);
        QTRY_VERIFY(view->paintCount() > painted);
        QVERIFY(view->isCutout());
        QCOMPARE(view->iconColor(), QColor(Qt::white));
        QTest::mouseClick(view, Qt::LeftButton);
        QCOMPARE(view->iconColor(), own);
        QTest::mouseClick(view, Qt::LeftButton);
        t.app.preferences().setBool(QStringLiteral("kippet_tuck_monochrome"), false);
        QCOMPARE(view->iconColor(), own);

        kippet->setIsDailyKippet(true);
        QCOMPARE(view->kippetColor(), dailyKippetColor());
        QCOMPARE(view->iconColor(), dailyKippetColor());
    }

    // A selection eases its border and icon colour in over 0.15 s while the icon swings past
    // its selected size on a spring and settles; the step back runs the same way.
    void theSelectionAnimatesOnTheClock() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        tab->kippet()->setColor(*KippetColor::fromHex(QStringLiteral("FF0000")));
        t.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), true);
        const QColor own = view->kippetColor();
        const AnimationsOn animations;
        QTest::mouseClick(view, Qt::LeftButton);
        QVERIFY(tab->isSelected() && view->isSelected());
        QCOMPARE(view->selectionShown(), 0.0);
        QCOMPARE(view->iconScale(), 1.0);

        // Frames come every 16 ms: this is the fifth, a little past the middle of the ease.
        testClock().advance(80ms);
        const qreal shown = view->selectionShown();
        QVERIFY2(shown > 0.5 && shown < 0.65, qPrintable(QString::number(shown)));
        QCOMPARE(view->borderWidth(), 4.5);
        QVERIFY(qAbs(view->borderColor().alphaF() - 0.7 * shown) < 0.01);
        // From white towards the kippet's red.
        const QColor halfway = view->iconColor();
        QVERIFY(qAbs(halfway.greenF() - (1 - shown)) < 0.01 && halfway.redF() == 1.0);
        // The spring starts slower than the ease: a little more than half of its way.
        QVERIFY2(view->iconScale() > 1.07 && view->iconScale() < 1.1,
                 qPrintable(QString::number(view->iconScale())));
        // The border is painted half-faded.
        const QImage midway = tab->grab().toImage();

        testClock().advance(70ms);
        QCOMPARE(view->selectionShown(), 1.0);
        QVERIFY(qAbs(view->borderColor().alphaF() - 0.7) < 0.001);
        QCOMPARE(view->iconColor(), own);
        // Its widest swing, past the selected size.
        testClock().advance(60ms);
        QVERIFY2(view->iconScale() > 1.165, qPrintable(QString::number(view->iconScale())));
        testClock().advance(1s);
        QCOMPARE(view->iconScale(), 1.15);
        const QImage selected = tab->grab().toImage();
        // On the tab's outer side, half-way through the border's line.
        const QPoint onBorder(view->x() + 1, view->y() + view->height() / 2);
        const auto redness = [&](const QImage& image) { return qRed(image.pixel(onBorder)); };
        QVERIFY2(redness(midway) > 10 && redness(midway) < redness(selected) - 10,
                 qPrintable(QStringLiteral("%1 %2").arg(redness(midway)).arg(redness(selected))));

        // Deselected by the panel as when it loses the keys, the same way back; a quick
        // reselection swings back from where the icon stands, without a jump.
        NotificationCenter::shared().post(
            NotificationName::tuckSingleSelectionChanged, {},
            {{UserInfoKey::kippetId, tab->kippet()->id()}, {UserInfoKey::isSelected, false}});
        QVERIFY(!view->isSelected());
        testClock().advance(80ms);
        QVERIFY(qAbs(view->selectionShown() - (1 - shown)) < 0.01);
        const qreal shrinking = view->iconScale();
        QVERIFY(shrinking < 1.1 && shrinking > 1.0);
        // Still moving down when turned back: it goes on down a little before it turns.
        QTest::mouseClick(view, Qt::LeftButton);
        testClock().advance(16ms);
        QVERIFY2(view->iconScale() < shrinking && view->iconScale() > shrinking - 0.03,
                 qPrintable(QStringLiteral("%1 %2").arg(view->iconScale()).arg(shrinking)));
        testClock().advance(1s);
        QCOMPARE(view->iconScale(), 1.15);
        QCOMPARE(view->selectionShown(), 1.0);
    }

    // In the translucent style the tab glows in its kippet's colour, pushed away from the left
    // and right edges; the panel makes room for it without moving the tab. The cut-out casts
    // nothing and takes no more room than the tab.
    void theMaterialTabCastsAColouredShadow() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        tab->kippet()->setColor(*KippetColor::fromHex(QStringLiteral("0000FF")));
        tab->moveToEdge(ScreenEdge::left, 0, std::nullopt);
        QCOMPARE(tab->frame(), RectD(0, 422, 32, 56));
        const QRect onScreen = ScreenProvider::shared().space().toQtRect(tab->frame());
        QCOMPARE(QRect(view->mapToGlobal(QPoint(0, 0)), view->size()), onScreen);
        QCOMPARE(tab->geometry(), onScreen.adjusted(0, -10, 10, 10));

        QImage image = tab->grab().toImage();
        const int middle = view->y() + view->height() / 2;
        const QColor right = pixelAt(image, QPoint(view->geometry().right() + 3, middle));
        QVERIFY2(right.alpha() > 20 && right.alpha() < 77, qPrintable(right.name(QColor::HexArgb)));
        QCOMPARE(right.rgb() & 0xFFFFFF, 0x0000FFu);
        // The offset to the right leaves less above and below than beside.
        const QColor above = pixelAt(image, QPoint(view->x() + 10, view->y() - 3));
        QVERIFY(above.alpha() > 0 && above.alpha() < right.alpha());
        QCOMPARE(pixelAt(image, QPoint(image.width() - 1, 0)).alpha(), 0);

        // On the top edge it falls upwards, onto the edge.
        tab->moveToEdge(ScreenEdge::top, 0, std::nullopt);
        QCOMPARE(tab->frame(), RectD(692, 868, 56, 32));
        QCOMPARE(tab->geometry().size(), QSize(76, 42));
        image = tab->grab().toImage();
        const QColor below = pixelAt(image, QPoint(view->x() + 28, view->geometry().bottom() + 3));
        const QColor beside = pixelAt(image, QPoint(view->x() - 3, view->y() + 16));
        QVERIFY(below.alpha() > 0 && below.alpha() < beside.alpha());

        // A daily kippet glows in the daily colour, as its icon and border are drawn.
        tab->kippet()->setIsDailyKippet(true);
        QTest::mouseClick(view, Qt::LeftButton);
        image = tab->grab().toImage();
        // Faint as it is, its shade is rounded in eight bits of premultiplied colour.
        const QColor daily = pixelAt(image, QPoint(view->x() - 1, view->y() + 16));
        QVERIFY(daily.alpha() > 20);
        QVERIFY2(qAbs(daily.red() - dailyKippetColor().red()) < 8 && daily.red() == daily.blue(),
                 qPrintable(daily.name(QColor::HexArgb)));
        QCOMPARE(view->borderColor().rgb(), dailyKippetColor().rgb());
        QCOMPARE(view->iconColor(), dailyKippetColor());

        t.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), true);
        QCOMPARE(tab->geometry(), ScreenProvider::shared().space().toQtRect(tab->frame()));
        QCOMPARE(view->geometry(), tab->rect());
        QImage shadow(100, 100, QImage::Format_ARGB32_Premultiplied);
        shadow.fill(Qt::transparent);
        {
            QPainter painter(&shadow);
            view->paintShadow(painter, QPointF(20, 20));
        }
        QCOMPARE(shadow, [] {
            QImage clear(100, 100, QImage::Format_ARGB32_Premultiplied);
            clear.fill(Qt::transparent);
            return clear;
        }());
        t.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), false);
        QCOMPARE(tab->frame(), RectD(692, 868, 56, 32));
        QCOMPARE(tab->geometry().size(), QSize(76, 42));
    }

    // Without a compositor the room the shadow takes around the tab would come out as a black
    // box: the window is cut to the tab, on every edge, until a compositor starts.
    void withoutACompositorTheTabIsCutToItsShape() {
        Tabs t;
        FixedCompositor compositor(false);
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        tab->moveToEdge(ScreenEdge::left, 0, std::nullopt);
        QCOMPARE(tab->geometry().size(), view->size() + QSize(10, 20));
        QRect drawn = view->geometry();
        QCOMPARE(tab->mask().boundingRect(), drawn);
        // Square on the screen edge, round away from it.
        QVERIFY(tab->mask().contains(drawn.topLeft()));
        QVERIFY(!tab->mask().contains(drawn.topRight()));
        QVERIFY(!tab->mask().contains(drawn.bottomRight()));

        tab->moveToEdge(ScreenEdge::top, 0, std::nullopt);
        drawn = view->geometry();
        QCOMPARE(tab->mask().boundingRect(), drawn);
        QVERIFY(tab->mask().contains(drawn.topRight()));
        QVERIFY(!tab->mask().contains(drawn.bottomLeft()));

        compositor.setCompositing(true);
        testClock().advance(std::chrono::milliseconds(CompositorWatch::intervalMs));
        QVERIFY(tab->mask().isEmpty());
    }

    // The icon's strokes are heavier than the bundled drawing's: semibold, not regular.
    void theIconIsDrawnSemibold() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        tab->kippet()->setIcon(QStringLiteral("calendar"));
        // White on black: only the symbol is light.
        t.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), true);
        const QImage tabImage = view->grab().toImage();
        const double drawn = whiteCoverage(tabImage, tabImage.rect().adjusted(4, 4, -4, -4));
        const QImage regular =
            Symbols::pixmap(QStringLiteral("calendar"), 14, Qt::white, 1).toImage();
        const double bundled = whiteCoverage(regular, regular.rect());

        QVERIFY2(drawn > 1.12 * bundled && drawn < 1.6 * bundled,
                 qPrintable(QStringLiteral("%1 against %2").arg(drawn).arg(bundled)));
    }

    void aHoveringDropShowsTheFullBorderAndLands() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        QTest::mouseClick(view, Qt::LeftButton);
        QMimeData data;
        data.setText(QStringLiteral("dropped words"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(view->borderWidth(), 3.5);
        QCOMPARE(view->borderColor().alphaF(), 1.0);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &drop);
        QVERIFY(!view->isDraggingOver());
        QCOMPARE(view->borderWidth(), 4.5);
        QTRY_COMPARE(tab->kippet()->items().size(), 1);
        QCOMPARE(tab->kippet()->items()[0].metadata.name, QStringLiteral("dropped words"));
        QVERIFY(!tab->kippet()->items()[0].isProcessing);
    }

    // What file managers and browsers put on a drag, dropped on the tab itself.
    void dropsOfEveryKindLandThroughTheTab() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        TuckSingleView* view = tab->view();
        Kippet* kippet = tab->kippet();
        const QString documents = RecordedDrag::copyDocuments(t.app.folder());
        const QList<std::pair<QString, int>> drops{{QStringLiteral("pcmanfm-three-files"), 3},
                                                   {QStringLiteral("firefox-image"), 4},
                                                   {QStringLiteral("chromium-link"), 5},
                                                   {QStringLiteral("firefox-text"), 6},
                                                   {QStringLiteral("dolphin-folder"), 6}};
        for (const auto& [recording, itemsAfter] : drops) {
            const auto data = RecordedDrag::load(recording, documents);
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(view, &enter);
            QVERIFY2(enter.isAccepted(), qPrintable(recording));
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton,
                            Qt::NoModifier);
            QApplication::sendEvent(view, &drop);
            QVERIFY2(TaskRunner::waitUntil([&] {
                         AppHarness::settle();
                         return kippet->items().size() == itemsAfter;
                     }),
                     qPrintable(recording));
        }
        const QList<KippetItem> items = kippet->items();
        QCOMPARE(items[0].type, KippetItemType::file);
        QCOMPARE(items[0].metadata.name, QStringLiteral("picture.png"));
        QCOMPARE(items[3].metadata.name, QStringLiteral("Dropped Image.png"));
        QVERIFY(!QImage::fromData(items[3].content, "PNG").isNull());
        QCOMPARE(items[4].type, KippetItemType::url);
        QCOMPARE(items[5].type, KippetItemType::text);
        const std::optional<KippetModel> stored = t.app.store().fetchKippet(kippet->id());
        QCOMPARE(stored->items.size(), 6);
    }

    // The app's Ctrl+D reaches the dashboard from a selected pull tab, though the tab's own
    // keys take no modifier.
    void ctrlDOnATabShowsTheDashboard() {
        Tabs t;
        AppMenus menus;
        t.app.registry().setApplicationMenu(&menus);
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        QTest::mouseClick(tab->view(), Qt::LeftButton);
        tab->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(tab));
        QTest::keyClick(tab->windowHandle(), Qt::Key_D, Qt::ControlModifier);
        AppHarness::settle();
        QVERIFY(t.app.registry().dashboardWindow());
        QVERIFY(t.app.registry().dashboardWindow()->isVisible());
        QVERIFY(!t.app.registry().registeredWindow(tab->kippet()->id()));
    }

    void untuckAllFromATabBringsBothPanelsBack() {
        Tabs t;
        QPointer<TuckSingleWindow> first = t.tucked(QStringLiteral("Inbox"));
        QPointer<TuckSingleWindow> second = t.tucked(QStringLiteral("Second"), QPointF(1200, 100));
        Kippet* inbox = first->kippet();
        Kippet* other = second->kippet();
        QMenu* menu = openMenu(first);
        QVERIFY(menu);
        action(menu, QStringLiteral("Untuck All Kippets"))->trigger();
        closePopups();
        AppHarness::settle();
        QCOMPARE(t.app.registry().tuckSingleWindowCount(), 0);
        QTRY_VERIFY(!first && !second);
        for (Kippet* kippet : {inbox, other}) {
            QVERIFY(!kippet->isTucked());
            FloatingKippetWindow* window = t.app.registry().registeredWindow(kippet->id());
            QVERIFY(window && window->isVisible());
            QVERIFY(!t.app.store().fetchKippet(kippet->id())->isTucked);
        }
    }

    void theMenuActsOnTheTuckedKippets() {
        Tabs t;
        TuckSingleWindow* tab = t.tucked(QStringLiteral("Inbox"));
        QMenu* menu = openMenu(tab);
        QVERIFY(menu);
        QCOMPARE(labels(menu),
                 (QStringList{"Untuck Kippet", "-", "Move Kippets", "-", "Open Notes (N)",
                              "Open Todos (T)", "-", "Paste from Clipboard (V)", "Import Files (I)",
                              "-", "Show Dashboard (D)", "New Kippet", "-", "Close Kippet"}));
        QCOMPARE(labels(action(menu, QStringLiteral("Move Kippets"))->menu()),
                 (QStringList{"Move to Top", "Move to Bottom", "Move to Left", "Move to Right"}));

        // A cancelled import adds nothing.
        FakeFileChooser chooser;
        action(menu, QStringLiteral("Import Files (I)"))->trigger();
        QTRY_COMPARE(chooser.requests, 1);
        QCOMPARE(tab->kippet()->items().size(), 0);
        closePopups();

        TuckSingleWindow* second = t.tucked(QStringLiteral("Second"));
        menu = openMenu(tab);
        QCOMPARE(menu->actions()[1]->text(), QStringLiteral("Untuck All Kippets"));
        action(menu, QStringLiteral("Move to Top"))->trigger();
        closePopups();
        QCOMPARE(tab->currentEdge(), ScreenEdge::top);
        QCOMPARE(second->currentEdge(), ScreenEdge::top);
        QCOMPARE(tab->frame().y, 868.0);
        QCOMPARE(second->frame().y, 868.0);
        QVERIFY(tab->frame().x != second->frame().x);
    }

    void closeKippetLeavesItClosedAndUntucked() {
        Tabs t;
        QPointer<TuckSingleWindow> tab = t.tucked(QStringLiteral("Inbox"));
        Kippet* kippet = tab->kippet();
        const QUuid id = kippet->id();
        QVERIFY(kippet->isTucked());
        QMenu* menu = openMenu(tab);
        action(menu, QStringLiteral("Close Kippet"))->trigger();
        closePopups();
        QVERIFY(!t.app.registry().hasTuckSingleWindow(id));
        QVERIFY(!t.app.registry().registeredWindow(id));
        QTRY_VERIFY(!tab);
        QVERIFY(t.app.manager().activeKippets().isEmpty());
        t.app.quit();
        t.app.restart();
        Kippet* again = t.app.manager().kippet(id);
        QVERIFY(again);
        QVERIFY(!again->isTucked());
        QVERIFY(t.app.manager().activeKippets().isEmpty());
        QCOMPARE(t.app.registry().tuckSingleWindowCount(), 0);
    }

    void withoutScreensTabsUseADefaultFrameAndStayPut() {
        Tabs t;
        Kippet* kippet = t.app.addKippet(QStringLiteral("Inbox"));
        t.app.screens().setScreens({});
        TuckSingleWindow tab(kippet, ScreenEdge::right, std::nullopt);
        QCOMPARE(tab.frame(), RectD(1408, 422, 32, 56));
        tab.moveToEdge(ScreenEdge::top, 0, std::nullopt);
        tab.snapToNearestEdge(QPointF(10, 450));
        QCOMPARE(tab.frame(), RectD(1408, 422, 32, 56));
        QCOMPARE(tab.currentEdge(), ScreenEdge::right);
        QCOMPARE(t.posts(NotificationName::tuckSingleEdgeChanged), 0);
    }

    void shapesRoundOnlyTheCornersAwayFromTheEdge() {
        const QRectF across(0, 0, 56, 32);
        const QRectF along(0, 0, 32, 56);
        struct Case {
            ScreenEdge edge;
            QRectF rect;
            QPointF rounded;
            QPointF square;
            QPointF start;
            QPointF end;
        };
        const Case cases[] = {
            {ScreenEdge::top, across, {0.5, 31.5}, {0.5, 0.5}, {0, 0}, {56, 0}},
            {ScreenEdge::bottom, across, {0.5, 0.5}, {0.5, 31.5}, {0, 32}, {56, 32}},
            {ScreenEdge::left, along, {31.5, 0.5}, {0.5, 0.5}, {0, 0}, {0, 56}},
            {ScreenEdge::right, along, {0.5, 0.5}, {31.5, 0.5}, {32, 0}, {32, 56}},
        };
        for (const Case& c : cases) {
            const QPainterPath fill = TuckSingleBorderShape::fill(c.rect, 12, c.edge);
            QVERIFY(!fill.contains(c.rounded));
            QVERIFY(fill.contains(c.square));
            const QPainterPath border = TuckSingleBorderShape::border(c.rect, 12, c.edge);
            QCOMPARE(border.pointAtPercent(0), c.start);
            QCOMPARE(border.pointAtPercent(1), c.end);
            // Arcs turning the wrong way would bulge out of the tab.
            const QRectF bounds = border.boundingRect();
            QVERIFY(c.rect.adjusted(-0.01, -0.01, 0.01, 0.01).contains(bounds));
            QVERIFY(bounds.width() > c.rect.width() - 0.01 &&
                    bounds.height() > c.rect.height() - 0.01);
            // The side on the screen edge stays open: the outline never runs along it.
            const QPointF middleOfOpenSide = (c.start + c.end) / 2;
            for (int i = 0; i <= 100; ++i)
                QVERIFY(QLineF(border.pointAtPercent(i / 100.0), middleOfOpenSide).length() > 4);
        }
    }

    void aGroupTuckHidesTheWindowsBehindTheTray() {
        Tabs t;
        Kippet* kippet = t.app.addKippet(QStringLiteral("Inbox"), QPointF(200, 200));
        FloatingKippetWindow* window = t.app.registry().showWindow(kippet);
        t.app.registry().tuckAwayKippets();
        QVERIFY(t.app.registry().isTuckedAway());
        QVERIFY(t.app.registry().tuckAwayWindow());
        QVERIFY(!window->isVisible());
        t.app.registry().untuckKippets();
        QVERIFY(window->isVisible());
        QVERIFY(!kippet->isTucked());
    }
};

QTEST_MAIN(PullTabTest)
#include "PullTabTest.moc"
