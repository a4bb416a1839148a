#pragma once

#include "model/OnboardingState.h"

#include <QPointer>
#include <QWidget>

class OnboardingNavigationBar;
class OnboardingProgressDots;
class OnboardingStepArea;

// The tour's frame: progress dots on top, the current step in the middle, the navigation bar at
// the bottom. It owns the tour's state (and with it the demo kippet), moves between the steps on
// "OnboardingGoBack" and "OnboardingGoNext", and takes the demo kippet off the open kippets when
// the tour closes and again when it goes away; the second time finds it gone.
class OnboardingView : public QWidget {
    Q_OBJECT
public:
    static constexpr int totalSteps = 8;

    // Takes ownership of the state.
    OnboardingView(OnboardingState* state, QWidget* window, QWidget* parent = nullptr);
    ~OnboardingView() override;

    OnboardingState* state() const { return state_; }
    QWidget* stepView() const;
    OnboardingProgressDots* progressDots() const { return dots_; }

private:
    void showCurrentStep();
    void removeDemoKippet();

    QPointer<OnboardingState> state_;
    QPointer<QWidget> window_;
    OnboardingProgressDots* dots_;
    OnboardingStepArea* stepArea_;
    OnboardingNavigationBar* bar_;
};
