#pragma once

#include "model/KeyboardAction.h"
#include "model/KeyboardShortcuts.h"
#include "model/Kippet.h"
#include "model/KippetViewMode.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

// The state of one run of the guided tour, shared by its pages. GUI thread only. Setters notify
// only on a change, except the demo kippet, which notifies on every write.
class OnboardingState : public QObject {
    Q_OBJECT
public:
    static constexpr int lastStep = 7;

    // Starts at page 0 with the stored shortcuts (the defaults when none decode) and the
    // store's current iCloud choice.
    explicit OnboardingState(QObject* parent = nullptr);

    int currentStep() const { return currentStep_; }
    KeyboardShortcuts customShortcuts() const { return customShortcuts_; }
    QSet<QString> completedTasks() const { return completedTasks_; }
    KippetViewMode previewMode() const { return previewMode_; }
    // Owned by the manager; the pointer clears itself when the kippet goes away.
    Kippet* demoKippet() const { return demoKippet_; }
    bool shortcutsModified() const { return shortcutsModified_; }
    bool iCloudSyncPreference() const { return iCloudSyncPreference_; }

    void setCurrentStep(int value);
    void setCustomShortcuts(const KeyboardShortcuts& value);
    void setCompletedTasks(const QSet<QString>& value);
    void setPreviewMode(KippetViewMode value);
    void setDemoKippet(Kippet* value);
    void setShortcutsModified(bool value);
    void setICloudSyncPreference(bool value);

    void nextStep();
    void previousStep();
    // Stores the key in lower case, unvalidated, and marks the shortcuts modified.
    void setShortcut(KeyboardAction action, const QString& key);
    void resetShortcuts();
    // Writes "custom_keyboard_shortcuts" and posts "KeyboardShortcutsUpdated" with the value.
    void saveShortcuts();
    void markTaskCompleted(const QString& identifier);
    // Writes the tour's outcome; the iCloud choice applies from the next launch.
    void completeOnboarding(bool showOnLaunch);

signals:
    void currentStepChanged();
    void customShortcutsChanged();
    void completedTasksChanged();
    void previewModeChanged();
    void demoKippetChanged();
    void shortcutsModifiedChanged();
    void iCloudSyncPreferenceChanged();

private:
    int currentStep_ = 0;
    KeyboardShortcuts customShortcuts_;
    QSet<QString> completedTasks_;
    KippetViewMode previewMode_ = KippetViewMode::collapsed;
    QPointer<Kippet> demoKippet_;
    bool shortcutsModified_ = false;
    bool iCloudSyncPreference_ = true;
};
