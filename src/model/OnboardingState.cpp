#include "model/OnboardingState.h"

#include "model/ICloudSyncSetting.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"

namespace {
template <typename T, typename Signal>
void assign(OnboardingState* state, T& field, const T& value, Signal signal) {
    if (field == value) {
        return;
    }
    field = value;
    emit(state->*signal)();
}
} // namespace

OnboardingState::OnboardingState(QObject* parent)
    : QObject(parent), iCloudSyncPreference_(isICloudSyncEnabled()) {
    if (const auto data = Preferences::shared().dataValue(KeyboardShortcuts::preferenceKey)) {
        if (const auto stored = KeyboardShortcuts::fromJsonBytes(*data)) {
            customShortcuts_ = *stored;
        }
    }
}

void OnboardingState::setCurrentStep(int value) {
    assign(this, currentStep_, value, &OnboardingState::currentStepChanged);
}
void OnboardingState::setCustomShortcuts(const KeyboardShortcuts& value) {
    assign(this, customShortcuts_, value, &OnboardingState::customShortcutsChanged);
}
void OnboardingState::setCompletedTasks(const QSet<QString>& value) {
    assign(this, completedTasks_, value, &OnboardingState::completedTasksChanged);
}
void OnboardingState::setPreviewMode(KippetViewMode value) {
    assign(this, previewMode_, value, &OnboardingState::previewModeChanged);
}
void OnboardingState::setDemoKippet(Kippet* value) {
    demoKippet_ = value;
    emit demoKippetChanged();
}
void OnboardingState::setShortcutsModified(bool value) {
    assign(this, shortcutsModified_, value, &OnboardingState::shortcutsModifiedChanged);
}
void OnboardingState::setICloudSyncPreference(bool value) {
    assign(this, iCloudSyncPreference_, value, &OnboardingState::iCloudSyncPreferenceChanged);
}

void OnboardingState::nextStep() {
    if (currentStep_ < lastStep) {
        setCurrentStep(currentStep_ + 1);
    }
}

void OnboardingState::previousStep() {
    if (currentStep_ > 0) {
        setCurrentStep(currentStep_ - 1);
    }
}

void OnboardingState::setShortcut(KeyboardAction action, const QString& key) {
    KeyboardShortcuts shortcuts = customShortcuts_;
    shortcutField(shortcuts, action) = key.toLower();
    setCustomShortcuts(shortcuts);
    setShortcutsModified(true);
}

void OnboardingState::resetShortcuts() {
    setCustomShortcuts(KeyboardShortcuts{});
    setShortcutsModified(true);
}

void OnboardingState::saveShortcuts() {
    Preferences::shared().setData(KeyboardShortcuts::preferenceKey, customShortcuts_.toJsonBytes());
    NotificationCenter::shared().post(NotificationName::keyboardShortcutsUpdated,
                                      QVariant::fromValue(customShortcuts_));
    setShortcutsModified(false);
}

void OnboardingState::markTaskCompleted(const QString& identifier) {
    if (completedTasks_.contains(identifier)) {
        return;
    }
    completedTasks_.insert(identifier);
    emit completedTasksChanged();
}

void OnboardingState::completeOnboarding(bool showOnLaunch) {
    Preferences& preferences = Preferences::shared();
    preferences.setBool(QStringLiteral("onboarding_completed"), true);
    preferences.setBool(QStringLiteral("onboarding_show_on_launch"), showOnLaunch);
    Log::line(QStringLiteral("[iCloud Sync] Onboarding complete — saving iCloud preference: ") +
              (iCloudSyncPreference_ ? QStringLiteral("true") : QStringLiteral("false")));
    Log::line(QStringLiteral("[iCloud Sync]   Note: This takes effect on next app launch "
                             "(container already created for this session)"));
    setICloudSyncEnabled(iCloudSyncPreference_);
}
