#include "onboarding/OnboardingView.h"

#include "model/OnboardingState.h"
#include "onboarding/OnboardingNavigationBar.h"
#include "onboarding/OnboardingProgressDots.h"
#include "onboarding/OnboardingStepArea.h"
#include "onboarding/OnboardingSteps.h"
#include "onboarding/TourLayout.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/KippetManager.h"

OnboardingView::OnboardingView(OnboardingState* state, QWidget* window, QWidget* parent)
    : QWidget(parent), state_(state), window_(window) {
    state_->setParent(this);
    QVBoxLayout* column = plainColumn(this);

    dots_ = new OnboardingProgressDots(state_->currentStep(), totalSteps, this);
    auto* dotsRow = new QWidget(this);
    QHBoxLayout* dotsLayout = plainRow(dotsRow);
    dotsLayout->setContentsMargins(0, 24, 0, 16);
    dotsLayout->addWidget(dots_, 0, Qt::AlignCenter);
    column->addWidget(dotsRow);

    stepArea_ = new OnboardingStepArea(this);
    auto* stepRow = new QWidget(this);
    QHBoxLayout* stepLayout = plainRow(stepRow);
    stepLayout->setContentsMargins(32, 0, 32, 0);
    stepLayout->addWidget(stepArea_);
    column->addWidget(stepRow, 1);

    bar_ = new OnboardingNavigationBar(state_, window, this);
    auto* barRow = new QWidget(this);
    QHBoxLayout* barLayout = plainRow(barRow);
    barLayout->setContentsMargins(32, 20, 32, 20);
    barLayout->addWidget(bar_);
    column->addWidget(barRow);

    stepArea_->setStep(OnboardingSteps::make(state_->currentStep(), state_, window_, stepArea_));
    connect(state_, &OnboardingState::currentStepChanged, this, &OnboardingView::showCurrentStep);

    NotificationCenter& center = NotificationCenter::shared();
    center.observe(NotificationName::onboardingGoBack, this, [this](const auto&) {
        if (state_) {
            state_->previousStep();
        }
    });
    center.observe(NotificationName::onboardingGoNext, this, [this](const auto&) {
        if (state_) {
            state_->nextStep();
        }
    });
    center.observe(NotificationName::onboardingWindowClosing, this,
                   [this](const auto&) { removeDemoKippet(); });
}

OnboardingView::~OnboardingView() {
    // Before the state, and the demo kippet it owns, go away with this view.
    removeDemoKippet();
}

QWidget* OnboardingView::stepView() const {
    return stepArea_->step();
}

void OnboardingView::showCurrentStep() {
    const int step = state_->currentStep();
    dots_->setCurrentStep(step);
    stepArea_->setStep(OnboardingSteps::make(step, state_, window_, stepArea_));
    // A focused widget of the old step hands the focus on to the next in the chain, a button of
    // the bar; the tour keeps no button focused.
    setFocus(Qt::OtherFocusReason);
}

void OnboardingView::removeDemoKippet() {
    if (state_ && state_->demoKippet()) {
        KippetManager::shared().removeDemoKippet(state_->demoKippet());
    }
}
