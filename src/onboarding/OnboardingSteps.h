#pragma once

class OnboardingState;
class QWidget;

// The view of one step of the tour, built afresh each time the step comes on screen. A step
// number outside the tour shows the welcome step.
namespace OnboardingSteps {
QWidget* make(int step, OnboardingState* state, QWidget* window, QWidget* parent);
} // namespace OnboardingSteps
