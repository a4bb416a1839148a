#include "onboarding/OnboardingSteps.h"

#include "onboarding/ContentStepView.h"
#include "onboarding/WelcomeStepView.h"
#include "onboarding/iCloudSyncStepView.h"

#include <QWidget>

QWidget* OnboardingSteps::make(int step, OnboardingState* state, QWidget* window, QWidget* parent) {
    Q_UNUSED(window);
    switch (step) {
    case 1:
        return new iCloudSyncStepView(state, parent);
    case 2:
        return new ContentStepView(state, parent);
    case 3:
    case 4:
    case 5:
    case 6:
    case 7: {
        // The view modes, shortcuts, analysis, hands-on and completion steps come later.
        auto* page = new QWidget(parent);
        page->setObjectName(QStringLiteral("EmptyStep"));
        return page;
    }
    default:
        return new WelcomeStepView(state, parent);
    }
}
