#include "window/ItemsEmptyStateView.h"

#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <utility>

using Theme::TextStyle;

namespace {
QLabel* centredLabel(const QString& text, const QFont& font) {
    auto* label = new QLabel(text);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    // Inside a scroll area the labels would take the text colour of a view's base.
    label->setForegroundRole(QPalette::WindowText);
    return label;
}
} // namespace

ItemsEmptyStateView::ItemsEmptyStateView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("EmptyState"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, padding, 0, padding);
    stack->setSpacing(spacing);
    symbol_ = new QLabel;
    symbol_->setAlignment(Qt::AlignCenter);
    title_ = centredLabel(QStringLiteral("Nothing here yet"), Theme::font(TextStyle::subheadline));
    hint_ = centredLabel(QStringLiteral("Import or paste in files, images, links..."),
                         Theme::font(TextStyle::caption));
    stack->addWidget(symbol_);
    stack->addWidget(title_);
    stack->addWidget(hint_);
    applyColors();
}

QStringList ItemsEmptyStateView::texts() const {
    return {title_->text(), hint_->text()};
}

void ItemsEmptyStateView::setCompact(bool compact) {
    if (std::exchange(compact_, compact) == compact)
        return;
    symbol_->setVisible(!compact);
    const int around = compact ? compactPadding : padding;
    layout()->setContentsMargins(0, around, 0, around);
}

int ItemsEmptyStateView::heightFor(int width, bool compact) const {
    const int texts = title_->heightForWidth(width) + spacing + hint_->heightForWidth(width);
    if (compact)
        return texts + 2 * compactPadding;
    return symbol_->sizeHint().height() + spacing + texts + 2 * padding;
}

void ItemsEmptyStateView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void ItemsEmptyStateView::applyColors() {
    const QColor secondary = Theme::secondary(palette());
    symbol_->setPixmap(Symbols::pixmap(SymbolNames::tray, 36, Theme::withAlpha(secondary, 0.6),
                                       devicePixelRatioF()));
    QPalette titlePalette = title_->palette();
    titlePalette.setColor(QPalette::WindowText, secondary);
    title_->setPalette(titlePalette);
    QPalette hintPalette = hint_->palette();
    hintPalette.setColor(QPalette::WindowText, Theme::withAlpha(secondary, 0.7));
    hint_->setPalette(hintPalette);
}
