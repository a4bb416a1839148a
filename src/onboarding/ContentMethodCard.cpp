#include "onboarding/ContentMethodCard.h"

#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"

#include <QLabel>

using Theme::TextStyle;

namespace {
// The key letter as a white monospaced badge on the card's colour.
QWidget* keyBadge(const QString& key, Theme::Named color, QWidget* parent) {
    auto* badge = new RoundedPanel(parent);
    badge->setObjectName(QStringLiteral("ContentMethodKey"));
    badge->setFill(color, 1.0);
    badge->setCornerRadius(4);
    badge->setFixedSize(24, 24);
    auto* letter = new QLabel(key, badge);
    QFont font = Theme::font(TextStyle::caption);
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setBold(true);
    letter->setFont(font);
    letter->setAlignment(Qt::AlignCenter);
    letter->setStyleSheet(QStringLiteral("color: white;"));
    plainRow(badge)->addWidget(letter);
    return badge;
}
} // namespace

ContentMethodCard::ContentMethodCard(const QString& icon, const QString& title,
                                     const QString& description, Theme::Named color,
                                     const std::optional<QString>& shortcut, QWidget* parent)
    : RoundedPanel(parent), icon_(icon), title_(title), description_(description),
      shortcut_(shortcut) {
    setFill(color, 0.08);
    setBorder(color, 0.2, 1);
    setCornerRadius(12);
    QVBoxLayout* column = plainColumn(this);
    column->setContentsMargins(16, 16, 16, 16);
    StackBuilder stack(column, 12);

    auto* symbol = new SymbolView(icon, 44, this);
    symbol->setColor(color);
    stack.add(symbol);
    auto* heading = new QLabel(title, this);
    TourStyle::applyText(heading, TextStyle::headline);
    stack.add(heading);
    auto* sentence = new QLabel(description, this);
    sentence->setObjectName(QStringLiteral("ContentMethodDescription"));
    TourStyle::applyText(sentence, TextStyle::caption, true);
    sentence->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    sentence->setWordWrap(true);
    stack.add(sentence, {});
    if (shortcut) {
        stack.add(keyBadge(*shortcut, color, this));
    }
}
