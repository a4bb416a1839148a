#pragma once

#include "model/OnboardingState.h"

#include <QPointer>
#include <QWidget>

class QPushButton;

// "Skip Onboarding" on the left, "Back" and "Next" on the right, each shown only on the steps
// where it applies; a hidden button takes no room. None has a keyboard shortcut: the arrow keys
// work through the tour window.
class OnboardingNavigationBar : public QWidget {
    Q_OBJECT
public:
    OnboardingNavigationBar(OnboardingState* state, QWidget* window, QWidget* parent = nullptr);

private:
    void followStep();

    QPointer<OnboardingState> state_;
    QPointer<QWidget> window_;
    QPushButton* skip_;
    QPushButton* back_;
    QPushButton* next_;
};
