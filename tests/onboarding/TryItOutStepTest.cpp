#include "TourFixture.h"

#include "onboarding/ConfettiWindow.h"
#include "onboarding/DemoTaskRow.h"
#include "onboarding/TryItOutStepView.h"
#include "platform/NotificationNames.h"
#include "store/StoreManager.h"
#include "window/FloatingKippetWindow.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>

namespace {
TryItOutStepView* showDemoStep(OnboardingWindow* window) {
    window->state()->setCurrentStep(6);
    settle();
    return qobject_cast<TryItOutStepView*>(window->view()->stepView());
}

QList<Kippet*> demoKippets(AppHarness& app) {
    QList<Kippet*> found;
    for (Kippet* kippet : app.manager().activeKippets()) {
        if (kippet->name() == QStringLiteral("Demo Kippet 🎯")) {
            found.append(kippet);
        }
    }
    return found;
}

QStringList ticked(TryItOutStepView* step) {
    QStringList done;
    for (DemoTaskRow* row : step->rows()) {
        if (row->isDone()) {
            done.append(row->identifier());
        }
    }
    return done;
}

QList<ConfettiWindow*> confettiWindows() {
    QList<ConfettiWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* confetti = qobject_cast<ConfettiWindow*>(widget);
            confetti && confetti->isVisible()) {
            found.append(confetti);
        }
    }
    return found;
}

void type(FloatingKippetWindow* panel, Qt::Key key) {
    QTest::keyClick(panel->windowHandle(), key);
    AppHarness::settle();
}

void drag(FloatingKippetWindow* panel, QPoint by) {
    const auto send = [panel](QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(local), panel->mapToGlobal(QPointF(local)), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(panel, &event);
    };
    const QPoint start(20, 20);
    const QPoint pressedAt = panel->mapToGlobal(start);
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(QEvent::MouseMove, panel->mapFromGlobal(pressedAt + by), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, panel->mapFromGlobal(pressedAt + by), Qt::NoButton);
    AppHarness::settle();
}

// Whether any folder of the system's temporary space or of the data folder holds items of the id.
bool itemFolderExists(AppHarness& app, const QUuid& id) {
    const QString name = QStringLiteral("KippetData/") + id.toString(QUuid::WithoutBraces);
    if (QDir(app.folder()).exists(name)) {
        return true;
    }
    const QDir temp(QDir::tempPath());
    for (const QString& entry : temp.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QDir(temp.filePath(entry)).exists(name)) {
            return true;
        }
    }
    return false;
}

void advance(int milliseconds) {
    testClock().advance(std::chrono::milliseconds(milliseconds));
}
} // namespace

class TryItOutStepTest : public QObject {
    Q_OBJECT
private slots:
    void theFirstVisitOpensOneUnstoredDemoKippetBesideTheTour() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        const int shownBefore = tour.app.notifications().count(NotificationName::demoKippetMoved);
        TryItOutStepView* step = showDemoStep(window);
        QVERIFY(step);

        const QList<Kippet*> demos = demoKippets(tour.app);
        QCOMPARE(demos.size(), 1);
        Kippet* demo = demos[0];
        QCOMPARE(window->state()->demoKippet(), demo);
        QVERIFY(demo->isDemoMode());
        QCOMPARE(demo->icon(), QStringLiteral("target"));
        QCOMPARE(demo->items().size(), 2);
        QCOMPARE(demo->items()[0].metadata.name, QStringLiteral("Sample Document.pdf"));
        QCOMPARE(demo->items()[1].metadata.urlString, QStringLiteral("https://example.com/"));
        QVERIFY(!tour.app.manager().allKippets().contains(demo));

        // The tour is centred on 1920 × 1080: its right edge at 1410, its middle at 540.
        FloatingKippetWindow* panel = tour.app.registry().registeredWindow(demo->id());
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(panel->frame().origin(), QPointF(1410, 440));
        QCOMPARE(window->geometry().right() + 1, panel->geometry().left());
        // Its first showing is no move of the user's.
        QCOMPARE(tour.app.notifications().count(NotificationName::demoKippetMoved), shownBefore);
        QVERIFY(window->state()->completedTasks().isEmpty());
        QVERIFY(!step->progressLine()->isVisible());
        QVERIFY(!step->completionMessage()->isVisible());

        AppHarness::settle();
        QVERIFY(tour.app.store().fetchAllKippets().isEmpty());
        QVERIFY(!tour.app.manager().storedActiveKippetIDs().contains(demo->id()));
        QVERIFY(!itemFolderExists(tour.app, demo->id()));

