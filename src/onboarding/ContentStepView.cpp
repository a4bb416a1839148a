#include "onboarding/ContentStepView.h"

#include "onboarding/ContentMethodCard.h"
#include "onboarding/ContentTypeBadge.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "ui/SymbolNames.h"

#include <QGridLayout>
#include <QLabel>

using Theme::Named;
using Theme::TextStyle;

namespace {
QWidget* header(QWidget* parent) {
    auto* box = new QWidget(parent);
    QVBoxLayout* column = plainColumn(box);
    column->setContentsMargins(0, 12, 0, 0);
    StackBuilder stack(column, 6);
    auto* title = new QLabel(QStringLiteral("Multiple Ways to Add Content"), box);
    TourStyle::applyText(title, TextStyle::largeTitle);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    stack.add(title);
    auto* subtitle = new QLabel(QStringLiteral("Choose the method that fits your workflow"), box);
    TourStyle::applyText(subtitle, TextStyle::title3, true);
    stack.add(subtitle);
    return box;
}

QWidget* methods(QWidget* parent) {
    auto* grid = new QWidget(parent);
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(16, 0, 16, 0);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(16);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    layout->setColumnMinimumWidth(0, 10);
    layout->setColumnMinimumWidth(1, 10);
    layout->addWidget(new ContentMethodCard(SymbolNames::arrowDownCircleFill,
                                            QStringLiteral("Drag & Drop"),
                                            QStringLiteral("Drag files, images, text, or URLs "
                                                           "from anywhere"),
                                            Named::blue, std::nullopt, grid),
                      0, 0, Qt::AlignVCenter);
    layout->addWidget(new ContentMethodCard(SymbolNames::docOnClipboardFill,
                                            QStringLiteral("Clipboard Paste"),
                                            QStringLiteral("Quick paste with the V key"),
                                            Named::green, QStringLiteral("V"), grid),
                      0, 1, Qt::AlignVCenter);
    layout->addWidget(new ContentMethodCard(SymbolNames::folderFillBadgePlus,
                                            QStringLiteral("File Picker"),
                                            QStringLiteral("Browse and import from your file "
                                                           "manager"),
                                            Named::orange, QStringLiteral("I"), grid),
                      1, 0, Qt::AlignVCenter);
    layout->addWidget(new ContentMethodCard(SymbolNames::cameraFill, QStringLiteral("Screenshot"),
                                            QStringLiteral("Drop screenshots directly into "
                                                           "kippets"),
                                            Named::purple, std::nullopt, grid),
                      1, 1, Qt::AlignVCenter);
    return grid;
}

QWidget* contentTypes(QWidget* parent) {
    auto* panel = new RoundedPanel(parent);
    panel->setFill(Named::secondary, 0.05);
    panel->setCornerRadius(12);
    QVBoxLayout* column = plainColumn(panel);
    column->setContentsMargins(12, 12, 12, 12);
    StackBuilder stack(column, 10);
    auto* heading = new QLabel(QStringLiteral("Supported Content Types"), panel);
    TourStyle::applyText(heading, TextStyle::headline, true);
    stack.add(heading);
    auto* badges = new QWidget(panel);
    QHBoxLayout* row = plainRow(badges);
    row->setSpacing(16);
    const std::pair<QLatin1StringView, const char*> kinds[] = {
        {SymbolNames::docTextFill, "Files"},
        {SymbolNames::photoFill, "Images"},
        {SymbolNames::link, "URLs"},
        {SymbolNames::textQuote, "Text"},
        {SymbolNames::paintpaletteFill, "Colors"}};
    for (const auto& [icon, text] : kinds) {
        row->addWidget(new ContentTypeBadge(icon, QString::fromLatin1(text), badges));
    }
    stack.add(badges);
    return panel;
}
} // namespace

ContentStepView::ContentStepView(OnboardingState*, QWidget* parent) : QWidget(parent) {
    StackBuilder stack(plainColumn(this), 16);
    stack.add(header(this));
    stack.addFlexible();
    stack.add(methods(this), {});
    stack.add(contentTypes(this));
    stack.addFlexible();
}
