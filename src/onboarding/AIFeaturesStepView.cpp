#include "onboarding/AIFeaturesStepView.h"

#include "analysis/AIPreferences.h"
#include "analysis/LocalModelServer.h"
#include "analysis/OpenAIAnalyzer.h"
#include "model/OnboardingState.h"
#include "onboarding/AIModeCard.h"
#include "onboarding/RoundedPanel.h"
#include "onboarding/StepHeader.h"
#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "platform/Animations.h"
#include "platform/Preferences.h"
#include "ui/CrossFade.h"
#include "ui/SymbolNames.h"

#include <QLabel>

using Theme::Named;
using Theme::TextStyle;

namespace {
constexpr int sidePadding = 16;

QWidget* padded(QWidget* child, int top, QWidget* parent) {
    auto* box = new QWidget(parent);
    QHBoxLayout* row = plainRow(box);
    row->setContentsMargins(sidePadding, top, sidePadding, 0);
    row->addWidget(child);
    return box;
}

struct ModePanel {
    QString symbol;
    Named tint;
    QString headline;
    QString caption;
};

ModePanel panelFor(AIMode mode, bool onDeviceAvailable) {
    switch (mode) {
    case AIMode::onDevice:
        return {SymbolNames::lockShieldFill, Named::green,
                QStringLiteral("Your data never leaves this computer"),
                onDeviceAvailable
                    ? QStringLiteral("A local model analyzes content privately on this computer.")
                    : QStringLiteral("No local model is available right now. Content will be "
                                     "organized by keyword heuristics until one is.")};
    case AIMode::byok:
        return {SymbolNames::network, Named::blue, QStringLiteral("Requires an OpenAI API key"),
                QStringLiteral("Content is sent to OpenAI for analysis. Set your API key in "
                               "Settings after this tour.")};
    case AIMode::off:
        break;
    }
    return {SymbolNames::folderBadgeGearshape, Named::secondary,
            QStringLiteral("Basic organization only"),
            QStringLiteral("Items are categorized by file type and keywords — no AI analysis.")};
}
} // namespace

AIFeaturesStepView::AIFeaturesStepView(OnboardingState* state, QWidget* parent)
    : QWidget(parent), state_(state),
      // Writes "ai_mode" when it is still unset and the key's presence is known: the key decides
      // between the two models.
      preferences_(
          new AIPreferences(Preferences::shared(), OpenAIAnalyzer::defaultKeyPresence(), this)),
      onDeviceStatusLabel_(QStringLiteral("Checking…")) {
    QVBoxLayout* column = plainColumn(this);
    column->addStretch(1);
    auto* header = new StepHeader(QStringLiteral("Choose How AI Works"),
                                  QStringLiteral("Kippets can analyze and categorize your content "
                                                 "automatically"),
                                  6, 12, this);
    header->layout()->setContentsMargins(0, 12, 0, 20);
    column->addWidget(header);
    column->addWidget(modeCards());
    column->addWidget(infoSection());
    panelFade_ = new CrossFade(panel_);
    column->addWidget(noteRow());
    column->addStretch(1);

    connect(preferences_, &AIPreferences::modeChanged, this, &AIFeaturesStepView::showMode);
    connect(&LocalModelServer::shared(), &LocalModelServer::probeAnswered, this,
            [this] { updateOnDeviceStatus(LocalModelServer::shared().unavailableReason()); });
    showMode();
}

QWidget* AIFeaturesStepView::modeCards() {
    auto* box = new QWidget(this);
    QVBoxLayout* column = plainColumn(box);
    column->setContentsMargins(sidePadding, 0, sidePadding, 0);
    column->setSpacing(10);
    struct Card {
        AIMode mode;
        QLatin1StringView icon;
        QString title;
        QString subtitle;
        const char* name;
    };
    const Card cards[] = {
        {AIMode::onDevice, SymbolNames::appleIntelligence, QStringLiteral("On-device Intelligence"),
         QStringLiteral("Private, free, works offline — no account needed"), "aiMode_onDevice"},
        {AIMode::byok, SymbolNames::keyFill, QStringLiteral("Use My Own OpenAI Key"),
         QStringLiteral("Send content to OpenAI GPT-4o — requires an API key in Settings"),
         "aiMode_byok"},
        {AIMode::off, SymbolNames::xmarkCircle, QStringLiteral("No AI"),
         QStringLiteral("Organize by file type only — you can change this later in Settings"),
         "aiMode_off"},
    };
    for (const Card& shown : cards) {
        auto* card = new AIModeCard(shown.mode, shown.icon, shown.title, shown.subtitle,
                                    shown.mode == AIMode::onDevice, box);
        card->setObjectName(QString::fromLatin1(shown.name));
        card->setAccessibleName(shown.title);
        const AIMode mode = shown.mode;
        connect(card, &AIModeCard::clicked, this, [this, mode] { selectMode(mode); });
        column->addWidget(card);
        cards_.append(card);
    }
    return box;
}

