#include "onboarding/iCloudSyncStepView.h"

#include "app/SyncAvailability.h"
#include "model/OnboardingState.h"
#include "onboarding/RoundedPanel.h"
#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "onboarding/iCloudBenefitRow.h"
#include "ui/CrossFade.h"
#include "ui/SymbolNames.h"

#include <QCheckBox>
#include <QLabel>

using Theme::Named;
using Theme::TextStyle;

namespace {
QLabel* label(const QString& text, TextStyle style, bool secondary, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    TourStyle::applyText(label, style, secondary);
    return label;
}

QWidget* header(QWidget* parent) {
    auto* box = new QWidget(parent);
    StackBuilder stack(plainColumn(box), 6);
    QLabel* title = label(QStringLiteral("Sync Across Devices"), TextStyle::largeTitle, false, box);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    stack.add(title);
    stack.add(label(QStringLiteral("Keep your kippets in sync with iCloud"), TextStyle::title3,
                    true, box));
    return box;
}

// A widget with the given side margins around one child.
QWidget* padded(QWidget* child, int horizontal, QWidget* parent) {
    auto* box = new QWidget(parent);
    QHBoxLayout* row = plainRow(box);
    row->setContentsMargins(horizontal, 0, horizontal, 0);
    row->addWidget(child);
    return box;
}
} // namespace

iCloudSyncStepView::iCloudSyncStepView(OnboardingState* state, QWidget* parent)
    : QWidget(parent), state_(state), available_(SyncAvailability::isAvailable()) {
    StackBuilder stack(plainColumn(this), 24);
    stack.addFlexible();
    auto* cloud = new SymbolView(SymbolNames::icloudFill, 70, this);
    cloud->setGradient(Named::blue, Named::cyan);
    cloud->setGlow(Named::blue, 0.3, 20);
    stack.add(cloud);
    stack.add(header(this));

    auto* cards = new QWidget(this);
    StackBuilder cardStack(plainColumn(cards), 16);
    cardStack.add(switchCard(), {});
    cardStack.add(statusCard(), {});
    stack.add(padded(cards, 40, this), {});
    statusFade_ = new CrossFade(status_);
    stack.add(padded(benefits(), 60, this), {});
    stack.addFlexible();

    showStatus(false);
    if (state_ && available_) {
        connect(state_, &OnboardingState::iCloudSyncPreferenceChanged, this,
                [this] { showStatus(true); });
    }
}

QWidget* iCloudSyncStepView::switchCard() {
    auto* card = new RoundedPanel(this);
    card->setFill(Named::accent, 0.08);
    card->setCornerRadius(12);
    QHBoxLayout* row = plainRow(card);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(8);
    auto* texts = new QWidget(card);
    StackBuilder column(plainColumn(texts), 4);
    column.add(label(QStringLiteral("iCloud Sync"), TextStyle::headline, false, texts),
               Qt::AlignLeft);
    column.add(label(QStringLiteral("Sync kippets across all your devices"), TextStyle::caption,
                     true, texts),
               Qt::AlignLeft);
    row->addWidget(texts);
    row->addStretch(1);

    toggle_ = new QCheckBox(card);
    toggle_->setObjectName(QStringLiteral("ICloudSyncToggle"));
    toggle_->setAccessibleName(QStringLiteral("iCloud Sync"));
    // Off where nothing can synchronise, as the card beside it says; the tour still keeps the
    // stored choice for the finish to write back.
    toggle_->setChecked(available_ && state_ && state_->iCloudSyncPreference());
    toggle_->setEnabled(available_);
    if (available_) {
        connect(toggle_, &QCheckBox::toggled, this, [this](bool on) {
            if (state_) {
                state_->setICloudSyncPreference(on);
            }
        });
    }
    row->addWidget(toggle_);
    return card;
}

QWidget* iCloudSyncStepView::statusCard() {
    status_ = new RoundedPanel(this);
    status_->setObjectName(QStringLiteral("ICloudStatusCard"));
    status_->setCornerRadius(12);
    QHBoxLayout* row = plainRow(status_);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(12);
    statusSymbol_ = new SymbolView(QString(), Theme::font(TextStyle::title2).pixelSize(), status_);
    statusSymbol_->setObjectName(QStringLiteral("ICloudStatusSymbol"));
    row->addWidget(statusSymbol_);
    auto* texts = new QWidget(status_);
    StackBuilder column(plainColumn(texts), 4);
    statusTitle_ = label(QString(), TextStyle::headline, false, texts);
    statusTitle_->setObjectName(QStringLiteral("ICloudStatusTitle"));
    column.add(statusTitle_, Qt::AlignLeft);
    statusExplanation_ = label(QString(), TextStyle::caption, true, texts);
    statusExplanation_->setObjectName(QStringLiteral("ICloudStatusExplanation"));
    statusExplanation_->setWordWrap(true);
    // The full width, so that a long explanation wraps instead of being cut.
    column.add(statusExplanation_, {});
    row->addWidget(texts, 1);
    return status_;
}

QWidget* iCloudSyncStepView::benefits() {
    auto* box = new QWidget(this);
    StackBuilder column(plainColumn(box), 10);
    column.add(new iCloudBenefitRow(SymbolNames::arrowTriangle2Circlepath,
                                    QStringLiteral("Access kippets from your other devices"), box),
               Qt::AlignLeft);
    column.add(new iCloudBenefitRow(SymbolNames::externaldriveFill,
                                    QStringLiteral("Data is always stored locally too"), box),
               Qt::AlignLeft);
    column.add(new iCloudBenefitRow(SymbolNames::gear,
                                    QStringLiteral("Change this anytime in Settings"), box),
               Qt::AlignLeft);
    return box;
}

void iCloudSyncStepView::showStatus(bool animated) {
    if (animated)
        statusFade_->capture();
    const bool on = available_ && state_ && state_->iCloudSyncPreference();
    statusSymbol_->setSymbol(on ? SymbolNames::checkmarkIcloudFill : SymbolNames::xmarkIcloud);
    statusSymbol_->setColor(on ? Named::green : Named::secondary);
    statusTitle_->setText(on ? QStringLiteral("Sync Enabled") : QStringLiteral("Local Only"));
    if (!available_) {
        statusExplanation_->setText(QStringLiteral("iCloud sync is not available on this system. "
                                                   "Your kippets are stored on this computer "
                                                   "only."));
    } else if (on) {
        statusExplanation_->setText(QStringLiteral("Your kippets will sync across all devices "
                                                   "signed into your iCloud account."));
    } else {
        statusExplanation_->setText(
            QStringLiteral("Your kippets will only be stored on this computer."));
    }

    status_->setFill(on ? Named::green : Named::secondary, 0.08);
    if (animated)
        statusFade_->start(
            std::chrono::milliseconds(TourStyle::durationMs(TourStyle::Spring::status)),
            TourStyle::easing(TourStyle::Spring::status));
}
