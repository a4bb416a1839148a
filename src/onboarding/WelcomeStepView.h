#pragma once

#include "model/OnboardingState.h"

#include <QPointer>
#include <QWidget>

// Step 0: the product's name, four feature tiles and "Get Started", which moves on like "Next".
class WelcomeStepView : public QWidget {
    Q_OBJECT
public:
    explicit WelcomeStepView(OnboardingState* state, QWidget* parent = nullptr);

private:
    QPointer<OnboardingState> state_;
};
