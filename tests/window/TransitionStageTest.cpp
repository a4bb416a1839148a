#include "ui/TransitionStage.h"
#include "app/AppMenus.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/Clock.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "ui/X11Connection.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelDriver.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <stdexcept>
#include <xcb/xcb.h>

using namespace PanelDriver;
using namespace std::chrono_literals;

namespace {
// Animations on for one test: the harness switches them off.
struct AnimationsOn {
    AnimationsOn() { Animations::setEnabled(true); }
    ~AnimationsOn() { Animations::setEnabled(false); }
};

TransitionStage* stageOf(const FloatingKippetWindow* window) {
    return window->findChild<TransitionStage*>();
}

bool stageShows(const FloatingKippetWindow* window) {
    const TransitionStage* stage = stageOf(window);
    return stage && stage->isVisible();
}

// Lets the test clock run a frame at a time, the server's events in between, until `done`.
bool framesUntil(const std::function<bool()>& done) {
    const QDeadlineTimer guard(20000);
    while (!done()) {
        if (guard.hasExpired())
            return false;
        testClock().advance(16ms);
        QTest::qWait(2);
    }
    return true;
}

// A panel the server has on the screen, ready to change its mode with a transition.
FloatingKippetWindow* shownPanel(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = showActive(app, kippet);
    if (!QTest::qWaitFor([&] { return window->testAttribute(Qt::WA_Mapped); }, 10000))
        qWarning("the panel never reached the screen");
    return window;
}

// Starts an expand; true once the stage shows it, and when asked, once the stage shows the
// panel on its way while the panel itself keeps out of sight.
bool expandUnderWay(FloatingKippetWindow* window, bool midWay = false) {
    window->toggleExpanded();
    return framesUntil([&] {
        return stageShows(window) &&
               (!midWay || (window->isAnimating() &&
                            !window->rect().intersects(window->contentView()->geometry())));
    });
}

void addStagesOfTheWay() {
    QTest::addColumn<bool>("midWay");
    QTest::newRow("as the stage opens") << false;
    QTest::newRow("mid-way") << true;
}

// A panel at rest: no stage, its content in its own frame, painting as ever.
void verifyAtRest(const FloatingKippetWindow* window) {
    QVERIFY(!window->isAnimating());
    QVERIFY(!stageShows(window));
    QVERIFY(window->updatesEnabled());
    QCOMPARE(window->contentView()->geometry(), window->rect());
}

// Whether another program gets an answer from the server: none while it is held for this
// process.
bool serverAnswersOthers() {
    QProcess other;
    other.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTED")});
    if (other.waitForFinished(10000))
        return other.exitStatus() == QProcess::NormalExit && other.exitCode() == 0;
    other.kill();
    other.waitForFinished();
    return false;
}
} // namespace

// A panel's transition on a real X server ends with every road that takes the panel off the
// screen, and leaves neither its stage nor a held server behind.
class TransitionStageTest : public QObject {
    Q_OBJECT
private slots:
    void hidingAllWindowsEndsATransitionForGood_data() { addStagesOfTheWay(); }
    void hidingAllWindowsEndsATransitionForGood() {
        QFETCH(bool, midWay);
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Hidden"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY(TransitionStage::isAvailable());
        AppMenus menus;
        QVERIFY(expandUnderWay(window, midWay));

        menus.hideApplication();
        QVERIFY(!window->isVisible());
        QVERIFY(!stageShows(window));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(kippet->isExpanded());
        QCOMPARE(window->frame().size(), QSizeF(600, 500));

        // Shown again, the panel comes back alone, at its new frame and with all it holds.
        QVERIFY(menus.unhideApplication());
        QVERIFY(window->isVisible());
        QVERIFY(!stageShows(window));
        QVERIFY(QTest::qWaitFor([&] { return window->testAttribute(Qt::WA_Mapped); }, 10000));
        AppHarness::settle();
        QVERIFY(!stageShows(window));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->frame().size(), QSizeF(600, 500));
    }

    void tuckingAPanelUnderWayEndsItsTransition_data() { addStagesOfTheWay(); }
    void tuckingAPanelUnderWayEndsItsTransition() {
        QFETCH(bool, midWay);
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Tucked"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY(expandUnderWay(window, midWay));

        app.registry().tuckSingleKippet(kippet);
        QVERIFY(kippet->isTucked());
        QVERIFY(!window->isVisible());
        QVERIFY(!stageShows(window));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;

        app.registry().untuckSingleKippet(kippet);
        QVERIFY(window->isVisible());
        AppHarness::settle();
        QVERIFY(!stageShows(window));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
    }

    void closingAPanelUnderWayTakesItsStage_data() { addStagesOfTheWay(); }
    void closingAPanelUnderWayTakesItsStage() {
        QFETCH(bool, midWay);
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Closed"), {200, 200});
        QPointer<FloatingKippetWindow> window = shownPanel(app, kippet);
        QVERIFY(expandUnderWay(window, midWay));
        const QPointer<TransitionStage> stage = stageOf(window);

        app.registry().closeWindow(kippet);
        QVERIFY(!stage || !stage->isVisible());
        AppHarness::settle();
        QVERIFY(!stage || !stage->isVisible());
    }

    // Another change of mode, or the same key again, ends the transition under way: the stage
    // shows the new one, and goes once the panel stands at its last frame.
    void aModeChangeUnderWayEndsTheTransition() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Changed"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY(expandUnderWay(window));
        window->enterMiniView();
        QVERIFY(!kippet->isExpanded());
        QVERIFY(kippet->isMiniView());
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->size(), QSize(80, 80));

        QVERIFY(expandUnderWay(window));
        window->toggleExpanded();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->size(), QSize(80, 80));
    }

    // Steps that end early, by an exception, still let the server go: a held server freezes
    // every other program's windows.
    void theServerIsReleasedOnEveryRoad() {
        QVERIFY(TransitionStage::isAvailable());
        bool thrown = false;
        try {
            TransitionStage::atOnce(
                [] { TransitionStage::atOnce([] { throw std::runtime_error("a step failed"); }); });
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        QVERIFY(thrown);
        // Whatever the app sends next reaches the server.
        xcb_flush(x11Connection());
        QVERIFY(serverAnswersOthers());
        // And a hold that ends normally after that still holds and releases as it should.
        int ran = 0;
        TransitionStage::atOnce([&] { ++ran; });
        QCOMPARE(ran, 1);
        QVERIFY(serverAnswersOthers());
    }
};

QTEST_MAIN(TransitionStageTest)
#include "TransitionStageTest.moc"
