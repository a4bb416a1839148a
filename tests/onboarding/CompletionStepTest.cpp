#include "TourFixture.h"

#include "app/DashboardWindow.h"
#include "app/Workspace.h"
#include "dashboard/CreateKippetSheet.h"
#include "dashboard/DashboardView.h"
#include "dashboard/KippetCreation.h"
#include "model/KeyboardShortcuts.h"
#include "onboarding/CompletionStepView.h"
#include "onboarding/QuickRefRow.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

namespace {
CompletionStepView* showCompletion(OnboardingWindow* window) {
    window->state()->setCurrentStep(7);
    settle();
    return qobject_cast<CompletionStepView*>(window->view()->stepView());
}

QStringList iCloudLines(const LogCapture& log) {
    QStringList lines;
    for (const QString& line : log.lines()) {
        if (line.startsWith(QStringLiteral("[iCloud Sync]"))) {
            lines.append(line);
        }
    }
    return lines;
}

DashboardTab shownTab(AppHarness& app) {
    auto* view = qobject_cast<DashboardView*>(app.registry().dashboardWindow()->centralWidget());
    return view->selectedTab();
}
} // namespace

class CompletionStepTest : public QObject {
    Q_OBJECT
private slots:
    void getStartedStoresTheOutcomeAndHandsOverToTheDashboard() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        window->state()->setICloudSyncPreference(false);
        Kippet* demo = tour.addDemoKippet(window->state());
        const QUuid demoId = demo->id();
        showCompletion(window);
        const QByteArray storedKeys = Preferences::shared()
                                          .dataValue(KeyboardShortcuts::preferenceKey)
                                          .value_or(QByteArray("none"));
        LogCapture log;
        QTest::mouseClick(button(window, QStringLiteral("Get Started")), Qt::LeftButton);
        settle();

        Preferences& preferences = Preferences::shared();
        QCOMPARE(preferences.boolValue(QStringLiteral("onboarding_completed")), true);
        QCOMPARE(preferences.boolValue(QStringLiteral("onboarding_show_on_launch")), true);
        QCOMPARE(preferences.boolValue(QStringLiteral("icloud_sync_enabled")), false);
        QCOMPARE(iCloudLines(log),
                 QStringList({"[iCloud Sync] Onboarding complete — saving iCloud preference: false",
                              "[iCloud Sync]   Note: This takes effect on next app launch "
                              "(container already created for this session)",
                              "[iCloud Sync] Setting preference: nil (unset) → false",
                              "[iCloud Sync] Preferences saved. Key 'icloud_sync_enabled' = "
                              "false"}));
        // No shortcut was changed: the keys are not rewritten and nothing is posted.
        QCOMPARE(
            preferences.dataValue(KeyboardShortcuts::preferenceKey).value_or(QByteArray("none")),
            storedKeys);
        QCOMPARE(tour.app.notifications().count(NotificationName::keyboardShortcutsUpdated), 0);

