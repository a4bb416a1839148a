#include "onboarding/OnboardingNavigationBar.h"

#include "model/OnboardingState.h"
#include "onboarding/TourButtons.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"

#include <QPushButton>

namespace {
QPushButton* button(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFont(Theme::font(Theme::TextStyle::body));
    return button;
}

void setSymbol(QPushButton* button, const QString& symbol, const QColor& color) {
    const int points = Theme::font(Theme::TextStyle::body).pixelSize();
    button->setIcon(Symbols::icon(symbol, color));
    button->setIconSize(QSize(points, points));
}
} // namespace

OnboardingNavigationBar::OnboardingNavigationBar(OnboardingState* state, QWidget* window,
                                                 QWidget* parent)
    : QWidget(parent), state_(state), window_(window) {
    QHBoxLayout* row = plainRow(this);
    row->setSpacing(8);

    skip_ = button(QStringLiteral("Skip Onboarding"), QStringLiteral("SkipOnboardingButton"), this);
    TourButtons::style(skip_, TourButtons::Kind::plain);
    // Closing is the window's one way out; nothing is saved and nothing animates.
    connect(skip_, &QPushButton::clicked, this, [this] {
        if (window_) {
            window_->close();
        }
    });
    row->addWidget(skip_);
    row->addStretch(1);

    back_ = button(QStringLiteral("Back"), QStringLiteral("BackButton"), this);
    TourButtons::style(back_, TourButtons::Kind::bordered);
    setSymbol(back_, SymbolNames::chevronLeft, Theme::color(Theme::Named::primary, palette()));
    connect(back_, &QPushButton::clicked, this, [this] {
        if (state_) {
            state_->previousStep();
        }
    });
    row->addWidget(back_);

    next_ = button(QStringLiteral("Next"), QStringLiteral("NextButton"), this);
    TourButtons::style(next_, TourButtons::Kind::prominent);
    setSymbol(next_, SymbolNames::chevronRight, Qt::white);
    connect(next_, &QPushButton::clicked, this, [this] {
        if (state_) {
            state_->nextStep();
        }
    });
    row->addWidget(next_);

    if (state_) {
        connect(state_, &OnboardingState::currentStepChanged, this,
                &OnboardingNavigationBar::followStep);
    }
    followStep();
}

void OnboardingNavigationBar::followStep() {
    const int step = state_ ? state_->currentStep() : 0;
    skip_->setVisible(step != OnboardingState::lastStep);
    back_->setVisible(step >= 1);
    next_->setVisible(step <= OnboardingState::lastStep - 1);
}