        // Back and Next: the same kippet, and a window the user closed stays closed.
        panel->close();
        AppHarness::settle();
        window->state()->previousStep();
        showDemoStep(window);
        QCOMPARE(demoKippets(tour.app), QList<Kippet*>{demo});
        QVERIFY(!tour.app.registry().registeredWindow(demo->id()) ||
                !tour.app.registry().registeredWindow(demo->id())->isVisible());
    }

    void whatTheUserDoesToTheDemoTicksTheTasksAndTheLastOneCelebrates() {
        TourFixture tour;
        // Room for the expanded demo beside the tour: a panel pushed back onto the screen moves.
        tour.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 2560, 1440), 0)});
        OnboardingWindow* window = tour.openTour();
        TryItOutStepView* step = showDemoStep(window);
        Kippet* demo = window->state()->demoKippet();
        FloatingKippetWindow* panel = tour.app.registry().registeredWindow(demo->id());
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel));

        type(panel, Qt::Key_E);
        QCOMPARE(ticked(step), QStringList{"expand"});
        QVERIFY(step->progressLine()->isVisible());
        QCOMPARE(step->progressText()->text(),
                 QStringLiteral("Great! You've completed 1 of 5 tasks"));
        type(panel, Qt::Key_C);
        type(panel, Qt::Key_E);
        type(panel, Qt::Key_E);
        QCOMPARE(ticked(step), QStringList({"expand", "collapse"}));
        QCOMPARE(window->state()->completedTasks().size(), 2);
        type(panel, Qt::Key_M);
        QCOMPARE(step->progressText()->text(),
                 QStringLiteral("Great! You've completed 3 of 5 tasks"));
        type(panel, Qt::Key_M);
        QGuiApplication::clipboard()->setText(QStringLiteral("Demo text"));
        type(panel, Qt::Key_V);
        QCOMPARE(ticked(step), QStringList({"expand", "mini", "paste", "collapse"}));
        QVERIFY(confettiWindows().isEmpty());
        QVERIFY(!step->completionMessage()->isVisible());

        drag(panel, QPoint(40, 30));
        QCOMPARE(ticked(step), QStringList({"expand", "mini", "paste", "drag", "collapse"}));
        QVERIFY(step->completionMessage()->isVisible());
        QCOMPARE(step->completionMessage()->text(),
                 QStringLiteral("🎉 Amazing! You've mastered the basics!"));
        QCOMPARE(step->progressText()->text(),
                 QStringLiteral("Great! You've completed 5 of 5 tasks"));
        QCOMPARE(confettiWindows().size(), 1);
        // Doing it all again changes nothing.
        drag(panel, QPoint(10, 10));
        type(panel, Qt::Key_E);
        QCOMPARE(window->state()->completedTasks().size(), 5);
        QCOMPARE(confettiWindows().size(), 1);
        advance(3500);
        settle();
        QVERIFY(confettiWindows().isEmpty());

        // Nothing of the demo reaches the disk, pasted text included, and the tour's end takes
        // the rest.
        AppHarness::settle();
        QCOMPARE(demo->items().size(), 3);
        QVERIFY(tour.app.store().fetchAllKippets().isEmpty());
        const QUuid id = demo->id();
        QPointer<OnboardingState> state = window->state();
        window->close();
        settle();
        QVERIFY(!state);
        QVERIFY(demoKippets(tour.app).isEmpty());
        QVERIFY(!itemFolderExists(tour.app, id));
        QVERIFY(!tour.app.manager().storedActiveKippetIDs().contains(id));
    }

    void theLastTaskDoneElsewhereShowsTheMessageWithoutConfetti() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        showDemoStep(window);
        OnboardingState* state = window->state();
        NotificationCenter& center = NotificationCenter::shared();
        center.post(NotificationName::demoKippetExpanded);
        center.post(NotificationName::demoKippetMiniView);
        center.post(NotificationName::demoKippetPaste);
        center.post(NotificationName::demoKippetMoved);
        state->setCurrentStep(7);
        settle();
        // The tasks still tick while another step is shown.
        center.post(NotificationName::demoKippetCollapsed);
        QCOMPARE(state->completedTasks().size(), 5);
        QVERIFY(confettiWindows().isEmpty());
        TryItOutStepView* step = showDemoStep(window);
        QVERIFY(step->completionMessage()->isVisible());
        QVERIFY(confettiWindows().isEmpty());
        QCOMPARE(demoKippets(tour.app).size(), 1);

        // A second tour starts from nothing, and the first one's observers went with it.
        window->close();
        settle();
        OnboardingWindow* second = tour.openTour();
        center.post(NotificationName::demoKippetExpanded);
        QVERIFY(second->state()->completedTasks().isEmpty());
    }
};

QTEST_MAIN(TryItOutStepTest)
#include "TryItOutStepTest.moc"
