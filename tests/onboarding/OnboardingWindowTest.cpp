#include "TourFixture.h"

#include "model/KeyboardAction.h"
#include "onboarding/KeyCaptureField.h"
#include "onboarding/OnboardingStepArea.h"
#include "onboarding/ShortcutRow.h"
#include "onboarding/ShortcutsStepView.h"
#include "platform/Animations.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "ui/CompositorWatch.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QVariantAnimation>

namespace {
int stepOf(OnboardingWindow* window) {
    return window->state()->currentStep();
}

QString focusedButton() {
    auto* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    return focused ? focused->text() : QString();
}

// The tour shows its middle and its edges, and none of its rounded-off corners.
void checkCornersCut(OnboardingWindow* window) {
    QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
    const QRegion mask = window->mask();
    QVERIFY(mask.contains(QPoint(450, 350)));
    QVERIFY(mask.contains(QPoint(450, 1)));
    QVERIFY(mask.contains(QPoint(1, 350)));
    for (const QPoint corner : {QPoint(1, 1), QPoint(898, 1), QPoint(1, 698), QPoint(898, 698)}) {
        QVERIFY2(
            !mask.contains(corner),
            qPrintable(QStringLiteral("corner %1,%2 is shown").arg(corner.x()).arg(corner.y())));
    }
}

// Space where the keyboard is: on the focused widget, else on the tour.
void pressSpace(OnboardingWindow* window) {
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : window, Qt::Key_Space);
    settle();
}
} // namespace

