#include "window/FloatingKippetWindow.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/FakeScreenProvider.h"
#include "support/GeometryPrinting.h"
#include "support/TestEnvironment.h"
#include "support/WindowManagerDrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

using namespace std::chrono_literals;

namespace {
QPointF storedPosition(AppHarness& app, const QUuid& id) {
    return app.store().fetchKippet(id)->position();
}

void sendMouse(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
    const QPointF global = widget->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}
} // namespace

class FloatingKippetWindowTest : public QObject {
    Q_OBJECT
private slots:
    void kippetsWithoutPositionOpenAtTheDefaultPlaceUnsaved() {
        AppHarness app;
        app.start();
        Kippet* first = app.addKippet(QStringLiteral("First"));
        Kippet* second = app.addKippet(QStringLiteral("Second"));
        Kippet* column = app.addKippet(QStringLiteral("Column"), QPointF(0, 250));
        Kippet* row = app.addKippet(QStringLiteral("Row"), QPointF(250, 0));

        FloatingKippetWindow* firstWindow = app.registry().showWindow(first);
        QCOMPARE(firstWindow->frame(), RectD(100, 575, 220, 200));
        QCOMPARE(firstWindow->geometry(), QRect(100, 125, 220, 200));
        QVERIFY(firstWindow->isVisible());
        // Next to a panel at the base place, the seventh step is the first that is free.
        QCOMPARE(app.registry().showWindow(second)->frame(), RectD(310, 365, 220, 200));
        QCOMPARE(app.registry().showWindow(column)->frame(), RectD(0, 250, 220, 200));
        QCOMPARE(app.registry().showWindow(row)->frame(), RectD(250, 0, 220, 200));
        AppHarness::settle();
        QCOMPARE(first->position(), QPointF(0, 0));
        QCOMPARE(storedPosition(app, first->id()), QPointF(0, 0));
    }

    void panelSizeFollowsTheKippetsMode() {
        AppHarness app;
        app.start();
        Kippet* mini = app.addKippet(QStringLiteral("Mini"), QPointF(400, 100));
        mini->setIsMiniView(true);
        Kippet* both = app.addKippet(QStringLiteral("Both"), QPointF(500, 100));
        both->setIsMiniView(true);
        both->setIsExpanded(true);
        QCOMPARE(app.registry().windowForKippet(mini)->frame(), RectD(400, 100, 80, 80));
        FloatingKippetWindow* expanded = app.registry().windowForKippet(both);
        QCOMPARE(expanded->frame(), RectD(500, 100, 600, 500));
        QCOMPARE(expanded->lastExpandedFrame(), std::optional(RectD(500, 100, 600, 500)));
        QVERIFY(!expanded->isVisible());
    }

    void offscreenPositionsAreCorrectedSavedAndKeptAcrossRestarts() {
        AppHarness app;
        app.start();
        const QUuid lostId = app.addKippet(QStringLiteral("Lost"), QPointF(5000, -400))->id();
        const QUuid tallId = app.addKippet(QStringLiteral("Tall"), QPointF(300, 800))->id();
        app.restart();

        FloatingKippetWindow* lost = app.registry().showWindow(app.byName(QStringLiteral("Lost")));
        FloatingKippetWindow* tall = app.registry().showWindow(app.byName(QStringLiteral("Tall")));
        QCOMPARE(lost->frame(), RectD(1220, 0, 220, 200));
        QCOMPARE(tall->frame(), RectD(300, 675, 220, 200));
        QCOMPARE(app.byName(QStringLiteral("Lost"))->position(), QPointF(1220, 0));
        // The save runs after construction, as a task of its own.
        QCOMPARE(storedPosition(app, lostId), QPointF(5000, -400));
        AppHarness::settle();
        QCOMPARE(storedPosition(app, lostId), QPointF(1220, 0));

        app.restart();
        QCOMPARE(app.byName(QStringLiteral("Lost"))->position(), QPointF(1220, 0));
        QCOMPARE(app.byName(QStringLiteral("Tall"))->position(), QPointF(300, 675));
        QCOMPARE(storedPosition(app, tallId), QPointF(300, 675));
    }

