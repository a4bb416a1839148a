#include "model/ICloudSyncSetting.h"
#include "model/KeyboardAction.h"
#include "model/KeyboardShortcuts.h"
#include "model/KippetError.h"
#include "model/KippetViewMode.h"
#include "model/OnboardingState.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString kShortcutsKey = QStringLiteral("custom_keyboard_shortcuts");

QJsonObject storedShortcuts() {
    KeyboardShortcuts shortcuts;
    shortcuts.todos = QStringLiteral("x");
    shortcuts.dashboard = QStringLiteral("q");
    return shortcuts.toJson();
}
} // namespace

class SettingsRecordsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { TestEnvironment::resetPreferences(); }

    void shortcutsDecodeAllOrNothing() {
        QJsonObject object = storedShortcuts();
        object.insert(QStringLiteral("extra"), QStringLiteral("z"));
        const KeyboardShortcuts decoded = KeyboardShortcuts::fromJson(object);
        QCOMPARE(decoded.todos, QStringLiteral("x"));
        QCOMPARE(decoded.toJson(), storedShortcuts()); // the extra key is dropped

        for (const QJsonValue& broken :
             {QJsonValue(QJsonValue::Undefined), QJsonValue(QJsonValue::Null), QJsonValue(4)}) {
            QJsonObject partial = storedShortcuts();
            if (broken.isUndefined()) {
                partial.remove(QStringLiteral("dashboard"));
            } else {
                partial.insert(QStringLiteral("dashboard"), broken);
            }
            QVERIFY_THROWS_EXCEPTION(JsonDecodingError, KeyboardShortcuts::fromJson(partial));
            QVERIFY(!KeyboardShortcuts::fromJsonBytes(QJsonDocument(partial).toJson()));
        }
        QVERIFY(!KeyboardShortcuts::fromJsonBytes("not json"));
        QCOMPARE(KeyboardShortcuts::fromJsonBytes(KeyboardShortcuts{}.toJsonBytes()),
                 std::optional(KeyboardShortcuts{}));
    }

    void actionsAndViewModesReadOnlyTheirExactTitles() {
        QCOMPARE(allKeyboardActions().size(), 7);
        QCOMPARE(keyboardActionFromRaw(QStringLiteral("Toggle Expand/Collapse")),
                 std::optional(KeyboardAction::expand));
        QCOMPARE(keyboardActionFromRaw(QStringLiteral("open todos")), std::nullopt);
        KeyboardShortcuts shortcuts;
        QCOMPARE(shortcutField(shortcuts, KeyboardAction::import), QStringLiteral("i"));
        QCOMPARE(shortcutField(shortcuts, KeyboardAction::paste), QStringLiteral("v"));
        QCOMPARE(rawValue(KeyboardAction::dashboard), QStringLiteral("Show Dashboard"));

        QCOMPARE(kippetViewModeFromRaw(QStringLiteral("Mini")),
                 std::optional(KippetViewMode::mini));
        QCOMPARE(kippetViewModeFromRaw(QStringLiteral("mini")), std::nullopt);
    }

    void tourStartsFromStoredShortcutsOrAllDefaults() {
        Preferences::shared().setData(kShortcutsKey, QJsonDocument(storedShortcuts()).toJson());
        QCOMPARE(OnboardingState().customShortcuts().todos, QStringLiteral("x"));

        QJsonObject partial = storedShortcuts();
        partial.remove(QStringLiteral("dashboard"));
        Preferences::shared().setData(kShortcutsKey, QJsonDocument(partial).toJson());
        OnboardingState state;
        QCOMPARE(state.customShortcuts(), KeyboardShortcuts{});
        QVERIFY(!state.shortcutsModified());
        QCOMPARE(state.currentStep(), 0);
        QCOMPARE(state.previewMode(), KippetViewMode::collapsed);
        QVERIFY(state.iCloudSyncPreference()); // never written: on
    }

    void pagesStayWithinTheTour() {
        OnboardingState state;
        QSignalSpy spy(&state, &OnboardingState::currentStepChanged);
        state.previousStep();
        QCOMPARE(state.currentStep(), 0);
        for (int i = 0; i < 9; ++i) {
            state.nextStep();
        }
        QCOMPARE(state.currentStep(), 7);
        QCOMPARE(spy.count(), 7);
    }

    void shortcutsAreStoredLowerCasedAndSavedWithANotification() {
        OnboardingState state;
        state.setShortcut(KeyboardAction::todos, QStringLiteral("X"));
        state.setShortcut(KeyboardAction::notes, QString());
        QCOMPARE(state.customShortcuts().todos, QStringLiteral("x"));
        QCOMPARE(state.customShortcuts().notes, QString());
        QVERIFY(state.shortcutsModified());

        QObject context;
        QVariant posted;
        NotificationCenter::shared().observe(NotificationName::keyboardShortcutsUpdated, &context,
                                             [&posted](const auto& n) { posted = n.object; });
        state.saveShortcuts();
        QVERIFY(!state.shortcutsModified());
        QCOMPARE(posted.value<KeyboardShortcuts>(), state.customShortcuts());
        const auto data = Preferences::shared().dataValue(kShortcutsKey);
        QVERIFY(data);
        QCOMPARE(KeyboardShortcuts::fromJsonBytes(*data), std::optional(state.customShortcuts()));

        state.resetShortcuts();
        QCOMPARE(state.customShortcuts(), KeyboardShortcuts{});
        QCOMPARE(Preferences::shared().dataValue(kShortcutsKey), data); // not saved until asked
    }

    void tasksAreASet() {
        OnboardingState state;
        QSignalSpy spy(&state, &OnboardingState::completedTasksChanged);
        state.markTaskCompleted(QStringLiteral("paste"));
        state.markTaskCompleted(QStringLiteral("paste"));
        QCOMPARE(state.completedTasks(), QSet<QString>{QStringLiteral("paste")});
        QCOMPARE(spy.count(), 1);
    }

    void completingTheTourWritesItsOutcome() {
        {
            LogCapture log;
            QVERIFY(isICloudSyncEnabled());
            setICloudSyncEnabled(false);
            QCOMPARE(log.lines(),
                     (QStringList{QStringLiteral("[iCloud Sync] Preference key "
                                                 "'icloud_sync_enabled' not set in preferences — "
                                                 "defaulting to true (iCloud enabled)"),
                                  QStringLiteral("[iCloud Sync] Setting preference: nil (unset) → "
                                                 "false"),
                                  QStringLiteral("[iCloud Sync] Preferences saved. Key "
                                                 "'icloud_sync_enabled' = false")}));
        }
        OnboardingState state;
        QVERIFY(!state.iCloudSyncPreference());
        Preferences::shared().remove(QStringLiteral("icloud_sync_enabled"));
        LogCapture log;
        state.completeOnboarding(false);
        QCOMPARE(log.lines(),
                 (QStringList{
                     QStringLiteral(
                         "[iCloud Sync] Onboarding complete — saving iCloud preference: false"),
                     QStringLiteral("[iCloud Sync]   Note: This takes effect on next app launch "
                                    "(container already created for this session)"),
                     QStringLiteral("[iCloud Sync] Setting preference: nil (unset) → false"),
                     QStringLiteral("[iCloud Sync] Preferences saved. Key "
                                    "'icloud_sync_enabled' = false")}));

        Preferences& preferences = Preferences::shared();
        QCOMPARE(preferences.boolValue(QStringLiteral("onboarding_completed")),
                 std::optional(true));
        QCOMPARE(preferences.boolValue(QStringLiteral("onboarding_show_on_launch")),
                 std::optional(false));
        QVERIFY(!isICloudSyncEnabled());
        QVERIFY(log.contains(
            QStringLiteral("[iCloud Sync] Preference key 'icloud_sync_enabled' = false")));
    }
};

QTEST_GUILESS_MAIN(SettingsRecordsTest)
#include "SettingsRecordsTest.moc"