QWidget* AIFeaturesStepView::infoSection() {
    panel_ = new RoundedPanel(this);
    panel_->setObjectName(QStringLiteral("AIModeInfoPanel"));
    panel_->setCornerRadius(12);
    QHBoxLayout* row = plainRow(panel_);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(12);
    panelSymbol_ = new SymbolView(QString(), Theme::font(TextStyle::title2).pixelSize(), panel_);
    row->addWidget(panelSymbol_, 0, Qt::AlignVCenter);
    auto* texts = new QWidget(panel_);
    QVBoxLayout* column = plainColumn(texts);
    column->setSpacing(3);
    panelHeadline_ = new QLabel(texts);
    TourStyle::applyText(panelHeadline_, TextStyle::headline);
    column->addWidget(panelHeadline_);
    panelCaption_ = new QLabel(texts);
    TourStyle::applyText(panelCaption_, TextStyle::caption, true);
    panelCaption_->setWordWrap(true);
    column->addWidget(panelCaption_);
    row->addWidget(texts, 1);
    return padded(panel_, 12, this);
}

QWidget* AIFeaturesStepView::noteRow() {
    auto* note = new RoundedPanel(this);
    note->setObjectName(QStringLiteral("AIModeNote"));
    note->setFill(Named::secondary, 0.06);
    note->setCornerRadius(8);
    QHBoxLayout* row = plainRow(note);
    row->setContentsMargins(8, 6, 8, 6);
    row->setSpacing(10);
    auto* symbol = new SymbolView(SymbolNames::infoCircleFill,
                                  Theme::font(TextStyle::caption).pixelSize(), note);
    symbol->setColor(Named::secondary);
    row->addWidget(symbol, 0, Qt::AlignVCenter);
    auto* text =
        new QLabel(QStringLiteral("Custom sorting instructions are ignored in No AI mode."), note);
    TourStyle::applyText(text, TextStyle::caption, true);
    row->addWidget(text, 1, Qt::AlignVCenter);
    note_ = padded(note, 8, this);
    return note_;
}

AIModeCard* AIFeaturesStepView::card(AIMode mode) const {
    for (AIModeCard* card : cards_) {
        if (card->mode() == mode) {
            return card;
        }
    }
    return nullptr;
}

void AIFeaturesStepView::selectMode(AIMode mode) {
    preferences_->setMode(mode);
}

void AIFeaturesStepView::updateOnDeviceStatus(std::optional<AnalyzerUnavailableReason> reason) {
    onDeviceAvailable_ = !reason.has_value();
    if (!reason) {
        onDeviceStatusLabel_ = QStringLiteral("Available");
    } else if (*reason == AnalyzerUnavailableReason::localModelNotRunning) {
        onDeviceStatusLabel_ = QStringLiteral("Server not running");
    } else if (*reason == AnalyzerUnavailableReason::modelNotReady) {
        onDeviceStatusLabel_ = QStringLiteral("No model loaded");
    } else {
        onDeviceStatusLabel_ = QStringLiteral("Not available");
    }
    showMode();
}

void AIFeaturesStepView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A fresh answer for this showing; one under way already is awaited instead.
    LocalModelServer::shared().probe();
}

void AIFeaturesStepView::showMode() {
    const AIMode mode = preferences_->mode();
    // A new mode's panel takes over from the old one, symbol and texts included, over 0.2 s.
    const bool fade = shownMode_ && *shownMode_ != mode;
    if (fade)
        panelFade_->capture();
    for (AIModeCard* card : std::as_const(cards_)) {
        card->setSelected(card->mode() == mode);
    }
    card(AIMode::onDevice)
        ->setBadge(onDeviceStatusLabel_, onDeviceAvailable_ ? Named::green : Named::orange);
    const ModePanel shown = panelFor(mode, onDeviceAvailable_);
    panelSymbol_->setSymbol(shown.symbol);
    panelSymbol_->setColor(shown.tint);
    panel_->setFill(shown.tint, 0.08);
    panelHeadline_->setText(shown.headline);
    panelCaption_->setText(shown.caption);
    shownMode_ = mode;
    note_->setVisible(mode == AIMode::off);
    if (fade)
        panelFade_->start(std::chrono::milliseconds(200), Animations::easeInOut());
}
