#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

class OnboardingState;
class QCheckBox;
class QPushButton;

// Step 7, the end of the tour: a quick reference of the main keys, where the dashboard is, the
// features guide and the settings, and the two buttons that finish the tour. Finishing is the
// only way the tour's outcome is stored: unsaved shortcut changes, "onboarding_completed",
// "onboarding_show_on_launch" and the iCloud choice.
class CompletionStepView : public QWidget {
    Q_OBJECT
public:
    CompletionStepView(OnboardingState* state, QWidget* window, QWidget* parent = nullptr);

    // Where "Features.md" is looked for, in order: beside the executable, then the installed data
    // folder. Tests point it elsewhere; an empty list restores the default.
    static void setGuideFolders(const QStringList& folders);
    // The guide's path, or an empty string when it is nowhere.
    static QString featuresGuidePath();

    QCheckBox* dontShowAgain() const { return dontShowAgain_; }

private:
    QWidget* quickReference();
    QWidget* dashboardCard();
    QWidget* links();
    QWidget* finishButtons();
    void finishOnboarding();
    void closeTour();

    QPointer<OnboardingState> state_;
    QPointer<QWidget> window_;
    QCheckBox* dontShowAgain_ = nullptr;
};