class OnboardingWindowTest : public QObject {
    Q_OBJECT
private slots:
    void windowIsAFixedRoundedPanelCentredOnTheScreen() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        QVERIFY(window->isVisible());
        QCOMPARE(window->size(), QSize(900, 700));
        QCOMPARE(window->minimumSize(), QSize(900, 700));
        QCOMPARE(window->maximumSize(), QSize(900, 700));
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QCOMPARE(window->geometry(), QRect(510, 190, 900, 700));
        QCOMPARE(OnboardingWindow::frameCentredOn(RectD(0, 0, 1920, 1080)),
                 RectD(510, 190, 900, 700));
        // Centred on the usable part of the main screen, in the app's coordinates.
        tour.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1440, 900), 25),
                                       FakeScreenProvider::screen(RectD(1440, 0, 1920, 1080), 40)});
        tour.app.screens().setMainScreenIndex(1);
        OnboardingWindow* second = tour.openTour();
        const RectD frame = tour.app.screens().space().fromQt(QRectF(second->geometry()));
        QCOMPARE(frame, RectD(1950, 170, 900, 700));
        // Without any screen, centred on a 1920 × 1080 desktop.
        tour.app.screens().setScreens({});
        QCOMPARE(tour.app.screens().space().fromQt(QRectF(tour.openTour()->geometry())),
                 RectD(510, 190, 900, 700));
        tour.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1920, 1080), 0)});
        tour.app.screens().setMainScreenIndex(std::nullopt);

        // A compositor blends the painted corners; the window stays unmasked and translucent.
        QVERIFY(!window->isMasked());
        QVERIFY(window->mask().isEmpty());
        QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));

        tour.compositor.compositing = false;
        OnboardingWindow* plain = tour.openTour();
        QVERIFY(plain->isMasked());
        checkCornersCut(plain);
    }

    // A compositor that stops leaves the corners cut; one that starts blends them again.
    void theCornersFollowACompositorThatStartsOrStops() {
        TourFixture tour;
        CompositorWatch::shared().look();
        OnboardingWindow* window = tour.openTour();
        QVERIFY(!window->isMasked());
        const QColor corner = window->grab().toImage().pixelColor(1, 1);
        QCOMPARE(corner.alpha(), 0);

        tour.compositor.compositing = false;
        testClock().advance(std::chrono::milliseconds(CompositorWatch::intervalMs));
        QVERIFY(window->isMasked());
        checkCornersCut(window);
        // Drawn opaque where it shows, as nothing blends it now.
        const QImage plain = window->grab().toImage();
        QCOMPARE(plain.pixelColor(450, 3).alpha(), 255);
        QCOMPARE(plain.pixelColor(3, 350).alpha(), 255);

        tour.compositor.compositing = true;
        testClock().advance(std::chrono::milliseconds(CompositorWatch::intervalMs));
        QVERIFY(!window->isMasked());
        QVERIFY(window->mask().isEmpty());
        QCOMPARE(window->grab().toImage().pixelColor(1, 1).alpha(), 0);
    }

    void buttonsFollowTheStep() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        const auto shown = [window] {
            QStringList texts;
            for (const char* text : {"Skip Onboarding", "Back", "Next"}) {
                if (button(window, QString::fromLatin1(text))) {
                    texts.append(QString::fromLatin1(text));
                }
            }
            return texts;
        };
        QCOMPARE(shown(), (QStringList{"Skip Onboarding", "Next"}));
        window->state()->setCurrentStep(3);
        QCOMPARE(shown(), (QStringList{"Skip Onboarding", "Back", "Next"}));
        window->state()->setCurrentStep(7);
        QCOMPARE(shown(), (QStringList{"Back"}));
    }

    void buttonsAndArrowKeysWalkAllEightSteps() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        OnboardingProgressDots* dots = window->view()->progressDots();
        QCOMPARE(highlightedDots(dots), QList<int>{0});

        for (int step = 1; step <= 7; ++step) {
            QTest::mouseClick(button(window, QStringLiteral("Next")), Qt::LeftButton);
            settle();
            QCOMPARE(stepOf(window), step);
            QCOMPARE(highlightedDots(dots), QList<int>{step});
        }
        QVERIFY(!button(window, QStringLiteral("Next")));
        QTest::keyClick(window, Qt::Key_Right);
        QCOMPARE(stepOf(window), 7);
        QCOMPARE(highlightedDots(dots), QList<int>{7});

        for (int step = 6; step >= 0; --step) {
            QTest::mouseClick(button(window, QStringLiteral("Back")), Qt::LeftButton);
            settle();
            QCOMPARE(stepOf(window), step);
            QCOMPARE(highlightedDots(dots), QList<int>{step});
        }
        QTest::keyClick(window, Qt::Key_Left);
        QCOMPARE(stepOf(window), 0);
        QCOMPARE(highlightedDots(dots), QList<int>{0});

        NotificationCount next(NotificationName::onboardingGoNext);
        NotificationCount back(NotificationName::onboardingGoBack);
        for (int step = 1; step <= 7; ++step) {
            QTest::keyClick(window, Qt::Key_Right);
            QCOMPARE(stepOf(window), step);
            QCOMPARE(highlightedDots(dots), QList<int>{step});
        }
        for (int step = 6; step >= 0; --step) {
            QTest::keyClick(window, Qt::Key_Left, Qt::ShiftModifier);
            QCOMPARE(stepOf(window), step);
        }
        QCOMPARE(next.count, 7);
        QCOMPARE(back.count, 7);
        settle();
        QVERIFY(window->isVisible());
    }

    void arrowKeysReachTheTourPastAFocusedButtonButNotPastATextField() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        window->state()->setCurrentStep(3);
        QPushButton* back = button(window, QStringLiteral("Back"));
        back->setFocus();
        // A focused button takes the arrow keys for itself; the tour must see them all the same.
        QTest::keyClick(back, Qt::Key_Right);
        QCOMPARE(stepOf(window), 4);
        QTest::keyClick(button(window, QStringLiteral("Back")), Qt::Key_Left);
        QCOMPARE(stepOf(window), 3);

        auto* field = new QLineEdit(QStringLiteral("abc"), window->view()->stepView());
        field->show();
        field->setFocus();
        field->setCursorPosition(1);
        QTest::keyClick(field, Qt::Key_Right);
        QTest::keyClick(field, Qt::Key_Right);
        QCOMPARE(stepOf(window), 3);
        QCOMPARE(field->cursorPosition(), 3);
        QTest::keyClick(field, Qt::Key_Left);
        QCOMPARE(stepOf(window), 3);
        QCOMPARE(field->cursorPosition(), 2);
        QVERIFY(window->isVisible());
    }

    void noButtonHoldsTheFocusAfterAStepChangeOrASave() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        QApplication::setActiveWindow(window);
        QCOMPARE(focusedButton(), QString());
        for (int step = 1; step <= 3; ++step) {
            QTest::mouseClick(button(window, QStringLiteral("Next")), Qt::LeftButton);
            settle();
            QCOMPARE(focusedButton(), QString());
            pressSpace(window);
            QVERIFY(window->isVisible());
            QCOMPARE(stepOf(window), step);
        }
        // Tab still reaches the buttons; the next step change takes the focus from them.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!focusedButton().isEmpty());
        QTest::keyClick(window, Qt::Key_Right);
        settle();
        QCOMPARE(stepOf(window), 4);
        QCOMPARE(focusedButton(), QString());

        // A row in edit mode, then "Save Shortcuts": its field goes, and no button gets the keys.
        auto* shortcuts = qobject_cast<ShortcutsStepView*>(window->view()->stepView());
        QVERIFY(shortcuts);
        QTest::mouseClick(shortcuts->row(KeyboardAction::expand)->editButton(), Qt::LeftButton);
        QWidget* field = shortcuts->row(KeyboardAction::expand)->keyField();
        QVERIFY(field->hasFocus());
        QTest::keyClick(field, Qt::Key_Q);
        QTest::mouseClick(shortcuts->row(KeyboardAction::expand)->saveButton(), Qt::LeftButton);
        QPushButton* save = button(window, QStringLiteral("Save Shortcuts"));
        QVERIFY(save);
        QTest::mouseClick(save, Qt::LeftButton);
        settle();
        QCOMPARE(focusedButton(), QString());
        pressSpace(window);
        QVERIFY(window->isVisible());
        QCOMPARE(stepOf(window), 4);
    }

    void getStartedMovesOnLikeNext() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        QTest::mouseClick(button(window, QStringLiteral("Get Started")), Qt::LeftButton);
        settle();
        QCOMPARE(stepOf(window), 1);
        QCOMPARE(highlightedDots(window->view()->progressDots()), QList<int>{1});
        QVERIFY(!button(window, QStringLiteral("Get Started")));
        QTest::mouseClick(button(window, QStringLiteral("Back")), Qt::LeftButton);
        settle();
        QVERIFY(button(window, QStringLiteral("Get Started")));
    }

    void aStepSlidesInWhileTheOldOneSlidesOut() {
        TourFixture tour;
        Animations::setEnabled(true);
        OnboardingWindow* window = tour.openTour();
        auto* area = window->findChild<OnboardingStepArea*>();
        QWidget* welcome = area->step();
        QTest::keyClick(window, Qt::Key_Right);
        // The new step waits behind its picture until the move ends; the old one is gone.
        QVERIFY(area->isMoving());
        QWidget* iCloud = area->step();
        QVERIFY(iCloud != welcome);
        QVERIFY(!iCloud->isVisible());
        QVERIFY(!welcome->isVisible());
        // Moving back while the move runs starts over from there.
        QTest::keyClick(window, Qt::Key_Left);
        QVERIFY(area->isMoving());
        QWidget* again = area->step();
        QCOMPARE(window->state()->currentStep(), 0);
        for (auto* move : area->findChildren<QVariantAnimation*>()) {
            move->setCurrentTime(move->duration());
        }
        QVERIFY(!area->isMoving());
        QVERIFY(again->isVisible());
        QCOMPARE(again->geometry(), area->rect());
        QVERIFY(button(window, QStringLiteral("Get Started")));
        Animations::setEnabled(false);
    }

    void everyWayOutClosesOnceAndTakesTheDemoKippetAway() {
        TourFixture tour;
        Preferences::shared().setBool(QStringLiteral("onboarding_show_on_launch"), true);
        enum class Way { escape, skip, windowManager };
        for (const Way way : {Way::escape, Way::skip, Way::windowManager}) {
            for (int step = 0; step <= 7; ++step) {
                if (way == Way::skip && step == 7) {
                    continue; // no "Skip Onboarding" on the last step
                }
                const QString label = QStringLiteral("way %1, step %2").arg(int(way)).arg(step);
                QPointer<OnboardingWindow> window = tour.openTour();
                window->state()->setCurrentStep(step);
                QPointer<OnboardingState> state = window->state();
                const QUuid demo = tour.addDemoKippet(state)->id();
                QVERIFY2(tour.isOpen(demo), qPrintable(label));

                NotificationCount closing(NotificationName::onboardingWindowClosing);
                switch (way) {
                case Way::escape:
                    QTest::keyClick(window, Qt::Key_Escape);
                    break;
                case Way::skip:
                    QTest::mouseClick(button(window, QStringLiteral("Skip Onboarding")),
                                      Qt::LeftButton);
                    break;
                case Way::windowManager:
                    window->windowHandle()->close();
                    break;
                }
                QVERIFY2(!window->isVisible(), qPrintable(label));
                QCOMPARE(closing.count, 1);
                QVERIFY2(!tour.isOpen(demo), qPrintable(label));

                // The shell closing it again announces nothing more.
                window->close();
                QCOMPARE(closing.count, 1);
                settle();
                QVERIFY2(window.isNull(), qPrintable(label));
                QVERIFY2(state.isNull(), qPrintable(label));
                QVERIFY(!tour.isOpen(demo));
            }
        }
        QCOMPARE(Preferences::shared().boolValue(QStringLiteral("onboarding_show_on_launch")),
                 std::optional<bool>(true));
        QVERIFY(!Preferences::shared().contains(QStringLiteral("onboarding_completed")));
    }

    void eachTourStartsAFreshStateThatLogsTheICloudChoice() {
        TourFixture tour;
        {
            LogCapture log;
            OnboardingWindow* window = tour.openTour();
            QCOMPARE(stepOf(window), 0);
            QVERIFY(log.contains(QStringLiteral(
                "[iCloud Sync] Preference key 'icloud_sync_enabled' not set in preferences — "
                "defaulting to true (iCloud enabled)")));
            window->state()->setCurrentStep(5);
            window->close();
        }
        Preferences::shared().setBool(QStringLiteral("icloud_sync_enabled"), false);
        LogCapture log;
        OnboardingWindow* again = tour.openTour();
        QCOMPARE(stepOf(again), 0);
        QCOMPARE(log.lines(), QStringList{QStringLiteral(
                                  "[iCloud Sync] Preference key 'icloud_sync_enabled' = false")});
    }
};

QTEST_MAIN(OnboardingWindowTest)
#include "OnboardingWindowTest.moc"
