#include "onboarding/WelcomeStepView.h"

#include "model/OnboardingState.h"
#include "onboarding/SymbolView.h"
#include "onboarding/TourButtons.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "onboarding/WelcomeFeatureTile.h"
#include "ui/SymbolNames.h"

#include <QLabel>
#include <QPushButton>

using Theme::Named;
using Theme::TextStyle;

namespace {
QWidget* header(QWidget* parent) {
    auto* box = new QWidget(parent);
    StackBuilder stack(plainColumn(box), 16);
    auto* symbol = new SymbolView(SymbolNames::tray2Fill, 80, box);
    symbol->setGradient(Named::blue, Named::purple);
    symbol->setGlow(Named::blue, 0.3, 20);
    stack.add(symbol);
    auto* title = new QLabel(QStringLiteral("Welcome to Kippets"), box);
    title->setFont(Theme::systemFont(40, QFont::Bold));
    stack.add(title);
    auto* tagline =
        new QLabel(QStringLiteral("Your intelligent floating workspace for Linux"), box);
    TourStyle::applyText(tagline, TextStyle::title3, true);
    stack.add(tagline);
    return box;
}

QWidget* featureTiles(QWidget* parent) {
    struct Tile {
        QLatin1StringView symbol;
        Named color;
    };
    const Tile tiles[] = {{SymbolNames::folderFill, Named::blue},
                          {SymbolNames::starFill, Named::purple},
                          {SymbolNames::heartFill, Named::pink},
                          {SymbolNames::lightbulbFill, Named::orange}};
    auto* row = new QWidget(parent);
    QHBoxLayout* layout = plainRow(row);
    layout->setContentsMargins(0, 16, 0, 0);
    layout->setSpacing(24);
    for (int index = 0; index < 4; ++index) {
        layout->addWidget(
            new WelcomeFeatureTile(tiles[index].symbol, tiles[index].color, index, row));
    }
    return row;
}
} // namespace

WelcomeStepView::WelcomeStepView(OnboardingState* state, QWidget* parent)
    : QWidget(parent), state_(state) {
    StackBuilder stack(plainColumn(this), 32);
    stack.addFlexible();
    stack.add(header(this));
    stack.add(featureTiles(this));

    auto* description = new QLabel(QStringLiteral("Organize files, links, notes, and more with "
                                                  "AI-powered categorization.\nLet's take a "
                                                  "quick tour!"),
                                   this);
    TourStyle::applyText(description, TextStyle::body, true);
    description->setAlignment(Qt::AlignHCenter);
    description->setContentsMargins(40, 0, 40, 0);
    stack.add(description);
    stack.addFlexible();

    auto* getStarted = new QPushButton(QStringLiteral("Get Started"), this);
    getStarted->setObjectName(QStringLiteral("GetStartedButton"));
    QFont font = Theme::font(TextStyle::title3);
    font.setBold(true);
    getStarted->setFont(font);
    getStarted->setMinimumWidth(200);
    TourButtons::style(getStarted, TourButtons::Kind::prominent, true);
    connect(getStarted, &QPushButton::clicked, this, [this] {
        if (state_) {
            state_->nextStep();
        }
    });
    stack.add(getStarted);
    stack.addFlexible();
}
