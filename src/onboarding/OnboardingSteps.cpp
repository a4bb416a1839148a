#include "onboarding/OnboardingSteps.h"

#include "onboarding/AIFeaturesStepView.h"
#include "onboarding/CompletionStepView.h"
#include "onboarding/ContentStepView.h"
#include "onboarding/ShortcutsStepView.h"
#include "onboarding/TryItOutStepView.h"
#include "onboarding/ViewModesStepView.h"
#include "onboarding/WelcomeStepView.h"
#include "onboarding/iCloudSyncStepView.h"

#include <QWidget>

QWidget* OnboardingSteps::make(int step, OnboardingState* state, QWidget* window, QWidget* parent) {
    switch (step) {
    case 1:
        return new iCloudSyncStepView(state, parent);
    case 2:
        return new ContentStepView(state, parent);
    case 3:
        return new ViewModesStepView(state, parent);
    case 4:
        return new ShortcutsStepView(state, parent);
    case 5:
        return new AIFeaturesStepView(state, parent);
    case 6:
        return new TryItOutStepView(state, window, parent);
    case 7:
        return new CompletionStepView(state, window, parent);
    default:
        return new WelcomeStepView(state, parent);
    }
}
