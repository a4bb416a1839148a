#include "onboarding/CompletionStepView.h"

#include "app/MenuBarManager.h"
#include "app/Workspace.h"
#include "model/OnboardingState.h"
#include "onboarding/QuickRefRow.h"
#include "onboarding/RoundedPanel.h"
#include "onboarding/StepHeader.h"
#include "onboarding/SymbolView.h"
#include "onboarding/TourButtons.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

using Theme::Named;
using Theme::TextStyle;

namespace {
constexpr int cardWidth = 400;

QStringList& guideFolders() {
    static QStringList folders;
    return folders;
}

QLabel* text(const QString& content, TextStyle style, bool secondary, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    TourStyle::applyText(label, style, secondary);
    return label;
}

// The platform's own spelling of a shortcut with the command key ("Ctrl+N").
QString commandKey(Qt::Key key) {
    return QKeySequence(QKeyCombination(Qt::ControlModifier, key))
        .toString(QKeySequence::NativeText);
}

QPushButton* finishButton(const QString& title, TourButtons::Kind kind, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    TourButtons::style(button, kind, true);
    QFont font = Theme::font(TextStyle::title3);
    font.setBold(true);
    button->setFont(font);
    button->setMinimumWidth(130);
    return button;
}
} // namespace

CompletionStepView::CompletionStepView(OnboardingState* state, QWidget* window, QWidget* parent)
    : QWidget(parent), state_(state), window_(window) {
    StackBuilder stack(plainColumn(this), 16, true);
    stack.addFlexible();
    auto* check = new SymbolView(SymbolNames::checkmarkCircleFill, 60, this);
    check->setGradient(Named::green, Named::blue);
    check->setGlow(Named::green, 0.3, 20);
    stack.add(check);
    stack.add(new StepHeader(QStringLiteral("You're All Set!"),
                             QStringLiteral("You're ready to start organizing with Kippets"), 6, 0,
                             this),
              {});
    stack.add(quickReference());
    stack.add(dashboardCard());
    stack.add(links());
    stack.addFlexible();
    dontShowAgain_ = new QCheckBox(QStringLiteral("Don't show this again on launch"), this);
    dontShowAgain_->setObjectName(QStringLiteral("DontShowAgain"));
    dontShowAgain_->setFont(Theme::font(TextStyle::subheadline));
    stack.add(dontShowAgain_);
    stack.add(finishButtons());
    stack.add(text(QStringLiteral("Access this onboarding anytime from Settings"),
                   TextStyle::caption, true, this));
    stack.addFlexible();
}

QWidget* CompletionStepView::quickReference() {
    auto* card = new RoundedPanel(this);
    card->setObjectName(QStringLiteral("QuickReference"));
    card->setFill(Named::secondary, 0.05);
    card->setCornerRadius(12);
    card->setFixedWidth(cardWidth);
    QVBoxLayout* column = plainColumn(card);
    column->setContentsMargins(12, 12, 12, 12);
    StackBuilder stack(column, 12);
    stack.add(text(QStringLiteral("Essential Shortcuts"), TextStyle::headline, false, card),
              Qt::AlignLeft);
    auto* rows = new QWidget(card);
    StackBuilder rowStack(plainColumn(rows), 6);
    // Fixed texts: the tour teaches the default keys, whatever the user chose.
    const std::pair<QString, QString> lines[] = {
        {commandKey(Qt::Key_N), QStringLiteral("New Kippet")},
        {commandKey(Qt::Key_D), QStringLiteral("Dashboard")},
        {QStringLiteral("V"), QStringLiteral("Paste Content")},
        {QStringLiteral("E"), QStringLiteral("Expand/Collapse")},
        {QStringLiteral("M"), QStringLiteral("Mini View")},
    };
    QList<QuickRefRow*> made;
    int badgeWidth = 0;
    for (const auto& [shortcut, description] : lines) {
        auto* row = new QuickRefRow(shortcut, description, rows);
        badgeWidth = qMax(badgeWidth, row->badgeWidth());
        made.append(row);
        rowStack.add(row, {});
    }
    // "Ctrl+N" is wider than a single key: the descriptions still start on one line.
    for (QuickRefRow* row : std::as_const(made)) {
        row->setBadgeWidth(badgeWidth);
    }
    stack.add(rows, {});
    return card;
}