        QVERIFY(tour.app.registry().dashboardWindow());
        QVERIFY(tour.app.registry().dashboardWindow()->isVisible());
        QCOMPARE(shownTab(tour.app), DashboardTab::kippets);
        QVERIFY(tour.app.notifications().count(NotificationName::onboardingWindowClosing) == 1);
        QVERIFY(!tour.isOpen(demoId));
    }

    void createFirstKippetWithTheBoxCheckedStoresUnsavedKeysOnce() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        window->state()->setShortcut(KeyboardAction::dashboard, QStringLiteral("X"));
        CompletionStepView* step = showCompletion(window);
        // The quick reference teaches the default keys in the platform's spelling.
        QStringList shortcuts;
        QStringList descriptions;
        QSet<int> descriptionEdges;
        for (QuickRefRow* row : step->findChildren<QuickRefRow*>()) {
            shortcuts.append(row->shortcut());
            descriptions.append(row->description());
            QLabel* text = row->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
            descriptionEdges.insert(text->mapTo(step, QPoint(0, 0)).x());
        }
        // The descriptions line up although "Ctrl+N" is wider than "V".
        QCOMPARE(descriptionEdges.size(), 1);
        QCOMPARE(shortcuts, QStringList({"Ctrl+N", "Ctrl+D", "V", "E", "M"}));
        QCOMPARE(descriptions, QStringList({"New Kippet", "Dashboard", "Paste Content",
                                            "Expand/Collapse", "Mini View"}));

        QTest::mouseClick(step->dontShowAgain(), Qt::LeftButton);
        QVERIFY(step->dontShowAgain()->isChecked());
        QTest::mouseClick(button(window, QStringLiteral("Create First Kippet")), Qt::LeftButton);
        settle();
        Preferences& preferences = Preferences::shared();
        QCOMPARE(preferences.boolValue(QStringLiteral("onboarding_completed")), true);
        QCOMPARE(preferences.boolValue(QStringLiteral("onboarding_show_on_launch")), false);
        QCOMPARE(tour.app.notifications().count(NotificationName::keyboardShortcutsUpdated), 1);
        const auto stored = KeyboardShortcuts::fromJsonBytes(
            preferences.dataValue(KeyboardShortcuts::preferenceKey).value_or(QByteArray()));
        QVERIFY(stored);
        QCOMPARE(stored->dashboard, QStringLiteral("x"));
        QCOMPARE(tour.app.notifications().count(QStringLiteral("CreateNewKippet")), 1);
        QVERIFY(tour.app.manager().allKippets().isEmpty());
    }

    void theShellAnswersCreateFirstKippetWithTheCreateSheet() {
        FixedCompositorCheck compositor;
        CompositorCheck::install(&compositor);
        AppHarness app;
        app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1920, 1080), 0)});
        app.launch();
        // A dashboard already up on its settings is switched back to the kippets; a closed one
        // is opened anew.
        for (const bool closedFirst : {false, true}) {
            Preferences::shared().remove(QStringLiteral("onboarding_show_on_launch"));
            app.registry().showSettings();
            if (closedFirst) {
                app.registry().dashboardWindow()->close();
            }
            QPointer<OnboardingWindow> window = new OnboardingWindow;
            CompletionStepView* step = showCompletion(window);
            QTest::mouseClick(step->dontShowAgain(), Qt::LeftButton);
            QTest::mouseClick(button(window, QStringLiteral("Create First Kippet")),
                              Qt::LeftButton);
            settle();
            QVERIFY(!window);
            QCOMPARE(Preferences::shared().boolValue(QStringLiteral("onboarding_show_on_launch")),
                     false);
            QVERIFY(app.registry().dashboardWindow());
            QVERIFY(app.registry().dashboardWindow()->isVisible());
            QCOMPARE(shownTab(app), DashboardTab::kippets);
            auto* view =
                qobject_cast<DashboardView*>(app.registry().dashboardWindow()->centralWidget());
            CreateKippetSheet* sheet = view->creation()->sheet();
            QVERIFY(sheet);
            QVERIFY(sheet->isVisible());
            QCOMPARE(sheet->titleLabel()->text(), QStringLiteral("Create New Kippet"));
            // Nothing is made until the user confirms the sheet.
            QVERIFY(app.manager().allKippets().isEmpty());
            view->creation()->cancel();
        }
        CompositorCheck::install(nullptr);
    }

    void escapeOnTheLastStepStoresNothing() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        window->state()->setShortcut(KeyboardAction::todos, QStringLiteral("y"));
        showCompletion(window);
        QTest::keyClick(window, Qt::Key_Escape);
        settle();
        Preferences& preferences = Preferences::shared();
        QVERIFY(!preferences.contains(QStringLiteral("onboarding_completed")));
        QVERIFY(!preferences.contains(QStringLiteral("icloud_sync_enabled")));
        QVERIFY(!preferences.contains(KeyboardShortcuts::preferenceKey));
        QCOMPARE(tour.app.notifications().count(NotificationName::keyboardShortcutsUpdated), 0);
    }

    void theGuideAndTheSettingsLeaveTheTourOpen() {
        TourFixture tour;
        Workspace workspace;
        workspace.setRecordingOnly(true);
        Workspace::install(&workspace);
        QTemporaryDir folder;
        CompletionStepView::setGuideFolders({folder.path()});
        OnboardingWindow* window = tour.openTour();
        showCompletion(window);

        // Absent: nothing happens.
        QTest::mouseClick(button(window, QStringLiteral("Features Guide")), Qt::LeftButton);
        QVERIFY(workspace.opened().isEmpty());
        QFile guide(folder.filePath(QStringLiteral("Features.md")));
        QVERIFY(guide.open(QIODevice::WriteOnly));
        guide.write("# Kippets features\n");
        guide.close();
        QTest::mouseClick(button(window, QStringLiteral("Features Guide")), Qt::LeftButton);
        QCOMPARE(workspace.opened(),
                 QList<QUrl>{QUrl::fromLocalFile(folder.filePath(QStringLiteral("Features.md")))});

        // A closed dashboard opens on its settings; a visible one is switched to them.
        QTest::mouseClick(button(window, QStringLiteral("Settings")), Qt::LeftButton);
        QVERIFY(tour.app.registry().dashboardWindow()->isVisible());
        QCOMPARE(shownTab(tour.app), DashboardTab::settings);
        QVERIFY(window->isVisible());
        tour.app.registry().showDashboard();
        QCOMPARE(shownTab(tour.app), DashboardTab::kippets);
        QTest::mouseClick(button(window, QStringLiteral("Settings")), Qt::LeftButton);
        QCOMPARE(tour.app.notifications().count(NotificationName::dashboardSwitchToSettings), 1);
        QCOMPARE(shownTab(tour.app), DashboardTab::settings);
        QVERIFY(window->isVisible());
        QVERIFY(!Preferences::shared().contains(QStringLiteral("onboarding_completed")));

        CompletionStepView::setGuideFolders({});
        Workspace::install(nullptr);
    }
};

QTEST_MAIN(CompletionStepTest)
#include "CompletionStepTest.moc"
