#include "TourFixture.h"

#include "app/AppDelegate.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"

namespace {
const QString completed = QStringLiteral("onboarding_completed");
const QString showOnLaunch = QStringLiteral("onboarding_show_on_launch");
const QString showOnLaunchSet = QStringLiteral("onboarding_show_on_launch_set");
const QString iCloudLine = QStringLiteral("[iCloud Sync] Preference key 'icloud_sync_enabled'");

void store(Preferences& preferences, const QString& key, std::optional<bool> value) {
    if (value) {
        preferences.setBool(key, *value);
    } else {
        preferences.remove(key);
    }
}

int iCloudLines(const LogCapture& log) {
    int count = 0;
    for (const QString& line : log.lines()) {
        count += line.startsWith(iCloudLine) ? 1 : 0;
    }
    return count;
}
} // namespace

class OnboardingLaunchTest : public QObject {
    Q_OBJECT
private slots:
    void theLaunchRuleOpensTheTourHalfASecondLater_data() {
        QTest::addColumn<std::optional<bool>>("done");
        QTest::addColumn<std::optional<bool>>("onLaunch");
        QTest::addColumn<std::optional<bool>>("onLaunchSet");
        QTest::addColumn<bool>("opens");
        QTest::newRow("first launch")
            << std::optional<bool>() << std::optional<bool>() << std::optional<bool>() << true;
        QTest::newRow("kept on") << std::optional(false) << std::optional(true)
                                 << std::optional(true) << true;
        QTest::newRow("switched off")
            << std::optional(false) << std::optional(false) << std::optional(true) << false;
        QTest::newRow("off, never set")
            << std::optional(false) << std::optional(false) << std::optional<bool>() << true;
        QTest::newRow("completed")
            << std::optional(true) << std::optional(true) << std::optional(true) << false;
        QTest::newRow("completed, never set")
            << std::optional(true) << std::optional<bool>() << std::optional<bool>() << false;
    }

    void theLaunchRuleOpensTheTourHalfASecondLater() {
        QFETCH(std::optional<bool>, done);
        QFETCH(std::optional<bool>, onLaunch);
        QFETCH(std::optional<bool>, onLaunchSet);
        QFETCH(bool, opens);
        FixedCompositorCheck compositor;
        CompositorCheck::install(&compositor);
        AppHarness app;
        app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1920, 1080), 0)});
        store(app.preferences(), completed, done);
        store(app.preferences(), showOnLaunch, onLaunch);
        store(app.preferences(), showOnLaunchSet, onLaunchSet);

        app.launch();
        LogCapture log;
        QVERIFY(!app.delegate().onboardingWindow());
        // The first launch marks the rule as set, whatever it decided.
        QCOMPARE(app.preferences().boolValue(showOnLaunchSet), std::optional(true));
        QCOMPARE(app.preferences().boolValue(showOnLaunch),
                 onLaunchSet ? onLaunch : std::optional(true));
        testClock().advance(std::chrono::milliseconds(499));
        QVERIFY(!app.delegate().onboardingWindow());
        testClock().advance(std::chrono::milliseconds(1));

        OnboardingWindow* tour = app.delegate().onboardingWindow();
        QCOMPARE(tour != nullptr, opens);
        // Each new tour reads the iCloud choice once, and says so.
        QCOMPARE(iCloudLines(log), opens ? 1 : 0);
        if (opens) {
            QVERIFY(tour->isVisible());
            QCOMPARE(tour->geometry(), QRect(510, 190, 900, 700));
            QCOMPARE(tour->state()->currentStep(), 0);
            QVERIFY(tour->view()->stepView()->findChild<QPushButton*>(
                QStringLiteral("GetStartedButton")));
        }
        QCOMPARE(app.preferences().boolValue(completed), done);
        app.stop();
        CompositorCheck::install(nullptr);
    }

    void askingAgainReplacesAnOpenTourWithAFreshOne() {
        TourFixture tour;
        tour.app.stop();
        tour.app.launch();
        testClock().advance(std::chrono::milliseconds(500));
        QPointer<OnboardingWindow> first = tour.app.delegate().onboardingWindow();
        QVERIFY(first);
        first->state()->setCurrentStep(6);
        const QUuid demo = tour.addDemoKippet(first->state())->id();
        QVERIFY(tour.isOpen(demo));

        LogCapture log;
        NotificationCount closing(NotificationName::onboardingWindowClosing);
        NotificationCenter::shared().post(NotificationName::showOnboarding);
        QCOMPARE(closing.count, 1);
        QVERIFY(!tour.isOpen(demo));
        OnboardingWindow* second = tour.app.delegate().onboardingWindow();
        QVERIFY(second && second != first);
        QVERIFY(second->isVisible());
        QCOMPARE(second->state()->currentStep(), 0);
        QCOMPARE(highlightedDots(second->view()->progressDots()), QList<int>{0});
        QCOMPARE(iCloudLines(log), 1);
        settle();
        QVERIFY(first.isNull());

        // Skipping leaves the launch rule as it was: the next launch shows the tour again.
        QTest::mouseClick(button(second, QStringLiteral("Skip Onboarding")), Qt::LeftButton);
        QCOMPARE(closing.count, 2);
        QVERIFY(!tour.app.preferences().contains(completed));
        QCOMPARE(tour.app.preferences().boolValue(showOnLaunch), std::optional(true));
        tour.app.relaunch();
        testClock().advance(std::chrono::milliseconds(500));
        QVERIFY(tour.app.delegate().onboardingWindow());
    }
};

QTEST_MAIN(OnboardingLaunchTest)
#include "OnboardingLaunchTest.moc"
