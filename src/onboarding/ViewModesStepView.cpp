#include "onboarding/ViewModesStepView.h"

#include "model/OnboardingState.h"
#include "onboarding/ShortcutBadge.h"
#include "onboarding/StepHeader.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "onboarding/ViewModeCard.h"
#include "onboarding/ViewModePreview.h"
#include "platform/ClockTimer.h"

#include <QLabel>

using Theme::TextStyle;

namespace {
// A gap of the stack's spacing; it holds, so that the flexible spaces alone give way.
void addGap(QVBoxLayout* layout, int height) {
    layout->addSpacerItem(new QSpacerItem(0, height, QSizePolicy::Minimum, QSizePolicy::Fixed));
}

KippetViewMode following(KippetViewMode mode) {
    const QList<KippetViewMode>& modes = allKippetViewModes();
    return modes[(modes.indexOf(mode) + 1) % modes.size()];
}
} // namespace

ViewModesStepView::ViewModesStepView(OnboardingState* state, QWidget* parent)
    : QWidget(parent), state_(state), rotationTimer_(new ClockTimer(this)) {
    rotationTimer_->setInterval(rotationInterval);
    connect(rotationTimer_, &ClockTimer::timeout, this, &ViewModesStepView::rotate);

    QVBoxLayout* column = plainColumn(this);
    column->addWidget(new StepHeader(QStringLiteral("Three Ways to View Your Kippets"),
                                     QStringLiteral("Kippets adapt to your workflow with flexible "
                                                    "view modes"),
                                     8, 16, this));
    addGap(column, 20);
    column->addStretch(1);
    addGap(column, 20);
    column->addWidget(modeCards());
    addGap(column, 20);
    column->addWidget(previewSection());
    addGap(column, 20);
    column->addWidget(shortcutBadges(), 0, Qt::AlignHCenter);
    addGap(column, 20);
    column->addStretch(1);

    showPreviewMode();
    if (state_) {
        connect(state_, &OnboardingState::previewModeChanged, this,
                &ViewModesStepView::showPreviewMode);
    }
}

QWidget* ViewModesStepView::modeCards() {
    auto* box = new QWidget(this);
    QHBoxLayout* row = plainRow(box);
    row->setContentsMargins(16, 0, 16, 0);
    row->setSpacing(16);
    for (const KippetViewMode mode : allKippetViewModes()) {
        auto* card = new ViewModeCard(mode, box);
        card->setObjectName(QStringLiteral("viewMode_") + rawValue(mode));
        connect(card, &ViewModeCard::clicked, this, [this, mode] { select(mode); });
        row->addWidget(card, 1, Qt::AlignVCenter);
        cards_.append(card);
    }
    return box;
}

QWidget* ViewModesStepView::previewSection() {
    auto* box = new QWidget(this);
    QVBoxLayout* column = plainColumn(box);
    auto* label = new QLabel(QStringLiteral("Preview"), box);
    TourStyle::applyText(label, TextStyle::caption, true);
    column->addWidget(label, 0, Qt::AlignHCenter);
    // The label's own padding below, then the stack's default spacing.
    column->addSpacing(8 + 8);
    preview_ = new ViewModePreview(state_ ? state_->previewMode() : KippetViewMode::collapsed, box);
    // The step's stack with its spacing is taller than the tour leaves it; the preview, the one
    // part with room to spare, gives way instead of the gaps, down to what its mocks need.
    preview_->setMinimumHeight(minimumPreviewHeight);
    preview_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    column->addWidget(preview_);
    return box;
}

QWidget* ViewModesStepView::shortcutBadges() {
    auto* box = new QWidget(this);
    QVBoxLayout* column = plainColumn(box);
    column->setContentsMargins(0, 8, 0, 8);
    StackBuilder stack(column, 8);
    auto* label = new QLabel(QStringLiteral("Keyboard Shortcuts"), box);
    TourStyle::applyText(label, TextStyle::headline, true);
    stack.add(label);
    // Fixed letters: the tour teaches the default keys, whatever the user stored.
    auto* badges = new QWidget(box);
    QHBoxLayout* row = plainRow(badges);
    row->setSpacing(24);
    row->addWidget(
        new ShortcutBadge(QStringLiteral("E"), QStringLiteral("Toggle expand/collapse"), badges));
    row->addWidget(
        new ShortcutBadge(QStringLiteral("M"), QStringLiteral("Toggle mini view"), badges));
    row->addWidget(
        new ShortcutBadge(QStringLiteral("C"), QStringLiteral("Collapse when expanded"), badges));
    stack.add(badges);
    return box;
}

bool ViewModesStepView::isRotating() const {
    return rotationTimer_->isActive();
}

void ViewModesStepView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // One timer only: a second appearance replaces the first one's period.
    rotationTimer_->stop();
    if (autoRotate_) {
        rotationTimer_->start();
    }
}

void ViewModesStepView::hideEvent(QHideEvent* event) {
    rotationTimer_->stop();
    QWidget::hideEvent(event);
}

void ViewModesStepView::select(KippetViewMode mode) {
    if (state_) {
        state_->setPreviewMode(mode);
    }
    autoRotate_ = false;
    rotationTimer_->stop();
}

void ViewModesStepView::rotate() {
    if (!autoRotate_ || !state_) {
        return;
    }
    state_->setPreviewMode(following(state_->previewMode()));
}

void ViewModesStepView::showPreviewMode() {
    const KippetViewMode mode = state_ ? state_->previewMode() : KippetViewMode::collapsed;
    preview_->setMode(mode, true);
    for (ViewModeCard* card : std::as_const(cards_)) {
        card->setSelected(card->mode() == mode);
    }
}