QWidget* CompletionStepView::dashboardCard() {
    auto* card = new RoundedPanel(this);
    card->setFill(Named::blue, 0.08);
    card->setCornerRadius(12);
    card->setFixedWidth(cardWidth);
    QHBoxLayout* row = plainRow(card);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(12);
    auto* symbol = new SymbolView(SymbolNames::squareGrid2x2,
                                  Theme::font(TextStyle::title2).pixelSize(), card);
    symbol->setColor(Named::blue);
    row->addWidget(symbol, 0, Qt::AlignVCenter);
    auto* texts = new QWidget(card);
    QVBoxLayout* column = plainColumn(texts);
    column->setSpacing(4);
    column->addWidget(text(QStringLiteral("Dashboard"), TextStyle::headline, false, texts));
    column->addWidget(text(QStringLiteral("Reopen closed kippets and access app settings"),
                           TextStyle::subheadline, true, texts));
    row->addWidget(texts, 1);
    return card;
}

QWidget* CompletionStepView::links() {
    auto* box = new QWidget(this);
    QHBoxLayout* row = plainRow(box);
    row->setSpacing(16);
    const QColor ink = Theme::color(Named::primary, palette());
    auto* guide = new QPushButton(Symbols::icon(SymbolNames::bookFill, ink),
                                  QStringLiteral("Features Guide"), box);
    TourButtons::style(guide, TourButtons::Kind::bordered);
    connect(guide, &QPushButton::clicked, this, [] {
        const QString path = featuresGuidePath();
        if (!path.isEmpty()) {
            Workspace::shared().open(QUrl::fromLocalFile(path));
        }
    });
    row->addWidget(guide);
    auto* settings =
        new QPushButton(Symbols::icon(SymbolNames::gear, ink), QStringLiteral("Settings"), box);
    TourButtons::style(settings, TourButtons::Kind::bordered);
    // Opens the dashboard on its settings tab, or switches a visible one; the tour stays.
    // The tour stays the window in use: its arrows and Escape must still reach it.
    connect(settings, &QPushButton::clicked, this,
            [] { MenuBarManager::shared().showSettingsWithoutKey(); });
    row->addWidget(settings);
    return box;
}

QWidget* CompletionStepView::finishButtons() {
    auto* box = new QWidget(this);
    QHBoxLayout* row = plainRow(box);
    row->setSpacing(12);
    QPushButton* start =
        finishButton(QStringLiteral("Get Started"), TourButtons::Kind::prominent, box);
    connect(start, &QPushButton::clicked, this, [this] {
        finishOnboarding();
        MenuBarManager::shared().showDashboard();
        closeTour();
    });
    row->addWidget(start);
    QPushButton* create =
        finishButton(QStringLiteral("Create First Kippet"), TourButtons::Kind::bordered, box);
    connect(create, &QPushButton::clicked, this, [this] {
        finishOnboarding();
        NotificationCenter::shared().post(NotificationName::createNewKippet);
        closeTour();
    });
    row->addWidget(create);
    return box;
}

void CompletionStepView::finishOnboarding() {
    if (!state_) {
        return;
    }
    if (state_->shortcutsModified()) {
        state_->saveShortcuts();
    }
    state_->completeOnboarding(!dontShowAgain_->isChecked());
}

void CompletionStepView::closeTour() {
    if (window_) {
        window_->close();
    }
}

void CompletionStepView::setGuideFolders(const QStringList& folders) {
    guideFolders() = folders;
}

QString CompletionStepView::featuresGuidePath() {
    QStringList folders = guideFolders();
    if (folders.isEmpty()) {
        const QString executable = QCoreApplication::applicationDirPath();
        folders = {executable, executable + QStringLiteral("/../share/kippets")};
    }
    for (const QString& folder : std::as_const(folders)) {
        const QFileInfo guide(folder + QStringLiteral("/Features.md"));
        if (guide.isFile()) {
            return guide.absoluteFilePath();
        }
    }
    return {};
}