    void theBorderAppliesTheLastOfABurst() {
        AppHarness app;
        app.start();
        FloatingKippetWindow* window =
            app.registry().windowForKippet(app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80)));
        const QColor red(255, 0, 0);
        QVERIFY(!window->isBorderVisible());

        window->updateChromeBorder(true, false, red);
        QVERIFY(!window->isBorderVisible()); // not before the next turn of the event loop
        AppHarness::settle();
        QVERIFY(window->isBorderVisible());
        QCOMPARE(window->currentBorderWidth(), 3.0);
        QCOMPARE(window->borderColor().alpha(), 179); // 0.7 of full opacity

        window->updateChromeBorder(true, true, red);
        AppHarness::settle();
        QCOMPARE(window->borderColor(), red); // dragging over wins: opaque

        window->updateChromeBorder(true, false, Qt::green);
        window->updateChromeBorder(false, true, Qt::blue);
        window->updateChromeBorder(false, false, Qt::yellow);
        AppHarness::settle();
        QVERIFY(!window->isBorderVisible());
        QCOMPARE(window->currentBorderWidth(), 0.0);
        // Only the last state is applied: the blue in between was never drawn, and hiding
        // leaves the colour last shown.
        QCOMPARE(window->borderColor(), red);
    }

    void everyActivationChangeIsPostedWithTheKippetId() {
        AppHarness app;
        app.start();
        Kippet* inbox = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        Kippet* other = app.addKippet(QStringLiteral("Other"), QPointF(600, 80));
        FloatingKippetWindow* inboxWindow = app.registry().showWindow(inbox);
        QVERIFY(QTest::qWaitForWindowActive(inboxWindow));
        FloatingKippetWindow* otherWindow = app.registry().showWindow(other);
        QVERIFY(QTest::qWaitForWindowActive(otherWindow));
        inboxWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(inboxWindow));

        QList<bool> inboxStates;
        for (const auto& note :
             app.notifications().named(NotificationName::kippetWindowActiveStateChanged)) {
            const QVariant id = note.userInfo.value(QStringLiteral("kippetId"));
            QCOMPARE(id.metaType(), QMetaType::fromType<QUuid>());
            if (id.toUuid() == inbox->id())
                inboxStates.append(note.userInfo.value(QStringLiteral("isActive")).toBool());
        }
        QCOMPARE(inboxStates, (QList<bool>{true, false, true}));
        QVERIFY(inboxWindow->isWindowActive());
        QVERIFY(!otherWindow->isWindowActive());

        // The stand-in content follows the state with the border.
        AppHarness::settle();
        QVERIFY(inboxWindow->isBorderVisible());
        QVERIFY(!otherWindow->isBorderVisible());
        QCOMPARE(inboxWindow->borderColor().rgb(), inbox->color().toQColor().rgb());
    }

    void aPressFocusesAndADragByTheBackgroundMovesAndSaves() {
        AppHarness app;
        app.start();
        Kippet* inbox = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        Kippet* other = app.addKippet(QStringLiteral("Other"), QPointF(600, 80));
        FloatingKippetWindow* window = app.registry().showWindow(inbox);
        app.registry().showWindow(other);
        QVERIFY(QTest::qWaitForWindowActive(app.registry().registeredWindow(other->id())));

        sendMouse(window, QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowActive(window));
        const QPoint pressedAt = window->mapToGlobal(QPoint(20, 20));
        const QPoint target = window->mapFromGlobal(pressedAt + QPoint(40, -30));
        sendMouse(window, QEvent::MouseMove, target, Qt::LeftButton);
        QCOMPARE(window->frame(), RectD(120, 110, 220, 200));
        // The move alone saves nothing; the release does.
        AppHarness::settle();
        QCOMPARE(inbox->position(), QPointF(80, 80));
        sendMouse(window, QEvent::MouseButtonRelease,
                  window->mapFromGlobal(pressedAt + QPoint(40, -30)), Qt::NoButton);
        QCOMPARE(inbox->position(), QPointF(120, 110));
        AppHarness::settle();
        QCOMPARE(storedPosition(app, inbox->id()), QPointF(120, 110));
    }

    // The window manager moves a panel (Alt and a drag, or its keys) without a mouse-up on it.
    void aMoveByTheWindowManagerIsSavedOnceWhenItHasSettledInEveryMode() {
        AppHarness app;
        app.start();
        Kippet* inbox = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        FloatingKippetWindow* window = app.registry().showWindow(inbox);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        AppHarness::settle();
        app.countKippetWrites();
        const auto settled = [&] {
            testClock().advance(500ms);
            AppHarness::settle();
        };

        WindowManagerDrag::move(window, QPoint(40, -30));
        AppHarness::settle();
        QCOMPARE(app.kippetWrites(), 0); // not while it goes on
        settled();
        QCOMPARE(app.kippetWrites(), 1);
        QCOMPARE(inbox->position(), QPointF(120, 110));
        QCOMPARE(storedPosition(app, inbox->id()), QPointF(120, 110));
        testClock().advance(5s);
        AppHarness::settle();
        QCOMPARE(app.kippetWrites(), 1);

        // The app's own moves save what they always saved, and no more.
        window->setFrame(RectD(300, 200, 220, 200));
        settled();
        QCOMPARE(app.kippetWrites(), 1);
        window->toggleMiniView();
        settled();
        QCOMPARE(app.kippetWrites(), 2);
        WindowManagerDrag::move(window, QPoint(-50, 20));
        settled();
        QCOMPARE(app.kippetWrites(), 3);
        QCOMPARE(storedPosition(app, inbox->id()), QPointF(250, 180));
        window->toggleExpanded();
        settled();
        QCOMPARE(app.kippetWrites(), 4);
        WindowManagerDrag::move(window, QPoint(100, -40));
        settled();
        QCOMPARE(app.kippetWrites(), 5);
        QCOMPARE(storedPosition(app, inbox->id()), QPointF(350, 220));
        QCOMPARE(window->lastExpandedFrame(), std::optional(RectD(350, 220, 600, 500)));
        // Animated, the frames on the way reach the window system late, out of step with the
        // app's: still only the transition's own save.
        Animations::setEnabled(true);
        window->toggleExpanded();
        for (int frame = 0; frame < 20; ++frame) {
            testClock().advance(16ms);
            QTest::qWait(5);
        }
        Animations::setEnabled(false);
        settled();
        QCOMPARE(window->frame(), RectD(250, 180, 80, 80));
        QCOMPARE(app.kippetWrites(), 6);
        window->toggleExpanded();
        settled();
        QCOMPARE(app.kippetWrites(), 7);

        // A smaller screen: the app and the window manager keep the panel on it; neither is the
        // user's move, so the place stays stored for the screen to grow back.
        app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 800, 600))});
        WindowManagerDrag::move(window, QPoint(-20, 0));
        settled();
        QCOMPARE(app.kippetWrites(), 7);
        QCOMPARE(storedPosition(app, inbox->id()), QPointF(250, 180));
    }

    // The tour's drag task hears of the user's moves only: a drag by the background, or a move
    // the window manager carried out; never a frame the app gave the panel.
    void onlyTheUsersMoveOfADemoPanelIsAnnounced() {
        using namespace std::chrono_literals;
        AppHarness app;
        app.start();
        Kippet* demo = app.addKippet(QStringLiteral("Demo"), QPointF(80, 80));
        demo->setIsDemoMode(true);
        FloatingKippetWindow* window = app.registry().windowForKippet(demo);
        window->setFrame(RectD(90, 90, 220, 200));
        app.registry().showWindow(demo);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        AppHarness::settle();
        QCOMPARE(app.notifications().count(NotificationName::demoKippetMoved), 0);

        window->setFrame(RectD(140, 90, 220, 200));
        testClock().advance(500ms);
        AppHarness::settle();
        QCOMPARE(app.notifications().count(NotificationName::demoKippetMoved), 0);

        const auto send = [window](QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
            QMouseEvent event(type, QPointF(local), window->mapToGlobal(QPointF(local)),
                              Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(window, &event);
        };
        // A click that moves nothing is no move.
        send(QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(20, 20), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, QPoint(20, 20), Qt::NoButton);
        QCOMPARE(app.notifications().count(NotificationName::demoKippetMoved), 0);
        send(QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(50, 40), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, QPoint(50, 40), Qt::NoButton);
        QCOMPARE(app.notifications().count(NotificationName::demoKippetMoved), 1);

        WindowManagerDrag::move(window, QPoint(-40, 30));
        testClock().advance(500ms);
        AppHarness::settle();
        QCOMPARE(app.notifications().count(NotificationName::demoKippetMoved), 2);

        Kippet* plain = app.addKippet(QStringLiteral("Plain"), QPointF(600, 80));
        FloatingKippetWindow* plainWindow = app.registry().showWindow(plain);
        QVERIFY(QTest::qWaitForWindowExposed(plainWindow));
        WindowManagerDrag::move(plainWindow, QPoint(40, 30));
        testClock().advance(500ms);
        AppHarness::settle();
        QCOMPARE(app.notifications().count(NotificationName::demoKippetMoved), 2);
    }
};

QTEST_MAIN(FloatingKippetWindowTest)
#include "FloatingKippetWindowTest.moc"
